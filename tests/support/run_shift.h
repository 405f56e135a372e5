// SPDX-License-Identifier: GPL-3.0-or-later
// A photo's dates moved in memory the way a run moves them: planned as byte patches, then written into the
// sections the container kept, which the writers put out.
#pragma once

#include <cstdint>
#include <optional>

#include "meta/date_copies.h"
#include "meta/image_info.h"

namespace morrowtide::meta {
class ImgData;
}

namespace morrowtide::test {

// The dates of every EXIF section, all or none: kNoExifBlock when the photo has none, kNoDate too when a patch
// did not lie inside the section it was planned from (nothing is written then).
meta::ShiftResult shiftExifDates(meta::ImgData& data, std::int32_t days, std::int32_t hours = 0,
                                 std::int32_t minutes = 0, std::int32_t seconds = 0);

// The XMP and IPTC copies under `mapping`, as read from the kept sections; nullopt when a patch did not lie
// inside one kept section.
std::optional<meta::DateCopiesShift> shiftDateCopies(meta::ImgData& data, const meta::DateMapping& mapping);

}  // namespace morrowtide::test
