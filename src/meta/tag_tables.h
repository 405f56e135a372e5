// SPDX-License-Identifier: GPL-3.0-or-later
// The constant tag tables of the EXIF reader and their lookups.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "meta/tag_entry.h"

namespace morrowtide::meta {

// Directory kinds of the walker.
enum DirectoryKind : int { kMainDirectory = 1, kGpsDirectory = 2, kThumbnailDirectory = 4 };

// 251 rows: the 250 real TIFF/EXIF/interoperability tags in ascending order, then the "Unknown" row (tag 0).
std::span<const TagRow> exifTagTable();
// 31 rows, GPS tags 0x00 to 0x1E.
std::span<const TagRow> gpsTagTable();
// 30 rows naming the JPEG marker codes (tag = marker byte).
std::span<const TagRow> sectionNameTable();

// Every field 0 or empty: what a failed name lookup in a tag list returns.
const TagEntry& emptyTagEntry();

// Gives every row without a caption the caption splitCamelCase(name). Safe to call from several threads;
// only the first call does the work.
void fillCaptions();

// "GPSLatitudeRef" -> "GPSLatitude Ref": a blank before each 'A'..'Z' that follows a non-capital.
std::string splitCamelCase(std::string_view name);

// A copy of a table row as a TagEntry (caption filled). Never fails: an unknown tag gives the "Unknown" row.
TagEntry lookupEntry(std::uint16_t tag, int kind);

// Index (0-based) of the first real ExifTagTable row whose name equals `name` without regard to ASCII case, or -1.
int indexOfTableName(std::string_view name);

// A TagEntry made from any table row, with the row's caption, or splitCamelCase(name) when it has none.
TagEntry entryFromRow(const TagRow& row);

}  // namespace morrowtide::meta
