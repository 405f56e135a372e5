// SPDX-License-Identifier: GPL-3.0-or-later
// The copies of the capture dates a JPEG carries besides its EXIF dates (XMP, extended XMP, IPTC), found in the
// sections the container kept and moved in place there, so that the writer puts them out like any other bytes.
#pragma once

#include <string>
#include <vector>

#include "meta/formats/date_codec.h"
#include "meta/formats/date_field.h"
#include "meta/formats/jpeg_copy_dates.h"

namespace morrowtide::meta {

class ImgData;

// The kept sections as the copy locators see them: marker, payload (the bytes after the length field, as far as
// they came from the file) and the payload's place in the file.
std::vector<JpegSegmentView> segmentViews(const ImgData& data);

// The XMP and IPTC date fields of the file the container last read (file offsets).
DateFieldScan findDateCopies(const ImgData& data);

// A photo's copies as read: where each lies and its bytes, enough to plan their shift once the file is closed.
struct DateCopyFields {
    DateFieldScan scan;
    std::vector<std::string> bytes;  // each field's bytes as read, in scan order; "" when they could not be read
};
DateCopyFields readDateCopies(const ImgData& data);

// What became of the copies in one photo.
struct DateCopiesShift {
    DateFieldScan scan;
    DatePatchPlan plan;  // reports in scan order; patches in file offsets
    int moved = 0;       // fields rewritten
    // One line per copy left as it was, for the log: "xmp:CreateDate "2005-06-01" (date only)".
    std::vector<std::string> left;
};

// The copies' shift under `mapping` (each in its own form and width; an IPTC date with its time), as patches at
// file offsets; copies that cannot move are listed in `left`. Writes nothing.
DateCopiesShift planDateCopies(const DateCopyFields& copies, const DateMapping& mapping);

// Writes planned copy patches into the sections `data` kept, which the writer puts out. False at the first patch
// that does not lie inside one kept section (the bytes no longer are the ones planned from).
bool applyCopyPatches(ImgData& data, const std::vector<BytePatch>& patches);

// A copy's value as the log and `info` show it: group, name and value ("XMP-xmp xmp:CreateDate 2005-06-01").
std::string describeCopy(const DateField& field, const std::string& value);

}  // namespace morrowtide::meta
