// SPDX-License-Identifier: GPL-3.0-or-later
#include "meta/text_codec.h"

#include <gtest/gtest.h>

using morrowtide::meta::cp1252ToUtf8;

TEST(TextCodec, ConvertsWindows1252ToUtf8) {
    EXPECT_EQ(cp1252ToUtf8("plain ASCII\r\n"), "plain ASCII\r\n");
    EXPECT_EQ(cp1252ToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
    EXPECT_EQ(cp1252ToUtf8("\xB0\xE9\xFF\xA0"), "\xC2\xB0\xC3\xA9\xC3\xBF\xC2\xA0");
    // The 0x80-0x9F block is not Latin-1: euro, quotes, dashes, trade mark, Y diaeresis...
    EXPECT_EQ(cp1252ToUtf8("\x80"), "\xE2\x82\xAC");
    EXPECT_EQ(cp1252ToUtf8("\x85\x93\x94\x96\x97\x99"),
              "\xE2\x80\xA6\xE2\x80\x9C\xE2\x80\x9D\xE2\x80\x93\xE2\x80\x94\xE2\x84\xA2");
    EXPECT_EQ(cp1252ToUtf8("\x83\x8A\x8C\x8E\x9A\x9C\x9E\x9F"),
              "\xC6\x92\xC5\xA0\xC5\x92\xC5\xBD\xC5\xA1\xC5\x93\xC5\xBE\xC5\xB8");
    // Codes the table leaves unassigned never reach the terminal as control codes.
    for (const char* unassigned : {"\x81", "\x8D", "\x8F", "\x90", "\x9D"}) {
        EXPECT_EQ(cp1252ToUtf8(unassigned), "\xEF\xBF\xBD");
    }
}
