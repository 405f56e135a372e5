// SPDX-License-Identifier: GPL-3.0-or-later
// The container readers on synthetic files of every kind: where the date fields and metadata blocks lie, and that
// a structure that cannot be read safely is refused whole.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <vector>

#include "meta/formats/container.h"
#include "meta/formats/xmp_dates.h"
#include "support/container_builder.h"
#include "support/date_packet_builder.h"
#include "support/exif_builder.h"

using namespace morrowtide::meta;
using namespace morrowtide::test;

namespace {

TiffBuilder cameraTiff(ByteOrder order = ByteOrder::kLittle) {
    TiffBuilder tiff(order);
    const auto ifd0 = tiff.directory(), exif = tiff.directory();
    tiff.ascii(ifd0, 0x010F, "Maker");
    tiff.ascii(ifd0, 0x0132, "2005:12:31 23:30:00");
    tiff.link(ifd0, 0x8769, exif);
    tiff.ascii(exif, 0x9003, "2005:06:01 10:00:00");
    tiff.ascii(exif, 0x9004, "2005:06:01 10:00:01");
    return tiff;
}

// "group:name=value" of every field found (container fields and TIFF block fields), the value as its bytes read
// (numbers for QuickTime seconds, "y-m-d h:m:s" for a PNG time).
std::vector<std::string> describe(const std::string& file, std::string_view extension, ContainerScan* kept = nullptr) {
    const MemoryByteSource source(file);
    ContainerScan scan = scanContainer(source, extension);
    const DateFieldScan dates = allDateFields(source, scan);
    if (kept) *kept = scan;
    std::vector<std::string> out;
    if (!dates.problem.empty()) return {"problem: " + dates.problem};
    for (const DateField& field : dates.fields) {
        std::string bytes;
        if (!source.read(field.offset, field.width, bytes)) return {"field outside the file"};
        std::string value = bytes;
        if (field.encoding == DateEncoding::QuickTimeSeconds32 || field.encoding == DateEncoding::QuickTimeSeconds64) {
            std::uint64_t seconds = 0;
            for (const char c : bytes) seconds = seconds << 8 | static_cast<unsigned char>(c);
            value = std::to_string(seconds) + (field.encoding == DateEncoding::QuickTimeSeconds64 ? "/64" : "/32");
        } else if (field.encoding == DateEncoding::PngTime) {
            const auto b = [&](int i) { return static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]); };
            value = std::to_string(b(0) << 8 | b(1)) + "-" + std::to_string(b(2)) + "-" + std::to_string(b(3)) + " " +
                    std::to_string(b(4)) + ":" + std::to_string(b(5)) + ":" + std::to_string(b(6));
        }
        out.push_back(field.group + ":" + field.name + "=" + value);
    }
    return out;
}

const std::vector<std::string> kCameraDates = {"IFD0:DateTime=2005:12:31 23:30:00",
                                               "ExifIFD:DateTimeOriginal=2005:06:01 10:00:00",
                                               "ExifIFD:DateTimeDigitized=2005:06:01 10:00:01"};

std::vector<std::string> with(std::vector<std::string> head, const std::vector<std::string>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// The text of every XMP block found.
std::vector<std::string> xmpPackets(const std::string& file, const ContainerScan& scan) {
    std::vector<std::string> out;
    for (const EmbeddedBlock& block : scan.blocks) {
        if (block.kind == BlockKind::Xmp) out.push_back(file.substr(block.offset, block.length));
    }
    return out;
}

struct FileCase {
    const char* name;
    std::string file;
    const char* extension;
    ContainerKind kind;
    std::vector<std::string> dates;
    std::vector<std::string> xmp;
};

std::vector<FileCase> wellFormedFiles() {
    const std::string tiff = cameraTiff().build();
    const std::string bigTiff = cameraTiff(ByteOrder::kBig).build();
    const std::string jpeg = JpegBuilder().app0Jfif().app1Exif(tiff).segment(0xE1, std::string("http://ns.adobe.com/xap/1.0/\0<x:xmpmeta/>", 41)).scan().build();
    const std::uint64_t big = 0x1'0000'0001ull;
    // CR3 keeps IFD0 and the EXIF directory as two TIFF structures of their own.
    TiffBuilder cmt1, cmt2(ByteOrder::kBig);
    cmt1.ascii(cmt1.directory(), 0x0132, "2005:12:31 23:30:00");
    const auto exifDir = cmt2.directory();
    cmt2.ascii(exifDir, 0x9003, "2005:06:01 10:00:00");
    cmt2.ascii(exifDir, 0x9004, "2005:06:01 10:00:01");
    return {
        {"tiff file", tiff, ".tif", ContainerKind::Tiff, kCameraDates, {}},
        {"big-endian raw", bigTiff, ".NEF", ContainerKind::Tiff, kCameraDates, {}},
        {"jpeg", jpeg, ".jpg", ContainerKind::Jpeg, kCameraDates, {"<x:xmpmeta/>"}},
        {"raf", rafFile(jpeg), ".raf", ContainerKind::Raf, kCameraDates, {"<x:xmpmeta/>"}},
        {"heic iloc v1", heicFile({.tiff = tiff, .xmp = "<x:xmpmeta/>"}), ".heic", ContainerKind::IsoBmff,
         kCameraDates, {"<x:xmpmeta/>"}},
        {"heic iloc v0, 8-byte offsets", heicFile({.tiff = bigTiff, .ilocVersion = 0, .offsetSize = 8}), ".HEIC",
         ContainerKind::IsoBmff, kCameraDates, {}},
        {"avif iloc v2 in idat", heicFile({.tiff = tiff, .xmp = "<x/>", .ilocVersion = 2, .constructionMethod = 1,
                                          .brand = "avif"}),
         ".avif", ContainerKind::IsoBmff, kCameraDates, {"<x/>"}},
        {"heic exif in adjacent extents", heicFile({.tiff = tiff, .exifInTwoExtents = true}), ".heic",
         ContainerKind::IsoBmff, kCameraDates, {}},
        {"cr3", cr3File(cmt1.build(), cmt2.build(), 3'000'000'000u), ".cr3", ContainerKind::IsoBmff,
         {"QuickTime:CreateDate=3000000000/32", "QuickTime:ModifyDate=3000000000/32",
          "IFD0:DateTime=2005:12:31 23:30:00", "ExifIFD:DateTimeOriginal=2005:06:01 10:00:00",
          "ExifIFD:DateTimeDigitized=2005:06:01 10:00:01"},
         {}},
        {"movie v0 with strings", movieFile({.creation = 3'600'000'000u, .modification = 3'600'000'001u, .tracks = 2,
                                             .userDay = "2014-01-02T03:04:05+0100",
                                             .userDate = "2020-11-20T15:04:02+0100",
                                             .creationDate = "2019-07-24T11:25:40+0300",
                                             .udtaXmp = "<x:xmpmeta/>", .uuidXmp = "<x:xmpmeta u/>"}),
         ".mov", ContainerKind::IsoBmff,
         {"QuickTime:CreateDate=3600000000/32", "QuickTime:ModifyDate=3600000001/32",
          "Track1:TrackCreateDate=3600000000/32", "Track1:TrackModifyDate=3600000001/32",
          "Track1:MediaCreateDate=3600000000/32", "Track1:MediaModifyDate=3600000001/32",
          "Track2:TrackCreateDate=3600000000/32", "Track2:TrackModifyDate=3600000001/32",
          "Track2:MediaCreateDate=3600000000/32", "Track2:MediaModifyDate=3600000001/32",
          "UserData:ContentCreateDate=2014-01-02T03:04:05+0100", "UserData:DateTimeOriginal=2020-11-20T15:04:02+0100",
          "Keys:CreationDate=2019-07-24T11:25:40+0300"},
         {"<x:xmpmeta/>", "<x:xmpmeta u/>"}},
        {"mp4 v1 64-bit times", movieFile({.version = 1, .creation = big, .modification = big + 1, .brand = "isom"}),
         ".mp4", ContainerKind::IsoBmff,
         {"QuickTime:CreateDate=4294967297/64", "QuickTime:ModifyDate=4294967298/64",
          "Track1:TrackCreateDate=4294967297/64", "Track1:TrackModifyDate=4294967298/64",
          "Track1:MediaCreateDate=4294967297/64", "Track1:MediaModifyDate=4294967298/64"},
         {}},
        {"png", pngFile({pngChunk("eXIf", tiff), pngChunk("tIME", pngTime(2020, 5, 4, 18, 39, 11)),
                         pngChunk("iTXt", pngXmpText("<x:xmpmeta/>"))}),
         ".png", ContainerKind::Png, with({"PNG:ModifyDate=2020-5-4 18:39:11"}, kCameraDates), {"<x:xmpmeta/>"}},
        {"png eXIf with Exif prefix", pngFile({pngChunk("eXIf", exifPayload(bigTiff))}), ".png", ContainerKind::Png,
         kCameraDates, {}},
        {"webp", webpFile({riffChunk("EXIF", exifPayload(tiff)), riffChunk("XMP ", "<x:xmpmeta/>!")}), ".webp",
         ContainerKind::WebP, kCameraDates, {"<x:xmpmeta/>!"}},
        {"xmp sidecar", "<?xpacket begin=''?><x:xmpmeta/>", ".xmp", ContainerKind::XmpSidecar, {},
         {"<?xpacket begin=''?><x:xmpmeta/>"}},
    };
}

TEST(ContainerReaders, FindTheDatesAndBlocksOfEveryKind) {
    for (const FileCase& c : wellFormedFiles()) {
        SCOPED_TRACE(c.name);
        const MemoryByteSource source(c.file);
        EXPECT_EQ(detectContainer(source, c.extension), c.kind);
        // The bytes decide: a wrong extension changes nothing.
        EXPECT_EQ(detectContainer(source, ".bin"), c.kind);
        ContainerScan scan;
        EXPECT_EQ(describe(c.file, c.extension, &scan), c.dates);
        EXPECT_EQ(xmpPackets(c.file, scan), c.xmp);
    }
}

TEST(ContainerReaders, PngChunksThatHoldFieldsCarryTheirChecksumRegions) {
    const std::string file = pngFile({pngChunk("tEXt", std::string("Comment\0x", 9)), pngChunk("tIME", pngTime(2001, 2, 3, 4, 5, 6)),
                                      pngChunk("eXIf", cameraTiff().build())});
    const MemoryByteSource source(file);
    const ContainerScan scan = scanContainer(source, ".png");
    ASSERT_EQ(scan.dates.problem, "");
    ASSERT_EQ(scan.checksums.size(), 2u);
    for (const ChecksumRegion& region : scan.checksums) {
        // The region is the chunk's type and data; its CRC follows it directly and matches it.
        EXPECT_EQ(region.checksumOffset, region.offset + region.length);
        EXPECT_EQ(file.substr(region.checksumOffset, 4), be32(crc32(file.substr(region.offset, region.length))));
    }
    EXPECT_EQ(file.substr(scan.checksums[0].offset, 4), "tIME");
    EXPECT_EQ(file.substr(scan.checksums[1].offset, 4), "eXIf");
}

TEST(ContainerReaders, DetectionGoesByContentWithTheExtensionAsAHint) {
    struct Case {
        std::string head;
        const char* extension;
        ContainerKind kind;
    } cases[] = {
        {std::string("\0\0\0\x10moov\0\0\0\0\0\0\0\0", 16), ".mov", ContainerKind::IsoBmff},  // no ftyp: the extension decides
        {std::string("\0\0\0\x10moov\0\0\0\0\0\0\0\0", 16), ".txt", ContainerKind::Unknown},
        {"<?xml version='1.0'?><x:xmpmeta/>", ".XMP", ContainerKind::XmpSidecar},
        {"<?xml version='1.0'?><svg/>", ".svg", ContainerKind::Unknown},
        {"\xEF\xBB\xBF  <x:xmpmeta/>", ".dat", ContainerKind::XmpSidecar},
        {std::string("II*\0\x08\0\0\0", 8), ".jpg", ContainerKind::Tiff},
        {std::string("IIU\0\x18\0\0\0", 8), ".rw2", ContainerKind::Tiff},
        {std::string("II+\0", 4), ".tif", ContainerKind::Unknown},  // BigTIFF: the walker reads 32-bit offsets only
        {"RIFF\4\0\0\0WAVE", ".webp", ContainerKind::Unknown},
        {"", ".jpg", ContainerKind::Unknown},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.head);
        EXPECT_EQ(detectContainer(MemoryByteSource(c.head), c.extension), c.kind);
    }
    EXPECT_EQ(containerOfExtension(".CR3"), ContainerKind::IsoBmff);
    EXPECT_EQ(containerOfExtension("jfif"), ContainerKind::Jpeg);
    EXPECT_EQ(containerOfExtension(".Arw"), ContainerKind::Tiff);
    EXPECT_EQ(containerOfExtension(".crw"), ContainerKind::Unknown);
}

// Files that cannot be read safely: every one is refused whole, with no field and no block left to patch.
TEST(ContainerReaders, RefuseStructuresThatCannotBeReadSafely) {
    const std::string tiff = cameraTiff().build();
    const std::string heic = heicFile({.tiff = tiff});
    std::string deep = box("free", "");
    for (int i = 0; i < 40; ++i) deep = box("moov", deep);
    std::string badCrc = pngFile({pngChunk("tIME", pngTime(2000, 1, 1, 0, 0, 0), 0x12345678)});
    struct Case {
        const char* name;
        std::string file;
        const char* extension;
    } cases[] = {
        {"box past the end", ftyp("heic") + boxWithSize(4000, "moov", ""), ".heic"},
        {"box smaller than its header", ftyp("heic") + boxWithSize(4, "moov", "xxxx"), ".heic"},
        {"size 0 inside a box", ftyp("isom") + box("moov", boxWithSize(0, "trak", "")), ".mp4"},
        {"64-bit size past the end", ftyp("isom") + largeBox("moov", "", 1ull << 40), ".mp4"},
        {"64-bit size below its header", ftyp("isom") + largeBox("moov", "", 12), ".mp4"},
        {"header cut short", ftyp("isom") + std::string(3, '\0'), ".mp4"},
        {"nesting too deep", ftyp("qt  ") + deep, ".mov"},
        {"mvhd cut short", ftyp("qt  ") + box("moov", fullBox("mvhd", 1, be64(1))), ".mov"},
        {"heic cut inside mdat", truncated(heic, heic.size() - 3), ".heic"},
        {"exif item in pieces", heicFile({.tiff = tiff, .exifInTwoExtents = true, .extentGap = 1}), ".heic"},
        {"exif item built from items", heicFile({.tiff = tiff, .constructionMethod = 2}), ".heic"},
        {"exif item in a missing idat", [&] {
             std::string f = heicFile({.tiff = tiff, .constructionMethod = 1});
             f.replace(f.find("idat"), 4, "free");
             return f;
         }(), ".heic"},
        {"items overlap", heicFile({.tiff = tiff, .xmp = "<x:xmpmeta>  </x:xmpmeta>", .xmpOverExif = true}), ".heic"},
        {"png chunk past the end", truncated(pngFile({pngChunk("tIME", pngTime(2000, 1, 1, 0, 0, 0))}), 40), ".png"},
        {"png without IEND", std::string(kPngSignature) + pngChunk("IHDR", std::string(13, '\0')), ".png"},
        {"png bad chunk type", pngFile({pngChunk("t1ME", "x")}), ".png"},
        {"png tIME of 6 bytes", pngFile({pngChunk("tIME", "123456")}), ".png"},
        {"png CRC does not match", badCrc, ".png"},
        {"riff size past the end", webpFile({riffChunk("EXIF", tiff)}, 100000), ".webp"},
        {"riff chunk past its data", webpFile({"EXIF" + le32(5000) + tiff}), ".webp"},
        {"raf jpeg past the end", truncated(rafFile(JpegBuilder().app1Exif(tiff).scan().build()), 150), ".raf"},
        {"jpeg segment length 1", JpegBuilder().segmentWithLength(0xE1, 1, "").build(), ".jpg"},
        {"tiff block without a header", pngFile({pngChunk("eXIf", "not a tiff")}), ".png"},
        {"tiff first directory past its end", [] {
             TiffBuilder t;
             t.directory();
             t.setFirstDirOffset(5000);
             return t.build();
         }(), ".tif"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::string> found = describe(c.file, c.extension);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0].rfind("problem: ", 0), 0u) << found[0];
        const MemoryByteSource source(c.file);
        const ContainerScan scan = scanContainer(source, c.extension);
        if (!scan.dates.problem.empty()) {
            EXPECT_TRUE(scan.dates.fields.empty() && scan.blocks.empty() && scan.checksums.empty());
        }
    }
}

// A count the file states is believed only as far as the bytes and the scan's budgets hold it: a small hostile
// file must not make a reader keep, or loop over, millions of entries. Counts within them are read as before.
TEST(ContainerReaders, CountsBeyondWhatTheFileHoldsAreRefused) {
    const auto webpOfXmp = [](std::size_t count) {
        return webpFile(std::vector<std::string>(count, riffChunk("XMP ", "<x/>")));
    };
    // A movie's own fields: two in mvhd, four in each track.
    const int tracksAtLimit = static_cast<int>((kMaxContainerFields - 2) / 4);
    struct Case {
        const char* name;
        std::string file;
        const char* extension;
        const char* problem;  // a part of the problem's text; empty: read without one
    } cases[] = {
        {"iloc extents taking no bytes", heicWithEmptyExtents(1000, 0xFFFF), ".heic", "items and item parts"},
        {"iloc extents taking no bytes, few", heicWithEmptyExtents(3, 2), ".heic", ""},
        {"iloc items beyond its bytes", heicWithEmptyExtents(1, 1, 0xFFFFFFFF), ".heic", "4294967295 items, more than"},
        {"iloc extents beyond its bytes", heicWithMissingExtents(0xFFFF, 2), ".heic", "65535 parts, more than"},
        {"iloc extents all held", heicWithMissingExtents(3, 3), ".heic", ""},
        {"png with two tIME", pngWithTimes(2), ".png", "second time of last change"},
        {"png with 100000 tIME", pngWithTimes(100'000), ".png", "second time of last change"},
        {"movie fields at the limit", movieFile({.tracks = tracksAtLimit}), ".mov", ""},
        {"movie fields past the limit", movieFile({.tracks = tracksAtLimit + 1}), ".mov", "date fields"},
        {"webp blocks at the limit", webpOfXmp(kMaxEmbeddedBlocks), ".webp", ""},
        {"webp blocks past the limit", webpOfXmp(kMaxEmbeddedBlocks + 1), ".webp", "blocks of metadata"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MemoryByteSource source(c.file);
        const ContainerScan scan = scanContainer(source, c.extension);
        if (std::string_view(c.problem).empty()) {
            EXPECT_EQ(scan.dates.problem, "");
        } else {
            EXPECT_NE(scan.dates.problem.find(c.problem), std::string::npos) << scan.dates.problem;
            EXPECT_TRUE(scan.dates.fields.empty() && scan.blocks.empty() && scan.checksums.empty());
        }
    }
}

// What cannot be patched in place is left out and said, without refusing the rest of the file.
TEST(ContainerReaders, NoteWhatIsLeftOut) {
    struct Case {
        const char* name;
        std::string file;
        const char* extension;
    } cases[] = {
        {"compressed XMP", pngFile({pngChunk("iTXt", pngXmpText("xx", true))}), ".png"},
        {"raw profile text", pngFile({pngChunk("zTXt", std::string("Raw profile type exif\0\0x", 24))}), ".png"},
        {"free-form creation time", pngFile({pngChunk("tEXt", std::string("Creation Time\0Sat, 01 Jan 2000", 30))}),
         ".png"},
        {"mvhd version 2", ftyp("qt  ") + box("moov", fullBox("mvhd", 2, std::string(96, '\0'))), ".mov"},
        {"the same note twice", pngFile(std::vector<std::string>(
                                    2, pngChunk("tEXt", std::string("Creation Time\0Sat, 01 Jan 2000", 30)))),
         ".png"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MemoryByteSource source(c.file);
        const ContainerScan scan = scanContainer(source, c.extension);
        EXPECT_EQ(scan.dates.problem, "");
        EXPECT_EQ(scan.notes.size(), 1u);
    }
}

TEST(ContainerReaders, KeepOnlySoManyNotes) {
    std::vector<std::string> chunks;
    for (std::size_t i = 0; i <= 2 * kMaxContainerNotes; ++i) {
        chunks.push_back(pngChunk("zTXt", "Raw profile type " + std::to_string(i) + std::string("\0\0x", 3)));
    }
    const std::string file = pngFile(chunks);
    const MemoryByteSource source(file);
    const ContainerScan scan = scanContainer(source, ".png");
    EXPECT_EQ(scan.dates.problem, "");
    EXPECT_EQ(scan.notes.size(), kMaxContainerNotes);
}

// A raw file's directories may lie far from its start: the walk widens its window to find them, and refuses a
// file whose directory lies beyond the widest one rather than leave its dates half shifted.
TEST(ContainerReaders, TiffDirectoriesFarFromTheStart) {
    for (const std::size_t padding : {std::size_t{2} << 20, std::size_t{9} << 20}) {
        SCOPED_TRACE(padding);
        TiffBuilder tiff;
        const auto ifd0 = tiff.directory(), exif = tiff.directory();
        tiff.ascii(ifd0, 0x0132, "2005:12:31 23:30:00");
        tiff.undefined(ifd0, 0xC612, std::string(padding, '\0'));
        tiff.link(ifd0, 0x8769, exif);
        tiff.ascii(exif, 0x9003, "2005:06:01 10:00:00");
        const std::vector<std::string> found = describe(tiff.build(), ".dng");
        if (padding < kMaxTiffWindow) {
            EXPECT_EQ(found, (std::vector<std::string>{"IFD0:DateTime=2005:12:31 23:30:00",
                                                       "ExifIFD:DateTimeOriginal=2005:06:01 10:00:00"}));
        } else {
            ASSERT_EQ(found.size(), 1u);
            EXPECT_EQ(found[0].rfind("problem: ", 0), 0u);
        }
    }
}

// A TIFF file's dates in every directory: the chain after IFD0 (pages, thumbnails), the EXIF directory, each SubIFD;
// a value two tags share is one field, and a directory of the chain that cannot be read is reported while the
// other dates are still found.
TEST(ContainerReaders, TiffDatesOfEveryDirectoryEachOnce) {
    struct Case {
        const char* what;
        std::string file;
        std::vector<std::string> dates;
        std::size_t skipped;
    };
    const auto pages = [](std::function<void(TiffBuilder&, TiffBuilder::Dir last)> end) {
        TiffBuilder tiff(ByteOrder::kBig);
        const auto ifd0 = tiff.directory(), exif = tiff.directory(), sub0 = tiff.directory(),
                   sub1 = tiff.directory(), ifd1 = tiff.directory(), ifd2 = tiff.directory();
        tiff.ascii(ifd0, 0x0132, "2001:01:01 00:00:00");
        tiff.link(ifd0, 0x8769, exif);
        tiff.links(ifd0, 0x014A, {sub0, sub1});
        tiff.ascii(exif, 0x9003, "2002:02:02 00:00:00");
        tiff.ascii(sub0, 0x0132, "2003:03:03 00:00:00");
        tiff.ascii(sub1, 0x0132, "2004:04:04 00:00:00");
        tiff.ascii(ifd1, 0x0132, "2005:05:05 00:00:00");
        tiff.ascii(ifd2, 0x0132, "2006:06:06 00:00:00");
        tiff.setNext(ifd0, ifd1);
        tiff.setNext(ifd1, ifd2);
        end(tiff, ifd2);
        return tiff.build();
    };
    const std::vector<std::string> all = {"IFD0:DateTime=2001:01:01 00:00:00",
                                          "ExifIFD:DateTimeOriginal=2002:02:02 00:00:00",
                                          "SubIFD:DateTime=2003:03:03 00:00:00",
                                          "SubIFD1:DateTime=2004:04:04 00:00:00",
                                          "IFD1:DateTime=2005:05:05 00:00:00",
                                          "IFD2:DateTime=2006:06:06 00:00:00"};
    const std::string shared = [] {
        TiffBuilder tiff;
        const auto ifd0 = tiff.directory(), exif = tiff.directory();
        tiff.ascii(ifd0, 0x0132, "2001:01:01 00:00:00");
        tiff.link(ifd0, 0x8769, exif);
        // Both EXIF dates point at IFD0's DateTime value.
        tiff.rawEntry(exif, 0x9003, 2, 20, tiff.valueOffset(ifd0, 0));
        tiff.rawEntry(exif, 0x9004, 2, 20, tiff.valueOffset(ifd0, 0));
        return tiff.build();
    }();
    const Case cases[] = {
        {"every directory", pages([](TiffBuilder&, TiffBuilder::Dir) {}), all, 0},
        {"a chain that loops back", pages([](TiffBuilder& t, TiffBuilder::Dir last) { t.setNext(last, 0); }), all, 0},
        {"a chain whose last link leaves the file",
         pages([](TiffBuilder& t, TiffBuilder::Dir last) { t.setNextOffset(last, 0x7FFFFFF0u); }), all, 1},
        {"one value shared by three tags", shared, {"IFD0:DateTime=2001:01:01 00:00:00"}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(describe(c.file, ".tif"), c.dates);
        const MemoryByteSource source(c.file);
        ContainerScan scan = scanContainer(source, ".tif");
        const DateFieldScan dates = allDateFields(source, scan);
        EXPECT_EQ(dates.skipped.size(), c.skipped) << ::testing::PrintToString(dates.skipped);
    }
}

TEST(ContainerReaders, TiffBlocksPointAtTheirXmpAndIptc) {
    TiffBuilder tiff;
    const auto ifd0 = tiff.directory();
    tiff.ascii(ifd0, 0x0132, "2005:12:31 23:30:00");
    tiff.undefined(ifd0, 0x02BC, "<x:xmpmeta/>");
    tiff.undefined(ifd0, 0x83BB, std::string("\x1C\x02\x37\0\x08" "20050601", 13));
    tiff.undefined(ifd0, 0x8649, IptcBuilder().dataset(2, 62, "20050602").resources());
    const std::string file = tiff.build();
    const MemoryByteSource source(file);
    ContainerScan scan = scanContainer(source, ".tif");
    const DateFieldScan dates = allDateFields(source, scan);
    ASSERT_EQ(dates.problem, "");
    ASSERT_EQ(scan.blocks.size(), 4u);
    EXPECT_EQ(file.substr(scan.blocks[1].offset, scan.blocks[1].length), "<x:xmpmeta/>");
    EXPECT_EQ(scan.blocks[2].kind, BlockKind::Iptc);
    EXPECT_EQ(file.substr(scan.blocks[2].offset, 5), std::string("\x1C\x02\x37\0\x08", 5));
    EXPECT_EQ(scan.blocks[3].kind, BlockKind::PhotoshopResources);
}

// Files of every container that carries XMP and IPTC copies of the dates, each with the fields found in it.
std::vector<FileCase> filesWithDateCopies() {
    const std::string xmp = XmpBuilder().attribute("xmp:CreateDate", "2005-06-01T10:00:00+02:00").build();
    const std::string iptc = IptcBuilder().dataset(2, 55, "20051231").dataset(2, 60, "233000+0200").resources();
    const std::vector<std::string> xmpDates = {"XMP-xmp:xmp:CreateDate=2005-06-01T10:00:00+02:00"};
    const std::vector<std::string> iptcDates = {"IPTC:DateCreated=20051231", "IPTC:TimeCreated=233000+0200"};
    const std::string tiffWithCopies = [&] {
        TiffBuilder tiff = cameraTiff();
        tiff.undefined(0, 0x02BC, xmp);
        tiff.undefined(0, 0x8649, iptc);
        return tiff.build();
    }();
    // An RW2 file keeps a second copy of its dates in the EXIF, XMP and IPTC of the JPEG its IFD0 embeds.
    const std::string rw2 = [&] {
        const std::string jpeg = JpegBuilder()
                                     .app1Exif(cameraTiff().build())
                                     .segment(0xED, "Photoshop 3.0" + std::string(1, '\0') + iptc)
                                     .segment(0xE1, std::string(kXmpApp1Signature) + xmp)
                                     .scan()
                                     .build();
        TiffBuilder tiff;
        const auto ifd0 = tiff.directory();
        tiff.ascii(ifd0, 0x0132, "2010:10:10 10:10:10");
        tiff.undefined(ifd0, 0x002E, jpeg);
        std::string file = tiff.build();
        file[2] = 'U';  // "IIU\0"
        return file;
    }();
    return {
        {"tiff tags 700 and 34377", tiffWithCopies, ".tif", ContainerKind::Tiff,
         with(with(kCameraDates, xmpDates), iptcDates), {xmp}},
        {"rw2 embedded jpeg", rw2, ".rw2", ContainerKind::Tiff,
         with(with(with({"IFD0:DateTime=2010:10:10 10:10:10"}, kCameraDates), iptcDates), xmpDates), {xmp}},
        {"png iTXt", pngFile({pngChunk("iTXt", pngXmpText(xmp))}), ".png", ContainerKind::Png, xmpDates, {xmp}},
        {"webp XMP chunk", webpFile({riffChunk("XMP ", xmp)}), ".webp", ContainerKind::WebP, xmpDates, {xmp}},
        {"heic mime item", heicFile({.tiff = cameraTiff().build(), .xmp = xmp}), ".heic", ContainerKind::IsoBmff,
         with(kCameraDates, xmpDates), {xmp}},
        {"movie udta XMP_ and uuid",
         movieFile({.creation = 1, .modification = 2, .tracks = 0, .udtaXmp = xmp, .uuidXmp = xmp}), ".mov",
         ContainerKind::IsoBmff,
         with({"QuickTime:CreateDate=1/32", "QuickTime:ModifyDate=2/32"}, with(xmpDates, xmpDates)), {xmp, xmp}},
        {"xmp sidecar with dates", xmp, ".xmp", ContainerKind::XmpSidecar, xmpDates, {xmp}},
    };
}

// The XMP and IPTC copies of the dates in every container that carries them are date fields of the file like the
// others, at their places in the file.
TEST(ContainerReaders, XmpAndIptcCopiesInEveryContainer) {
    for (const FileCase& c : filesWithDateCopies()) {
        SCOPED_TRACE(c.name);
        ContainerScan scan;
        EXPECT_EQ(describe(c.file, c.extension, &scan), c.dates);
        EXPECT_EQ(xmpPackets(c.file, scan), c.xmp);
    }
}

// Writes the well-formed files into the container fuzz target's corpus. Run by hand after changing them:
//   meta_tests --gtest_also_run_disabled_tests --gtest_filter='*WriteContainerFuzzSeeds'
TEST(ContainerSeeds, DISABLED_WriteContainerFuzzSeeds) {
    const std::filesystem::path folder = std::filesystem::path(MORROWTIDE_SOURCE_DIR) / "fuzz/corpus/container_fuzz";
    ASSERT_TRUE(std::filesystem::is_directory(folder));
    std::vector<FileCase> files = wellFormedFiles();
    for (FileCase& c : filesWithDateCopies()) files.push_back(std::move(c));
    // Counts the bytes cannot hold, for the fuzzer to vary.
    files.push_back({"heic iloc extents taking no bytes", heicWithEmptyExtents(1000, 0xFFFF), ".heic",
                     ContainerKind::IsoBmff, {}, {}});
    files.push_back({"png many tIME", pngWithTimes(1000), ".png", ContainerKind::Png, {}, {}});
    for (const FileCase& c : files) {
        std::string name = c.name;
        for (char& ch : name) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        std::ofstream out(folder / (name + c.extension), std::ios::binary | std::ios::trunc);
        out.write(c.file.data(), static_cast<std::streamsize>(c.file.size()));
        ASSERT_TRUE(out.good()) << name;
    }
}

TEST(ContainerReaders, Crc32MatchesTheKnownCheckValue) {
    EXPECT_EQ(crc32("123456789"), 0xCBF43926u);
    EXPECT_EQ(crc32("56789", crc32("1234")), 0xCBF43926u);
}

}  // namespace
