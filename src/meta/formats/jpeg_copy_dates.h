// SPDX-License-Identifier: GPL-3.0-or-later
// The copies of the capture dates a JPEG carries besides its EXIF block: the XMP packet (APP1), the parts of an
// extended XMP packet (further APP1 sections) and the IPTC record (APP13).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "meta/formats/date_field.h"

namespace morrowtide::meta {

// One marker section as the JPEG reader kept it.
struct JpegSegmentView {
    int marker = 0;                     // 0xE1, 0xED, ...
    std::string_view payload;           // the bytes after the two length bytes
    std::uint64_t payloadFileOffset = 0;  // where the payload's first byte lies in the file
};

// The XMP, extended-XMP and IPTC date fields of the sections, in section order (extended parts after the rest).
// Every standard XMP APP1 and every APP13 is looked into. Extended parts are grouped by their GUID; a group whose
// parts do not join up is left and named in `skipped`, as is a field split between two parts. `problem` stays
// empty: each field found lies wholly inside one section and can be patched on its own.
DateFieldScan findJpegCopyDates(const std::vector<JpegSegmentView>& segments);

}  // namespace morrowtide::meta
