// SPDX-License-Identifier: GPL-3.0-or-later
// The container readers on the real files of every type, compared with exiftool's reading of the same files
// (corpus/formats/INDEX.tsv): each date field found has the value and group exiftool reports, and each date exiftool
// reports in a group the readers cover is found. Prints the counts per file type.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "meta/formats/container.h"
#include "meta/formats/date_codec.h"
#include "meta/safe_file.h"

using namespace morrowtide::meta;

namespace {

const std::filesystem::path kFormats = std::filesystem::path(MORROWTIDE_CORPUS_DIR) / "formats";
// Files the readers refuse on purpose, with a part of the reason: they break a rule of their format.
const std::map<std::string, std::string> kRefused = {
    // Two tIME chunks, where a PNG may hold one.
    {"mei/png/ImageTestSuite/9bd8a9ed81c5a9190f74496197da7249.png", "second time of last change"},
};
// INDEX.tsv cuts its dates column at this many characters.
constexpr std::size_t kDatesColumnLimit = 400;

struct IndexRow {
    std::string path;
    std::string type;
    std::map<std::string, std::string> dates;  // "Group:Name" -> value
    bool cut = false;                          // the dates column was cut: dates beyond it are unknown
    bool xmp = false;                          // exiftool found XMP groups
};

std::vector<IndexRow> readIndex() {
    std::vector<IndexRow> rows;
    std::ifstream in(kFormats / "INDEX.tsv");
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::stringstream split(line);
        for (std::string cell; std::getline(split, cell, '\t');) cells.push_back(cell);
        if (cells.size() < 5) continue;
        IndexRow row{cells[0], cells[1], {}, cells[4].size() >= kDatesColumnLimit, cells[3].find("XMP-") != std::string::npos};
        std::vector<std::string> items;
        for (std::size_t at = 0; at <= cells[4].size();) {
            const std::size_t bar = cells[4].find(" | ", at);
            items.push_back(cells[4].substr(at, bar == std::string::npos ? std::string::npos : bar - at));
            if (bar == std::string::npos) break;
            at = bar + 3;
        }
        if (row.cut && !items.empty()) items.pop_back();
        for (const std::string& item : items) {
            const std::size_t eq = item.find('=');
            if (eq != std::string::npos) row.dates[item.substr(0, eq)] = item.substr(eq + 1);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

// exiftool's name of a date field, "Group:Name".
std::string exiftoolKey(const DateField& field) {
    static const std::map<std::string, std::string> kNames = {
        {"DateTime", "ModifyDate"}, {"DateTimeDigitized", "CreateDate"}, {"DateTimeOriginal", "DateTimeOriginal"}};
    // XMP properties carry their prefix ("xmp:CreateDate"), where exiftool's group names the namespace; their names
    // are exiftool's already.
    if (field.group.starts_with("XMP-")) return field.group + ":" + field.name.substr(field.name.find(':') + 1);
    const auto renamed = kNames.find(field.name);
    return field.group + ":" + (renamed == kNames.end() ? field.name : renamed->second);
}

// The dates exiftool reports that the readers are meant to find: the three EXIF dates in every directory (the
// chain IFD0, IFD1, ..., the EXIF directory, SubIFDs), the movie, track and media times, the QuickTime date strings,
// PNG tIME, the XMP and IPTC copies the index lists. Left out: PNG text chunks, makers' own groups, composites.
bool covered(const std::string& key) {
    static const std::regex kCovered(
        "((IFD[0-9]+|ExifIFD|SubIFD[0-9]*):(ModifyDate|DateTimeOriginal|CreateDate)|QuickTime:(Create|Modify)Date|"
        "XMP-xmp:(Create|Modify)Date|XMP-exif:DateTimeOriginal|XMP-photoshop:DateCreated|IPTC:(Date|Time)Created|"
        "Track[0-9]+:(Track|Media)(Create|Modify)Date|UserData:(ContentCreateDate|DateTimeOriginal)|ItemList:ContentCreateDate|"
        "Keys:CreationDate|PNG:ModifyDate)");
    return std::regex_match(key, kCovered);
}

// Texts exiftool compares by their digits: its spelling of them differs from the bytes'.
bool comparedByDigits(DateEncoding encoding) {
    return encoding == DateEncoding::Iso8601 || encoding == DateEncoding::IptcDate || encoding == DateEncoding::IptcTime;
}

// The index leaves out some of the dates exiftool reads (it lists the main ones): a field found with one of these
// keys need not be in it.
bool unlistedByIndex(const std::string& key) {
    static const std::regex kUnlisted("XMP-exif:DateTimeDigitized|XMP-tiff:DateTime|IPTC:DigitalCreation(Date|Time)");
    return std::regex_match(key, kUnlisted);
}

// The field's value as exiftool prints it (without a time zone); digits only for the free-form strings.
std::string valueOf(const DateField& field, const std::string& bytes) {
    if (field.encoding == DateEncoding::ExifAscii) return bytes;
    if (comparedByDigits(field.encoding)) {
        std::string digits;
        for (const char c : bytes) {
            if (std::isdigit(static_cast<unsigned char>(c))) digits += c;
        }
        return digits;
    }
    const auto parsed = parseDateField(field.encoding, bytes);
    if (!parsed) return "0000:00:00 00:00:00";  // exiftool's spelling of "no date"
    const CivilDateTime& v = parsed->value;
    char text[32];
    std::snprintf(text, sizeof text, "%04d:%02d:%02d %02d:%02d:%02d", v.year, v.month, v.day, v.hour, v.minute,
                  v.second);
    return text;
}

std::string comparable(const DateField& field, const std::string& exiftoolValue) {
    if (field.encoding == DateEncoding::ExifAscii || field.encoding == DateEncoding::QuickTimeSeconds32 ||
        field.encoding == DateEncoding::QuickTimeSeconds64 || field.encoding == DateEncoding::PngTime) {
        return exiftoolValue.substr(0, 19);
    }
    std::string digits;
    for (const char c : exiftoolValue) {
        if (std::isdigit(static_cast<unsigned char>(c))) digits += c;
    }
    return digits;
}

struct Counts {
    int files = 0, expected = 0, found = 0, noted = 0, xmpFiles = 0, xmpFound = 0, unread = 0;
};

TEST(ContainerCorpus, DateFieldsAgreeWithExiftool) {
    const std::vector<IndexRow> rows = readIndex();
    ASSERT_GT(rows.size(), 50u);
    std::map<std::string, Counts> counts;
    for (const IndexRow& row : rows) {
        SCOPED_TRACE(row.path);
        Counts& count = counts[row.type];
        ++count.files;
        SourceFile file;
        ASSERT_EQ(file.open((kFormats / row.path).string()), 0);
        const SourceFileBytes source(file);
        ContainerScan scan = scanContainer(source, std::filesystem::path(row.path).extension().string());
        const DateFieldScan dates = allDateFields(source, scan);

        const std::string extension = std::filesystem::path(row.path).extension().string();
        if (scan.kind == ContainerKind::Unknown && containerOfExtension(extension) == ContainerKind::Unknown) {
            ++count.unread;  // a type no reader is meant for (MRW, X3F, CRW)
            continue;
        }
        if (const auto refused = kRefused.find(row.path); refused != kRefused.end()) {
            EXPECT_NE(dates.problem.find(refused->second), std::string::npos) << dates.problem;
            continue;
        }
        ASSERT_EQ(dates.problem, "");
        std::set<std::string> expected;
        for (const auto& [key, value] : row.dates) {
            if (covered(key)) expected.insert(key);
        }
        count.expected += static_cast<int>(expected.size());
        for (const DateField& field : dates.fields) {
            const std::string key = exiftoolKey(field);
            std::string bytes;
            ASSERT_TRUE(source.read(field.offset, field.width, bytes)) << key;
            // A zone offset is no date of the index: it must name a zone, and its date must be one of the fields.
            if (field.encoding == DateEncoding::ExifZoneOffset) {
                EXPECT_TRUE(bytes.size() == 6 && (bytes[0] == '+' || bytes[0] == '-') && bytes[3] == ':') << key;
                ASSERT_GE(field.partner, 0) << key;
                EXPECT_EQ(dates.fields[static_cast<std::size_t>(field.partner)].encoding, DateEncoding::ExifAscii);
                continue;
            }
            const auto listed = row.dates.find(key);
            if (listed == row.dates.end()) {
                // The index lists every main date exiftool reads; only a cut list may leave one out.
                EXPECT_TRUE(row.cut || unlistedByIndex(key)) << key << " = " << valueOf(field, bytes)
                                                             << " is not in the index";
                continue;
            }
            EXPECT_EQ(valueOf(field, bytes), comparable(field, listed->second)) << key;
            if (expected.erase(key) == 1) ++count.found;
        }
        // A date left out must be one the scan says it cannot patch in place (compressed text, an embedded JPEG
        // not read).
        count.noted += static_cast<int>(expected.size());
        EXPECT_TRUE(expected.empty() || !scan.notes.empty()) << "not found: " << ::testing::PrintToString(expected);
        if (row.xmp) {
            ++count.xmpFiles;
            bool packet = false;
            for (const EmbeddedBlock& block : scan.blocks) packet = packet || block.kind == BlockKind::Xmp;
            count.xmpFound += packet ? 1 : 0;
            EXPECT_TRUE(packet || !scan.notes.empty()) << "no XMP packet found";
        }
    }
    std::printf("%-14s %5s %9s %6s %6s %10s %7s\n", "type", "files", "expected", "found", "noted", "xmp found",
                "no reader");
    for (const auto& [type, c] : counts) {
        std::printf("%-14s %5d %9d %6d %6d %5d/%-4d %7d\n", type.c_str(), c.files, c.expected, c.found, c.noted,
                    c.xmpFound, c.xmpFiles, c.unread);
    }
}

}  // namespace
