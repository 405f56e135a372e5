// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "meta/tag_tables.h"
#include "meta/value_format.h"

using namespace morrowtide::meta;

TEST(TagTables, ExifTableShape) {
    const auto table = exifTagTable();
    ASSERT_EQ(table.size(), 251u);
    EXPECT_EQ(table.front().tag, 0x0001);
    EXPECT_EQ(table[249].tag, 0xA420);
    EXPECT_EQ(table[249].name, "ImageUniqueID");
    EXPECT_EQ(table.back().tag, 0);
    EXPECT_EQ(table.back().name, "Unknown");
    for (std::size_t i = 1; i < 250; ++i) EXPECT_LT(table[i - 1].tag, table[i].tag) << "row " << i;
    // stored spellings stay as they are
    EXPECT_EQ(lookupEntry(0x0122, kMainDirectory).name, "GrayReponseUnit");
    EXPECT_EQ(lookupEntry(0xA405, kMainDirectory).name, "FocalLengthin35mmFilm");
    EXPECT_EQ(lookupEntry(0x503B, kMainDirectory).name, "ThumbnailCopyRight");
    EXPECT_EQ(lookupEntry(0x1002, kMainDirectory).name, "RelatedImageHeight");

    std::map<std::string, std::vector<std::uint16_t>> byName;
    for (std::size_t i = 0; i < 250; ++i) byName[std::string(table[i].name)].push_back(table[i].tag);
    std::set<std::string> doubled;
    for (const auto& [name, tags] : byName) {
        if (tags.size() > 1) {
            doubled.insert(name);
            ASSERT_EQ(tags.size(), 2u) << name;
            // each twin pair is a 0x92xx/0x828E tag and its 0xA2xx/0xA302 counterpart
            EXPECT_TRUE((tags[0] & 0xFF00) == 0x9200 || tags[0] == 0x828E) << name;
            EXPECT_TRUE((tags[1] & 0xFF00) == 0xA200 || tags[1] == 0xA302) << name;
        }
    }
    const std::set<std::string> expected = {"FlashEnergy",
                                            "SpatialFrequencyResponse",
                                            "FocalPlaneXResolution",
                                            "FocalPlaneYResolution",
                                            "FocalPlaneResolutionUnit",
                                            "ImageNumber",
                                            "SecurityClassification",
                                            "ImageHistory",
                                            "SubjectLocation",
                                            "ExposureIndex",
                                            "TIFF/EPStandardID",
                                            "SensingMethod",
                                            "CFAPattern"};
    EXPECT_EQ(doubled, expected);
}

TEST(TagTables, GpsAndSectionTables) {
    const auto gps = gpsTagTable();
    ASSERT_EQ(gps.size(), 31u);
    for (std::size_t i = 0; i < gps.size(); ++i) EXPECT_EQ(gps[i].tag, i);
    EXPECT_EQ(gps[0x17].name, "GPSDestBearingkRef");  // the stored spelling
    EXPECT_EQ(gps[0x07].decoder, &gpsTimeText);
    for (std::uint16_t t : {0x02, 0x04, 0x14, 0x16}) EXPECT_EQ(gps[t].decoder, &gpsCoordinateText) << t;
    EXPECT_EQ(gps[0x05].decodeList, "0:Sealevel");

    const auto sections = sectionNameTable();
    ASSERT_EQ(sections.size(), 30u);
    EXPECT_EQ(sections[0].tag, 0xC0);
    EXPECT_EQ(sections[0].caption, "Baseline");
    EXPECT_EQ(sections[11].tag, 0xCD);  // out of numeric order on purpose
    EXPECT_EQ(sections[12].tag, 0xCC);
    EXPECT_EQ(sections[26].caption, "Comment");
    EXPECT_EQ(sections[27].tag, 0xED);
    EXPECT_EQ(sections[29].tag, 0);
    EXPECT_EQ(sections[29].caption, "Unknown");
    for (const auto& row : sections) {
        EXPECT_TRUE(row.name.empty());
        EXPECT_FALSE(row.caption.empty());
    }
}

TEST(TagTables, RowsCarryTheirExtras) {
    const TagEntry orientation = lookupEntry(0x0112, kMainDirectory);
    EXPECT_EQ(orientation.decodeList, "1:Normal,3:Rotated 180\xB0,6:CounterClockwise 90\xB0,8:Clockwise 90\xB0");
    EXPECT_EQ(lookupDecode(orientation.decodeList, "3"), "Rotated 180\xB0");
    EXPECT_EQ(lookupEntry(0x829D, kMainDirectory).formatSpec, "F%0.1f");
    EXPECT_EQ(lookupEntry(0x9209, kMainDirectory).decoder, &flashText);
    for (std::uint16_t t = 0x9C9B; t <= 0x9C9F; ++t) EXPECT_EQ(lookupEntry(t, kMainDirectory).decoder, &xpText);
    // of the SensingMethod twins only the 0xA2xx one decodes
    EXPECT_TRUE(lookupEntry(0x9217, kMainDirectory).decodeList.empty());
    EXPECT_FALSE(lookupEntry(0xA217, kMainDirectory).decodeList.empty());
    EXPECT_EQ(lookupEntry(0x9210, kMainDirectory).decodeList, lookupEntry(0xA210, kMainDirectory).decodeList);
}

TEST(SplitCamelCase, BlankBeforeCapitalAfterNonCapital) {
    EXPECT_EQ(splitCamelCase("GPSLatitudeRef"), "GPSLatitude Ref");
    EXPECT_EQ(splitCamelCase("YCbCrCoefficients"), "YCb Cr Coefficients");
    EXPECT_EQ(splitCamelCase("T4Options"), "T4 Options");
    EXPECT_EQ(splitCamelCase("ExposureTime"), "Exposure Time");
    EXPECT_EQ(splitCamelCase("ExifImageWidth"), "Exif Image Width");
    EXPECT_EQ(splitCamelCase("ISOSpeedRatings"), "ISOSpeed Ratings");
    EXPECT_EQ(splitCamelCase("FNumber"), "FNumber");
    EXPECT_EQ(splitCamelCase("GPSDOP"), "GPSDOP");
    EXPECT_EQ(splitCamelCase("aB"), "a B");
    EXPECT_EQ(splitCamelCase("\xE9X"), "\xE9 X");  // an accented letter is not a capital
    EXPECT_EQ(splitCamelCase("\xC9X"), "\xC9 X");
    EXPECT_EQ(splitCamelCase(""), "");
}

TEST(LookupEntry, KindSelectsTheTable) {
    const TagEntry interop = lookupEntry(0x0001, kMainDirectory);
    EXPECT_EQ(interop.name, "InteroperabilityIndex");
    EXPECT_EQ(interop.caption, "Interoperability Index");
    EXPECT_EQ(interop.tag, 0x0001);
    EXPECT_EQ(lookupEntry(0x0001, kThumbnailDirectory).name, "InteroperabilityIndex");
    EXPECT_EQ(lookupEntry(0x0001, kGpsDirectory).name, "GPSLatitudeRef");

    const TagEntry differential = lookupEntry(0x1E, kGpsDirectory);
    EXPECT_EQ(differential.name, "GPSDifferential");
    EXPECT_EQ(differential.caption, "GPSDifferential");

    // a GPS tag number beyond the GPS table, and a main tag in a GPS directory, are unknown
    EXPECT_EQ(lookupEntry(0x1F, kGpsDirectory).name, "Unknown");
    EXPECT_EQ(lookupEntry(0x829A, kGpsDirectory).name, "Unknown");
    // other kinds are not searched at all
    EXPECT_EQ(lookupEntry(0x0001, 3).name, "Unknown");
    EXPECT_EQ(lookupEntry(0x0001, 0).name, "Unknown");
}

TEST(LookupEntry, UnknownTagGivesTheUnknownRow) {
    for (std::uint16_t tag : {std::uint16_t{0xC4A5}, std::uint16_t{0}, std::uint16_t{0xFFFF}}) {
        const TagEntry entry = lookupEntry(tag, kMainDirectory);
        EXPECT_EQ(entry.tag, 0);
        EXPECT_EQ(entry.name, "Unknown");
        EXPECT_EQ(entry.caption, "Unknown");
        EXPECT_TRUE(entry.decodeList.empty());
        EXPECT_TRUE(entry.formatSpec.empty());
        EXPECT_EQ(entry.decoder, nullptr);
    }
}

TEST(LookupEntry, ReturnsIndependentCopies) {
    TagEntry first = lookupEntry(0x829A, kMainDirectory);
    first.caption = "changed";
    first.formatSpec.clear();
    const TagEntry second = lookupEntry(0x829A, kMainDirectory);
    EXPECT_EQ(second.caption, "Exposure Time");
    EXPECT_EQ(second.formatSpec, "%s sec");
    EXPECT_EQ(second.id, 0);
    EXPECT_EQ(second.format, 0);
    EXPECT_TRUE(second.text.empty());
}

TEST(IndexOfTableName, CaseInsensitiveFirstMatch) {
    const auto table = exifTagTable();
    const int focal35 = indexOfTableName("FocalLengthIn35mmFilm");
    ASSERT_GE(focal35, 0);
    EXPECT_EQ(table[static_cast<std::size_t>(focal35)].tag, 0xA405);
    EXPECT_EQ(indexOfTableName("FOCALLENGTHIN35MMFILM"), focal35);
    EXPECT_EQ(indexOfTableName("InteroperabilityIndex"), 0);

    const int sensing = indexOfTableName("sensingmethod");
    ASSERT_GE(sensing, 0);
    EXPECT_EQ(table[static_cast<std::size_t>(sensing)].tag, 0x9217);
    EXPECT_EQ(table[static_cast<std::size_t>(indexOfTableName("CFAPattern"))].tag, 0x828E);

    EXPECT_EQ(indexOfTableName("Unknown"), -1);
    EXPECT_EQ(indexOfTableName(""), -1);
    EXPECT_EQ(indexOfTableName("GPSLatitudeRef"), -1);  // GPS names are not in this table
    EXPECT_EQ(indexOfTableName("FocalLengthIn35mmFil"), -1);
}

TEST(Captions, FilledOnceKeepingOwnCaptions) {
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) threads.emplace_back([] { fillCaptions(); });
    for (auto& t : threads) t.join();
    fillCaptions();

    EXPECT_EQ(lookupEntry(0xA405, kMainDirectory).caption, "Focal Length in 35mm Film");
    EXPECT_EQ(lookupEntry(0x829A, kMainDirectory).caption, "Exposure Time");
    EXPECT_EQ(lookupEntry(0x83BB, kMainDirectory).caption, "IPTC/NAA");
    EXPECT_EQ(lookupEntry(0xA216, kMainDirectory).caption, "TIFF/EPStandardID");
    EXPECT_EQ(lookupEntry(0x01, kGpsDirectory).caption, "GPSLatitude Ref");
}

TEST(EntryFromRow, UsesOwnCaptionOrSplitName) {
    const TagRow iptcRow{.tag = 0x50, .name = "ByLine", .indexCode = 2, .rawSize = 32};
    const TagEntry entry = entryFromRow(iptcRow);
    EXPECT_EQ(entry.caption, "By Line");
    EXPECT_EQ(entry.indexCode, 2);
    EXPECT_EQ(entry.rawSize, 32);
    EXPECT_EQ(entry.tag, 0x50);
    EXPECT_EQ(entryFromRow(sectionNameTable()[1]).caption, "Extended sequential");
}

TEST(TagEntryBasics, EmptyEntryAndFormatSizes) {
    const TagEntry& empty = emptyTagEntry();
    EXPECT_EQ(empty.tag, 0);
    EXPECT_TRUE(empty.name.empty());
    EXPECT_TRUE(empty.caption.empty());
    EXPECT_EQ(empty.decoder, nullptr);

    EXPECT_EQ(kFormatSizes[0], 0);
    EXPECT_EQ(formatSize(13), 0);
    EXPECT_EQ(formatSize(0xFFFF), 0);
    EXPECT_EQ(formatSize(5), 8);
    EXPECT_EQ(formatSize(11), 4);
    EXPECT_EQ(formatSize(12), 8);
}
