// SPDX-License-Identifier: GPL-3.0-or-later
// The reader against real camera files: make, model, byte order and the three dates must agree with what INDEX.tsv
// records (exiftool's reading) wherever the reader takes the same APP1 section as EXIF, malformed files included;
// those must also be answered with the status their sections call for.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "meta/img_data.h"
#include "support/corpus.h"

using morrowtide::meta::ImageInfo;
using morrowtide::meta::ImgData;
using morrowtide::test::CorpusRow;

namespace {

// A text value as stored up to its terminating zero, trailing blanks dropped, "-" when absent: exiftool's reading.
// Cameras pad names with zeros (and some store bytes after the zero), which the display text shows as ".".
std::string storedText(const ImageInfo& info, std::string_view name) {
    std::string text = info.entryByName(name).rawBytes;
    text = text.substr(0, text.find('\0'));
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text.empty() ? "-" : text;
}

// The display text shows the stored text first (it may be cut to the field's length).
bool fieldShows(const std::string& field, const std::string& stored, std::size_t maxLength) {
    return stored == "-" ? field.empty() : field.starts_with(stored.substr(0, maxLength));
}

// A date value as the reader located it: the 19 characters at its position, "-" when the tag was not met.
std::string dateAt(const ImageInfo* info, std::int32_t pos, std::int32_t size) {
    if (info == nullptr || pos == 0) return "-";
    if (pos < 1 || static_cast<std::size_t>(pos) > info->block.size()) return "<outside>";
    std::string value =
        info->block.substr(static_cast<std::size_t>(pos - 1), static_cast<std::size_t>(std::min(size, 19)));
    value = value.substr(0, value.find('\0'));
    return value.empty() ? "<blank>" : value;
}

// What the reader found against what INDEX.tsv records for the file.
enum class Found { kAgreed, kDisagreed, kExifElsewhere, kWithoutExif };

// Reads the file of `row` into `data` and checks make, model, byte order and the three dates against the row.
Found readAndCompare(const CorpusRow& row, ImgData& data) {
    data.readImageFile(row.file().string());
    const ImageInfo* info = data.exif();
    EXPECT_EQ(data.sourceSize(), std::stoll(row["size"]));

    if (row["byte_order"] == "-") {
        // exiftool found no EXIF block; the reader must not invent one.
        EXPECT_TRUE(info == nullptr || (info->cameraMake.empty() && info->dateTimePos == 0 &&
                                        info->dateTimeOriginalPos == 0 && info->dateTimeDigitizedPos == 0));
        return Found::kWithoutExif;
    }
    const auto* exifSection = data.exifSection();
    const std::int64_t exifOffset = std::stoll(row["exif_app1_off"]);
    if (exifSection == nullptr || exifSection->fileOffset != exifOffset) {
        // Only the first APP1, and only one among the first sections, is taken as EXIF; this file keeps its
        // EXIF block elsewhere, so the reader reports no dates from it.
        EXPECT_TRUE(info == nullptr ||
                    (info->dateTimePos == 0 && info->dateTimeOriginalPos == 0 && info->dateTimeDigitizedPos == 0));
        return Found::kExifElsewhere;
    }
    EXPECT_NE(info, nullptr);
    if (info == nullptr) return Found::kDisagreed;
    const std::string make = storedText(*info, "Make");
    const std::string model = storedText(*info, "Model");
    EXPECT_TRUE(fieldShows(info->cameraMake, make, 32)) << info->cameraMake;
    EXPECT_TRUE(fieldShows(info->cameraModel, model, 40)) << info->cameraModel;
    const std::string order = info->bigEndian ? "MM" : "II";
    // The date correction works on the 19 characters of a value; a longer one (with a zone) agrees on those.
    const std::string dates[] = {dateAt(info, info->dateTimePos, info->dateTimeSize),
                                 dateAt(info, info->dateTimeOriginalPos, info->dateTimeOriginalSize),
                                 dateAt(info, info->dateTimeDigitizedPos, info->dateTimeDigitizedSize)};
    const std::string indexDates[] = {row["DateTime"].substr(0, 19), row["DateTimeOriginal"].substr(0, 19),
                                      row["DateTimeDigitized"].substr(0, 19)};
    EXPECT_EQ(make, row["Make"]);
    EXPECT_EQ(model, row["Model"]);
    EXPECT_EQ(order, row["byte_order"]);
    // Where the index's own reading of the block failed (its notes say so), it has no dates to compare.
    const bool datesIndexed = row["notes"].find("exif: parse: error") == std::string::npos;
    for (int i = 0; i < 3 && datesIndexed; ++i) EXPECT_EQ(dates[i], indexDates[i]);
    const bool agreed = make == row["Make"] && model == row["Model"] && order == row["byte_order"] &&
                        (!datesIndexed || std::equal(std::begin(dates), std::end(dates), std::begin(indexDates)));
    return agreed ? Found::kAgreed : Found::kDisagreed;
}

}  // namespace

TEST(ReaderCorpus, CameraFilesAgreeWithIndex) {
    MORROWTIDE_REQUIRE_CORPUS();
    std::map<Found, int> found;
    int total = 0;
    ImgData data(255);
    for (const CorpusRow& row : morrowtide::test::readCorpusIndex()) {
        if (!row["path"].starts_with("cameras/")) continue;
        ++total;
        SCOPED_TRACE(row["path"]);
        ++found[readAndCompare(row, data)];
    }
    std::cout << "corpus: " << total << " camera files; " << found[Found::kAgreed]
              << " agree on make, model, byte order and dates; " << found[Found::kExifElsewhere]
              << " keep EXIF where the reader does not look; " << found[Found::kWithoutExif] << " have no EXIF block\n";
    EXPECT_GT(total, 0);
}

TEST(ReaderCorpus, MalformedFilesAreAnsweredWithoutCrash) {
    MORROWTIDE_REQUIRE_CORPUS();
    int files = 0;
    ImgData data(255);
    for (const CorpusRow& row : morrowtide::test::readCorpusIndex()) {
        if (!row["path"].starts_with("malformed/")) continue;
        ++files;
        SCOPED_TRACE(row["path"]);
        EXPECT_TRUE(readAndCompare(row, data) != Found::kDisagreed);
        // A read succeeds when an EXIF, IPTC or comment section comes before the image data. The sections the
        // index lists stop at the first bytes that are no section ("GARBAGE@offset", a code such as M00 or RST5);
        // the reader passes over such bytes to the next section's marker, so a section after them may count too.
        std::set<std::string> sections;
        bool irregular = false;
        std::stringstream markers(row["markers_before_SOS"]);
        for (std::string marker; markers >> marker;) {
            sections.insert(marker);
            irregular = irregular || marker.starts_with("GARBAGE@") || marker.starts_with("M") ||
                        marker.starts_with("RST");
        }
        const bool metadata = sections.contains("APP1") || sections.contains("APP13") || sections.contains("COM");
        if (metadata || !irregular) {
            EXPECT_EQ(data.statusText(), metadata ? "<none>" : "Not an EXIF file");
        }
        if (!irregular) {
            EXPECT_EQ(data.strayBytes(), 0);
        }
        EXPECT_LE(data.sectionCount(), ImgData::kMaxSections);
        EXPECT_EQ(data.hasExifBlock(), data.exif() != nullptr);
    }
    EXPECT_GT(files, 0);
}
