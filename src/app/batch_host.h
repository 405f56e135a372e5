// SPDX-License-Identifier: GPL-3.0-or-later
// What the batch run needs from whoever drives it (the main window, the terminal program, a test).
#pragma once

#include <QString>

#include <vector>

namespace morrowtide::app {

struct PhotoPlan;

// The time offset of a run; each part may be negative.
struct TimeOffset {
    int days = 0;
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
};

// The offset of the photos of one camera. `match` is looked for, ignoring case, in the camera's "Make Model"; with
// `wholeKey` it must equal the camera's key (cameraKey in camera_offsets.h) instead, body serial included.
struct CameraOffset {
    QString match;
    TimeOffset offset;
    bool wholeKey = false;
};

// The options as they stand at one moment. The run reads them afresh before every file, so a change the user makes
// during a run takes effect from the next file on; sourceFolder and recurseFolders count only at the start.
struct RunOptions {
    QString sourceFolder;
    QString destinationFolder;
    TimeOffset offset;
    // The photos of a camera the first matching rule names move by its offset instead of the one above (or of the
    // zones below).
    std::vector<CameraOffset> cameraOffsets;
    // Both given (IANA names): the cameras' clocks showed zone `fromZone`'s time; each date is converted to
    // `toZone`'s time at its own moment instead of moving by `offset`.
    QString fromZone;
    QString toZone;
    QString fileMask = QStringLiteral("yyyy-mm-dd hh-nn-ss - *FILENAME");  // the accepted mask
    bool recurseFolders = true;
    bool autoRename = true;
    bool includeFileName = true;    // "Include current filename"
    bool includeDateTime = true;    // "Include datetime in filename"
    bool overwriteDateTime = true;  // "Overwrite datetime in filename"
    bool preserveModDate = false;   // "Preserve original modifcation date"
    // "Also correct other photo and video files": the listing takes every type the run can correct, not only
    // ".JPG"/".jpg". Counts only at the start, like recurseFolders.
    bool allTypes = false;
    // How many photos are worked on at once (settings key "Jobs", --jobs); 0: as many as suit the machine (see
    // defaultJobs). Counts only at the start.
    int jobs = 0;
};

enum class SummaryKind { Information, Warning };

struct RunSummary {
    SummaryKind kind = SummaryKind::Information;
    QString text;  // "Completed Successfully (k Files)", "Completed Successfully (k/n Files)", "Cancelled: k/n Files Processed."
    int processed = 0;
    int listed = 0;
    bool stopped = false;
};

// "N other photo and video files were left out (...)": what a listing of the photos alone left out, in the
// window's words (the box that adds them).
QString otherTypesLeftOutNote(int count);

// Callbacks in the order a run makes them:
//   confirmOverwrite (only when source and destination are the same folder and the options would overwrite)
//   runReset -> [invalidSource and return] -> listingStarted -> listBuilt(n)
//   per file: fileStarted(path) [planMade] [fileError | fileNotCorrected] [logNote] fileDone(logLine) ;
//             breathe() between steps; stopRequested() before each file
//   runFinished(summary)
// logNote also comes after listBuilt (what the listing left out or could not read) and before runFinished.
// Every callback comes on the thread that called BatchRun::run(), in list order, however many photos are worked on
// at once: a photo's callbacks, fileStarted to fileDone, come together once it is done and every photo before it has
// been told. breathe() also comes while the run waits for its workers.
class BatchHost {
public:
    virtual ~BatchHost() = default;

    // Read afresh for every file.
    virtual RunOptions currentOptions() = 0;
    // "Are you sure you overwrite original images" - true for Yes.
    virtual bool confirmOverwrite() = 0;
    // Progress dialog reset (caption "Building list of images", log emptied), busy pointer on.
    virtual void runReset() = 0;
    // The source folder does not exist: "Error: Invalid Directory"; busy pointer off, nothing was listed.
    virtual void invalidSource(const QString& message) = 0;
    // The progress dialog is shown before the folders are searched.
    virtual void listingStarted() = 0;
    // Progress maximum = count, position 0, Stop button "Stop", caption "Processing Images...".
    virtual void listBuilt(int count) = 0;
    // A file of the list is about to be handled (its full source path), so that a host can name it in what it says
    // about the file. Hosts that do not need it leave it alone.
    virtual void fileStarted(const QString& sourcePath) { (void)sourcePath; }
    // One file failed; the message is the error's own text. The run goes on with the next file.
    virtual void fileError(const QString& message) = 0;
    // The plan of the file in hand, in a run and a dry run alike, before anything else is done with it.
    virtual void planMade(const PhotoPlan& plan) { (void)plan; }
    // A dry run's plan of the file in hand, in place of its writing (between fileStarted and fileDone).
    virtual void filePlanned(const PhotoPlan& plan) { (void)plan; }
    // A line for the log that is no file's output: something the run did on its own account (a name it avoided, a
    // folder it left out or could not read).
    virtual void logNote(const QString& line) = 0;
    // A photo was copied without a date change; `note` names it and says why ("no EXIF block", "no readable date
    // in its EXIF block", or a date the offset would move outside the years 0001-9999, then `outOfRange`). Comes
    // before the photo's fileDone. A log line, unless the host has more to do with it.
    virtual void fileNotCorrected(const QString& note, bool outOfRange) {
        (void)outOfRange;
        logNote(note);
    }
    // The listing took only ".JPG"/".jpg" files and left out `count` other photo and video files it could have
    // corrected (just before runFinished). A log line, unless the host says it in its own words.
    virtual void otherTypesLeftOut(int count) { logNote(otherTypesLeftOutNote(count)); }
    // After every file, failed or not: advance the progress by one and log the line (output path + ".jpg").
    virtual void fileDone(const QString& logLine) = 0;
    // Let the caller breathe (pump events, redraw); called between steps.
    virtual void breathe() = 0;
    // Tested before each file.
    virtual bool stopRequested() = 0;
    // Busy pointer off, "Finished"/"Files Processed", the summary shown, dialog closed, "Show &Log" enabled.
    virtual void runFinished(const RunSummary& summary) = 0;
};

}  // namespace morrowtide::app
