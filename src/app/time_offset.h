// SPDX-License-Identifier: GPL-3.0-or-later
// Time offsets as the user gives them: four boxes (days, hours, minutes, seconds), a reference photo whose true
// time is known, or a short text such as "+1d2h3m4s" or "-0:30:00".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/batch_host.h"

namespace morrowtide::app {

// The offset in whole seconds.
std::int64_t totalSeconds(const TimeOffset& offset);

// The four boxes for a number of seconds: every part has the sign of the whole, hours -23..23, minutes and seconds
// -59..59, days whatever is left. Empty when the days do not fit the box (beyond a 32-bit number).
std::optional<TimeOffset> offsetFromSeconds(std::int64_t seconds);

// "YYYY-MM-DDTHH:MM:SS" (a blank or "T" between date and time; "-" or ":" between the date's fields) as a date-time
// value; empty when it is not a valid date and time.
std::optional<double> parseDateTimeText(std::string_view text);

// The offset that moves `recorded` to `truth` (both date-time values), rounded to the second; empty when either is
// the missing date or the offset does not fit the boxes.
std::optional<TimeOffset> offsetBetween(double recorded, double truth);

// "PHOTO=YYYY-MM-DDTHH:MM:SS", split at the last "=" (a photo's name may hold one).
struct ReferenceArgument {
    std::string photo;
    double truth = 0.0;
};
// Empty with `error` set when the text has no "=", no photo or no valid date and time.
std::optional<ReferenceArgument> parseReferenceArgument(std::string_view text, std::string& error);

// An offset written as "+1d2h3m4s" (any of the parts, in that order, each a whole number), "-0:30:00" or "-1:30"
// (hours:minutes[:seconds]), "+2h", or a plain 0; a leading sign applies to the whole. Empty with `error` set
// otherwise.
std::optional<std::int64_t> parseOffsetText(std::string_view text, std::string& error);

}  // namespace morrowtide::app
