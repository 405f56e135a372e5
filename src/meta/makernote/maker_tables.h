// SPDX-License-Identifier: GPL-3.0-or-later
// The private tag tables of the camera makers, their decoders, and the layout of each maker's note.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "meta/tag_entry.h"

namespace morrowtide::meta {

class ImageInfo;

namespace makernote {

// One table per note layout. The first row of each is never recorded nor decoded (the walk treats it like an
// unnamed entry that still gets its line), so row order matters.
std::span<const TagRow> nikonType1Table();
std::span<const TagRow> nikonType3Table();
std::span<const TagRow> olympusTable();
std::span<const TagRow> casioType1Table();
std::span<const TagRow> casioType2Table();
std::span<const TagRow> fujifilmTable();
std::span<const TagRow> canonTable();
std::span<const TagRow> seikoTable();
std::span<const TagRow> sanyoTable();
std::span<const TagRow> minoltaTable();

// Decoders named by the rows above.
std::string decodeCanonSettings1(std::string_view text, DecodeContext& context);
std::string decodeCanonSettings2(std::string_view text, DecodeContext& context);
std::string decodeCanonCustomFunctions(std::string_view text, DecodeContext& context);
std::string decodeNikonLens(std::string_view text, DecodeContext& context);
std::string decodeNikonColorMode(std::string_view text, DecodeContext& context);

// Plain text helpers of the decoders.
std::string_view textBefore(std::string_view s, std::string_view sep);     // all of s when sep does not occur
std::string_view textAfter(std::string_view s, std::string_view sep);      // empty when sep does not occur
std::string_view itemOf(std::string_view s, std::string_view sep, int n);  // 1-based; blanks kept
int countOf(std::string_view s, std::string_view sep);

// Offers one decoded sub-field to the tag list and adds its "\r\n" caption " = " text line to `lines`. Blank
// texts add nothing.
void addSubField(DecodeContext& context, std::string& lines, std::string_view caption, std::string_view text);

// Where a note's value offsets count from.
enum class OffsetOrigin {
    kExifTiffHeader,  // the TIFF header of the EXIF block that holds the note
    kNoteTiffHeader,  // the note's own TIFF header, at note byte 10
    kNoteStart,       // the note's first byte
};

// Everything the directory walk needs to know about one maker's note.
struct MakerLayout {
    std::string_view label;  // for tests and diagnostics, e.g. "Nikon type 3"
    std::span<const TagRow> table;
    std::int64_t directoryStart = 0;  // note byte (0-based) of the entry count
    OffsetOrigin origin = OffsetOrigin::kExifTiffHeader;
    bool forceLittleEndian = false;  // read whatever the EXIF byte order is
    // Note byte of an "II"/"MM" mark that gives the note's own byte order; -1 when the note has none and is read
    // in the block's order (or, when that gives no sensible directory, the other one).
    std::int64_t byteOrderMarkAt = -1;
    // Added to offsets counted from the note's first byte: a note moved without its offsets being fixed.
    std::int64_t noteStartShift = 0;
};

// Picks the layout from the camera make (its first five letters, upper-cased), and for Nikon from the EXIF
// version, the model and the note's header. Nothing for a make no table serves.
std::optional<MakerLayout> selectMakerLayout(const ImageInfo& info, std::string_view note);

// The maker's name key: the first five characters of the make, ASCII upper-cased.
std::string makeKey(std::string_view cameraMake);

}  // namespace makernote
}  // namespace morrowtide::meta
