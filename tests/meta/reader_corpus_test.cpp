// The reader against real camera files: make, model, byte order and the three dates must agree with what INDEX.tsv
// records (exiftool's reading) wherever the reader takes the same APP1 section as EXIF; the malformed files must be
// answered without a crash.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "meta/img_data.h"

using morrowtide::meta::ImageInfo;
using morrowtide::meta::ImgData;

namespace {

namespace fs = std::filesystem;

const fs::path kCorpus(MORROWTIDE_CORPUS_DIR);

struct Row {
    std::map<std::string, std::string> fields;
    const std::string& operator[](const std::string& key) const { return fields.at(key); }
};

std::vector<Row> readIndex() {
    std::ifstream in(kCorpus / "INDEX.tsv");
    std::vector<Row> rows;
    std::string line;
    std::vector<std::string> header;
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::stringstream split(line);
        std::string cell;
        while (std::getline(split, cell, '\t')) cells.push_back(cell);
        if (header.empty()) {
            header = cells;
            continue;
        }
        Row row;
        for (std::size_t i = 0; i < header.size(); ++i) row.fields[header[i]] = i < cells.size() ? cells[i] : "";
        rows.push_back(std::move(row));
    }
    return rows;
}

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

bool corpusPresent() {
    return fs::exists(kCorpus / "INDEX.tsv");
}

}  // namespace

TEST(ReaderCorpus, CameraFilesAgreeWithIndex) {
    if (!corpusPresent()) GTEST_SKIP() << "no corpus folder at " << kCorpus << "; real-file checks skipped";
    int agreed = 0, exifElsewhere = 0, withoutExif = 0, total = 0;
    ImgData data(255);
    for (const Row& row : readIndex()) {
        if (row["path"].starts_with("malformed/")) continue;
        ++total;
        SCOPED_TRACE(row["path"]);
        data.readImageFile((kCorpus / row["path"]).string());
        const ImageInfo* info = data.exif();
        ASSERT_EQ(data.sourceSize(), std::stoll(row["size"]));

        if (row["byte_order"] == "-") {
            // exiftool found no EXIF block; the reader must not invent one.
            ++withoutExif;
            EXPECT_TRUE(info == nullptr || (info->cameraMake.empty() && info->dateTimePos == 0 &&
                                            info->dateTimeOriginalPos == 0 && info->dateTimeDigitizedPos == 0));
            continue;
        }
        const auto* exifSection = data.exifSection();
        const std::int64_t exifOffset = std::stoll(row["exif_app1_off"]);
        if (exifSection == nullptr || exifSection->fileOffset != exifOffset) {
            // Only the first APP1, and only one among the first sections, is taken as EXIF; this file keeps its
            // EXIF block elsewhere, so the reader reports no dates from it.
            ++exifElsewhere;
            EXPECT_TRUE(info == nullptr ||
                        (info->dateTimePos == 0 && info->dateTimeOriginalPos == 0 && info->dateTimeDigitizedPos == 0));
            continue;
        }
        ASSERT_NE(info, nullptr);
        const std::string make = storedText(*info, "Make");
        const std::string model = storedText(*info, "Model");
        const std::string& indexMake = row["Make"];
        const std::string& indexModel = row["Model"];
        EXPECT_TRUE(fieldShows(info->cameraMake, make, 32)) << info->cameraMake;
        EXPECT_TRUE(fieldShows(info->cameraModel, model, 40)) << info->cameraModel;
        const std::string order = info->bigEndian ? "MM" : "II";
        EXPECT_EQ(make, indexMake);
        EXPECT_EQ(model, indexModel);
        EXPECT_EQ(order, row["byte_order"]);
        // The date correction works on the 19 characters of a value; a longer one (with a zone) agrees on those.
        const std::string dateTime = dateAt(info, info->dateTimePos, info->dateTimeSize);
        const std::string original = dateAt(info, info->dateTimeOriginalPos, info->dateTimeOriginalSize);
        const std::string digitized = dateAt(info, info->dateTimeDigitizedPos, info->dateTimeDigitizedSize);
        EXPECT_EQ(dateTime, row["DateTime"].substr(0, 19));
        EXPECT_EQ(original, row["DateTimeOriginal"].substr(0, 19));
        EXPECT_EQ(digitized, row["DateTimeDigitized"].substr(0, 19));
        if (make == indexMake && model == indexModel && order == row["byte_order"] &&
            dateTime == row["DateTime"].substr(0, 19) && original == row["DateTimeOriginal"].substr(0, 19) &&
            digitized == row["DateTimeDigitized"].substr(0, 19)) {
            ++agreed;
        }
    }
    std::cout << "corpus: " << total << " camera files; " << agreed << " agree on make, model, byte order and dates; "
              << exifElsewhere << " keep EXIF where the reader does not look; " << withoutExif
              << " have no EXIF block\n";
    EXPECT_GT(total, 0);
}

TEST(ReaderCorpus, MalformedFilesAreAnsweredWithoutCrash) {
    if (!corpusPresent()) GTEST_SKIP() << "no corpus folder at " << kCorpus << "; real-file checks skipped";
    const std::set<std::string> statusTexts = {"Not an EXIF file",          "Illegal Exif construction",
                                               "Incorrect Exif header",     "Invalid Exif alignment marker",
                                               "Illegally sized directory", "<none>"};
    int files = 0;
    ImgData data(255);
    for (const auto& entry : fs::directory_iterator(kCorpus / "malformed")) {
        if (!entry.is_regular_file()) continue;
        ++files;
        SCOPED_TRACE(entry.path().string());
        const bool ok = data.readImageFile(entry.path().string());
        const std::string& status = data.statusText();
        EXPECT_TRUE(statusTexts.contains(status) || status.starts_with("Error Detected = ")) << status;
        EXPECT_EQ(ok, status == "<none>");
        EXPECT_LE(data.sectionCount(), ImgData::kMaxSections);
        EXPECT_EQ(data.hasExifBlock(), data.exif() != nullptr);
    }
    EXPECT_GT(files, 0);
}
