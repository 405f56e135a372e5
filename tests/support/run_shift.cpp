// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/run_shift.h"

#include "meta/date_plan.h"
#include "meta/img_data.h"

namespace morrowtide::test {

meta::ShiftResult shiftExifDates(meta::ImgData& data, std::int32_t days, std::int32_t hours, std::int32_t minutes,
                                 std::int32_t seconds) {
    if (!data.hasExifBlock() || data.exif() == nullptr) return {meta::ShiftStatus::kNoExifBlock, 0};
    const meta::DateShift shift =
        meta::planDateShift(meta::dateSlotsOf(data), meta::offsetInDays(days, hours, minutes, seconds));
    if (shift.status != meta::ShiftStatus::kShifted) return {shift.status, 0};
    if (!meta::applyDatePatches(data, shift.patches)) return {meta::ShiftStatus::kNoDate, 0};
    return {meta::ShiftStatus::kShifted, static_cast<int>(shift.patches.size())};
}

std::optional<meta::DateCopiesShift> shiftDateCopies(meta::ImgData& data, const meta::DateMapping& mapping) {
    meta::DateCopiesShift copies = meta::planDateCopies(meta::readDateCopies(data), mapping);
    if (!meta::applyCopyPatches(data, copies.plan.patches)) return std::nullopt;
    return copies;
}

}  // namespace morrowtide::test
