#pragma once
// Included by every test that renders with GL: before main runs, the driver's shader cache is put in
// the build folder (beside bin/), not in the home folder of whoever runs the tests. A cache folder
// named by the environment is kept.
#include <climits>
#include <cstdlib>
#include <string>

#include <unistd.h>

namespace gltest {

inline bool keepShaderCacheInBuildFolder()
{
    char exe[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) {
        return false;
    }
    std::string dir(exe, static_cast<size_t>(n));
    dir = dir.substr(0, dir.rfind('/'));
    return ::setenv("MESA_SHADER_CACHE_DIR", (dir + "/../mesa-shader-cache").c_str(), 0) == 0;
}

inline const bool shaderCacheInBuildFolder = keepShaderCacheInBuildFolder();

}  // namespace gltest
