#pragma once
#include <string_view>

namespace zembrix {

// Drops leading and trailing characters of code 32 or less. Text is UTF-8, where
// every such character is a single byte that never occurs inside a multi-byte
// sequence, so a full-width space (U+3000) is kept.
constexpr std::string_view trimmed(std::string_view text) noexcept {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= 32) ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= 32) --last;
    return text.substr(first, last - first);
}

inline constexpr std::string_view kMale = "男";
inline constexpr std::string_view kFemale = "女";

}  // namespace zembrix
