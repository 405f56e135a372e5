// SPDX-License-Identifier: GPL-3.0-or-later
// The file-level container: JPEG sections up to the first scan, the EXIF block entry and the TIFF entry, on files
// built byte by byte.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "meta/img_data.h"
#include "support/exif_builder.h"

using namespace morrowtide::meta;
using morrowtide::test::ByteOrder;
using morrowtide::test::exifPayload;
using morrowtide::test::JpegBuilder;
using morrowtide::test::TempDir;
using morrowtide::test::TiffBuilder;
using morrowtide::test::truncated;

namespace {

// A small camera block: make, date in the main directory, two dates in the EXIF directory.
TiffBuilder cameraTiff(ByteOrder order = ByteOrder::kLittle) {
    TiffBuilder tiff(order);
    const auto ifd0 = tiff.directory(), exif = tiff.directory();
    tiff.ascii(ifd0, 0x010F, "Canon");
    tiff.ascii(ifd0, 0x0110, "Canon EOS");
    tiff.ascii(ifd0, 0x0132, "2005:12:31 23:30:00");
    tiff.link(ifd0, 0x8769, exif);
    tiff.ascii(exif, 0x9003, "2005:06:01 10:00:00");
    tiff.ascii(exif, 0x9004, "2005:06:01 10:00:01");
    return tiff;
}

std::string cameraExif() {
    return cameraTiff().build();
}

std::string markers(const ImgData& data) {
    std::string out;
    for (int i = 0; i < data.sectionCount(); ++i) {
        char text[8];
        std::snprintf(text, sizeof text, "%s%02X", out.empty() ? "" : " ", data.section(i).marker);
        out += text;
    }
    return out;
}

std::string dateAt(const ImgData& data, std::int32_t pos) {
    return data.exifSection()->data.substr(static_cast<std::size_t>(pos - 1), 19);
}

}  // namespace

TEST(ReadImageFile, ChoosesTheReaderByExtensionIgnoringCase) {
    const TempDir dir;
    const std::string jpeg = JpegBuilder().app1Exif(cameraExif()).imageData().build();
    ImgData data;
    for (const char* name : {"a.JPG", "b.jpeg", "c.Jpe", "d.jpg"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(data.readImageFile(dir.write(name, jpeg)));
        EXPECT_EQ(data.statusText(), "<none>");
        EXPECT_TRUE(data.hasExifBlock());
    }
    for (const char* name : {"e.jfif", "f", "g.jpg.bak", ".jpgx"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(data.readImageFile(dir.write(name, jpeg)));
        EXPECT_EQ(data.statusText(), "Not an EXIF file");
        EXPECT_FALSE(data.hasAnyMetadata());
        EXPECT_EQ(data.sourceSize(), static_cast<std::int64_t>(jpeg.size()));  // the file was still looked up
    }
    // A name that is only an extension counts as one.
    EXPECT_TRUE(data.readImageFile(dir.write(".jpg", jpeg)));
}

TEST(ReadImageFile, MissingFilesAndFoldersLeaveTheStatusEmpty) {
    const TempDir dir;
    ImgData data;
    ASSERT_TRUE(data.readImageFile(dir.write("ok.jpg", JpegBuilder().app1Exif(cameraExif()).scan().build())));
    EXPECT_FALSE(data.readImageFile((dir.path() / "missing.jpg").string()));
    EXPECT_EQ(data.statusText(), "");
    EXPECT_FALSE(data.hasExifBlock());  // the previous file's state is gone
    EXPECT_EQ(data.exif(), nullptr);
    EXPECT_EQ(data.sectionCount(), 0);
    EXPECT_EQ(data.sourcePath(), "");
    std::filesystem::create_directories(dir.path() / "folder.jpg");
    EXPECT_FALSE(data.readImageFile((dir.path() / "folder.jpg").string()));
    EXPECT_EQ(data.statusText(), "");
}

TEST(ReadImageFile, UnreadableFileIsIllegalConstruction) {
    const TempDir dir;
    // Opens but cannot be read, whoever runs the test: the process's own memory, read from address 0.
    const std::string memory = (dir.path() / "memory.jpg").string();
    std::filesystem::create_symlink("/proc/self/mem", memory);
    std::vector<std::pair<std::string, std::string>> cases = {{memory, "cannot read "}};
    // File permissions keep anyone but root from opening it.
    if (::geteuid() != 0) {
        cases.emplace_back(dir.write("locked.jpg", JpegBuilder().app1Exif(cameraExif()).scan().build()),
                           "cannot open ");
        std::filesystem::permissions(cases.back().first, std::filesystem::perms::none);
    }
    for (const auto& [path, diagnostic] : cases) {
        SCOPED_TRACE(path);
        ImgData data;
        EXPECT_FALSE(data.readImageFile(path));
        EXPECT_EQ(data.statusText(), "Illegal Exif construction");
        EXPECT_TRUE(data.diagnostic().starts_with(diagnostic)) << data.diagnostic();
    }
}

TEST(ReadImageFile, KeepsSourceFactsAndBytes) {
    const TempDir dir;
    const std::string jpeg = JpegBuilder().dqt().imageData().build();  // no metadata at all
    const std::string path = dir.write("plain.jpg", jpeg);
    ImgData data;
    EXPECT_FALSE(data.readImageFile(path));
    EXPECT_EQ(data.statusText(), "Not an EXIF file");
    EXPECT_EQ(data.sourcePath(), path);
    EXPECT_EQ(data.sourceSize(), static_cast<std::int64_t>(jpeg.size()));
    EXPECT_EQ(data.sourceBytes(), jpeg);
    // Written a moment ago: a date after 2020 with an even number of seconds.
    EXPECT_GT(data.sourceModified(), 43831.0);
    const double seconds = data.sourceModified() * 86400.0;
    EXPECT_EQ(static_cast<long long>(std::llround(seconds)) % 2, 0);
}

TEST(ReadImageFile, FromMemoryMatchesFromFile) {
    const TempDir dir;
    const std::string jpeg = JpegBuilder().app0Jfif().app1Exif(cameraExif()).comment("hi").imageData().build();
    const std::string path = dir.write("same.jpg", jpeg);
    ImgData fromFile, fromMemory;
    ASSERT_TRUE(fromFile.readImageFile(path));
    ASSERT_TRUE(fromMemory.readImageBytes(path, jpeg));
    EXPECT_EQ(fromMemory.exif()->trace, fromFile.exif()->trace);
    EXPECT_EQ(fromMemory.sectionCount(), fromFile.sectionCount());
    EXPECT_EQ(fromMemory.sourceModified(), fromFile.sourceModified());
    EXPECT_EQ(fromMemory.sourceSize(), fromFile.sourceSize());
    // No file needed at all.
    ImgData detached;
    EXPECT_TRUE(detached.readImageBytes("/nowhere/x.jpg", jpeg));
    EXPECT_EQ(detached.sourceModified(), 0);
    EXPECT_EQ(detached.sourcePath(), "/nowhere/x.jpg");
}

TEST(ScanJpegSections, CameraLayout) {
    const std::string jpeg = JpegBuilder().app0Jfif().app1Exif(cameraExif()).imageData().build();
    ImgData data;
    ASSERT_TRUE(data.readImageBytes("x.jpg", jpeg));
    EXPECT_EQ(markers(data), "E0 E1 DB C0 C4 C4 DA");
    EXPECT_EQ(data.exifSectionIndex(), 1);
    EXPECT_EQ(data.app0SectionIndex(), 0);
    EXPECT_EQ(data.iptcSectionIndex(), -1);
    EXPECT_EQ(data.commentSectionIndex(), -1);
    const JpegSection& app1 = *data.exifSection();
    EXPECT_EQ(app1.size, static_cast<std::int32_t>(exifPayload(cameraExif()).size() + 2));
    EXPECT_EQ(app1.data.size(), static_cast<std::size_t>(app1.size));
    EXPECT_EQ(app1.data.substr(2, 6), std::string("Exif\0\0", 6));
    // Where it lay in the file: SOI (2) and APP0 (2 + 16) come first.
    EXPECT_EQ(app1.fileOffset, 20);
    EXPECT_EQ(app1.dataOffset, 22);
    EXPECT_EQ(app1.endOffset(), 22 + app1.size);
    EXPECT_EQ(jpeg.substr(static_cast<std::size_t>(app1.dataOffset), static_cast<std::size_t>(app1.size)), app1.data);
    EXPECT_EQ(data.block, app1.data);
}

TEST(ScanJpegSections, MetadataSectionsAreFoundWhereverTheyStandAmongTheKeptOnes) {
    JpegBuilder manyFirst;
    for (int i = 0; i < 6; ++i) manyFirst.app2();
    manyFirst.app13().comment("c");
    struct Case {
        const char* name;
        std::string jpeg;
        const char* markers;
        int exif, iptc, comment;
    };
    const Case cases[] = {
        {"exif_fifth", JpegBuilder().app0Jfif().app2().dqt().dqt().app1Exif(cameraExif()).scan().build(),
         "E0 E2 DB DB E1 DA", 4, -1, -1},
        {"exif_sixth_after_comment",
         JpegBuilder().comment("c").app0Jfif().app2().dqt().dqt().app1Exif(cameraExif()).scan().build(),
         "FE E0 E2 DB DB E1 DA", 5, -1, 0},
        // Editors put their XMP packet first: an ordinary section, and the EXIF one after it is the EXIF section.
        {"exif_behind_xmp", JpegBuilder().app1Xmp().app1Exif(cameraExif()).scan().build(), "E1 E1 DA", 1, -1, -1},
        {"iptc_and_comment_seventh_and_eighth", manyFirst.scan().build(), "E2 E2 E2 E2 E2 E2 ED FE DA", -1, 6, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImgData data;
        EXPECT_TRUE(data.readImageBytes("x.jpg", c.jpeg));
        EXPECT_EQ(markers(data), c.markers);
        EXPECT_EQ(data.exifSectionIndex(), c.exif);
        EXPECT_EQ(data.iptcSectionIndex(), c.iptc);
        EXPECT_EQ(data.commentSectionIndex(), c.comment);
        if (c.exif >= 0) {
            EXPECT_EQ(data.exif()->cameraMake, "Canon");
            EXPECT_EQ(dateAt(data, data.exif()->dateTimeOriginalPos), "2005:06:01 10:00:00");
        }
    }
    // An XMP packet alone is no EXIF block, and no metadata the scan looks for.
    ImgData data;
    EXPECT_FALSE(data.readImageBytes("x.jpg", JpegBuilder().app1Xmp().scan().build()));
    EXPECT_FALSE(data.hasExifBlock());
}

TEST(ScanJpegSections, FirstExifApp1IsTheExifSectionLaterOnesAreKeptForTheirDates) {
    ImgData data;
    ASSERT_TRUE(data.readImageBytes("x.jpg", JpegBuilder()
                                                 .app1Exif(cameraExif())
                                                 .app1Xmp()
                                                 .app1Exif(cameraTiff(ByteOrder::kBig).build())
                                                 .scan()
                                                 .build()));
    EXPECT_EQ(markers(data), "E1 E1 E1 DA");
    EXPECT_EQ(data.exifSectionIndex(), 0);
    ASSERT_EQ(data.extraExifCount(), 1);
    EXPECT_EQ(data.extraExifSectionIndex(0), 2);
    const ImageInfo& extra = data.extraExif(0);
    EXPECT_EQ(extra.dateValues.size(), 3u);
    EXPECT_EQ(extra.readDateAt(extra.dateTimePos), data.exif()->readDateAt(data.exif()->dateTimePos));
    EXPECT_TRUE(extra.trace.empty());  // walked for its dates only
}

TEST(ScanJpegSections, FillRunLongerThanTheBoundRefusesTheFile) {
    const std::string exif = JpegBuilder(false).app1Exif(cameraExif()).build();
    for (const std::size_t fill : {ImgData::kMaxFillBytes, ImgData::kMaxFillBytes + 1}) {
        SCOPED_TRACE(fill);
        const std::string jpeg =
            "\xFF\xD8" + exif + std::string(fill, '\xFF') + JpegBuilder(false).scan().build().substr(1);
        ImgData data;
        EXPECT_TRUE(data.readImageBytes("/photos/x.jpg", jpeg));
        EXPECT_TRUE(data.hasExifBlock());
        if (fill <= ImgData::kMaxFillBytes) {
            EXPECT_EQ(markers(data), "E1 DA");
            EXPECT_EQ(data.headerRefusal(), "");
        } else {
            EXPECT_EQ(markers(data), "E1");
            EXPECT_EQ(data.headerRefusal(),
                      "Cannot read file \"/photos/x.jpg\". Its JPEG header has more than 65536 fill bytes (0xFF) "
                      "before one marker.");
        }
    }
}

TEST(ScanJpegSections, FirstApp13AndLastCommentAndApp0) {
    ImgData data;
    ASSERT_TRUE(data.readImageBytes("x.jpg", JpegBuilder()
                                                 .app13("Photoshop 3.0 one")
                                                 .app0Jfif()
                                                 .comment("first")
                                                 .app13("Photoshop 3.0 two")
                                                 .comment("second")
                                                 .app0Jfif()
                                                 .scan()
                                                 .build()));
    EXPECT_EQ(markers(data), "ED E0 FE ED FE E0 DA");
    EXPECT_EQ(data.iptcSectionIndex(), 0);
    EXPECT_EQ(data.commentSectionIndex(), 4);
    EXPECT_EQ(data.app0SectionIndex(), 5);
    EXPECT_EQ(data.commentSection()->data.substr(2), "second");
    EXPECT_FALSE(data.hasExifBlock());
    EXPECT_TRUE(data.hasAnyMetadata());
}

TEST(ScanJpegSections, StopsAfterTwentySections) {
    JpegBuilder jpeg;
    jpeg.comment("c");
    for (int i = 0; i < 30; ++i) jpeg.app2();
    jpeg.scan();
    ImgData data;
    EXPECT_TRUE(data.readImageBytes("x.jpg", jpeg.build()));
    EXPECT_EQ(data.sectionCount(), ImgData::kMaxSections);
}

TEST(ScanJpegSections, NotAJpeg) {
    ImgData data;
    EXPECT_FALSE(data.readImageBytes("x.jpg", "GIF89a"));
    EXPECT_EQ(data.statusText(), "Not an EXIF file");
    EXPECT_FALSE(data.readImageBytes("x.jpg", ""));
    EXPECT_FALSE(data.readImageBytes("x.jpg", "\xFF"));
    EXPECT_EQ(data.statusText(), "Not an EXIF file");
}

TEST(ScanJpegSections, FillBytesBeforeAMarker) {
    const std::string jpeg =
        "\xFF\xD8\xFF\xFF\xFF" + JpegBuilder(false).comment("c").build().substr(1) + JpegBuilder(false).scan().build();
    ImgData data;
    ASSERT_TRUE(data.readImageBytes("x.jpg", jpeg));
    EXPECT_EQ(markers(data), "FE DA");
    EXPECT_EQ(data.section(0).fileOffset, 2);  // from the first fill byte
    EXPECT_EQ(data.section(0).dataOffset, 6);
}

TEST(ScanJpegSections, TruncatedFilesEndTheScan) {
    const std::string full = JpegBuilder().comment("note").app1Exif(cameraExif()).imageData().build();
    ImgData data;
    const std::size_t app1Data = 2 + 8 + 2;  // SOI, COM section, APP1 marker
    for (std::size_t cut = 0; cut <= full.size(); ++cut) {
        SCOPED_TRACE(cut);
        const bool ok = data.readImageBytes("x.jpg", truncated(full, cut));
        // From the comment's last byte on, a metadata section was found and the answer is true.
        EXPECT_EQ(ok, cut >= 10);
        EXPECT_EQ(data.hasExifBlock(), cut >= app1Data + exifPayload(cameraExif()).size() + 2);
        if (cut > app1Data + 2 && cut < app1Data + exifPayload(cameraExif()).size() + 2) {
            // Cut inside the APP1: kept with its declared size, zero-filled, not examined.
            ASSERT_EQ(data.sectionCount(), 2);
            const JpegSection& app1 = data.section(1);
            EXPECT_EQ(app1.data.size(), static_cast<std::size_t>(app1.size));
            EXPECT_EQ(app1.storedLength, static_cast<std::int64_t>(cut - app1Data));
            EXPECT_EQ(app1.data.substr(static_cast<std::size_t>(app1.storedLength)),
                      std::string(static_cast<std::size_t>(app1.size - app1.storedLength), '\0'));
        }
    }
}

TEST(ScanJpegSections, LengthBelowTwoEndsTheScan) {
    for (const char* length : {"\x00\x00", "\x00\x01"}) {
        const std::string jpeg = JpegBuilder().comment("c").raw("\xFF\xE2").raw(std::string(length, 2)).build() +
                                 JpegBuilder(false).app1Exif(cameraExif()).scan().build();
        ImgData data;
        EXPECT_TRUE(data.readImageBytes("x.jpg", jpeg));
        EXPECT_EQ(markers(data), "FE");
        EXPECT_FALSE(data.hasExifBlock());
    }
}

TEST(DecodeExifBlock, BigEndianBlock) {
    const TiffBuilder tiff = cameraTiff(ByteOrder::kBig);
    ImgData data;
    ASSERT_TRUE(data.readImageBytes("x.jpg", JpegBuilder().app1Exif(tiff.build()).scan().build()));
    EXPECT_TRUE(data.bigEndian);
    EXPECT_TRUE(data.exif()->bigEndian);
    EXPECT_EQ(data.exif()->dateTimePos, static_cast<std::int32_t>(tiff.valueOffset(0, 2) + 9));
    EXPECT_EQ(dateAt(data, data.exif()->dateTimePos), "2005:12:31 23:30:00");
    EXPECT_EQ(dateAt(data, data.exif()->dateTimeOriginalPos), "2005:06:01 10:00:00");
    EXPECT_EQ(dateAt(data, data.exif()->dateTimeDigitizedPos), "2005:06:01 10:00:01");
    EXPECT_EQ(data.exif()->cameraMake, "Canon");

    ASSERT_TRUE(data.readImageBytes("x.jpg", JpegBuilder().app1Exif(cameraExif()).scan().build()));
    EXPECT_FALSE(data.bigEndian);
    EXPECT_EQ(dateAt(data, data.exif()->dateTimeOriginalPos), "2005:06:01 10:00:00");
}

TEST(DecodeExifBlock, FirstDirectoryOffsetZeroMeansRightAfterTheHeader) {
    TiffBuilder tiff = cameraTiff();
    tiff.setFirstDirOffset(0);
    ImgData data;
    ASSERT_TRUE(data.readImageBytes("x.jpg", JpegBuilder().app1Exif(tiff.build()).scan().build()));
    EXPECT_EQ(data.exif()->cameraMake, "Canon");
}

TEST(DecodeExifBlock, HeaderFailuresStillCountAsAnExifBlock) {
    ImgData data;
    std::string badOrder = cameraExif();
    badOrder[0] = 'I';
    badOrder[1] = 'M';
    const std::string jpeg = JpegBuilder().app1Exif(badOrder).scan().build();
    EXPECT_TRUE(data.readImageBytes("x.jpg", jpeg));
    EXPECT_TRUE(data.exif()->trace.empty());
    data.clearState();
    EXPECT_TRUE(data.scanJpegSections(jpeg));
    EXPECT_EQ(data.statusText(), "Invalid Exif alignment marker");

    // Too short to hold the identifier at all: an ordinary APP1.
    EXPECT_FALSE(data.readImageBytes("x.jpg", JpegBuilder().segment(0xE1, "Exi").scan().build()));
    EXPECT_FALSE(data.hasExifBlock());
}

TEST(DecodeExifBlock, FailureInTheMainDirectoryKeepsWhatWasRead) {
    TiffBuilder tiff;
    const auto ifd0 = tiff.directory();
    tiff.ascii(ifd0, 0x010F, "Canon");
    tiff.rawEntry(ifd0, 0x0110, 2, 20, 0xFFFFFFF0);  // value before the block
    tiff.ascii(ifd0, 0x0132, "2005:12:31 23:30:00");
    ImgData data;
    EXPECT_FALSE(data.readImageBytes("x.jpg", JpegBuilder().app1Exif(tiff.build()).comment("c").scan().build()));
    EXPECT_EQ(data.statusText(), "Not an EXIF file");
    EXPECT_FALSE(data.diagnostic().empty());
    EXPECT_TRUE(data.hasExifBlock());  // the batch run relies on the queries, not on the result
    EXPECT_EQ(data.exif()->cameraMake, "Canon");
    EXPECT_EQ(data.exif()->dateTimePos, 0);
    EXPECT_EQ(data.sectionCount(), 1);  // the scan ended there

    // A block too short for the first-directory offset fails the same way.
    EXPECT_FALSE(data.readImageBytes("x.jpg", JpegBuilder().app1Exif(std::string("II*\0", 4)).scan().build()));
    EXPECT_TRUE(data.hasExifBlock());
}

TEST(DecodeExifBlock, IllegallySizedDirectoryIsReplacedByTheVerdict) {
    TiffBuilder tiff;
    const auto ifd0 = tiff.directory();
    tiff.ascii(ifd0, 0x010F, "Canon");
    tiff.setStatedCount(ifd0, 3000);
    tiff.setTrailer(std::string(2000, '\0'));
    const std::string jpeg = JpegBuilder().app1Exif(tiff.build()).scan().build();
    ImgData data;
    EXPECT_TRUE(data.scanJpegSections(jpeg));
    EXPECT_EQ(data.statusText(), "Illegally sized directory");
    EXPECT_EQ(data.exif()->entryCount(), 0);
    EXPECT_TRUE(data.readImageBytes("x.jpg", jpeg));
    EXPECT_EQ(data.statusText(), "<none>");
}

TEST(DecodeExifBlock, AddsTheDerivedFocalLength) {
    TiffBuilder tiff;
    const auto ifd0 = tiff.directory();
    tiff.rational(ifd0, 0x920A, 58, 10);
    tiff.rational(ifd0, 0x920E, 2000, 1);
    tiff.rational(ifd0, 0x920F, 2000, 1);
    tiff.shortValue(ifd0, 0x9210, 2);
    tiff.longValue(ifd0, 0xA002, 2048);
    tiff.longValue(ifd0, 0xA003, 1536);
    ImgData data;
    ASSERT_TRUE(data.readImageBytes("x.jpg", JpegBuilder().app1Exif(tiff.build()).scan().build()));
    EXPECT_EQ(data.exif()->textOfTag("FocalLengthIn35mmFilm"), " 7.72");
    const std::string tiffFile = tiff.build();
    ASSERT_TRUE(data.readImageBytes("x.tif", tiffFile));
    EXPECT_EQ(data.exif()->textOfTag("FocalLengthIn35mmFilm"), " 7.72");
}

TEST(ReadTiff, WalksFromOffsetEightWhateverTheHeaderSays) {
    for (const auto order : {ByteOrder::kLittle, ByteOrder::kBig}) {
        TiffBuilder tiff = cameraTiff(order);
        tiff.setFirstDirOffset(4000);  // ignored
        ImgData data;
        for (const char* name : {"x.tif", "x.TIFF", "x.nef"}) {
            SCOPED_TRACE(name);
            ASSERT_TRUE(data.readImageBytes(name, tiff.build()));
            EXPECT_EQ(data.statusText(), "<none>");
            EXPECT_FALSE(data.tiffMode());  // only while reading
            ASSERT_NE(data.exif(), nullptr);
            EXPECT_TRUE(data.exif()->tiffMode);
            EXPECT_EQ(data.exif()->bigEndian, order == ByteOrder::kBig);
            EXPECT_EQ(data.exif()->cameraMake, "Canon");
            EXPECT_EQ(data.exif()->dateTimePos, static_cast<std::int32_t>(tiff.valueOffset(0, 2) - 7));
            EXPECT_EQ(data.exif()->nextDirOffset, 0);  // not read from a TIFF file
            EXPECT_EQ(data.sectionCount(), 1);
            EXPECT_EQ(data.exifSection()->data.size(), static_cast<std::size_t>(ImgData::kTiffBlockLength));
            EXPECT_EQ(data.exifSection()->data.substr(tiff.build().size() - 8),
                      std::string(256000 - (tiff.build().size() - 8), '\0'));
        }
    }
}

TEST(ReadTiff, RefusesWhatIsNoTiff) {
    ImgData data;
    EXPECT_FALSE(data.readImageBytes("x.tif", "GIF89a and more"));
    EXPECT_EQ(data.statusText(), "Not an EXIF file");
    EXPECT_FALSE(data.readImageBytes("x.tif", "II*"));
    EXPECT_FALSE(data.readImageBytes("x.tif", ""));
    // A JPEG under a TIFF name is not a TIFF.
    EXPECT_FALSE(data.readImageBytes("x.nef", JpegBuilder().app1Exif(cameraExif()).scan().build()));
}

TEST(ReadImageFile, ReadsATiffFileFromDisk) {
    const TempDir dir;
    const std::string tiff = cameraExif() + std::string(300000, 'x');  // more than the block takes
    ImgData data;
    ASSERT_TRUE(data.readImageFile(dir.write("big.tif", tiff)));
    EXPECT_EQ(data.exif()->cameraMake, "Canon");
    EXPECT_EQ(data.sourceSize(), static_cast<std::int64_t>(tiff.size()));
    EXPECT_EQ(data.exifSection()->data, tiff.substr(8, 256000));
}

TEST(ClearState, FreesTheDecodedObjectsAndKeepsTheSlots) {
    ImgData data(255);
    ASSERT_TRUE(data.readImageBytes("x.jpg", JpegBuilder().app1Exif(cameraExif()).comment("c").scan().build()));
    const std::string app1 = data.section(0).data;
    data.clearState();
    EXPECT_EQ(data.sectionCount(), 0);
    EXPECT_EQ(data.exif(), nullptr);
    EXPECT_FALSE(data.hasAnyMetadata());
    EXPECT_EQ(data.statusText(), "");
    EXPECT_FALSE(data.bigEndian);
    EXPECT_EQ(data.section(0).data, app1);  // overwritten only by the next read
    EXPECT_EQ(data.buildCode(), 255);
}
