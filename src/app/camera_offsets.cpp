// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/camera_offsets.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include "app/photo_plan.h"
#include "app/time_offset.h"
#include "meta/date_time.h"

namespace morrowtide::app {

namespace {

constexpr double kUnixEpochDays = 25569.0;  // 1970-01-01 as a date-time value
constexpr std::int64_t kSecondsPerDay = 86400;

std::int64_t secondsOfValue(double value) {
    return std::llround((value - kUnixEpochDays) * static_cast<double>(kSecondsPerDay));
}

double valueOfSeconds(std::int64_t seconds) {
    return kUnixEpochDays + static_cast<double>(seconds) / static_cast<double>(kSecondsPerDay);
}

QString serialPart(const QString& bodySerial) {
    return bodySerial.isEmpty() ? QString() : QStringLiteral(" #") + bodySerial;
}

}  // namespace

QString cameraKey(const QString& make, const QString& model, const QString& bodySerial) {
    const QString camera = (make + u' ' + model).trimmed();
    return camera.isEmpty() ? QString() : camera + serialPart(bodySerial);
}

QString cameraKey(const PhotoHeader& header) {
    return cameraKey(header.cameraMake, header.cameraModel, header.bodySerial);
}

QString cameraName(const QString& make, const QString& model, const QString& bodySerial) {
    const QString camera = model.startsWith(make, Qt::CaseInsensitive) ? model : (make + u' ' + model).trimmed();
    return camera.isEmpty() ? QString() : camera + serialPart(bodySerial);
}

QString cameraName(const PhotoHeader& header) {
    return cameraName(header.cameraMake, header.cameraModel, header.bodySerial);
}

void CameraChoices::applyTo(RunOptions& options) const {
    for (auto it = offsets.constBegin(); it != offsets.constEnd(); ++it) {
        if (const auto offset = offsetFromSeconds(it.value()))
            options.cameraOffsets.push_back({it.key(), *offset, true});
    }
    if (convertZones && isKnownZone(fromZone) && isKnownZone(toZone)) {
        options.fromZone = fromZone;
        options.toZone = toZone;
    }
}

const CameraOffset* cameraOffsetFor(const PhotoHeader& header, const RunOptions& options) {
    if (options.cameraOffsets.empty()) return nullptr;
    const QString makeModel = header.cameraMake + u' ' + header.cameraModel;
    const QString key = cameraKey(header);
    for (const CameraOffset& rule : options.cameraOffsets) {
        if (rule.wholeKey ? rule.match == key : makeModel.contains(rule.match, Qt::CaseInsensitive)) return &rule;
    }
    return nullptr;
}

QString offsetText(std::int64_t seconds) {
    if (seconds == 0) return QStringLiteral("+0s");
    QString text(seconds < 0 ? u'-' : u'+');
    std::uint64_t rest = seconds < 0 ? 0 - static_cast<std::uint64_t>(seconds) : static_cast<std::uint64_t>(seconds);
    constexpr std::pair<std::uint64_t, char16_t> kParts[] = {{86400, u'd'}, {3600, u'h'}, {60, u'm'}, {1, u's'}};
    for (const auto& [scale, unit] : kParts) {
        if (rest >= scale) text += QString::number(rest / scale) + QChar(unit);
        rest %= scale;
    }
    return text;
}

bool isKnownZone(const QString& name) {
    return !name.isEmpty() && QTimeZone::isTimeZoneIdAvailable(name.toUtf8());
}

int ZoneOffsets::at(std::int64_t utcSeconds) const {
    if (utcSeconds >= spanBegin_ && utcSeconds < spanEnd_) return offset_;
    const QDateTime moment = QDateTime::fromSecsSinceEpoch(utcSeconds, QTimeZone::utc());
    offset_ = zone_.offsetFromUtc(moment);
    spanBegin_ = std::numeric_limits<std::int64_t>::min();
    spanEnd_ = std::numeric_limits<std::int64_t>::max();
    if (!zone_.hasTransitions()) return offset_;
    const QTimeZone::OffsetData previous = zone_.previousTransition(moment);
    const QTimeZone::OffsetData next = zone_.nextTransition(moment);
    // A moment that is itself a change has none before it with its offset: the span starts at it.
    if (previous.atUtc.isValid()) {
        spanBegin_ = previous.offsetFromUtc == offset_ ? previous.atUtc.toSecsSinceEpoch() : utcSeconds;
    }
    if (next.atUtc.isValid()) spanEnd_ = next.atUtc.toSecsSinceEpoch();
    return offset_;
}

std::int64_t ZoneOffsets::utcOfWallTime(std::int64_t wallSeconds) const {
    // The offsets in force a day either side cover any one change of the zone's clocks around the time; the
    // earlier is tried first, so a repeated time is taken at its first showing.
    const int before = at(wallSeconds - kSecondsPerDay);
    const int after = at(wallSeconds + kSecondsPerDay);
    if (before == after) return wallSeconds - before;  // no change of the clocks near: the common case
    for (const int offset : {before, after}) {
        if (at(wallSeconds - offset) == offset) return wallSeconds - offset;
    }
    return wallSeconds - before;  // a skipped time
}

ZoneConversion::ZoneConversion(const QString& from, const QString& to)
    : fromName_(from), toName_(to), from_(QTimeZone(from.toUtf8())), to_(QTimeZone(to.toUtf8())) {}

std::optional<ZoneConversion::Converted> ZoneConversion::convert(double value) const {
    if (!isValid() || value == 0.0 || !meta::isDateTimeInRange(value)) return std::nullopt;
    const std::int64_t moment = from_.utcOfWallTime(secondsOfValue(value));
    Converted converted;
    converted.offset = to_.at(moment);
    converted.value = valueOfSeconds(moment + converted.offset);
    if (!meta::isDateTimeInRange(converted.value)) return std::nullopt;
    return converted;
}

std::optional<ZoneConversion::Offsets> ZoneConversion::offsetsAt(double value) const {
    if (!isValid() || value == 0.0 || !meta::isDateTimeInRange(value)) return std::nullopt;
    const std::int64_t moment = from_.utcOfWallTime(secondsOfValue(value));
    return Offsets{from_.at(moment), to_.at(moment)};
}

std::optional<double> ZoneConversion::fromUtc(double utcValue) const {
    if (!isValid() || utcValue == 0.0 || !meta::isDateTimeInRange(utcValue)) return std::nullopt;
    const std::int64_t moment = secondsOfValue(utcValue);
    const double value = valueOfSeconds(moment + to_.at(moment));
    if (!meta::isDateTimeInRange(value)) return std::nullopt;
    return value;
}

meta::DateMapping ZoneConversion::mapping() const {
    return meta::DateMapping(
        [conversion = *this](const meta::CivilDateTime& wall) -> std::optional<meta::CivilDateTime> {
            meta::CivilDateTime whole = wall;
            whole.millisecond = 0;
            const auto converted = conversion.convert(meta::encodeDateTime(whole));
            if (!converted) return std::nullopt;
            return meta::decodeDateTime(converted->value);
        })
        .leavingZonedValues()
        .rewritingZonedValues([conversion = *this](const meta::CivilDateTime& wall, int zoneSeconds)
                                  -> std::optional<std::pair<meta::CivilDateTime, int>> {
            meta::CivilDateTime whole = wall;
            whole.millisecond = 0;
            const double instant = meta::encodeDateTime(whole) - zoneSeconds / 86400.0;
            const auto shown = conversion.fromUtc(instant);
            if (!shown) return std::nullopt;
            const auto offset = static_cast<int>(std::llround((*shown - instant) * 86400.0));
            meta::CivilDateTime moved = meta::decodeDateTime(*shown);
            moved.millisecond = wall.millisecond;
            return std::pair{moved, offset};
        })
        .settingZoneOffsets([conversion = *this](const meta::CivilDateTime& wall) -> std::optional<int> {
            meta::CivilDateTime whole = wall;
            whole.millisecond = 0;
            const auto converted = conversion.convert(meta::encodeDateTime(whole));
            if (!converted) return std::nullopt;
            return converted->offset;
        });
}

std::vector<OffsetSuggestion> suggestOffsets(const std::vector<std::shared_ptr<const PhotoHeader>>& headers,
                                             const QTimeZone& zone, bool converting) {
    std::vector<OffsetSuggestion> suggestions;
    const ZoneOffsets offsets(zone);
    std::map<QString, std::vector<double>> differences;  // by camera: GPS time in the zone - recorded, in seconds
    const auto seconds = [](double value) { return (value - kUnixEpochDays) * static_cast<double>(kSecondsPerDay); };
    for (const auto& header : headers) {
        if ((header->gpsTime == 0.0 && !header->gpsTimeOfDay) || header->recordedCapture == 0.0) continue;
        const double recorded = seconds(header->recordedCapture);
        // The GPS time shown in the zone the photo was taken in.
        const auto local = [&](double utc) {
            const bool own = !converting && header->recordedZone;
            return utc + (own ? *header->recordedZone : offsets.at(static_cast<std::int64_t>(std::floor(utc))));
        };
        double utc = seconds(header->gpsTime);
        if (header->gpsTime == 0.0) {
            const double day = std::floor(header->recordedCapture);
            utc = seconds(day - 1 + *header->gpsTimeOfDay);
            for (const double other : {day, day + 1}) {
                const double candidate = seconds(other + *header->gpsTimeOfDay);
                if (std::abs(local(candidate) - recorded) < std::abs(local(utc) - recorded)) utc = candidate;
            }
        }
        const QString camera = cameraKey(*header);
        auto [found, added] = differences.try_emplace(camera);
        if (added) suggestions.push_back({camera});
        // To the millisecond, so that the day fractions' rounding does not decide "within a minute".
        found->second.push_back(std::round((local(utc) - recorded) * 1000.0) / 1000.0);
    }
    for (OffsetSuggestion& suggestion : suggestions) {
        std::vector<double>& list = differences[suggestion.camera];
        std::sort(list.begin(), list.end());
        const std::size_t middle = list.size() / 2;
        const double median = list.size() % 2 == 1 ? list[middle] : (list[middle - 1] + list[middle]) / 2.0;
        suggestion.seconds = std::llround(median);
        suggestion.photos = static_cast<int>(list.size());
        suggestion.agreeing = static_cast<int>(std::count_if(list.begin(), list.end(), [&](double difference) {
            return std::abs(difference - static_cast<double>(suggestion.seconds)) <= 60.0;
        }));
    }
    return suggestions;
}

}  // namespace morrowtide::app
