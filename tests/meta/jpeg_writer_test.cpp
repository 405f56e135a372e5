// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <jerror.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "meta/jpeg_writer.h"
#include "support/exif_builder.h"
#include "support/file_size_limit.h"
#include "support/raised.h"
#include "support/run_shift.h"

namespace morrowtide::meta {
namespace {

namespace fs = std::filesystem;
using morrowtide::test::messageOf;
using morrowtide::test::readFile;
using test::ByteOrder;
using test::FileSizeLimit;
using test::JpegBuilder;
using test::TempDir;
using test::TiffBuilder;

std::vector<std::string> folderEntries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The TIFF payload of an EXIF section with a DateTime in the main directory.
std::string exifTiff(ByteOrder order = ByteOrder::kLittle, const char* date = "2005:12:31 23:30:00") {
    TiffBuilder tiff(order);
    const auto ifd0 = tiff.directory();
    tiff.ascii(ifd0, 0x0132, date);
    return tiff.build();
}

// Marker segments of a JPEG up to and including SOS: each as 0xFF, marker, length field and payload.
std::vector<std::string> leadingSegments(const std::string& jpeg) {
    std::vector<std::string> out;
    std::size_t pos = 2;
    while (pos + 4 <= jpeg.size()) {
        const auto marker = static_cast<unsigned char>(jpeg[pos + 1]);
        const std::size_t length =
            static_cast<unsigned char>(jpeg[pos + 2]) * 256u + static_cast<unsigned char>(jpeg[pos + 3]);
        out.push_back(jpeg.substr(pos, length + 2));
        pos += length + 2;
        if (marker == 0xDA) break;
    }
    return out;
}

bool isExifSegment(const std::string& segment) {
    return segment.size() > 10 && static_cast<unsigned char>(segment[1]) == 0xE1 &&
           segment.compare(4, 6, std::string("Exif\0\0", 6)) == 0;
}

// Reads `source`, shifts by an hour and writes it to a file in `dir`; returns the written bytes.
std::string corrected(const TempDir& dir, const std::string& source) {
    const std::string in = dir.write("in.jpg", source);
    ImgData data;
    data.readImageFile(in);
    if (data.hasAnyMetadata() && data.hasExifBlock()) test::shiftExifDates(data, 0, 1);
    const std::string out = (dir.path() / "out.jpg").string();
    saveCorrectedJpeg(data, out);
    return readFile(out);
}

std::string shiftedExif(const std::string& tiff) {
    std::string tiffShifted = tiff;
    const auto at = tiffShifted.find("2005:12:31 23:30:00");
    tiffShifted.replace(at, 19, "2006:01:01 00:30:00");
    return JpegBuilder(false).app1Exif(tiffShifted).build();
}

TEST(JpegValidateTest, AcceptsAnImageAndReportsTheLibrarysCodeOtherwise) {
    EXPECT_EQ(jpegHeaderErrorCode(JpegBuilder().app0Jfif().imageData().build()), 0);
    // Extraneous bytes before a marker only raise a warning.
    EXPECT_EQ(jpegHeaderErrorCode(JpegBuilder().raw("ab").imageData().build()), 0);
    EXPECT_EQ(jpegHeaderErrorCode("This is a text file, not a photo.\n"), JERR_NO_SOI);
    EXPECT_EQ(jpegHeaderErrorCode(""), JERR_INPUT_EMPTY);
    // Tables without a frame: an image is required.
    EXPECT_EQ(jpegHeaderErrorCode(JpegBuilder().dqt().raw("\xFF\xD9").build()), JERR_NO_IMAGE);
    // Cut before the frame header: the library may warn and pad, but must refuse, not hang or crash.
    EXPECT_NE(jpegHeaderErrorCode(JpegBuilder().app0Jfif().build()), 0);
    try {
        validateJpegHeader("GIF89a");
        FAIL() << "no error raised";
    } catch (const WriteError& error) {
        EXPECT_EQ(std::string(error.what()), "JPEG error #" + std::to_string(JERR_NO_SOI));
    }
}

// Each layout: the source, and the output expected for it after a shift of one hour.
struct Layout {
    const char* name;
    std::string source;
    std::string expected;
};

std::vector<Layout> layouts() {
    const std::string tiff = exifTiff();
    const std::string exif = JpegBuilder(false).app1Exif(tiff).build();
    const std::string exifNew = shiftedExif(tiff);
    const std::string app0 = JpegBuilder(false).app0Jfif().build();
    const std::string app2 = JpegBuilder(false).app2().build();
    const std::string app13 = JpegBuilder(false).app13().build();
    const std::string com = JpegBuilder(false).comment("a comment").build();
    const std::string xmp = JpegBuilder(false).app1Xmp().build();
    const std::string jfxx = JpegBuilder(false).segment(0xE0, std::string("JFXX\0\x13", 6)).build();
    const std::string image = JpegBuilder(false).imageData().build();
    const std::string soi = "\xFF\xD8";
    const std::string jfif(kDefaultJfifSegment);
    return {
        // The usual camera layouts: exactly what the fixed skip of the dated sections gives.
        {"exif", soi + exif + image, soi + exifNew + image},
        {"app0_exif", soi + app0 + exif + image, soi + exifNew + image},
        {"app0_only", soi + app0 + image, soi + app0 + image},
        {"bare", soi + image, soi + jfif + image},
        {"app0_exif_iptc_comment", soi + app0 + exif + app13 + com + image, soi + exifNew + app13 + com + image},
        {"comment_only", soi + com + image, soi + jfif + com + image},
        // Sections the header rewrites standing elsewhere: taken out where they stood, never copied twice.
        {"exif_app2_iptc", soi + exif + app2 + app13 + image, soi + exifNew + app13 + app2 + image},
        // An APP0 gives way to the EXIF section only right after the start of the image; elsewhere it stays.
        {"exif_app0", soi + exif + app0 + image, soi + exifNew + app0 + image},
        {"app0_exif_jfxx", soi + app0 + exif + jfxx + image, soi + exifNew + jfxx + image},
        {"comment_exif", soi + com + exif + image, soi + exifNew + com + image},
        {"iptc_app0", soi + app13 + app0 + image, soi + app0 + app13 + image},
        // An XMP APP1 is an ordinary section, copied like any other; the EXIF section behind it is found.
        {"exif_xmp", soi + exif + xmp + image, soi + exifNew + xmp + image},
        {"xmp_first", soi + xmp + app13 + image, soi + jfif + app13 + xmp + image},
        {"xmp_exif", soi + xmp + exif + image, soi + exifNew + xmp + image},
        {"app0_xmp_exif", soi + app0 + xmp + exif + image, soi + exifNew + xmp + image},
        // A second EXIF section stays where it stands, its dates moved as well.
        {"exif_app2_exif", soi + exif + app2 + exif + image, soi + exifNew + app2 + exifNew + image},
    };
}

TEST(JpegWriterTest, EveryLayoutGivesItsExpectedBytes) {
    for (const Layout& layout : layouts()) {
        SCOPED_TRACE(layout.name);
        TempDir dir;
        const std::string out = corrected(dir, layout.source);
        EXPECT_EQ(out, layout.expected);
        const std::vector<std::string> segments = leadingSegments(out);
        const std::vector<std::string> sourceSegments = leadingSegments(layout.source);
        EXPECT_EQ(std::count_if(segments.begin(), segments.end(), isExifSegment),
                  std::count_if(sourceSegments.begin(), sourceSegments.end(), isExifSegment));
        EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"in.jpg", "out.jpg"}));
    }
}

TEST(JpegWriterTest, NoOrderOfLeadingSectionsDuplicatesOrLosesOne) {
    const std::string tiff = exifTiff(ByteOrder::kBig);
    const std::vector<std::string> pieces = {
        JpegBuilder(false).app1Exif(tiff).build(), JpegBuilder(false).app0Jfif().build(),
        JpegBuilder(false).app2().build(), JpegBuilder(false).app13().build(), JpegBuilder(false).comment("c").build()};
    const std::string image = JpegBuilder(false).imageData().build();
    std::vector<int> order = {0, 1, 2, 3, 4};
    int checked = 0;
    do {
        std::string source = "\xFF\xD8";
        for (const int i : order) source += pieces[static_cast<std::size_t>(i)];
        source += image;
        TempDir dir;
        const std::string in = dir.write("in.jpg", source);
        ImgData data;
        data.readImageFile(in);
        ASSERT_TRUE(data.hasExifBlock());
        test::shiftExifDates(data, 0, 1);
        const std::string outPath = (dir.path() / "out.jpg").string();
        saveCorrectedJpeg(data, outPath);
        const std::string out = readFile(outPath);

        // The APP0 gives way to the EXIF section only right after the start of the image; every other section
        // appears exactly once.
        const bool app0Leads = order.front() == 1;
        const std::vector<std::string> segments = leadingSegments(out);
        EXPECT_EQ(out.size(), source.size() - (app0Leads ? pieces[1].size() : 0));
        EXPECT_EQ(std::count_if(segments.begin(), segments.end(), isExifSegment), 1);
        EXPECT_EQ(segments.front(), shiftedExif(tiff));
        for (const std::size_t i : {2u, 3u, 4u}) {
            EXPECT_EQ(std::count(segments.begin(), segments.end(), pieces[i]), 1) << "section " << i;
        }
        EXPECT_EQ(std::count(segments.begin(), segments.end(), pieces[1]), app0Leads ? 0 : 1);
        EXPECT_TRUE(out.ends_with(image));
        ++checked;
    } while (std::next_permutation(order.begin(), order.end()));
    EXPECT_EQ(checked, 120);
}

TEST(JpegWriterTest, BytesInMemoryGiveTheSameFileAsReadingTheSourceAgain) {
    TempDir dir;
    const std::string source = JpegBuilder().app0Jfif().app1Exif(exifTiff()).comment("x").imageData().build();
    ImgData data;
    data.readImageBytes(dir.write("in.jpg", source), source);
    test::shiftExifDates(data, 0, 1);
    const std::string fromDisk = (dir.path() / "a.jpg").string(), fromMemory = (dir.path() / "b.jpg").string();
    saveCorrectedJpeg(data, fromDisk);
    saveCorrectedJpeg(data, data.sourceBytes(), fromMemory);
    EXPECT_EQ(readFile(fromDisk), readFile(fromMemory));
    EXPECT_NE(readFile(fromDisk).find("2006:01:01 00:30:00"), std::string::npos);
}

TEST(JpegWriterTest, OutputPathMayBeTheSourceItself) {
    TempDir dir;
    const std::string source = JpegBuilder().app1Exif(exifTiff()).imageData().build();
    const std::string path = dir.write("photo.jpg", source);
    ImgData data;
    data.readImageFile(path);
    test::shiftExifDates(data, 0, 1);
    saveCorrectedJpeg(data, path);
    EXPECT_EQ(readFile(path), "\xFF\xD8" + shiftedExif(exifTiff()) + JpegBuilder(false).imageData().build());
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"photo.jpg"});
}

TEST(JpegWriterFailureTest, RefusedSourcesWriteNothing) {
    TempDir dir;
    const std::string out = (dir.path() / "out.jpg").string();
    for (const auto& [name, bytes, code] :
         {std::tuple<const char*, std::string, int>{"text.jpg", "hello\n", JERR_NO_SOI},
          {"empty.jpg", "", JERR_INPUT_EMPTY}}) {
        ImgData data;
        data.readImageFile(dir.write(name, bytes));
        EXPECT_EQ(messageOf<WriteError>([&] { saveCorrectedJpeg(data, out); }), "JPEG error #" + std::to_string(code))
            << name;
        EXPECT_FALSE(fs::exists(out));
    }
    ImgData data;
    const std::string missing = (dir.path() / "gone.jpg").string();
    const std::string source = JpegBuilder().app0Jfif().imageData().build();
    data.readImageBytes(missing, source);
    EXPECT_EQ(messageOf<WriteError>([&] { saveCorrectedJpeg(data, out); }),
              "Cannot open file \"" + missing + "\". No such file or directory");
    EXPECT_FALSE(fs::exists(out));
}

TEST(JpegWriterFailureTest, UncreatableOutputLeavesTheDestinationAlone) {
    TempDir dir;
    const std::string source = JpegBuilder().app0Jfif().imageData().build();
    ImgData data;
    data.readImageBytes(dir.write("in.jpg", source), source);
    const std::string noFolder = (dir.path() / "no" / "out.jpg").string();
    EXPECT_EQ(messageOf<WriteError>([&] { saveCorrectedJpeg(data, source, noFolder); }),
              "Cannot create file \"" + noFolder + "\". No such file or directory");
    // A folder of that name cannot be replaced by a file; it stays, with nothing left beside it.
    fs::create_directory(dir.path() / "taken.jpg");
    const std::string taken = (dir.path() / "taken.jpg").string();
    EXPECT_EQ(messageOf<WriteError>([&] {
                  saveCorrectedJpeg(data, source, taken);
              }).rfind("Cannot create file \"" + taken + "\". ", 0),
              0u);
    EXPECT_TRUE(fs::is_directory(taken));
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"in.jpg", "taken.jpg"}));
}

TEST(JpegWriterFailureTest, FailedWriteKeepsTheSourceWhenOverwritingIt) {
    TempDir dir;
    const std::string source = JpegBuilder()
                                   .app1Exif(exifTiff())
                                   .raw(std::string(4000, '\0').insert(0, "\xFF\xE2\x0F\xA2"))
                                   .imageData()
                                   .build();
    const std::string path = dir.write("photo.jpg", source);
    ImgData data;
    data.readImageFile(path);
    ASSERT_TRUE(data.hasExifBlock());
    test::shiftExifDates(data, 0, 1);
    const std::string sourceBytes = readFile(path);
    std::string message;
    {
        FileSizeLimit limit(1024);
        ASSERT_TRUE(limit.active());
        message = messageOf<WriteError>([&] { saveCorrectedJpeg(data, sourceBytes, path); });
    }
    // The message names the file and the reason: a full disk looks the same as the file-size limit here.
    EXPECT_EQ(message, "Stream write error in \"" + path + "\". File too large");
    EXPECT_EQ(readFile(path), source);
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"photo.jpg"});

    // The same for another file standing at the output path, and for a new output path.
    const std::string older = dir.write("older.jpg", "older content");
    const std::string fresh = (dir.path() / "fresh.jpg").string();
    {
        FileSizeLimit limit(1024);
        EXPECT_EQ(messageOf<WriteError>([&] { saveCorrectedJpeg(data, sourceBytes, older); }),
                  streamWriteMessage(older, EFBIG));
        EXPECT_EQ(messageOf<WriteError>([&] { saveCorrectedJpeg(data, sourceBytes, fresh); }),
                  streamWriteMessage(fresh, EFBIG));
    }
    EXPECT_EQ(readFile(older), "older content");
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"older.jpg", "photo.jpg"}));
}

TEST(JpegWriterFailureTest, SourceChangedSinceReadingIsRefused) {
    const std::string withComment = JpegBuilder().app1Exif(exifTiff()).comment("x").imageData().build();
    // Where the EXIF section is the only section left out, its length field alone tells the change.
    const std::string exifOnly = JpegBuilder().app1Exif(exifTiff()).imageData().build();
    TiffBuilder longer;
    const auto ifd0 = longer.directory();
    longer.ascii(ifd0, 0x0132, "2005:12:31 23:30:00");
    longer.ascii(ifd0, 0x010F, "A maker name long enough to move the end of the section");
    const struct {
        const char* what;
        std::string before, after;
    } cases[] = {
        // The recorded places no longer hold the kept sections.
        {"a section put in front", withComment, JpegBuilder().app2().build() + withComment.substr(2)},
        {"EXIF section at the same place, longer", exifOnly,
         JpegBuilder().app1Exif(longer.build()).imageData().build()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string path = dir.write("photo.jpg", c.before);
        ImgData data;
        data.readImageFile(path);
        ASSERT_TRUE(data.hasExifBlock());
        dir.write("photo.jpg", c.after);
        const std::string out = (dir.path() / "out.jpg").string();
        EXPECT_EQ(messageOf<WriteError>([&] { saveCorrectedJpeg(data, out); }),
                  "Cannot open file \"" + path + "\". The file was changed after it was read.");
        EXPECT_FALSE(fs::exists(out));
    }
}

}  // namespace
}  // namespace morrowtide::meta
