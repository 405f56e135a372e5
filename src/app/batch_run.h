// SPDX-License-Identifier: GPL-3.0-or-later
// The batch run: lists the photos under the source folder and writes a date-corrected copy of each to the
// destination folder. GUI-free; everything the user sees goes through the BatchHost.
#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/batch_host.h"
#include "app/photo_plan.h"
#include "meta/safe_file.h"

namespace morrowtide::meta {
class ImgData;
}  // namespace morrowtide::meta

namespace morrowtide::app {


// The message the host gets when the source folder does not exist; the window shows it translated.
inline const QString kInvalidDirectoryMessage =
    QString::fromLatin1(QT_TRANSLATE_NOOP("morrowtide::app::BatchRun", "Error: Invalid Directory"));
inline const QString kOverwriteQuestion = QStringLiteral("Are you sure you overwrite original images");

// How run() ended.
enum class RunEnding {
    NotStarted,     // run() has not been called
    Declined,       // "No" to the overwrite question: nothing at all happened
    InvalidSource,  // the source folder does not exist: nothing was listed, read or written
    Finished,       // the list was processed (completely, or until Stop)
};

// True when source and destination are the same folder: their texts are equal once a-z are upper-cased and a
// trailing "/" is added, or they name the same folder on disk (a symbolic link, "photos/.", "./photos").
bool isSameFolder(const QString& source, const QString& destination);

// True when the run has to ask before it starts: the same folder, without the date in the name and without auto
// rename, so every photo would be written over itself.
bool needsOverwriteQuestion(const RunOptions& options);

// The log's closing count of folders the listing could not read.
QString unreadableFoldersNote(int count);

// "Completed Successfully (k Files)", "Completed Successfully (k/n Files)" or "Cancelled: k/n Files Processed.".
RunSummary makeSummary(int processed, int listed, bool stopped);

class BatchRun {
  public:
    explicit BatchRun(BatchHost& host);
    ~BatchRun();

    // The whole run, from the overwrite question to the summary. The summary is also handed to the host's
    // runFinished(); after an early return (Declined, InvalidSource) its text is empty.
    RunSummary run();

    // The files of the last run in the order they were handled; kept after the run.
    const QStringList& fileList() const { return fileList_; }
    RunEnding ending() const { return ending_; }

    // The locale the date names are formatted in; the system's unless set.
    void setNamingLocale(const QLocale& locale) { locale_ = locale; }

    // A dry run plans every photo as the run would, hands each plan to the host (filePlanned) instead of writing,
    // and counts the photos the run would write. It asks no question and writes nothing, no folder either.
    void setDryRun(bool dryRun) { dryRun_ = dryRun; }

  private:
    struct InFlight;
    // The photos one after the other on this thread (one worker), or several at once on a pool of `jobs` workers;
    // either way every plan is made and every host callback made on this thread, in list order. Answers the count
    // of files processed.
    int runInOrder(const QString& sourceFolder, Planner& planner);
    int runOnPool(int jobs, const QString& sourceFolder, Planner& planner);
    // The steps of one photo. Reading and writing may run on a worker; planning runs on the run's thread, in list
    // order. What the host is to hear is kept in the photo until deliver() tells it.
    void readStep(InFlight& photo, const QString& sourceFolder) const;
    // True when the plan is to be written.
    // The header a worker has read of another listed photo, or null; a group's plan takes its members' from it.
    using ReadAhead = std::function<std::shared_ptr<const PhotoHeader>(std::size_t index)>;
    bool planStep(InFlight& photo, const RunOptions& options, const QString& sourceFolder, Planner& planner,
                  const ReadAhead& readAhead = {});
    void writeStep(InFlight& photo, Planner& planner);
    // A group whose members are written apart and published together (see heldGroup); by group index.
    struct GroupWrite;
    // The group `index` is written with as one unit, or null: a group of several files that follow one another
    // in the list, no more than `span` (all in flight at once).
    GroupWrite* heldGroup(std::size_t index, std::size_t span);
    // The photo's part ended: written (its file held by its group) or not. A photo outside a held group is answered
    // at once. Once every member's part ended, the group is published (none of it when a member failed) and its
    // members are answered, all of them to be told; before that, none.
    std::vector<InFlight*> memberEnded(InFlight& photo, bool written, Planner& planner);
    void deliver(InFlight& photo);
    // The plan of the file in hand (`header`, read), made with its group's when it is the first of a group met.
    PhotoPlan planFile(std::size_t index, std::shared_ptr<const PhotoHeader> header, const QString& sourceFolder,
                       const RunOptions& options, Planner& planner, const ReadAhead& readAhead);
    // Notes the photo's XMP and IPTC copies left as they were, and a photo copied without a date change.
    void reportNotCorrected(const PhotoPlan& plan, InFlight& photo);
    // Writes the plan's output, its EXIF dates and their XMP and IPTC copies patched as planned (or, for another
    // file type, its bytes copied with its date fields patched). Throws the error the host is to hear.
    void applyPlan(PhotoPlan& plan, InFlight& photo, Planner& planner);

    BatchHost& host_;
    QStringList fileList_;
    // The same paths as the file system's bytes, which is what the files are opened by: a name that is not UTF-8
    // does not survive the trip through QString.
    std::vector<std::string> nativeFiles_;
    // The files that share a new base name (nameGroups), the group of each listed file, and the plans made ahead
    // for the members of a group not reached yet.
    std::vector<std::vector<std::size_t>> groups_;
    std::vector<std::size_t> groupOf_;
    std::map<std::size_t, PhotoPlan> aheadPlans_;
    std::map<std::size_t, std::unique_ptr<GroupWrite>> groupWrites_;
    std::mutex groupMutex_;
    // The planner is asked from the workers too (the next name, when another program took one meanwhile).
    std::mutex plannerMutex_;
    // Started with the run: the hidden temporary files older than the run in each folder it writes to.
    std::optional<meta::StaleTemporarySweep> staleSweep_;
    RunEnding ending_ = RunEnding::NotStarted;
    bool dryRun_ = false;
    QLocale locale_ = QLocale::system();
};

}  // namespace morrowtide::app
