// SPDX-License-Identifier: GPL-3.0-or-later
// Several cameras and time zones in one run: which camera took a photo, the offset its rule gives it, the
// conversion of a wall-clock time from one time zone to another at its own moment, and the offset a camera's GPS
// times suggest.
#pragma once

#include <QMap>
#include <QString>
#include <QTimeZone>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "app/batch_host.h"
#include "meta/formats/date_codec.h"

namespace morrowtide::app {

struct PhotoHeader;

// What tells one camera from another: "Make Model", then " #SERIAL" when the photo records its body serial
// number; empty when the photo names no camera.
QString cameraKey(const QString& make, const QString& model, const QString& bodySerial);
QString cameraKey(const PhotoHeader& header);

// The camera as people call it: the model alone when it already starts with the make ("Canon EOS 5D", not
// "Canon Canon EOS 5D"), else "Make Model"; then " #SERIAL" as in the key. Empty when the photo names no camera.
QString cameraName(const QString& make, const QString& model, const QString& bodySerial);
QString cameraName(const PhotoHeader& header);

// The first of the options' camera rules that names the photo's camera; null when none does.
const CameraOffset* cameraOffsetFor(const PhotoHeader& header, const RunOptions& options);

// What the user chose for the cameras, kept from one start of the program to the next: the offset given for each
// camera (by cameraKey; a camera not in the folder at hand keeps its offset) and the zone conversion.
struct CameraChoices {
    QMap<QString, std::int64_t> offsets;  // seconds, by cameraKey
    bool convertZones = false;
    QString fromZone;  // the zone the cameras' clocks showed
    QString toZone;    // the zone the photos were taken in

    // A rule for each camera whose offset was given; the zones when the conversion is on and both are known.
    void applyTo(RunOptions& options) const;
    bool operator==(const CameraChoices&) const = default;
};

// "+1d2h3m4s" of an offset in seconds, the parts that are not zero only; "+0s" for none.
QString offsetText(std::int64_t seconds);

// True when `name` is a time zone the system's database knows ("Europe/Berlin", "UTC").
bool isKnownZone(const QString& name);

// The offsets from UTC of one zone. A look-up is slow, so the span between two changes of the zone's clocks that
// was looked at last is kept: the photos of a trip ask within few spans. Not for two threads at once.
class ZoneOffsets {
  public:
    explicit ZoneOffsets(const QTimeZone& zone = QTimeZone()) : zone_(zone) {}
    const QTimeZone& zone() const { return zone_; }

    // The offset in seconds at a UTC moment (seconds since 1970).
    int at(std::int64_t utcSeconds) const;
    // The UTC moment of a wall-clock time in the zone. A time the zone's clocks skipped (the hour lost when summer
    // time begins) is read with the offset in force before the change, so it lands as far after the change as it
    // lay after the last time before it; a time the clocks showed twice (the hour repeated when summer time ends)
    // is taken at its first showing.
    std::int64_t utcOfWallTime(std::int64_t wallSeconds) const;

  private:
    QTimeZone zone_;
    mutable std::int64_t spanBegin_ = 1;  // [spanBegin_, spanEnd_): offset_ holds; empty at first
    mutable std::int64_t spanEnd_ = 0;
    mutable int offset_ = 0;
};

// Wall-clock times of one zone as the wall-clock times of another at the same moment.
class ZoneConversion {
  public:
    ZoneConversion(const QString& from, const QString& to);
    // False when either zone is unknown.
    bool isValid() const { return from_.zone().isValid() && to_.zone().isValid(); }
    const QString& from() const { return fromName_; }
    const QString& to() const { return toName_; }

    struct Converted {
        double value = 0.0;  // the date-time value in the target zone
        int offset = 0;      // the target zone's offset from UTC at that moment, in seconds
    };
    // The time `value` (a date-time value in the source zone) shows in the target zone; empty when either is
    // outside the years 1..9999 or the value is the missing date.
    std::optional<Converted> convert(double value) const;
    // The time a UTC date-time value shows in the target zone (the instant stays); empty outside the years 1..9999.
    std::optional<double> fromUtc(double utcValue) const;
    // Both zones' offsets (seconds) at the moment a wall-clock time of the source zone names.
    struct Offsets {
        int from = 0;
        int to = 0;
    };
    std::optional<Offsets> offsetsAt(double value) const;
    // The same for the date codec's fields; values that name their own zone are left as they are.
    meta::DateMapping mapping() const;

  private:
    QString fromName_;
    QString toName_;
    ZoneOffsets from_;
    ZoneOffsets to_;
};

// The offset a camera's GPS-stamped photos suggest for its clock: the median over them of (GPS time in `zone`
// minus the recorded capture time), rounded to the second, and how many of them lie within a minute of it.
struct OffsetSuggestion {
    QString camera;  // cameraKey
    std::int64_t seconds = 0;
    int photos = 0;    // photos with both a GPS time and a capture date
    int agreeing = 0;  // of them, within 60 s of the suggestion
};
// One suggestion per camera with such photos, in the order the cameras first appear in `headers`. Unless
// `converting` (the zone is the one the photos were taken in), a photo that records its own zone offset is taken in
// that zone. A GPS time without a GPS date takes the day of the recorded date, or the day before or after, whichever
// puts it nearest.
std::vector<OffsetSuggestion> suggestOffsets(const std::vector<std::shared_ptr<const PhotoHeader>>& headers,
                                             const QTimeZone& zone, bool converting = false);

}  // namespace morrowtide::app
