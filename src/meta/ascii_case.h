// SPDX-License-Identifier: GPL-3.0-or-later
// Letter case of ASCII alone. Extensions, tag names and camera makes are compared this way whatever the locale,
// and every other byte or character (UTF-8 sequences, Latin-1 letters) stays as it is.
#pragma once

#include <concepts>
#include <cstddef>
#include <string>
#include <string_view>

namespace morrowtide::meta {

// 'A'..'Z' to 'a'..'z'; any other value (a char16_t included) unchanged.
template <std::integral Char>
constexpr Char asciiLower(Char c) noexcept {
    return c >= Char('A') && c <= Char('Z') ? static_cast<Char>(c - Char('A') + Char('a')) : c;
}
// 'a'..'z' to 'A'..'Z'; any other value unchanged.
template <std::integral Char>
constexpr Char asciiUpper(Char c) noexcept {
    return c >= Char('a') && c <= Char('z') ? static_cast<Char>(c - Char('a') + Char('A')) : c;
}

inline std::string asciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = asciiLower(c);
    return out;
}
inline std::string asciiUpper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = asciiUpper(c);
    return out;
}

constexpr bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    }
    return true;
}

}  // namespace morrowtide::meta
