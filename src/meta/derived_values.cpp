// SPDX-License-Identifier: GPL-3.0-or-later
// Values computed from the recorded entries rather than read from the file.
#include <cmath>

#include "meta/image_info.h"
#include "meta/tag_tables.h"
#include "meta/value_format.h"

namespace morrowtide::meta {

namespace {
// Diagonal of a 36 x 24 mm frame, kept with the eight decimals the program has always used.
constexpr double kFilmDiagonal = 43.26661531;
constexpr std::uint16_t kFocalLength35mmTag = 0xA405;
constexpr double kMinPlausibleFocal = 1.0;     // millimetres
constexpr double kMaxPlausibleFocal = 5000.0;
}  // namespace

void ImageInfo::addFocalLength35mm() {
    if (indexOfTag("FocalLengthin35mmFilm") >= 0) return;

    std::int64_t unit = integerByName("FocalPlaneResolutionUnit");
    if (unit <= 0) unit = integerByName("ResolutionUnit");
    const double factor = unit == 2 ? 25.4 : unit == 3 ? 10.0 : 0.0;  // millimetres per inch / centimetre
    const double focal = numberByName("FocalLength");
    if (factor == 0 || focal == 0) return;

    double sensorWidth = 0, sensorHeight = 0;
    const std::int64_t xres = integerByName("FocalPlaneXResolution");
    if (xres > 0) sensorWidth = imageWidth * factor / static_cast<double>(xres);
    const std::int64_t yres = integerByName("FocalPlaneYResolution");
    if (yres > 0) sensorHeight = imageHeight * factor / static_cast<double>(yres);
    if (!(sensorWidth * sensorHeight > 0)) return;

    const double crop = kFilmDiagonal / std::sqrt(sensorWidth * sensorWidth + sensorHeight * sensorHeight);
    const double value = focal * crop;
    // Resized or edited photos keep the focal-plane resolution of the original size, which gives lengths no lens
    // has; those are left out rather than shown.
    if (!(value >= kMinPlausibleFocal && value <= kMaxPlausibleFocal)) return;

    const int row = indexOfTableName("FocalLengthIn35mmFilm");
    if (row < 0) return;
    TagEntry entry = entryFromRow(exifTagTable()[static_cast<std::size_t>(row)]);
    entry.text = formatPattern("%5.2f", value);
    entry.rawBytes.clear();
    entry.formatSpec = "%s mm";
    entry.format = 10;  // SRATIONAL
    entry.rawPos = 0;
    entry.rawSize = 0;
    storeEntry(entry);
    trace += traceLine(entry.caption, entry.text, kFocalLength35mmTag, 0, 0);
}

}  // namespace morrowtide::meta
