// SPDX-License-Identifier: GPL-3.0-or-later
// Output file naming: the accepted file mask, the output path of one photo, recognising a date/time that an earlier
// run put in front of a name, and avoiding names that are taken.
//
// Differences from a plain reading of the naming rules, all deliberate:
// - A photo whose EXIF block holds no readable date (capture date 0) keeps its own name under every mask, like a
//   photo without EXIF data; a name such as "1899-12-30 00-00-00 - IMG_1" never helps anyone.
// - Length: what Linux limits is one file name to 255 bytes, not the whole path. The name part (never the folder)
//   is cut at a UTF-8 character boundary so that name + "_N" + ".jpg" fits in 255 bytes, and the clash test runs
//   on the cut name, so two long names that share their first 251 bytes cannot overwrite each other.
// - A formatted name that contains "/" (a locale's date format can put one there) is kept as it is in
//   OutputPath::name and flagged by OutputPath::nameIsWritable() == false. The writer must not create such a
//   file; it reports "Cannot create file" for OutputPath::filePath() instead, as an illegal name did where this
//   program comes from. No clash test runs for such a name, since it would look into another folder.
#pragma once

#include <sys/types.h>

#include <QLocale>
#include <QString>

#include <functional>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "app/date_pattern.h"

namespace morrowtide::app {

// Stands for the old file name in a mask; case-sensitive.
inline const QString kFileNameToken = QStringLiteral("*FILENAME");
inline const QString kDefaultFileMask = QStringLiteral("yyyy-mm-dd hh-nn-ss - *FILENAME");
// The window shows it translated.
inline const QString kInvalidFileMaskMessage =
    QString::fromLatin1(QT_TRANSLATE_NOOP("morrowtide::app::Naming", "Invalid file mask"));
// Why a mask is refused although it can be formatted: the names it gives would not be seen. The window shows them
// translated, after kInvalidFileMaskMessage.
inline const QString kEmptyNameMaskReason = QString::fromLatin1(
    QT_TRANSLATE_NOOP("morrowtide::app::Naming", "It leaves the name empty: each copy would be named by its extension "
                                                 "alone (\".jpg\"), which hides it in file managers."));
inline const QString kHiddenNameMaskReason = QString::fromLatin1(
    QT_TRANSLATE_NOOP("morrowtide::app::Naming",
                      "It gives names that begin with \".\", which hides the copies in file managers."));
// Every output is written with this extension, whatever the source's letter case.
inline const QString kOutputExtension = QStringLiteral(".jpg");
// Longest file name (one path component) in bytes.
inline constexpr int kMaxFileNameBytes = 255;

// The current local date and time as a date-time value (days since 1899-12-30).
using Clock = std::function<double()>;
double currentLocalDateTime();

// The naming check boxes, all on by default.
struct NamingOptions {
    bool includeDateTime = true;         // "Include datetime in filename"
    bool includeCurrentFilename = true;  // "Include current filename"
    bool overwriteDateTime = true;       // "Overwrite datetime in filename"
};

// What applying a mask gave. On failure only `error` is set, and nothing was accepted.
struct FileMaskResult {
    bool accepted = false;
    QString formatMask;  // the prepared mask
    QString example;     // the current date and time formatted with it, double quotes removed
    QString error;       // kInvalidFileMaskMessage when not accepted
};

// The output of one photo: folder + name + extension.
struct OutputPath {
    QString folder;  // destination folder + the source's relative folder, ending in "/"
    QString name;    // file name without extension
    // ".jpg", or the source's own extension when the output takes the place of its source.
    QString extension = kOutputExtension;

    QString path() const { return folder + name; }              // without extension
    QString filePath() const { return path() + extension; }     // the file to write, as logged
    bool nameIsWritable() const;
};

// Steps 1 and 2 of preparing a mask: quote every "*FILENAME" so the formatter copies it, and remove every
// "/", "?", "\", ":", "<" and ">".
QString prepareFileMask(const QString& maskText);

// The characters the mask field refuses as they are typed: "/", ":", "<", ">", "?" and "\".
bool isRefusedMaskKey(QChar c);

// False when the name cannot be one file in the folder: it holds "/" or a NUL character.
bool nameIsWritable(const QString& name);

// The longest prefix of `text` whose UTF-8 form has at most maxBytes bytes, cut between characters.
QString cutToUtf8Bytes(const QString& text, int maxBytes);

// The folder with a "/" at its end; an empty text stays empty (the current folder).
QString withTrailingSlash(const QString& folder);

// `name` as the n-th choice: itself for 1, else name + "_n" (cut further where the suffix needs room).
// `room` is the bytes the name may take before its extension (longer extensions than ".jpg" leave less).
QString numberedName(const QString& name, qint64 n, int room = kMaxFileNameBytes - 4);

// A file name split into the part a mask's "*FILENAME" stands for and the extension its output keeps:
// "IMG_1.CR2" is "IMG_1" and ".CR2"; a sidecar named after its photo's whole name, "IMG_1.CR2.xmp", is "IMG_1" and
// ".CR2.xmp", so that it keeps its photo's new name. A name without a dot is all stem.
struct NameParts {
    QString stem;
    QString extension;
};
NameParts splitFileName(const QString& fileName);

// The names one run gives its outputs. The choice is made before anything is written, so it can be made for every
// photo first and the writing done afterwards.
// - It keeps, per folder and name, the next "_N" to try: photos that share a name cost one look each, however many.
// - It knows the run's source photos: none of them is replaced but the one in hand, whatever the options (its name
//   is taken like an existing file under auto rename).
// - An output that takes the place of its own source keeps the source's name exactly, extension included.
// - It remembers the names it gave, so that a choice made before the earlier outputs are written (a preview, a dry
//   run) comes out as it would after: a given name is taken, and a file to be replaced there is this run's output.
// The folder is known by an identity pair that only has to be the same for every choice in that folder; a folder
// that does not exist yet is passed as -1 (nothing is taken in it on disk).
class OutputNames {
  public:
    // A listed source photo, by the identity (device, inode) of the file its path leads to.
    // `birth` (see FileIdentity; 0: unknown) tells the source apart from a file made later in the same place.
    void addSource(dev_t device, ino_t inode, std::int64_t birth = 0);

    struct Choice {
        QString name;                          // without extension
        QString extension = kOutputExtension;  // the source's own when `ownSource`
        bool replace = false;                  // a file of that name is meant to be replaced
        bool ownSource = false;                // that file is the source in hand
        QString avoided;                       // the name (with ".jpg") that was another source photo, if any
        qint64 number = 1;                     // N of the "_N" added to the name formed; 1 when none was
    };

    // The name for a photo in the output folder `folderFd` (open; its identity `folderDevice`/`folderInode`).
    // `name` is the name formed without extension, `sourceName` the source file's own name when the output folder
    // is the source's folder (else empty), and inHandDevice/inHandInode identify the source in hand.
    Choice choose(int folderFd, dev_t folderDevice, ino_t folderInode, const QString& name, bool autoRename,
                  const QString& sourceName, dev_t inHandDevice, ino_t inHandInode);

    // One file of a group that is to share one name (a raw file, its JPEG and their sidecars).
    struct Member {
        QString extension = kOutputExtension;  // the output's
        QString sourceName;                     // as for choose()
        dev_t device = 0;                       // the source's identity
        ino_t inode = 0;
    };
    // The names of a group, all `name` (or all `name` + the same "_N") followed by each member's extension, in
    // member order. A base name the run gave one group is never given to another, whatever the extensions, so two
    // photos taken in the same second do not pass for a pair; a clash for any member moves the whole group on.
    // The members' extensions must differ.
    std::vector<Choice> chooseGroup(int folderFd, dev_t folderDevice, ino_t folderInode, const QString& name,
                                    bool autoRename, const std::vector<Member>& members);
    // The next free name after the last one chosen for `name` (with .jpg), when that one was taken meanwhile.
    QString next(int folderFd, dev_t folderDevice, ino_t folderInode, const QString& name,
                 const QString& extension = kOutputExtension);
    // The same for a group: the next name free for every one of `extensions`.
    QString next(int folderFd, dev_t folderDevice, ino_t folderInode, const QString& name,
                 const std::vector<QString>& extensions);
    // The output given `fileName` (with extension) was not written after all: for a later photo that would replace
    // it, the disk says again what stands there.
    void notWritten(dev_t folderDevice, ino_t folderInode, const QString& fileName);

  private:
    struct Key {
        dev_t device;
        ino_t inode;
        QString name;
        bool operator<(const Key& other) const;
    };
    QString firstFree(int folderFd, const Key& key, const std::vector<QString>& extensions, qint64* number = nullptr);
    // The choice of a member replacing what stands at its name (auto rename off); `avoided` set when another photo
    // of the run stands there. Nothing is given yet.
    Choice replacing(int folderFd, const Key& folder, const QString& base, const Member& member) const;
    // True while the name (with extension) was given and is taken to be written.
    bool given(const Key& file) const;
    void give(const Key& file) { given_[file] = true; }

    std::map<Key, qint64> nextSuffix_;
    std::map<Key, bool> given_;
    std::set<Key> givenBases_;  // names without extension given by firstFree
    std::map<std::pair<dev_t, ino_t>, std::int64_t> sources_;  // the listed sources, with their births
};

// A year written with one or two digits, placed in the 100 years from currentYear - 50 to currentYear + 49.
int expandTwoDigitYear(int year, int currentYear);

// Removes the first 22 characters of a name (without extension) that begins with a date/time: year-month-day (or
// month-day of currentYear), blanks, then the end or an hour 0..23 optionally followed by minutes and seconds after
// the time separator; the date/time must be later than 1899-12-30 00:00:00. Other names come back unchanged.
QString stripDateTimePrefix(const QString& name, int currentYear, const QString& timeSeparator);

// Holds the accepted mask with the locale and the clock it is applied with. One per main window (or run).
class FileNamer {
  public:
    FileNamer();  // system locale, system clock
    FileNamer(const QLocale& locale, Clock clock);

    // Prepares the mask and formats the current date and time with it, without accepting it. Fails when nothing
    // is left of the mask after preparation.
    FileMaskResult checkFileMask(const QString& maskText) const;
    // checkFileMask, then on success stores the prepared mask as formatMask() and maskText as formatMaskText().
    // On failure both keep their previous values.
    FileMaskResult applyFileMask(const QString& maskText);

    // Why names formed with the mask would be hidden: kEmptyNameMaskReason or kHiddenNameMaskReason. Empty when
    // they would be seen, when the mask cannot be prepared (checkFileMask says why), and when the options leave the
    // date and time out of the name, which then is the photo's own. Formed as outputPathFor forms them, with the
    // current date and time and, for "*FILENAME", a camera's name.
    QString hiddenNameReason(const QString& maskText, const NamingOptions& options) const;

    const QString& formatMask() const { return formatMask_; }          // empty until a mask is accepted
    const QString& formatMaskText() const { return formatMaskText_; }  // the text it was prepared from
    const QLocale& locale() const { return locale_; }
    double now() const { return clock_(); }
    int currentYear() const;

    // The accepted mask applied to a date.
    QString formatDate(double dateTime) const { return pattern_.format(dateTime); }

    // stripDateTimePrefix with the clock's year and the locale's time separator.
    QString stripDateTimePrefix(const QString& name) const;

    // The output of one photo. relativePath is the file's path below the source folder ("Trip/IMG_0042.JPG"),
    // ending in a 4-character extension; captureDateTime is the shifted capture date (0 when it has none). The name
    // as formed, whatever the folder holds: OutputNames chooses among the taken ones.
    OutputPath outputPathFor(const QString& destinationFolder, const QString& relativePath, bool hasExifData,
                             double captureDateTime, const NamingOptions& options) const;

  private:
    QLocale locale_;
    Clock clock_;
    QString formatMask_;
    QString formatMaskText_;
    DatePattern pattern_;
};

}  // namespace morrowtide::app
