// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/time_offset.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "meta/date_time.h"

namespace morrowtide::app {

namespace {

constexpr std::int64_t kSecondsPerDay = 86'400;

// A run of decimal digits at the front of `text`, taken off it; empty when there is none or it overflows.
std::optional<std::int64_t> takeNumber(std::string_view& text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data() || value < 0) return std::nullopt;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return value;
}

// Exactly `digits` decimal digits at `at`.
std::optional<int> fixedField(std::string_view text, std::size_t at, std::size_t digits) {
    if (at + digits > text.size()) return std::nullopt;
    int value = 0;
    for (std::size_t i = at; i < at + digits; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// a * b + c without overflow, or empty.
std::optional<std::int64_t> mulAdd(std::int64_t a, std::int64_t b, std::int64_t c) {
    std::int64_t product = 0, sum = 0;
    if (__builtin_mul_overflow(a, b, &product) || __builtin_add_overflow(product, c, &sum)) return std::nullopt;
    return sum;
}

}  // namespace

std::int64_t totalSeconds(const TimeOffset& offset) {
    return static_cast<std::int64_t>(offset.days) * kSecondsPerDay + static_cast<std::int64_t>(offset.hours) * 3600 +
           static_cast<std::int64_t>(offset.minutes) * 60 + offset.seconds;
}

std::optional<TimeOffset> offsetFromSeconds(std::int64_t seconds) {
    if (seconds == std::numeric_limits<std::int64_t>::min()) return std::nullopt;
    const std::int64_t sign = seconds < 0 ? -1 : 1;
    const std::int64_t magnitude = seconds * sign;
    const std::int64_t days = magnitude / kSecondsPerDay;
    if (days > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    const std::int64_t rest = magnitude % kSecondsPerDay;
    TimeOffset offset;
    offset.days = static_cast<int>(sign * days);
    offset.hours = static_cast<int>(sign * (rest / 3600));
    offset.minutes = static_cast<int>(sign * (rest % 3600 / 60));
    offset.seconds = static_cast<int>(sign * (rest % 60));
    return offset;
}

std::optional<double> parseDateTimeText(std::string_view text) {
    // YYYY-MM-DDTHH:MM:SS: 19 characters with the separators at fixed places.
    if (text.size() != 19) return std::nullopt;
    const bool dateSeparators = (text[4] == '-' && text[7] == '-') || (text[4] == ':' && text[7] == ':');
    if (!dateSeparators || (text[10] != 'T' && text[10] != ' ') || text[13] != ':' || text[16] != ':') {
        return std::nullopt;
    }
    const auto year = fixedField(text, 0, 4), month = fixedField(text, 5, 2), day = fixedField(text, 8, 2);
    const auto hour = fixedField(text, 11, 2), minute = fixedField(text, 14, 2), second = fixedField(text, 17, 2);
    if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
    const meta::CivilDateTime fields{*year, *month, *day, *hour, *minute, *second, 0};
    if (!meta::isValidCivilDateTime(fields)) return std::nullopt;
    return meta::encodeDateTime(fields);
}

std::optional<TimeOffset> offsetBetween(double recorded, double truth) {
    if (recorded == 0.0 || truth == 0.0) return std::nullopt;
    const double seconds = std::round((truth - recorded) * static_cast<double>(kSecondsPerDay));
    if (!std::isfinite(seconds)) return std::nullopt;
    return offsetFromSeconds(static_cast<std::int64_t>(seconds));
}

std::optional<ReferenceArgument> parseReferenceArgument(std::string_view text, std::string& error) {
    const std::size_t equals = text.rfind('=');
    if (equals == std::string_view::npos || equals == 0) {
        error = "expected PHOTO=YYYY-MM-DDTHH:MM:SS, not \"" + std::string(text) + "\"";
        return std::nullopt;
    }
    const std::string_view when = text.substr(equals + 1);
    const std::optional<double> truth = parseDateTimeText(when);
    if (!truth) {
        error = "\"" + std::string(when) + "\" is not a date and time of the form YYYY-MM-DDTHH:MM:SS";
        return std::nullopt;
    }
    return ReferenceArgument{std::string(text.substr(0, equals)), *truth};
}

std::optional<std::int64_t> parseOffsetText(std::string_view text, std::string& error) {
    const std::string quoted = "\"" + std::string(text) + "\"";
    error = quoted + " is not an offset such as +1d2h3m4s, -0:30:00 or +2h";
    std::string_view rest = text;
    std::int64_t sign = 1;
    if (!rest.empty() && (rest.front() == '+' || rest.front() == '-')) {
        sign = rest.front() == '-' ? -1 : 1;
        rest.remove_prefix(1);
    }
    if (rest.empty()) return std::nullopt;
    if (rest.find_first_not_of('0') == std::string_view::npos) {
        error.clear();  // a plain 0: no offset
        return 0;
    }

    std::optional<std::int64_t> total = 0;
    if (rest.find(':') != std::string_view::npos) {
        // H:MM or H:MM:SS
        const auto hours = takeNumber(rest);
        if (!hours || rest.empty() || rest.front() != ':') return std::nullopt;
        rest.remove_prefix(1);
        if (rest.size() < 2) return std::nullopt;
        std::string_view minutesText = rest.substr(0, 2);
        const auto minutes = takeNumber(minutesText);
        if (!minutes || !minutesText.empty() || *minutes > 59) return std::nullopt;
        rest.remove_prefix(2);
        std::int64_t seconds = 0;
        if (!rest.empty()) {
            if (rest.front() != ':' || rest.size() != 3) return std::nullopt;
            rest.remove_prefix(1);
            const auto parsed = takeNumber(rest);
            if (!parsed || !rest.empty() || *parsed > 59) return std::nullopt;
            seconds = *parsed;
        }
        total = mulAdd(*hours, 3600, *minutes * 60 + seconds);
    } else {
        // Parts with unit letters, each at most once and in the order d, h, m, s.
        constexpr std::string_view kUnits = "dhms";
        constexpr std::int64_t kScale[] = {kSecondsPerDay, 3600, 60, 1};
        std::size_t nextUnit = 0;
        while (!rest.empty()) {
            const auto number = takeNumber(rest);
            if (!number || rest.empty()) return std::nullopt;
            const std::size_t unit = kUnits.find(rest.front());
            if (unit == std::string_view::npos || unit < nextUnit) return std::nullopt;
            rest.remove_prefix(1);
            nextUnit = unit + 1;
            total = mulAdd(*number, kScale[unit], *total);
            if (!total) break;
        }
    }
    if (!total) {
        error = quoted + " is too large an offset";
        return std::nullopt;
    }
    error.clear();
    return sign * *total;
}

}  // namespace morrowtide::app
