// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

#include "meta/img_data.h"
#include "meta/iptc.h"

using namespace morrowtide::meta;

namespace {

struct Dataset {
    int record;
    int number;
    std::string value;
};

std::string be16(std::size_t v) {
    return {static_cast<char>((v >> 8) & 0xFF), static_cast<char>(v & 0xFF)};
}
std::string be32(std::size_t v) {
    return be16(v >> 16) + be16(v & 0xFFFF);
}

std::string datasetBytes(const Dataset& d) {
    return std::string(1, '\x1C') + static_cast<char>(d.record) + static_cast<char>(d.number) + be16(d.value.size()) +
           d.value;
}

// One 8BIM image resource: type, id, empty Pascal name (two bytes), size, payload padded to even length.
std::string resource(std::uint16_t id, const std::string& payload) {
    std::string r = "8BIM" + be16(id) + std::string(2, '\0') + be32(payload.size()) + payload;
    if (payload.size() % 2) r += '\0';
    return r;
}

// A whole APP13 section's Data as the container keeps it: the length field first, then the payload.
std::string app13(const std::string& payload) {
    return be16(payload.size() + 2) + payload;
}

// The usual layout: signature, a resolution resource before the IPTC resource (0x0404), and one after it.
std::string photoshopSection(const std::vector<Dataset>& datasets) {
    std::string iptc;
    for (const auto& d : datasets) iptc += datasetBytes(d);
    const std::string resolution("\x00\x48\x00\x00\x00\x01\x00\x01\x00\x48\x00\x00\x00\x01\x00\x01", 16);
    return app13(std::string("Photoshop 3.0", 14) + resource(0x03ED, resolution) + resource(0x0404, iptc) +
                 resource(0x0425, std::string(16, '\x5A')));
}

IptcData parsed(const std::string& section) {
    IptcData iptc;
    iptc.parseIptcSection(section);
    return iptc;
}

}  // namespace

TEST(IptcTable, RowsAndNameLookup) {
    const auto table = iptcTagTable();
    ASSERT_EQ(table.size(), 49u);
    EXPECT_EQ(table.front().name, "SKIP");
    EXPECT_EQ(table.front().tag, 0);
    EXPECT_EQ(table.back().name, "Subfile");
    EXPECT_EQ(table.back().indexCode, 8);
    std::set<int> keys;
    for (const auto& row : table) keys.insert(row.indexCode * 256 + row.tag);
    EXPECT_EQ(keys.size(), table.size()) << "record/dataset pairs must be unique";
    // Case-insensitive, and only whole names.
    const int keywords = IptcData::indexOfTableName("keywords");
    ASSERT_GE(keywords, 0);
    EXPECT_EQ(table[static_cast<std::size_t>(keywords)].tag, 25);
    EXPECT_EQ(table[static_cast<std::size_t>(keywords)].rawSize, 64);
    EXPECT_EQ(IptcData::indexOfTableName("Keyword"), -1);
    EXPECT_EQ(IptcData::indexOfTableName(""), -1);
    EXPECT_TRUE(isListDataset(20));
    EXPECT_TRUE(isListDataset(25));
    EXPECT_FALSE(isListDataset(26));
}

TEST(IptcCommaList, Split) {
    using V = std::vector<std::string>;
    EXPECT_EQ(splitCommaList(""), V{});
    EXPECT_EQ(splitCommaList("  \t "), V{});
    EXPECT_EQ(splitCommaList("a,b"), (V{"a", "b"}));
    EXPECT_EQ(splitCommaList(" a , b "), (V{"a", "b"}));
    EXPECT_EQ(splitCommaList("two words"), (V{"two words"}));  // a keyword with a blank stays whole
    EXPECT_EQ(splitCommaList("New York , Paris"), (V{"New York", "Paris"}));
    EXPECT_EQ(splitCommaList("a\r\nb"), (V{"a", "b"}));
    EXPECT_EQ(splitCommaList("\"two words\",c"), (V{"two words", "c"}));
    EXPECT_EQ(splitCommaList("\"say \"\"hi\"\"\""), (V{"say \"hi\""}));
    EXPECT_EQ(splitCommaList("\"a,b\""), (V{"a,b"}));
    EXPECT_EQ(splitCommaList("\"open"), (V{"open"}));
    EXPECT_EQ(splitCommaList("\"\""), (V{""}));
    // Empty items: between commas, before a leading comma, and for a comma that is the very last character only.
    EXPECT_EQ(splitCommaList("a,,b"), (V{"a", "", "b"}));
    EXPECT_EQ(splitCommaList(",a"), (V{"", "a"}));
    EXPECT_EQ(splitCommaList("a,"), (V{"a", ""}));
    EXPECT_EQ(splitCommaList("a, "), (V{"a"}));
    EXPECT_EQ(splitCommaList(","), (V{"", ""}));
    // A zero byte ends the text (padded values).
    EXPECT_EQ(splitCommaList(std::string("a,b\0c,d", 7)), (V{"a", "b"}));
}

TEST(IptcCommaList, JoinQuotesOnlyWhereNeededAndRoundTrips) {
    using V = std::vector<std::string>;
    EXPECT_EQ(joinCommaList({}), "");
    EXPECT_EQ(joinCommaList({""}), "\"\"");
    EXPECT_EQ(joinCommaList({"a", "b"}), "a,b");
    EXPECT_EQ(joinCommaList({"a", ""}), "a,");
    EXPECT_EQ(joinCommaList({"two words"}), "\"two words\"");
    EXPECT_EQ(joinCommaList({"a,b", "x\ty"}), "\"a,b\",\"x\ty\"");
    EXPECT_EQ(joinCommaList({"say \"hi\""}), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(joinCommaList({"caf\xE9"}), "caf\xE9");
    for (const V& items : {V{"a", "", "b"}, V{"", "a"}, V{"", ""}, V{""}, V{"x y", "\"q\"", ",", "z"}}) {
        EXPECT_EQ(splitCommaList(joinCommaList(items)), items) << joinCommaList(items);
    }
}

TEST(IptcCommaList, MergeAddsNewItemsIgnoringCase) {
    EXPECT_EQ(IptcData::mergeCommaLists("alpha", "beta"), "alpha,beta");
    EXPECT_EQ(IptcData::mergeCommaLists("alpha,beta", "Alpha"), "alpha,beta");
    EXPECT_EQ(IptcData::mergeCommaLists("", "two words"), "\"two words\"");
    EXPECT_EQ(IptcData::mergeCommaLists("", "\" padded \""), "padded");
    EXPECT_EQ(IptcData::mergeCommaLists("a", "b,B,c"), "a,b,c");
    // Windows-1252 letters fold too: é / É, š / Š.
    EXPECT_EQ(IptcData::mergeCommaLists("caf\xE9,\x9A", "CAF\xC9,\x8A"), "caf\xE9,\x9A");
    // Items of the old list are kept as they are, duplicates included.
    EXPECT_EQ(IptcData::mergeCommaLists("x,x", "y"), "x,x,y");
    EXPECT_EQ(IptcData::mergeCommaLists("", ""), "");
    EXPECT_TRUE(sameTextIgnoringCase("Keywords", "kEYWORDS"));
    EXPECT_FALSE(sameTextIgnoringCase("Keywords", "Keyword"));
}

TEST(IptcParse, PhotoshopSectionWithListAndCustomDatasets) {
    const IptcData iptc = parsed(photoshopSection({
        {2, 0, std::string("\x00\x02", 2)},  // record version: not kept
        {2, 5, "Harbour at dusk"},
        {2, 25, "alpha"},
        {2, 80, "First"},
        {2, 25, "beta"},
        {2, 25, "Alpha"},  // already there, ignoring case
        {2, 200, "custom"},
        {8, 20, "list number in record 8"},  // list path, but "Custom_20" is no table name
        {8, 10, "01"},
        {2, 80, "Second"},  // not a list dataset: one entry per occurrence
        {2, 20, "two words"},
        {3, 5, "other record"},
    }));
    ASSERT_EQ(iptc.entryCount(), 7);
    const TagEntry name = iptc.entryAt(0);
    EXPECT_EQ(name.name, "ObjectName");
    EXPECT_EQ(name.caption, "Object name");
    EXPECT_EQ(name.indexCode, 2);
    EXPECT_EQ(name.tag, 5);
    EXPECT_EQ(name.rawSize, 64);
    EXPECT_EQ(name.text, "Harbour at dusk");
    EXPECT_EQ(iptc.entryAt(1).name, "Keywords");
    EXPECT_EQ(iptc.entryAt(1).text, "alpha,beta");
    EXPECT_EQ(iptc.entryAt(2).text, "First");
    const TagEntry custom = iptc.entryAt(3);
    EXPECT_EQ(custom.name, "Custom_200");
    EXPECT_EQ(custom.caption, "Custom_200");
    EXPECT_EQ(custom.tag, 200);
    EXPECT_EQ(custom.indexCode, 2);
    EXPECT_EQ(custom.rawSize, 64);
    EXPECT_EQ(custom.text, "custom");
    EXPECT_EQ(iptc.entryAt(4).name, "Subfile");
    EXPECT_EQ(iptc.entryAt(4).indexCode, 8);
    EXPECT_EQ(iptc.entryAt(5).name, "ByLine");
    EXPECT_EQ(iptc.entryAt(5).text, "Second");
    EXPECT_EQ(iptc.entryAt(6).name, "SuppCategory");
    EXPECT_EQ(iptc.entryAt(6).text, "\"two words\"");
    EXPECT_EQ(iptc.indexOfTag("Custom_20"), -1);
    EXPECT_EQ(iptc.textLines(),
              "\r\nObject name = Harbour at dusk\r\nKeywords = alpha,beta\r\nByLine = First\r\nCustom_200 = custom"
              "\r\nSubfile = 01\r\nByLine = Second\r\nSupplemental category = \"two words\"");
    // Reparsing starts afresh.
    IptcData again = iptc;
    again.parseIptcSection(photoshopSection({{2, 90, "Oslo"}}));
    ASSERT_EQ(again.entryCount(), 1);
    EXPECT_EQ(again.textOfTag("city"), "Oslo");
}

TEST(IptcParse, FindsTheFirstDatasetMarker) {
    // Resource bytes before the IPTC resource hold 0x1C followed by other numbers: skipped.
    std::string payload = std::string("Photoshop 3.0", 14) + resource(0x0409, std::string("\x1C\x05\x1C\x1C\x00", 5)) +
                          resource(0x0404, datasetBytes({2, 90, "Lyon"}));
    EXPECT_EQ(parsed(app13(payload)).textOfTag("City"), "Lyon");

    // The first dataset may belong to record 8 as well as to record 2.
    const IptcData record8 = parsed(photoshopSection({{8, 10, "ab"}, {2, 90, "Lyon"}}));
    ASSERT_EQ(record8.entryCount(), 2);
    EXPECT_EQ(record8.entryAt(0).indexCode, 8);
    EXPECT_EQ(record8.textOfTag("Subfile"), "ab");
    EXPECT_EQ(record8.textOfTag("City"), "Lyon");

    // Without the signature the search starts at the 13th byte: a dataset earlier is not seen.
    const std::string early = be16(20) + datasetBytes({2, 90, "Early"}) + std::string(6, '\0');
    EXPECT_FALSE(parsed(early).hasEntries());
    const std::string atThirteen = be16(40) + std::string(10, '\0') + datasetBytes({2, 90, "Late"}) + "\x1C";
    EXPECT_EQ(parsed(atThirteen).textOfTag("City"), "Late");

    // No 0x1C followed by 2 or 8 at all.
    EXPECT_FALSE(
        parsed(app13(std::string("Photoshop 3.0", 14) + resource(0x03ED, std::string(16, '\x1C')))).hasEntries());
    EXPECT_FALSE(parsed("").hasEntries());
    EXPECT_FALSE(parsed(std::string("Photoshop 3.0\x1C", 14)).hasEntries());
    EXPECT_FALSE(parsed(std::string("Photoshop 3.0\x1C\x02", 15)).hasEntries());
}

TEST(IptcParse, TruncatedAndLimitLengths) {
    const std::string head = std::string("Photoshop 3.0", 14);
    // The value runs past the end of the section: it is cut there.
    EXPECT_EQ(parsed(app13(head + "\x1C\x02\x5A" + be16(0xFFFF) + "Bergen")).textOfTag("City"), "Bergen");
    // A value ending exactly on the last byte.
    EXPECT_EQ(parsed(app13(head + "\x1C\x02\x5A" + be16(4) + "Oslo")).textOfTag("City"), "Oslo");
    // A header whose last byte is the section's last byte is read (empty value); one byte short is not.
    EXPECT_EQ(parsed(app13(head + "\x1C\x02\x5A" + be16(2))).indexOfTag("City"), 0);
    EXPECT_FALSE(parsed(app13(head + "\x1C\x02\x5A" + std::string(1, '\0'))).hasEntries());
    // Second dataset's header cut short after a complete first one.
    const IptcData cut = parsed(app13(head + datasetBytes({2, 90, "Oslo"}) + "\x1C\x02\x5F\x00"));
    ASSERT_EQ(cut.entryCount(), 1);
    EXPECT_EQ(cut.entryAt(0).text, "Oslo");
    // A size field of 0 and of 0x8004 (the extended-size form, not recognised: read as a plain size).
    const IptcData sizes = parsed(app13(head + datasetBytes({2, 5, ""}) + "\x1C\x02\x5A" + be16(0x8004) + "abcd"));
    ASSERT_EQ(sizes.entryCount(), 2);
    EXPECT_EQ(sizes.textOfTag("ObjectName", "none"), "");
    EXPECT_EQ(sizes.textOfTag("City"), "abcd");
}

TEST(IptcParse, StopsWhereTheDatasetsEnd) {
    // After the IPTC resource come other resources. Bytes there that happen to read as a record-2 dataset header
    // must not become an entry: the byte before each dataset has to be the 0x1C marker.
    // Here the pad byte after the value would be skipped as a marker and "State" read from the following bytes.
    const std::string section = app13(std::string("Photoshop 3.0", 14) + datasetBytes({2, 90, "Oslo"}) +
                                      std::string("\x00\x02\x5F\x00\x03XYZ", 8));
    const IptcData stopped = parsed(section);
    ASSERT_EQ(stopped.entryCount(), 1);
    EXPECT_EQ(stopped.entryAt(0).name, "City");
}

TEST(IptcParse, HostileBytesStayInBounds) {
    // Random sections peppered with dataset markers; run under the sanitizers this catches any stray read.
    std::mt19937 random(8);
    for (int round = 0; round < 300; ++round) {
        std::string data(random() % 300, '\0');
        for (char& c : data) {
            const auto r = random() % 10;
            c = r == 0 ? '\x1C' : r == 1 ? '\x02' : static_cast<char>(random());
        }
        IptcData iptc;
        iptc.parseIptcSection(data);
        for (int i = 0; i < iptc.entryCount(); ++i) {
            const TagEntry e = iptc.entryAt(i);
            EXPECT_NE(e.tag, 0);
            EXPECT_TRUE(e.indexCode == 2 || e.indexCode == 8);
            EXPECT_LE(e.text.size(), data.size());
        }
    }
    // The largest section filled with distinct three-letter keywords: every one is kept in one entry.
    std::string many = std::string("Photoshop 3.0", 14);
    std::size_t count = 0;
    for (; many.size() + 8 <= 0xFFFD; ++count) {
        const std::string word{static_cast<char>('a' + count / 676 % 26), static_cast<char>('a' + count / 26 % 26),
                               static_cast<char>('a' + count % 26)};
        many += datasetBytes({2, 25, word});
    }
    const IptcData big = parsed(app13(many));
    ASSERT_EQ(big.entryCount(), 1);
    EXPECT_EQ(splitCommaList(big.entryAt(0).text).size(), count);
}

TEST(IptcTags, SetAppendStoreDelete) {
    IptcData iptc;
    EXPECT_EQ(iptc.setTag("Nonsense", "x"), -1);
    EXPECT_EQ(iptc.storeTag("Custom_200", "x"), -1);
    EXPECT_EQ(iptc.setTag("SKIP", "x"), -1) << "the record version row (dataset 0) is never stored";
    EXPECT_FALSE(iptc.hasEntries());

    EXPECT_EQ(iptc.setTag("city", "Oslo"), 0);
    EXPECT_EQ(iptc.entryAt(0).name, "City") << "the stored name is the table's";
    EXPECT_EQ(iptc.setTag("CITY", ""), 0);
    EXPECT_EQ(iptc.textOfTag("City"), "Oslo") << "an empty value leaves an existing entry alone";
    EXPECT_EQ(iptc.setTag("State", ""), 1);
    EXPECT_EQ(iptc.textOfTag("State", "default"), "") << "a new name is added even with an empty value";
    EXPECT_EQ(iptc.textOfTag("Source", "default"), "default");

    EXPECT_EQ(iptc.storeTag("Keywords", "sea, harbour"), 2);
    EXPECT_EQ(iptc.storeTag("keywords", "Harbour,boats"), 2);
    EXPECT_EQ(iptc.textOfTag("Keywords"), "sea,harbour,boats");
    EXPECT_EQ(iptc.appendTag("Keywords", ""), 2);
    EXPECT_EQ(iptc.textOfTag("Keywords"), "sea,harbour,boats");
    EXPECT_EQ(iptc.storeTag("City", "Bergen"), 0);
    EXPECT_EQ(iptc.textOfTag("City"), "Bergen") << "a plain dataset is replaced, not merged";
    EXPECT_EQ(iptc.appendTag("SuppCategory", "\"two words\""), 3);
    EXPECT_EQ(iptc.textOfTag("SuppCategory"), "\"two words\"");
    EXPECT_EQ(iptc.appendTag("Contact", ""), 4) << "a new entry from an empty value";
    EXPECT_EQ(iptc.textOfTag("Contact", "x"), "");

    iptc.deleteTag("state");
    ASSERT_EQ(iptc.entryCount(), 4);
    EXPECT_EQ(iptc.entryAt(1).name, "Keywords") << "later entries move up";
    iptc.deleteTag("State");
    EXPECT_EQ(iptc.entryCount(), 4);

    EXPECT_EQ(iptc.entryAt(4).tag, 0);
    EXPECT_EQ(iptc.entryAt(-1).name, "");
    TagEntry refused;
    refused.name = "Zero";
    EXPECT_EQ(iptc.storeEntry(refused), -1);
    EXPECT_EQ(iptc.entryCount(), 4);
    iptc.setEntryCount(10);
    EXPECT_EQ(iptc.entryCount(), 4) << "growing the count would expose empty entries";
    iptc.setEntryCount(2);
    EXPECT_EQ(iptc.entryCount(), 2);
    EXPECT_EQ(iptc.indexOfTag("SuppCategory"), -1);
    iptc.clearEntries();
    EXPECT_FALSE(iptc.hasEntries());
    EXPECT_EQ(iptc.textLines(), "");
}

TEST(IptcParse, MergedListsMatchRepeatedAppend) {
    // The parser merges list occurrences in one pass; the result must be what appendTag gives one value at a time,
    // for values with blanks, quotes, commas, zero bytes and letters differing in case.
    const std::string alphabet("aAbB \",\0\t\xE9\xC9", 12);
    std::mt19937 random(25);
    for (int round = 0; round < 200; ++round) {
        std::vector<Dataset> datasets;
        IptcData expected;
        for (int n = random() % 8; n > 0; --n) {
            std::string value(random() % 6, ' ');
            for (char& c : value) c = alphabet[random() % alphabet.size()];
            const int number = random() % 3 == 0 ? 20 : 25;
            datasets.push_back({2, number, value});
            expected.appendTag(number == 20 ? "SuppCategory" : "Keywords", value);
        }
        const IptcData actual = parsed(photoshopSection(datasets));
        ASSERT_EQ(actual.entryCount(), expected.entryCount());
        for (int i = 0; i < actual.entryCount(); ++i) {
            EXPECT_EQ(actual.entryAt(i).name, expected.entryAt(i).name);
            EXPECT_EQ(actual.entryAt(i).text, expected.entryAt(i).text) << "round " << round;
        }
    }
}

TEST(IptcFile, ReadsTheFirstApp13ThroughTheOwner) {
    const auto dir = std::filesystem::temp_directory_path() / ("iptc_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    auto writeJpeg = [&](const std::string& name, const std::vector<std::pair<int, std::string>>& sections) {
        std::string bytes("\xFF\xD8", 2);
        for (const auto& [marker, data] : sections) bytes += std::string(1, '\xFF') + static_cast<char>(marker) + data;
        std::ofstream(dir / name, std::ios::binary) << bytes;
        return (dir / name).string();
    };
    const std::string sos = be16(8) + std::string("\x01\x01\x00\x00\x3F\x00", 6);
    const std::string first = photoshopSection({{2, 90, "Oslo"}, {2, 25, "a"}, {2, 25, "b"}});
    const std::string second = photoshopSection({{2, 90, "Bergen"}});
    const std::string withIptc = writeJpeg("with.jpg", {{0xED, first}, {0xED, second}, {0xDA, sos}});
    const std::string withoutIptc = writeJpeg("without.jpg", {{0xFE, be16(6) + "note"}, {0xDA, sos}});

    ImgData container;
    IptcData iptc(&container);
    EXPECT_TRUE(iptc.readIptcFile(withIptc));
    EXPECT_EQ(iptc.textOfTag("City"), "Oslo");
    EXPECT_EQ(iptc.textOfTag("Keywords"), "a,b");
    ASSERT_NE(container.iptcSection(), nullptr);
    EXPECT_EQ(container.iptcSection()->data, first);

    EXPECT_FALSE(iptc.readIptcFile(withoutIptc));
    EXPECT_FALSE(iptc.hasEntries()) << "entries of the previous file are cleared";
    EXPECT_FALSE(iptc.readIptcFile((dir / "missing.jpg").string()));

    IptcData orphan;
    EXPECT_FALSE(orphan.readIptcFile(withIptc));

    // The container keeps an unparsed object for the first APP13 and drops it with the next file.
    ASSERT_TRUE(container.readImageFile(withIptc));
    ASSERT_NE(container.iptc(), nullptr);
    EXPECT_FALSE(container.iptc()->hasEntries());
    container.iptc()->parseIptcSection(container.iptcSection()->data);
    EXPECT_EQ(container.iptc()->textOfTag("City"), "Oslo");
    // Reading through the container would free the object in the middle of the call, so it refuses.
    EXPECT_FALSE(container.iptc()->readIptcFile(withIptc));
    container.readImageFile(withoutIptc);
    EXPECT_EQ(container.iptc(), nullptr);
    std::filesystem::remove_all(dir);
}
