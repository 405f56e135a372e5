// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <clocale>
#include <cmath>
#include <cstring>
#include <string>

#include "meta/value_format.h"

using namespace morrowtide::meta;

namespace {

// The decimal separator follows LC_NUMERIC; every test pins it and restores the previous setting.
class ValueFormat : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* current = std::setlocale(LC_NUMERIC, nullptr);
        saved_ = current != nullptr ? current : "C";
        std::setlocale(LC_NUMERIC, "C");
    }
    void TearDown() override { std::setlocale(LC_NUMERIC, saved_.c_str()); }

  private:
    std::string saved_;
};

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out += static_cast<char>(v);
    return out;
}

// Little-endian RATIONAL element.
std::string rationalLe(std::int32_t numerator, std::int32_t denominator) {
    std::string out;
    for (std::int32_t v : {numerator, denominator}) {
        const auto u = static_cast<std::uint32_t>(v);
        for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((u >> shift) & 0xFF);
    }
    return out;
}

std::string shortsLe(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) {
        out += static_cast<char>(v & 0xFF);
        out += static_cast<char>((v >> 8) & 0xFF);
    }
    return out;
}

DecodeContext context;

}  // namespace

TEST_F(ValueFormat, BytesToIntegerBothOrdersNoSignExtension) {
    EXPECT_EQ(bytesToInteger(bytes({1, 2}), true), 258);
    EXPECT_EQ(bytesToInteger(bytes({1, 2}), false), 513);
    EXPECT_EQ(bytesToInteger(bytes({0xFF, 0xFF}), false), 65535);
    EXPECT_EQ(bytesToInteger(bytes({0xFF, 0xFF, 0xFF, 0xFF}), true), -1);
    EXPECT_EQ(bytesToInteger(bytes({0x80}), true), 128);
    EXPECT_EQ(bytesToInteger("", true), 0);
    // more than four bytes: only the low 32 bits of the accumulated number remain
    EXPECT_EQ(bytesToInteger(bytes({0x7F, 1, 2, 3, 4}), true), 0x01020304);
    EXPECT_EQ(bytesToInteger(bytes({1, 2, 3, 4, 0x7F}), false), 0x04030201);
}

TEST_F(ValueFormat, NumericValue) {
    EXPECT_DOUBLE_EQ(numericValue(rationalLe(58, 10), 5, false), 5.8);
    EXPECT_DOUBLE_EQ(numericValue(rationalLe(-1, 3), 10, false), -1.0 / 3);
    EXPECT_DOUBLE_EQ(numericValue(rationalLe(5, 0), 5, false), 0);
    EXPECT_DOUBLE_EQ(numericValue(rationalLe(1, 2) + rationalLe(9, 1), 5, false), 0.5);  // first rational only
    EXPECT_DOUBLE_EQ(numericValue(bytes({1, 2}), 5, false), 0);                          // too short
    // integer formats combine every byte of the value
    EXPECT_DOUBLE_EQ(numericValue(shortsLe({1, 1}), 3, false), 0x00010001);
    EXPECT_DOUBLE_EQ(numericValue(bytes({0xFF, 0xFF}), 8, false), 65535);
    EXPECT_DOUBLE_EQ(numericValue("abc", 2, false), 0);
    EXPECT_DOUBLE_EQ(numericValue("abcd", 7, false), 0);
    EXPECT_DOUBLE_EQ(numericValue("abcd", 13, false), 0);
    // IEEE 754 values in either byte order: 1.5f = 3FC00000, 2.25 = 4002000000000000
    EXPECT_DOUBLE_EQ(numericValue(bytes({0x3F, 0xC0, 0, 0}), 11, true), 1.5);
    EXPECT_DOUBLE_EQ(numericValue(bytes({0, 0, 0xC0, 0x3F}), 11, false), 1.5);
    EXPECT_DOUBLE_EQ(numericValue(bytes({0x40, 0x02, 0, 0, 0, 0, 0, 0}), 12, true), 2.25);
    EXPECT_DOUBLE_EQ(numericValue(bytes({0, 0, 0, 0, 0, 0, 0x02, 0x40}), 12, false), 2.25);
    EXPECT_DOUBLE_EQ(numericValue(bytes({0x7F, 0xC0, 0, 0}), 11, true), 0);  // NaN counts as a failure
    EXPECT_DOUBLE_EQ(numericValue(bytes({0x3F, 0xC0}), 11, true), 0);
}

TEST_F(ValueFormat, FormatValueWithPatterns) {
    EXPECT_EQ(formatValue(rationalLe(58, 10), 5, "", "%5.2f mm", false), " 5.80 mm");
    EXPECT_EQ(formatValue(rationalLe(1, 125), 5, "", "%s sec", false), "1/125 sec");
    EXPECT_EQ(formatValue(rationalLe(28, 10), 5, "", "F%0.1f", false), "F2.8");
    EXPECT_EQ(formatValue(rationalLe(72, 1), 5, "", "%5.2f", false), "72.00");
    EXPECT_EQ(formatValue(rationalLe(5, 0), 5, "", "", false), "5/0");
    EXPECT_EQ(formatValue(rationalLe(5, 0), 5, "", "F%0.1f", false), "F0.0");
    EXPECT_EQ(formatValue(rationalLe(-3, 2), 10, "", "", false), "-3/2");
    EXPECT_EQ(formatValue(bytes({0, 0, 0, 1, 0, 0, 0, 3}), 5, "", "", true), "1/3");
}

TEST_F(ValueFormat, FormatValueElementsAndLists) {
    const std::string orientation = "1:Normal,3:Rotated 180\xB0,6:CounterClockwise 90\xB0,8:Clockwise 90\xB0";
    EXPECT_EQ(formatValue(shortsLe({6}), 3, "6:Jpeg,3:Uncompressed,1:TIFF", "", false), "Jpeg");
    EXPECT_EQ(formatValue(shortsLe({2}), 3, orientation, "", false), "");
    EXPECT_EQ(formatValue(shortsLe({3}), 3, orientation, "", false), "Rotated 180\xB0");
    // an unmatched element adds nothing, so a separator follows only once the text has begun
    EXPECT_EQ(formatValue(shortsLe({2, 1, 2, 8}), 3, orientation, "", false), "Normal, , Clockwise 90\xB0");
    EXPECT_EQ(formatValue(shortsLe({8, 8, 8}), 3, "", "", false), "8, 8, 8");
    EXPECT_EQ(formatValue(std::string("\x00\x08\x00\x09", 4), 3, "", "", true), "8, 9");
    // SSHORT -1 shows as 65535: no sign extension
    EXPECT_EQ(formatValue(bytes({0xFF, 0xFF}), 8, "", "", false), "65535");
    EXPECT_EQ(formatValue(bytes({0xFF, 0xFF, 0xFF, 0xFF}), 9, "", "", false), "-1");
    EXPECT_EQ(formatValue("", 3, "", "", false), "");
    EXPECT_EQ(formatValue("", 0, "", "", false), "0");
    EXPECT_EQ(formatValue("abc", 14, "", "", false), "0");
    EXPECT_EQ(formatValue("ab", 2, "", "", false), "?, ?");
    EXPECT_EQ(formatValue(bytes({0, 0, 0, 0, 1, 1, 1, 1}), 11, "", "", false), "-9999.99, -9999.99");
    // trailing bytes that do not fill an element are ignored
    EXPECT_EQ(formatValue(bytes({7, 0, 9}), 3, "", "", false), "7");
    // a rational with a decode list keeps its rational text
    EXPECT_EQ(formatValue(rationalLe(1, 1), 5, "1:Normal", "", false), "1/1");
}

TEST_F(ValueFormat, FormatValueCutsLongArraysAt128) {
    std::string raw;
    for (int i = 0; i < 300; ++i) raw += shortsLe({i});
    const std::string out = formatValue(raw, 3, "", "", false);
    std::string expected;
    for (int i = 0; i < 128; ++i) expected += (i == 0 ? "" : ", ") + std::to_string(i);
    EXPECT_EQ(out, expected);
}

TEST_F(ValueFormat, UnsuitablePatternsThrow) {
    const std::string r = rationalLe(1, 2);
    EXPECT_THROW(formatValue(r, 5, "", "%d", false), FormatError);
    EXPECT_THROW(formatValue(r, 5, "", "%s and %5.2f", false), FormatError);
    EXPECT_THROW(formatValue(r, 5, "", "%5.2f %5.2f", false), FormatError);
    EXPECT_THROW(formatValue(r, 5, "", "%n", false), FormatError);
    EXPECT_THROW(formatValue(r, 5, "", "%5.2", false), FormatError);
    EXPECT_THROW(formatValue(r, 5, "", "no conversion", false), FormatError);
    EXPECT_THROW(formatValue(r, 5, "", "%99999.2f", false), FormatError);
    EXPECT_THROW(formatPattern("%s", 1.0), FormatError);
    EXPECT_THROW(formatPattern("%f", std::string_view("text")), FormatError);
    EXPECT_THROW(formatPattern("%10s", std::string_view("text")), FormatError);
    EXPECT_THROW(formatPattern("%*f", 1.0), FormatError);
    EXPECT_THROW(formatPattern("%lf", 1.0), FormatError);
}

TEST_F(ValueFormat, FormatPatternFloatingConversions) {
    EXPECT_EQ(formatPattern("%%%5.1f%%", 2.25), "%  2.2%");
    EXPECT_EQ(formatPattern("%-6.1f|", -1.5), "-1.5  |");
    EXPECT_EQ(formatPattern("%06.2f", -1.5), "-01.50");
    EXPECT_EQ(formatPattern("%+.1f", 1.0), "+1.0");
    EXPECT_EQ(formatPattern("% .1f", 1.0), " 1.0");
    EXPECT_EQ(formatPattern("%f", 0.5), "0.500000");
    EXPECT_EQ(formatPattern("%.2e", 12345.0), "1.23e+04");
    EXPECT_EQ(formatPattern("%G", 1e-10), "1E-10");
    EXPECT_EQ(formatPattern("%g", 100000.0), "100000");
    EXPECT_EQ(formatPattern("%.0g", 26.0), "3e+01");
    EXPECT_EQ(formatPattern("%0.0f", 13.8), "14");
    EXPECT_EQ(formatPattern("%5.1f", 1e300).size(), 303u);
    const std::array<double, 2> pair = {18, 70};
    EXPECT_EQ(formatPattern("%0.1f-%0.1f(mm)", pair), "18.0-70.0(mm)");
    EXPECT_EQ(formatPattern("%s sec", std::string_view("1/8")), "1/8 sec");
    EXPECT_EQ(formatPattern("100%% %s", std::string_view("%d")), "100% %d");
}

TEST_F(ValueFormat, CommaDecimalLocale) {
    const char* found = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR.utf8", "nl_NL.UTF-8"}) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr) {
            found = name;
            break;
        }
    }
    // scripts/install-deps.sh generates de_DE.UTF-8.
    ASSERT_NE(found, nullptr) << "no comma-decimal locale installed: run scripts/install-deps.sh";
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    EXPECT_EQ(formatValue(rationalLe(58, 10), 5, "", "%5.2f mm", false), " 5,80 mm");
    EXPECT_EQ(formatValue(rationalLe(28, 10), 5, "", "F%0.1f", false), "F2,8");
    EXPECT_EQ(formatValue(rationalLe(1, 125), 5, "", "%s sec", false), "1/125 sec");  // rational text untouched
}

TEST_F(ValueFormat, LookupDecode) {
    EXPECT_EQ(lookupDecode("0:Auto,1:Manual", " 1 "), "Manual");
    EXPECT_EQ(lookupDecode("0:Auto,1:Manual", "0"), "Auto");
    EXPECT_EQ(lookupDecode("0:Auto,1:Manual", "2"), "");
    EXPECT_EQ(lookupDecode("10:Flash,1:Daylight", "1"), "Daylight");  // whole codes only
    EXPECT_EQ(lookupDecode("10:Flash,1:Daylight", "0"), "");
    EXPECT_EQ(lookupDecode("", "1"), "");
    EXPECT_EQ(lookupDecode("1:", "1"), "");
}

TEST_F(ValueFormat, TextUtilities) {
    EXPECT_EQ(rationalText(-7, 2), "-7/2");
    EXPECT_EQ(rationalText(INT32_MIN, 0), "-2147483648/0");

    std::string sixty(60, 'a');
    sixty[10] = '\t';
    sixty[55] = '\n';
    const std::string printable = printableText(sixty);
    EXPECT_EQ(printable.size(), 50u);
    EXPECT_EQ(printable, std::string(10, 'a') + "." + std::string(39, 'a'));
    EXPECT_EQ(printableText(std::string("\x00\x1F\x20\x7F\xB0", 5)), ".. \x7F\xB0");

    EXPECT_EQ(hexText(bytes({0x01, 0xAB})), "01 AB ");
    EXPECT_EQ(hexText(""), "");
    std::string seventeen(17, '\xFF');
    EXPECT_EQ(hexText(seventeen.substr(0, 16)).size(), 48u);
    std::string expected;
    for (int i = 0; i < 16; ++i) expected += "FF ";
    EXPECT_EQ(hexText(seventeen), expected + "...");
}

TEST_F(ValueFormat, RationalToFloat) {
    EXPECT_DOUBLE_EQ(rationalToFloat("7/1"), 7);
    EXPECT_DOUBLE_EQ(rationalToFloat("1 1/2"), 1.5);
    EXPECT_DOUBLE_EQ(rationalToFloat("-1/3"), -1.0 / 3);
    EXPECT_DOUBLE_EQ(rationalToFloat("  \t5123/100\r\n"), 51.23);
    EXPECT_DOUBLE_EQ(rationalToFloat("5"), 0);
    EXPECT_DOUBLE_EQ(rationalToFloat("5/0"), 0);
    EXPECT_DOUBLE_EQ(rationalToFloat("a/2"), 0);
    EXPECT_DOUBLE_EQ(rationalToFloat("1/2x"), 0);
    EXPECT_DOUBLE_EQ(rationalToFloat("x 1/2"), 0);
    EXPECT_DOUBLE_EQ(rationalToFloat(""), 0);
    EXPECT_DOUBLE_EQ(rationalToFloat("99999999999/1"), 0);  // not a 32-bit integer
    // the whole-number sum wraps like 32-bit arithmetic instead of overflowing
    EXPECT_DOUBLE_EQ(rationalToFloat("2147483647 1/1"), -2147483648.0);
}

TEST_F(ValueFormat, RoundHalfEven) {
    EXPECT_EQ(roundHalfEven(0.5), 0);
    EXPECT_EQ(roundHalfEven(1.5), 2);
    EXPECT_EQ(roundHalfEven(2.5), 2);
    EXPECT_EQ(roundHalfEven(-2.5), -2);
    EXPECT_EQ(roundHalfEven(-3.5), -4);
    EXPECT_EQ(roundHalfEven(2.4999), 2);
    EXPECT_EQ(roundHalfEven(127.9), 128);
    EXPECT_THROW(roundHalfEven(INFINITY), FormatError);
    EXPECT_THROW(roundHalfEven(1e19), FormatError);
}

TEST_F(ValueFormat, ShutterSpeedText) {
    EXPECT_EQ(shutterSpeedText("7/1", context), "0.0078 sec (1/128)");
    EXPECT_EQ(shutterSpeedText("1/1", context), "0.5000 sec (1/2)");
    EXPECT_EQ(shutterSpeedText("0/1", context), "1.0000 sec");
    EXPECT_EQ(shutterSpeedText("-1/1", context), "2.0000 sec");
    EXPECT_EQ(shutterSpeedText("not a rational", context), "1.0000 sec");
    // a huge APEX value cannot show a fraction, but must not fail
    EXPECT_EQ(shutterSpeedText("2000000000/1", context), "0.0000 sec");
}

TEST_F(ValueFormat, FlashText) {
    EXPECT_EQ(flashText("25", context), "On, auto mode");
    EXPECT_EQ(flashText("16", context), "Off, surpressed");
    EXPECT_EQ(flashText("31", context), "On, strobe return, auto mode");
    EXPECT_EQ(flashText("65", context), "On, red-eye reduction");
    EXPECT_EQ(flashText("0", context), "Off");
    EXPECT_EQ(flashText("3", context), "On, UNKNOWN");
    EXPECT_EQ(flashText("13", context), "On, no strobe return, forced");
    EXPECT_EQ(flashText("32", context), "Off, no flash function");
    EXPECT_THROW(flashText("", context), FormatError);
    EXPECT_THROW(flashText("25, 0", context), FormatError);
    EXPECT_THROW(flashText("On", context), FormatError);
}

TEST_F(ValueFormat, XpText) {
    EXPECT_EQ(xpText("72, 0, 105, 0, 0, 0", context), "Hi");
    EXPECT_EQ(xpText("72, 0, 0, 0, 105, 0", context), "Hi");  // a zero unit does not end the text
    EXPECT_EQ(xpText("72, 1, 105", context), "H");            // the last field is never read
    EXPECT_EQ(xpText("", context), "");
    EXPECT_EQ(xpText("72", context), "");
    EXPECT_EQ(xpText("328, 0", context), "H");  // low byte only
    EXPECT_THROW(xpText("x, 0, 105, 0", context), FormatError);
    EXPECT_THROW(xpText(", 0", context), FormatError);
}

TEST_F(ValueFormat, GpsDecoders) {
    EXPECT_EQ(gpsCoordinateText("48/1, 5123/100, 0/1", context), "48 Degrees 51 Minutes 14 Seconds");
    EXPECT_EQ(gpsCoordinateText("48/1, 51/1, 30/1", context), "48 Degrees 51 Minutes 30 Seconds");
    EXPECT_EQ(gpsCoordinateText("48/1", context), "48 Degrees 0 Minutes 0 Seconds");
    EXPECT_EQ(gpsTimeText("12/1, 30/1, 4500/100", context), "12:30:45");
    EXPECT_EQ(gpsTimeText("12/1, 30/1", context), "12:30:0");
    EXPECT_EQ(gpsTimeText("", context), "0:0:0");
    // a fourth element spoils the third part only
    EXPECT_EQ(gpsTimeText("12/1, 30/1, 45/1, 1/1", context), "12:30:0");
}

TEST_F(ValueFormat, ComponentsAndUserComment) {
    EXPECT_EQ(componentsText("\"\x01\x02\x03\"", context), "YCbCr");
    EXPECT_EQ(componentsText("\"\x04\x05\x06\"", context), "RGB");
    EXPECT_EQ(componentsText(std::string("\"\x01\x07\x00\x03\x02", 6), context),
              "YCr");  // the 6th character is not read
    EXPECT_EQ(componentsText("\"", context), "");
    EXPECT_EQ(componentsText("", context), "");

    EXPECT_EQ(userCommentText("ASCII\0\0\0Hello", context), "");
    EXPECT_EQ(userCommentText(std::string("ASCII\0\0\0Hello", 13), context), "Hello");
    EXPECT_EQ(userCommentText("short", context), "");
}
