// SPDX-License-Identifier: GPL-3.0-or-later
// Bytes that belong to no section between a JPEG's header sections: the walk passes over them to the next real
// marker, the corrected copy keeps the image data byte for byte, and a copy whose image data would differ is never
// published.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "meta/formats/jpeg_markers.h"
#include "meta/img_data.h"
#include "meta/jpeg_writer.h"
#include "support/exif_builder.h"
#include "support/raised.h"
#include "support/run_shift.h"

namespace morrowtide::meta {
namespace {

namespace fs = std::filesystem;
using test::JpegBuilder;
using test::readFile;
using test::TempDir;

// The photo every case pads: each kind of header section, then a decodable image (its own DQT, SOF, DHT and SOS).
struct PaddedPhoto {
    std::string header;  // SOI and the metadata sections
    std::string image;   // DQT to EOI
    // Where a section ends (a place for padding): after each metadata section and each table before SOS.
    std::vector<std::size_t> boundaries;
    std::string imageData() const { return image.substr(image.find("\xFF\xDA")); }
};

PaddedPhoto paddedPhoto() {
    PaddedPhoto photo;
    test::TiffBuilder tiff(test::ByteOrder::kLittle);
    tiff.ascii(tiff.directory(), 0x0132, "2005:12:31 23:30:00");
    JpegBuilder builder;
    photo.boundaries.push_back(builder.size());
    for (const auto& add : std::vector<void (*)(JpegBuilder&, const std::string&)>{
             [](JpegBuilder& b, const std::string&) { b.app0Jfif(); },
             [](JpegBuilder& b, const std::string& t) { b.app1Exif(t); },
             [](JpegBuilder& b, const std::string&) { b.app13(); },
             [](JpegBuilder& b, const std::string&) { b.comment("a comment"); },
         }) {
        add(builder, tiff.build());
        photo.boundaries.push_back(builder.size());
    }
    photo.header = builder.build();
    photo.image = JpegBuilder(false).imageData().build();
    // The tables of the image: DQT, SOF, DHT ... each ends where the next marker begins.
    for (std::size_t at = 0;;) {
        const JpegMarker next = nextJpegMarker(photo.image, at);
        if (next.status != JpegMarker::Status::Found || next.marker == 0xDA) break;
        const auto length = static_cast<std::size_t>(static_cast<unsigned char>(photo.image[next.code + 1]) * 256 +
                                                     static_cast<unsigned char>(photo.image[next.code + 2]));
        at = next.code + 1 + length;
        photo.boundaries.push_back(photo.header.size() + at);
    }
    return photo;
}

// Blanks (as a careless editor pads), zeros, and bytes that would read as markers or a length if taken for one: an
// APP13 code without its 0xFF, a stuffed 0xFF 0x00, a restart marker.
std::string padding(std::size_t length, int kind) {
    static const std::string kMarkerLike("\xED\x20\x20\xFF\x00\xE1\xFF\xD3\x01", 9);
    std::string bytes;
    while (bytes.size() < length) {
        switch (kind) {
            case 0: bytes += ' '; break;
            case 1: bytes += '\0'; break;
            default: bytes += kMarkerLike; break;
        }
    }
    bytes.resize(length);
    // A run may not end in 0xFF: that would be a fill byte of the next marker, not a stray byte.
    if (static_cast<unsigned char>(bytes.back()) == 0xFF) bytes.back() = ' ';
    return bytes;
}

TEST(StrayHeaderBytes, CopyAndInPlaceKeepTheImageDataAndMoveTheDate) {
    const PaddedPhoto photo = paddedPhoto();
    const std::string whole = photo.header + photo.image;
    const std::string imageData = photo.imageData();
    const TempDir dir;
    int cases = 0;
    for (const std::size_t boundary : photo.boundaries) {
        for (const std::size_t length : {1, 2, 3, 7, 29, 30, 31, 128, 255, 256, 300}) {
            const int kind = static_cast<int>((boundary + length) % 3);
            const std::string pad = padding(length, kind);
            const std::string source = whole.substr(0, boundary) + pad + whole.substr(boundary);
            for (const bool inPlace : {false, true}) {
                SCOPED_TRACE("padding " + std::to_string(length) + " of kind " + std::to_string(kind) + " at " +
                             std::to_string(boundary) + (inPlace ? ", in place" : ", copy"));
                ++cases;
                const fs::path from = dir.path() / ("photo" + std::to_string(cases) + ".jpg");
                test::writeFile(from, source);
                const fs::path to = inPlace ? from : dir.path() / ("out" + std::to_string(cases) + ".jpg");
                ImgData data;
                SourceFile file;
                ASSERT_TRUE(data.readImageFile(from.string(), file));
                EXPECT_EQ(data.strayBytes(), static_cast<std::int64_t>(length));
                ASSERT_TRUE(data.hasExifBlock());
                ASSERT_EQ(test::shiftExifDates(data, 0, 1).status, ShiftStatus::kShifted);
                saveCorrectedJpeg(data, file, to.string());
                const std::string out = readFile(to);
                // The stray bytes kept among the sections, the image data at the end unchanged.
                EXPECT_NE(out.find(pad), std::string::npos);
                ASSERT_GE(out.size(), imageData.size());
                EXPECT_EQ(out.substr(out.size() - imageData.size()), imageData);
                EXPECT_NE(out.find("2006:01:01 00:30:00"), std::string::npos);
                EXPECT_EQ(jpegHeaderErrorCode(out), 0);
            }
        }
    }
    EXPECT_GT(cases, 100);
}

// A fault of the writer's layout, planted after the copy was written: the check before publishing finds it and the
// target stays as it was.
TEST(StrayHeaderBytes, TheLastCheckRefusesACopyWhoseImageDataDiffers) {
    const PaddedPhoto photo = paddedPhoto();
    const std::string imageData = photo.imageData();
    const std::string head = photo.header + photo.image.substr(0, photo.image.size() - imageData.size());
    struct Fault {
        const char* name;
        std::string output;
    };
    std::string flipped = head + imageData;
    flipped[head.size() + 5] ^= 0x01;
    const std::vector<Fault> faults = {
        {"a changed byte", flipped},
        {"one byte short", head + imageData.substr(0, imageData.size() - 1)},
        {"one byte more", head + imageData + "x"},
        {"shifted by one", head + "x" + imageData},
        {"the image data moved to the front", imageData + head},
    };
    const TempDir dir;
    const fs::path target = dir.path() / "photo.jpg";
    test::writeFile(target, "before");
    ImgData data;
    ASSERT_TRUE(data.readImageBytes(target.string(), head + imageData));
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.name);
        SafeFileWriter out(target.string());
        out.write(fault.output);
        EXPECT_THROW(checkImageDataKept(data, out, static_cast<std::int64_t>(head.size()), imageData,
                                        static_cast<std::int64_t>(imageData.size())),
                     ImageDataNotKept);
    }
    EXPECT_EQ(readFile(target), "before");
    // The sound copy passes the same check.
    SafeFileWriter out(target.string());
    out.write(head + imageData);
    EXPECT_NO_THROW(checkImageDataKept(data, out, static_cast<std::int64_t>(head.size()), imageData,
                                       static_cast<std::int64_t>(imageData.size())));
}

// Where a marker is due: fill bytes are passed over, anything else is stray up to the next header section's marker.
TEST(StrayHeaderBytes, TheWalkTakesOnlyMarkersThatBeginASection) {
    struct Case {
        std::string bytes;
        JpegMarker::Status status;
        int marker;
        std::size_t at;
        std::size_t stray;
    };
    using S = JpegMarker::Status;
    const std::vector<Case> cases = {
        {std::string("\xFF\xE1", 2), S::Found, 0xE1, 0, 0},
        {std::string("\xFF\xFF\xFF\xDB", 4), S::Found, 0xDB, 0, 0},
        {std::string("   \xFF\xE1", 5), S::Found, 0xE1, 3, 3},
        // A code without its 0xFF, a stuffed zero, a restart marker, a reserved code: none begins a section.
        {std::string("\xE1\x00\x10\xFF\xDB", 5), S::Found, 0xDB, 3, 3},
        {std::string("\xFF\x00\xFF\xD0\xFF\x20\xFF\xC8\xFF\xC4", 10), S::Found, 0xC4, 8, 8},
        // A number-of-lines section is one readers pass over by its length.
        {std::string("  \xFF\xDC", 4), S::Found, 0xDC, 2, 2},
        // End of image ends the walk where a marker is due, not after stray bytes.
        {std::string("\xFF\xD9", 2), S::Found, 0xD9, 0, 0},
        {std::string(" \xFF\xD9\xFF\xDA", 5), S::Found, 0xDA, 3, 3},
        {std::string("  \xFF", 3), S::EndOfBytes, 0, 0, 2},
        {std::string(kMaxJpegStrayBytes + 1, ' ') + "\xFF\xE1", S::TooMuchStray, 0, 0, kMaxJpegStrayBytes},
        {std::string(kMaxJpegFillBytes + 1, '\xFF') + "\xE1", S::TooMuchFill, 0, 0, 0},
        {std::string(kMaxJpegFillBytes, '\xFF') + "\xE1", S::Found, 0xE1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.substr(0, 12));
        const JpegMarker found = nextJpegMarker(c.bytes, 0);
        EXPECT_EQ(found.status, c.status);
        EXPECT_EQ(found.stray, c.stray);
        if (c.status == S::Found) {
            EXPECT_EQ(found.marker, c.marker);
            EXPECT_EQ(found.at, c.at);
            EXPECT_EQ(static_cast<unsigned char>(c.bytes[found.code]), c.marker);
        }
    }
}

}  // namespace
}  // namespace morrowtide::meta
