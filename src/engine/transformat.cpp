// The codec header: loaded from the video folder, fetched from the service, refreshed from a finished
// movie's "avcC".
#include "engine/transformat.h"

#include "engine/cjsonhelper.h"
#include "engine/crtfun.h"
#include "engine/crthttp.h"
#include "engine/flv.h"
#include "engine/global.h"
#include "engine/printlog.h"

#include <cjson/cJSON.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

// The loaded codec header. Read by the remux thread when it starts, replaced by the thread that sets
// the video folder or the device name and by the job thread at the end of a live job.
crtfun::crtmutex& g_headermtx = *new crtfun::crtmutex;
std::string& g_globalheader = *new std::string;
std::atomic<bool> g_usesoftware{false};

// How much of "moov" is searched for "avcC".
constexpr size_t kMoovSearchLimit = 500000;

// The whole file, or false when it cannot be opened or read.
bool _readwholefile(const std::string& path, std::string& out)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return false;
    }
    out.clear();
    char buffer[8192];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        out.append(buffer, n);
    }
    const bool ok = std::ferror(f) == 0;
    std::fclose(f);
    return ok;
}

// Replaces the file with the bytes; false when it cannot be written whole.
bool _writewholefile(const std::string& path, const std::string& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        printlog("can not write %s", path.c_str());
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = std::fclose(f) == 0;
    if (!ok || !closed) {
        printlog("can not write %s", path.c_str());
    }
    return ok && closed;
}

int _hexvalue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return 0;
}

// The device name goes into the request line as it is, except bytes that would end or split the line
// or the query (blanks, controls, "&", "#", "%"), which are percent-encoded.
std::string _queryvalue(const std::string& text)
{
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : text) {
        if (c <= 0x20 || c >= 0x7f || c == '&' || c == '#' || c == '%') {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace

std::string transformat_getheader()
{
    std::lock_guard<crtfun::crtmutex> hold(g_headermtx);
    return g_globalheader;
}

void transformat_setheader(const std::string& header)
{
    std::lock_guard<crtfun::crtmutex> hold(g_headermtx);
    g_globalheader = header;
}

bool transformat_usesoftware()
{
    return g_usesoftware.load();
}

std::string transformat_hexdecode(const std::string& hex)
{
    std::string out;
    out.reserve(hex.size() / 2);
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        out += static_cast<char>(_hexvalue(hex[i]) * 16 + _hexvalue(hex[i + 1]));
    }
    return out;
}

std::string transformat_headerfrommoov(const unsigned char* moov, size_t length)
{
    const long found = crtfun::bin_search(moov, length, "avcC", 4);
    if (found < 4) {
        return std::string();
    }
    const size_t start = static_cast<size_t>(found) - 4;
    const uint32_t boxsize = flv_getbe32(moov + start);
    // The box must lie whole inside what was read.
    if (boxsize < 8 || boxsize > length - start) {
        printlog("avcC size %u beyond %u bytes", boxsize, static_cast<unsigned int>(length - start));
        return std::string();
    }
    return flv_makecodecheader(moov + start, boxsize);
}

void prepareheader(const char* devicename)
{
    if (!transformat_getheader().empty()) {
        return;
    }
    const std::string folder = g_videopath.get();
    const std::string metapath = folder + "/globalmeta.dat";
    const std::string codecpath = folder + "/codec.dat";

    // 1. The header kept from an earlier run.
    bool found = false;
    if (!folder.empty()) {
        std::string stored;
        if (_readwholefile(metapath, stored) && !stored.empty()) {
            found = true;
            transformat_setheader(stored);
        }
        // 2. The software flag.
        std::string flag;
        if (_readwholefile(codecpath, flag) && !flag.empty()) {
            g_usesoftware = flag[0] == 1;
        }
    }

    // 3. The service's header for this device.
    const std::string url = "http://" + global_servicehost() + "/m/request-meta.json?ver=1&dev=" +
                            _queryvalue(devicename != nullptr ? devicename : "");
    int ret = 0;
    const std::string reply = crtfun::http_download_to_str(url.c_str(), nullptr, &ret, crtfun::kServiceCallBounds);
    printlog("request meta ret:%d,%s", ret, reply.c_str());
    if (ret != 200) {
        return;
    }
    cJSON* json = cJSON_Parse(reply.c_str());
    if (json == nullptr) {
        return;
    }
    if (cJSON_IsObject(json) && cJSON_GetObjectItemInt(json, "status") == 200) {
        const cJSON* meta = cJSON_GetObjectItemCaseSensitive(json, "meta");
        if (!found && cJSON_IsString(meta) && meta->valuestring[0] != '\0') {
            const std::string header = transformat_hexdecode(meta->valuestring);
            if (!header.empty()) {
                transformat_setheader(header);
                if (!folder.empty()) {
                    _writewholefile(metapath, header);
                }
            }
        }
        const std::string meta2 = cJSON_GetObjectItemString(json, "meta2");
        if (!meta2.empty()) {
            const char flag = static_cast<char>(std::atoi(meta2.c_str()));
            if (!folder.empty()) {
                _writewholefile(codecpath, std::string(1, flag));
            }
            g_usesoftware = flag == 1;
        }
    }
    cJSON_Delete(json);
}

void updatecheckheader(const char* moviepath)
{
    printlog("updatecheckheader %s", moviepath);
    FILE* f = std::fopen(moviepath, "rb");
    if (f == nullptr) {
        printlog("mp4 file can not open.");
        return;
    }
    std::string header;
    uint64_t position = 0;
    unsigned char box[16];
    for (;;) {
        if (std::fseek(f, static_cast<long>(position), SEEK_SET) != 0 || std::fread(box, 1, 8, f) != 8) {
            break;
        }
        uint64_t size = flv_getbe32(box);
        size_t headsize = 8;
        if (size == 1) {
            // The 64-bit size form: the size follows the type.
            if (std::fread(box + 8, 1, 8, f) != 8) {
                break;
            }
            size = (static_cast<uint64_t>(flv_getbe32(box + 8)) << 32) | flv_getbe32(box + 12);
            headsize = 16;
        }
        if (size < headsize) {
            break;
        }
        if (std::memcmp(box + 4, "moov", 4) == 0) {
            const size_t want = static_cast<size_t>(std::min<uint64_t>(size, kMoovSearchLimit));
            std::vector<unsigned char> moov(want);
            std::memcpy(moov.data(), box, headsize);
            const size_t got = headsize + std::fread(moov.data() + headsize, 1, want - headsize, f);
            header = transformat_headerfrommoov(moov.data(), got);
            break;
        }
        if (size > static_cast<uint64_t>(LONG_MAX) - position) {
            break;
        }
        position += size;
    }
    std::fclose(f);
    if (header.empty()) {
        return;
    }
    printlog("ready avcc %u,%u,%u,%x", static_cast<unsigned int>(header.size() - kFlvCodecHeaderExtra),
             static_cast<unsigned int>(header.size()), static_cast<unsigned char>(header[17]),
             flv_getbe32(reinterpret_cast<const unsigned char*>(header.data()) + 16));
    const std::string loaded = transformat_getheader();
    if (header == loaded) {
        return;
    }
    printlog("need to update globalmeta %u,%u", static_cast<unsigned int>(loaded.size()),
             static_cast<unsigned int>(header.size()));
    transformat_setheader(header);
    const std::string folder = g_videopath.get();
    if (!folder.empty()) {
        _writewholefile(folder + "/globalmeta.dat", header);
    }
}
