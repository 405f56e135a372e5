// SPDX-License-Identifier: GPL-3.0-or-later
// Each photo's work in two steps: a plan, made without writing anything, and its application.
//
//   readPhotoHeader(photo)      the expensive part, once per file: what the photo holds (dates and where they lie,
//                               camera, thumbnail). Independent of the offset, the mask and the options; a plain
//                               value, safe to make on any thread.
//   Planner::plan(header, ...)  the cheap part, redone whenever the offset, mask or options change: the new dates
//                               as byte patches, the output name (reserved in list order exactly as the run takes
//                               names, "_N" and clashes included) and a note.
//   applyPlan(...)              writes the output (batch_run.cpp), only in a real run.
//
// A preview or a dry run stops after the plans; the run plans in list order and applies the plans on its workers. Both plan with
// the same Planner, whose reservations stand for the outputs earlier photos will have written, so the names a preview
// shows are the names a run writes.
#pragma once

#include <sys/types.h>

#include <QLocale>
#include <QString>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/batch_host.h"
#include "app/naming.h"
#include "meta/date_copies.h"
#include "meta/date_plan.h"
#include "meta/formats/container.h"
#include "meta/formats/date_field.h"
#include "meta/formats/file_dates.h"

namespace morrowtide::meta {
class ImgData;
class SourceFile;
}  // namespace morrowtide::meta

namespace morrowtide::app {

// What reading a photo's header found. Everything here is independent of the offset, the mask and the options.
struct PhotoHeader {
    std::string nativePath;   // the path as listed, in the file system's bytes
    QString path;             // the same, decoded, as the run's messages name it
    QString relativePath;     // below the source folder: relativeFolder + fileName
    QString relativeFolder;   // "" or "Trip/Day 1/"
    QString fileName;         // "IMG_0042.JPG"

    QString readProblem;      // why the file could not be opened or read; empty when it was read
    // Why the JPEG reader refuses the file, so that no copy can be written ("Not a JPEG picture that can be
    // read: ..."); empty when it accepts it or was not asked (see readPhotoHeader).
    QString refusal;
    bool hasExif = false;     // an EXIF block was found (the run names and shifts by it)
    std::vector<meta::DateSlot> dates;  // every date value of the EXIF block (file offset, value), each value once
    // The capture date as recorded: the first readable of DateTimeOriginal, DateTimeDigitized and DateTime; 0 none.
    double recordedCapture = 0.0;
    // Which of `dates` the capture date is read from (-1: none); its shifted value is the new capture date.
    int captureIndex = -1;

    // The XMP and IPTC copies of the dates, with their bytes as read.
    meta::DateCopyFields dateCopies;

    QString cameraMake;
    QString cameraModel;
    // BodySerialNumber, else the serial the maker note records; empty when the photo does not record one.
    QString bodySerial;
    // The zone offsets of the dates (OffsetTime and its kin) that can be rewritten; set only by a zone conversion.
    std::vector<meta::ZoneSlot> zones;
    double gpsTime = 0.0;     // the UTC date-time the GPS recorded; 0 none
    std::optional<double> gpsTimeOfDay;  // ... its time of day (UTC, a fraction of a day) where it has no date

    // The IFD1 JPEG thumbnail, when the file has one that lies inside the file: file offset and byte count.
    std::int64_t thumbnailOffset = -1;
    std::int64_t thumbnailLength = 0;

    // The file's container; every other kind than Jpeg is read by the container readers, its dates are the
    // `fields` below and its output is the source copied byte for byte with the date bytes patched.
    meta::ContainerKind container = meta::ContainerKind::Jpeg;
    std::vector<meta::DateField> fields;  // every date field of such a file
    meta::FieldBytes fieldBytes;           // their bytes as read
    std::vector<meta::ChecksumRegion> checksums;
    // Why no date of such a file may be patched (a box past the end, a loop): it is copied unchanged and reported.
    QString structureProblem;
    QStringList notes;                     // dates of the file left alone and why
    QStringList passedOver;                // what the reader passed over in the file as no part of it, for the log
    int captureField = -1;                 // which of `fields` the capture date is read from
    bool captureUtc = false;               // ... a movie header's UTC seconds, named by their local time
    // A movie's header times count in UTC (a phone's, a CR3's), not in the camera's wall clock; they then keep
    // their instant when the dates are converted between zones.
    bool movieTimesUtc = false;
    // The zone offset (seconds) a UTC capture time is shown in: the zone a date of the same file names; none: this
    // computer's zone.
    std::optional<int> captureZone;
    // The zone offset (seconds) the photo records for its capture date (OffsetTimeOriginal and its kin); none when
    // it records none.
    std::optional<int> recordedZone;

    std::uint32_t fileDate = 0;  // the source's modification time as a DOS date-time (see file_list.h)
    dev_t device = 0;            // identity of the file the path led to (0/0 when it could not be opened)
    ino_t inode = 0;
    std::int64_t size = 0;
};

// Reads the header of one photo listed under `sourceFolder` (scanFolderNative's paths), the JPEG reader's verdict
// included. Never throws; a file that cannot be read gets a readProblem. Thread-safe: touches no shared state.
PhotoHeader readPhotoHeader(const std::string& nativePath, const QString& sourceFolder);
// The same, leaving the photo loaded in `data` and open in `source` for the writing. The run passes forPreview
// false: it leaves the JPEG reader's verdict to the writer and has no use for the thumbnail.
PhotoHeader readPhotoHeader(const std::string& nativePath, const QString& sourceFolder, meta::ImgData& data,
                            meta::SourceFile& source, bool forPreview = true);

// Why a photo's dates stay as they are, or that they move.
enum class DateOutcome {
    Shifted,        // every readable date moves by the offset
    NoExif,         // the photo has no EXIF block
    NoReadableDate, // its EXIF block holds no date that can be read and rewritten
    OutOfRange,     // a moved date would leave the years 0001-9999: none moves
    Unread,         // the file could not be read (the run will report the error)
    Unsafe,         // not a JPEG, and its structure cannot be read safely: copied unchanged
};

// The plan of one photo: what the run will do to it.
struct PhotoPlan {
    std::shared_ptr<const PhotoHeader> header;

    DateOutcome outcome = DateOutcome::Unread;
    // Some date moves: an EXIF date, or else an XMP or IPTC copy.
    bool corrected() const { return outcome == DateOutcome::Shifted || copiesMoved > 0; }
    // The new bytes of the date values, at their offsets in the source (each inside its 19-byte value).
    std::vector<meta::BytePatch> patches;
    // The same for the XMP and IPTC copies (each inside its field). None when the EXIF dates would leave the
    // years 0001-9999: then no date moves.
    std::vector<meta::BytePatch> copyPatches;
    int copiesMoved = 0;
    // Each copy left as it was, as the log names it; of a file that is not a JPEG, each of its date fields left
    // and why ("ItemList:ContentCreateDate \"2010\": date only").
    QStringList copiesLeft;
    double oldCapture = 0.0;  // 0: none
    double newCapture = 0.0;  // the capture date after the shift (= oldCapture when nothing moves)

    QString destinationFolder;  // as the options gave it for this photo
    TimeOffset offset;          // as the options (or the camera's rule) gave it for this photo
    QString camera;             // cameraKey of the photo's camera
    bool cameraRule = false;    // the offset is the one a camera rule gave
    // Both set: the dates were converted from the one zone's time to the other's instead of moved by `offset`.
    QString fromZone;
    QString toZone;
    // What the photo's own recorded zone says of the conversion (its clock followed the local time, or its zone is
    // neither of the two), for the log and the dry run's note; empty when nothing.
    QString zoneRemark;
    OutputPath output;          // folder + name + extension; output.filePath() is the file the run writes
    QString relativeOutput;     // output.filePath() below the destination folder
    bool nameIsWritable = true;  // false: the formed name cannot be a file (the run reports "Cannot create file")
    bool replace = false;        // the name is meant to replace a file that stands there (auto rename off)
    bool replacesOriginal = false;  // ... and that file is this photo's own source
    qint64 renamedTo = 0;        // N when "_N" was added to the formed name; 0 when the name was free
    QString avoided;             // a source photo's path the name would have replaced, when one was avoided
    // What stands against writing the output, known before the writing ("name cannot be a file", a folder that
    // is a symbolic link); the run reports its own error for it. Empty otherwise.
    QString problem;
    ino_t folderKey = 0;         // the output folder's place in the planner's naming

    // The time the output file gets (DOS date-time; 0: the time of writing).
    std::uint32_t outputFileDate = 0;

    // "ok", "no EXIF", "no readable date", "date out of range", "replaces original", "renamed _N",
    // "cannot read: <reason>", "dates not changed: <reason>", "name cannot be a file"; several joined by ", ". A
    // photo whose EXIF dates stay but whose XMP or IPTC copies move adds "XMP/IPTC dates moved".
    QString note() const;
    // The correction applied, as the dry run shows it: "+2h", or the zones and, with `withChange`, the capture
    // date's change ("Europe/Berlin to Asia/Tokyo +7h").
    QString correctionText(bool withChange = true) const;
    // False when the run is known to fail on this photo (unreadable, refused, a name or folder it cannot write).
    bool willBeWritten() const;
};

// Makes the plans of one list, in list order. The options may change between photos (the run reads them afresh for
// every file, the destination folder included); the source folder is the one the list was made from.
class Planner {
  public:
    // `sourceFolder` as the user gave it; the clock gives "now" for masks and for the recognition of a date an
    // earlier run put in front of a name.
    Planner(const QString& sourceFolder, const QLocale& locale, Clock clock = currentLocalDateTime);
    ~Planner();
    Planner(const Planner&) = delete;
    Planner& operator=(const Planner&) = delete;

    // Every listed photo, before the first plan: none of them is ever replaced but by its own output.
    void addSource(const PhotoHeader& header);
    void addSource(dev_t device, ino_t inode, std::int64_t birth = 0);

    // The plan of the next photo of the list. Reserves its output name, so later plans see it taken (with auto
    // rename) or see this run's output standing there (without). Throws std::runtime_error("Invalid file mask")
    // when the options' mask is refused and no mask was accepted before.
    PhotoPlan plan(std::shared_ptr<const PhotoHeader> header, const RunOptions& options);

    // The plans of the files of one folder that share a base name (IMG_1.CR2, IMG_1.JPG, IMG_1.xmp, IMG_1.CR2.xmp;
    // see nameGroups), in the order given. They get one new base name, "_N" included, formed from the capture date
    // of the group's leader: the first JPEG with a readable capture date, else the first other photo or video with
    // one, else the first sidecar with one (list order inside each). A member without a date of its own takes the
    // leader's for its file time.
    std::vector<PhotoPlan> planGroup(const std::vector<std::shared_ptr<const PhotoHeader>>& members,
                                     const RunOptions& options);
    // A member's plan made ahead with its group, brought up to date with the header read when its turn comes: the
    // dates are planned again from it; the name stays the group's.
    void replanDates(PhotoPlan& plan, std::shared_ptr<const PhotoHeader> header) const;

    // The next free name for the plan's output, when its name was taken by another program between the plan and
    // the writing; updates plan.output and plan.relativeOutput.
    QString nextName(PhotoPlan& plan);
    // The same for the members of a group written together, all of whose outputs share one folder and base name:
    // they move on to the next base name free for all of them.
    void nextGroupName(const std::vector<PhotoPlan*>& plans);

    // A real run tells the planner that the plan's output was not written: the name stays taken for "_N", but a
    // later photo that would replace it looks at the disk again.
    void notWritten(const PhotoPlan& plan);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// The files that are to share a new base name: groups of indexes into `relativePaths` (paths below the source
// folder), in list order of their first member, each member in list order. Files of one folder with the same stem
// (splitFileName) form a group, except that a group never holds two files whose outputs would have the same
// extension (two JPEGs differing in the letter case of theirs): such a file stands alone.
std::vector<std::vector<std::size_t>> nameGroups(const std::vector<QString>& relativePaths);

// True when the file is read as a JPEG: its name ends in a JPEG extension (any letter case). Every other file is
// read by the container readers.
bool readAsJpeg(const QString& fileName);
// The extension the output of a file keeps: ".jpg" for a JPEG (as every JPEG output), the source's own as written
// for every other type (".CR2", ".CR2.xmp").
QString outputExtensionOf(const QString& fileName);

// A whole list for a preview or a dry run, in two steps that can be redone apart: the headers (readPhotoHeader for
// each path, on `threads` workers; 0: defaultJobs()), then the plans (one Planner over the headers in
// list order, from options.sourceFolder to options.destinationFolder; cheap). Neither writes anything.
// `headers` must be readPhotoHeaders' answer for options.sourceFolder.
//
// A reading watched from another thread (a window showing its progress) passes a HeaderReading: its counter follows
// the headers read, and a stop set from any thread ends the reading after the headers under way; the paths not read
// then have no header (null).
struct HeaderReading {
    std::atomic<std::size_t> done{0};
    std::atomic<bool> stop{false};
};
std::vector<std::shared_ptr<const PhotoHeader>> readPhotoHeaders(const std::vector<std::string>& nativePaths,
                                                                 const QString& sourceFolder, int threads = 0,
                                                                 HeaderReading* reading = nullptr);
std::vector<PhotoPlan> planList(const std::vector<std::shared_ptr<const PhotoHeader>>& headers,
                                const RunOptions& options, const QLocale& locale,
                                Clock clock = currentLocalDateTime);

// "YYYY-MM-DD HH:MM:SS" of a date-time value, "-" for 0.
QString formatPlanDate(double dateTime);

}  // namespace morrowtide::app
