// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "meta/image_info.h"
#include "meta/makernote/maker_tables.h"

using namespace morrowtide::meta;
using namespace morrowtide::meta::makernote;

namespace {

// The "\r\n"-led lines of a decoder result, as caption = text pairs.
std::string lineOf(std::string_view caption, std::string_view text) {
    return "\r\n" + std::string(caption) + " = " + std::string(text);
}

// A camera-settings array of `count` items, all 0 except those given (1-based item -> value).
std::string settingsArray(int count, std::initializer_list<std::pair<int, int>> items) {
    std::string text;
    for (int k = 1; k <= count; ++k) {
        int value = 0;
        for (const auto& [item, v] : items) {
            if (item == k) value = v;
        }
        if (k > 1) text += ", ";
        text += std::to_string(value);
    }
    return text;
}

}  // namespace

TEST(MakerText, ItemsKeepTheirBlanksAndMissingItemsAreEmpty) {
    EXPECT_EQ(textBefore("a, b", ","), "a");
    EXPECT_EQ(textBefore("ab", ","), "ab");
    EXPECT_EQ(textAfter("a, b", ","), " b");
    EXPECT_EQ(textAfter("ab", ","), "");
    EXPECT_EQ(textAfter("ab", ""), "ab");
    EXPECT_EQ(itemOf("1, 2, 3", ",", 2), " 2");
    EXPECT_EQ(itemOf("1, 2, 3", ",", 3), " 3");
    EXPECT_EQ(itemOf("1, 2, 3", ",", 4), "");
    EXPECT_EQ(itemOf("1, 2, 3", ",", 0), "1");
    EXPECT_EQ(itemOf("1, 2, 3", ",", -5), "1");
    EXPECT_EQ(countOf("1, 2, 3", ","), 2);
    EXPECT_EQ(countOf("1, 2, 3", ", "), 2);
    EXPECT_EQ(countOf("", ","), 0);
    EXPECT_EQ(countOf("abc", ""), 0);
}

TEST(CanonSettings1, ShortArrayAddsOnlyTheFieldsItHolds) {
    DecodeContext context;
    // 14 items: item 2 macro, item 3 self-timer, item 14 contrast 65535 (-1 read unsigned).
    const std::string result =
        decodeCanonSettings1(settingsArray(14, {{2, 1}, {3, 100}, {4, 2}, {14, 65535}}), context);
    EXPECT_TRUE(context.multiLineResult);
    EXPECT_EQ(result, lineOf("Macro mode", "Macro") + lineOf("Self Timer", " 100") +
                          lineOf("Compression Rate", "Normal") + lineOf("Flash Mode", "Not fired") +
                          lineOf("Drive Mode", "Single") + lineOf("Focus Mode", "One-Shot") +
                          lineOf("Image Size", "Large") + lineOf("Easy Shoot", "Full Auto") +
                          lineOf("Contrast", "Low"));
}

TEST(CanonSettings1, CodesMissingFromAListShowTheNumber) {
    DecodeContext context;
    // Macro 7 and CCD ISO 3 are in no list; the 33-item array reaches the second Focus Mode field.
    const std::string result =
        decodeCanonSettings1(settingsArray(33, {{2, 7}, {17, 3}, {29, 145}, {30, 8192}, {33, 1}}), context);
    EXPECT_NE(result.find(lineOf("Macro mode", "7")), std::string::npos);
    EXPECT_NE(result.find(lineOf("CCD ISO", "3")), std::string::npos);
    EXPECT_NE(result.find(lineOf("Self Timer", " 0")), std::string::npos);
    EXPECT_NE(result.find(lineOf("Focal Units", " 0")), std::string::npos);
    // The flash bits, not the flash activity before them.
    EXPECT_NE(result.find(lineOf("Flash Details", " 8192")), std::string::npos);
    // The last field, after "Flash Details".
    EXPECT_EQ(result.substr(result.size() - lineOf("Focus Mode", "Continuous").size()),
              lineOf("Focus Mode", "Continuous"));
}

TEST(CanonSettings1, FieldsShowTheCamerasOwnMeanings) {
    struct Case {
        int item;
        int value;
        const char* caption;
        const char* shown;
    };
    // Values a camera writes, with the meaning its maker documents; a number without one stays a number.
    const Case cases[] = {
        {4, 3, "Compression Rate", "Fine"},       {4, 4, "Compression Rate", "RAW"},
        {4, 5, "Compression Rate", "Superfine"},  {4, 0, "Compression Rate", "0"},
        {4, 65535, "Compression Rate", "65535"},  {18, 3, "Metering Mode", "Evaluative"},
        {18, 5, "Metering Mode", "Center-weighted average"}, {18, 9, "Metering Mode", "9"},
        {20, 12291, "AF Point", "Center"},        {20, 16385, "AF Point", "Auto AF point selection"},
        {20, 1, "AF Point", "1"},                 {21, 1, "Exposure Mode", "Program AE"},
        {21, 3, "Exposure Mode", "Aperture-priority AE"}, {21, 65535, "Exposure Mode", "65535"},
        {33, 0, "Focus Mode", "Single"},          {33, 8, "Focus Mode", "Manual"},
    };
    for (const Case& c : cases) {
        DecodeContext context;
        const std::string result = decodeCanonSettings1(settingsArray(33, {{c.item, c.value}}), context);
        // The second Focus Mode field is the last line; every other caption occurs once.
        const std::string want = lineOf(c.caption, c.shown);
        const std::size_t at = c.item == 33 ? result.size() - want.size() : result.find(lineOf(c.caption, ""));
        EXPECT_EQ(result.substr(at, want.size()), want) << c.caption << " " << c.value;
        EXPECT_TRUE(at + want.size() == result.size() || result.compare(at + want.size(), 2, "\r\n") == 0)
            << c.caption << " " << c.value;
    }
}

TEST(CanonSettings2, WhiteBalanceAndFlashBias) {
    DecodeContext context;
    const std::string result =
        decodeCanonSettings2(settingsArray(20, {{8, 4}, {9, 1}, {10, 3}, {16, 65504}, {20, 250}}), context);
    EXPECT_TRUE(context.multiLineResult);
    EXPECT_EQ(result, lineOf("White balance", "Flourescent") + lineOf("Sequence Number", " 3") +
                          lineOf("OpticalZoom Step", " 0") + lineOf("AF point", " 0") + lineOf("Flash bias", "-1 EV") +
                          lineOf("Distance", " 250"));
}

// The custom-function names belong to the first generation of bodies.
struct D30 {
    ImageInfo info{nullptr, 2};
    DecodeContext context{&info, false, 0x000F};
    D30() { info.cameraModel = "Canon EOS D30"; }
};

TEST(CanonCustomFunctions, EveryItemButTheLengthIsExamined) {
    D30 camera;
    DecodeContext& context = camera.context;
    // 30 is the array's byte length (function 0); 769 is function 3 setting 1, and the last item still counts.
    const std::string result = decodeCanonCustomFunctions("30, 257, 512, 769", context);
    EXPECT_TRUE(context.multiLineResult);
    EXPECT_EQ(result, lineOf("Noise Reduction", " On") + lineOf("Shutter AE Lock Button", "AF/AE lock") +
                          lineOf("Mirror Lockup", "Enable"));
}

TEST(CanonCustomFunctions, UnknownFunctionsSettingsAndNonNumbersAddNothing) {
    D30 camera;
    DecodeContext& context = camera.context;
    // function 16, function 1 setting 7 (not listed), a text, a negative number, function 15 setting 1
    EXPECT_EQ(decodeCanonCustomFunctions("4096, 263, x, -257, 3841", context),
              lineOf("Shutter Release w/o CF Card", "Disable"));
    EXPECT_EQ(decodeCanonCustomFunctions("", context), "");
}

TEST(CanonCustomFunctions, AebSequenceSettingsAreWordedApart) {
    std::set<std::string> texts;
    for (int setting = 0; setting < 4; ++setting) {
        D30 camera;
        const std::string result = decodeCanonCustomFunctions(std::to_string(7 * 256 + setting), camera.context);
        ASSERT_EQ(result.rfind("\r\nAEB Sequence = ", 0), 0u) << setting;
        texts.insert(result);
    }
    EXPECT_EQ(texts.size(), 4u);
    D30 camera;
    EXPECT_EQ(decodeCanonCustomFunctions(std::to_string(7 * 256 + 2), camera.context),
              lineOf("AEB Sequence", "-; 0; + / Enabled"));
}

TEST(CanonCustomFunctions, OtherModelsShowFunctionNumbersAndSettings) {
    // An EOS 20D numbers its functions its own way: the first generation's names would be wrong for it.
    for (const char* model : {"Canon EOS 20D", "Canon EOS 5D", ""}) {
        ImageInfo info(nullptr, 255);
        info.cameraModel = model;
        DecodeContext context{&info, false, 0x000F};
        EXPECT_EQ(decodeCanonCustomFunctions("30, 257, 512, 3841", context),
                  lineOf("Custom Function 1", "1") + lineOf("Custom Function 2", "0") +
                      lineOf("Custom Function 15", "1"))
            << model;
        EXPECT_EQ(info.textOfTag("Custom Function 15"), "1") << model;
    }
}

TEST(CanonDecoders, SubFieldsAreRecordedUnderTheirEntrysTag) {
    ImageInfo info(nullptr, 255);
    info.cameraModel = "Canon EOS D30";
    DecodeContext context{&info, false, 0x000F};
    decodeCanonCustomFunctions("30, 257", context);
    ASSERT_EQ(info.entryCount(), 1);
    const TagEntry& field = info.entries[0];
    EXPECT_EQ(field.tag, 0x000F);
    EXPECT_EQ(field.name, "Noise Reduction");
    EXPECT_EQ(field.caption, "Noise Reduction");
    EXPECT_EQ(field.text, " On");
    EXPECT_EQ(field.rawBytes, " On");
    EXPECT_EQ(field.rawSize, 3);
    EXPECT_EQ(field.format, 2);
    EXPECT_EQ(field.id, 1);
    EXPECT_EQ(info.textOfTag("noise reduction"), " On");

    ImageInfo textOnly(nullptr, 2);
    DecodeContext textContext{&textOnly, false, 0x0001};
    EXPECT_FALSE(decodeCanonSettings1("0, 1", textContext).empty());
    EXPECT_EQ(textOnly.entryCount(), 0);
}

TEST(NikonLens, FocalAndApertureRanges) {
    DecodeContext context;
    EXPECT_EQ(decodeNikonLens("180/10, 700/10, 35/10, 45/10", context), "18.0-70.0(mm)  F3.5-F4.5");
    EXPECT_FALSE(context.multiLineResult);
    // Two rationals: the first is the first number, the rest is the fourth.
    EXPECT_EQ(decodeNikonLens("50/1, 14/10", context), "50.0-0.0(mm)  F0.0-F1.4");
    EXPECT_EQ(decodeNikonLens("", context), "0.0-0.0(mm)  F0.0-F0.0");
    // A zero denominator counts as 0 instead of failing.
    EXPECT_EQ(decodeNikonLens("24/0, 85/1, 28/10, 0/0", context), "0.0-85.0(mm)  F2.8-F0.0");
}

TEST(NikonColorMode, ExactModesOnly) {
    DecodeContext context;
    EXPECT_EQ(decodeNikonColorMode("\"MODE1   \"", context), "Mode1 (sRGB)");
    EXPECT_EQ(decodeNikonColorMode("\"MODE2\"", context), "Mode 2 (Adobe RGB)");
    EXPECT_EQ(decodeNikonColorMode("\"MODE3a\"", context), "Mode 3 (sRGB): higher saturation");
    EXPECT_EQ(decodeNikonColorMode("\"mode2\"", context), "mode2");
    EXPECT_EQ(decodeNikonColorMode("\"MO\"", context), "MO\"");
    EXPECT_EQ(decodeNikonColorMode("", context), "");
    EXPECT_FALSE(context.multiLineResult);
}

TEST(MakerTables, SizesFirstRowsAndUniqueTags) {
    struct Expected {
        std::span<const TagRow> table;
        std::size_t rows;
        std::uint16_t firstTag;
        std::string_view firstName;
    };
    const Expected tables[] = {
        {nikonType1Table(), 11, 0x0002, "FamilyID"},
        {nikonType3Table(), 28, 0x0001, "FamilyID"},
        {olympusTable(), 33, 0x0200, "SpecialMode"},
        {casioType1Table(), 26, 0x0001, "RecordingMode"},
        {casioType2Table(), 45, 0x0002, "ThumbnailDimensions"},
        {fujifilmTable(), 18, 0x0000, "Version"},
        {canonTable(), 16, 0x0000, "Skip"},
        {seikoTable(), 12, 0x0200, "Special Mode"},
        {sanyoTable(), 6, 0x0200, "Special Mode"},
        {minoltaTable(), 2, 0x0000, "ModelID"},
    };
    for (const Expected& expected : tables) {
        EXPECT_EQ(expected.table.size(), expected.rows) << expected.firstName;
        EXPECT_EQ(expected.table.front().tag, expected.firstTag);
        EXPECT_EQ(expected.table.front().name, expected.firstName);
        std::set<std::uint16_t> tags;
        for (const TagRow& row : expected.table) EXPECT_TRUE(tags.insert(row.tag).second) << row.name;
    }
    // Casio type 2 keeps its 0x2013 row ahead of 0x2012, and the PIM caption starts with a tab.
    const auto casio2 = casioType2Table();
    EXPECT_EQ(casio2[18].tag, 0x2013);
    EXPECT_EQ(casio2[19].tag, 0x2012);
    EXPECT_EQ(casio2[12].caption, "\t Print Image Matching Info");
}
