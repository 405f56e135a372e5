// SPDX-License-Identifier: GPL-3.0-or-later
// Seiko Epson notes: an 8-byte header, then a directory with offsets from the EXIF TIFF header.
#include "meta/makernote/maker_tables.h"

namespace morrowtide::meta::makernote {

namespace {

constexpr TagRow kSeiko[] = {
    {0x0200, "Special Mode"}, {0x0201, "JpegQuality"}, {0x0202, "Macro"},    {0x0203, "Skip"},
    {0x0204, "DigiZoom"},     {0x0209, "CameraID"},    {0x020A, "Comments"}, {0x020B, "Width"},
    {0x020C, "Height"},       {0x020D, "SoftRelease"}, {0x0300, "??"},       {0x0F00, "skip"},
};
static_assert(std::size(kSeiko) == 12);

}  // namespace

std::span<const TagRow> seikoTable() {
    return kSeiko;
}

}  // namespace morrowtide::meta::makernote
