// SPDX-License-Identifier: GPL-3.0-or-later
#include "meta/date_time.h"

#include <chrono>
#include <cmath>
#include <cstdint>

namespace morrowtide::meta {

namespace {

namespace chr = std::chrono;

constexpr std::int64_t kMsPerDay = 86'400'000;
constexpr chr::sys_days kEpoch = chr::sys_days{chr::year{1899} / chr::December / 30};

std::int64_t dayNumber(int year, int month, int day) {
    const chr::year_month_day ymd{chr::year{year}, chr::month{static_cast<unsigned>(month)},
                                  chr::day{static_cast<unsigned>(day)}};
    return (chr::sys_days{ymd} - kEpoch).count();
}

// First and last millisecond of the years 1..9999, counted from the epoch.
const std::int64_t kMinMs = dayNumber(kMinYear, 1, 1) * kMsPerDay;
const std::int64_t kMaxMs = (dayNumber(kMaxYear, 12, 31) + 1) * kMsPerDay - 1;

// Rounds to whole milliseconds as one number, clamped to the years 1..9999 (infinities included).
std::int64_t roundedMs(double value) {
    const double ms = std::round(value * static_cast<double>(kMsPerDay));
    const double lo = static_cast<double>(kMinMs), hi = static_cast<double>(kMaxMs);
    if (ms < lo) return kMinMs;
    if (ms > hi) return kMaxMs;
    return static_cast<std::int64_t>(ms);
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

}  // namespace

int daysInMonth(int year, int month) {
    if (month < 1 || month > 12) return 0;
    const chr::year_month_day_last last{chr::year{year} / chr::month{static_cast<unsigned>(month)} / chr::last};
    return static_cast<int>(static_cast<unsigned>(last.day()));
}

bool isValidCivilDateTime(const CivilDateTime& v) {
    return v.year >= kMinYear && v.year <= kMaxYear && v.month >= 1 && v.month <= 12 && v.day >= 1 &&
           v.day <= daysInMonth(v.year, v.month) && v.hour >= 0 && v.hour <= 23 && v.minute >= 0 && v.minute <= 59 &&
           v.second >= 0 && v.second <= 59 && v.millisecond >= 0 && v.millisecond <= 999;
}

double encodeDateTime(const CivilDateTime& v) {
    if (!isValidCivilDateTime(v)) return 0.0;
    const std::int64_t msOfDay =
        ((static_cast<std::int64_t>(v.hour) * 60 + v.minute) * 60 + v.second) * 1000 + v.millisecond;
    return static_cast<double>(dayNumber(v.year, v.month, v.day)) +
           static_cast<double>(msOfDay) / static_cast<double>(kMsPerDay);
}

CivilDateTime decodeDateTime(double value) {
    if (std::isnan(value)) return CivilDateTime{};
    const std::int64_t ms = roundedMs(value);
    const std::int64_t days = floorDiv(ms, kMsPerDay);
    std::int64_t rest = ms - days * kMsPerDay;
    const chr::year_month_day ymd{kEpoch + chr::days{days}};
    CivilDateTime out;
    out.year = static_cast<int>(ymd.year());
    out.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
    out.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
    out.millisecond = static_cast<int>(rest % 1000);
    rest /= 1000;
    out.second = static_cast<int>(rest % 60);
    rest /= 60;
    out.minute = static_cast<int>(rest % 60);
    out.hour = static_cast<int>(rest / 60);
    return out;
}

bool isDateTimeInRange(double value) {
    if (!std::isfinite(value)) return false;
    const double ms = std::round(value * static_cast<double>(kMsPerDay));
    return ms >= static_cast<double>(kMinMs) && ms <= static_cast<double>(kMaxMs);
}

int isoWeekday(double value) {
    const std::int64_t days = std::isnan(value) ? 0 : floorDiv(roundedMs(value), kMsPerDay);
    return static_cast<int>(chr::weekday{kEpoch + chr::days{days}}.iso_encoding());
}

}  // namespace morrowtide::meta
