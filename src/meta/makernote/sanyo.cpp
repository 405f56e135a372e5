// SPDX-License-Identifier: GPL-3.0-or-later
// Sanyo notes: an 8-byte header, then a directory with offsets from the EXIF TIFF header.
#include "meta/makernote/maker_tables.h"

namespace morrowtide::meta::makernote {

namespace {

constexpr TagRow kSanyo[] = {
    {0x0200, "Special Mode"}, {0x0201, "JpegQuality"}, {0x0202, "Macro"},
    {0x0203, "Skip"},         {0x0204, "DigiZoom"},    {0x0F00, "DataDump"},
};
static_assert(std::size(kSanyo) == 6);

}  // namespace

std::span<const TagRow> sanyoTable() {
    return kSanyo;
}

}  // namespace morrowtide::meta::makernote
