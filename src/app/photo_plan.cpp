// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/photo_plan.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <map>
#include <optional>
#include <stdexcept>
#include <thread>

#include "app/camera_offsets.h"
#include "app/file_list.h"
#include "app/worker_pool.h"
#include "app/native_path.h"
#include "app/time_offset.h"
#include "meta/date_plan.h"
#include "meta/formats/date_codec.h"
#include "meta/date_time.h"
#include "meta/image_info.h"
#include "meta/img_data.h"
#include "meta/jpeg_validate.h"
#include "meta/safe_file.h"
#include "meta/tag_tables.h"
#include "meta/text_codec.h"

namespace morrowtide::app {

namespace {

constexpr std::uint16_t kMakeTag = 0x010F;
constexpr std::uint16_t kModelTag = 0x0110;

QString textOf(const std::string& cp1252) {
    return QString::fromStdString(meta::cp1252ToUtf8(cp1252));
}

// A value as recorded: an ASCII value to its first zero byte (cameras pad the make, model and serial with zero bytes,
// which the decoded text shows as dots), a number as shown.
std::string recordedText(const meta::TagEntry& entry) {
    if (entry.format == 2) return entry.rawBytes.substr(0, entry.rawBytes.find('\0'));
    return entry.text;
}

// The camera body's serial: EXIF's own, else the one the maker note records (Olympus, Canon).
QString bodySerialOf(const meta::ImageInfo& exif) {
    for (const std::string& text : {exif.bodySerial, recordedText(exif.entryByName("SerialNumber")),
                                    recordedText(exif.entryByName("CameraSerialNumber"))}) {
        const QString serial = textOf(text).trimmed();
        if (!serial.isEmpty()) return serial;
    }
    return {};
}

// The writer's verdict on the file's JPEG headers, from the bytes read when they tell (else from the whole file).
QString jpegRefusal(const meta::ImgData& data, const meta::SourceFile& source) {
    std::optional<meta::JpegRefusal> refusal = data.sourceComplete() ? meta::jpegHeaderRefusal(data.sourceBytes())
                                                                     : meta::jpegPrefixRefusal(data.sourceBytes());
    // Read a piece at a time: the memory a header takes never grows with the file.
    if (!refusal) refusal = meta::jpegFileRefusal(source);
    if (refusal->code == 0) return {};
    return QString::fromLocal8Bit(meta::JpegError(refusal->code, refusal->words).explanation().c_str());
}

// The make or model as recorded; the decoded text when the block has no such entry.
QString cameraText(const meta::ImageInfo& exif, std::uint16_t tag, const std::string& decoded) {
    for (const meta::TagEntry& entry : exif.entries) {
        if (entry.tag == tag && !entry.rawBytes.empty()) return textOf(recordedText(entry)).trimmed();
    }
    return textOf(decoded).trimmed();
}

void readDates(const meta::ImgData& data, PhotoHeader& header) {
    header.dates = meta::dateSlotsOf(data);
    for (std::size_t i = 0; i < header.dates.size(); ++i) {
        if (header.dates[i].capture) header.captureIndex = static_cast<int>(i);
    }
    if (header.captureIndex >= 0) header.recordedCapture = header.dates[static_cast<std::size_t>(header.captureIndex)].value;
}

// The local wall-clock time of a moment given in UTC, by the zone rules of this machine at that moment.
double localOfUtc(const meta::CivilDateTime& utc) {
    std::tm fields{};
    fields.tm_year = utc.year - 1900;
    fields.tm_mon = utc.month - 1;
    fields.tm_mday = utc.day;
    fields.tm_hour = utc.hour;
    fields.tm_min = utc.minute;
    fields.tm_sec = utc.second;
    const std::time_t moment = ::timegm(&fields);
    std::tm local{};
    if (localtime_r(&moment, &local) == nullptr) return 0.0;
    return meta::encodeDateTime({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                                 local.tm_sec, 0});
}

// The capture date a field's value stands for, as a date-time value named by local time (a UTC value in the zone
// `zone` names, else in this computer's); 0 when none.
double captureValue(const meta::ParsedDate& parsed, bool utc, std::optional<int> zone = std::nullopt) {
    if (!utc) return meta::encodeDateTime(parsed.value);
    if (zone) return meta::encodeDateTime(parsed.value) + *zone / 86400.0;
    return localOfUtc(parsed.value);
}

bool isMovieSeconds(const meta::DateField& field) {
    return field.encoding == meta::DateEncoding::QuickTimeSeconds32 ||
           field.encoding == meta::DateEncoding::QuickTimeSeconds64;
}

// Whether a movie's header times count in UTC, from its own evidence: a date of the same file that names its zone,
// with which the header agrees either as UTC or as wall clock (within two minutes; that date's zone is then the one
// the movie was taken in). Without such a date, by the makers' practice: phones (Apple, Google, Samsung) and
// Canon's CR3 write UTC, other cameras keep their own clock.
bool decideMovieTimes(const PhotoHeader& header, const std::string& brand, std::optional<int>& zone) {
    const auto creation = std::find_if(header.fields.begin(), header.fields.end(), [](const meta::DateField& f) {
        return isMovieSeconds(f) && f.group == "QuickTime" && f.role == meta::DateRole::Digitized;
    });
    std::optional<meta::ParsedDate> headerValue;
    std::string bytes;
    if (creation != header.fields.end() && header.fieldBytes.read(creation->offset, creation->width, bytes)) {
        headerValue = meta::parseDateField(creation->encoding, bytes);
    }
    constexpr double kAgree = 120.0 / 86400.0;
    for (const meta::DateField& field : header.fields) {
        if (!headerValue) break;
        if (field.encoding != meta::DateEncoding::Iso8601) continue;
        if (!header.fieldBytes.read(field.offset, field.width, bytes)) continue;
        const auto zoned = meta::parseDateField(field.encoding, bytes);
        if (!zoned || !zoned->zoned || zoned->precision < meta::DatePrecision::Minute) continue;
        const double wall = meta::encodeDateTime(zoned->value);
        const double instant = wall - zoned->zoneSeconds / 86400.0;
        const double value = meta::encodeDateTime(headerValue->value);
        if (std::fabs(value - instant) <= kAgree) {
            zone = zoned->zoneSeconds;
            return true;
        }
        if (std::fabs(value - wall) <= kAgree) return false;
    }
    const QString make = header.cameraMake.toLower();
    return make.contains(u"apple") || make.contains(u"google") || make.contains(u"samsung") ||
           brand.starts_with("crx");
}

std::string extensionOf(const QString& fileName) {
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return dot < 0 ? std::string() : fileName.mid(dot + 1).toStdString();
}

// The camera and the GPS time of a file the container readers read, from its first EXIF block that can be walked.
// The run needs them as much as a preview: a camera's own offset and the GPS suggestion go by them.
void readContainerCamera(const meta::ByteSource& bytes, const std::vector<meta::EmbeddedBlock>& blocks,
                         PhotoHeader& header) {
    for (const meta::EmbeddedBlock& block : blocks) {
        if (block.kind != meta::BlockKind::Tiff) continue;
        meta::ImageInfo exif(nullptr, 255);
        if (!meta::walkTiffBlock(bytes, block, exif).empty()) continue;
        header.cameraMake = cameraText(exif, kMakeTag, exif.cameraMake);
        header.cameraModel = cameraText(exif, kModelTag, exif.cameraModel);
        header.bodySerial = bodySerialOf(exif);
        header.gpsTime = meta::gpsDateTimeOf(exif);
        if (header.gpsTime == 0.0) header.gpsTimeOfDay = meta::gpsTimeOfDayOf(exif);
        return;
    }
}

// The header of a file the container readers read: opened and kept open for the copy, its structure read in
// bounded pieces, never whole.
// What the one look-up of an open source gives the header: its identity, size and time.
void takeStatus(PhotoHeader& header, const struct stat& status) {
    header.device = status.st_dev;
    header.inode = status.st_ino;
    header.size = static_cast<std::int64_t>(status.st_size);
    header.fileDate = fileDateOf(status);
}

void readContainerHeader(PhotoHeader& header, meta::SourceFile& source) {
    header.container = meta::containerOfExtension(extensionOf(header.fileName));
    if (const int error = source.isOpen() ? 0 : source.open(header.nativePath); error != 0) {
        struct stat info {};
        if (::stat(header.nativePath.c_str(), &info) == 0) {
            header.device = info.st_dev;
            header.inode = info.st_ino;
            header.fileDate = fileDateOf(info);
        }
        // The JPEG reader's words for what is not a file (a FIFO could block for ever, so it is never read).
        header.readProblem = error == EINVAL ? QStringLiteral("Not a regular file")
                                             : QString::fromLocal8Bit(std::strerror(error));
        return;
    }
    takeStatus(header, source.status());
    const meta::SourceFileBytes bytes(source);
    const meta::FileDates dates = meta::readFileDates(bytes, extensionOf(header.fileName));
    // What the bytes are decides, not the name: a HEIC saved as ".jpg" is a HEIC. A JPEG read here (named as a raw
    // file, say) keeps its name's kind: it is copied with its fields patched like every file read here.
    if (dates.kind != meta::ContainerKind::Unknown && dates.kind != meta::ContainerKind::Jpeg) {
        header.container = dates.kind;
    }
    header.structureProblem = QString::fromStdString(dates.problem);
    for (const std::string& note : dates.notes) header.notes << QString::fromStdString(note);
    header.hasExif = dates.hasExif;
    header.fields = dates.fields;
    header.fieldBytes = meta::FieldBytes(bytes, header.fields);
    header.checksums = dates.checksums;
    if (dates.hasExif) readContainerCamera(bytes, dates.blocks, header);
    // A movie names its camera in its own metadata, where it has no EXIF block to name it.
    if (header.cameraMake.isEmpty() && header.cameraModel.isEmpty()) {
        header.cameraMake = QString::fromUtf8(dates.make).trimmed();
        header.cameraModel = QString::fromUtf8(dates.model).trimmed();
    }
    const meta::CaptureField capture = meta::captureFieldOf(header.fields, header.fieldBytes);
    header.captureField = capture.index;
    if (std::any_of(header.fields.begin(), header.fields.end(), isMovieSeconds)) {
        header.movieTimesUtc = decideMovieTimes(header, dates.brand, header.captureZone);
    }
    header.captureUtc = capture.utc && header.movieTimesUtc;
    if (capture.index < 0) return;
    for (const meta::DateField& zone : header.fields) {
        std::string text;
        if (zone.encoding != meta::DateEncoding::ExifZoneOffset || zone.partner != capture.index ||
            !header.fieldBytes.read(zone.offset, zone.width, text)) {
            continue;
        }
        header.recordedZone = meta::parseZoneOffset(text);
    }
    const meta::DateField& field = header.fields[static_cast<std::size_t>(capture.index)];
    std::string value;
    header.fieldBytes.read(field.offset, field.width, value);
    if (const auto parsed = meta::parseDateField(field.encoding, value)) {
        header.recordedCapture = captureValue(*parsed, header.captureUtc, header.captureZone);
    }
}

// The date outcome and patches of a file the container readers read. As for a JPEG, a date the offset would move
// outside what its form can hold keeps every date of the file as it is.
void planContainerDates(const PhotoHeader& header, const meta::DateMapping& mapping, const ZoneConversion* zones,
                        PhotoPlan& plan) {
    if (!header.structureProblem.isEmpty()) {
        plan.outcome = DateOutcome::Unsafe;
        return;
    }
    const meta::DatePatchPlan shifted = meta::shiftDateFields(header.fields, header.fieldBytes, mapping);
    bool moved = false;
    QStringList left;
    for (const meta::FieldReport& report : shifted.reports) {
        const meta::DateField& field = header.fields[report.field];
        switch (report.outcome) {
            case meta::DateOutcome::Shifted:
                moved = true;
                break;
            case meta::DateOutcome::OutOfRange:
                plan.outcome = DateOutcome::OutOfRange;
                return;
            case meta::DateOutcome::Empty:
            case meta::DateOutcome::ZoneKept:  // a zone offset follows its date; kept, it is no date left behind
                break;
            default:
                left << QString::fromStdString(field.group + ':' + field.name + " \"" + report.before + "\": ") +
                            QString::fromUtf8(meta::dateOutcomeText(report.outcome));
        }
    }
    left << header.notes;
    plan.copiesLeft = left;
    if (!moved) {
        plan.outcome = DateOutcome::NoReadableDate;
        return;
    }
    plan.outcome = DateOutcome::Shifted;
    plan.patches = shifted.patches;
    // A conversion between zones corrects wall clocks; times kept in UTC named the right instant all along.
    const bool keepUtc = zones != nullptr && header.movieTimesUtc;
    if (keepUtc) {
        std::erase_if(plan.patches, [&](const meta::BytePatch& patch) {
            return std::any_of(header.fields.begin(), header.fields.end(), [&](const meta::DateField& field) {
                return isMovieSeconds(field) && field.offset == patch.offset;
            });
        });
    }
    if (header.captureField < 0) return;
    const meta::DateField& field = header.fields[static_cast<std::size_t>(header.captureField)];
    std::string value;
    header.fieldBytes.read(field.offset, field.width, value);
    if (keepUtc && header.captureUtc) {
        // The same instant, shown in the zone the photos were taken in.
        if (const auto before = meta::parseDateField(field.encoding, value)) {
            plan.newCapture = zones->fromUtc(meta::encodeDateTime(before->value)).value_or(plan.newCapture);
        }
        return;
    }
    const meta::FieldShift capture = meta::shiftDateField(field.encoding, value, mapping);
    if (capture.after) plan.newCapture = captureValue(*capture.after, header.captureUtc, header.captureZone);
}

NamingOptions namingOptionsOf(const RunOptions& options) {
    NamingOptions naming;
    naming.includeDateTime = options.includeDateTime;
    naming.includeCurrentFilename = options.includeFileName;
    naming.overwriteDateTime = options.overwriteDateTime;
    return naming;
}

void updateRelativeOutput(PhotoPlan& plan) {
    plan.relativeOutput = plan.output.filePath().mid(withTrailingSlash(plan.destinationFolder).size());
}

// The XMP and IPTC copies move with the EXIF dates, unless those could not move at all.
void planCopies(const PhotoHeader& header, const meta::DateMapping& mapping, PhotoPlan& plan) {
    if (plan.outcome == DateOutcome::OutOfRange || plan.outcome == DateOutcome::Unread) return;
    const meta::DateCopiesShift copies = meta::planDateCopies(header.dateCopies, mapping);
    plan.copyPatches = copies.plan.patches;
    plan.copiesMoved = copies.moved;
    for (const std::string& left : copies.left) plan.copiesLeft << QString::fromUtf8(left);
}

// The outcome of a shift, its patches and the new capture date.
void takeShift(const PhotoHeader& header, const meta::DateShift& shift, PhotoPlan& plan) {
    switch (shift.status) {
        case meta::ShiftStatus::kShifted:
            plan.outcome = DateOutcome::Shifted;
            break;
        case meta::ShiftStatus::kOutOfRange:
            plan.outcome = DateOutcome::OutOfRange;
            return;
        case meta::ShiftStatus::kNoExifBlock:
        case meta::ShiftStatus::kNoDate:
            plan.outcome = DateOutcome::NoReadableDate;
            return;
    }
    plan.patches = shift.patches;
    if (header.captureIndex < 0) return;
    const std::uint64_t at = header.dates[static_cast<std::size_t>(header.captureIndex)].fileOffset;
    for (const meta::BytePatch& patch : plan.patches) {
        if (patch.offset == at) plan.newCapture = meta::parseExifDate(patch.bytes);
    }
}

// True when the file's capture date names it: a JPEG with an EXIF block, another file with a capture date.
bool isNamed(const PhotoHeader& header, const PhotoPlan& plan) {
    if (!header.readProblem.isEmpty()) return false;
    return header.container == meta::ContainerKind::Jpeg ? header.hasExif : plan.newCapture != 0.0;
}

// The member of a group that speaks for it, among those `counts` takes: JPEGs first, then the other photos and
// movies, then sidecars, each in list order; the first member when it takes none. `headerAt(i)` is member i's.
template <typename HeaderAt, typename Counts>
std::size_t firstInGroupOrder(std::size_t members, const HeaderAt& headerAt, const Counts& counts) {
    const auto rank = [](const PhotoHeader& header) {
        if (header.container == meta::ContainerKind::Jpeg) return 0;
        return header.container == meta::ContainerKind::XmpSidecar ? 2 : 1;
    };
    std::size_t best = 0;
    int bestRank = 3;
    for (std::size_t i = 0; i < members; ++i) {
        if (!counts(i) || rank(headerAt(i)) >= bestRank) continue;
        best = i;
        bestRank = rank(headerAt(i));
    }
    return best;
}

// The member whose camera the whole group is corrected as, among those that name one: a sidecar or a Live Photo's
// movie was made with its photo.
const PhotoHeader& cameraOfGroup(const std::vector<std::shared_ptr<const PhotoHeader>>& members) {
    const auto headerAt = [&](std::size_t i) -> const PhotoHeader& { return *members[i]; };
    return headerAt(firstInGroupOrder(members.size(), headerAt,
                                      [&](std::size_t i) { return !cameraKey(*members[i]).isEmpty(); }));
}

// The member whose capture date names the group, among those with one.
std::size_t leaderOf(const std::vector<PhotoPlan>& plans) {
    return firstInGroupOrder(
        plans.size(), [&](std::size_t i) -> const PhotoHeader& { return *plans[i].header; },
        [&](std::size_t i) { return isNamed(*plans[i].header, plans[i]) && plans[i].newCapture != 0.0; });
}

// Every date converted between the plan's zones at its own moment, and each zone offset set to the target zone's
// at its date's moment (the capture date's when its own date cannot be read).
meta::DateShift zoneShift(const PhotoHeader& header, const ZoneConversion& conversion) {
    meta::DateShift shift;
    std::map<std::uint64_t, int> offsets;  // target zone offset by date file offset
    std::optional<int> captureOffset;
    for (std::size_t i = 0; i < header.dates.size(); ++i) {
        const meta::DateSlot& slot = header.dates[i];
        if (slot.value == 0.0 || !slot.rewritable) continue;
        const auto converted = conversion.convert(slot.value);
        if (!converted) return {meta::ShiftStatus::kOutOfRange, {}};
        shift.patches.push_back({slot.fileOffset, meta::exifDateText(converted->value)});
        offsets[slot.fileOffset] = converted->offset;
        if (static_cast<int>(i) == header.captureIndex) captureOffset = converted->offset;
    }
    if (shift.patches.empty()) return shift;
    shift.status = meta::ShiftStatus::kShifted;
    for (const meta::ZoneSlot& zone : header.zones) {
        const auto own = offsets.find(zone.dateOffset);
        const std::optional<int> offset = own != offsets.end() ? std::optional<int>(own->second) : captureOffset;
        if (!offset) continue;
        std::string text = meta::zoneOffsetText(*offset);
        if (zone.size > text.size()) text += '\0';
        shift.patches.push_back({zone.fileOffset, text});
    }
    return shift;
}

void planDatesMoved(const PhotoHeader& header, const ZoneConversion* zones, PhotoPlan& plan);

// Every date of one file under the plan's correction (`zones`: the conversion between the plan's zones, when it
// has them): the EXIF dates (or those of another container), then the XMP and IPTC copies of a JPEG.
void planDates(const PhotoHeader& header, const ZoneConversion* zones, PhotoPlan& plan) {
    plan.oldCapture = plan.newCapture = header.recordedCapture;
    if (!header.readProblem.isEmpty()) {
        plan.outcome = DateOutcome::Unread;
        return;
    }
    // A photo that records its zone tells whether its clock needed the conversion: a phone that followed the local
    // time already shows the trip's time.
    bool keep = false;
    if (zones != nullptr && header.recordedZone) {
        if (const auto offsets = zones->offsetsAt(header.recordedCapture)) {
            const QString recorded = QString::fromStdString(meta::zoneOffsetText(*header.recordedZone));
            if (*header.recordedZone == offsets->to) {
                keep = true;
                plan.zoneRemark = QStringLiteral("records ") + recorded + QStringLiteral(", the offset of ") +
                                  zones->to() +
                                  QStringLiteral(" then: its clock followed the local time, its dates stay as they are");
            } else if (*header.recordedZone != offsets->from) {
                plan.zoneRemark = QStringLiteral("records ") + recorded + QStringLiteral(", the offset of neither ") +
                                  zones->from() + QStringLiteral(" nor ") + zones->to() +
                                  QStringLiteral(" then; converted from ") + zones->from() + QStringLiteral(" as asked");
            }
        }
    }
    if (keep) {
        planDatesMoved(header, nullptr, plan);
        plan.patches.clear();
        plan.copyPatches.clear();
        plan.copiesMoved = 0;
        plan.newCapture = plan.oldCapture;
        return;
    }
    planDatesMoved(header, zones, plan);
}

// planDates once the correction is settled: `zones` converts, else plan.offset moves.
void planDatesMoved(const PhotoHeader& header, const ZoneConversion* zones, PhotoPlan& plan) {
    const meta::DateMapping mapping =
        zones != nullptr ? zones->mapping() : meta::DateMapping::bySeconds(totalSeconds(plan.offset));
    if (header.container != meta::ContainerKind::Jpeg) {
        planContainerDates(header, mapping, zones, plan);
        return;
    }
    if (!header.hasExif) {
        plan.outcome = DateOutcome::NoExif;
    } else if (zones != nullptr) {
        takeShift(header, zoneShift(header, *zones), plan);
    } else {
        const TimeOffset& offset = plan.offset;
        meta::DateShift shift = meta::planDateShift(
            header.dates, meta::offsetInDays(offset.days, offset.hours, offset.minutes, offset.seconds));
        // A camera whose rule leaves it at zero keeps its dates exactly as written.
        if (plan.cameraRule && totalSeconds(offset) == 0) shift.patches.clear();
        takeShift(header, shift, plan);
    }
    planCopies(header, mapping, plan);
}

// What the planner knows of an output folder. Whether it exists is looked at once, by the first plan in it: a
// folder the run makes holds only the run's own outputs, which the names given stand for.
struct PlannedFolder {
    bool exists = false;
    int error = 0;       // errno when it cannot be opened; ENOENT: missing, it will be made
    std::string where;   // the folder that failed
    ino_t key = 0;       // the folder's place in the run's naming
    bool besideSource = false;
};

// An open folder, closed on leaving.
class FolderFd {
  public:
    explicit FolderFd(int fd) : fd_(fd) {}
    ~FolderFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    FolderFd(const FolderFd&) = delete;
    FolderFd& operator=(const FolderFd&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

}  // namespace

QString PhotoPlan::correctionText(bool withChange) const {
    if (fromZone.isEmpty()) return offsetText(totalSeconds(offset));
    QString text = fromZone + QStringLiteral(" to ") + toZone;
    if (withChange && corrected() && oldCapture != 0.0 && newCapture != 0.0) {
        text += u' ' + offsetText(std::llround((newCapture - oldCapture) * 86400.0));
    }
    return text;
}

QString PhotoPlan::note() const {
    QStringList parts;
    switch (outcome) {
        case DateOutcome::Shifted:
            break;
        case DateOutcome::NoExif:
            parts << QStringLiteral("no EXIF");
            break;
        case DateOutcome::NoReadableDate:
            parts << QStringLiteral("no readable date");
            break;
        case DateOutcome::OutOfRange:
            parts << QStringLiteral("date out of range");
            break;
        case DateOutcome::Unread:
            parts << QStringLiteral("cannot read: ") + (header ? header->readProblem : QString());
            break;
        case DateOutcome::Unsafe:
            parts << QStringLiteral("dates not changed: ") + (header ? header->structureProblem : QString());
            break;
    }
    if (outcome != DateOutcome::Shifted && copiesMoved > 0) parts << QStringLiteral("XMP/IPTC dates moved");
    if (header && !header->refusal.isEmpty()) parts << header->refusal;
    if (!zoneRemark.isEmpty()) parts << zoneRemark;
    if (!problem.isEmpty()) parts << problem;
    if (replacesOriginal) parts << QStringLiteral("replaces original");
    if (renamedTo > 1) parts << QStringLiteral("renamed _") + QString::number(renamedTo);
    if (!avoided.isEmpty()) parts << QStringLiteral("not replacing source ") + avoided;
    return parts.isEmpty() ? QStringLiteral("ok") : parts.join(QStringLiteral(", "));
}

bool PhotoPlan::willBeWritten() const {
    return outcome != DateOutcome::Unread && problem.isEmpty() && (!header || header->refusal.isEmpty());
}

PhotoHeader readPhotoHeader(const std::string& nativePath, const QString& sourceFolder, meta::ImgData& data,
                            meta::SourceFile& source, bool forPreview) {
    PhotoHeader header;
    header.nativePath = nativePath;
    header.path = decodePath(nativePath);
    header.relativePath = header.path.mid(withTrailingSlash(sourceFolder).size());
    const qsizetype slash = header.relativePath.lastIndexOf(u'/');
    header.relativeFolder = header.relativePath.left(slash + 1);
    header.fileName = header.relativePath.mid(slash + 1);
    if (!readAsJpeg(header.fileName)) {
        readContainerHeader(header, source);
        return header;
    }

    data.readImageFile(nativePath, source);
    // A file named like a JPEG whose bytes are another container's (a phone's HEIC saved as ".jpg") is read as what
    // it is, from the same open file.
    if (source.isOpen() && !data.sourceBytes().starts_with("\xFF\xD8")) {
        const meta::ContainerKind kind =
            meta::detectContainer(meta::SourceFileBytes(source), extensionOf(header.fileName));
        if (kind != meta::ContainerKind::Unknown && kind != meta::ContainerKind::Jpeg) {
            data.clearState();
            readContainerHeader(header, source);
            return header;
        }
    }
    // The source's one look-up is the reader's, through its descriptor; only a file it could not open or read is
    // looked up by name.
    if (source.isOpen()) takeStatus(header, source.status());
    if (!source.isOpen() || data.sourceBytes().empty()) {
        struct stat info {};
        if (!source.isOpen() && ::stat(nativePath.c_str(), &info) == 0) {
            header.device = info.st_dev;
            header.inode = info.st_ino;
            header.fileDate = fileDateOf(info);
        }
        const std::string& why = data.diagnostic().empty() ? data.statusText() : data.diagnostic();
        header.readProblem = why.empty() ? QStringLiteral("no such file, or not a regular file")
                                         : QString::fromLocal8Bit(why.c_str());
        return header;
    }
    if (forPreview) header.refusal = jpegRefusal(data, source);
    header.dateCopies = meta::readDateCopies(data);
    if (data.strayBytes() > 0) {
        header.passedOver << (data.strayBytes() == 1
                                  ? QStringLiteral("1 byte between the header sections belongs to none; it was passed "
                                                   "over and is copied where it stands")
                                  : QString::number(data.strayBytes()) +
                                        QStringLiteral(" bytes between the header sections belong to none; they were "
                                                       "passed over and are copied where they stand"));
    }
    meta::ImageInfo* exif = data.hasAnyMetadata() && data.hasExifBlock() ? data.exif() : nullptr;
    header.hasExif = exif != nullptr;
    if (exif == nullptr) return header;
    readDates(data, header);
    header.cameraMake = cameraText(*exif, kMakeTag, exif->cameraMake);
    header.cameraModel = cameraText(*exif, kModelTag, exif->cameraModel);
    header.bodySerial = bodySerialOf(*exif);
    header.zones = meta::zoneSlotsOf(data);
    if (header.captureIndex >= 0) {
        const std::uint64_t capture = header.dates[static_cast<std::size_t>(header.captureIndex)].fileOffset;
        const std::string& bytes = data.sourceBytes();
        for (const meta::ZoneSlot& zone : header.zones) {
            if (zone.dateOffset != capture || zone.fileOffset >= bytes.size()) continue;
            header.recordedZone = meta::parseZoneOffset(std::string_view(bytes).substr(zone.fileOffset, zone.size));
        }
    }
    header.gpsTime = meta::gpsDateTimeOf(*exif);
    if (header.gpsTime == 0.0) header.gpsTimeOfDay = meta::gpsTimeOfDayOf(*exif);
    // The run has no use for the thumbnail; only a preview looks for it.
    if (forPreview) {
        if (const auto thumbnail = meta::exifThumbnailOf(data, *exif)) {
            header.thumbnailOffset = thumbnail->offset;
            header.thumbnailLength = thumbnail->length;
        }
    }
    return header;
}

PhotoHeader readPhotoHeader(const std::string& nativePath, const QString& sourceFolder) {
    try {
        meta::ImgData data(255);
        meta::SourceFile source;
        return readPhotoHeader(nativePath, sourceFolder, data, source);
    } catch (const std::exception& failure) {
        PhotoHeader header;
        header.nativePath = nativePath;
        header.path = decodePath(nativePath);
        header.readProblem = QString::fromLocal8Bit(failure.what());
        return header;
    }
}

namespace {

// readPhotoHeader for a task of the pool, which must not throw: whatever the reading throws becomes the file's read
// problem, and the other files are read on.
std::shared_ptr<const PhotoHeader> readHeaderTask(const std::string& nativePath, const QString& sourceFolder,
                                                  meta::ImgData& data) {
    QString problem;
    try {
        meta::SourceFile source;
        return std::make_shared<const PhotoHeader>(readPhotoHeader(nativePath, sourceFolder, data, source));
    } catch (const std::exception& failure) {
        problem = QString::fromLocal8Bit(failure.what());
    } catch (...) {
        problem = QStringLiteral("the file could not be read");
    }
    auto header = std::make_shared<PhotoHeader>();
    header->nativePath = nativePath;
    header->path = decodePath(nativePath);
    header->relativePath = header->path.mid(withTrailingSlash(sourceFolder).size());
    header->fileName = header->relativePath.mid(header->relativePath.lastIndexOf(u'/') + 1);
    header->relativeFolder = header->relativePath.left(header->relativePath.size() - header->fileName.size());
    header->readProblem = problem;
    return header;
}

}  // namespace

std::vector<std::shared_ptr<const PhotoHeader>> readPhotoHeaders(const std::vector<std::string>& nativePaths,
                                                                 const QString& sourceFolder, int threads,
                                                                 HeaderReading* reading) {
    std::vector<std::shared_ptr<const PhotoHeader>> headers(nativePaths.size());
    // Reading from the page cache keeps a core busy: readers beyond the cores would only add their read windows'
    // memory (several MB each for a raw file's directories).
    const auto cores = static_cast<std::size_t>(std::max(1U, std::thread::hardware_concurrency()));
    const auto workers =
        std::min({static_cast<std::size_t>(jobsFor(threads)), cores, nativePaths.size()});
    std::atomic<std::size_t> next{0};
    // Each worker reads with its own container and writes only the headers it took.
    const auto work = [&] {
        meta::ImgData data(255);
        for (std::size_t i = next++; i < nativePaths.size(); i = next++) {
            if (reading != nullptr && reading->stop) return;
            headers[i] = readHeaderTask(nativePaths[i], sourceFolder, data);
            if (reading != nullptr) ++reading->done;
        }
    };
    if (workers <= 1) {
        work();
        return headers;
    }
    {
        // The same pool as the run's, sized the same way; it is done with every task when it goes.
        WorkerPool pool(static_cast<int>(workers));
        for (std::size_t t = 0; t < workers; ++t) pool.submit(work);
    }
    return headers;
}

struct Planner::State {
    QString sourceFolder;
    FileNamer namer;
    OutputNames names;
    std::map<QString, PlannedFolder> folders;  // by output folder path
    std::optional<ZoneConversion> zones;       // the last plan's

    State(const QString& source, const QLocale& locale, Clock clock)
        : sourceFolder(source), namer(locale, std::move(clock)) {}

    // The output folder of a plan, opened when it existed at its first plan; -1 otherwise.
    static int openFolder(const QString& destination, const PhotoHeader& header, const PlannedFolder& folder) {
        if (!folder.exists) return -1;
        int error = 0;
        std::string where;
        return openFolderBeneath(encodePath(destination), encodePath(header.relativeFolder), error, where, false);
    }

    const PlannedFolder& folderFor(const QString& destination, const PhotoHeader& header) {
        const QString path = withTrailingSlash(destination) + header.relativeFolder;
        const auto found = folders.find(path);
        if (found != folders.end()) return found->second;
        PlannedFolder folder;
        folder.key = static_cast<ino_t>(folders.size() + 1);
        const FolderFd fd(openFolderBeneath(encodePath(destination), encodePath(header.relativeFolder),
                                            folder.error, folder.where, false));
        folder.exists = fd.get() >= 0;
        if (folder.exists) {
            struct stat output {};
            struct stat beside {};
            const std::string sourcePath = encodePath(withTrailingSlash(sourceFolder) + header.relativeFolder);
            folder.besideSource = ::fstat(fd.get(), &output) == 0 &&
                                  ::stat(sourcePath.empty() ? "." : sourcePath.c_str(), &beside) == 0 &&
                                  output.st_dev == beside.st_dev && output.st_ino == beside.st_ino;
        }
        return folders.emplace(path, folder).first->second;
    }
};

Planner::Planner(const QString& sourceFolder, const QLocale& locale, Clock clock)
    : state_(std::make_unique<State>(sourceFolder, locale, std::move(clock))) {}

Planner::~Planner() = default;

void Planner::addSource(const PhotoHeader& header) {
    if (header.device != 0 || header.inode != 0) addSource(header.device, header.inode);
}

void Planner::addSource(dev_t device, ino_t inode, std::int64_t birth) {
    state_->names.addSource(device, inode, birth);
}

PhotoPlan Planner::plan(std::shared_ptr<const PhotoHeader> header, const RunOptions& options) {
    return planGroup({std::move(header)}, options).front();
}

std::vector<PhotoPlan> Planner::planGroup(const std::vector<std::shared_ptr<const PhotoHeader>>& members,
                                          const RunOptions& options) {
    std::vector<PhotoPlan> plans(members.size());
    const PhotoHeader& camera = cameraOfGroup(members);
    for (std::size_t i = 0; i < members.size(); ++i) {
        PhotoPlan& plan = plans[i];
        plan.header = members[i];
        plan.destinationFolder = options.destinationFolder;
        plan.camera = cameraKey(camera);
        if (const CameraOffset* rule = cameraOffsetFor(camera, options)) {
            plan.offset = rule->offset;
            plan.cameraRule = true;
        } else if (!options.fromZone.isEmpty() && !options.toZone.isEmpty()) {
            plan.fromZone = options.fromZone;
            plan.toZone = options.toZone;
        } else {
            plan.offset = options.offset;
        }
        std::optional<ZoneConversion>& zones = state_->zones;
        if (!plan.fromZone.isEmpty() && (!zones || zones->from() != plan.fromZone || zones->to() != plan.toZone)) {
            zones.emplace(plan.fromZone, plan.toZone);  // made once per pair: a zone is slow to look up
            if (!zones->isValid()) {
                throw std::invalid_argument("unknown time zone \"" + plan.fromZone.toStdString() + "\" or \"" +
                                            plan.toZone.toStdString() + '"');
            }
        }
        planDates(*plan.header, plan.fromZone.isEmpty() ? nullptr : &*zones, plan);
    }

    FileNamer& namer = state_->namer;
    if (namer.formatMask().isEmpty() || namer.formatMaskText() != options.fileMask) {
        // A mask refused now leaves the one accepted before in force; with none before, no name can be formed.
        if (!namer.applyFileMask(options.fileMask).accepted && namer.formatMask().isEmpty()) {
            throw std::runtime_error(kInvalidFileMaskMessage.toStdString());
        }
    }
    const std::size_t lead = leaderOf(plans);
    const PhotoHeader& leader = *plans[lead].header;
    const bool named = isNamed(leader, plans[lead]);
    const double groupCapture = named ? plans[lead].newCapture : 0.0;
    const OutputPath formed = namer.outputPathFor(options.destinationFolder, leader.relativePath, named, groupCapture,
                                                  namingOptionsOf(options));
    for (PhotoPlan& plan : plans) {
        plan.output = formed;
        plan.output.extension = outputExtensionOf(plan.header->fileName);
        updateRelativeOutput(plan);
        // A member without a date of its own (a sidecar, say) takes its group's for its file time.
        const double own = isNamed(*plan.header, plan) ? plan.newCapture : 0.0;
        const double time = own != 0.0 ? own : groupCapture;
        plan.outputFileDate =
            options.preserveModDate || time == 0.0 ? plan.header->fileDate : dosDateTimeFromDays(time);
        plan.nameIsWritable = formed.nameIsWritable();
    }
    const auto failAll = [&plans](const QString& problem) {
        for (PhotoPlan& plan : plans) plan.problem = problem;
        return plans;
    };
    if (!formed.nameIsWritable()) return failAll(QStringLiteral("name cannot be a file"));
    const PlannedFolder& folder = state_->folderFor(options.destinationFolder, leader);
    for (PhotoPlan& plan : plans) plan.folderKey = folder.key;
    if (!folder.exists && folder.error != ENOENT) {
        return failAll(QStringLiteral("cannot write in folder \"") + decodePath(folder.where) + u'"');
    }
    const FolderFd fd(State::openFolder(options.destinationFolder, leader, folder));
    std::vector<OutputNames::Member> outputs;
    for (const PhotoPlan& plan : plans) {
        OutputNames::Member member;
        member.extension = plan.output.extension;
        member.sourceName = folder.besideSource ? plan.header->fileName : QString();
        member.device = plan.header->device;
        member.inode = plan.header->inode;
        outputs.push_back(member);
    }
    const std::vector<OutputNames::Choice> choices =
        state_->names.chooseGroup(fd.get(), 0, folder.key, formed.name, options.autoRename, outputs);
    for (std::size_t i = 0; i < plans.size(); ++i) {
        PhotoPlan& plan = plans[i];
        const OutputNames::Choice& choice = choices[i];
        plan.output.name = choice.name;
        plan.output.extension = choice.extension;
        updateRelativeOutput(plan);
        plan.replace = choice.replace;
        plan.replacesOriginal = choice.ownSource;
        plan.renamedTo = choice.number;
        if (!choice.avoided.isEmpty()) plan.avoided = plan.output.folder + choice.avoided;
    }
    return plans;
}

void Planner::replanDates(PhotoPlan& plan, std::shared_ptr<const PhotoHeader> header) const {
    plan.header = std::move(header);
    plan.patches.clear();
    plan.copyPatches.clear();
    plan.copiesMoved = 0;
    plan.copiesLeft.clear();
    plan.newCapture = 0.0;
    std::optional<ZoneConversion> zones;
    if (!plan.fromZone.isEmpty()) zones.emplace(plan.fromZone, plan.toZone);
    planDates(*plan.header, zones ? &*zones : nullptr, plan);
}

QString Planner::nextName(PhotoPlan& plan) {
    const PlannedFolder& folder = state_->folderFor(plan.destinationFolder, *plan.header);
    const FolderFd fd(State::openFolder(plan.destinationFolder, *plan.header, folder));
    const QString name = state_->names.next(fd.get(), 0, folder.key, plan.output.name, plan.output.extension);
    plan.output.name = name;
    updateRelativeOutput(plan);
    return name;
}

void Planner::nextGroupName(const std::vector<PhotoPlan*>& plans) {
    if (plans.empty()) return;
    const PhotoPlan& first = *plans.front();
    const PlannedFolder& folder = state_->folderFor(first.destinationFolder, *first.header);
    const FolderFd fd(State::openFolder(first.destinationFolder, *first.header, folder));
    std::vector<QString> extensions;
    for (const PhotoPlan* plan : plans) extensions.push_back(plan->output.extension);
    const QString name = state_->names.next(fd.get(), 0, folder.key, first.output.name, extensions);
    for (PhotoPlan* plan : plans) {
        plan->output.name = name;
        updateRelativeOutput(*plan);
    }
}

void Planner::notWritten(const PhotoPlan& plan) {
    state_->names.notWritten(0, plan.folderKey, plan.output.name + plan.output.extension);
}

std::vector<PhotoPlan> planList(const std::vector<std::shared_ptr<const PhotoHeader>>& headers,
                                const RunOptions& options, const QLocale& locale, Clock clock) {
    Planner planner(options.sourceFolder, locale, std::move(clock));
    for (const auto& header : headers) planner.addSource(*header);
    std::vector<QString> paths;
    for (const auto& header : headers) paths.push_back(header->relativePath);
    std::vector<PhotoPlan> plans(headers.size());
    for (const std::vector<std::size_t>& group : nameGroups(paths)) {
        std::vector<std::shared_ptr<const PhotoHeader>> members;
        for (const std::size_t i : group) members.push_back(headers[i]);
        std::vector<PhotoPlan> made = planner.planGroup(members, options);
        for (std::size_t k = 0; k < group.size(); ++k) plans[group[k]] = std::move(made[k]);
    }
    return plans;
}

bool readAsJpeg(const QString& fileName) {
    const meta::ContainerKind kind = meta::containerOfExtension(extensionOf(fileName));
    return kind == meta::ContainerKind::Jpeg || kind == meta::ContainerKind::Unknown;
}

QString outputExtensionOf(const QString& fileName) {
    return readAsJpeg(fileName) ? kOutputExtension : splitFileName(fileName).extension;
}

std::vector<std::vector<std::size_t>> nameGroups(const std::vector<QString>& relativePaths) {
    std::vector<std::vector<std::size_t>> groups;
    std::map<QString, std::size_t> byStem;  // folder + stem -> group
    for (std::size_t i = 0; i < relativePaths.size(); ++i) {
        const QString& path = relativePaths[i];
        const qsizetype slash = path.lastIndexOf(u'/');
        const QString key = path.left(slash + 1) + splitFileName(path.mid(slash + 1)).stem;
        const QString extension = outputExtensionOf(path.mid(slash + 1));
        const auto found = byStem.find(key);
        if (found != byStem.end()) {
            std::vector<std::size_t>& group = groups[found->second];
            // Two outputs of one name and extension cannot both be written: the second stands alone.
            const bool clash = std::any_of(group.begin(), group.end(), [&](std::size_t member) {
                const QString& other = relativePaths[member];
                return outputExtensionOf(other.mid(other.lastIndexOf(u'/') + 1))
                           .compare(extension, Qt::CaseInsensitive) == 0;
            });
            if (!clash) {
                group.push_back(i);
                continue;
            }
        } else {
            byStem.emplace(key, groups.size());
        }
        groups.push_back({i});
    }
    return groups;
}

QString formatPlanDate(double dateTime) {
    if (dateTime == 0.0) return QStringLiteral("-");
    const meta::CivilDateTime f = meta::decodeDateTime(dateTime);
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", f.year, f.month, f.day, f.hour, f.minute, f.second);
}

}  // namespace morrowtide::app
