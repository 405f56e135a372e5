// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/maker_note_builder.h"

namespace morrowtide::test {

namespace {
std::string u32s(std::initializer_list<std::uint32_t> values, ByteOrder order) {
    std::string bytes;
    for (const auto v : values) bytes += bytes32(v, order);
    return bytes;
}
}  // namespace

NoteEntry shortEntry(std::uint16_t tag, std::initializer_list<std::uint16_t> values, ByteOrder order) {
    std::string bytes;
    for (const auto v : values) bytes += bytes16(v, order);
    return {tag, 3, static_cast<std::uint32_t>(values.size()), bytes, std::nullopt};
}

NoteEntry longEntry(std::uint16_t tag, std::uint32_t value, ByteOrder order) {
    return {tag, 4, 1, bytes32(value, order), std::nullopt};
}

NoteEntry rationalEntry(std::uint16_t tag, std::initializer_list<std::uint32_t> numbersAndDenominators,
                        ByteOrder order) {
    std::string bytes;
    for (const auto v : numbersAndDenominators) bytes += bytes32(v, order);
    return {tag, 5, static_cast<std::uint32_t>(numbersAndDenominators.size() / 2), bytes, std::nullopt};
}

NoteEntry asciiEntry(std::uint16_t tag, std::string_view text) {
    std::string value(text);
    value += '\0';
    return {tag, 2, static_cast<std::uint32_t>(value.size()), value, std::nullopt};
}

NoteEntry undefinedEntry(std::uint16_t tag, std::string_view bytes) {
    return {tag, 7, static_cast<std::uint32_t>(bytes.size()), std::string(bytes), std::nullopt};
}

std::string buildMakerNote(std::string_view header, const std::vector<NoteEntry>& entries, ByteOrder order,
                           std::int64_t offsetShift) {
    std::string note(header);
    note += bytes16(static_cast<std::uint16_t>(entries.size()), order);
    const std::size_t valuesStart = note.size() + 12 * entries.size() + 4;
    std::string values;
    for (const NoteEntry& entry : entries) {
        note += bytes16(entry.tag, order);
        note += bytes16(entry.format, order);
        note += bytes32(entry.count, order);
        if (entry.field) {
            note += bytes32(*entry.field, order);
        } else if (entry.value.size() <= 4) {
            std::string field = entry.value;
            field.resize(4, '\0');
            note += field;
        } else {
            const std::int64_t at = static_cast<std::int64_t>(valuesStart + values.size());
            note += bytes32(static_cast<std::uint32_t>(at + offsetShift), order);
            values += entry.value;
        }
    }
    note += bytes32(0, order);
    return note + values;
}

std::string nikonType3Header(ByteOrder order) {
    std::string header("Nikon\0\x02\x10\0\0", 10);
    header += order == ByteOrder::kBig ? "MM" : "II";
    header += bytes16(42, order);
    header += bytes32(8, order);
    return header;
}

std::string nikonType1Header() {
    return std::string("Nikon\0\x01\0", 8);
}
std::string olympusHeader() {
    return std::string("OLYMP\0\x01\0", 8);
}
std::string olympusMarkedHeader(ByteOrder order) {
    return std::string("OLYMPUS\0", 8) + (order == ByteOrder::kBig ? "MM" : "II") + std::string("\x03\0", 2);
}
std::string casioType2Header() {
    return std::string("QVC\0\0\0", 6);
}
std::string seikoHeader() {
    return std::string("EPSON\0\x01\0", 8);
}
std::string sanyoHeader() {
    return std::string("SANYO\0\x01\0", 8);
}
std::string fujifilmHeader() {
    return std::string("FUJIFILM", 8) + bytes32(12, ByteOrder::kLittle);
}

namespace {

// Builds the structure with the note made for `noteOffset`; reports where the note landed.
std::string buildStructure(const MakerPhoto& photo, std::uint32_t noteOffset, std::uint32_t& landedAt) {
    TiffBuilder tiff(photo.order);
    const auto ifd0 = tiff.directory();
    const auto exif = tiff.directory();
    tiff.ascii(ifd0, 0x010F, photo.make);
    tiff.ascii(ifd0, 0x0110, photo.model);
    tiff.link(ifd0, 0x8769, exif);
    if (!photo.exifVersion.empty()) tiff.undefined(exif, 0x9000, photo.exifVersion);
    tiff.ascii(exif, 0x9003, "2004:05:06 07:08:09");
    const int noteIndex = tiff.undefined(exif, 0x927C, photo.note(noteOffset));
    tiff.longValue(exif, 0xA002, 640);
    landedAt = tiff.valueOffset(exif, noteIndex);
    return tiff.build();
}

}  // namespace

std::string makerNoteTiff(const MakerPhoto& photo) {
    // The note's length does not depend on its offset, so a first build tells where it lands.
    std::uint32_t offset = 0;
    buildStructure(photo, 0, offset);
    std::uint32_t landed = 0;
    return buildStructure(photo, offset, landed);
}

std::string makerNoteJpeg(const MakerPhoto& photo) {
    return JpegBuilder().app1Exif(makerNoteTiff(photo)).imageData().build();
}

std::vector<std::pair<std::string, std::string>> makerNoteSeedPhotos() {
    constexpr auto le = ByteOrder::kLittle;
    constexpr auto be = ByteOrder::kBig;
    const auto relative = [](std::string header, std::vector<NoteEntry> entries, ByteOrder order) -> NoteMaker {
        return [=](std::uint32_t offset) { return buildMakerNote(header, entries, order, offset); };
    };
    const auto own = [](std::string header, std::vector<NoteEntry> entries, ByteOrder order,
                        std::int64_t shift) -> NoteMaker {
        return [=](std::uint32_t) { return buildMakerNote(header, entries, order, shift); };
    };
    const std::vector<NoteEntry> nikon3 = {
        undefinedEntry(0x0001, "0210"), shortEntry(0x0002, {0, 200}, be),
        asciiEntry(0x0004, "FINE   "),  rationalEntry(0x0084, {180, 10, 700, 10, 35, 10, 45, 10}, be),
        asciiEntry(0x008D, "MODE1   "), undefinedEntry(0x0011, "skipped")};
    std::vector<std::pair<std::string, std::string>> seeds;
    seeds.emplace_back("maker_nikon3_header_mm.jpg", makerNoteJpeg({be, "NIKON CORPORATION", "NIKON D70", "0221",
                                                                    own(nikonType3Header(be), nikon3, be, -10)}));
    seeds.emplace_back("maker_nikon1_ii.jpg",
                       makerNoteJpeg({le, "NIKON", "E900", "0200",
                                      relative(nikonType1Header(),
                                               {asciiEntry(0x0002, "09.41"), shortEntry(0x0003, {5}, le),
                                                shortEntry(0x0007, {6}, le), rationalEntry(0x000A, {0, 100}, le)},
                                               le)}));
    seeds.emplace_back("maker_nikon3_bare_ii.jpg",
                       makerNoteJpeg({le, "NIKON", "E990", "0210",
                                      relative("",
                                               {undefinedEntry(0x0001, "0100"), asciiEntry(0x0003, "COLOR"),
                                                rationalEntry(0x0084, {80, 10, 240, 10, 28, 10, 48, 10}, le)},
                                               le)}));
    seeds.emplace_back("maker_nikon_d1.tif",
                       makerNoteTiff({le, "NIKON", "NIKON D1", "",
                                      own(nikonType3Header(le),
                                          {undefinedEntry(0x0001, "0100"),
                                           rationalEntry(0x0084, {240, 10, 850, 10, 28, 10, 40, 10}, le)},
                                          le, -10)}));
    seeds.emplace_back("maker_olympus_ii.jpg",
                       makerNoteJpeg({le, "OLYMPUS OPTICAL CO.,LTD", "C3030Z", "0210",
                                      relative(olympusHeader(),
                                               {NoteEntry{0x0200, 4, 3, u32s({0, 1, 2}, le), std::nullopt},
                                                shortEntry(0x0201, {2}, le), shortEntry(0x0202, {0}, le),
                                                asciiEntry(0x0209, "OLYMPUS DIGITAL CAMERA")},
                                               le)}));
    seeds.emplace_back("maker_casio1_mm.jpg",
                       makerNoteJpeg({be, "CASIO", "QV-3000EX", "0210",
                                      relative("",
                                               {shortEntry(0x0001, {1}, be), shortEntry(0x0002, {3}, be),
                                                longEntry(0x000A, 65537, be), shortEntry(0x0014, {64}, be)},
                                               be)}));
    seeds.emplace_back(
        "maker_casio2_mm.jpg",
        makerNoteJpeg({be, "CASIO COMPUTER CO.,LTD", "EX-Z3", "0220",
                       relative(casioType2Header(),
                                {shortEntry(0x0002, {320, 240}, be), undefinedEntry(0x0E00, "PrintIM0300"),
                                 shortEntry(0x2012, {1}, be), asciiEntry(0x3006, "New York")},
                                be)}));
    seeds.emplace_back(
        "maker_fujifilm_in_mm.jpg",
        makerNoteJpeg({be, "FUJIFILM", "FinePix S5500", "0220",
                       own(fujifilmHeader(),
                           {undefinedEntry(0x0000, "0130"), asciiEntry(0x1000, "NORMAL "), shortEntry(0x1001, {3}, le),
                            shortEntry(0x1002, {1024}, le), shortEntry(0x1031, {256}, le)},
                           le, 0)}));
    seeds.emplace_back(
        "maker_canon_ii.jpg",
        makerNoteJpeg(
            {le, "Canon", "Canon PowerShot S30", "0220",
             relative(
                 "",
                 {shortEntry(0x0001, {66, 2, 0,     3, 5,     0,     0,   4,   0,  1,   6,   8, 0,    65535, 0, 1, 15,
                                      3,  1, 12289, 0, 65535, 65535, 682, 227, 32, 113, 192, 0, 8192, 0,     0, 1},
                             le),
                  shortEntry(0x0004, {54, 0, 128, 271, 116, 287, 0, 4, 0, 3, 2, 0, 0, 0, 12294, 65504, 0, 0, 0, 250},
                             le),
                  asciiEntry(0x0006, "IMG:PowerShot S30 JPEG"), longEntry(0x0008, 1000002, le),
                  shortEntry(0x000F, {30, 257, 512, 769, 1793, 3841}, le)},
                 le)}));
    seeds.emplace_back("maker_seiko_ii.jpg",
                       makerNoteJpeg({le, "SEIKO EPSON CORP.", "PhotoPC 3000Z", "0210",
                                      relative(seikoHeader(),
                                               {shortEntry(0x0201, {3}, le), asciiEntry(0x0209, "EPSON DIGITAL CAMERA"),
                                                shortEntry(0x020B, {2048}, le), undefinedEntry(0x0F00, "dump")},
                                               le)}));
    seeds.emplace_back(
        "maker_sanyo_ii.jpg",
        makerNoteJpeg({le, "SANYO Electric Co.,Ltd.", "SR662", "0210",
                       relative(sanyoHeader(),
                                {shortEntry(0x0201, {262}, le), shortEntry(0x0202, {0}, le),
                                 rationalEntry(0x0204, {0, 100}, le), undefinedEntry(0x0F00, "DataDump")},
                                le)}));
    seeds.emplace_back(
        "maker_minolta_mm.jpg",
        makerNoteJpeg({be, "Minolta Co., Ltd.", "DiMAGE X", "0220",
                       relative("", {undefinedEntry(0x0000, "MLT0"), undefinedEntry(0x0E00, "PrintIM0100")}, be)}));
    return seeds;
}

}  // namespace morrowtide::test
