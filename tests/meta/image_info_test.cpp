// SPDX-License-Identifier: GPL-3.0-or-later
// The directory walker, the tag store and the derived focal length, on EXIF blocks built byte by byte.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "meta/byte_reader.h"
#include "meta/image_info.h"
#include "meta/img_data.h"
#include "meta/tag_tables.h"
#include "meta/value_format.h"
#include "support/exif_builder.h"
#include "support/raised.h"

using namespace morrowtide::meta;
using morrowtide::test::ByteOrder;
using morrowtide::test::bytes16;
using morrowtide::test::bytes32;
using morrowtide::test::messageOf;
using morrowtide::test::TiffBuilder;

namespace {

// The block of a JPEG's EXIF section: two length bytes, "Exif\0\0", the TIFF structure.
std::string jpegBlock(const std::string& tiff) {
    const auto size = static_cast<std::uint16_t>(tiff.size() + 8);
    return bytes16(size, ByteOrder::kBig) + std::string("Exif\0\0", 6) + tiff;
}

// Walks the main directory of `tiff` the way the EXIF block entry does, without a file around it.
std::unique_ptr<ImageInfo> walk(const TiffBuilder& tiff, int buildCode = 255, ImgData* owner = nullptr) {
    auto info = std::make_unique<ImageInfo>(owner, buildCode);
    info->block = jpegBlock(tiff.build());
    info->bigEndian = tiff.order() == ByteOrder::kBig;
    const auto length = static_cast<std::int64_t>(info->block.size()) - 6;
    info->walkDirectory(tiff.offsetOf(0) + 9, 9, length, kMainDirectory);
    return info;
}

int countOf(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

}  // namespace

TEST(Walker, WritesOneLinePerEntryAndRecordsNamedEntries) {
    TiffBuilder tiff(ByteOrder::kLittle);
    const auto ifd0 = tiff.directory();
    tiff.ascii(ifd0, 0x010F, "Canon");
    tiff.ascii(ifd0, 0x0110, "EOS");
    tiff.shortValue(ifd0, 0x0112, 6);
    tiff.shortValue(ifd0, 0xC4A5, 1);  // no table holds it
    const auto info = walk(tiff);

    EXPECT_EQ(info->trace, "\r\nMake = Canon\r\nModel = EOS\r\nOrientation = CounterClockwise 90\xB0\r\nUnknown = 1");
    ASSERT_EQ(info->entryCount(), 3);  // the unknown tag has a line but no record
    const TagEntry& make = info->entries[0];
    EXPECT_EQ(make.tag, 0x010F);
    EXPECT_EQ(make.id, 0);
    EXPECT_EQ(make.format, 2);
    EXPECT_EQ(make.text, "Canon");
    EXPECT_EQ(make.rawBytes, std::string("Canon\0", 6));
    EXPECT_EQ(make.rawSize, 6);
    EXPECT_EQ(make.rawPos, static_cast<std::int32_t>(tiff.valueOffset(ifd0, 0) + 9));
    EXPECT_EQ(info->cameraMake, "Canon");
    EXPECT_EQ(info->cameraModel, "EOS");
}

TEST(Walker, ValuesOfUpToFourBytesLieInTheEntry) {
    for (const auto order : {ByteOrder::kLittle, ByteOrder::kBig}) {
        TiffBuilder tiff(order);
        const auto ifd0 = tiff.directory();
        const int width = tiff.longValue(ifd0, 0x0100, 3000);
        const int make = tiff.ascii(ifd0, 0x010F, "Nika");  // five bytes with the zero: stored outside
        const auto info = walk(tiff);
        const auto widthEntry = static_cast<std::int32_t>(tiff.entryOffset(ifd0, width) + 9);
        EXPECT_EQ(info->imageWidth, 3000);
        EXPECT_EQ(info->widthPos, widthEntry + 8);
        EXPECT_EQ(info->entries[0].rawPos, widthEntry + 8);
        EXPECT_EQ(info->entries[1].rawPos, static_cast<std::int32_t>(tiff.valueOffset(ifd0, make) + 9));
        EXPECT_NE(tiff.valueOffset(ifd0, make), tiff.entryOffset(ifd0, make) + 8);
        EXPECT_EQ(info->cameraMake, "Nika");
    }
}

TEST(Walker, EntriesWithoutBytesLeaveNoTrace) {
    TiffBuilder tiff;
    const auto ifd0 = tiff.directory();
    tiff.entry(ifd0, 0x0132, 2, 0, "");              // count 0
    tiff.rawEntry(ifd0, 0x010F, 13, 4, 0x41424300);  // format outside 1..12
    tiff.rawEntry(ifd0, 0x0110, 4, 0x40000000, 0);   // 4 x 2^30 wraps to 0 bytes
    tiff.ascii(ifd0, 0x0131, "ok");
    const auto info = walk(tiff);
    EXPECT_EQ(info->trace, "\r\nSoftware = ok");
    EXPECT_EQ(info->entryCount(), 1);
    EXPECT_EQ(info->dateTimePos, 0);
    EXPECT_TRUE(info->cameraMake.empty());
}

TEST(Walker, AsciiKeepsAllButOneTrailingZero) {
    TiffBuilder tiff;
    const auto ifd0 = tiff.directory();
    tiff.entry(ifd0, 0x010F, 2, 7, std::string("Canon\0\0", 7));
    const auto info = walk(tiff);
    EXPECT_EQ(info->entries[0].text, "Canon.");
    EXPECT_EQ(info->cameraMake, "Canon.");
}

TEST(Walker, FixedTextFieldsAreCut) {
    TiffBuilder tiff;
    const auto ifd0 = tiff.directory();
    tiff.ascii(ifd0, 0x010F, std::string(45, 'M'));
    tiff.ascii(ifd0, 0x0110, std::string(45, 'm'));
    tiff.ascii(ifd0, 0x0132, "2005:06:01 10:00:00 and more");
    tiff.undefined(ifd0, 0x9000, "02210000");
    const auto info = walk(tiff);
    EXPECT_EQ(info->cameraMake, std::string(32, 'M'));
    EXPECT_EQ(info->cameraModel, std::string(40, 'm'));
    EXPECT_EQ(info->dateTimeText, "2005:06:01 10:00:00 ");
    EXPECT_EQ(info->exifVersion, "022100");
}

TEST(Walker, FollowsSubDirectoriesAndRecordsDatePositions) {
    TiffBuilder tiff(ByteOrder::kBig);
    const auto ifd0 = tiff.directory(), exif = tiff.directory(), gps = tiff.directory(), interop = tiff.directory();
    tiff.shortValue(ifd0, 0x0100, 640);
    tiff.shortValue(ifd0, 0x0101, 480);
    const int dateTime = tiff.ascii(ifd0, 0x0132, "2005:12:31 23:30:00");
    tiff.link(ifd0, 0x8769, exif);
    tiff.link(ifd0, 0x8825, gps);
    const int original = tiff.ascii(exif, 0x9003, "2005:06:01 10:00:00");
    const int digitized = tiff.ascii(exif, 0x9004, "2005:06:01 10:00:01");
    tiff.shortValue(exif, 0x9209, 25);
    const int exifWidth = tiff.longValue(exif, 0xA002, 2048);
    tiff.longValue(exif, 0xA003, 1536);
    tiff.link(exif, 0xA005, interop);
    tiff.ascii(interop, 0x0001, "R98");
    tiff.ascii(gps, 0x0001, "N");
    tiff.shortValue(gps, 0x001E, 0);
    const auto info = walk(tiff);

    EXPECT_EQ(info->dateTimePos, static_cast<std::int32_t>(tiff.valueOffset(ifd0, dateTime) + 9));
    EXPECT_EQ(info->dateTimeOriginalPos, static_cast<std::int32_t>(tiff.valueOffset(exif, original) + 9));
    EXPECT_EQ(info->dateTimeDigitizedPos, static_cast<std::int32_t>(tiff.valueOffset(exif, digitized) + 9));
    EXPECT_EQ(info->dateTimeOriginalSize, 20);
    EXPECT_EQ(info->block.substr(static_cast<std::size_t>(info->dateTimeOriginalPos - 1), 19), "2005:06:01 10:00:00");
    // The sub-directory is walked at its link, so its values win over the main directory's.
    EXPECT_EQ(info->dateTimeText, "2005:06:01 10:00:00");
    EXPECT_EQ(info->imageWidth, 2048);
    EXPECT_EQ(info->imageHeight, 1536);
    EXPECT_EQ(info->widthPos, static_cast<std::int32_t>(tiff.entryOffset(exif, exifWidth) + 9 + 8));
    EXPECT_EQ(info->flashValue, 25);
    // Same tag number, different table: interoperability from the EXIF table, GPS from the GPS table.
    EXPECT_GE(info->indexOfTag("InteroperabilityIndex"), 0);
    EXPECT_GE(info->indexOfTag("GPSLatitudeRef"), 0);
    EXPECT_NE(info->trace.find("\r\nGPSDifferential = 0"), std::string::npos);
    // Sub-directory entries come before the link entry that led to them.
    EXPECT_LT(info->indexOfTag("DateTimeOriginal"), info->indexOfTag("ExifOffset"));
    EXPECT_LT(info->trace.find("Exif Offset ="), info->trace.find("Date Time Original ="));
}

TEST(Walker, LinksBackAndTwiceAreWalkedOnce) {
    TiffBuilder tiff;
    const auto ifd0 = tiff.directory(), exif = tiff.directory(), gps = tiff.directory();
    tiff.ascii(ifd0, 0x010F, "Loop");
    tiff.link(ifd0, 0x8769, exif);
    tiff.link(ifd0, 0x8825, gps);
    tiff.link(exif, 0x8769, ifd0);  // back to the main directory
    tiff.link(exif, 0x8825, gps);   // the GPS directory a second time
    tiff.ascii(gps, 0x0001, "N");
    const auto info = walk(tiff);
    EXPECT_EQ(countOf(info->trace, "Make = Loop"), 1);
    EXPECT_EQ(countOf(info->trace, "GPSLatitude Ref = N"), 1);
}

TEST(Walker, DeepChainsOfDirectoriesStopAtTheDepthCap) {
    TiffBuilder tiff;
    std::vector<TiffBuilder::Dir> dirs;
    for (int i = 0; i < 200; ++i) dirs.push_back(tiff.directory());
    for (int i = 0; i < 200; ++i) {
        tiff.shortValue(dirs[static_cast<std::size_t>(i)], 0x0112, 1);
        if (i + 1 < 200) tiff.link(dirs[static_cast<std::size_t>(i)], 0x8769, dirs[static_cast<std::size_t>(i + 1)]);
    }
    const auto info = walk(tiff);
    EXPECT_EQ(countOf(info->trace, "Orientation = Normal"), ImageInfo::kMaxWalkDepth);
    EXPECT_FALSE(info->walkFailures.empty());
}

TEST(Walker, IllegallySizedDirectoryRecordsNothing) {
    TiffBuilder tiff;
    const auto ifd0 = tiff.directory();
    tiff.ascii(ifd0, 0x010F, "Canon");
    tiff.setStatedCount(ifd0, 3000);
    tiff.setTrailer(std::string(2000, '\0'));
    ImgData owner;
    const auto info = walk(tiff, 255, &owner);
    EXPECT_EQ(owner.statusText(), "Illegally sized directory");
    EXPECT_EQ(info->entryCount(), 0);
    EXPECT_TRUE(info->trace.empty());
    EXPECT_EQ(info->nextDirOffset, 0);
}

TEST(Walker, EmptyMainDirectoryStillReadsItsNextLink) {
    TiffBuilder tiff;
    const auto ifd0 = tiff.directory(), ifd1 = tiff.directory();
    tiff.setNext(ifd0, ifd1);
    tiff.shortValue(ifd1, 0x0103, 6);
    const auto info = walk(tiff);
    EXPECT_EQ(info->entryCount(), 0);
    EXPECT_EQ(info->nextDirOffset, static_cast<std::int32_t>(tiff.offsetOf(ifd1)));
    EXPECT_EQ(info->nextDirRemainder, static_cast<std::int32_t>(9 + info->block.size() - 6 - tiff.offsetOf(ifd1)));

    // Nothing starts a thumbnail walk in the system, but it records into its own list.
    info->walkDirectory(tiff.offsetOf(ifd1) + 9, 9, static_cast<std::int64_t>(info->block.size()) - 6,
                        kThumbnailDirectory);
    EXPECT_EQ(info->thumbCompression, 6);
    EXPECT_EQ(info->thumbEntryCount(), 1);
    EXPECT_EQ(info->thumbTrace, "\r\nCompression = Jpeg");
    EXPECT_EQ(info->entryCount(), 0);
}

TEST(Walker, UserCommentDropsItsPrefixAndBlanks) {
    TiffBuilder tiff;
    const auto ifd0 = tiff.directory();
    const int comment = tiff.undefined(ifd0, 0x9286, std::string("ASCII\0\0\0Hello\0", 14));
    tiff.undefined(ifd0, 0x9287, std::string("x"));  // unknown: only keeps the order of things honest
    const auto info = walk(tiff);
    EXPECT_EQ(info->userComment, "Hello");
    EXPECT_EQ(info->userCommentLength, 5);
    EXPECT_EQ(info->userCommentPos, static_cast<std::int32_t>(tiff.valueOffset(ifd0, comment) + 9));
    EXPECT_NE(info->trace.find("\r\nUser Comment = Hello\r\n"), std::string::npos);

    TiffBuilder padded;
    const auto dir = padded.directory();
    padded.undefined(dir, 0x9286, std::string("ASCII\0\0\0  Hi \x01\0", 14));
    EXPECT_EQ(walk(padded)->userComment, "Hi");

    // Without a closing zero the last character is the comment's own.
    TiffBuilder unterminated;
    const auto bare = unterminated.directory();
    unterminated.undefined(bare, 0x9286, std::string("ASCII\0\0\0Hello", 13));
    const auto info2 = walk(unterminated);
    EXPECT_EQ(info2->userComment, "Hello");
    EXPECT_NE(info2->trace.find("\r\nUser Comment = Hello"), std::string::npos);
}

TEST(Walker, ValueOffsetBeforeTheBlockEndsTheDirectory) {
    TiffBuilder tiff;
    const auto ifd0 = tiff.directory();
    tiff.ascii(ifd0, 0x010F, "Canon");
    tiff.rawEntry(ifd0, 0x0110, 2, 20, 0xFFFFFFF0);  // offset -16: block position -7
    tiff.ascii(ifd0, 0x0132, "2005:06:01 10:00:00");
    auto info = std::make_unique<ImageInfo>(nullptr, 255);
    info->block = jpegBlock(tiff.build());
    EXPECT_THROW(info->walkDirectory(17, 9, static_cast<std::int64_t>(info->block.size()) - 6, kMainDirectory),
                 OutOfBounds);
    EXPECT_EQ(info->cameraMake, "Canon");  // what came before stays
    EXPECT_EQ(info->entryCount(), 1);
    EXPECT_EQ(info->dateTimePos, 0);
}

TEST(Walker, ValuesBeyondTheBlockEndAreCutNotFatal) {
    TiffBuilder tiff;
    const auto ifd0 = tiff.directory();
    tiff.rawEntry(ifd0, 0x010E, 2, 100, 0x7FFFFFF0);  // far beyond the end
    tiff.rawEntry(ifd0, 0x0131, 4, 0xFFFFFFFF, 0);    // 4 x count wraps below zero
    tiff.ascii(ifd0, 0x010F, "Canon");
    const auto info = walk(tiff);
    ASSERT_EQ(info->entryCount(), 3);
    EXPECT_TRUE(info->entries[0].rawBytes.empty());
    EXPECT_TRUE(info->entries[1].rawBytes.empty());
    EXPECT_EQ(info->cameraMake, "Canon");
}

TEST(Walker, DirectoryOutsideTheBlockFailsAtTheTopAndIsSwallowedBelow) {
    TiffBuilder tiff;
    const auto ifd0 = tiff.directory();
    tiff.rawEntry(ifd0, 0x8769, 4, 1, 0x00FFFFFF);  // EXIF directory far outside
    tiff.rawEntry(ifd0, 0x8825, 4, 1, 0xFFFFFFF0);  // GPS directory before the block
    tiff.ascii(ifd0, 0x0131, "after");              // still read
    const auto info = walk(tiff);
    EXPECT_EQ(info->walkFailures.size(), 2u);
    EXPECT_EQ(info->entryCount(), 3);

    ImageInfo top(nullptr, 255);
    top.block = info->block;
    EXPECT_THROW(top.walkDirectory(100000, 9, 100, kMainDirectory), OutOfBounds);
    EXPECT_THROW(top.walkDirectory(0, 9, 100, kMainDirectory), OutOfBounds);
}

TEST(Walker, DecoderFailureEndsOnlyTheSubDirectory) {
    TiffBuilder tiff;
    const auto ifd0 = tiff.directory(), exif = tiff.directory(), gps = tiff.directory();
    tiff.link(ifd0, 0x8769, exif);
    tiff.link(ifd0, 0x8825, gps);
    tiff.ascii(exif, 0x9003, "2005:06:01 10:00:00");
    tiff.rational(exif, 0x9209, 25, 1);  // Flash as a rational: its decoder cannot read "25/1"
    tiff.ascii(exif, 0x9004, "2005:06:01 10:00:00");
    tiff.ascii(gps, 0x0001, "N");
    const auto info = walk(tiff);
    EXPECT_NE(info->dateTimeOriginalPos, 0);
    EXPECT_EQ(info->dateTimeDigitizedPos, 0);  // after the failure
    EXPECT_GE(info->indexOfTag("GPSLatitudeRef"), 0);
    EXPECT_EQ(info->walkFailures.size(), 1u);

    // In the main directory the same failure reaches the caller.
    TiffBuilder top;
    const auto dir = top.directory();
    top.rational(dir, 0x9209, 25, 1);
    EXPECT_THROW(walk(top), FormatError);
}

TEST(Walker, OnlyTheFirstSubImageIsFollowed) {
    TiffBuilder tiff;
    const auto ifd0 = tiff.directory(), a = tiff.directory(), b = tiff.directory();
    tiff.links(ifd0, 0x014A, {a, b});
    tiff.ascii(a, 0x010E, "first");
    tiff.ascii(b, 0x010E, "second");
    const auto info = walk(tiff);
    EXPECT_EQ(info->textOfTag("ImageDescription"), "first");
    EXPECT_EQ(countOf(info->trace, "second"), 0);
}

TEST(Walker, BuildCodeChoosesLinesAndRecords) {
    TiffBuilder tiff;
    const auto ifd0 = tiff.directory();
    tiff.ascii(ifd0, 0x010F, "Canon");
    const auto textOnly = walk(tiff, 2);
    EXPECT_EQ(textOnly->trace, "\r\nMake = Canon");
    EXPECT_EQ(textOnly->entryCount(), 0);

    const auto listOnly = walk(tiff, 4);
    EXPECT_TRUE(listOnly->trace.empty());
    ASSERT_EQ(listOnly->entryCount(), 1);
    EXPECT_EQ(listOnly->entries[0].name, "Make");
    EXPECT_EQ(listOnly->entries[0].rawBytes, std::string("Canon\0", 6));

    const auto neither = walk(tiff, 0);
    EXPECT_TRUE(neither->trace.empty());
    EXPECT_EQ(neither->entryCount(), 0);
}

TEST(Walker, TraceLevelAddsTagsSizesAndPositions) {
    TiffBuilder tiff;
    const auto ifd0 = tiff.directory();
    tiff.shortValue(ifd0, 0x0112, 1);
    ImageInfo info(nullptr, 255);
    info.traceLevel = 1;
    info.block = jpegBlock(tiff.build());
    info.walkDirectory(17, 9, static_cast<std::int64_t>(info.block.size()) - 6, kMainDirectory);
    EXPECT_EQ(info.trace,
              "\r\nDirectory: Start, entries = 17, 1\r\ntag[$0112]: Orientation = Normal [size: 2] [start: 27]");
}

TEST(Walker, BudgetsStopHostileBlocks) {
    // One directory of 65535 entries plus a few in a sub-directory exceed the entry budget.
    std::string tiffBytes = "II*" + std::string(1, '\0') + bytes32(8, ByteOrder::kLittle);
    tiffBytes += bytes16(65535, ByteOrder::kLittle);
    const std::uint32_t subDir = 8 + 2 + 12 * 65535 + 4;
    tiffBytes += bytes16(0x8769, ByteOrder::kLittle) + bytes16(4, ByteOrder::kLittle) + bytes32(1, ByteOrder::kLittle) +
                 bytes32(subDir, ByteOrder::kLittle);
    for (int i = 1; i < 65535; ++i) {
        tiffBytes += bytes16(0x0112, ByteOrder::kLittle) + bytes16(3, ByteOrder::kLittle) +
                     bytes32(1, ByteOrder::kLittle) + bytes32(1, ByteOrder::kLittle);
    }
    tiffBytes += bytes32(0, ByteOrder::kLittle);
    tiffBytes += bytes16(5, ByteOrder::kLittle);
    for (int i = 0; i < 5; ++i) {
        tiffBytes += bytes16(0x0131, ByteOrder::kLittle) + bytes16(2, ByteOrder::kLittle) +
                     bytes32(2, ByteOrder::kLittle) + std::string("x\0\0\0", 4);
    }
    ImageInfo many(nullptr, 255);
    many.block = tiffBytes.substr(8);  // a TIFF block starts at the file's offset 8
    EXPECT_EQ(messageOf<std::runtime_error>(
                  [&] { many.walkDirectory(1, -7, static_cast<std::int64_t>(many.block.size()), kMainDirectory); }),
              "more than 65536 directory entries");
    EXPECT_LE(many.entryCount(), ImageInfo::kMaxWalkedEntries);
    EXPECT_GT(many.entryCount(), 60000);  // it was the budget, not an early read failure

    // Many entries pointing at the same large value exceed the copy budget.
    TiffBuilder tiff;
    const auto ifd0 = tiff.directory();
    tiff.undefined(ifd0, 0x9C9C, std::string(60000, 'x'));
    for (int i = 0; i < 100; ++i) tiff.rawEntry(ifd0, 0x010E, 7, 60000, 8);
    EXPECT_EQ(messageOf<std::runtime_error>([&] { walk(tiff); }), "directory values exceed the copy budget");
}

TEST(TagStore, StoresRefusesAndGrowsByTwentyFive) {
    ImageInfo info(nullptr, 255);
    TagEntry unknown;
    EXPECT_EQ(info.storeEntry(unknown), -1);  // tag 0 is never stored
    EXPECT_EQ(info.entryCount(), 0);
    TagEntry entry;
    entry.tag = 0x010F;
    entry.name = "Make";
    for (int i = 0; i < 24; ++i) EXPECT_EQ(info.storeEntry(entry), i);
    EXPECT_EQ(info.entryCapacity, 25);
    EXPECT_EQ(info.storeEntry(entry), 24);
    EXPECT_EQ(info.entryCapacity, 50);
    EXPECT_EQ(info.storeEntry(unknown), 24);  // the last index when refused
    EXPECT_EQ(info.storeThumbEntry(entry), 0);
    EXPECT_EQ(info.thumbEntryCapacity, 25);
}

TEST(TagStore, LooksUpByNameIgnoringCase) {
    TiffBuilder tiff(ByteOrder::kBig);
    const auto ifd0 = tiff.directory();
    tiff.rational(ifd0, 0x829A, 1, 125);
    tiff.rational(ifd0, 0x920A, 5, 2);  // 2.5: halves round to even
    tiff.rational(ifd0, 0x829D, 7, 2);  // 3.5
    const auto info = walk(tiff);
    EXPECT_EQ(info->indexOfTag("exposuretime"), 0);
    EXPECT_EQ(info->textOfTag("EXPOSURETIME"), "1/125 sec");
    EXPECT_EQ(info->textOfTag("Nothing"), "");
    EXPECT_EQ(info->indexOfTag("Nothing"), -1);
    EXPECT_DOUBLE_EQ(info->numberByName("ExposureTime"), 0.008);
    EXPECT_EQ(info->numberByName("Nothing"), 0);
    EXPECT_EQ(info->integerByName("FocalLength"), 2);
    EXPECT_EQ(info->integerByName("FNumber"), 4);
    EXPECT_EQ(info->entryByName("Nothing").tag, 0);
    EXPECT_EQ(info->entryByName("fnumber").tag, 0x829D);
}

TEST(TagStore, SubFieldsAreRecordedUnderTheirMakerNoteTag) {
    ImageInfo info(nullptr, 255);
    info.recordSubField("Macro mode", "On", 2, 0x0001);
    ASSERT_EQ(info.entryCount(), 1);
    const TagEntry& field = info.entries[0];
    EXPECT_EQ(field.id, 1);
    EXPECT_EQ(field.tag, 0x0001);
    EXPECT_EQ(field.name, "Macro mode");
    EXPECT_EQ(field.caption, "Macro mode");
    EXPECT_EQ(field.text, "On");
    EXPECT_EQ(field.rawBytes, "On");
    EXPECT_EQ(field.rawSize, 2);
    EXPECT_EQ(field.format, 2);
    EXPECT_EQ(info.textOfTag("MACRO MODE"), "On");

    ImageInfo textOnly(nullptr, 2);
    textOnly.recordSubField("Macro mode", "On", 2, 0x0001);
    EXPECT_EQ(textOnly.entryCount(), 0);
}

TEST(Walker, TwoReadersInTwoThreadsDoNotInterfere) {
    TiffBuilder tiff;
    const auto ifd0 = tiff.directory(), exif = tiff.directory();
    tiff.ascii(ifd0, 0x010F, "Canon");
    tiff.link(ifd0, 0x8769, exif);
    tiff.ascii(exif, 0x9003, "2005:06:01 10:00:00");
    const std::string expected = walk(tiff)->trace;
    std::string results[2];
    std::thread threads[2];
    for (int t = 0; t < 2; ++t) {
        threads[t] = std::thread([&, t] {
            for (int i = 0; i < 200; ++i) results[t] = walk(tiff)->trace;
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(results[0], expected);
    EXPECT_EQ(results[1], expected);
}

// The derived 35 mm focal length.
namespace {
TiffBuilder focalBlock(std::uint16_t planeUnit, std::uint16_t resolutionUnit, bool withYResolution = true,
                       bool withWidth = true) {
    TiffBuilder tiff;
    const auto ifd0 = tiff.directory();
    if (resolutionUnit != 0) tiff.shortValue(ifd0, 0x0128, resolutionUnit);
    tiff.rational(ifd0, 0x920A, 58, 10);
    tiff.rational(ifd0, 0x920E, 2000, 1);
    if (withYResolution) tiff.rational(ifd0, 0x920F, 2000, 1);
    if (planeUnit != 0) tiff.shortValue(ifd0, 0x9210, planeUnit);
    if (withWidth) tiff.longValue(ifd0, 0xA002, 2048);
    tiff.longValue(ifd0, 0xA003, 1536);
    return tiff;
}
}  // namespace

TEST(FocalLength35mm, IsDerivedFromFocalPlaneResolution) {
    const auto info = walk(focalBlock(2, 0));
    info->addFocalLength35mm();
    const int index = info->indexOfTag("FocalLengthIn35mmFilm");
    ASSERT_GE(index, 0);
    const TagEntry& entry = info->entries[static_cast<std::size_t>(index)];
    EXPECT_EQ(entry.tag, 0xA405);
    EXPECT_EQ(entry.text, " 7.72");
    EXPECT_EQ(entry.formatSpec, "%s mm");
    EXPECT_EQ(entry.format, 10);
    EXPECT_TRUE(entry.rawBytes.empty());
    EXPECT_EQ(entry.rawPos, 0);
    EXPECT_TRUE(info->trace.ends_with("\r\nFocal Length in 35mm Film =  7.72"));

    const int count = info->entryCount();
    info->addFocalLength35mm();  // a second pass finds its own entry
    EXPECT_EQ(info->entryCount(), count);
}

TEST(FocalLength35mm, NeedsAUsableUnitResolutionAndSize) {
    // No plane unit: the image resolution unit (centimetre) is used.
    const auto centimetre = walk(focalBlock(0, 3));
    centimetre->addFocalLength35mm();
    EXPECT_EQ(centimetre->textOfTag("FocalLengthin35mmFilm"), "19.61");  // sensor 10.24 x 7.68 mm

    for (const auto& tiff :
         {focalBlock(1, 1), focalBlock(0, 0), focalBlock(2, 0, false), focalBlock(2, 0, true, false)}) {
        const auto info = walk(tiff);
        const int count = info->entryCount();
        info->addFocalLength35mm();
        EXPECT_EQ(info->entryCount(), count);
    }

    TiffBuilder recorded = focalBlock(2, 0);
    recorded.shortValue(0, 0xA405, 50);
    const auto info = walk(recorded);
    const int count = info->entryCount();
    info->addFocalLength35mm();
    EXPECT_EQ(info->entryCount(), count);
    // The camera's own value is what is shown.
    EXPECT_NE(info->trace.find("\r\nFocal Length in 35mm Film = 50.00 mm"), std::string::npos) << info->trace;
}

TEST(FocalLength35mm, OnlyLengthsALensCanHaveAreDerived) {
    // A resized photo keeps the focal-plane resolution of the full size: 2048 pixels at 20 per inch give a
    // 2.6 m sensor and a length below 1 mm; at 2000000 per inch it runs past 7 metres.
    struct Case {
        std::uint32_t resolution;
        std::uint32_t focalTenths;
        bool derived;
    };
    for (const Case c : {Case{20, 58, false}, Case{2000, 58, true}, Case{2000000, 58, false}, Case{2000000, 5, true}}) {
        TiffBuilder tiff;
        const auto ifd0 = tiff.directory();
        tiff.rational(ifd0, 0x920A, c.focalTenths, 10);
        tiff.rational(ifd0, 0x920E, c.resolution, 1);
        tiff.rational(ifd0, 0x920F, c.resolution, 1);
        tiff.shortValue(ifd0, 0x9210, 2);
        tiff.longValue(ifd0, 0xA002, 2048);
        tiff.longValue(ifd0, 0xA003, 1536);
        const auto info = walk(tiff);
        info->addFocalLength35mm();
        EXPECT_EQ(info->indexOfTag("FocalLengthIn35mmFilm") >= 0, c.derived) << c.resolution << " " << c.focalTenths;
    }
}
