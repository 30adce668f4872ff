#pragma once
// The totals a hostile list reply may claim. Each reads as the largest int, so a list's paging must
// never add to it in an int.
#include <cctype>
#include <string>

namespace hugetotals {

inline constexpr const char* kHugeTotals[] = {"2147483647", "1e308", "123456789012345678901234567890"};

// The reply's last `"total":<number>` with `total` in its place.
inline std::string withTotal(std::string json, const std::string& total)
{
    const std::string key = R"("total":)";
    const size_t at = json.rfind(key);
    if (at == std::string::npos) {
        return json;
    }
    size_t end = at + key.size();
    while (end < json.size() && (std::isdigit(static_cast<unsigned char>(json[end])) || json[end] == '-')) {
        ++end;
    }
    return json.replace(at + key.size(), end - at - key.size(), total);
}

}  // namespace hugetotals
