// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/batch_run.h"
#include "app/native_path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <filesystem>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>

#include "app/ascii_case.h"
#include "app/file_list.h"
#include "app/naming.h"
#include "app/photo_plan.h"
#include "app/worker_pool.h"
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

constexpr std::size_t kMaxInFlight = 8;
// Photos whose headers are being read at the same moment. Reading a raw file's directories takes a window of up to
// several MB for a moment; the copies, not the reading, are what the other workers overlap, so two readers keep
// the pool busy while the memory stays the same for any number of workers.
constexpr std::size_t kMaxReading = 2;

QString withDelimiter(const QString& folder) {
    return folder.endsWith(u'/') ? folder : folder + u'/';
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

// The output folder of one photo, opened below the destination without following links (see openFolderBeneath).
// The first time a run opens a folder, the hidden temporary files an earlier, killed run left there are removed.
class OutputFolder {
  public:
    OutputFolder(const std::string& destination, const std::string& relativeFolder,
                 meta::StaleTemporarySweep& sweep) {
        fd_ = openFolderBeneath(destination, relativeFolder, error_, where_);
        if (fd_ >= 0) sweep.sweepOnce(fd_);
    }
    ~OutputFolder() {
        if (fd_ >= 0) ::close(fd_);
    }
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;

    int fd() const { return fd_; }

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
};

// The copy of a file that is not a JPEG: its bytes by kernel copy, its date fields patched, its checksums renewed.
void writeContainerCopy(const PhotoPlan& plan, const meta::SourceFile& sourceFile, meta::OutputTarget target) {
    const PhotoHeader& header = *plan.header;
    if (!header.readProblem.isEmpty() || !sourceFile.isOpen()) {
        throw meta::WriteError("Cannot open file \"" + header.nativePath + "\". " + header.readProblem.toStdString());
    }
    meta::SafeFileWriter writer(std::move(target));
    try {
        meta::writePatchedCopy(sourceFile, writer, plan.patches, header.checksums);
    } catch (const meta::WriteError&) {
        // A copy that ended early because the file shrank is a changed file, not a failed write.
        if (!sourceFile.unchanged()) throw meta::WriteError(changedMessage(header.nativePath));
        throw;
    }
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
    // Only a-z: the comparison of folder texts knows no other letters.
    if (asciiUpper(withDelimiter(source)) == asciiUpper(withDelimiter(destination))) return true;
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
    staleSweep_.emplace();
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
    std::vector<std::optional<FileIdentity>> identities;
    scanFolderNative(nativePath(sourceFolder), startOptions.recurseFolders, nativeFiles_, &report,
                     identityOf(nativePath(startOptions.destinationFolder)), startOptions.allTypes, &identities);
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

    Planner planner(sourceFolder, locale_, currentLocalDateTime);
    // The listing looked every photo up once; its identities keep the sources from being replaced.
    for (const auto& identity : identities) {
        if (identity) planner.addSource(identity->device, identity->inode, identity->birth);
    }
    const int jobs = jobsFor(startOptions.jobs);
    const int processed = jobs == 1 ? runInOrder(sourceFolder, planner) : runOnPool(jobs, sourceFolder, planner);

    ending_ = RunEnding::Finished;
    if (!report.unreadable.empty()) host_.logNote(unreadableFoldersNote(static_cast<int>(report.unreadable.size())));
    if (!startOptions.allTypes && report.otherTypes > 0) host_.otherTypesLeftOut(report.otherTypes);
    // A Stop during the last file still counts.
    const RunSummary summary = makeSummary(processed, listed, host_.stopRequested());
    host_.runFinished(summary);
    return summary;
}

PhotoPlan BatchRun::planFile(std::size_t index, std::shared_ptr<const PhotoHeader> header,
                              const QString& sourceFolder, const RunOptions& options, Planner& planner,
                              const ReadAhead& readAhead) {
    const std::vector<std::size_t>& group = groups_[groupOf_[index]];
    if (group.size() == 1) {
        const std::lock_guard lock(plannerMutex_);
        return planner.plan(std::move(header), options);
    }
    if (const auto ahead = aheadPlans_.find(index); ahead != aheadPlans_.end()) {
        PhotoPlan plan = std::move(ahead->second);
        aheadPlans_.erase(ahead);
        const std::lock_guard lock(plannerMutex_);
        planner.replanDates(plan, std::move(header));
        return plan;
    }
    // The first of its group: the others are read for their dates now, so that the group is named as one. A member
    // a worker has read already is not opened again.
    std::vector<std::shared_ptr<const PhotoHeader>> members;
    for (const std::size_t member : group) {
        std::shared_ptr<const PhotoHeader> read = member == index ? header : nullptr;
        if (!read && readAhead) read = readAhead(member);
        if (!read) read = std::make_shared<const PhotoHeader>(readPhotoHeader(nativeFiles_[member], sourceFolder));
        members.push_back(std::move(read));
    }
    std::vector<PhotoPlan> plans;
    {
        const std::lock_guard lock(plannerMutex_);
        plans = planner.planGroup(members, options);
    }
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

// One photo of the list on its way: read, planned, written, then told to the host. What the host is to hear is
// kept here until the photo's turn comes, so that a photo finished early waits for the ones listed before it.
struct BatchRun::InFlight {
    struct Event {
        enum class Kind { PlanMade, FilePlanned, Error, NotCorrected, Note } kind;
        QString text;
        bool outOfRange = false;
        std::optional<PhotoPlan> plan;  // as it stood when it was made
    };

    explicit InFlight(std::size_t i) : index(i) {}

    std::size_t index;
    meta::ImgData data{255};
    meta::SourceFile source;  // opened by the reader, copied from by the writer
    std::shared_ptr<const PhotoHeader> header;
    std::exception_ptr readFailure;
    std::optional<PhotoPlan> plan;
    std::optional<timespec> modified;  // the output's file time
    QString outputPath;
    bool processed = false;
    GroupWrite* group = nullptr;  // the group it is published with, when held together
    std::vector<Event> events;

    // Where it stands; changed under the pool's lock. Held: written, waiting for its group's other members.
    enum class Step { Reading, Read, Writing, Held, Done } step = Step::Reading;

    void say(Event::Kind kind, QString text, bool outOfRange = false) {
        events.push_back({kind, std::move(text), outOfRange, std::nullopt});
    }
    void fail(const std::exception_ptr& failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& error) {
            say(Event::Kind::Error, messageOf(error.what()));
        } catch (...) {
            say(Event::Kind::Error, QStringLiteral("Unknown error"));
        }
    }
};

struct BatchRun::GroupWrite {
    meta::PublishGroup files;
    std::size_t left = 0;              // members whose part has not ended
    std::vector<InFlight*> members;    // the members whose part ended, in that order
    std::vector<InFlight*> written;    // ... of them those whose file the group holds
    QString failed;                    // the first member that could not be written
};

BatchRun::GroupWrite* BatchRun::heldGroup(std::size_t index, std::size_t span) {
    const std::vector<std::size_t>& group = groups_[groupOf_[index]];
    // Held only when its members follow one another in the list (as the files of one name do): a photo between
    // them could otherwise wait for the group's publishing while the group waits for it to be planned.
    const std::size_t reach = group.back() - group.front() + 1;
    if (dryRun_ || group.size() < 2 || reach != group.size() || reach > span) return nullptr;
    const std::lock_guard lock(groupMutex_);
    std::unique_ptr<GroupWrite>& held = groupWrites_[groupOf_[index]];
    if (!held) {
        held = std::make_unique<GroupWrite>();
        held->left = group.size();
    }
    return held.get();
}

std::vector<BatchRun::InFlight*> BatchRun::memberEnded(InFlight& photo, bool written, Planner& planner) {
    if (photo.group == nullptr) return {&photo};
    const std::lock_guard lock(groupMutex_);
    GroupWrite& group = *photo.group;
    group.members.push_back(&photo);
    if (written) {
        group.written.push_back(&photo);
    } else if (group.failed.isEmpty()) {
        group.failed = fileList_[static_cast<qsizetype>(photo.index)];
    }
    if (--group.left > 0) return {};
    const auto withdraw = [&](InFlight& member, const QString& message) {
        member.processed = false;
        member.say(InFlight::Event::Kind::Error, message);
        const std::lock_guard plannerLock(plannerMutex_);
        planner.notWritten(*member.plan);
    };
    if (group.failed.isEmpty()) {
        // Another program (a second run) took a name meanwhile: the whole group moves on to its next name.
        const auto moveOn = [&](std::vector<std::string>& names) {
            std::vector<PhotoPlan*> plans;
            for (InFlight* member : group.written) plans.push_back(&*member->plan);
            std::vector<std::string> before;
            for (const PhotoPlan* plan : plans) before.push_back(nativePath(plan->output.name + plan->output.extension));
            {
                const std::lock_guard plannerLock(plannerMutex_);
                planner.nextGroupName(plans);
            }
            for (std::string& name : names) {
                const auto member = std::find(before.begin(), before.end(), name);
                if (member == before.end()) return false;
                const PhotoPlan& plan = *plans[static_cast<std::size_t>(member - before.begin())];
                name = nativePath(plan.output.name + plan.output.extension);
            }
            for (InFlight* member : group.written) member->outputPath = member->plan->output.filePath();
            return true;
        };
        try {
            group.files.publishAll(moveOn);
        } catch (const std::exception& error) {
            // Only naming a file can fail here, after every member was written: the ones named stay.
            for (InFlight* member : group.written) {
                if (!QFile::exists(member->outputPath)) withdraw(*member, messageOf(error.what()));
            }
        }
    } else {
        // A group is written whole or not at all: what its members wrote is let go, and nothing of it appears.
        group.files.discardAll();
        for (InFlight* member : group.written) {
            withdraw(*member, QStringLiteral("Not written: \"") + group.failed +
                                  QStringLiteral("\" of the same group could not be written, and a group is written "
                                                 "whole or not at all"));
        }
    }
    std::vector<InFlight*> members = std::move(group.members);
    groupWrites_.erase(groupOf_[photo.index]);
    return members;
}

BatchRun::~BatchRun() = default;

void BatchRun::readStep(InFlight& photo, const QString& sourceFolder) const {
    try {
        // The file is opened once: the reader takes in its sections up to the first scan, the writer copies the
        // rest from the same open file.
        photo.header = std::make_shared<const PhotoHeader>(
            readPhotoHeader(nativeFiles_[photo.index], sourceFolder, photo.data, photo.source, dryRun_));
    } catch (...) {
        photo.readFailure = std::current_exception();
    }
}

bool BatchRun::planStep(InFlight& photo, const RunOptions& options, const QString& sourceFolder, Planner& planner,
                        const ReadAhead& readAhead) {
    try {
        if (photo.readFailure) std::rethrow_exception(photo.readFailure);
        photo.plan = planFile(photo.index, photo.header, sourceFolder, options, planner, readAhead);
        photo.outputPath = photo.plan->output.filePath();
        photo.events.push_back({InFlight::Event::Kind::PlanMade, {}, false, photo.plan});
        // A file time that cannot be set (a date before 1980) leaves the time of writing, silently. Worked out
        // here, on the one thread that plans: the time zone rules are not the workers' to load.
        if (const auto time = timeFromDosDateTime(photo.plan->outputFileDate)) photo.modified = timespec{*time, 0};
        if (dryRun_) {
            photo.events.push_back({InFlight::Event::Kind::FilePlanned, {}, false, photo.plan});
            if (!photo.plan->willBeWritten()) return false;
            reportNotCorrected(*photo.plan, photo);
            photo.processed = true;
            return false;
        }
        return true;
    } catch (...) {
        photo.fail(std::current_exception());
    }
    if (photo.plan) {
        const std::lock_guard lock(plannerMutex_);
        planner.notWritten(*photo.plan);
    }
    return false;
}

void BatchRun::writeStep(InFlight& photo, Planner& planner) {
    try {
        applyPlan(*photo.plan, photo, planner);
        reportNotCorrected(*photo.plan, photo);
        photo.processed = true;
    } catch (...) {
        photo.fail(std::current_exception());
        const std::lock_guard lock(plannerMutex_);
        planner.notWritten(*photo.plan);
    }
    // The source is let go as soon as its copy is written.
    photo.source.close();
}

void BatchRun::deliver(InFlight& photo) {
    host_.fileStarted(fileList_[static_cast<qsizetype>(photo.index)]);
    for (InFlight::Event& event : photo.events) {
        switch (event.kind) {
            case InFlight::Event::Kind::PlanMade:
                host_.planMade(*event.plan);
                break;
            case InFlight::Event::Kind::FilePlanned:
                host_.filePlanned(*event.plan);
                break;
            case InFlight::Event::Kind::Error:
                host_.fileError(event.text);
                break;
            case InFlight::Event::Kind::NotCorrected:
                host_.fileNotCorrected(event.text, event.outOfRange);
                break;
            case InFlight::Event::Kind::Note:
                host_.logNote(event.text);
                break;
        }
    }
    if (photo.processed) host_.breathe();
    host_.fileDone(photo.outputPath.isEmpty() ? kOutputExtension : photo.outputPath);
    host_.breathe();
}

int BatchRun::runInOrder(const QString& sourceFolder, Planner& planner) {
    int processed = 0;
    // Photos done but not told yet: the members of a group wait for its last one, and the photos after them for them.
    std::deque<std::unique_ptr<InFlight>> waiting;
    const auto deliverReady = [&] {
        while (!waiting.empty() && waiting.front()->step == InFlight::Step::Done) {
            deliver(*waiting.front());
            if (waiting.front()->processed) ++processed;
            waiting.pop_front();
        }
    };
    // The other members of a group, read with its first for the group's plan and kept for their own turn: each
    // file is opened once.
    std::map<std::size_t, std::unique_ptr<InFlight>> readWithGroup;
    const ReadAhead readAhead = [&](std::size_t member) -> std::shared_ptr<const PhotoHeader> {
        const auto found = readWithGroup.find(member);
        return found != readWithGroup.end() ? found->second->header : nullptr;
    };
    for (std::size_t i = 0; i < nativeFiles_.size(); ++i) {
        // Stop finishes the group in hand: its members planned with its first are written too.
        if (aheadPlans_.empty() && host_.stopRequested()) break;
        const RunOptions options = host_.currentOptions();
        std::unique_ptr<InFlight> photo;
        if (const auto read = readWithGroup.find(i); read != readWithGroup.end()) {
            photo = std::move(read->second);
            readWithGroup.erase(read);
        } else {
            photo = std::make_unique<InFlight>(i);
            readStep(*photo, sourceFolder);
        }
        if (const std::vector<std::size_t>& group = groups_[groupOf_[i]]; group.front() == i) {
            for (const std::size_t member : group) {
                if (member == i) continue;
                auto other = std::make_unique<InFlight>(member);
                readStep(*other, sourceFolder);
                readWithGroup[member] = std::move(other);
            }
        }
        photo->group = heldGroup(i, kMaxInFlight);
        const bool write = planStep(*photo, options, sourceFolder, planner, readAhead);
        if (write) writeStep(*photo, planner);
        photo->source.close();
        for (InFlight* member : memberEnded(*photo, photo->processed, planner)) member->step = InFlight::Step::Done;
        waiting.push_back(std::move(photo));
        deliverReady();
    }
    deliverReady();
    return processed;
}

int BatchRun::runOnPool(int jobs, const QString& sourceFolder, Planner& planner) {
    using Step = InFlight::Step;
    const std::size_t listed = nativeFiles_.size();
    // The photos in flight, each holding only its header (a few MB at the very most, 20 sections of 64 KiB): the
    // memory stays bounded whatever the list, the workers and the photos. Twice the workers, so that photos are
    // read while others are written, but never more than kMaxInFlight.
    const std::size_t window = std::min<std::size_t>(2 * static_cast<std::size_t>(jobs), kMaxInFlight);
    std::vector<std::unique_ptr<InFlight>> photos(window);
    const auto at = [&](std::size_t index) -> InFlight& { return *photos[index % window]; };

    std::mutex mutex;
    std::condition_variable changed;
    std::uint64_t changes = 0;  // counts the steps reached, so that none is missed between a look and a wait
    std::atomic<bool> cancelled{false};
    const auto reach = [&](InFlight& photo, Step step) {
        {
            const std::lock_guard lock(mutex);
            photo.step = step;
            ++changes;
        }
        changed.notify_all();
    };
    const auto changesSoFar = [&] {
        const std::lock_guard lock(mutex);
        return changes;
    };
    const auto stepOf = [&](std::size_t index) {
        const std::lock_guard lock(mutex);
        return at(index).step;
    };

    int processed = 0;
    std::size_t nextRead = 0;     // the next photo to be read
    std::size_t nextPlan = 0;     // the next photo to be planned, in list order on this thread
    std::size_t nextDeliver = 0;  // the next photo the host hears of
    bool stopping = false;
    std::optional<RunOptions> options;  // of the photo to plan next, read once
    // The members of a group that are in flight, read, for the group's plan; the others are read there.
    const auto inFlightRead = [&](std::size_t member) {
        return member >= nextDeliver && member < nextRead && stepOf(member) != Step::Reading;
    };
    const ReadAhead readAhead = [&](std::size_t member) -> std::shared_ptr<const PhotoHeader> {
        return inFlightRead(member) ? at(member).header : nullptr;
    };
    // The first of a group waits for the members being read.
    const auto groupRead = [&](std::size_t index) {
        const std::vector<std::size_t>& group = groups_[groupOf_[index]];
        return group.front() != index || std::all_of(group.begin(), group.end(), [&](std::size_t member) {
                   return member < nextDeliver || member >= nextRead || inFlightRead(member);
               });
    };
    // Planned photos whose output is not published yet, but for the members of `index`'s own group held for it
    // (the group is published once its last member is written).
    const auto writingBefore = [&](std::size_t index) {
        std::size_t count = 0;
        for (std::size_t i = nextDeliver; i < nextPlan; ++i) {
            const Step step = stepOf(i);
            count += step == Step::Writing || (step == Step::Held && groupOf_[i] != groupOf_[index]) ? 1 : 0;
        }
        return count;
    };
    const auto readingNow = [&] {
        std::size_t count = 0;
        for (std::size_t i = nextDeliver; i < nextRead; ++i) count += stepOf(i) == Step::Reading ? 1 : 0;
        return count;
    };
    {
        // Declared after the photos, so that its workers are done with them before they go.
        WorkerPool pool(jobs);
        for (;;) {
            const std::uint64_t seen = changesSoFar();
            bool progressed = false;
            while (!stopping && nextRead < listed && nextRead < nextDeliver + window && readingNow() < kMaxReading) {
                photos[nextRead % window] = std::make_unique<InFlight>(nextRead);
                InFlight* photo = photos[nextRead % window].get();
                pool.submit([&, photo] {
                    if (!cancelled) readStep(*photo, sourceFolder);
                    reach(*photo, Step::Read);
                });
                ++nextRead;
            }
            if (!stopping && nextPlan < nextRead && stepOf(nextPlan) == Step::Read && groupRead(nextPlan)) {
                // Stop is heard before a photo is started, as in a run of one photo after the other.
                if (!options) {
                    // Stop finishes the group in hand: its members planned with its first are written too.
                    if (aheadPlans_.empty() && host_.stopRequested()) {
                        stopping = true;
                        cancelled = true;
                        progressed = true;
                    } else {
                        options = host_.currentOptions();
                    }
                }
                // Without auto rename a name may be meant to replace what an earlier photo writes, or (when that
                // one fails) to look at the disk again: it is planned once the writing before it has ended.
                if (options && (options->autoRename || writingBefore(nextPlan) == 0)) {
                    InFlight& photo = at(nextPlan);
                    photo.group = heldGroup(nextPlan, window);
                    // A held group's members are told once its last member's part ended, all together.
                    const auto ended = [&](InFlight& member) {
                        if (member.group != nullptr) reach(member, Step::Held);
                        for (InFlight* done : memberEnded(member, member.processed, planner)) reach(*done, Step::Done);
                    };
                    if (planStep(photo, *options, sourceFolder, planner, readAhead)) {
                        reach(photo, Step::Writing);
                        pool.submit([&, ended, target = &photo] {
                            writeStep(*target, planner);
                            ended(*target);
                        });
                    } else {
                        photo.source.close();
                        ended(photo);
                    }
                    options.reset();
                    ++nextPlan;
                    progressed = true;
                }
            }
            while (nextDeliver < nextPlan && stepOf(nextDeliver) == Step::Done) {
                InFlight& photo = at(nextDeliver);
                deliver(photo);
                if (photo.processed) ++processed;
                photos[nextDeliver % window].reset();
                ++nextDeliver;
                progressed = true;
            }
            if (nextDeliver == nextPlan && (stopping || nextPlan == listed)) break;
            if (!progressed) {
                std::unique_lock lock(mutex);
                // The host breathes while the workers copy: its window stays alive and its Stop button heard.
                if (!changed.wait_for(lock, std::chrono::milliseconds(40), [&] { return changes != seen; })) {
                    lock.unlock();
                    host_.breathe();
                }
            }
        }
    }
    return processed;
}

void BatchRun::reportNotCorrected(const PhotoPlan& plan, InFlight& photo) {
    // A photo whose XMP or IPTC copies moved was corrected, if not in its EXIF block.
    std::optional<meta::ShiftStatus> status;
    const QString notChanged = plan.header->path + QStringLiteral(": dates not changed: ");
    // Other files name no EXIF block: their dates lie in many places.
    const bool otherType = plan.header->container != meta::ContainerKind::Jpeg;
    if (otherType && plan.outcome == DateOutcome::Unsafe) {
        photo.say(InFlight::Event::Kind::NotCorrected, notChanged + plan.header->structureProblem, false);
    } else if (otherType && (plan.outcome == DateOutcome::NoExif || plan.outcome == DateOutcome::NoReadableDate)) {
        photo.say(InFlight::Event::Kind::NotCorrected, notChanged + QStringLiteral("no readable date"), false);
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
        photo.say(InFlight::Event::Kind::NotCorrected, notChanged + QString::fromUtf8(meta::shiftStatusReason(*status)),
                               *status == meta::ShiftStatus::kOutOfRange);
    }
    if (!plan.zoneRemark.isEmpty()) {
        photo.say(InFlight::Event::Kind::Note, plan.header->path + QStringLiteral(": ") + plan.zoneRemark);
    }
    for (const QString& passed : plan.header->passedOver) {
        photo.say(InFlight::Event::Kind::Note, plan.header->path + QStringLiteral(": ") + passed);
    }
    if (!plan.copiesLeft.isEmpty()) {
        photo.say(InFlight::Event::Kind::Note, plan.header->path + QStringLiteral(": dates left as they were: ") +
                      plan.copiesLeft.join(QStringLiteral("; ")));
    }
}

void BatchRun::applyPlan(PhotoPlan& plan, InFlight& photo, Planner& planner) {
    meta::ImgData& data = photo.data;
    const meta::SourceFile& sourceFile = photo.source;
    QString& outputPath = photo.outputPath;
    const PhotoHeader& header = *plan.header;
    // A folder that cannot be made or is a symbolic link shows up as the file's write error, once its name is known.
    const OutputFolder folder(nativePath(plan.destinationFolder), nativePath(header.relativeFolder), *staleSweep_);
    if (!plan.nameIsWritable) throw meta::WriteError(meta::cannotCreateMessage(nativePath(outputPath), EINVAL));
    folder.check(nativePath(outputPath));
    if (!plan.avoided.isEmpty()) {
        photo.say(InFlight::Event::Kind::Note, QStringLiteral("Not replaced: \"") + plan.avoided +
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
        const std::lock_guard lock(plannerMutex_);
        planner.nextName(plan);
        outputPath = plan.output.filePath();
        next.name = nativePath(plan.output.name + plan.output.extension);
        next.path = nativePath(outputPath);
        return true;
    };
    target.modified = photo.modified;
    if (photo.group != nullptr) {
        // Named with the rest of its group, which moves on as one when a name was taken.
        target.group = &photo.group->files;
        target.nextName = nullptr;
    }

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
