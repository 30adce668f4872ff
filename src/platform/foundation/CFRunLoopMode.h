#pragma once
// Run-loop mode names. A mode is a plain name; every source, timer and posted task is registered for
// one or more modes, and a loop running in a mode serves only what is registered for it. The pseudo
// mode kCFRunLoopCommonModes stands for every mode of the loop's common set (the default mode plus any
// mode added with NSRunLoop::addCommonMode).
#include <string>
#include <vector>

inline constexpr char kCFRunLoopDefaultMode[] = "kCFRunLoopDefaultMode";
inline constexpr char kCFRunLoopCommonModes[] = "kCFRunLoopCommonModes";
inline constexpr char NSDefaultRunLoopMode[] = "kCFRunLoopDefaultMode";
inline constexpr char NSRunLoopCommonModes[] = "kCFRunLoopCommonModes";

using RunLoopModes = std::vector<std::string>;
