// SPDX-License-Identifier: GPL-3.0-or-later
// Real photos shifted by one hour and written out: nothing but the three date values may change (apart from the
// header sections moved to the front), exiftool must read the dates exactly one hour later, and its validation
// must find nothing that the source did not already have.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "meta/date_time.h"
#include "meta/image_info.h"
#include "meta/jpeg_writer.h"
#include "support/corpus.h"
#include "support/exif_builder.h"
#include "support/run_shift.h"

namespace morrowtide::meta {
namespace {

namespace fs = std::filesystem;
using morrowtide::test::readFile;
const fs::path kCorpus = MORROWTIDE_CORPUS_DIR;

// Corpus files the JPEG decoder can decode (INDEX.tsv column "decodable": yes, or warn for decodable with
// warnings), relative to the corpus folder.
struct CorpusFile {
    std::string name;
    bool clean;  // decodable without warnings
};

std::vector<CorpusFile> decodableFiles() {
    std::vector<CorpusFile> files;
    for (const test::CorpusRow& row : test::readCorpusIndex()) {
        if (row["decodable"] != "no") files.push_back({row["path"], row["decodable"] == "yes"});
    }
    return files;
}

bool exiftoolAvailable() {
    return std::system("exiftool -ver >/dev/null 2>&1") == 0;
}

// Runs exiftool with `options` on the files and returns, per file, the lines it printed for it.
std::map<std::string, std::vector<std::string>> exiftoolLines(const std::string& options,
                                                              const std::vector<std::string>& files,
                                                              const fs::path& scratch) {
    const fs::path argFile = scratch / "exiftool.args";
    {
        std::ofstream args(argFile);
        for (const auto& file : files) args << file << '\n';
    }
    const std::string command = "exiftool " + options + " -@ '" + argFile.string() + "' 2>/dev/null";
    std::map<std::string, std::vector<std::string>> out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    std::string current, line;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        line = buffer;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        if (line.rfind("======== ", 0) == 0) {
            current = line.substr(9);
            out[current];
        } else if (!current.empty() && line.find("image files read") == std::string::npos) {
            out[current].push_back(line);
        }
    }
    pclose(pipe);
    return out;
}

// "[IFD0] ModifyDate : 2005:01:01 10:00:00" lines as (group and tag, value).
std::vector<std::pair<std::string, std::string>> taggedValues(const std::vector<std::string>& lines) {
    std::vector<std::pair<std::string, std::string>> values;
    for (const auto& line : lines) {
        const auto colon = line.find(" : ");
        if (colon == std::string::npos) continue;
        std::string key = line.substr(0, colon);
        key.erase(std::unique(key.begin(), key.end(), [](char a, char b) { return a == ' ' && b == ' '; }), key.end());
        while (!key.empty() && key.back() == ' ') key.pop_back();
        values.emplace_back(key, line.substr(colon + 3));
    }
    return values;
}

// Leading marker segments up to SOS (with any fill bytes before their markers), the bytes between them that belong
// to no segment (in order, joined: moving a section to the front joins the runs around it), and the bytes from SOS on.
struct Split {
    std::vector<std::string> segments;
    std::string stray;
    std::string rest;
};

Split split(const std::string& jpeg) {
    Split out;
    std::size_t pos = 2;
    for (;;) {
        const JpegMarker found = nextJpegMarker(jpeg, pos);
        out.stray += jpeg.substr(pos, found.stray);
        if (found.status != JpegMarker::Status::Found) {
            pos += found.stray;
            break;
        }
        pos = found.at;
        if (found.marker == 0xDA || found.code + 3 > jpeg.size()) break;
        const std::size_t length =
            static_cast<unsigned char>(jpeg[found.code + 1]) * 256u + static_cast<unsigned char>(jpeg[found.code + 2]);
        const std::size_t end = std::min(jpeg.size(), found.code + 1 + length);
        out.segments.push_back(jpeg.substr(pos, end - pos));
        pos = end;
    }
    out.rest = jpeg.substr(std::min(pos, jpeg.size()));
    return out;
}

// Positions (0-based, in `bytes`) where the two strings differ.
std::vector<std::size_t> differences(const std::string& a, const std::string& b) {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        if (a[i] != b[i]) out.push_back(i);
    }
    return out;
}

// `date` as the writer leaves it after a shift of one hour: its first 19 characters rewritten one hour later, the
// rest (a time zone, say) untouched; empty when it is no date.
std::string oneHourLater(const std::string& date) {
    const double value = parseExifDate(date);
    if (value == 0.0 || date.size() < 19) return "";
    const CivilDateTime f = decodeDateTime(value + 1.0 / 24.0);
    char text[32];
    std::snprintf(text, sizeof text, "%04d:%02d:%02d %02d:%02d:%02d", f.year, f.month, f.day, f.hour, f.minute,
                  f.second);
    return text + date.substr(19);
}

bool isExifGroup(const std::string& key) {
    return key.rfind("[IFD", 0) == 0 || key.rfind("[ExifIFD]", 0) == 0 || key.rfind("[SubIFD", 0) == 0;
}

// Where the fixed rule of skipping one leading APP0, APP1, APP13 and COM section, in that order, resumes copying.
std::size_t fixedSkip(const std::string& source) {
    std::size_t skip = 2;
    for (const unsigned char marker : {0xE0, 0xE1, 0xED, 0xFE}) {
        if (skip + 3 < source.size() && static_cast<unsigned char>(source[skip + 1]) == marker) {
            skip +=
                static_cast<unsigned char>(source[skip + 2]) * 256u + static_cast<unsigned char>(source[skip + 3]) + 2;
        }
    }
    return skip;
}

// A written file, kept for the exiftool comparison.
struct Written {
    std::string source, output;
    bool clean;
    int movedDates;   // distinct readable dates the shift moved
    long sizeChange;  // output size minus source size
};

TEST(WriterCorpusTest, ShiftingByOneHourChangesOnlyTheDates) {
    MORROWTIDE_REQUIRE_CORPUS();
    const test::TempDir scratch;
    std::vector<Written> written;
    int inPlace = 0, rearranged = 0, withoutExif = 0, filesWithShiftedDates = 0, unlikeFixedRule = 0;

    for (const CorpusFile& file : decodableFiles()) {
        SCOPED_TRACE(file.name);
        const fs::path sourcePath = kCorpus / file.name;
        const std::string source = readFile(sourcePath);
        ImgData data;
        data.readImageFile(sourcePath.string());
        std::set<std::int64_t> datePositions;
        int movedDates = 0;
        if (data.hasAnyMetadata() && data.hasExifBlock()) {
            const ImageInfo& info = *data.exif();
            std::vector<std::int64_t> recorded = {info.dateTimePos, info.dateTimeOriginalPos,
                                                  info.dateTimeDigitizedPos};
            for (const DateValue& value : info.dateValues) recorded.push_back(value.pos);
            for (const auto pos : recorded) {
                if (pos > 0 && datePositions.insert(pos).second && info.readDateAt(pos) != 0.0) ++movedDates;
            }
            EXPECT_NE(test::shiftExifDates(data, 0, 1).status, ShiftStatus::kOutOfRange);
        }
        std::string outName = file.name;
        std::replace(outName.begin(), outName.end(), '/', '_');
        const fs::path outPath = scratch.path() / outName;
        try {
            saveCorrectedJpeg(data, source, outPath.string());
        } catch (const std::exception& error) {
            ADD_FAILURE() << "not written: " << error.what();
            continue;
        }
        const std::string out = readFile(outPath);
        written.push_back({sourcePath.string(), outPath.string(), file.clean, movedDates,
                           static_cast<long>(out.size()) - static_cast<long>(source.size())});

        // Inside the EXIF section only the 19 characters of a recorded date may change.
        const JpegSection* exif = data.exifSection();
        std::string exifBefore, exifAfter;
        if (exif == nullptr) {
            ++withoutExif;
        } else {
            exifBefore = source.substr(static_cast<std::size_t>(exif->dataOffset), exif->data.size());
            exifAfter = exif->data;
            for (const auto at : differences(exifBefore, exifAfter)) {
                const bool inDate = std::any_of(datePositions.begin(), datePositions.end(), [at](std::int64_t pos) {
                    return at + 1 >= static_cast<std::size_t>(pos) && at + 1 < static_cast<std::size_t>(pos) + 19;
                });
                EXPECT_TRUE(inDate) << "EXIF byte " << at + 1 << " changed outside the dates";
            }
            if (exifBefore != exifAfter) ++filesWithShiftedDates;
        }

        // How many files the fixed skip rule would have written differently (a section twice, or one lost).
        std::size_t headerSize = 2;
        const JpegSection* first = data.exifSection() ? data.exifSection() : data.app0Section();
        headerSize += first ? first->data.size() + 2 : kDefaultJfifSegment.size();
        for (const JpegSection* section : {data.iptcSection(), data.commentSection()}) {
            if (section) headerSize += section->data.size() + 2;
        }
        const std::size_t skip = std::min(source.size(), fixedSkip(source));
        if (out != out.substr(0, headerSize) + source.substr(skip)) ++unlikeFixedRule;

        std::string patched = source;
        if (exif != nullptr) patched.replace(static_cast<std::size_t>(exif->dataOffset), exifAfter.size(), exifAfter);
        if (out == patched) {
            // The usual layout: the same file but for the date characters.
            ++inPlace;
            continue;
        }
        // The header sections moved to the front (and an APP0 gave way to the EXIF section): the same sections
        // otherwise, each once, and the image data unchanged.
        ++rearranged;
        const Split before = split(source), after = split(out);
        EXPECT_EQ(before.rest, after.rest);
        EXPECT_EQ(before.stray, after.stray);
        std::multiset<std::string> expected(before.segments.begin(), before.segments.end());
        auto take = [&expected](const JpegSection* section, const std::string& stored) {
            if (section == nullptr) return;
            const std::string segment = std::string("\xFF") + static_cast<char>(section->marker) + stored;
            const auto it = expected.find(segment);
            EXPECT_NE(it, expected.end()) << "section " << section->marker << " not found in the source";
            if (it != expected.end()) expected.erase(it);
        };
        if (exif != nullptr) {
            take(exif, exifBefore);
            expected.insert(std::string("\xFF") + static_cast<char>(exif->marker) + exifAfter);
            // Only an APP0 right after the start of the image gives way to the EXIF section.
            if (data.section(0).marker == 0xE0) take(&data.section(0), data.section(0).data);
            for (int i = 0; i < data.extraExifCount(); ++i) {
                const JpegSection& extra = data.section(data.extraExifSectionIndex(i));
                take(&extra, source.substr(static_cast<std::size_t>(extra.dataOffset), extra.data.size()));
                expected.insert(std::string("\xFF") + static_cast<char>(extra.marker) + extra.data);
            }
        } else if (data.app0Section() == nullptr) {
            expected.insert(std::string(kDefaultJfifSegment));
        }
        EXPECT_EQ(std::multiset<std::string>(after.segments.begin(), after.segments.end()), expected);
    }
    std::printf(
        "writer corpus: %zu files written (%d unchanged but for the dates, %d with header sections "
        "rearranged, %d without EXIF section, %d with dates shifted, %d written differently from the fixed skip "
        "rule)\n",
        written.size(), inPlace, rearranged, withoutExif, filesWithShiftedDates, unlikeFixedRule);
    EXPECT_GT(filesWithShiftedDates, 100);

    if (!exiftoolAvailable()) GTEST_SKIP() << "exiftool not installed: dates and validation not compared";
    std::vector<std::string> sources, outputs;
    for (const auto& w : written) {
        sources.push_back(w.source);
        outputs.push_back(w.output);
    }
    const std::string dateTags = "-a -G1 -s -ModifyDate -DateTimeOriginal -CreateDate";
    const auto sourceDates = exiftoolLines(dateTags, sources, scratch.path());
    const auto outputDates = exiftoolLines(dateTags, outputs, scratch.path());
    const auto sourceWarnings = exiftoolLines("-validate -warning -a -G1 -s", sources, scratch.path());
    const auto outputWarnings = exiftoolLines("-validate -warning -a -G1 -s", outputs, scratch.path());
    const auto linesOf = [](const auto& map, const std::string& key) {
        const auto it = map.find(key);
        return it == map.end() ? std::vector<std::string>() : it->second;
    };
    int compared = 0, datesMoved = 0, offsetsAdjusted = 0;
    for (const Written& w : written) {
        // A file with stray bytes among its sections reads differently once a header stands in front of them;
        // only the files that decode cleanly are compared with exiftool.
        if (!w.clean) continue;
        SCOPED_TRACE(w.source);
        ++compared;
        const auto before = taggedValues(linesOf(sourceDates, w.source));
        const auto after = taggedValues(linesOf(outputDates, w.output));
        ASSERT_EQ(before.size(), after.size());
        // Every readable EXIF date, in whichever directory and EXIF section, is exactly one hour later; an
        // unreadable one stays as it was, and other dates (XMP, ...) never change.
        int moved = 0;
        for (std::size_t k = 0; k < before.size(); ++k) {
            EXPECT_EQ(after[k].first, before[k].first);
            const std::string later = oneHourLater(before[k].second);
            if (isExifGroup(before[k].first) && !later.empty()) {
                EXPECT_EQ(after[k].second, later) << before[k].first;
                ++moved;
            } else {
                EXPECT_EQ(after[k].second, before[k].second) << before[k].first << " changed";
            }
        }
        // exiftool shows a value two tags share (or a directory linked twice) once for each.
        EXPECT_GE(moved, w.movedDates);
        datesMoved += moved;

        std::set<std::string> known;
        for (const auto& [key, value] : taggedValues(linesOf(sourceWarnings, w.source))) {
            if (key.find("Warning") != std::string::npos) known.insert(value);
        }
        for (const auto& [key, value] : taggedValues(linesOf(outputWarnings, w.output))) {
            if (key.find("Warning") == std::string::npos || known.count(value)) continue;
            // Inserting the default JFIF segment moves a trailer that is addressed by absolute file offsets.
            if (value.find("Adjusted") != std::string::npos &&
                value.ends_with("offsets by " + std::to_string(w.sizeChange))) {
                ++offsetsAdjusted;
                continue;
            }
            ADD_FAILURE() << "new warning: " << value;
        }
    }
    std::printf(
        "writer corpus: %d clean files compared with exiftool, %d dates read exactly one hour later, %d "
        "trailer offset adjustments after an inserted JFIF segment\n",
        compared, datesMoved, offsetsAdjusted);
}

}  // namespace
}  // namespace morrowtide::meta
