// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "meta/image_info.h"
#include "meta/img_data.h"
#include "meta/makernote/maker_note.h"
#include "meta/makernote/maker_tables.h"
#include "support/exif_builder.h"
#include "support/maker_note_builder.h"

using namespace morrowtide::meta;
using namespace morrowtide::test;

namespace {

constexpr auto kBig = ByteOrder::kBig;
constexpr auto kLittle = ByteOrder::kLittle;

std::string line(std::string_view caption, std::string_view text) {
    return "\r\n" + std::string(caption) + " = " + std::string(text);
}

// The records the maker-note reader made: they lie between the DateTimeOriginal record and the MakerNote record.
std::vector<TagEntry> makerRecords(const ImageInfo& info) {
    std::vector<TagEntry> records;
    bool inside = false;
    for (const TagEntry& entry : info.entries) {
        if (entry.tag == 0x927C && entry.name == "MakerNote") break;
        if (inside) records.push_back(entry);
        if (entry.tag == 0x9003 && entry.name == "DateTimeOriginal") inside = true;
    }
    return records;
}

std::vector<std::string> namesOf(const std::vector<TagEntry>& records) {
    std::vector<std::string> names;
    for (const TagEntry& entry : records) names.push_back(entry.name);
    return names;
}

// Reads the photo as the batch does; the decoded block must exist.
const ImageInfo& readPhoto(ImgData& img, const MakerPhoto& photo, const char* name = "photo.jpg") {
    const std::string bytes = std::string_view(name).ends_with(".tif") ? makerNoteTiff(photo) : makerNoteJpeg(photo);
    EXPECT_TRUE(img.readImageBytes(name, bytes)) << img.statusText();
    EXPECT_NE(img.exif(), nullptr);
    static const ImageInfo empty;
    return img.exif() ? *img.exif() : empty;
}

// Offsets counted from the EXIF TIFF header.
NoteMaker exifRelative(std::string header, std::vector<NoteEntry> entries, ByteOrder order) {
    return [=](std::uint32_t noteOffset) { return buildMakerNote(header, entries, order, noteOffset); };
}

}  // namespace

TEST(MakerNoteNikon, Type3WithHeaderReadsItsOwnTiffHeader) {
    MakerPhoto photo{kBig, "NIKON CORPORATION", "NIKON D70", "0220", {}};
    const std::vector<NoteEntry> entries = {
        undefinedEntry(0x0001, "0210"),  // first row: a line, no record
        shortEntry(0x0002, {0, 200}, kBig),
        asciiEntry(0x0003, "COLOR"),         // long value, offset from the note's TIFF header
        undefinedEntry(0x000A, "ignored!"),  // Skip
        rationalEntry(0x0084, {180, 10, 700, 10, 35, 10, 45, 10}, kBig),
        asciiEntry(0x008D, "MODE2"),
        shortEntry(0x1234, {7}, kBig),  // in no table
    };
    photo.note = [&](std::uint32_t) { return buildMakerNote(nikonType3Header(kBig), entries, kBig, -10); };
    ImgData img;
    const ImageInfo& info = readPhoto(img, photo);

    EXPECT_TRUE(info.makerNoteKnown);
    EXPECT_EQ(info.makerNoteText, line("Family ID", "\"0210\"") + line("ISO Speed", "0, 200") +
                                      line("Color Mode", "\"COLOR\"") +
                                      line("Lens information", "18.0-70.0(mm)  F3.5-F4.5") +
                                      line("Color Mode", "Mode 2 (Adobe RGB)") + line("Unknown", "7"));
    const auto records = makerRecords(info);
    EXPECT_EQ(namesOf(records), (std::vector<std::string>{"ISOSpeed", "ColorMode", "LensInformation", "ColorMode"}));
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0].id, 1);
    EXPECT_EQ(records[0].tag, 0x0002);
    EXPECT_EQ(records[0].format, 3);
    EXPECT_EQ(records[0].caption, "ISO Speed");
    EXPECT_EQ(records[0].text, "0, 200");
    EXPECT_EQ(records[0].rawBytes, bytes16(0, kBig) + bytes16(200, kBig));
    EXPECT_EQ(records[2].text, "18.0-70.0(mm)  F3.5-F4.5");
    EXPECT_EQ(records[3].text, "Mode 2 (Adobe RGB)");
    EXPECT_EQ(records[3].rawBytes, std::string("MODE2\0", 6));
    EXPECT_EQ(info.imageWidth, 640);  // the EXIF entry after the note
    EXPECT_EQ(img.statusText(), "<none>");
}

TEST(MakerNoteNikon, Type1BehindNikonHeaderUpToExifVersion0210) {
    MakerPhoto photo{kLittle, "NIKON", "E900", "0210", {}};
    photo.note = exifRelative(nikonType1Header(),
                              {shortEntry(0x0002, {1}, kLittle), shortEntry(0x0003, {5}, kLittle),
                               rationalEntry(0x000A, {15, 10}, kLittle), undefinedEntry(0x0F00, "skipped data")},
                              kLittle);
    ImgData img;
    const ImageInfo& info = readPhoto(img, photo);
    EXPECT_TRUE(info.makerNoteKnown);
    EXPECT_EQ(info.makerNoteText,
              line("FamilyID", "1") + line("Quality", "SXGA Normal") + line("DigitalZoom", "15/10"));
    EXPECT_EQ(namesOf(makerRecords(info)), (std::vector<std::string>{"Quality", "DigitalZoom"}));
}

TEST(MakerNoteNikon, WithoutHeaderTheDirectoryStartsTheNote) {
    for (const char* version : {"0200", "0210"}) {
        MakerPhoto photo{kLittle, "NIKON", "E990", version, {}};
        photo.note = exifRelative("", {shortEntry(0x0001, {2}, kLittle), asciiEntry(0x0007, "AF-S  ")}, kLittle);
        ImgData img;
        const ImageInfo& info = readPhoto(img, photo);
        EXPECT_EQ(info.makerNoteText, line("Family ID", "2") + line("Focus Mode", "\"AF-S  \"")) << version;
    }
}

TEST(MakerNoteNikon, TiffFileOfADSeriesBodyWithoutExifVersion) {
    const std::vector<NoteEntry> entries = {shortEntry(0x0001, {1}, kLittle),
                                            rationalEntry(0x0084, {240, 10, 850, 10, 28, 10, 40, 10}, kLittle)};
    MakerPhoto photo{kLittle, "NIKON", "NIKON D1", "", {}};
    photo.note = [&](std::uint32_t) { return buildMakerNote(nikonType3Header(kLittle), entries, kLittle, -10); };
    ImgData img;
    const ImageInfo& info = readPhoto(img, photo, "d1.tif");
    EXPECT_TRUE(info.tiffMode);
    EXPECT_EQ(info.makerNoteText, line("Family ID", "1") + line("Lens information", "24.0-85.0(mm)  F2.8-F4.0"));

    // The same photo as a JPEG has no sign of the newer layout: the "Nikon" header makes it the type 1 layout.
    ImgData jpeg;
    const ImageInfo& asJpeg = readPhoto(jpeg, photo);
    const auto layout = makernote::selectMakerLayout(asJpeg, asJpeg.makerNoteBytes);
    ASSERT_TRUE(layout.has_value());
    EXPECT_EQ(layout->label, "Nikon type 1");
}

TEST(MakerNoteRecognition, MakeKeysAndTheirLayouts) {
    struct Case {
        const char* make;
        std::string note;
        const char* layout;  // nullptr: not recognised
    };
    const Case cases[] = {
        {"Canon", "", "Canon"},
        {"CANON INC.", "", "Canon"},
        {"KONICA MINOLTA", "", nullptr},
        {"Minolta Co., Ltd.", "", "Minolta"},
        {"OLYMPUS OPTICAL CO.,LTD", "", "Olympus"},
        {"CASIO COMPUTER CO.,LTD", "QVC\0\0\0", "Casio type 2"},
        {"CASIO", "qvc", "Casio type 1"},
        {"FUJIFILM", "", "Fujifilm"},
        {"FUJI PHOTO FILM CO., LTD.", "", "Fujifilm"},
        {"OLYMPUS IMAGING CORP.", std::string("OLYMPUS\0II\x03\0", 12), "Olympus with byte-order mark"},
        {"SEIKO EPSON CORP.", "", "Seiko"},
        {"SANYO Electric Co.,Ltd.", "", "Sanyo"},
        {"Nikon", "nikon", "Nikon type 3"},
        {"NIK", "", nullptr},
        {"", "", nullptr},
    };
    for (const Case& c : cases) {
        ImageInfo info;
        info.cameraMake = c.make;
        info.exifVersion = "0210";
        const auto layout = makernote::selectMakerLayout(info, c.note);
        if (c.layout == nullptr) {
            EXPECT_FALSE(layout.has_value()) << c.make;
        } else {
            ASSERT_TRUE(layout.has_value()) << c.make;
            EXPECT_EQ(layout->label, c.layout) << c.make;
        }
    }
}

// Notes whose byte order or offsets differ from the block that holds them: each is read as its camera wrote it.
TEST(MakerNoteLayouts, OwnByteOrderAndOffsetsAreFollowed) {
    struct Case {
        const char* what;
        MakerPhoto photo;
        std::string lines;
    };
    const auto nikonHeader = [](std::vector<NoteEntry> entries) {
        return [=](std::uint32_t) { return buildMakerNote(nikonType3Header(kBig), entries, kBig, -10); };
    };
    const auto olympusMarked = [](std::vector<NoteEntry> entries, ByteOrder order) {
        return [=](std::uint32_t) { return buildMakerNote(olympusMarkedHeader(order), entries, order, 0); };
    };
    // A note moved 300 bytes after its offsets were written.
    const auto moved = [](std::vector<NoteEntry> entries, ByteOrder order) {
        return [=](std::uint32_t offset) { return buildMakerNote("", entries, order, std::int64_t{offset} + 300); };
    };
    const Case cases[] = {
        {"Nikon note in Motorola order inside an Intel block",
         {kLittle, "NIKON CORPORATION", "NIKON D70s", "0221",
          nikonHeader({asciiEntry(0x0004, "FINE   "), shortEntry(0x0089, {1}, kBig)})},
         line("Quality", "\"FINE   \"") + line("Mode", "1")},
        {"headerless Canon note in Motorola order inside an Intel block",
         {kLittle, "Canon", "Canon EOS 20D", "0221",
          exifRelative("", {shortEntry(0x0008, {7}, kBig), asciiEntry(0x0006, "IMG:EOS 20D JPEG")}, kBig)},
         line("ImageNumber", "7") + line("ImageType", "\"IMG:EOS 20D JPEG\"")},
        {"newer Olympus note, Intel order, in a Motorola block",
         {kBig, "OLYMPUS IMAGING CORP.", "E-P3", "0221",
          olympusMarked({shortEntry(0x0201, {2}, kLittle), asciiEntry(0x0207, "FIRMWARE12")}, kLittle)},
         line("JpegQual", "HQ") + line("Firmware", "\"FIRMWARE12\"")},
        {"newer Olympus note, Motorola order, in a Motorola block",
         {kBig, "OLYMPUS IMAGING CORP.", "E-420", "0221",
          olympusMarked({shortEntry(0x0201, {3}, kBig), asciiEntry(0x0209, "OLYMPUS-E420")}, kBig)},
         line("JpegQual", "SHQ") + line("Camera ID", "\"OLYMPUS-E420\"")},
        {"moved Canon note whose values fall into place",
         {kLittle, "Canon", "Canon PowerShot S330", "0220",
          moved({asciiEntry(0x0006, "IMG:PowerShot S330"), asciiEntry(0x0007, "Firmware 1.0")}, kLittle)},
         line("ImageType", "\"IMG:PowerShot S330\"") + line("FirmwareVersion", "\"Firmware 1.0\"")},
        {"Fujifilm note of the older make spelling",
         {kLittle, "FUJI PHOTO FILM CO., LTD.", "FinePix4900Z", "0210",
          [](std::uint32_t) {
              return buildMakerNote(fujifilmHeader(), {shortEntry(0x1001, {3}, kLittle)}, kLittle, 0);
          }},
         line("Sharpness", "Normal")},
    };
    for (const Case& c : cases) {
        ImgData img;
        const ImageInfo& info = readPhoto(img, c.photo);
        EXPECT_TRUE(info.makerNoteKnown) << c.what;
        EXPECT_EQ(info.makerNoteText, c.lines) << c.what;
        EXPECT_EQ(info.makerNoteProblem, "") << c.what;
        EXPECT_EQ(info.imageWidth, 640) << c.what;  // the EXIF walk goes on after the note
    }
}

TEST(MakerNoteLayouts, UnreadableNotesAreReportedOnce) {
    struct Case {
        const char* what;
        NoteMaker note;
        std::string problem;
    };
    const auto raw = [](std::string bytes) { return [=](std::uint32_t) { return bytes; }; };
    const std::string junk = std::string("4", 2) + std::string(200, 'Z');
    const Case cases[] = {
        {"values nowhere to be found",
         exifRelative("",
                      {NoteEntry{0x0006, 2, 32, {}, 0x00FFFF00}, NoteEntry{0x0007, 2, 24, {}, 0x00FFFFF0},
                       shortEntry(0x0008, {7}, kLittle)},
                      kLittle),
         "misplaced: 2 of 2 values point outside the note"},
        {"entry count in neither byte order", raw(junk), "implausible directory: 13330 entries"},
        {"directory cut short", raw(buildMakerNote("", {shortEntry(0x0008, {7}, kLittle),
                                                        shortEntry(0x0009, {7}, kLittle)}, kLittle, 0)
                                        .substr(0, 20)),
         "truncated: 2 entries do not fit in 20 bytes"},
        {"entries that are not TIFF entries",
         raw(buildMakerNote("", {NoteEntry{0x0006, 99, 1, "a", {}}, NoteEntry{0x0007, 0, 1, "b", {}},
                                 NoteEntry{0x0008, 40, 1, "c", {}}}, kLittle, 0)),
         "implausible directory: most entries have no valid format"},
    };
    for (const Case& c : cases) {
        ImgData img;
        const ImageInfo& info = readPhoto(img, {kLittle, "Canon", "Canon PowerShot A85", "0220", c.note});
        EXPECT_TRUE(info.makerNoteKnown) << c.what;
        EXPECT_EQ(info.makerNoteText, "") << c.what;
        EXPECT_EQ(info.makerNoteProblem, c.problem) << c.what;
        EXPECT_EQ(info.imageWidth, 640) << c.what;
    }
}

TEST(MakerNoteRecognition, UnknownMakeKeepsTheRawNoteOnly) {
    MakerPhoto photo{kLittle, "KONICA MINOLTA", "DiMAGE A2", "0220", {}};
    photo.note = exifRelative("", {shortEntry(0x0000, {1}, kLittle), undefinedEntry(0x0E00, "PIM data")}, kLittle);
    ImgData img;
    const ImageInfo& info = readPhoto(img, photo);
    EXPECT_FALSE(info.makerNoteKnown);
    EXPECT_TRUE(info.makerNoteText.empty());
    EXPECT_FALSE(info.makerNoteBytes.empty());
    EXPECT_TRUE(makerRecords(info).empty());
}

TEST(MakerNoteCanon, MixedCaseMakeAndDecodedSubFields) {
    // Camera settings: item 1 the byte length, item 2 macro mode 1, item 3 self-timer 0, item 4 quality 3.
    const std::vector<NoteEntry> entries = {
        shortEntry(0x0001, {8, 1, 0, 3}, kLittle), asciiEntry(0x0006, "IMG:PowerShot JPEG"),
        shortEntry(0x000F, {6, 257, 3841}, kLittle), longEntry(0x0010, 7, kLittle),  // Skip
    };
    MakerPhoto photo{kLittle, "Canon", "Canon EOS D30", "0220", exifRelative("", entries, kLittle)};
    ImgData img;
    const ImageInfo& info = readPhoto(img, photo);
    EXPECT_TRUE(info.makerNoteKnown);
    EXPECT_EQ(info.makerNoteText, line("Macro mode", "Macro") + line("Self Timer", " 0") +
                                      line("Compression Rate", "Fine") + line("ExposureInfo1", "8, 1, 0, 3") +
                                      line("ImageType", "\"IMG:PowerShot JPEG\"") + line("Noise Reduction", " On") +
                                      line("Shutter Release w/o CF Card", "Disable") +
                                      line("CustomFunctions", "6, 257, 3841"));
    const auto records = makerRecords(info);
    EXPECT_EQ(namesOf(records),
              (std::vector<std::string>{"Macro mode", "Self Timer", "Compression Rate", "ExposureInfo1", "ImageType",
                                        "Noise Reduction", "Shutter Release w/o CF Card", "CustomFunctions"}));
    ASSERT_EQ(records.size(), 8u);
    EXPECT_EQ(records[0].tag, 0x0001);  // sub-fields carry the tag of their entry
    EXPECT_EQ(records[0].format, 2);
    EXPECT_EQ(records[3].text, "8, 1, 0, 3");  // a multi-line entry keeps its formatted value
    EXPECT_EQ(records[4].text, "\"IMG:PowerShot JPEG\"");
    EXPECT_EQ(records[6].tag, 0x000F);
    EXPECT_EQ(info.textOfTag("Macro mode"), "Macro");
}

TEST(MakerNoteFujifilm, LittleEndianNoteInABigEndianBlock) {
    const std::vector<NoteEntry> entries = {
        undefinedEntry(0x0000, "0130"),  // first row
        asciiEntry(0x1000, "NORMAL "),   // offset from the note's first byte
        shortEntry(0x1001, {3}, kLittle), shortEntry(0x1002, {256}, kLittle), shortEntry(0x1032, {1}, kLittle),  // Skip
    };
    MakerPhoto photo{kBig, "FUJIFILM", "FinePix S5500", "0220", {}};
    photo.note = [&](std::uint32_t) { return buildMakerNote(fujifilmHeader(), entries, kLittle, 0); };
    ImgData img;
    const ImageInfo& info = readPhoto(img, photo);
    EXPECT_EQ(info.makerNoteText, line("Version", "\"0130\"") + line("Quality", "\"NORMAL \"") +
                                      line("Sharpness", "Normal") + line("WhiteBalance", "Daylight"));
    EXPECT_EQ(namesOf(makerRecords(info)), (std::vector<std::string>{"Quality", "Sharpness", "WhiteBalance"}));
    // The EXIF byte order is in force again after the note.
    EXPECT_TRUE(info.bigEndian);
    EXPECT_EQ(info.imageWidth, 640);
    EXPECT_EQ(info.textOfTag("ExifImageWidth"), "640");
}

TEST(MakerNoteOlympus, QualityAndAValueOutsideTheNote) {
    // The firmware value lies in the EXIF block before the note: the DateTimeOriginal text, whose offset is found
    // from a first build.
    std::uint32_t dateOffset = 0;
    {
        const std::string tiff = makerNoteTiff({kLittle, "OLYMPUS OPTICAL CO.,LTD", "C2040Z", "0210",
                                                [](std::uint32_t) { return std::string(40, '\0'); }});
        dateOffset = static_cast<std::uint32_t>(tiff.find("2004:05:06"));
    }
    NoteEntry outside{0x0207, 2, 20, {}, dateOffset};
    MakerPhoto photo{kLittle, "OLYMPUS OPTICAL CO.,LTD", "C2040Z", "0210", {}};
    photo.note = exifRelative(olympusHeader(),
                              {shortEntry(0x0201, {2}, kLittle), shortEntry(0x0202, {1}, kLittle), outside}, kLittle);
    ImgData img;
    const ImageInfo& info = readPhoto(img, photo);
    EXPECT_EQ(info.makerNoteText,
              line("JpegQual", "HQ") + line("Macro", "Macro") + line("Firmware", "\"2004:05:06 07:08:09\""));
}

TEST(MakerNoteCasio, Type1FirstRowAndAValueOutsideTheNote) {
    std::uint32_t dateOffset = 0;
    {
        const std::string tiff =
            makerNoteTiff({kBig, "CASIO", "QV-3000EX", "0210", [](std::uint32_t) { return std::string(40, '\0'); }});
        dateOffset = static_cast<std::uint32_t>(tiff.find("2004:05:06"));
    }
    MakerPhoto photo{kBig, "CASIO", "QV-3000EX", "0210", {}};
    photo.note = exifRelative("",
                              {shortEntry(0x0001, {1}, kBig), shortEntry(0x0002, {3}, kBig),
                               shortEntry(0x0014, {64}, kBig), NoteEntry{0x0006, 2, 10, {}, dateOffset}},
                              kBig);
    ImgData img;
    const ImageInfo& info = readPhoto(img, photo);
    // Offsets count from the EXIF TIFF header, so a value outside the note is the block's bytes at that offset.
    EXPECT_EQ(info.makerNoteText, line("RecordingMode", "Single Shutter") + line("Quality", "Fine") +
                                      line("CCDSensitivity", "Normal") + line("ObjectDistance", "\"2004:05:06\""));
    EXPECT_EQ(namesOf(makerRecords(info)), (std::vector<std::string>{"Quality", "CCDSensitivity", "ObjectDistance"}));
}

TEST(MakerNoteCasio, Type2BehindQvcHeader) {
    MakerPhoto photo{kBig, "CASIO COMPUTER CO.,LTD", "EX-Z3", "0220", {}};
    photo.note =
        exifRelative(casioType2Header(),
                     {shortEntry(0x0002, {640, 480}, kBig), shortEntry(0x0008, {2}, kBig),
                      undefinedEntry(0x0E00, "PrintIM"), shortEntry(0x2001, {1}, kBig), shortEntry(0x2012, {12}, kBig)},
                     kBig);
    ImgData img;
    const ImageInfo& info = readPhoto(img, photo);
    EXPECT_EQ(info.makerNoteText, line("Thumbnail Dimensions", "640, 480") + line("Quality", "Super Fine") +
                                      line("\t Print Image Matching Info", "\"PrintIM\"") +
                                      line("White Balance", "Flash"));
    EXPECT_EQ(namesOf(makerRecords(info)), (std::vector<std::string>{"Quality", "PIM", "WhiteBalance"}));
}

TEST(MakerNoteSmallTables, SeikoSanyoMinolta) {
    {
        MakerPhoto photo{kLittle, "SEIKO EPSON CORP.", "PhotoPC 3000Z", "0210", {}};
        photo.note = exifRelative(seikoHeader(),
                                  {shortEntry(0x0200, {0}, kLittle), asciiEntry(0x0209, "EPSON-ID"),
                                   undefinedEntry(0x0F00, "lower-case skip row")},
                                  kLittle);
        ImgData img;
        const ImageInfo& info = readPhoto(img, photo);
        EXPECT_EQ(info.makerNoteText, line("Special Mode", "0") + line("CameraID", "\"EPSON-ID\""));
        EXPECT_EQ(namesOf(makerRecords(info)), (std::vector<std::string>{"CameraID"}));
    }
    {
        MakerPhoto photo{kLittle, "SANYO Electric Co.,Ltd.", "SR662", "0210", {}};
        photo.note = exifRelative(sanyoHeader(),
                                  {shortEntry(0x0201, {2}, kLittle), undefinedEntry(0x0F00, std::string("\x01\x02", 2)),
                                   shortEntry(0x0203, {9}, kLittle)},
                                  kLittle);
        ImgData img;
        const ImageInfo& info = readPhoto(img, photo);
        EXPECT_EQ(info.makerNoteText, line("JpegQuality", "2") + line("DataDump", "\"..\""));
        EXPECT_EQ(namesOf(makerRecords(info)), (std::vector<std::string>{"JpegQuality", "DataDump"}));
    }
    {
        MakerPhoto photo{kBig, "Minolta Co., Ltd.", "DiMAGE X", "0220", {}};
        photo.note = exifRelative("", {undefinedEntry(0x0000, "MLT0"), undefinedEntry(0x0E00, "PrintIM0300")}, kBig);
        ImgData img;
        const ImageInfo& info = readPhoto(img, photo);
        EXPECT_EQ(info.makerNoteText, line("ModelID", "\"MLT0\"") + line("PIMdata", "\"PrintIM0300\""));
        EXPECT_EQ(namesOf(makerRecords(info)), (std::vector<std::string>{"PIMdata"}));
    }
}

TEST(MakerNoteDirectory, ZeroEntriesStillCountAsRecognised) {
    MakerPhoto photo{kLittle, "Canon", "Canon EOS D60", "0220", exifRelative("", {}, kLittle)};
    ImgData img;
    const ImageInfo& info = readPhoto(img, photo);
    EXPECT_TRUE(info.makerNoteKnown);
    EXPECT_TRUE(info.makerNoteText.empty());
    EXPECT_TRUE(makerRecords(info).empty());
}

TEST(MakerNoteDirectory, CountZeroEntryAndUnknownFormatHaveEmptyValues) {
    // An ASCII entry with count 0, and a format code no table knows.
    MakerPhoto photo{
        kLittle, "Canon", "Canon EOS D60", "0220",
        exifRelative("", {NoteEntry{0x0006, 2, 0, {}, {}}, NoteEntry{0x0007, 99, 5, "abcd", {}}}, kLittle)};
    ImgData img;
    const ImageInfo& info = readPhoto(img, photo);
    EXPECT_EQ(info.makerNoteText, line("ImageType", "\"\"") + line("FirmwareVersion", "0"));
    const auto records = makerRecords(info);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_TRUE(records[0].rawBytes.empty());
}

// Reads the JPEG without the loader's final verdict, which would replace the maker-note failure text.
TEST(MakerNoteDirectory, TruncatedNoteIsReportedOnceAndTheExifWalkGoesOn) {
    const std::vector<NoteEntry> entries = {shortEntry(0x1001, {4}, kLittle), shortEntry(0x1003, {256}, kLittle),
                                            shortEntry(0x1004, {512}, kLittle)};
    MakerPhoto photo{kLittle, "FUJIFILM", "FinePix2650", "0220", {}};
    // Cut inside the third entry.
    photo.note = [&](std::uint32_t) {
        return buildMakerNote(fujifilmHeader(), entries, kLittle, 0).substr(0, 12 + 2 + 12 * 2 + 5);
    };
    const std::string jpeg = makerNoteJpeg(photo);
    ImgData img;
    EXPECT_TRUE(img.readJpeg(jpeg));
    ASSERT_NE(img.exif(), nullptr);
    const ImageInfo& info = *img.exif();
    // A directory that does not fit is not read entry by entry: it would end in junk. One reason is kept instead.
    EXPECT_EQ(info.makerNoteText, "");
    EXPECT_TRUE(makerRecords(info).empty());
    EXPECT_EQ(info.makerNoteProblem, "truncated: 3 entries do not fit in 43 bytes");
    EXPECT_TRUE(img.statusText().starts_with("Error Detected = ")) << img.statusText();
    EXPECT_EQ(info.imageWidth, 640);
    EXPECT_TRUE(info.makerNoteKnown);
}

TEST(MakerNoteDirectory, ValueEndingAtTheLastByteAndOneByteBeyond) {
    // Fujifilm offsets count from the note itself, so the note is the only place a value can be; one cut short by
    // the note's end keeps the bytes that are there, and the walk goes on.
    const std::vector<NoteEntry> entries = {shortEntry(0x1001, {2}, kLittle), asciiEntry(0x1000, "FINE")};
    for (const bool cut : {false, true}) {
        MakerPhoto photo{kLittle, "FUJIFILM", "FinePix2650", "0220", {}};
        photo.note = [&](std::uint32_t) {
            std::string note = buildMakerNote(fujifilmHeader(), entries, kLittle, 0);
            if (cut) note.pop_back();
            return note;
        };
        ImgData img;
        EXPECT_TRUE(img.readJpeg(makerNoteJpeg(photo)));
        ASSERT_NE(img.exif(), nullptr);
        const ImageInfo& info = *img.exif();
        EXPECT_EQ(info.makerNoteText, line("Sharpness", "Soft") + line("Quality", "\"FINE\""));
        EXPECT_FALSE(img.statusText().starts_with("Error Detected")) << img.statusText();
        const auto records = makerRecords(info);
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[1].rawBytes, cut ? std::string("FINE") : std::string("FINE\0", 5));
        EXPECT_EQ(info.imageWidth, 640);
    }
}

TEST(MakerNoteDirectory, ValueBeyondTheExifBlockKeepsWhatIsThere) {
    // A thumbnail-like value whose offset reaches past the end of the EXIF block: the entries after it still count.
    MakerPhoto photo{kLittle, "SANYO Electric Co.,Ltd", "S1", "0220", {}};
    photo.note = exifRelative(sanyoHeader(),
                              {NoteEntry{0x0100, 7, 10313, {}, 0x00FFFFF0}, shortEntry(0x0201, {262}, kLittle),
                               shortEntry(0x0202, {1}, kLittle)},
                              kLittle);
    ImgData img;
    EXPECT_TRUE(img.readJpeg(makerNoteJpeg(photo)));
    ASSERT_NE(img.exif(), nullptr);
    EXPECT_EQ(img.exif()->makerNoteText, line("Unknown", "\"\"") + line("JpegQuality", "262") + line("Macro", "1"));
    EXPECT_FALSE(img.statusText().starts_with("Error Detected"));
}

TEST(MakerNoteDirectory, EntryCountBeyondTheNoteIsReportedOnce) {
    // Olympus: 0xFFFF entries stated, one present; the read of the second one fails.
    MakerPhoto photo{kLittle, "OLYMPUS OPTICAL CO.,LTD", "C3030Z", "0210", {}};
    photo.note = [](std::uint32_t offset) {
        std::string note =
            buildMakerNote(olympusHeader(), {shortEntry(0x0201, {3}, ByteOrder::kLittle)}, ByteOrder::kLittle, offset);
        note.replace(8, 2, bytes16(0xFFFF, ByteOrder::kLittle));
        return note;
    };
    ImgData img;
    EXPECT_TRUE(img.readJpeg(makerNoteJpeg(photo)));
    ASSERT_NE(img.exif(), nullptr);
    EXPECT_EQ(img.exif()->makerNoteText, "");
    EXPECT_EQ(img.exif()->makerNoteProblem, "implausible directory: 65535 entries");
    EXPECT_TRUE(img.statusText().starts_with("Error Detected = "));
    EXPECT_EQ(img.exif()->imageWidth, 640);
}

TEST(MakerNoteDirectory, OffsetsPointingAnywhereNeverReadOutsideTheBlock) {
    for (const std::uint32_t offset : {0xFFFFFFF0u, 0x7FFFFFFFu, 0u, 1u, 200000u}) {
        for (const char* make : {"Canon", "FUJIFILM", "NIKON CORPORATION"}) {
            MakerPhoto photo{kLittle, make, "Model X", "0220", {}};
            photo.note = [&](std::uint32_t) {
                const std::string header = std::string_view(make) == "FUJIFILM" ? fujifilmHeader()
                                           : std::string_view(make) == "Canon"  ? std::string()
                                                                                : nikonType3Header(kLittle);
                return buildMakerNote(header, {NoteEntry{0x0007, 2, 64, {}, offset}}, kLittle, 0);
            };
            ImgData img;
            EXPECT_TRUE(img.readJpeg(makerNoteJpeg(photo)));
            ASSERT_NE(img.exif(), nullptr);
            EXPECT_EQ(img.exif()->imageWidth, 640) << make << " " << offset;
        }
    }
}

TEST(MakerNoteDirectory, EntriesSharingOneLargeValueStopAtTheCopyBudget) {
    // 100 entries all naming the same 60000-byte value: keeping them all would copy 6 MB.
    constexpr int kEntries = 100;
    MakerPhoto photo{kLittle, "Canon", "Canon EOS D60", "0220", {}};
    photo.note = [](std::uint32_t offset) {
        std::vector<NoteEntry> entries{undefinedEntry(0x0007, std::string(60000, 'x'))};
        const std::uint32_t shared = offset + 2 + 12 * kEntries + 4;
        for (int i = 1; i < kEntries; ++i) entries.push_back(NoteEntry{0x0007, 7, 60000, {}, shared});
        return buildMakerNote("", entries, ByteOrder::kLittle, offset);
    };
    ImgData img;
    EXPECT_TRUE(img.readJpeg(makerNoteJpeg(photo)));
    ASSERT_NE(img.exif(), nullptr);
    const auto records = makerRecords(*img.exif());
    EXPECT_GT(records.size(), 10u);
    EXPECT_LT(records.size(), static_cast<std::size_t>(kEntries));
    EXPECT_EQ(records.back().rawBytes, std::string(60000, 'x'));
    EXPECT_TRUE(img.statusText().starts_with("Error Detected = ")) << img.statusText();
    EXPECT_EQ(img.exif()->imageWidth, 640);
}

TEST(MakerNoteDirectory, TraceLevelLinesShowTagSizeRawBytesAndStart) {
    ImageInfo info;
    info.cameraMake = "Canon";
    info.cameraModel = "Canon EOS D30";
    info.traceLevel = 1;
    info.makerNoteBytes =
        buildMakerNote("", {shortEntry(0x0008, {7}, kLittle), shortEntry(0x000F, {6, 257}, kLittle)}, kLittle, 0);
    info.block = std::string(8, '\0') + info.makerNoteBytes;
    info.makerNotePos = 9;
    EXPECT_TRUE(readMakerNote(info));
    EXPECT_EQ(info.makerNoteText,
              "\r\ntag[$0008]: ImageNumber = 7 [size: 2] [raw: 07 00 ] [start: 11]"
              "\r\ntag[$000F]: CustomFunctions =  [size: 4] [raw: 06 00 01 01 ] [start: 23]" +
                  line("Noise Reduction", " On"));
}

TEST(MakerNoteSeeds, EverySeedReachesItsMakersTable) {
    const auto seeds = makerNoteSeedPhotos();
    EXPECT_EQ(seeds.size(), 12u);
    for (const auto& [name, bytes] : seeds) {
        ImgData img;
        ASSERT_TRUE(img.readImageBytes(name, bytes)) << name;
        ASSERT_NE(img.exif(), nullptr) << name;
        EXPECT_TRUE(img.exif()->makerNoteKnown) << name;
        // No line of an unknown tag: every entry met its table.
        EXPECT_FALSE(img.exif()->makerNoteText.empty()) << name;
        EXPECT_EQ(img.exif()->makerNoteText.find("Unknown"), std::string::npos) << name;
    }
}

// Writes the seeds into the reader fuzz target's corpus. Run by hand after changing them:
//   meta_tests --gtest_also_run_disabled_tests --gtest_filter='*WriteFuzzSeeds'
TEST(MakerNoteSeeds, DISABLED_WriteFuzzSeeds) {
    const std::filesystem::path folder = std::filesystem::path(MORROWTIDE_SOURCE_DIR) / "fuzz/corpus/reader_fuzz";
    ASSERT_TRUE(std::filesystem::is_directory(folder));
    for (const auto& [name, bytes] : makerNoteSeedPhotos()) {
        std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        ASSERT_TRUE(out.good()) << name;
    }
}

TEST(MakerNoteDirectory, BuildCodeChoosesLinesRecordsOrBoth) {
    const std::string note =
        buildMakerNote("", {shortEntry(0x0008, {7}, kLittle), shortEntry(0x000F, {6, 257}, kLittle)}, kLittle, 0);
    struct Case {
        int buildCode;
        bool lines;
        int records;  // ImageNumber, the sub-field, CustomFunctions
    };
    for (const Case c : {Case{2, true, 0}, Case{4, false, 3}, Case{255, true, 3}, Case{0, false, 0}}) {
        ImageInfo info(nullptr, c.buildCode);
        info.cameraMake = "Canon";
        info.makerNoteBytes = note;
        info.block = std::string(8, '\0') + note;
        info.makerNotePos = 9;
        EXPECT_TRUE(readMakerNote(info));
        EXPECT_EQ(!info.makerNoteText.empty(), c.lines) << c.buildCode;
        EXPECT_EQ(info.entryCount(), c.records) << c.buildCode;
    }
}
