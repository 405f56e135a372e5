// SPDX-License-Identifier: GPL-3.0-or-later
// Builders of synthetic container files for tests and fuzz seeds: ISO-BMFF boxes (HEIC items, CR3, movies), PNG
// chunks, RIFF/WebP chunks and the RAF header. Every size can be made to lie, so hostile files are easy.
//
//   std::string heic = heicFile({.tiff = tiff.build(), .xmp = "<x:xmpmeta/>"});
//   std::string movie = movieFile({.version = 1, .creation = 3'000'000'000});
//   std::string png = pngFile({pngChunk("tIME", pngTime(2020, 5, 4, 18, 39, 11))});
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/exif_builder.h"

namespace morrowtide::test {

std::string be16(std::uint16_t v);
std::string be32(std::uint32_t v);
std::string be64(std::uint64_t v);
std::string le32(std::uint32_t v);

// --- ISO-BMFF ---
// A box: 32-bit size (content + 8, or `statedSize` when given), type, content.
std::string box(std::string_view type, std::string_view content);
std::string boxWithSize(std::uint32_t statedSize, std::string_view type, std::string_view content);
// A box with the 64-bit size form (size field 1); `statedSize` 0 means the true size.
std::string largeBox(std::string_view type, std::string_view content, std::uint64_t statedSize = 0);
// A full box: version, 24-bit flags, then content.
std::string fullBox(std::string_view type, std::uint8_t version, std::string_view content, std::uint32_t flags = 0);
std::string uuidBox(std::string_view uuid16, std::string_view content);
std::string ftyp(std::string_view brand);

extern const std::string kXmpUuid;
extern const std::string kCanonUuid;

struct HeicSpec {
    std::string tiff{};               // the Exif item's TIFF structure (empty: no Exif item)
    std::string xmp{};                // the XMP item (empty: none)
    int ilocVersion = 1;            // 0, 1 or 2
    int constructionMethod = 0;     // 0: in mdat; 1: in idat
    int offsetSize = 4;             // iloc field sizes: 0, 4 or 8
    int lengthSize = 4;
    bool exifInTwoExtents = false;  // the Exif item in two extents, adjacent unless a gap is given
    std::uint32_t extentGap = 0;    // bytes the second extent is moved on by
    bool xmpOverExif = false;       // the XMP item's location is the Exif item's
    std::string brand = "heic";
};
// ftyp, meta (hdlr, iinf, iloc, idat), mdat. The Exif item is "\0\0\0\6Exif\0\0" + tiff.
std::string heicFile(const HeicSpec& spec);

// ftyp and a meta box whose iloc box (version 2, every field size 0) lists `items` items of `extents` extents
// each: an extent takes no byte of the box. The item count is stated as `statedItems` when not 0.
std::string heicWithEmptyExtents(std::uint32_t items, std::uint16_t extents, std::uint32_t statedItems = 0);
// As above with 4-byte offsets and lengths: one item stating `extents` extents while the box holds `held`.
std::string heicWithMissingExtents(std::uint16_t extents, std::uint16_t held);

struct MovieSpec {
    int version = 0;  // of mvhd, tkhd, mdhd
    std::uint64_t creation = 0;
    std::uint64_t modification = 0;
    int tracks = 1;
    std::string userDay{};       // udta/©day text (empty: none)
    std::string userDate{};      // udta/date text, as Android writes it (empty: none)
    std::string creationDate{};  // meta/keys/ilst com.apple.quicktime.creationdate (empty: none)
    std::string udtaXmp{};       // udta/XMP_ (empty: none)
    std::string uuidXmp{};       // top-level XMP uuid box (empty: none)
    std::string brand = "qt  ";
    std::string keysMake{};      // meta/keys/ilst com.apple.quicktime.make and .model, as a phone writes them
    std::string keysModel{};
    std::string userMake{};      // udta/\xA9mak and \xA9mod, as a camera writes them
    std::string userModel{};
};
std::string movieFile(const MovieSpec& spec);

// ftyp "crx ", moov with the maker uuid box (CMT1, CMT2) and an mvhd.
std::string cr3File(std::string_view cmt1, std::string_view cmt2, std::uint32_t creation);

// --- PNG ---
inline constexpr std::string_view kPngSignature{"\x89PNG\r\n\x1A\n", 8};
// Length, type, data and the CRC over type and data (`crc` overrides it when not 0).
std::string pngChunk(std::string_view type, std::string_view data, std::uint32_t crc = 0);
// Signature, IHDR, the chunks given, IEND.
std::string pngFile(const std::vector<std::string>& chunks);
std::string pngTime(int year, int month, int day, int hour, int minute, int second);
// A PNG of `count` tIME chunks, each a second later than the one before.
std::string pngWithTimes(std::size_t count);
// The data of an uncompressed XMP iTXt chunk.
std::string pngXmpText(std::string_view packet, bool compressed = false);

// --- RIFF / WebP ---
// Four-character code, little-endian size, data and a pad byte when the size is odd.
std::string riffChunk(std::string_view type, std::string_view data);
// "RIFF", size (of everything after it, or `statedSize` when not 0), "WEBP", VP8X, the chunks.
std::string webpFile(const std::vector<std::string>& chunks, std::uint32_t statedSize = 0);

// --- TIFF ---
// The metadata of a TIFF-based raw file, as the whole file: IFD0 with Make "Maker", `model` and DateTime, and an
// Exif directory with DateTimeOriginal; both dates read `date` ("YYYY:MM:DD HH:MM:SS"), in the byte order `order`.
std::string tiffPhoto(std::string_view date, std::string_view model = "Demo", ByteOrder order = ByteOrder::kLittle);

// --- RAF ---
// The 108-byte header (JPEG offset and length at byte 84), then the JPEG.
std::string rafFile(std::string_view jpeg);

}  // namespace morrowtide::test
