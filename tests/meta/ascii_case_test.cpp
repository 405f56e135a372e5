// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "meta/ascii_case.h"

namespace morrowtide::meta {
namespace {

// Letters next to the ASCII ranges, UTF-8 bytes and Latin-1 letters stay as they are.
TEST(AsciiCaseTest, OnlyAsciiLettersChange) {
    const struct {
        std::string text, lower, upper;
    } cases[] = {
        {"IMG_0042.JPG", "img_0042.jpg", "IMG_0042.JPG"},
        {"@AZ[`az{", "@az[`az{", "@AZ[`AZ{"},
        {"Caf\xC3\xA9 \xC3\x89t\xC3\xA9", "caf\xC3\xA9 \xC3\x89t\xC3\xA9", "CAF\xC3\xA9 \xC3\x89T\xC3\xA9"},
        {"\xE9\xC9\xFF", "\xE9\xC9\xFF", "\xE9\xC9\xFF"},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(asciiLower(c.text), c.lower);
        EXPECT_EQ(asciiUpper(c.text), c.upper);
        EXPECT_TRUE(equalsIgnoringAsciiCase(c.lower, c.upper));
    }
    EXPECT_EQ(asciiUpper(u'\u00E9'), u'\u00E9');
    EXPECT_EQ(asciiUpper(u'q'), u'Q');
    EXPECT_FALSE(equalsIgnoringAsciiCase("Caf\xC3\xA9", "CAF\xC3\x89"));
    EXPECT_FALSE(equalsIgnoringAsciiCase("Make", "Maker"));
}

}  // namespace
}  // namespace morrowtide::meta
