// SPDX-License-Identifier: GPL-3.0-or-later
// `morrowtide-cli run` over a tree of hostile files: it must not crash or hang, must name every file it could not
// handle with a clear message, must correct every good photo, and must leave every source as it was.
#include <gtest/gtest.h>

#include <QFile>
#include <QString>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "meta/date_time.h"
#include "meta/img_data.h"
#include "support/child_process.h"
#include "support/exif_builder.h"
#include "support/hostile_tree.h"

namespace fs = std::filesystem;
using morrowtide::test::readFile;
using namespace morrowtide::test;
using morrowtide::meta::encodeDateTime;

namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

// A path as the program shows it: through Qt's file-name codec, control characters as "?".
std::string shown(const std::string& path) {
    std::string bytes = QFile::encodeName(QFile::decodeName(path.c_str())).toStdString();
    for (char& c : bytes) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return bytes;
}

// The name a corrected photo gets with the default mask: shifted date, " - ", the old name without its extension,
// cut to the longest name the file system takes with ".jpg" added.
std::string correctedName(const std::string& fileName, const std::string& datePrefix) {
    std::string name = datePrefix + fileName.substr(0, fileName.size() - 4);
    if (name.size() > 251) name.resize(251);  // the long name in the tree is plain ASCII
    return name + ".jpg";
}

std::string describe(const HostileFile& file) {
    return "\"" + shown(file.path) + "\" (" + file.what + ")";
}

// The dates of a written photo as the reader finds them.
struct ReadBack {
    bool hasExif = false;
    double capture = 0;
    std::vector<double> dates;
};

ReadBack readBack(const fs::path& path) {
    morrowtide::meta::ImgData data;
    data.readImageFile(path.string());
    ReadBack result;
    const auto* exif = data.exif();
    if (exif == nullptr) return result;
    result.hasExif = true;
    result.capture = exif->captureDateTime();
    for (const std::int32_t pos : {exif->dateTimePos, exif->dateTimeOriginalPos, exif->dateTimeDigitizedPos}) {
        if (pos > 0) result.dates.push_back(exif->readDateAt(pos));
    }
    return result;
}

// True when the file starts with a well-formed EXIF section (its length field covers the header and a TIFF header
// and stays inside the file), so that the output must be the source with only the date characters changed.
bool exifComesFirst(const std::string& bytes) {
    if (bytes.size() < 20 || bytes.compare(0, 4, "\xFF\xD8\xFF\xE1") != 0) return false;
    const std::size_t length = static_cast<unsigned char>(bytes[4]) * 256u + static_cast<unsigned char>(bytes[5]);
    return length >= 16 && 4 + length <= bytes.size() && bytes.compare(6, 6, std::string("Exif\0\0", 6)) == 0;
}

TEST(HostileTree, RunCorrectsEveryGoodPhotoAndNamesEveryBadFile) {
    TempDir temp;
    const fs::path root = temp.path() / "in";
    const fs::path dest = temp.path() / "out";
    const std::vector<HostileFile> files = hostileTree();
    writeHostileTree(root, files);
    std::map<std::string, std::string> before;
    for (const auto& file : files) {
        if (file.kind == HostileKind::kFile) before[file.path] = readFile(root / file.path);
    }

    const ChildResult result = runChild({MORROWTIDE_CLI_PATH, "run", "--hours", "1", root.string(), dest.string()});
    ASSERT_TRUE(result.exited()) << describe(result) << "\n" << result.err;
    EXPECT_EQ(result.exitCode, 1) << "some files must fail";

    // Every line on standard error belongs to exactly one listed file, but for the closing counts of the photos
    // copied without a date change and of the other files left out. Such a photo's line is a note, not an error.
    std::map<std::string, std::string> errors;  // shown path -> message
    std::map<std::string, std::string> notes;   // shown path -> why its dates were not changed
    const std::string notePrefix = "dates not changed: ";
    // Date copies (XMP, IPTC) left as they were are named too; the photo itself is corrected.
    const std::string leftPrefix = "dates left as they were: ";
    for (const std::string& line : lines(result.err)) {
        if (line.ends_with(" had no date to correct") || line.ends_with(" left out (--all-types adds them)") ||
            line.find(" kept its dates: ") != std::string::npos ||
            line.find(" kept their dates: ") != std::string::npos) {
            continue;
        }
        bool matched = false;
        for (const auto& file : files) {
            const std::string prefix = shown((root / file.path).string()) + ": ";
            if (file.listed && line.starts_with(prefix)) {
                EXPECT_FALSE(matched) << "ambiguous: " << line;
                const std::string message = line.substr(prefix.size());
                matched = true;
                if (message.starts_with(leftPrefix)) continue;
                auto& into = message.starts_with(notePrefix) ? notes : errors;
                EXPECT_EQ(into.count(file.path), 0u) << "two messages for " << describe(file);
                into[file.path] = message;
            }
        }
        EXPECT_TRUE(matched) << "a message that names no file: " << line;
    }
    for (const auto& [path, note] : notes) EXPECT_EQ(errors.count(path), 0u) << path << ": a note for a failed file";

    int listed = 0;
    const double shifted = encodeDateTime({2005, 6, 1, 11, 0, 0});
    for (const auto& file : files) {
        if (!file.listed) continue;
        ++listed;
        const fs::path sourceFolder = fs::path(file.path).parent_path();
        const std::string fileName = fs::path(file.path).filename().string();
        const fs::path dated = dest / sourceFolder / correctedName(fileName, "2005-06-01 11-00-00 - ");
        const fs::path undated = dest / sourceFolder / (fileName.substr(0, fileName.size() - 4) + ".jpg");
        const auto error = errors.find(file.path);
        const bool failed = error != errors.end();
        const std::string source = file.kind == HostileKind::kSymlink ? readFile(root / file.path) : file.bytes;
        switch (file.expect) {
            case HostileExpect::kCorrected: {
                EXPECT_FALSE(failed) << describe(file) << " failed: " << (failed ? error->second : "");
                EXPECT_EQ(notes.count(file.path), 0u) << describe(file) << ": " << notes[file.path];
                if (!fs::is_regular_file(dated)) {
                    ADD_FAILURE() << describe(file) << " was not written as " << shown(dated.string());
                    break;
                }
                const ReadBack back = readBack(dated);
                EXPECT_TRUE(back.hasExif) << describe(file);
                EXPECT_EQ(back.capture, shifted) << describe(file);
                for (const double date : back.dates) EXPECT_EQ(date, shifted) << describe(file);
                std::string why;
                if (exifComesFirst(source)) {
                    EXPECT_TRUE(differsOnlyInDates(source, readFile(dated), &why)) << describe(file) << ": " << why;
                }
                break;
            }
            case HostileExpect::kRefused:
                EXPECT_TRUE(failed) << describe(file) << " was not reported";
                if (failed) {
                    EXPECT_NE(error->second.find(file.message), std::string::npos)
                        << describe(file) << ": " << error->second;
                }
                EXPECT_FALSE(fs::exists(dated) || fs::exists(undated)) << describe(file) << " left an output";
                break;
            case HostileExpect::kSurvives: {
                const fs::path written = fs::exists(dated) ? dated : undated;
                if (failed) {
                    EXPECT_FALSE(error->second.empty()) << describe(file);
                    EXPECT_FALSE(fs::exists(dated) || fs::exists(undated))
                        << describe(file) << " failed but left an output";
                } else if (!fs::is_regular_file(written)) {
                    ADD_FAILURE() << describe(file) << " neither failed nor was written";
                } else if (exifComesFirst(source)) {
                    std::string why;
                    EXPECT_TRUE(differsOnlyInDates(source, readFile(written), &why)) << describe(file) << ": " << why;
                }
                break;
            }
        }
    }

    // One log line per listed file, then the summary.
    const std::vector<std::string> out = lines(result.out);
    ASSERT_EQ(out.size(), static_cast<std::size_t>(listed) + 1) << result.out;
    const int processed = listed - static_cast<int>(errors.size());
    EXPECT_EQ(out.back(),
              "Completed Successfully (" + std::to_string(processed) + "/" + std::to_string(listed) + " Files)");

    // Nothing half-written is left, nothing that was not listed is written, no source is changed.
    int outputs = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dest)) {
        if (!entry.is_regular_file()) continue;
        ++outputs;
        EXPECT_FALSE(entry.path().filename().string().ends_with(".tmp")) << entry.path();
    }
    EXPECT_EQ(outputs, processed);
    for (const auto& [path, bytes] : before) EXPECT_EQ(readFile(root / path), bytes) << shown(path) << " changed";
}

}  // namespace

namespace {

// A photo whose name is not valid UTF-8 (Latin-1 from another system) is a photo like any other: the run must read
// it under its own name and write its corrected copy, not fail to find the file it just listed.
TEST(HostileTree, PhotoWhoseNameIsNotUtf8IsCorrected) {
    TempDir temp;
    const fs::path root = temp.path() / "in";
    const fs::path dest = temp.path() / "out";
    const std::string fileName = fs::path(std::string(kNotUtf8Name)).filename().string();
    fs::create_directories(root);
    std::ofstream(root / fileName, std::ios::binary) << hostilePhoto();

    const ChildResult result = runChild({MORROWTIDE_CLI_PATH, "run", "--hours", "1", root.string(), dest.string()});
    ASSERT_TRUE(result.exited()) << describe(result);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    // Best with the old name's own bytes; at the least under the new date, with the photo's dates corrected.
    std::vector<fs::path> outputs;
    if (fs::is_directory(dest)) {
        for (const auto& entry : fs::directory_iterator(dest)) outputs.push_back(entry.path());
    }
    ASSERT_EQ(outputs.size(), 1u) << "output:\n" << result.out;
    EXPECT_TRUE(outputs[0].filename().string().starts_with("2005-06-01 11-00-00 - latin-1 ")) << outputs[0];
    EXPECT_EQ(readBack(outputs[0]).capture, encodeDateTime({2005, 6, 1, 11, 0, 0}));
}

}  // namespace
