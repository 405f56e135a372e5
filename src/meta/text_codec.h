// SPDX-License-Identifier: GPL-3.0-or-later
// Conversions of the system's Windows-1252 texts for places that expect UTF-8 (a terminal, a UTF-8 file).
#pragma once

#include <string>
#include <string_view>

namespace morrowtide::meta {

// Every byte is one character: 0x00-0x7F as they are, 0xA0-0xFF as U+00A0-U+00FF, 0x80-0x9F by the Windows-1252
// table; the five codes that table leaves unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) become U+FFFD.
std::string cp1252ToUtf8(std::string_view text);

}  // namespace morrowtide::meta
