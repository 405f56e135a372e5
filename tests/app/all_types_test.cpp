// SPDX-License-Identifier: GPL-3.0-or-later
// The run over other photo and video files: a tree of synthetic files of each container, corrected as a user would
// with "Also correct other photo and video files" on.
#include <gtest/gtest.h>

#include <QFile>
#include <QLocale>
#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/batch_run.h"
#include "app/camera_offsets.h"
#include "app/file_list.h"
#include "app/photo_plan.h"
#include "meta/date_time.h"
#include "meta/formats/container.h"
#include "meta/formats/date_codec.h"
#include "meta/formats/file_dates.h"
#include "support/container_builder.h"
#include "support/date_packet_builder.h"
#include "support/exif_builder.h"
#include "support/file_tree.h"
#include "test_host.h"

using namespace morrowtide::app;
using namespace morrowtide::test;
using morrowtide::meta::DateField;
namespace fs = std::filesystem;
namespace meta = morrowtide::meta;

namespace {

constexpr std::string_view kDate = "2005:06:01 10:00:00";

std::string jpegPhoto(const std::string& date = "2005:06:01 10:00:00") {
    return JpegBuilder().app1Exif(tiffPhoto(date)).imageData().build();
}

std::string sidecar(const std::string& created) {
    return XmpBuilder().attribute("xmp:CreateDate", created).element("exif:DateTimeOriginal", created).build();
}

// Seconds since 1904-01-01 of 2005-06-01 10:00:00.
constexpr std::uint64_t kMovieTime = 3'200'464'800;

QString q(const fs::path& path) {
    return QFile::decodeName(path.c_str());
}

meta::FileDates datesOf(const std::string& bytes, const fs::path& name) {
    return meta::readFileDates(meta::MemoryByteSource(bytes), name.extension().string());
}

std::uint32_t be32At(const std::string& bytes, std::uint64_t at) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

class AllTypesRun : public ::testing::Test {
  protected:
    void SetUp() override {
        src = temp.path() / "src";
        dst = temp.path() / "out";
        fs::create_directories(src);
        host.options.sourceFolder = q(src);
        host.options.destinationFolder = q(dst);
        host.options.offset.hours = 1;
        host.options.allTypes = true;
    }

    RunSummary runOnce(bool dryRun = false) {
        BatchRun run(host);
        run.setNamingLocale(QLocale(QLocale::English, QLocale::UnitedStates));
        run.setDryRun(dryRun);
        return run.run();
    }

    bool noted(const std::string& text) const {
        return std::any_of(host.notes.begin(), host.notes.end(),
                           [&](const QString& note) { return note.toStdString().find(text) != std::string::npos; });
    }

    TempDir temp;
    fs::path src;
    fs::path dst;
    TestHost host;
};

}  // namespace

TEST_F(AllTypesRun, EveryContainerMovesEachDateAndKeepsEveryOtherByte) {
    const std::string raf = rafFile(jpegPhoto());
    struct Case {
        const char* name;
        std::string bytes;
        std::size_t fields;  // date fields the file holds
    } cases[] = {
        {"raw/IMG_1.CR2", tiffPhoto(kDate), 2},
        {"raw/IMG_1b.NEF", tiffPhoto(kDate, "Demo", ByteOrder::kBig), 2},
        {"raw/DSCF1.RAF", raf, 2},
        {"phone/IMG_2.heic", heicFile({.tiff = tiffPhoto(kDate), .xmp = sidecar("2005-06-01T10:00:00+02:00")}), 4},
        {"phone/IMG_3.CR3", cr3File(tiffPhoto(kDate), tiffPhoto(kDate), static_cast<std::uint32_t>(kMovieTime)), 6},
        {"movie/MVI_4.mov",
         movieFile({.version = 1, .creation = kMovieTime, .modification = kMovieTime + 60, .tracks = 2,
                    .creationDate = "2005-06-01T12:00:00+0200"}),
         11},
        {"movie/MVI_5.MP4", movieFile({.creation = kMovieTime, .modification = kMovieTime, .userDay = "2005-06-01"}),
         7},
        {"web/P_6.png",
         pngFile({pngChunk("tIME", pngTime(2005, 6, 1, 10, 0, 0)), pngChunk("eXIf", tiffPhoto(kDate)),
                  pngChunk("iTXt", pngXmpText(sidecar("2005-06-01T10:00:00")))}),
         5},
        {"web/W_7.webp",
         webpFile({riffChunk("EXIF", tiffPhoto(kDate)), riffChunk("XMP ", sidecar("2005-06-01T10:00"))}), 4},
        {"IMG_8.xmp", sidecar("2005-06-01T10:00:00.25Z"), 2},
    };
    for (const Case& c : cases) writeFile(src / c.name, c.bytes);
    host.options.includeDateTime = false;
    const RunSummary summary = runOnce();
    EXPECT_EQ(summary.text, "Completed Successfully (10 Files)");
    EXPECT_TRUE(host.errors.empty()) << host.errors.front().toStdString();

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string out = readFile(dst / c.name);
        ASSERT_EQ(out.size(), c.bytes.size());
        const meta::FileDates before = datesOf(c.bytes, c.name);
        ASSERT_TRUE(before.problem.empty()) << before.problem;
        EXPECT_EQ(before.fields.size(), c.fields);
        // Every byte outside the date fields and the checksums is the source's.
        std::vector<bool> mayDiffer(c.bytes.size(), false);
        for (const meta::ChecksumRegion& region : before.checksums) {
            std::fill_n(mayDiffer.begin() + static_cast<std::ptrdiff_t>(region.checksumOffset), 4, true);
            const std::string_view covered = std::string_view(out).substr(region.offset, region.length);
            EXPECT_EQ(meta::crc32(covered), be32At(out, region.checksumOffset)) << "CRC at " << region.checksumOffset;
        }
        for (const DateField& field : before.fields) {
            std::fill_n(mayDiffer.begin() + static_cast<std::ptrdiff_t>(field.offset), field.width, true);
            const auto old = meta::parseDateField(field.encoding, c.bytes.substr(field.offset, field.width));
            const auto moved = meta::parseDateField(field.encoding, out.substr(field.offset, field.width));
            ASSERT_TRUE(old && moved) << field.group << ':' << field.name;
            // A date without its time stays under a shift of hours.
            const std::int64_t expected = old->precision >= meta::DatePrecision::Minute ? 3600 : 0;
            EXPECT_EQ(meta::secondsBetween(old->value, moved->value), expected) << field.group << ':' << field.name;
        }
        for (std::size_t i = 0; i < out.size(); ++i) {
            if (!mayDiffer[i] && out[i] != c.bytes[i]) {
                ADD_FAILURE() << "byte " << i << " changed";
                break;
            }
        }
    }
    EXPECT_TRUE(noted("MVI_5.MP4: dates left as they were: UserData:ContentCreateDate \"2005-06-01\": date only"));
}

TEST_F(AllTypesRun, AFileThatCannotBeReadSafelyIsCopiedUnchangedAndReported) {
    const std::string movie = movieFile({.creation = kMovieTime, .modification = kMovieTime});
    struct Case {
        const char* name;
        std::string bytes;
        const char* reason;
    } cases[] = {
        {"past.mov", movie + boxWithSize(4096, "free", "short"), "runs past the end"},
        {"cut.png", pngFile({pngChunk("tIME", pngTime(2005, 6, 1, 10, 0, 0))}).substr(0, 40), "past the end"},
        {"loop.heic", boxWithSize(0x7FFFFFFF, "ftyp", "heic"), "past the end"},
        {"garbage.CR2", "not a raw file at all", "not a file type that can be read"},
    };
    for (const Case& c : cases) writeFile(src / c.name, c.bytes);
    host.options.includeDateTime = false;
    EXPECT_EQ(runOnce().text, "Completed Successfully (4 Files)");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(readFile(dst / c.name), c.bytes);
        EXPECT_TRUE(noted(std::string(c.name) + ": dates not changed: ")) << host.notes.join('\n').toStdString();
        EXPECT_TRUE(noted(c.reason)) << host.notes.join('\n').toStdString();
    }
}

TEST_F(AllTypesRun, FilesSharingABaseNameKeepSharingItAndTheDryRunNamesWhatTheRunWrites) {
    writeFile(src / "IMG_0001.CR2", tiffPhoto(kDate));
    writeFile(src / "IMG_0001.JPG", jpegPhoto());
    writeFile(src / "IMG_0001.xmp", sidecar("2001-01-01T01:01:01"));
    writeFile(src / "IMG_0001.CR2.xmp", sidecar("2001-01-01T01:01:01"));
    writeFile(src / "IMG_0001.jpeg", jpegPhoto());  // a second JPEG output of that name cannot be; it stands alone
    writeFile(src / "IMG_0001.b.jpg", jpegPhoto("2006:01:01 00:00:00"));  // another stem, listed among the group
    writeFile(src / "lone.XMP", sidecar("2003-03-03T03:03:03"));
    writeFile(src / "MVI_0002.MOV", movieFile({.creation = kMovieTime, .modification = kMovieTime}));
    writeFile(src / "notes.txt", "not listed");
    // A member's name is taken: the whole group moves on to "_2".
    writeFile(dst / "2005-06-01 11-00-00 - IMG_0001.CR2.xmp", "taken");

    runOnce(true);
    const std::string planned = host.planned.join(u'\n').toStdString();
    EXPECT_EQ(fileTree(dst), (std::vector<std::string>{"2005-06-01 11-00-00 - IMG_0001.CR2.xmp"}));
    host.planned.clear();
    EXPECT_EQ(runOnce().text, "Completed Successfully (8 Files)");
    EXPECT_TRUE(host.errors.empty());
    EXPECT_EQ(fileTree(dst), (std::vector<std::string>{
                             "2003-03-03 04-03-03 - lone.XMP",
                             "2005-06-01 11-00-00 - IMG_0001.CR2.xmp",
                             "2005-06-01 11-00-00 - IMG_0001_2.CR2",
                             "2005-06-01 11-00-00 - IMG_0001_2.CR2.xmp",
                             "2005-06-01 11-00-00 - IMG_0001_2.jpg",
                             "2005-06-01 11-00-00 - IMG_0001_2.xmp",
                             "2005-06-01 11-00-00 - IMG_0001_3.jpg",
                             "2005-06-01 11-00-00 - MVI_0002.MOV",
                             "2006-01-01 01-00-00 - IMG_0001.b.jpg",
                         }));
    // The dry run listed exactly the files the run wrote, in list order (a group's members need not be neighbours),
    // each with its note.
    EXPECT_EQ(planned,
              "2005-06-01 11-00-00 - IMG_0001_2.CR2\trenamed _2\n"
              "2005-06-01 11-00-00 - IMG_0001_2.CR2.xmp\trenamed _2\n"
              "2005-06-01 11-00-00 - IMG_0001_2.jpg\trenamed _2\n"
              "2006-01-01 01-00-00 - IMG_0001.b.jpg\tok\n"
              "2005-06-01 11-00-00 - IMG_0001_3.jpg\trenamed _3\n"
              "2005-06-01 11-00-00 - IMG_0001_2.xmp\trenamed _2\n"
              "2005-06-01 11-00-00 - MVI_0002.MOV\tok\n"
              "2003-03-03 04-03-03 - lone.XMP\tok");
}

TEST_F(AllTypesRun, WithoutTheChoiceOnlyJpegsAreListedAndTheOthersCounted) {
    for (const char* name : {"a.JPG", "b.jpg", "c.JPEG", "d.Cr2", "e.mov", "f.xmp", "g.HEIC", "h.txt", "i.jpg.bak"}) {
        writeFile(src / name, name);
    }
    std::vector<std::string> jpegOnly;
    std::vector<std::string> all;
    ScanReport report;
    scanFolderNative(src.string(), true, jpegOnly, &report);
    scanFolderNative(src.string(), true, all, nullptr, std::nullopt, true);
    const auto names = [](const std::vector<std::string>& paths) {
        std::vector<std::string> out;
        for (const std::string& path : paths) out.push_back(fs::path(path).filename().string());
        return out;
    };
    EXPECT_EQ(names(jpegOnly), (std::vector<std::string>{"a.JPG", "b.jpg"}));
    EXPECT_EQ(report.otherTypes, 5);
    EXPECT_EQ(names(all), (std::vector<std::string>{"a.JPG", "b.jpg", "c.JPEG", "d.Cr2", "e.mov", "f.xmp", "g.HEIC"}));

    host.options.allTypes = false;
    host.options.includeDateTime = false;
    runOnce(true);
    EXPECT_TRUE(noted("5 other photo and video files were left out")) << host.notes.join('\n').toStdString();
}

TEST(NameParts, StemAndTheExtensionTheOutputKeeps) {
    struct Case {
        const char* name;
        const char* stem;
        const char* extension;  // of the output
    } cases[] = {
        {"IMG_1.JPG", "IMG_1", ".jpg"},       {"IMG_1.jpeg", "IMG_1", ".jpg"},
        {"IMG_1.CR2", "IMG_1", ".CR2"},       {"IMG_1.CR2.xmp", "IMG_1", ".CR2.xmp"},
        {"IMG_1.xmp", "IMG_1", ".xmp"},       {"my.trip.XMP", "my.trip", ".XMP"},
        {"IMG_1.heic.XMP", "IMG_1", ".heic.XMP"}, {"noextension", "noextension", ".jpg"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(splitFileName(c.name).stem, c.stem) << c.name;
        EXPECT_EQ(outputExtensionOf(c.name), c.extension) << c.name;
    }
    const std::vector<QString> paths{"a/IMG_1.CR2", "a/IMG_1.JPG", "b/IMG_1.JPG", "a/IMG_1.jpg", "a/IMG_1.CR2.xmp"};
    EXPECT_EQ(nameGroups(paths), (std::vector<std::vector<std::size_t>>{{0, 1, 4}, {2}, {3}}));
}

TEST(OutputNamesGroup, AGroupSharesOneNameThatLeavesRoomForItsLongestExtension) {
    const auto member = [](const char* extension) {
        OutputNames::Member out;
        out.extension = QString::fromLatin1(extension);
        return out;
    };
    OutputNames names;
    const std::vector<OutputNames::Member> pair{member(".jpg"), member(".CR2.xmp")};
    for (const QString& formed : {QString(300, u'x'), QString(300, u'x'), QStringLiteral("short")}) {
        const std::vector<OutputNames::Choice> choices = names.chooseGroup(-1, 0, 1, formed, true, pair);
        ASSERT_EQ(choices.size(), 2u);
        EXPECT_EQ(choices[0].name, choices[1].name);
        for (const OutputNames::Choice& choice : choices) {
            EXPECT_LE((choice.name + choice.extension).toUtf8().size(), kMaxFileNameBytes);
        }
    }
    // The base name a group was given is the group's, whatever the extension of a later file.
    EXPECT_EQ(names.chooseGroup(-1, 0, 1, QStringLiteral("short"), true, {member(".MOV")}).front().name,
              QStringLiteral("short_2"));
}

namespace {

// Records every dry-run plan: the output below the destination and the capture time it promises.
class PromiseHost : public TestHost {
  public:
    std::map<QString, double> promised;
    void filePlanned(const PhotoPlan& plan) override {
        TestHost::filePlanned(plan);
        promised[plan.relativeOutput] = plan.newCapture;
    }
};

// A run of every type from `root`/src to `root`/out, an hour on, the names kept unless `withDate`.
void aimAt(TestHost& host, const fs::path& root, bool withDate = false) {
    host.options.sourceFolder = q(root / "src");
    host.options.destinationFolder = q(root / "out");
    host.options.includeDateTime = withDate;
    host.options.allTypes = true;
    host.options.offset.hours = 1;
}

// A run as aimAt's that converts the dates from one zone to another.
void runConverting(TestHost& host, const fs::path& root, const char* from, const char* to) {
    aimAt(host, root);
    host.options.fromZone = QString::fromLatin1(from);
    host.options.toZone = QString::fromLatin1(to);
    BatchRun run(host);
    run.run();
}

// The capture time a written file holds, read back as any file is read.
double writtenCapture(const fs::path& root, const QString& relative) {
    return readPhotoHeader(QFile::encodeName(q(root) + u'/' + relative).toStdString(), q(root)).recordedCapture;
}

}  // namespace

// What the dry run promises is what every file gets, whatever its container, under a plain offset, camera rules and
// a zone conversion, on one worker or eight; a sidecar takes its photo's camera; both runs write the same bytes.
TEST(EveryContainer, TheDryRunsCaptureTimesAreWhatTheRunWrites) {
    const auto tree = [](const fs::path& root) {
        writeFile(root / "g/IMG_1.JPG", JpegBuilder().app1Exif(tiffPhoto(kDate, "CamJ")).imageData().build());
        writeFile(root / "g/IMG_1.CR2", tiffPhoto(kDate, "CamJ"));
        writeFile(root / "g/IMG_1.xmp", sidecar("2005-06-01T10:00:00"));
        writeFile(root / "raw/IMG_2.CR2", tiffPhoto(kDate, "CamR"));
        writeFile(root / "raw/DSC_3.NEF", tiffPhoto(kDate, "CamN", ByteOrder::kBig));
        writeFile(root / "phone/IMG_4.heic", heicFile({.tiff = tiffPhoto(kDate, "CamH")}));
        writeFile(root / "phone/IMG_5.CR3",
                  cr3File(tiffPhoto(kDate, "CamC"), tiffPhoto(kDate, "CamC"), static_cast<std::uint32_t>(kMovieTime)));
        writeFile(root / "web/P_6.png", pngFile({pngChunk("eXIf", tiffPhoto(kDate, "CamP"))}));
        writeFile(root / "web/W_7.webp", webpFile({riffChunk("EXIF", tiffPhoto(kDate, "CamW"))}));
        writeFile(root / "movie/MVI_8.MP4", movieFile({.creation = kMovieTime, .modification = kMovieTime}));
        writeFile(root / "IMG_9.jpg", jpegPhoto());
    };
    struct Correction {
        const char* name;
        std::vector<CameraOffset> cameras;
        const char* fromZone;
        const char* toZone;
    };
    const std::vector<Correction> corrections = {
        {"offset", {}, "", ""},
        {"cameras",
         {{"CamJ", {0, 5, 0, 0}}, {"CamR", {0, -2, 0, 0}}, {"CamH", {0, 7, 0, 0}}, {"CamC", {1, 0, 0, 0}},
          {"CamP", {0, 0, 30, 0}}, {"CamW", {0, 0, 0, 5}}, {"CamN", {0, 0, 0, 0}}},
         "", ""},
        {"zones", {}, "Europe/Berlin", "Asia/Tokyo"},
    };
    for (const Correction& correction : corrections) {
        std::map<std::string, std::string> outputs[2];
        for (const int jobs : {1, 8}) {
            SCOPED_TRACE(std::string(correction.name) + " on " + std::to_string(jobs));
            const TempDir temp;
            tree(temp.path() / "src");
            PromiseHost host;
            aimAt(host, temp.path(), true);
            host.options.jobs = jobs;
            host.options.cameraOffsets = correction.cameras;
            host.options.fromZone = QString::fromLatin1(correction.fromZone);
            host.options.toZone = QString::fromLatin1(correction.toZone);
            for (const bool dryRun : {true, false}) {
                BatchRun run(host);
                run.setNamingLocale(QLocale(QLocale::English, QLocale::UnitedStates));
                run.setDryRun(dryRun);
                run.run();
            }
            EXPECT_TRUE(host.errors.empty()) << (host.errors.empty() ? std::string() : host.errors.front().toStdString());
            ASSERT_EQ(host.promised.size(), 11u);
            for (const auto& [relative, capture] : host.promised) {
                if (relative.endsWith(QStringLiteral(".MP4"))) continue;  // a movie's time is read in the zone of the machine
                EXPECT_NEAR(writtenCapture(temp.path() / "out", relative), capture, 1e-6) << relative.toStdString();
            }
            // The sidecar takes its photo's camera and the rule of that camera.
            if (!correction.cameras.empty()) {
                const auto sidecarPlan = std::find_if(host.promised.begin(), host.promised.end(),
                                                      [](const auto& p) { return p.first.endsWith(u".xmp"); });
                ASSERT_NE(sidecarPlan, host.promised.end());
                EXPECT_NEAR(sidecarPlan->second, meta::encodeDateTime({2005, 6, 1, 15, 0, 0}), 1e-6);
            }
            for (const auto& [name, entry] : fileTreeContents(temp.path() / "out")) outputs[jobs == 8][name] = entry;
        }
        EXPECT_EQ(outputs[0], outputs[1]) << correction.name;
    }
}

// A conversion between zones sets each EXIF zone offset to its date's new zone in every container, as in a JPEG: a
// phone's photo converted from New York to Tokyo names the same moment afterwards. A plain offset keeps the zones.
TEST(EveryContainer, AZoneConversionSetsTheZoneOffsetsOfItsDates) {
    TiffBuilder tiff;
    const auto ifd0 = tiff.directory();
    const auto exif = tiff.directory();
    tiff.ascii(ifd0, 0x010F, "Apple");
    tiff.ascii(ifd0, 0x0132, "2020:05:04 18:39:11");
    tiff.link(ifd0, 0x8769, exif);
    tiff.ascii(exif, 0x9003, "2020:05:04 18:39:11");
    tiff.ascii(exif, 0x9010, "-04:00");
    tiff.ascii(exif, 0x9011, "-04:00");
    const std::string block = tiff.build();
    const std::vector<std::pair<std::string, std::string>> files = {
        {"IMG_1.HEIC", heicFile({.tiff = block})},
        {"IMG_2.DNG", block},
        {"IMG_3.png", pngFile({pngChunk("eXIf", block)})},
        {"IMG_4.webp", webpFile({riffChunk("EXIF", block)})},
        {"IMG_5.jpg", JpegBuilder().app1Exif(block).imageData().build()},
    };
    for (const bool convert : {true, false}) {
        const TempDir temp;
        for (const auto& [name, bytes] : files) writeFile(temp.path() / "src" / name, bytes);
        TestHost host;
        aimAt(host, temp.path());
        if (convert) {
            host.options.fromZone = QStringLiteral("America/New_York");
            host.options.toZone = QStringLiteral("Asia/Tokyo");
        }
        BatchRun run(host);
        run.run();
        ASSERT_TRUE(host.errors.empty()) << host.errors.front().toStdString();
        for (const auto& [name, bytes] : files) {
            SCOPED_TRACE(name + (convert ? ", converted" : ", shifted"));
            const std::string out = readFile(temp.path() / "out" / name);
            EXPECT_NE(out.find(convert ? "2020:05:05 07:39:11" : "2020:05:04 19:39:11"), std::string::npos);
            EXPECT_EQ(out.find("-04:00") == std::string::npos, convert);
            EXPECT_EQ(out.find("+09:00") != std::string::npos, convert);
            EXPECT_EQ(out.size(), bytes.size());
        }
    }
}

// A movie names its camera in its own metadata: a phone in the QuickTime keys, a camera in the user data. The run
// reads it, so a camera's rule reaches its movies.
TEST(EveryContainer, AMoviesCameraIsReadAndItsRuleApplies) {
    struct Case {
        const char* name;
        MovieSpec layout;
        const char* camera;
        std::uint32_t moved;  // seconds the movie header moves: its camera's own offset, else the main one
    };
    const std::vector<Case> cases = {
        {"IMG_1.MOV", {.creation = kMovieTime, .keysMake = "Apple", .keysModel = "iPhone X"}, "Apple iPhone X", 3 * 3600},
        {"GX_2.MP4", {.creation = kMovieTime, .brand = "mp41", .userMake = "GoPro", .userModel = "HERO9 Black"},
         "GoPro HERO9 Black", 0},
        {"MVI_3.MP4", {.creation = kMovieTime}, "", 3600},
    };
    const TempDir temp;
    for (const Case& c : cases) writeFile(temp.path() / "src" / c.name, movieFile(c.layout));
    PromiseHost host;
    aimAt(host, temp.path());
    host.options.cameraOffsets = {{QStringLiteral("iPhone"), {0, 3, 0, 0}}, {QStringLiteral("GoPro"), {0, 0, 0, 0}}};
    for (const bool dryRun : {true, false}) {
        BatchRun run(host);
        run.setDryRun(dryRun);
        run.run();
    }
    EXPECT_TRUE(host.errors.empty());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = (temp.path() / "src" / c.name).string();
        EXPECT_EQ(cameraKey(readPhotoHeader(path, q(temp.path() / "src"))), QString::fromLatin1(c.camera));
        const std::string out = readFile(temp.path() / "out" / c.name);
        const meta::FileDates dates = datesOf(out, c.name);
        const auto header = std::find_if(dates.fields.begin(), dates.fields.end(),
                                         [](const DateField& f) { return f.group == "QuickTime"; });
        ASSERT_NE(header, dates.fields.end());
        EXPECT_EQ(be32At(out, header->offset) - kMovieTime, c.moved);
    }
}

// What a file's bytes are decides how it is read and written, not its name: a phone's HEIC or a raw file saved as
// ".jpg" is corrected as what it is (not refused as a broken JPEG), and a JPEG saved under another name is
// corrected too.
TEST(EveryContainer, AFileIsReadAsWhatItsBytesAre) {
    struct File {
        std::string name;
        std::string bytes;
        std::string output;  // a JPEG's name ends in ".jpg", any other file's keeps its own
    };
    const std::vector<File> files = {
        {"heic.jpg", heicFile({.tiff = tiffPhoto(kDate)}), "heic.jpg"},
        {"raw.JPG", tiffPhoto(kDate), "raw.jpg"},
        {"photo.heic", jpegPhoto(), "photo.heic"},
    };
    const TempDir temp;
    for (const File& file : files) writeFile(temp.path() / "src" / file.name, file.bytes);
    TestHost host;
    aimAt(host, temp.path());
    BatchRun run(host);
    run.run();
    EXPECT_TRUE(host.errors.empty()) << host.errors.front().toStdString();
    for (const File& file : files) {
        SCOPED_TRACE(file.name);
        const std::string written = readFile(temp.path() / "out" / file.output);
        EXPECT_EQ(written.size(), file.bytes.size());
        EXPECT_NE(written.find("2005:06:01 11:00:00"), std::string::npos);
    }
}

// A phone's movie header counts in UTC, a camera's in its own clock: each is told from the file's own zoned date,
// else from its maker. A movie gets the same name on every computer, and a conversion between zones keeps a UTC
// header's instant while it converts a camera's wall clock.
TEST(EveryContainer, MovieTimesAreUtcOrWallClockAsTheFileShows) {
    const std::string zonedXmp = XmpBuilder().attribute("xmp:ModifyDate", "2005-06-01T13:00:00+03:00").build();
    struct Movie {
        const char* name;
        MovieSpec layout;
        const char* named;         // the name's time (an hour on), whatever the computer's zone
        std::int64_t converted;    // seconds the header moves from Europe/Berlin to Asia/Tokyo
    };
    const std::vector<Movie> movies = {
        {"phone.MOV", {.creation = kMovieTime, .udtaXmp = zonedXmp, .keysMake = "Apple"}, "2005-06-01 14-00-00", 0},
        {"action.MP4", {.creation = kMovieTime, .brand = "mp41", .userMake = "GoPro"}, "2005-06-01 11-00-00", 7 * 3600},
        // No zoned date and a camera's maker: its own clock.
        {"camera.MP4", {.creation = kMovieTime, .brand = "mp41", .userMake = "Panasonic"}, "2005-06-01 11-00-00",
         7 * 3600},
    };
    const char* savedZone = std::getenv("TZ");
    const std::string saved = savedZone != nullptr ? savedZone : "";
    for (const char* zone : {"UTC", "Asia/Tokyo", "America/New_York"}) {
        ::setenv("TZ", zone, 1);
        ::tzset();
        const TempDir temp;
        for (const Movie& movie : movies) writeFile(temp.path() / "src" / movie.name, movieFile(movie.layout));
        PromiseHost host;
        aimAt(host, temp.path(), true);
        BatchRun run(host);
        run.setNamingLocale(QLocale(QLocale::English, QLocale::UnitedStates));
        run.setDryRun(true);
        run.run();
        for (const Movie& movie : movies) {
            const auto named = std::find_if(host.promised.begin(), host.promised.end(), [&](const auto& p) {
                return p.first.endsWith(QString::fromLatin1(movie.name));
            });
            ASSERT_NE(named, host.promised.end()) << movie.name;
            EXPECT_TRUE(named->first.startsWith(QString::fromLatin1(movie.named))) << zone << ": " << named->first.toStdString();
        }
    }
    if (savedZone != nullptr) {
        ::setenv("TZ", saved.c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();

    const TempDir temp;
    for (const Movie& movie : movies) writeFile(temp.path() / "src" / movie.name, movieFile(movie.layout));
    TestHost host;
    runConverting(host, temp.path(), "Europe/Berlin", "Asia/Tokyo");
    for (const Movie& movie : movies) {
        SCOPED_TRACE(movie.name);
        const std::string out = readFile(temp.path() / "out" / movie.name);
        const meta::FileDates dates = datesOf(out, movie.name);
        const auto header = std::find_if(dates.fields.begin(), dates.fields.end(),
                                         [](const DateField& f) { return f.group == "QuickTime"; });
        ASSERT_NE(header, dates.fields.end());
        EXPECT_EQ(static_cast<std::int64_t>(be32At(out, header->offset)) - static_cast<std::int64_t>(kMovieTime),
                  movie.converted);
    }
}

// A photo that records its zone tells whether its clock needs a conversion from Berlin to Tokyo: one that already
// records Tokyo's offset followed the local time and stays as it is, one that records neither zone's is converted
// as asked; both say so. JPEGs and other files alike.
TEST(EveryContainer, ARecordedZoneTellsWhetherTheConversionApplies) {
    const auto photoIn = [](const char* zone) {
        TiffBuilder tiff;
        const auto ifd0 = tiff.directory();
        const auto exif = tiff.directory();
        tiff.ascii(ifd0, 0x010F, "Apple");
        tiff.link(ifd0, 0x8769, exif);
        tiff.ascii(exif, 0x9003, "2020:07:04 18:00:00");
        tiff.ascii(exif, 0x9011, zone);
        return tiff.build();
    };
    struct Case {
        const char* zone;
        const char* written;  // DateTimeOriginal afterwards
        const char* remark;   // in the log, empty when none
    };
    const std::vector<Case> cases = {
        {"+09:00", "2020:07:04 18:00:00", "records +09:00, the offset of Asia/Tokyo then: its clock followed the local time"},
        {"+05:00", "2020:07:05 01:00:00", "records +05:00, the offset of neither Europe/Berlin nor Asia/Tokyo then"},
        {"+02:00", "2020:07:05 01:00:00", ""},
    };
    const TempDir temp;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string block = photoIn(cases[i].zone);
        writeFile(temp.path() / "src" / ("p" + std::to_string(i) + ".jpg"), JpegBuilder().app1Exif(block).imageData().build());
        writeFile(temp.path() / "src" / ("p" + std::to_string(i) + ".heic"), heicFile({.tiff = block}));
    }
    TestHost host;
    runConverting(host, temp.path(), "Europe/Berlin", "Asia/Tokyo");
    EXPECT_TRUE(host.errors.empty());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        for (const char* extension : {".jpg", ".heic"}) {
            const std::string name = "p" + std::to_string(i) + extension;
            SCOPED_TRACE(name);
            EXPECT_NE(readFile(temp.path() / "out" / name).find(cases[i].written), std::string::npos);
            const bool remarked = std::any_of(host.notes.begin(), host.notes.end(), [&](const QString& note) {
                return note.contains(QString::fromStdString(name + ": " + cases[i].remark));
            });
            EXPECT_EQ(remarked, std::string(cases[i].remark).size() > 0);
        }
    }
}
