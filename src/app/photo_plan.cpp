#include "app/photo_plan.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
#include <stdexcept>
#include <thread>

#include "app/file_list.h"
#include "app/native_path.h"
#include "meta/date_plan.h"
#include "meta/date_time.h"
#include "meta/image_info.h"
#include "meta/img_data.h"
#include "meta/jpeg_validate.h"
#include "meta/safe_file.h"
#include "meta/tag_tables.h"
#include "meta/text_codec.h"
#include "meta/value_format.h"

namespace morrowtide::app {

namespace {

constexpr std::uint16_t kMakeTag = 0x010F;
constexpr std::uint16_t kModelTag = 0x0110;
// The IFD1 thumbnail's offset (counted from the TIFF header) and length tags.
constexpr std::uint16_t kThumbnailOffsetTag = 0x0201;
constexpr std::uint16_t kThumbnailLengthTag = 0x0202;
// The TIFF header of an EXIF APP1 section follows the length field and "Exif\0\0".
constexpr std::int64_t kTiffHeaderInSection = 8;

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

// Where the IFD1 JPEG thumbnail lies in the file, when it lies wholly inside the EXIF section.
void locateThumbnail(const meta::ImgData& data, meta::ImageInfo& exif, PhotoHeader& header) {
    const meta::JpegSection* section = data.exifSection();
    if (section == nullptr || data.tiffMode()) return;
    if (exif.thumbEntries.empty() && exif.nextDirOffset > 0) {
        // The thumbnail directory, when the reader did not walk it, walked for its entries.
        try {
            exif.walkDirectory(static_cast<std::int64_t>(exif.nextDirOffset) + 9, 9, section->size - 6,
                               meta::kThumbnailDirectory);
        } catch (const std::exception&) {
            return;  // no thumbnail that can be trusted
        }
    }
    double offset = -1;
    double length = 0;
    for (const meta::TagEntry& entry : exif.thumbEntries) {
        if (entry.tag == kThumbnailOffsetTag) offset = meta::numericValue(entry.rawBytes, entry.format, exif.bigEndian);
        if (entry.tag == kThumbnailLengthTag) length = meta::numericValue(entry.rawBytes, entry.format, exif.bigEndian);
    }
    const std::int64_t tiffBytes = section->storedLength - kTiffHeaderInSection;
    if (offset < 0 || length <= 0 || offset + length > static_cast<double>(tiffBytes)) return;
    header.thumbnailOffset = section->dataOffset + kTiffHeaderInSection + static_cast<std::int64_t>(offset);
    header.thumbnailLength = static_cast<std::int64_t>(length);
}

// The writer's verdict on the file's JPEG headers, from the bytes read when they tell (else from the whole file).
QString jpegRefusal(const meta::ImgData& data, const meta::SourceFile& source) {
    std::optional<meta::JpegRefusal> refusal = data.sourceComplete() ? meta::jpegHeaderRefusal(data.sourceBytes())
                                                                     : meta::jpegPrefixRefusal(data.sourceBytes());
    if (!refusal) {
        std::string whole;
        if (source.readAt(0, static_cast<std::size_t>(source.size()), whole) < 0) return {};
        refusal = meta::jpegHeaderRefusal(whole);
    }
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


NamingOptions namingOptionsOf(const RunOptions& options) {
    NamingOptions naming;
    naming.includeDateTime = options.includeDateTime;
    naming.includeCurrentFilename = options.includeFileName;
    naming.overwriteDateTime = options.overwriteDateTime;
    // The planner's own choice knows the other photos, the names given and the folder.
    naming.autoRename = false;
    return naming;
}

void updateRelativeOutput(PhotoPlan& plan) {
    plan.relativeOutput = plan.output.filePath().mid(withTrailingSlash(plan.destinationFolder).size());
}

// The XMP and IPTC copies move with the EXIF dates, unless those could not move at all.
void planCopies(const PhotoHeader& header, const TimeOffset& offset, PhotoPlan& plan) {
    if (plan.outcome == DateOutcome::OutOfRange || plan.outcome == DateOutcome::Unread) return;
    const meta::DateCopiesShift copies =
        meta::planDateCopies(header.dateCopies, meta::DateMapping::bySeconds(offsetInSeconds(offset)));
    plan.copyPatches = copies.plan.patches;
    plan.copiesMoved = copies.moved;
    for (const std::string& left : copies.left) plan.copiesLeft << QString::fromUtf8(left);
}

// The EXIF dates' outcome and patches of one photo under one offset.
void planExifDates(const PhotoHeader& header, const TimeOffset& offset, PhotoPlan& plan) {
    plan.oldCapture = plan.newCapture = header.recordedCapture;
    if (!header.readProblem.isEmpty()) {
        plan.outcome = DateOutcome::Unread;
        return;
    }
    if (!header.hasExif) {
        plan.outcome = DateOutcome::NoExif;
        return;
    }
    const meta::DateShift shift = meta::planDateShift(
        header.dates, meta::offsetInDays(offset.days, offset.hours, offset.minutes, offset.seconds));
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
    }
    if (outcome != DateOutcome::Shifted && copiesMoved > 0) parts << QStringLiteral("XMP/IPTC dates moved");
    if (header && !header->refusal.isEmpty()) parts << header->refusal;
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
    header.fileDate = sourceFileDate(nativePath);

    data.readImageFile(nativePath, source);
    struct stat info {};
    if (source.isOpen() && ::fstat(source.fd(), &info) == 0) {
        header.device = info.st_dev;
        header.inode = info.st_ino;
        header.size = static_cast<std::int64_t>(info.st_size);
    }
    if (!source.isOpen() || data.sourceBytes().empty()) {
        if (::stat(nativePath.c_str(), &info) == 0) {
            header.device = info.st_dev;
            header.inode = info.st_ino;
        }
        const std::string& why = data.diagnostic().empty() ? data.statusText() : data.diagnostic();
        header.readProblem = why.empty() ? QStringLiteral("no such file, or not a regular file")
                                         : QString::fromLocal8Bit(why.c_str());
        return header;
    }
    if (forPreview) header.refusal = jpegRefusal(data, source);
    header.dateCopies = meta::readDateCopies(data);
    meta::ImageInfo* exif = data.hasAnyMetadata() && data.hasExifBlock() ? data.exif() : nullptr;
    header.hasExif = exif != nullptr;
    if (exif == nullptr) return header;
    readDates(data, header);
    header.cameraMake = cameraText(*exif, kMakeTag, exif->cameraMake);
    header.cameraModel = cameraText(*exif, kModelTag, exif->cameraModel);
    header.bodySerial = bodySerialOf(*exif);
    // The run has no use for the thumbnail; only a preview looks for it.
    if (forPreview) locateThumbnail(data, *exif, header);
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

std::vector<std::shared_ptr<const PhotoHeader>> readPhotoHeaders(const std::vector<std::string>& nativePaths,
                                                                 const QString& sourceFolder, int threads,
                                                                 HeaderReading* reading) {
    std::vector<std::shared_ptr<const PhotoHeader>> headers(nativePaths.size());
    if (threads <= 0) threads = static_cast<int>(std::max(1U, std::thread::hardware_concurrency()));
    threads = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(threads), nativePaths.size()));
    std::atomic<std::size_t> next{0};
    // Each worker reads with its own container and writes only the dateValues it took.
    const auto work = [&] {
        meta::ImgData data(255);
        for (std::size_t i = next++; i < nativePaths.size(); i = next++) {
            if (reading != nullptr && reading->stop) return;
            meta::SourceFile source;
            headers[i] = std::make_shared<const PhotoHeader>(readPhotoHeader(nativePaths[i], sourceFolder, data, source));
            if (reading != nullptr) ++reading->done;
        }
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (std::thread& thread : pool) thread.join();
    return headers;
}

struct Planner::State {
    QString sourceFolder;
    FileNamer namer;
    OutputNames names;
    std::map<QString, PlannedFolder> folders;  // by output folder path

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

void Planner::addSource(dev_t device, ino_t inode) {
    state_->names.addSource(device, inode);
}

PhotoPlan Planner::plan(std::shared_ptr<const PhotoHeader> header, const RunOptions& options) {
    PhotoPlan plan;
    plan.header = header;
    planExifDates(*header, options.offset, plan);
    planCopies(*header, options.offset, plan);

    FileNamer& namer = state_->namer;
    if (namer.formatMask().isEmpty() || namer.formatMaskText() != options.fileMask) {
        // A mask refused now leaves the one accepted before in force; with none before, no name can be formed.
        if (!namer.applyFileMask(options.fileMask).accepted && namer.formatMask().isEmpty()) {
            throw std::runtime_error(kInvalidFileMaskMessage.toStdString());
        }
    }
    const bool named = header->hasExif && header->readProblem.isEmpty();
    plan.destinationFolder = options.destinationFolder;
    plan.offset = options.offset;
    plan.output = namer.outputPathFor(plan.destinationFolder, header->relativePath, named, plan.newCapture,
                                      namingOptionsOf(options));
    updateRelativeOutput(plan);
    const bool useSourceDate = options.preserveModDate || !named || plan.newCapture == 0.0;
    plan.outputFileDate = useSourceDate ? header->fileDate : dosDateTimeFromDays(plan.newCapture);

    plan.nameIsWritable = plan.output.nameIsWritable();
    if (!plan.nameIsWritable) {
        plan.problem = QStringLiteral("name cannot be a file");
        return plan;
    }
    const PlannedFolder& folder = state_->folderFor(plan.destinationFolder, *header);
    plan.folderKey = folder.key;
    if (!folder.exists && folder.error != ENOENT) {
        plan.problem = QStringLiteral("cannot write in folder \"") + decodePath(folder.where) + u'"';
        return plan;
    }
    const FolderFd fd(State::openFolder(plan.destinationFolder, *header, folder));
    const OutputNames::Choice choice = state_->names.choose(
        fd.get(), 0, folder.key, plan.output.name, options.autoRename,
        folder.besideSource ? header->fileName : QString(), header->device, header->inode);
    plan.output.name = choice.name;
    plan.output.extension = choice.extension;
    updateRelativeOutput(plan);
    plan.replace = choice.replace;
    plan.replacesOriginal = choice.ownSource;
    plan.renamedTo = choice.number;
    if (!choice.avoided.isEmpty()) plan.avoided = plan.output.folder + choice.avoided;
    return plan;
}

QString Planner::nextName(PhotoPlan& plan) {
    const PlannedFolder& folder = state_->folderFor(plan.destinationFolder, *plan.header);
    const FolderFd fd(State::openFolder(plan.destinationFolder, *plan.header, folder));
    const QString name = state_->names.next(fd.get(), 0, folder.key, plan.output.name);
    plan.output.name = name;
    updateRelativeOutput(plan);
    return name;
}

void Planner::notWritten(const PhotoPlan& plan) {
    state_->names.notWritten(0, plan.folderKey, plan.output.name + plan.output.extension);
}

std::vector<PhotoPlan> planList(const std::vector<std::shared_ptr<const PhotoHeader>>& headers,
                                const RunOptions& options, const QLocale& locale, Clock clock) {
    Planner planner(options.sourceFolder, locale, std::move(clock));
    for (const auto& header : headers) planner.addSource(*header);
    std::vector<PhotoPlan> plans;
    plans.reserve(headers.size());
    for (const auto& header : headers) plans.push_back(planner.plan(header, options));
    return plans;
}

std::int64_t offsetInSeconds(const TimeOffset& offset) {
    return static_cast<std::int64_t>(offset.days) * 86400 + static_cast<std::int64_t>(offset.hours) * 3600 +
           static_cast<std::int64_t>(offset.minutes) * 60 + offset.seconds;
}

QString formatPlanDate(double dateTime) {
    if (dateTime == 0.0) return QStringLiteral("-");
    const meta::CivilDateTime f = meta::decodeDateTime(dateTime);
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", f.year, f.month, f.day, f.hour, f.minute, f.second);
}

}  // namespace morrowtide::app
