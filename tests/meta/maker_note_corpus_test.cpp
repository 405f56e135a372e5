// SPDX-License-Identifier: GPL-3.0-or-later
// Maker notes of real photos: every maker yields lines, and the values that this reader and exiftool decode the
// same way agree. exiftool is optional; without it only the reading itself is checked.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "meta/image_info.h"
#include "meta/img_data.h"
#include "meta/makernote/maker_tables.h"
#include "meta/value_format.h"
#include "support/corpus.h"
#include "support/exif_builder.h"

using namespace morrowtide::meta;
namespace fs = std::filesystem;

namespace {

const fs::path kCorpus = MORROWTIDE_CORPUS_DIR;

// Relative paths of the photos listed in INDEX.tsv.
std::vector<std::string> indexedPhotos() {
    std::vector<std::string> paths;
    for (const morrowtide::test::CorpusRow& row : morrowtide::test::readCorpusIndex()) paths.push_back(row["path"]);
    return paths;
}

struct ToolTag {
    std::string group;
    int id = -1;
    std::string name;
    std::string value;
};

std::string trimRight(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
    return text;
}

// "[Group]  id  Name  : value" as exiftool -G1 -D -s prints it, id "-" for none. Parsed by hand: std::regex
// recurses once per character and overflows the stack on the long value lines of some maker notes.
bool parseToolLine(const std::string& line, ToolTag& tag) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    const std::size_t close = line.find(']');
    if (line.empty() || line[0] != '[' || close == std::string::npos || close < 2) return false;
    std::size_t at = close + 1;
    const auto skipBlanks = [&] {
        const std::size_t start = at;
        while (at < line.size() && blank(line[at])) ++at;
        return at > start;
    };
    if (!skipBlanks()) return false;
    const std::size_t idStart = at;
    while (at < line.size() && !blank(line[at])) ++at;
    const std::string id = line.substr(idStart, at - idStart);
    const bool digits = !id.empty() && id.find_first_not_of("0123456789") == std::string::npos;
    if ((id != "-" && !digits) || !skipBlanks()) return false;
    const std::size_t colon = line.find(": ", at);
    if (colon == std::string::npos) return false;
    const std::string name = trimRight(line.substr(at, colon - at));
    if (name.empty() || name.find_first_of(" \t") != std::string::npos) return false;
    tag = ToolTag{line.substr(1, close - 1), id == "-" ? -1 : std::stoi(id), name, trimRight(line.substr(colon + 2))};
    return true;
}

// exiftool's maker-note tags (numeric values) per relative path, from one run over all photos; empty when
// exiftool is not installed.
std::map<std::string, std::vector<ToolTag>> exiftoolMakerTags(const std::vector<std::string>& paths) {
    std::map<std::string, std::vector<ToolTag>> tags;
    if (std::system("exiftool -ver > /dev/null 2>&1") != 0) return tags;
    morrowtide::test::TempDir temp;
    std::string list;
    for (const auto& path : paths) list += (kCorpus / path).string() + "\n";
    const std::string argFile = temp.write("files.txt", list);
    const std::string command =
        "exiftool -n -a -G1 -D -s -MakerNotes:all -ExifTool:Warning -@ '" + argFile + "' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) return tags;
    std::string output;
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) output.append(buffer, n);

    std::istringstream lines(output);
    std::string line;
    std::string current;
    const std::string prefix = kCorpus.string() + "/";
    while (std::getline(lines, line)) {
        if (line.rfind("======== ", 0) == 0) {
            current = line.substr(9);
            if (current.rfind(prefix, 0) == 0) current = current.substr(prefix.size());
            continue;
        }
        ToolTag tag;
        if (!current.empty() && parseToolLine(line, tag)) tags[current].push_back(std::move(tag));
    }
    return tags;
}

const ToolTag* findTool(const std::vector<ToolTag>& tags, std::string_view group, int id, std::string_view name = {}) {
    for (const ToolTag& tag : tags) {
        if (tag.group == group && tag.id == id && (name.empty() || tag.name == name)) return &tag;
    }
    return nullptr;
}

bool toInteger(std::string_view text, long long& value) {
    const std::string s(text);
    if (s.empty()) return false;
    char* end = nullptr;
    value = std::strtoll(s.c_str(), &end, 10);
    return end != nullptr && *end == '\0';
}

// The first maker-note record (Id 1) with this tag and name.
const TagEntry* findRecord(const ImageInfo& info, std::uint16_t tag, std::string_view name = {}) {
    for (const TagEntry& entry : info.entries) {
        if (entry.id == 1 && entry.tag == tag && (name.empty() || entry.name == name)) return &entry;
    }
    return nullptr;
}

// A single integer value of a record, read in the note's byte order.
bool recordInteger(const TagEntry& entry, bool bigEndian, long long& value) {
    const int size = formatSize(entry.format);
    if (size == 0 || entry.rawBytes.size() != static_cast<std::size_t>(size)) return false;
    if (entry.format != 1 && entry.format != 3 && entry.format != 4 && entry.format != 8 && entry.format != 9)
        return false;
    value = static_cast<long long>(numericValue(entry.rawBytes, entry.format, bigEndian));
    return true;
}

enum class Kind { kInteger, kText, kLens, kFirstLine };

// A maker-note table row compared with exiftool's tag of the same number.
struct RowCheck {
    std::uint16_t tag;
    Kind kind;
    std::string_view toolName = {};  // where exiftool's sub-directories reuse the number
};

// A Canon sub-field compared with the exiftool tag that names the same array item.
struct FieldCheck {
    std::string_view caption;
    std::string_view toolName;
    int toolId;
    std::string_view list;  // empty: shown raw
};

struct LayoutChecks {
    std::string_view label;
    std::string_view toolGroup;
    std::vector<RowCheck> rows;
};

const std::vector<LayoutChecks>& layoutChecks() {
    using K = Kind;
    static const std::vector<LayoutChecks> checks = {
        {"Nikon type 3 with header",
         "Nikon",
         {{0x0004, K::kText},
          {0x0005, K::kText},
          {0x0006, K::kText},
          {0x0007, K::kText},
          {0x0008, K::kText},
          {0x0084, K::kLens},
          {0x0089, K::kInteger}}},
        {"Nikon type 3", "Nikon", {{0x0004, K::kText}, {0x0005, K::kText}, {0x0006, K::kText}, {0x0007, K::kText}}},
        {"Nikon type 1",
         "Nikon",
         {{0x0003, K::kInteger},
          {0x0004, K::kInteger},
          {0x0005, K::kInteger},
          {0x0006, K::kInteger},
          {0x0007, K::kInteger},
          {0x000B, K::kInteger}}},
        {"Olympus", "Olympus", {{0x0201, K::kInteger}, {0x0202, K::kInteger}}},
        {"Olympus with byte-order mark",
         "Olympus",
         {{0x0201, K::kInteger, "Quality"}, {0x0202, K::kInteger, "Macro"}}},
        {"Casio type 1",
         "Casio",
         {{0x0002, K::kInteger},
          {0x0003, K::kInteger},
          {0x0004, K::kInteger},
          {0x0005, K::kInteger},
          {0x0007, K::kInteger},
          {0x000A, K::kInteger},
          {0x000B, K::kInteger},
          {0x000C, K::kInteger},
          {0x000D, K::kInteger},
          {0x0014, K::kInteger}}},
        {"Casio type 2",
         "Casio",
         {{0x0008, K::kInteger},
          {0x0009, K::kInteger},
          {0x000D, K::kInteger},
          {0x0014, K::kInteger},
          {0x0019, K::kInteger},
          {0x001F, K::kInteger},
          {0x0020, K::kInteger},
          {0x0021, K::kInteger},
          {0x2012, K::kInteger},
          {0x3000, K::kInteger},
          {0x3002, K::kInteger},
          {0x3003, K::kInteger},
          {0x3007, K::kInteger},
          {0x3015, K::kInteger},
          {0x3016, K::kInteger},
          {0x3017, K::kInteger}}},
        {"Fujifilm",
         "FujiFilm",
         {{0x1000, K::kText},
          {0x1001, K::kInteger},
          {0x1002, K::kInteger},
          {0x1003, K::kInteger},
          {0x1004, K::kInteger},
          {0x1010, K::kInteger},
          {0x1020, K::kInteger},
          {0x1021, K::kInteger},
          {0x1030, K::kInteger},
          {0x1031, K::kInteger},
          {0x1100, K::kInteger},
          {0x1300, K::kInteger},
          {0x1301, K::kInteger},
          {0x1302, K::kInteger}}},
        {"Seiko",
         "Olympus",
         {{0x0201, K::kInteger}, {0x0202, K::kInteger}, {0x020B, K::kInteger}, {0x020C, K::kInteger}}},
        {"Sanyo", "Sanyo", {{0x0201, K::kInteger}, {0x0202, K::kInteger}}},
        {"Minolta", "Minolta", {{0x0000, K::kFirstLine}}},
    };
    return checks;
}

constexpr std::string_view kLowNormalHigh = "65535:Low,0:Normal,1:High";

const std::vector<FieldCheck>& canonChecks() {
    static const std::vector<FieldCheck> checks = {
        {"Macro mode", "MacroMode", 1, "1:Macro,2:Normal"},
        {"Compression Rate", "Quality", 3, "1:Economy,2:Normal,3:Fine,4:RAW,5:Superfine,7:CRAW"},
        {"Flash Mode", "CanonFlashMode", 4,
         "0:Not fired,1:Auto,2:On,3:Red-eye,4:Slow sync,5:Auto+red-eye,6:On+red eye,16:External flash"},
        {"Drive Mode", "ContinuousDrive", 5, "0:Single,1:Continuous"},
        {"Image Size", "CanonImageSize", 10, "0:Large,1:Medium,2:Small,4:5MPixel,5:2 MPixel,6:1.5 MPixel"},
        {"Contrast", "Contrast", 13, kLowNormalHigh},
        {"Saturation", "Saturation", 14, kLowNormalHigh},
        {"Sharpness", "Sharpness", 15, kLowNormalHigh},
        {"Metering Mode", "MeteringMode", 17,
         "0:Default,1:Spot,2:Average,3:Evaluative,4:Partial,5:Center-weighted average"},
        {"AF Point", "AFPoint", 19,
         "8197:Manual AF point selection,12288:None (MF),12289:Auto AF point selection,12290:Right,12291:Center,"
         "12292:Left,16385:Auto AF point selection,16390:Face Detect"},
        {"Exposure Mode", "CanonExposureMode", 20,
         "0:Easy,1:Program AE,2:Shutter speed priority AE,3:Aperture-priority AE,4:Manual,5:Depth-of-field AE,"
         "6:M-Dep,7:Bulb,8:Flexible-priority AE"},
        {"Focal Units", "FocalUnits", 25, {}},
        {"Flash Details", "FlashBits", 29, {}},
        {"White balance", "WhiteBalance", 7, "0:Auto,1:Sunny,2:Cloudy,3:Tungsten,4:Flourescent,5:Flash,6:Custom"},
        {"Sequence Number", "SequenceNumber", 9, {}},
        {"OpticalZoom Step", "OpticalZoomCode", 10, {}},
    };
    return checks;
}

std::string unquoted(std::string text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
    return trimRight(text);
}

struct MakerCounts {
    int files = 0;      // photos whose make the reader recognised
    int withLines = 0;  // of those, photos that gave maker-note lines
    int compared = 0;   // values compared with exiftool
    int skipped = 0;    // photos left out of the comparison (see notComparable)
    int unreadable = 0; // notes reported unreadable
};

// Notes this reader reports as unreadable are not compared.
bool notComparable(const ImageInfo& info, const std::vector<ToolTag>&) {
    return !info.makerNoteProblem.empty();
}

// Compares one photo's maker-note values with exiftool's; returns how many were compared.
int compareWithExiftool(const std::string& path, const ImageInfo& info, const makernote::MakerLayout& layout,
                        const std::vector<ToolTag>& tool) {
    int compared = 0;
    const bool noteBigEndian = layout.forceLittleEndian ? false : info.bigEndian;
    if (layout.label == "Canon") {
        for (const FieldCheck& check : canonChecks()) {
            const ToolTag* expected = findTool(tool, "Canon", check.toolId, check.toolName);
            long long value = 0;
            if (expected == nullptr || !toInteger(expected->value, value)) continue;
            if (value < 0) value += 65536;  // exiftool reads these items signed, the array holds them unsigned
            const std::string caption(check.caption);
            // A number without a meaning is shown as the number.
            std::string want = check.list.empty() ? std::to_string(value) : lookupDecode(check.list, std::to_string(value));
            if (want.empty()) want = std::to_string(value);
            // Sub-fields are maker-note records (Id 1) named by their caption; a blank text adds none.
            std::string got;
            for (const TagEntry& entry : info.entries) {
                if (entry.id == 1 && entry.name == caption) {
                    got = entry.text;
                    break;
                }
            }
            if (check.list.empty() && !got.empty() && got.front() == ' ') got.erase(0, 1);
            EXPECT_EQ(got, want) << path << " " << caption;
            ++compared;
        }
        return compared;
    }
    for (const LayoutChecks& checks : layoutChecks()) {
        if (checks.label != layout.label) continue;
        for (const RowCheck& check : checks.rows) {
            const ToolTag* expected = findTool(tool, checks.toolGroup, check.tag, check.toolName);
            if (expected == nullptr) continue;
            if (check.kind == Kind::kFirstLine) {
                const TagRow& row = layout.table.front();
                const std::string line = "\r\n" + std::string(row.name) + " = \"" + expected->value + "\"";
                EXPECT_NE(info.makerNoteText.find(line), std::string::npos) << path << " " << row.name;
                ++compared;
                continue;
            }
            const TagEntry* record = findRecord(info, check.tag);
            if (record == nullptr) {
                ADD_FAILURE() << path << ": no record of maker-note tag " << check.tag << ", exiftool has "
                              << expected->name;
                continue;
            }
            switch (check.kind) {
                case Kind::kInteger: {
                    long long want = 0, got = 0;
                    if (!toInteger(expected->value, want) || !recordInteger(*record, noteBigEndian, got)) continue;
                    EXPECT_EQ(got, want) << path << " " << record->name;
                    if (!record->decodeList.empty()) {
                        EXPECT_EQ(record->text, lookupDecode(record->decodeList, std::to_string(want)))
                            << path << " " << record->name;
                    }
                    break;
                }
                case Kind::kText:
                    EXPECT_EQ(unquoted(record->text), expected->value) << path << " " << record->name;
                    break;
                case Kind::kLens: {
                    double a = 0, b = 0, c = 0, d = 0;
                    if (std::sscanf(expected->value.c_str(), "%lf %lf %lf %lf", &a, &b, &c, &d) != 4) continue;
                    char want[128];
                    std::snprintf(want, sizeof want, "%0.1f-%0.1f(mm)  F%0.1f-F%0.1f", a, b, c, d);
                    EXPECT_EQ(record->text, want) << path;
                    break;
                }
                case Kind::kFirstLine:
                    break;
            }
            ++compared;
        }
    }
    return compared;
}

// The maker note INDEX.tsv records for the row: its length from "Kind(123B)", 0 for "no".
std::size_t indexedMakerNoteLength(const morrowtide::test::CorpusRow& row) {
    const std::string& note = row["MakerNote"];
    const auto open = note.rfind('(');
    return note == "no" || open == std::string::npos ? 0 : std::stoul(note.substr(open + 1));
}

// Maker notes are decoded for eight makers, told apart by the first five letters of the make ("FUJI " is the make
// of the older Fujifilm bodies).
bool makeHasDecoder(std::string make) {
    make = make.substr(0, 5);
    for (char& c : make) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    static const std::set<std::string> keys = {"NIKON", "OLYMP", "CASIO", "FUJIF", "FUJI ",
                                               "CANON", "SEIKO", "SANYO", "MINOL"};
    return keys.contains(make);
}

}  // namespace

TEST(MakerNoteCorpus, EveryMakerYieldsLinesAndAgreesWithExiftool) {
    MORROWTIDE_REQUIRE_CORPUS();
    const std::vector<std::string> photos = indexedPhotos();
    ASSERT_FALSE(photos.empty());
    const auto tool = exiftoolMakerTags(photos);
    const bool haveTool = !tool.empty();

    std::map<std::string, MakerCounts> counts;
    for (const std::string& path : photos) {
        ImgData img;
        img.readImageFile((kCorpus / path).string());
        const ImageInfo* info = img.exif();
        if (info == nullptr || info->makerNoteBytes.empty()) continue;
        const auto layout = makernote::selectMakerLayout(*info, info->makerNoteBytes);
        EXPECT_EQ(layout.has_value(), info->makerNoteKnown) << path;
        if (!layout) continue;
        MakerCounts& count = counts[makernote::makeKey(info->cameraMake)];
        ++count.files;
        if (!info->makerNoteText.empty()) ++count.withLines;
        if (!info->makerNoteProblem.empty()) {
            ++count.unreadable;
            // Said once, not line by line.
            EXPECT_EQ(info->makerNoteText, "") << path;
        }
        if (haveTool) {
            const auto found = tool.find(path);
            if (found == tool.end()) continue;
            if (notComparable(*info, found->second)) {
                ++count.skipped;
            } else {
                count.compared += compareWithExiftool(path, *info, *layout, found->second);
            }
        }
    }

    std::cout << "maker  files  with lines  compared values (exiftool" << (haveTool ? ")" : " not installed)")
              << "  photos not compared  unreadable\n";
    for (const char* key : {"NIKON", "OLYMP", "CASIO", "FUJIF", "CANON", "SEIKO", "SANYO", "MINOL"}) {
        const MakerCounts& count = counts[key];
        std::printf("%s  %5d  %10d  %15d  %20d  %10d\n", key, count.files, count.withLines, count.compared,
                    count.skipped, count.unreadable);
        EXPECT_GE(count.withLines, 1) << key << ": no real photo gave maker-note lines";
        if (haveTool) {
            EXPECT_GE(count.compared, 1) << key << ": nothing compared with exiftool";
        }
    }
}

TEST(MakerNoteCorpus, NoPhotoOrBrokenFileUpsetsTheReader) {
    MORROWTIDE_REQUIRE_CORPUS();
    // Every file answers, indexed or not.
    int files = 0;
    for (const auto& item : fs::recursive_directory_iterator(kCorpus)) {
        if (!item.is_regular_file()) continue;
        ImgData img;
        img.readImageFile(item.path().string());
        ++files;
    }
    EXPECT_GT(files, 0);
    // Where the reader takes the EXIF block exiftool read, it finds the whole maker note, and recognises it
    // exactly for the makes it has a decoder for.
    int notes = 0;
    for (const morrowtide::test::CorpusRow& row : morrowtide::test::readCorpusIndex()) {
        if (row["exif_app1_off"] == "-") continue;
        SCOPED_TRACE(row["path"]);
        ImgData img;
        img.readImageFile(row.file().string());
        if (img.exifSection() == nullptr || img.exifSection()->fileOffset != std::stoll(row["exif_app1_off"])) continue;
        ASSERT_NE(img.exif(), nullptr);
        const std::size_t length = indexedMakerNoteLength(row);
        EXPECT_EQ(img.exif()->makerNoteBytes.size(), length);
        EXPECT_EQ(img.exif()->makerNoteKnown, length > 0 && makeHasDecoder(row["Make"])) << row["Make"];
        notes += length > 0;
    }
    EXPECT_GT(notes, 100);
}
