// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/photo_plan.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QLocale>
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/file_list.h"
#include "meta/date_time.h"
#include "support/date_packet_builder.h"
#include "support/exif_builder.h"
#include "support/maker_note_builder.h"

using namespace morrowtide::app;
using morrowtide::meta::encodeDateTime;
using morrowtide::test::cameraPhoto;
using morrowtide::test::PhotoTags;
using morrowtide::test::plainPhoto;
using morrowtide::test::readFile;
using morrowtide::test::TempDir;
using morrowtide::test::writeFile;
namespace fs = std::filesystem;

namespace {

QString q(const fs::path& path) {
    return QFile::decodeName(path.c_str());
}

// A fixed "now", so that names do not depend on the day the test runs.
double fixedNow() {
    return encodeDateTime({2025, 1, 1, 12, 0, 0, 0});
}

// The thumbnail a camera would store: a tiny JPEG.
const std::string kThumbnail = std::string("\xFF\xD8", 2) + "thumbnail bytes" + std::string("\xFF\xD9", 2);

// An Olympus photo whose maker note holds the camera's serial number (and EXIF none).
std::string olympusWithSerial(const std::string& serial) {
    using namespace morrowtide::test;
    MakerPhoto photo{ByteOrder::kLittle, "OLYMPUS OPTICAL CO.,LTD", "C2040Z", "0210", {}};
    photo.note = [serial](std::uint32_t noteOffset) {
        return buildMakerNote(olympusHeader(), {asciiEntry(0x101A, serial)}, ByteOrder::kLittle, noteOffset);
    };
    return makerNoteJpeg(photo);
}

}  // namespace

TEST(PhotoHeaderTest, ReadsWhatAPreviewShowsFromTheHeaderAlone) {
    TempDir temp;
    const fs::path in = temp.path() / "in";
    struct Case {
        const char* name;
        std::string bytes;
        bool hasExif;
        double capture;
        QString model;
        QString serial;
        bool thumbnail;
        bool problem;  // readProblem or refusal
    } cases[] = {
        {"Trip/camera.jpg", cameraPhoto({"2005:06:01 10:00:00", "Maker", "Model 5 ", kThumbnail, " 0042A17 "}), true,
         encodeDateTime({2005, 6, 1, 10, 0, 0, 0}), "Model 5", "0042A17", true, false},
        {"undated.jpg", cameraPhoto({"", "Maker", "Model", "", "S1"}), true, 0.0, "Model", "S1", false, false},
        // Padded with zero bytes after the name, as some cameras store it.
        {"padded.jpg", cameraPhoto({"2005:06:01 10:00:00", "Maker", std::string("E990\0\0\0 ", 8), "", ""}), true,
         encodeDateTime({2005, 6, 1, 10, 0, 0, 0}), "E990", "", false, false},
        // Only the maker note records the serial.
        {"olympus.jpg", olympusWithSerial("BH7512"), true, encodeDateTime({2004, 5, 6, 7, 8, 9, 0}), "C2040Z",
         "BH7512", false, false},
        {"plain.jpg", plainPhoto(), false, 0.0, "", "", false, false},
        {"broken.jpg", "no jpeg here", false, 0.0, "", "", false, true},
    };
    for (const Case& c : cases) writeFile(in / c.name, c.bytes);
    std::vector<std::string> paths;
    for (const Case& c : cases) paths.push_back((in / c.name).string());
    paths.push_back((in / "missing.jpg").string());

    const auto headers = readPhotoHeaders(paths, q(in), 2);
    ASSERT_EQ(headers.size(), paths.size());
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        const PhotoHeader& h = *headers[i];
        SCOPED_TRACE(c.name);
        EXPECT_EQ(h.relativePath, QString::fromUtf8(c.name));
        EXPECT_EQ(h.relativeFolder + h.fileName, h.relativePath);
        EXPECT_EQ(h.hasExif, c.hasExif);
        EXPECT_EQ(h.recordedCapture, c.capture);
        EXPECT_EQ(h.cameraModel, c.model);
        EXPECT_EQ(h.bodySerial, c.serial);
        EXPECT_EQ(!h.readProblem.isEmpty() || !h.refusal.isEmpty(), c.problem);
        ASSERT_EQ(h.thumbnailOffset >= 0, c.thumbnail);
        if (c.thumbnail) {
            EXPECT_EQ(readFile(in / c.name).substr(static_cast<std::size_t>(h.thumbnailOffset),
                                                  static_cast<std::size_t>(h.thumbnailLength)),
                      kThumbnail);
        }
    }
    EXPECT_FALSE(headers.back()->readProblem.isEmpty());
}

TEST(PhotoPlanTest, DatesMoveAsPatchesOfTheSourceAndNothingIsWritten) {
    TempDir temp;
    const fs::path in = temp.path() / "in";
    writeFile(in / "a.jpg", cameraPhoto({"2024:02:28 23:30:00", "", "", "", ""}));
    writeFile(in / "far.jpg", cameraPhoto({"9999:12:31 23:30:00", "", "", "", ""}));
    const std::string source = readFile(in / "a.jpg");
    std::vector<std::string> list;
    scanFolderNative(in.string(), true, list);

    RunOptions options;
    options.sourceFolder = q(in);
    options.destinationFolder = q(temp.path() / "out" / "deeper");
    options.offset.hours = 1;
    const auto plans = planList(readPhotoHeaders(list, options.sourceFolder), options, QLocale::c(), fixedNow);
    ASSERT_EQ(plans.size(), 2u);

    const PhotoPlan& a = plans[0];
    EXPECT_TRUE(a.corrected());
    EXPECT_EQ(a.note(), "ok");
    EXPECT_EQ(a.newCapture, encodeDateTime({2024, 2, 29, 0, 30, 0, 0}));
    EXPECT_EQ(a.relativeOutput, "2024-02-29 00-30-00 - a.jpg");
    ASSERT_EQ(a.patches.size(), 3u);  // DateTime, DateTimeOriginal, DateTimeDigitized
    for (const auto& patch : a.patches) {
        EXPECT_EQ(source.substr(patch.offset, 19), "2024:02:28 23:30:00");
        EXPECT_EQ(patch.bytes, "2024:02:29 00:30:00");
    }
    // A date the offset would carry past the year 9999: nothing moves, and the name keeps the recorded date.
    const PhotoPlan& far = plans[1];
    EXPECT_EQ(far.outcome, DateOutcome::OutOfRange);
    EXPECT_TRUE(far.patches.empty());
    EXPECT_EQ(far.newCapture, far.oldCapture);
    EXPECT_EQ(far.note(), "date out of range");
    EXPECT_EQ(readFile(in / "a.jpg"), source);
    EXPECT_FALSE(fs::exists(temp.path() / "out"));
}

TEST(PhotoPlanTest, NamingIsRedoneFromTheSameHeadersWithoutReadingThemAgain) {
    TempDir temp;
    const fs::path in = temp.path() / "in";
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) writeFile(in / name, cameraPhoto());
    writeFile(temp.path() / "out" / "2005.jpg", "stands there");
    std::vector<std::string> list;
    scanFolderNative(in.string(), true, list);
    RunOptions options;
    options.sourceFolder = q(in);
    options.destinationFolder = q(temp.path() / "out");
    const auto headers = readPhotoHeaders(list, options.sourceFolder);
    for (const auto& path : list) fs::remove(path);  // the plans below must not need the files

    const auto namesOf = [&](const RunOptions& o) {
        QStringList names;
        for (const PhotoPlan& plan : planList(headers, o, QLocale::c(), fixedNow)) names << plan.note() + ": " + plan.relativeOutput;
        return names;
    };
    options.fileMask = "yyyy";
    options.includeFileName = false;
    EXPECT_EQ(namesOf(options), (QStringList{"renamed _2: 2005_2.jpg", "renamed _3: 2005_3.jpg", "renamed _4: 2005_4.jpg"}));
    options.offset.days = 366;
    EXPECT_EQ(namesOf(options), (QStringList{"ok: 2006.jpg", "renamed _2: 2006_2.jpg", "renamed _3: 2006_3.jpg"}));
    options.autoRename = false;
    EXPECT_EQ(namesOf(options), (QStringList{"ok: 2006.jpg", "ok: 2006.jpg", "ok: 2006.jpg"}));
}

TEST(PhotoPlanTest, XmpAndIptcCopiesArePlannedWithTheExifDates) {
    using morrowtide::test::DateCopyValues;
    using morrowtide::test::jpegWithDateCopies;
    TempDir temp;
    const fs::path in = temp.path() / "in";
    DateCopyValues far;
    far.exif = "9999:12:31 23:30:00";
    DateCopyValues noExif;
    noExif.exif.clear();
    DateCopyValues stuck = noExif;  // copies only, none of which an hour can move
    stuck.xmpCreate = stuck.xmpOriginal = stuck.extendedCreate = "2005-06-01";
    stuck.iptcTime = "";
    DateCopyValues noExifAfter = morrowtide::test::dateCopiesAnHourLater();
    noExifAfter.exif.clear();
    struct Case {
        const char* name;
        std::string bytes;
        std::string after;  // the source with every planned patch applied
        QString note;
        bool corrected;
        int copiesMoved;
        qsizetype copiesLeft;
    } cases[] = {
        {"a.jpg", jpegWithDateCopies({}), jpegWithDateCopies(morrowtide::test::dateCopiesAnHourLater()), "ok", true,
         5, 2},
        {"b_far.jpg", jpegWithDateCopies(far), jpegWithDateCopies(far), "date out of range", false, 0, 0},
        {"c_no_exif.jpg", jpegWithDateCopies(noExif), jpegWithDateCopies(noExifAfter),
         "no EXIF, XMP/IPTC dates moved", true, 5, 2},
        {"d_stuck.jpg", jpegWithDateCopies(stuck), jpegWithDateCopies(stuck), "no EXIF", false, 0, 6},
    };
    for (const Case& c : cases) writeFile(in / c.name, c.bytes);
    std::vector<std::string> list;
    scanFolderNative(in.string(), true, list);
    RunOptions options;
    options.sourceFolder = q(in);
    options.destinationFolder = q(temp.path() / "out");
    options.offset.hours = 1;
    const auto plans = planList(readPhotoHeaders(list, options.sourceFolder), options, QLocale::c(), fixedNow);
    ASSERT_EQ(plans.size(), std::size(cases));
    for (std::size_t i = 0; i < plans.size(); ++i) {
        const Case& c = cases[i];
        const PhotoPlan& plan = plans[i];
        SCOPED_TRACE(c.name);
        EXPECT_EQ(plan.note(), c.note);
        EXPECT_EQ(plan.corrected(), c.corrected);
        EXPECT_EQ(plan.copiesMoved, c.copiesMoved);
        EXPECT_EQ(plan.copiesLeft.size(), c.copiesLeft) << plan.copiesLeft.join(u'\n').toStdString();
        std::vector<morrowtide::meta::BytePatch> patches = plan.patches;
        patches.insert(patches.end(), plan.copyPatches.begin(), plan.copyPatches.end());
        EXPECT_EQ(morrowtide::test::applyPatches(c.bytes, patches), c.after);
    }
}

TEST(PhotoHeaderTest, AWatchedReadingCountsItsHeadersAndStopsWhenAsked) {
    TempDir temp;
    const fs::path in = temp.path() / "in";
    std::vector<std::string> paths;
    for (int i = 0; i < 40; ++i) {
        paths.push_back((in / ("p" + std::to_string(i) + ".jpg")).string());
        writeFile(paths.back(), cameraPhoto());
    }
    for (const int threads : {1, 3}) {
        SCOPED_TRACE(threads);
        HeaderReading reading;
        const auto headers = readPhotoHeaders(paths, q(in), threads, &reading);
        EXPECT_EQ(reading.done, paths.size());
        EXPECT_TRUE(std::all_of(headers.begin(), headers.end(), [](const auto& h) { return h && h->hasExif; }));

        HeaderReading stopped;
        stopped.stop = true;
        const auto none = readPhotoHeaders(paths, q(in), threads, &stopped);
        EXPECT_EQ(stopped.done, 0u);
        ASSERT_EQ(none.size(), paths.size());
        EXPECT_TRUE(std::all_of(none.begin(), none.end(), [](const auto& h) { return h == nullptr; }));
    }
}
