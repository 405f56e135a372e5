// SPDX-License-Identifier: GPL-3.0-or-later
#include "meta/formats/jpeg_copy_dates.h"

#include <map>
#include <string>

#include "meta/formats/date_codec.h"
#include "meta/formats/iptc_dates.h"
#include "meta/formats/xmp_dates.h"

namespace morrowtide::meta {

DateFieldScan findJpegCopyDates(const std::vector<JpegSegmentView>& segments) {
    constexpr int kApp1 = 0xE1;
    constexpr int kApp13 = 0xED;
    DateFieldScan scan;
    std::map<std::string_view, std::vector<ExtendedXmpPart>> extended;
    for (const JpegSegmentView& segment : segments) {
        if (segment.marker == kApp1 && segment.payload.starts_with(kXmpApp1Signature)) {
            const std::size_t start = kXmpApp1Signature.size();
            appendDateFields(scan, findXmpDates(segment.payload.substr(start), segment.payloadFileOffset + start));
        } else if (segment.marker == kApp1) {
            if (auto part = readExtendedXmpPart(segment.payload, segment.payloadFileOffset)) {
                extended[part->guid].push_back(*part);
            }
        } else if (segment.marker == kApp13) {
            appendDateFields(scan, findApp13IptcDates(segment.payload, segment.payloadFileOffset));
        }
    }
    for (const auto& [guid, parts] : extended) {
        DateFieldScan found = findExtendedXmpDates(parts);
        if (!found.problem.empty()) {
            scan.skipped.push_back(found.problem + ": its dates are left as they are");
            continue;
        }
        appendDateFields(scan, found);
    }
    return scan;
}

}  // namespace morrowtide::meta
