// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/run_command.h"

#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <charconv>
#include <csignal>
#include <cstdint>
#include <iostream>
#include <limits>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "app/batch_run.h"
#include "app/camera_offsets.h"
#include "app/naming.h"
#include "app/native_path.h"
#include "app/photo_plan.h"
#include "app/time_offset.h"
#include "app/settings_file.h"
#include "app/stop_signals.h"
#include "app/worker_pool.h"

namespace morrowtide::cli {

namespace {

class UsageError {
  public:
    explicit UsageError(std::string message) : message_(std::move(message)) {}
    const std::string& message() const { return message_; }

  private:
    std::string message_;
};

// A path or message as one line on a terminal or in a log: control characters (a newline in a file name, an
// escape sequence) become "?".
std::string oneLine(const QString& text) {
    std::string bytes = app::encodePath(text);
    for (char& c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) c = '?';
    }
    return bytes;
}

std::int32_t parseOffset(std::string_view option, std::string_view text, std::int64_t minimum, std::int64_t maximum) {
    std::string_view digits = text;
    if (digits.starts_with('+')) digits.remove_prefix(1);
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() || value < minimum ||
        value > maximum) {
        throw UsageError(std::string(option) + " must be a whole number from " + std::to_string(minimum) + " to " +
                         std::to_string(maximum) + ", not \"" + std::string(text) + "\"");
    }
    return static_cast<std::int32_t>(value);
}

// "MODEL=OFFSET", split at the last "=" (a model's name may hold one).
app::CameraOffset cameraArgument(const std::string& text) {
    const std::size_t equals = text.rfind('=');
    if (equals == std::string::npos || equals == 0) {
        throw UsageError("--camera needs MODEL=OFFSET, such as \"Canon EOS=+1h\", not \"" + text + "\"");
    }
    std::string error;
    const std::optional<std::int64_t> seconds = app::parseOffsetText(std::string_view(text).substr(equals + 1), error);
    if (!seconds) throw UsageError("--camera " + text.substr(0, equals) + ": " + error);
    const std::optional<app::TimeOffset> offset = app::offsetFromSeconds(*seconds);
    if (!offset) throw UsageError("--camera " + text.substr(0, equals) + ": \"" + text.substr(equals + 1) +
                                  "\" is too large an offset");
    return {QString::fromLocal8Bit(text.substr(0, equals).c_str()), *offset};
}

std::string zoneArgument(const std::string& option, const std::string& name) {
    if (!app::isKnownZone(QString::fromLocal8Bit(name.c_str()))) {
        throw UsageError(option + ": \"" + name + "\" is not a time zone this system knows (such as Europe/Berlin " +
                         "or Asia/Tokyo)");
    }
    return name;
}

struct Flag {
    std::string_view on;
    std::string_view off;
    bool app::SavedOptions::*field;
};

constexpr Flag kFlags[] = {
    {"--recurse", "--no-recurse", &app::SavedOptions::recurseFolders},
    {"--auto-rename", "--no-auto-rename", &app::SavedOptions::autoRename},
    {"--filename", "--no-filename", &app::SavedOptions::includePreviousFName},
    {"--datetime", "--no-datetime", &app::SavedOptions::includeDateTime},
    {"--overwrite-datetime", "--no-overwrite-datetime", &app::SavedOptions::overwriteDateTime},
    {"--preserve-mtime", "--no-preserve-mtime", &app::SavedOptions::preserveModDate},
    {"--all-types", "--jpeg-only", &app::SavedOptions::allTypes},
};

struct Arguments {
    bool help = false;
    bool yes = false;
    bool dryRun = false;
    bool offsetGiven = false;                // one of the four offset options was given
    std::optional<std::string> reference;    // "PHOTO=YYYY-MM-DDTHH:MM:SS"
    std::vector<app::CameraOffset> cameras;  // --camera, in the order given
    std::optional<std::string> fromZone;
    std::optional<std::string> toZone;
    std::vector<std::string> positional;
    app::TimeOffset offset;
    std::optional<std::string> mask;
    std::optional<std::string> settingsFile;
    std::optional<int> jobs;  // --jobs
    std::vector<std::pair<bool app::SavedOptions::*, bool>> flags;  // in the order given
};

Arguments parseArguments(const std::vector<std::string>& args) {
    Arguments parsed;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            parsed.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            parsed.help = true;
            continue;
        }
        if (arg == "--yes" || arg == "-y") {
            parsed.yes = true;
            continue;
        }
        if (arg == "--dry-run" || arg == "-n") {
            parsed.dryRun = true;
            continue;
        }
        bool matched = false;
        for (const Flag& flag : kFlags) {
            if (arg == flag.on || arg == flag.off) {
                parsed.flags.emplace_back(flag.field, arg == flag.on);
                matched = true;
            }
        }
        if (matched) continue;

        // Options with a value: "--days 3" or "--days=3".
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const auto value = [&]() -> std::string {
            if (equals != std::string::npos) return arg.substr(equals + 1);
            if (i + 1 >= args.size()) throw UsageError(name + " needs a value");
            return args[++i];
        };
        if (name == "--days" || name == "--hours" || name == "--minutes" || name == "--seconds") {
            parsed.offsetGiven = true;
        }
        if (name == "--days") {
            parsed.offset.days = parseOffset(name, value(), std::numeric_limits<std::int32_t>::min(),
                                             std::numeric_limits<std::int32_t>::max());
        } else if (name == "--hours") {
            parsed.offset.hours = parseOffset(name, value(), -23, 23);
        } else if (name == "--minutes") {
            parsed.offset.minutes = parseOffset(name, value(), -59, 59);
        } else if (name == "--seconds") {
            parsed.offset.seconds = parseOffset(name, value(), -59, 59);
        } else if (name == "--reference") {
            parsed.reference = value();
        } else if (name == "--camera") {
            parsed.cameras.push_back(cameraArgument(value()));
        } else if (name == "--from-zone") {
            parsed.fromZone = zoneArgument(name, value());
        } else if (name == "--to-zone") {
            parsed.toZone = zoneArgument(name, value());
        } else if (name == "--mask") {
            parsed.mask = value();
        } else if (name == "--settings") {
            parsed.settingsFile = value();
        } else if (name == "--jobs" || name == "-j") {
            parsed.jobs = static_cast<int>(parseOffset("--jobs", value(), 0, app::kMaxJobs));
        } else {
            throw UsageError("unknown option \"" + arg + "\"");
        }
    }
    return parsed;
}

// The batch run's host for a terminal: fixed options, log lines on one stream, errors and progress on the other.
class TerminalHost : public app::BatchHost {
  public:
    TerminalHost(app::RunOptions options, bool yes, bool dryRun, const RunTerminal& terminal, std::ostream& out,
                 std::ostream& err)
        : options_(std::move(options)), yes_(yes), dryRun_(dryRun), terminal_(terminal), out_(out), err_(err),
          byCamera_(!options_.cameraOffsets.empty() || !options_.fromZone.isEmpty()) {}
    ~TerminalHost() override = default;
    TerminalHost(const TerminalHost&) = delete;
    TerminalHost& operator=(const TerminalHost&) = delete;

    app::RunOptions currentOptions() override { return options_; }

    bool confirmOverwrite() override {
        if (yes_) return true;
        if (!terminal_.canAsk) {
            err_ << "morrowtide-cli run: source and destination are the same folder and the names would not change,"
                    " so every photo would replace its original; nothing was done (--yes goes ahead)\n";
            return false;
        }
        err_ << app::kOverwriteQuestion.toStdString() << "? [y/N] " << std::flush;
        std::string answer;
        if (!std::getline(std::cin, answer)) return false;
        return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes" || answer == "YES";
    }

    // Ctrl-C, SIGTERM and SIGHUP act as the Stop button from here to the summary.
    void runReset() override { stopSignals_.emplace(); }

    void invalidSource(const QString& message) override {
        err_ << "morrowtide-cli run: " << oneLine(message) << ": \"" << oneLine(options_.sourceFolder)
             << "\" is not a folder\n";
    }

    void listingStarted() override {
        if (terminal_.showProgress) err_ << "Building list of images..." << std::flush;
    }

    void listBuilt(int count) override {
        listed_ = count;
        drawProgress();
    }

    // The run to take the name of the file in hand from (the error comes before that file's log line).
    void setRun(const app::BatchRun* run) { run_ = run; }

    void fileError(const QString& message) override {
        clearProgress();
        if (run_ != nullptr && done_ < run_->fileList().size()) err_ << oneLine(run_->fileList()[done_]) << ": ";
        err_ << oneLine(message) << '\n' << std::flush;
    }

    void logNote(const QString& line) override {
        clearProgress();
        err_ << oneLine(line) << '\n' << std::flush;
        drawProgress();
    }

    // Said again after the summary, where the counts are.
    void otherTypesLeftOut(int count) override { otherTypes_ = count; }

    void fileNotCorrected(const QString& note, bool outOfRange) override {
        logNote(note);
        ++(outOfRange ? outOfRange_ : undated_);
    }

    // A dry run's line: source below SOURCE, output below DEST, old and new capture date, note.
    void filePlanned(const app::PhotoPlan& plan) override {
        clearProgress();
        out_ << oneLine(plan.header->relativePath) << '\t' << oneLine(plan.relativeOutput) << '\t'
             << oneLine(app::formatPlanDate(plan.oldCapture)) << '\t' << oneLine(app::formatPlanDate(plan.newCapture))
             << '\t' << oneLine(plan.note()) << '\t' << cameraColumn(*plan.header) << '\t'
             << oneLine(plan.correctionText()) << '\n'
             << std::flush;
    }

    // Photos and correction per camera, for the closing counts when cameras or zones are told apart.
    void planMade(const app::PhotoPlan& plan) override {
        if (!byCamera_) return;
        auto [found, added] = cameraIndex_.try_emplace(plan.camera, cameras_.size());
        if (added) cameras_.push_back({cameraColumn(*plan.header), 0, oneLine(plan.correctionText(false))});
        ++cameras_[found->second].photos;
    }

    void fileDone(const QString& logLine) override {
        ++done_;
        clearProgress();
        // A dry run wrote nothing: its line was the plan's.
        if (!dryRun_) out_ << oneLine(logLine) << '\n' << std::flush;
        drawProgress();
    }

    void breathe() override {}

    // The signal that stopped the run, 0 when none did.
    int stopSignal() const { return stopSignal_; }

    bool stopRequested() override { return app::StopSignals::caught() != 0; }

    void runFinished(const app::RunSummary& summary) override {
        clearProgress();
        stopSignal_ = app::StopSignals::caught();
        stopSignals_.reset();
        out_ << summary.text.toStdString() << '\n' << std::flush;
        const auto photos = [](int n) { return std::to_string(n) + (n == 1 ? " photo" : " photos"); };
        if (undated_ > 0) err_ << photos(undated_) << " had no date to correct\n";
        if (otherTypes_ > 0) {
            err_ << otherTypes_ << (otherTypes_ == 1 ? " other photo or video file was" : " other photo and video files were")
                 << " left out (--all-types adds them)\n";
        }
        if (outOfRange_ > 0) {
            err_ << photos(outOfRange_) << " kept " << (outOfRange_ == 1 ? "its" : "their")
                 << " dates: the offset would move a date outside the years 0001-9999\n";
        }
        for (const CameraCount& camera : cameras_) {
            err_ << camera.name << ": " << photos(camera.photos) << ", " << camera.correction << '\n';
        }
        err_ << std::flush;
    }

  private:
    struct CameraCount {
        std::string name;
        int photos = 0;
        std::string correction;
    };

    static std::string cameraColumn(const app::PhotoHeader& header) {
        const QString name = app::cameraName(header);
        return name.isEmpty() ? std::string("-") : oneLine(name);
    }

    void clearProgress() {
        if (terminal_.showProgress) err_ << "\r\033[K" << std::flush;
    }

    void drawProgress() {
        if (!terminal_.showProgress) return;
        constexpr int kWidth = 40;
        const int filled = listed_ > 0 ? static_cast<int>(static_cast<std::int64_t>(done_) * kWidth / listed_) : 0;
        err_ << "\r\033[K[" << std::string(static_cast<std::size_t>(filled), '#')
             << std::string(static_cast<std::size_t>(kWidth - filled), '.') << "] " << done_ << '/' << listed_
             << std::flush;
    }

    app::RunOptions options_;
    bool yes_;
    bool dryRun_;
    RunTerminal terminal_;
    std::ostream& out_;
    std::ostream& err_;
    const app::BatchRun* run_ = nullptr;
    std::optional<app::StopSignals> stopSignals_;
    int stopSignal_ = 0;
    int listed_ = 0;
    int done_ = 0;
    int undated_ = 0;     // photos copied without a date to correct
    int outOfRange_ = 0;  // photos whose moved dates would not fit the years 0001-9999
    int otherTypes_ = 0;  // other photo and video files the listing left out
    bool byCamera_;
    std::map<QString, std::size_t> cameraIndex_;  // by camera key, into cameras_
    std::vector<CameraCount> cameras_;             // in the order the cameras came
};

// The offset that moves the reference photo's recorded capture date to the true time given for it.
app::TimeOffset referenceOffset(const std::string& argument) {
    std::string error;
    const std::optional<app::ReferenceArgument> reference = app::parseReferenceArgument(argument, error);
    if (!reference) throw UsageError("--reference: " + error);
    const app::PhotoHeader header = app::readPhotoHeader(reference->photo, QString());
    const std::string named = "--reference: the photo \"" + reference->photo + "\"";
    if (!header.readProblem.isEmpty()) throw UsageError(named + " cannot be read: " + oneLine(header.readProblem));
    if (header.recordedCapture == 0.0) throw UsageError(named + " has no readable capture date");
    const std::optional<app::TimeOffset> offset = app::offsetBetween(header.recordedCapture, reference->truth);
    if (!offset) throw UsageError(named + ": the offset to that time does not fit the days option");
    return *offset;
}

app::RunOptions runOptionsFrom(const Arguments& parsed) {
    if (parsed.reference && parsed.offsetGiven) {
        throw UsageError("--reference takes the place of --days, --hours, --minutes and --seconds; give one or the "
                         "other");
    }
    if (parsed.fromZone.has_value() != parsed.toZone.has_value()) {
        throw UsageError("--from-zone and --to-zone go together: the zone the clocks showed and the zone the photos "
                         "were taken in");
    }
    if (parsed.fromZone && (parsed.reference || parsed.offsetGiven)) {
        throw UsageError("--from-zone and --to-zone take the place of --days, --hours, --minutes, --seconds and "
                         "--reference; give one or the other");
    }
    app::SavedOptions saved;
    if (parsed.settingsFile) {
        const QString path = app::decodePath(*parsed.settingsFile);
        if (!QFileInfo(path).isFile()) throw UsageError("settings file \"" + *parsed.settingsFile + "\" not found");
        saved = app::loadOptions(path);
    }
    if (parsed.mask) saved.fileMask = QString::fromLocal8Bit(parsed.mask->c_str());
    for (const auto& [field, value] : parsed.flags) saved.*field = value;

    const app::FileNamer namer;
    if (!namer.checkFileMask(saved.fileMask).accepted) {
        throw UsageError(app::kInvalidFileMaskMessage.toStdString() + " \"" + saved.fileMask.toStdString() + "\"");
    }
    app::NamingOptions naming;
    naming.includeDateTime = saved.includeDateTime;
    naming.includeCurrentFilename = saved.includePreviousFName;
    if (const QString hidden = namer.hiddenNameReason(saved.fileMask, naming); !hidden.isEmpty()) {
        throw UsageError(app::kInvalidFileMaskMessage.toStdString() + " \"" + saved.fileMask.toStdString() +
                         "\". " + hidden.toStdString());
    }

    app::RunOptions options;
    options.sourceFolder = app::decodePath(parsed.positional[0]);
    options.destinationFolder = app::decodePath(parsed.positional[1]);
    options.offset = parsed.reference ? referenceOffset(*parsed.reference) : parsed.offset;
    options.cameraOffsets = parsed.cameras;
    if (parsed.fromZone) {
        options.fromZone = QString::fromLocal8Bit(parsed.fromZone->c_str());
        options.toZone = QString::fromLocal8Bit(parsed.toZone->c_str());
    }
    options.fileMask = saved.fileMask;
    options.recurseFolders = saved.recurseFolders;
    options.autoRename = saved.autoRename;
    options.includeFileName = saved.includePreviousFName;
    options.includeDateTime = saved.includeDateTime;
    options.overwriteDateTime = saved.overwriteDateTime;
    options.preserveModDate = saved.preserveModDate;
    options.allTypes = saved.allTypes;
    options.jobs = parsed.jobs.value_or(saved.jobs);
    return options;
}

}  // namespace

const char* runHelp() {
    return R"HELP(Usage: morrowtide-cli run [OPTIONS] SOURCE DEST

Writes a copy of every photo under SOURCE to DEST with its EXIF dates (DateTime,
DateTimeOriginal, DateTimeDigitized) and their XMP and IPTC copies (xmp:CreateDate,
xmp:ModifyDate, exif:DateTimeOriginal, photoshop:DateCreated, IPTC Date/Time
Created, ...) moved by the time offset, each in its own form, named after the
new date. Only files ending in exactly ".JPG" or ".jpg" are taken unless
--all-types is given; the folders below SOURCE are reproduced under DEST. The
image data is copied byte for byte. Each output replaces its name only once it
is completely written.

Time offset (added to every date; negative values move dates back):
  --days N                 any 32-bit whole number
  --hours N                -23 to 23
  --minutes N              -59 to 59
  --seconds N              -59 to 59
  --reference PHOTO=YYYY-MM-DDTHH:MM:SS
                           instead of the four above: the offset that moves the
                           capture date PHOTO records to the true time it was taken
                           (read off a photo of a clock, for instance); a blank may
                           stand for the "T"

Several cameras and time zones:
  --camera MODEL=OFFSET    the photos of a camera whose "Make Model" holds MODEL
                           (in any case) move by OFFSET instead: "+1d2h3m4s",
                           "-0:30:00", "+2h", or "0" to keep their dates as they are
                           (they are still named by the mask). Repeatable: the first
                           that names a photo's camera counts, in place of the offset
                           above or the zones; the photos none names take those
  --from-zone ZONE --to-zone ZONE
                           instead of the offset: the clocks showed the time of the
                           first zone, the photos were taken in the second (names of
                           the system's zone database: Europe/Berlin, Asia/Tokyo,
                           UTC). Each date is converted at its own moment, so a change
                           to or from summer time during the trip comes out right, and
                           the OffsetTime tags a photo has are set to the second
                           zone's offset at that moment. A photo that already records
                           the second zone's offset (a phone that followed the local
                           time) stays as it is, with a note. Values that name their
                           own zone ("+02:00") keep their moment and are written in the
                           second zone's time and offset where they have the room; a
                           movie header kept in UTC (phones, CR3) keeps its moment too,
                           while a camera's own clock time is converted. A time the
                           first zone's clocks skipped is read as if they had not moved
                           yet; a time they showed twice is taken at its first showing

Three kinds of time: a photo's date is the camera's wall clock (EXIF dates, XMP
without a zone), a wall clock with its zone ("2024-07-14T18:30:05+02:00",
OffsetTime), or UTC (GPS, the movie headers of phones and CR3 files). An offset
moves all three (a wrong clock wrote a wrong UTC too); a zone conversion changes
only wall clocks. A movie's header counts as UTC or as the camera's clock as the
movie shows (a date of its own with a zone), else as its maker writes it; movies
are named in the time of the place they were taken, the same on every computer.

Naming and file options (the defaults are those of the program window):
  --mask MASK              output file mask, default "yyyy-mm-dd hh-nn-ss - *FILENAME"
                           (yyyy year, mm month, dd day, hh hour, nn minute, ss second;
                           *FILENAME stands for the old name; "/ ? \ : < >" are removed).
                           A mask that leaves the name empty or makes it begin with
                           "." is refused: such copies are hidden
  --no-datetime            keep the old name instead of naming after the date
  --no-filename            leave *FILENAME out of the new name
  --no-overwrite-datetime  keep a date an earlier run put in front of the old name
  --no-auto-rename         overwrite an existing output instead of adding "_2", "_3", ...
  --no-recurse             only the photos directly in SOURCE
  --preserve-mtime         give each output the source's modification time instead of
                           the shifted capture time
  --all-types              also correct the other photo and video files: JPEG under
                           any extension and letter case, TIFF and raw files (DNG,
                           CR2, NEF, ARW, ORF, RW2, PEF, RAF, ...), HEIC, AVIF, CR3,
                           PNG, WebP, MP4, MOV, M4V, 3GP and XMP sidecars. Each is
                           copied byte for byte with only its date bytes rewritten
                           in place (same size); it keeps its extension. Files of a
                           folder sharing a name before the extension (IMG_1.CR2,
                           IMG_1.JPG, IMG_1.xmp, IMG_1.CR2.xmp) get one new name,
                           "_N" included. A file whose structure cannot be read
                           safely is copied unchanged ("dates not changed: ...")
  --recurse, --auto-rename, --filename, --datetime, --overwrite-datetime,
  --no-preserve-mtime, --jpeg-only
                           the opposites, to override a settings file
  --settings FILE          take the mask and the options above from a settings file of
                           the program window (section [Options]); the options given on
                           the command line take precedence
  -j, --jobs N             work on up to N photos at once (0 to 8); 0, the default,
                           picks twice the number of processor cores, at most 8. The
                           output, the log lines and their order are the same for
                           every N; 1 handles one photo after the other
  -n, --dry-run            write nothing; print what a run with the same arguments
                           would do, one line per photo (see Output)
  -y, --yes                answer "Yes" when SOURCE and DEST are the same folder, the
                           date is not in the name and auto rename is off, so that every
                           photo replaces its original. Without --yes the question is
                           asked on the terminal; with no terminal the run does nothing.
  -h, --help               this text

Output: one line per file on standard output (the file written, also for a file
that failed), errors on standard error as they happen, then the summary line:
"Completed Successfully (n Files)", "Completed Successfully (k/n Files)" when
some failed, or "Cancelled: k/n Files Processed.". A progress bar is drawn on
standard error when it is a terminal; notes on what the run did on its own
account (a name it avoided, a folder it left out or could not read) go there
too. A photo copied without a date change (no EXIF block, no readable date, or
a date the offset would move outside the years 0001-9999, in which case none of
its dates is changed) gets a line there saying why, and a closing count follows
the summary, such as "31 photos had no date to correct", and, without
--all-types, the count of other photo and video files left out. A photo some of whose
XMP or IPTC copies stay as they were (not a date, or a date without a time
under an offset of hours: "date only") gets a line there naming each. Ctrl-C,
SIGTERM and SIGHUP stop after the files under way (the same signal again quits
at once); a run that is killed leaves no partial file behind. File times are kept
to 2 seconds, for the years 1980 to 2107.

With --dry-run nothing is written and no question is asked. Standard output
gets one tab-separated line per photo instead of the file written: the source
path below SOURCE, the output path below DEST (exactly the name a run would
write, "_2" and the like included), the capture date before and after
(YYYY-MM-DD HH:MM:SS, or "-" when there is none), a note: "ok",
"no EXIF", "no readable date", "date out of range", "replaces original",
"renamed _N", "XMP/IPTC dates moved" (no EXIF date moves, but its XMP or
IPTC copies do), or why the photo could not be written, the camera ("-" when
the photo names none) and the correction used ("+1h"; with zones
"Europe/Berlin to Asia/Tokyo +8h", the capture date's change). Standard error
gets the same notes and closing counts as a run; with --camera or the zones
they end with one line per camera: "Canon EOS 5D: 12 photos, +1h". The summary
line follows, counting the photos a run would write; the exit status is the one
it would give.

Exit status: 0 every file processed, 1 some file failed (or the overwrite
question was answered "No"), 2 usage error or SOURCE is not a folder,
130 stopped with Ctrl-C (143 SIGTERM, 129 SIGHUP).

Examples:
  morrowtide-cli run --hours 1 ~/Pictures/Trip ~/Pictures/Trip-fixed
      one hour later; names like "2007-04-01 12-15-02 - IMG_0042.jpg"
  morrowtide-cli run --days -1 --hours -6 --mask "yyyymmdd_hhnnss" in out
      a camera set 30 hours ahead, names like 20070401_111502.jpg
  morrowtide-cli run --hours=-2 --no-datetime --no-auto-rename --yes photos photos
      correct the photos in place, keeping their names
  morrowtide-cli run --dry-run --reference in/clock.jpg=2007-04-01T12:00:00 in out
      what a run would write, with the offset that makes clock.jpg show noon
  morrowtide-cli run --from-zone Europe/Berlin --to-zone Asia/Tokyo \
      --camera "Pixel=0" trip out
      cameras left at home time and a phone that followed the local time
  morrowtide-cli run --settings ~/.config/morrowtide.ini --minutes 30 in out
      the naming options of the program window
)HELP";
}

int runRun(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    RunTerminal terminal;
    terminal.canAsk = ::isatty(STDIN_FILENO) != 0;
    terminal.showProgress = ::isatty(STDERR_FILENO) != 0;
    return runRun(args, out, err, terminal);
}

int runRun(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const RunTerminal& terminal) {
    app::RunOptions options;
    bool yes = false;
    bool dryRun = false;
    try {
        const Arguments parsed = parseArguments(args);
        if (parsed.help) {
            out << runHelp();
            return kRunAllProcessed;
        }
        if (parsed.positional.size() != 2) throw UsageError("expected SOURCE and DEST");
        if (parsed.positional[0].empty() || parsed.positional[1].empty()) {
            throw UsageError("SOURCE and DEST must not be empty");
        }
        options = runOptionsFrom(parsed);
        yes = parsed.yes;
        dryRun = parsed.dryRun;
    } catch (const UsageError& error) {
        err << "morrowtide-cli run: " << error.message() << "\nTry \"morrowtide-cli run --help\".\n";
        return kRunUsageError;
    }

    TerminalHost host(options, yes, dryRun, terminal, out, err);
    app::BatchRun run(host);
    run.setDryRun(dryRun);
    host.setRun(&run);
    const app::RunSummary summary = run.run();
    switch (run.ending()) {
        case app::RunEnding::Declined:
            return kRunSomeFailed;
        case app::RunEnding::InvalidSource:
            return kRunUsageError;
        case app::RunEnding::NotStarted:
        case app::RunEnding::Finished:
            break;
    }
    if (summary.stopped) {
        return host.stopSignal() > 0 && host.stopSignal() != SIGINT ? 128 + host.stopSignal() : kRunStopped;
    }
    return summary.processed == summary.listed ? kRunAllProcessed : kRunSomeFailed;
}

}  // namespace morrowtide::cli
