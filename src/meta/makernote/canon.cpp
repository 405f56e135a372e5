// SPDX-License-Identifier: GPL-3.0-or-later
// Canon notes: a bare directory whose composite entries (camera settings, shot info, custom functions) are
// arrays of 16-bit numbers that the decoders below split into named fields.
#include <charconv>
#include <cstdint>
#include <string>

#include "meta/image_info.h"
#include "meta/makernote/maker_tables.h"
#include "meta/value_format.h"

namespace morrowtide::meta::makernote {

namespace {

constexpr TagRow kCanon[] = {
    {0x0000, "Skip"},
    {0x0001, "ExposureInfo1", {}, {}, {}, decodeCanonSettings1},
    {0x0002, "Skip"},
    {0x0003, "Skip"},
    {0x0004, "ExposureInfo2", {}, {}, {}, decodeCanonSettings2},
    {0x0006, "ImageType"},
    {0x0007, "FirmwareVersion"},
    {0x0008, "ImageNumber"},
    {0x0009, "OwnerName"},
    {0x000A, "Skip"},
    {0x000B, "Skip"},
    {0x000C, "CameraSerialNumber"},
    {0x000D, "Skip"},
    {0x000E, "Skip"},
    {0x000F, "CustomFunctions", {}, {}, {}, decodeCanonCustomFunctions},
    {0x0010, "Skip"},
};
static_assert(std::size(kCanon) == 16);

// One field of a composite value: the 1-based item of the ", "-joined array, shown through `list`, or as it
// stands (leading blank included) when the field has no list.
struct ArrayField {
    std::string_view caption;
    int item;
    std::string_view list;
};

constexpr std::string_view kLowNormalHigh = "65535:Low,0:Normal,1:High";

// Item k + 1 holds array index k; item 1 is the array's byte length. The raw fields read the index the camera
// stores them at (self-timer 2, flash bits 29; sequence number 9, AF points in focus 14, subject distance 19).
// The camera's own meanings where they are known; a number without one is shown as the number.
constexpr ArrayField kSettings1Fields[] = {
    {"Macro mode", 2, "1:Macro,2:Normal"},
    {"Self Timer", 3, {}},
    {"Compression Rate", 4, "1:Economy,2:Normal,3:Fine,4:RAW,5:Superfine,7:CRAW"},
    {"Flash Mode", 5, "0:Not fired,1:Auto,2:On,3:Red-eye,4:Slow sync,5:Auto+red-eye,6:On+red eye,16:External flash"},
    {"Drive Mode", 6, "0:Single,1:Continuous"},
    {"Focus Mode", 8, "0:One-Shot,1:AI Servo,2:AI Focus,3:MF,4:Single,5:Continuous,6:MF"},
    {"Image Size", 11, "0:Large,1:Medium,2:Small,4:5MPixel,5:2 MPixel,6:1.5 MPixel"},
    {"Easy Shoot", 12,
     "0:Full Auto,1:Manual,2:Landscape,3:Fast Shutter,4:Slow Shutter,5:Night,6:B&W,7:Sepia,8:Portrait,9:Sports,"
     "10:Macro/Close-Up,11:Pan Focus"},
    {"Contrast", 14, kLowNormalHigh},
    {"Saturation", 15, kLowNormalHigh},
    {"Sharpness", 16, kLowNormalHigh},
    {"CCD ISO", 17, "0:Not used,15:auto,16:50,17:100,18:200,19:400"},
    {"Metering Mode", 18, "0:Default,1:Spot,2:Average,3:Evaluative,4:Partial,5:Center-weighted average"},
    {"AF Point", 20,
     "8197:Manual AF point selection,12288:None (MF),12289:Auto AF point selection,12290:Right,12291:Center,"
     "12292:Left,16385:Auto AF point selection,16390:Face Detect"},
    {"Exposure Mode", 21,
     "0:Easy,1:Program AE,2:Shutter speed priority AE,3:Aperture-priority AE,4:Manual,5:Depth-of-field AE,"
     "6:M-Dep,7:Bulb,8:Flexible-priority AE"},
    {"Long focal", 24, {}},
    {"Short focal", 25, {}},
    {"Focal Units", 26, {}},
    {"Flash Details", 30, {}},
    {"Focus Mode", 33, "0:Single,1:Continuous,8:Manual"},
};

constexpr ArrayField kSettings2Fields[] = {
    {"White balance", 8, "0:Auto,1:Sunny,2:Cloudy,3:Tungsten,4:Flourescent,5:Flash,6:Custom"},
    {"Sequence Number", 10, {}},
    {"OpticalZoom Step", 11, {}},
    {"AF point", 15, {}},
    {"Flash bias", 16,
     "65472:-2 EV,65484:-1.67 EV,65488:-1.50 EV,65492:-1.33 EV,65504:-1 EV,65516:-0.67 EV,65520:-0.50 EV,"
     "65524:-0.33 EV,0:0 EV,12:0.33 EV,16:0.50 EV,20:0.67 EV,32:1 EV,44:1.33 EV,48:1.50 EV,52:1.67 EV,64:2 EV"},
    {"Distance", 20, {}},
};

struct CustomFunction {
    std::string_view caption;
    std::string_view list;
};

// Indexed by function number - 1. The AEB row's settings hold commas in the camera's own wording, which a
// decode list cannot carry; they are written with semicolons instead.
constexpr CustomFunction kCustomFunctions[] = {
    {"Noise Reduction", "0: Off,1: On"},
    {"Shutter AE Lock Button", "0:AF/AE lock,1:AE lock/AF,2:AF/AF lock,3:AE+release/AE+AF"},
    {"Mirror Lockup", "0:Disable,1:Enable"},
    {"Exposure Level", "0:1/2 stop,1:1/3 stop"},
    {"AF Assist", "0:On (auto),1:Off"},
    {"AV Shutter Speed", "0:Automatic,1: 1/200 (fixed)"},
    {"AEB Sequence", "0:0; -; + / Enabled,1:0; -; + / Disabled,2:-; 0; + / Enabled,3:-; 0; + / Disabled"},
    {"Shutter Sync", "0:1st-curtain sync,1: 2nd-curtain sync"},
    {"Lens AF Button", "0:AF stop,1:Operate AF,2:Lock AE and start timer"},
    {"Fill Flash Reduction", "0:Enable,1:Disable"},
    {"Menu Return", "0:Top,1:Previous (volatile),2:Previous"},
    {"Set Button", "0:Not assigned,1:Change quality,2:Change ISO speed,3:Select parameters"},
    {"Sensor Cleaning", "0:Disable,1:Enable"},
    {"Superimposed Display", "0: On,1: Off"},
    {"Shutter Release w/o CF Card", "0:Enable,1:Disable"},
};

std::string_view trimmedItem(std::string_view item) {
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    return item;
}

// The function table above was written for the first generation of bodies; later ones number their functions
// differently, so elsewhere only the numbers are shown.
bool customFunctionTableFits(const DecodeContext& context) {
    if (context.imageInfo == nullptr) return false;
    const std::string_view model = context.imageInfo->cameraModel;
    return model.ends_with("EOS D30") || model.ends_with("EOS D60");
}

std::string decodeFields(std::string_view text, DecodeContext& context, std::span<const ArrayField> fields) {
    context.multiLineResult = true;
    std::string lines;
    for (const ArrayField& field : fields) {
        const std::string_view item = itemOf(text, ",", field.item);
        if (field.list.empty()) {
            addSubField(context, lines, field.caption, item);
        } else {
            const std::string word = lookupDecode(field.list, item);
            addSubField(context, lines, field.caption, word.empty() ? trimmedItem(item) : std::string_view(word));
        }
    }
    return lines;
}

// Leading blanks, an optional sign and decimal digits, nothing else.
bool parseInteger(std::string_view text, std::int64_t& value) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::span<const TagRow> canonTable() {
    return kCanon;
}

std::string decodeCanonSettings1(std::string_view text, DecodeContext& context) {
    return decodeFields(text, context, kSettings1Fields);
}

std::string decodeCanonSettings2(std::string_view text, DecodeContext& context) {
    return decodeFields(text, context, kSettings2Fields);
}

// Each item is function number * 256 + setting. The first item is the array's byte length (function 0), so it
// adds nothing; every other item, the last one included, is examined.
std::string decodeCanonCustomFunctions(std::string_view text, DecodeContext& context) {
    context.multiLineResult = true;
    std::string lines;
    const int items = countOf(text, ",") + 1;
    for (int k = 1; k <= items; ++k) {
        std::int64_t value = 0;
        if (!parseInteger(itemOf(text, ",", k), value) || value < 0) continue;
        const std::int64_t function = value / 256;
        const std::int64_t setting = value % 256;
        if (!customFunctionTableFits(context)) {
            if (function < 1) continue;
            addSubField(context, lines, "Custom Function " + std::to_string(function), std::to_string(setting));
            continue;
        }
        if (function < 1 || function > static_cast<std::int64_t>(std::size(kCustomFunctions))) continue;
        const CustomFunction& row = kCustomFunctions[function - 1];
        addSubField(context, lines, row.caption, lookupDecode(row.list, std::to_string(setting)));
    }
    return lines;
}

}  // namespace morrowtide::meta::makernote
