// SPDX-License-Identifier: GPL-3.0-or-later
// Olympus notes: an "OLYMP" header of 8 bytes, then a directory whose offsets count from the EXIF TIFF header.
#include "meta/makernote/maker_tables.h"

namespace morrowtide::meta::makernote {

namespace {

constexpr TagRow kOlympus[] = {
    {0x0200, "SpecialMode"},
    {0x0201, "JpegQual", {}, "1:SQ,2:HQ,3:SHQ,4:Raw"},
    {0x0202, "Macro", {}, "0:Normal,1:Macro"},
    {0x0203, "Skip"},
    {0x0204, "DigiZoom", "Digital Zoom Ratio"},
    {0x0205, "Skip"},
    {0x0206, "Skip"},
    {0x0207, "Firmware"},
    {0x0208, "PictInfo", "Picture Info"},
    {0x0209, "CameraID", "Camera ID"},
    {0x0F00, "Skip"},
    {0x1004, "FlashMode", "Flash Mode"},
    {0x1006, "Bracket"},
    {0x100B, "FocusMode", "Focus Mode"},
    {0x100C, "FocusDistance", "Focus Distance"},
    {0x100D, "Zoom"},
    {0x100E, "MacroFocus", "Macro Focus"},
    {0x100F, "Sharpness"},
    {0x1011, "ColorMatrix", "Color Matrix"},
    {0x1012, "BlackLevel", "Black Level"},
    {0x1015, "WhiteBalance", "White Balance"},
    {0x1017, "RedBias", "Red Bias"},
    {0x1018, "BlueBias", "Blue Bias"},
    {0x101A, "SerialNumber"},
    {0x1023, "FlashBias", "Flash Bias"},
    {0x1029, "Contrast"},
    {0x102A, "SharpnessFactor", "Sharpness Factor"},
    {0x102B, "ColorControl", "Color Control"},
    {0x102C, "ValidBits", "Valid Bits"},
    {0x102D, "Coring", "Coring Filter"},
    {0x102E, "FinalWidth", "Final Width"},
    {0x102F, "FinalHeight", "Final Height"},
    {0x1034, "CompressionRatio", "Compression Ratio"},
};
static_assert(std::size(kOlympus) == 33);

}  // namespace

std::span<const TagRow> olympusTable() {
    return kOlympus;
}

}  // namespace morrowtide::meta::makernote
