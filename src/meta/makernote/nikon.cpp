// SPDX-License-Identifier: GPL-3.0-or-later
// Nikon notes: the early Coolpix layout behind a "Nikon" header, and the later one (with or without its own TIFF
// header), with the lens and colour-mode decoders.
#include <cstdio>
#include <string>

#include "meta/makernote/maker_tables.h"
#include "meta/value_format.h"

namespace morrowtide::meta::makernote {

namespace {

constexpr TagRow kNikonType1[] = {
    {0x0002, "FamilyID"},
    {0x0003,
     "Quality",
     {},
     "1:Vga Basic,2:Vga Normal,3:Vga Fine,4:SXGA Basic,5:SXGA Normal,6:SXGA Fine,10:2 Mpixel Basic,"
     "11:2 Mpixel Normal,12:2 Mpixel Fine"},
    {0x0004, "ColorMode", {}, "1:Color,2:Monochrome"},
    {0x0005, "ImageAdjustment", {}, "0:Normal,1:Bright+,2:Bright-,3:Contrast+,4:Contrast-"},
    {0x0006, "ISOSpeed", {}, "0:ISO80,2:ISO160,4:ISO320,5:ISO100"},
    {0x0007, "WhiteBalance", {}, "0:Auto,1:Preset,2:Daylight,3:Incandescense,4:Fluorescence,5:Cloudy,6:SpeedLight"},
    {0x0008, "Focus"},
    {0x0009, "Skip"},
    {0x000A, "DigitalZoom"},
    {0x000B, "Converter", {}, "0:Not used,1:Used"},
    {0x0F00, "Skip"},
};

constexpr TagRow kNikonType3[] = {
    {0x0001, "FamilyID", "Family ID"},
    {0x0002, "ISOSpeed", "ISO Speed"},
    {0x0003, "ColorMode", "Color Mode"},
    {0x0004, "Quality"},
    {0x0005, "WhiteBalance", "White Balance"},
    {0x0006, "ImageSharpening", "Image Sharpening"},
    {0x0007, "FocusMode", "Focus Mode"},
    {0x0008, "FlashSetting", "Flash Setting"},
    {0x0009, "AutoFlashMode", "Auto Flash Mode"},
    {0x000A, "Skip"},
    {0x000B, "WhiteBiasValue", "White Bias Value"},
    {0x000F, "DigitalZoom", "Digital Zoom"},
    {0x0010, "Skip"},
    {0x0011, "Skip"},
    {0x0080, "ImageAdjustment", "Image Adjustment"},
    {0x0081, "ImageAdjustment", "Image Adjustment"},
    {0x0082, "Adapter"},
    {0x0084, "LensInformation", "Lens information", {}, {}, decodeNikonLens},
    {0x0085, "ManualFocusDistance", "Manual Focus Distance"},
    {0x0086, "DigitalZoom", "Digital Zoom"},
    {0x0088, "FocusArea", "Focus Area"},
    {0x0089, "Mode"},
    {0x008D, "ColorMode", "Color Mode", {}, {}, decodeNikonColorMode},
    {0x008F, "SceneMode", "Scene Mode"},
    {0x0092, "HueAdjustment", "Hue Adjustment"},
    {0x0094, "Saturation"},
    {0x0095, "NoiseReduction", "Noise Reduction"},
    {0x0F00, "Skip"},
};

static_assert(std::size(kNikonType1) == 11);
static_assert(std::size(kNikonType3) == 28);

// The number before the first ", " of `rest`; `rest` moves on to at most 64 characters after that comma (its
// leading blank kept). Without a ", " the number is 0 and `rest` stays as it is.
double takeRational(std::string& rest) {
    const auto comma = rest.find(", ");
    if (comma == std::string::npos) return 0.0;
    const double value = rationalToFloat(std::string_view(rest).substr(0, comma));
    rest = rest.substr(comma + 1, 64);
    return value;
}

}  // namespace

std::span<const TagRow> nikonType1Table() {
    return kNikonType1;
}
std::span<const TagRow> nikonType3Table() {
    return kNikonType3;
}

// Four rationals: shortest and longest focal length, then the apertures at both ends.
std::string decodeNikonLens(std::string_view text, DecodeContext&) {
    std::string rest(text);
    const double a = takeRational(rest);
    const double b = takeRational(rest);
    const double c = takeRational(rest);
    const double d = rationalToFloat(rest);
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, "%0.1f-%0.1f(mm)  F%0.1f-F%0.1f", a, b, c, d);
    return buffer;
}

// The value is an ASCII text shown in double quotes: "MODE1   " and the like.
std::string decodeNikonColorMode(std::string_view text, DecodeContext&) {
    const std::string_view mode = text.substr(text.empty() ? 0 : 1, 5);
    if (mode == "MODE1") return "Mode1 (sRGB)";
    if (mode == "MODE2") return "Mode 2 (Adobe RGB)";
    if (mode == "MODE3") return "Mode 3 (sRGB): higher saturation";
    return std::string(mode);
}

}  // namespace morrowtide::meta::makernote
