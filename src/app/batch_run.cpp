// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/batch_run.h"
#include "app/native_path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>

#include "app/file_list.h"
#include "app/naming.h"
#include "app/photo_plan.h"
#include "meta/date_copies.h"
#include "meta/date_plan.h"
#include "meta/formats/file_dates.h"
#include "meta/img_data.h"
#include "meta/jpeg_validate.h"
#include "meta/jpeg_writer.h"
#include "meta/safe_file.h"

namespace morrowtide::app {

namespace fs = std::filesystem;

namespace {

QString withDelimiter(const QString& folder) {
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

// Only a-z: the comparison of folder texts knows no other letters.
QString upperAscii(QString text) {
    for (QChar& c : text) {
        if (c >= u'a' && c <= u'z') c = QChar(c.unicode() - u'a' + u'A');
    }
    return text;
}

std::string nativePath(const QString& path) {
    return encodePath(path);
}

QString messageOf(const char* what) {
    return QString::fromLocal8Bit(what);
}

// The bytes of a source the metadata reader did not take in, or the reason why not. A FIFO or a device named like
// a photo is refused rather than read, which could block for ever.
std::string readUnreadSource(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        throw meta::WriteError("Cannot open file \"" + path + "\". " + std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode)) throw meta::WriteError("Cannot open file \"" + path + "\". Not a regular file");
    return meta::readSourceFile(path);
}

// The patches were planned from bytes the container no longer holds: only a file changed under the run does that.
std::string changedMessage(const std::string& path) {
    return "Cannot open file \"" + path + "\". The file was changed after it was read.";
}

std::optional<FileIdentity> identityOfOpen(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return std::nullopt;
    return FileIdentity{info.st_dev, info.st_ino};
}

// The output folder of one photo, opened below the destination without following links (see openFolderBeneath).
class OutputFolder {
  public:
    OutputFolder(const std::string& destination, const std::string& relativeFolder) {
        fd_ = openFolderBeneath(destination, relativeFolder, error_, where_);
        if (fd_ >= 0) identity_ = identityOfOpen(fd_).value_or(FileIdentity{});
    }
    ~OutputFolder() {
        if (fd_ >= 0) ::close(fd_);
    }
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;

    int fd() const { return fd_; }
    const FileIdentity& identity() const { return identity_; }

    // Throws the reason the file cannot be created when the folder could not be opened.
    void check(const std::string& file) const {
        if (fd_ >= 0) return;
        if (error_ == ELOOP) {
            throw meta::WriteError("Cannot create file \"" + file + "\". The folder \"" + where_ +
                                   "\" is a symbolic link, which is not followed");
        }
        throw meta::WriteError(meta::cannotCreateMessage(file, error_));
    }

  private:
    int fd_ = -1;
    int error_ = 0;
    std::string where_;
    FileIdentity identity_;
};

// The copy of a file that is not a JPEG: its bytes by kernel copy, its date fields patched, its checksums renewed.
void writeContainerCopy(const PhotoPlan& plan, const meta::SourceFile& sourceFile, meta::OutputTarget target) {
    const PhotoHeader& header = *plan.header;
    if (!header.readProblem.isEmpty() || !sourceFile.isOpen()) {
        throw meta::WriteError("Cannot open file \"" + header.nativePath + "\". " + header.readProblem.toStdString());
    }
    meta::SafeFileWriter writer(std::move(target));
    meta::writePatchedCopy(sourceFile, writer, plan.patches, header.checksums);
    // The patches were planned from the file as it was read; a file changed since is not published.
    if (!sourceFile.unchanged()) throw meta::WriteError(changedMessage(header.nativePath));
    writer.commit();
}

}  // namespace

QString unreadableFoldersNote(int count) {
    return QString::number(count) + (count == 1 ? QStringLiteral(" folder") : QStringLiteral(" folders")) +
           QStringLiteral(" could not be read; their photos were not listed");
}

QString otherTypesLeftOutNote(int count) {
    return QString::number(count) +
           (count == 1 ? QStringLiteral(" other photo or video file was")
                       : QStringLiteral(" other photo and video files were")) +
           QStringLiteral(" left out (\"Also correct other photo and video files\" adds them)");
}

bool isSameFolder(const QString& source, const QString& destination) {
    if (upperAscii(withDelimiter(source)) == upperAscii(withDelimiter(destination))) return true;
    // The same folder written another way would otherwise overwrite the originals without a question.
    if (source.isEmpty() || destination.isEmpty()) return false;
    std::error_code error;
    return fs::equivalent(fs::path(nativePath(source)), fs::path(nativePath(destination)), error) && !error;
}

bool needsOverwriteQuestion(const RunOptions& options) {
    return !options.includeDateTime && !options.autoRename &&
           isSameFolder(options.sourceFolder, options.destinationFolder);
}

RunSummary makeSummary(int processed, int listed, bool stopped) {
    RunSummary summary;
    summary.processed = processed;
    summary.listed = listed;
    summary.stopped = stopped;
    const QString k = QString::number(processed);
    const QString n = QString::number(listed);
    // In the program's language where a translation is installed (the window); as written otherwise.
    if (stopped) {
        summary.kind = SummaryKind::Warning;
        summary.text =
            QCoreApplication::translate("morrowtide::app::BatchRun", "Cancelled: %1/%2 Files Processed.").arg(k, n);
    } else if (processed == listed) {
        summary.kind = SummaryKind::Information;
        summary.text =
            QCoreApplication::translate("morrowtide::app::BatchRun", "Completed Successfully (%1 Files)").arg(k);
    } else {
        summary.kind = SummaryKind::Information;
        summary.text =
            QCoreApplication::translate("morrowtide::app::BatchRun", "Completed Successfully (%1/%2 Files)").arg(k, n);
    }
    return summary;
}

BatchRun::BatchRun(BatchHost& host) : host_(host) {}

RunSummary BatchRun::run() {
    const RunOptions startOptions = host_.currentOptions();
    // A dry run replaces nothing: there is nothing to ask.
    if (!dryRun_ && needsOverwriteQuestion(startOptions) && !host_.confirmOverwrite()) {
        ending_ = RunEnding::Declined;
        return {};
    }

    host_.runReset();
    fileList_.clear();
    // Fixed for the whole run, whatever the host shows later.
    const QString sourceFolder = startOptions.sourceFolder;
    std::error_code error;
    if (sourceFolder.isEmpty() || !fs::is_directory(fs::path(nativePath(sourceFolder)), error)) {
        ending_ = RunEnding::InvalidSource;
        host_.invalidSource(kInvalidDirectoryMessage);
        return {};
    }

    host_.listingStarted();
    nativeFiles_.clear();
    ScanReport report;
    scanFolderNative(nativePath(sourceFolder), startOptions.recurseFolders, nativeFiles_, &report,
                     identityOf(nativePath(startOptions.destinationFolder)), startOptions.allTypes);
    std::vector<QString> relativePaths;
    const qsizetype prefix = withTrailingSlash(sourceFolder).size();
    for (const auto& native : nativeFiles_) {
        fileList_.append(decodePath(native));
        relativePaths.push_back(fileList_.back().mid(prefix));
    }
    groups_ = nameGroups(relativePaths);
    groupOf_.assign(nativeFiles_.size(), 0);
    for (std::size_t g = 0; g < groups_.size(); ++g) {
        for (const std::size_t member : groups_[g]) groupOf_[member] = g;
    }
    aheadPlans_.clear();
    const int listed = static_cast<int>(fileList_.size());
    host_.listBuilt(listed);
    if (!report.leftOut.empty()) {
        host_.logNote(QStringLiteral("The destination folder \"") + decodePath(report.leftOut) +
                      QStringLiteral("\" lies inside the source folder and was left out of the list"));
    }
    for (const auto& [folder, reason] : report.unreadable) {
        host_.logNote(QStringLiteral("Cannot read folder \"") + decodePath(folder) + QStringLiteral("\". ") +
                      QString::fromLocal8Bit(reason.c_str()));
    }

    meta::ImgData data(255);  // reused: its buffer keeps the capacity of the largest header read so far
    Planner planner(sourceFolder, locale_, currentLocalDateTime);
    for (const auto& native : nativeFiles_) {
        if (const auto id = identityOf(native)) planner.addSource(id->device, id->inode);
    }
    int processed = 0;
    QString outputPath;
    for (int i = 0; i < listed; ++i) {
        outputPath.clear();
        if (host_.stopRequested()) break;
        host_.fileStarted(fileList_[i]);
        if (processFile(static_cast<std::size_t>(i), sourceFolder, data, planner, outputPath)) {
            ++processed;
        }
        host_.fileDone(outputPath.isEmpty() ? kOutputExtension : outputPath);
        host_.breathe();
    }

    ending_ = RunEnding::Finished;
    if (!report.unreadable.empty()) host_.logNote(unreadableFoldersNote(static_cast<int>(report.unreadable.size())));
    if (!startOptions.allTypes && report.otherTypes > 0) host_.otherTypesLeftOut(report.otherTypes);
    // A Stop during the last file still counts.
    const RunSummary summary = makeSummary(processed, listed, host_.stopRequested());
    host_.runFinished(summary);
    return summary;
}

PhotoPlan BatchRun::planFile(std::size_t index, std::shared_ptr<const PhotoHeader> header,
                              const QString& sourceFolder, const RunOptions& options, Planner& planner) {
    const std::vector<std::size_t>& group = groups_[groupOf_[index]];
    if (group.size() == 1) return planner.plan(std::move(header), options);
    if (const auto ahead = aheadPlans_.find(index); ahead != aheadPlans_.end()) {
        PhotoPlan plan = std::move(ahead->second);
        aheadPlans_.erase(ahead);
        planner.replanDates(plan, std::move(header));
        return plan;
    }
    // The first of its group: the others are read for their dates now, so that the group is named as one.
    std::vector<std::shared_ptr<const PhotoHeader>> members;
    for (const std::size_t member : group) {
        members.push_back(member == index ? header
                                          : std::make_shared<const PhotoHeader>(
                                                readPhotoHeader(nativeFiles_[member], sourceFolder)));
    }
    std::vector<PhotoPlan> plans = planner.planGroup(members, options);
    std::optional<PhotoPlan> own;
    for (std::size_t k = 0; k < group.size(); ++k) {
        if (group[k] == index) {
            own = std::move(plans[k]);
        } else {
            aheadPlans_[group[k]] = std::move(plans[k]);
        }
    }
    return std::move(*own);
}

bool BatchRun::processFile(std::size_t index, const QString& sourceFolder, meta::ImgData& data, Planner& planner,
                           QString& outputPath) {
    std::optional<PhotoPlan> plan;
    try {
        const RunOptions options = host_.currentOptions();
        // The file is opened once: the reader takes in its sections up to the first scan, the writer copies the
        // rest from the same open file.
        meta::SourceFile sourceFile;
        auto header = std::make_shared<const PhotoHeader>(
            readPhotoHeader(nativeFiles_[index], sourceFolder, data, sourceFile, dryRun_));
        plan = planFile(index, std::move(header), sourceFolder, options, planner);
        outputPath = plan->output.filePath();
        host_.planMade(*plan);
        if (dryRun_) {
            host_.filePlanned(*plan);
            if (!plan->willBeWritten()) return false;
        } else {
            applyPlan(*plan, data, sourceFile, planner, outputPath);
        }
        reportNotCorrected(*plan);
        host_.breathe();
        return true;
    } catch (const std::exception& failure) {
        host_.fileError(messageOf(failure.what()));
    } catch (...) {
        host_.fileError(QStringLiteral("Unknown error"));
    }
    if (plan) planner.notWritten(*plan);
    return false;
}

void BatchRun::reportNotCorrected(const PhotoPlan& plan) {
    // A photo whose XMP or IPTC copies moved was corrected, if not in its EXIF block.
    std::optional<meta::ShiftStatus> status;
    const QString notChanged = plan.header->path + QStringLiteral(": dates not changed: ");
    // Other files name no EXIF block: their dates lie in many places.
    const bool otherType = plan.header->container != meta::ContainerKind::Jpeg;
    if (otherType && plan.outcome == DateOutcome::Unsafe) {
        host_.fileNotCorrected(notChanged + plan.header->structureProblem, false);
    } else if (otherType && (plan.outcome == DateOutcome::NoExif || plan.outcome == DateOutcome::NoReadableDate)) {
        host_.fileNotCorrected(notChanged + QStringLiteral("no readable date"), false);
    } else if (plan.copiesMoved == 0) {
        switch (plan.outcome) {
            case DateOutcome::Shifted:
            case DateOutcome::Unread:  // the write failed and was reported
            case DateOutcome::Unsafe:
                break;
            case DateOutcome::NoExif:
                status = meta::ShiftStatus::kNoExifBlock;
                break;
            case DateOutcome::NoReadableDate:
                status = meta::ShiftStatus::kNoDate;
                break;
            case DateOutcome::OutOfRange:
                status = meta::ShiftStatus::kOutOfRange;
                break;
        }
    }
    if (status) {
        host_.fileNotCorrected(notChanged + QString::fromUtf8(meta::shiftStatusReason(*status)),
                               *status == meta::ShiftStatus::kOutOfRange);
    }
    if (!plan.copiesLeft.isEmpty()) {
        host_.logNote(plan.header->path + QStringLiteral(": dates left as they were: ") +
                      plan.copiesLeft.join(QStringLiteral("; ")));
    }
}

void BatchRun::applyPlan(PhotoPlan& plan, meta::ImgData& data, const meta::SourceFile& sourceFile, Planner& planner,
                        QString& outputPath) {
    const PhotoHeader& header = *plan.header;
    // A folder that cannot be made or is a symbolic link shows up as the file's write error, once its name is known.
    const OutputFolder folder(nativePath(plan.destinationFolder), nativePath(header.relativeFolder));
    if (!plan.nameIsWritable) throw meta::WriteError(meta::cannotCreateMessage(nativePath(outputPath), EINVAL));
    folder.check(nativePath(outputPath));
    if (!plan.avoided.isEmpty()) {
        host_.logNote(QStringLiteral("Not replaced: \"") + plan.avoided +
                      QStringLiteral("\" is one of the photos of this run; \"") + header.path +
                      QStringLiteral("\" was written as \"") + outputPath + QStringLiteral("\""));
    }
    meta::OutputTarget target(nativePath(outputPath));
    target.folder = folder.fd();
    target.name = nativePath(plan.output.name + plan.output.extension);
    target.replace = plan.replace;
    target.followLink = plan.replacesOriginal;
    // Another program (a second run) took the name meanwhile: the next free one, never theirs.
    target.nextName = [&](meta::OutputTarget& next) {
        planner.nextName(plan);
        outputPath = plan.output.filePath();
        next.name = nativePath(plan.output.name + plan.output.extension);
        next.path = nativePath(outputPath);
        return true;
    };
    // A file time that cannot be set (a date before 1980) leaves the time of writing, silently.
    if (const auto time = timeFromDosDateTime(plan.outputFileDate)) target.modified = timespec{*time, 0};

    if (header.container != meta::ContainerKind::Jpeg) {
        writeContainerCopy(plan, sourceFile, std::move(target));
        return;
    }
    // The new dates go into the one copy of the EXIF bytes, which the header is written from.
    // The XMP and IPTC copies go into the sections they were read from, which the writer puts out.
    if (!meta::applyDatePatches(data, plan.patches) || !meta::applyCopyPatches(data, plan.copyPatches)) {
        throw meta::WriteError(changedMessage(header.nativePath));
    }

    try {
        if (data.sourcePath() == header.nativePath && sourceFile.isOpen() && !data.sourceBytes().empty()) {
            meta::saveCorrectedJpeg(data, sourceFile, target);
        } else {
            // The reader could not take the file in: reading it here gives the system's reason, and an empty file
            // the JPEG loader's error.
            meta::saveCorrectedJpeg(data, readUnreadSource(header.nativePath), target);
        }
    } catch (const meta::JpegError& refused) {
        // The host names the file; the message says what is wrong with it.
        throw meta::WriteError(refused.explanation());
    }
}

}  // namespace morrowtide::app
