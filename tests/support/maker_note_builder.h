// SPDX-License-Identifier: GPL-3.0-or-later
// Synthetic maker notes (a header, a TIFF-style directory and its long values) and photos that carry them.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/exif_builder.h"

namespace morrowtide::test {

// One directory entry. `value` holds the bytes exactly as stored (already in the note's byte order); its length
// decides whether it sits in the entry (at most 4 bytes) or after the directory. `count` is written as given, so
// an entry may claim more or fewer bytes than `value` holds.
struct NoteEntry {
    std::uint16_t tag = 0;
    std::uint16_t format = 0;
    std::uint32_t count = 0;
    std::string value;
    // When set, the entry's last four bytes exactly (an offset pointing anywhere); `value` is then not placed.
    std::optional<std::uint32_t> field;
};

NoteEntry shortEntry(std::uint16_t tag, std::initializer_list<std::uint16_t> values, ByteOrder order);
NoteEntry longEntry(std::uint16_t tag, std::uint32_t value, ByteOrder order);
// Pairs of numerator and denominator.
NoteEntry rationalEntry(std::uint16_t tag, std::initializer_list<std::uint32_t> numbersAndDenominators,
                        ByteOrder order);
// ASCII with its terminating zero byte counted.
NoteEntry asciiEntry(std::uint16_t tag, std::string_view text);
NoteEntry undefinedEntry(std::uint16_t tag, std::string_view bytes);

// `header`, then at note byte header.size() the entry count, the entries, a zero next-directory link and the long
// values in entry order. A long value at note byte b gets the offset b + offsetShift: the note's own TIFF offset
// when offsets count from the EXIF TIFF header, -10 for a note with its own TIFF header at note byte 10, 0 when
// they count from the note's first byte.
std::string buildMakerNote(std::string_view header, const std::vector<NoteEntry>& entries, ByteOrder order,
                           std::int64_t offsetShift);

// Headers of the layouts that have one.
std::string nikonType3Header(ByteOrder order);  // "Nikon" 0 2 16 0 0 and a TIFF header: 18 bytes
std::string nikonType1Header();                 // "Nikon" 0 1 0
std::string olympusHeader();                    // "OLYMP" 0 1 0
std::string olympusMarkedHeader(ByteOrder order);  // "OLYMPUS" 0, "II" or "MM", 3 0: 12 bytes
std::string casioType2Header();                 // "QVC" 0 0 0
std::string fujifilmHeader();                   // "FUJIFILM" and the little-endian directory offset 12
std::string seikoHeader();                      // "EPSON" 0 1 0
std::string sanyoHeader();                      // "SANYO" 0 1 0

// Makes the note once its TIFF offset in the EXIF structure is known.
using NoteMaker = std::function<std::string(std::uint32_t noteTiffOffset)>;

struct MakerPhoto {
    ByteOrder order = ByteOrder::kLittle;
    std::string make;
    std::string model = "Test Camera";
    std::string exifVersion = "0220";  // empty: no ExifVersion entry
    NoteMaker note;
};

// A TIFF structure: IFD0 with Make, Model and the EXIF link; the EXIF directory with ExifVersion, DateTimeOriginal
// "2004:05:06 07:08:09", the MakerNote, and after it ExifImageWidth 640 (to see the walk go on after the note).
std::string makerNoteTiff(const MakerPhoto& photo);
// The same structure in the APP1 section of a small decodable JPEG.
std::string makerNoteJpeg(const MakerPhoto& photo);

// One small photo per maker-note layout (file name, bytes), each with entries that reach the layout's lists and
// decoders: seeds for the reader's fuzz target. Names end in ".jpg", or ".tif" for the TIFF-file Nikon case.
std::vector<std::pair<std::string, std::string>> makerNoteSeedPhotos();

}  // namespace morrowtide::test
