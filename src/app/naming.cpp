// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/naming.h"
#include "app/file_list.h"
#include "app/native_path.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <QDateTime>
#include <QFile>

#include <algorithm>
#include <cmath>
#include <optional>
#include <tuple>
#include <system_error>

#include "meta/date_time.h"
#include "meta/formats/container.h"

namespace morrowtide::app {

namespace {

// Room for the name once ".jpg" is added.
constexpr int kMaxBaseNameBytes = kMaxFileNameBytes - 4;
// A name that starts with a date/time written by the default mask loses this many characters.
constexpr int kDateTimePrefixLength = 22;

int utf8Length(char32_t codePoint) {
    if (codePoint < 0x80) return 1;
    if (codePoint < 0x800) return 2;
    if (codePoint < 0x10000) return 3;
    return 4;
}


bool isMissingDate(double dateTime) {
    return !std::isfinite(dateTime) || dateTime == 0.0;
}

// Reads a run of ASCII digits after optional blanks. Runs longer than 9 digits are no number of a date.
class DateScanner {
  public:
    explicit DateScanner(const QString& text) : text_(text) {}

    void skipBlanks() {
        while (pos_ < text_.size() && text_[pos_] == u' ') ++pos_;
    }
    bool atEnd() const { return pos_ >= text_.size(); }
    bool take(const QString& what) {
        if (what.isEmpty() || !QStringView(text_).mid(pos_).startsWith(what)) return false;
        pos_ += what.size();
        return true;
    }
    // On success `value` and `digits` are set; on failure the position is unchanged.
    bool number(int& value, int& digits) {
        const qsizetype start = pos_;
        skipBlanks();
        qsizetype end = pos_;
        while (end < text_.size() && text_[end] >= u'0' && text_[end] <= u'9') ++end;
        digits = static_cast<int>(end - pos_);
        if (digits == 0 || digits > 9) {
            pos_ = start;
            return false;
        }
        value = QStringView(text_).mid(pos_, digits).toInt();
        pos_ = end;
        return true;
    }
    qsizetype position() const { return pos_; }
    void setPosition(qsizetype pos) { pos_ = pos; }

  private:
    const QString& text_;
    qsizetype pos_ = 0;
};

// True when the name begins with a date/time that lies after the zero date.
bool beginsWithDateTime(const QString& name, int currentYear, const QString& timeSeparator) {
    static const QString dash = QStringLiteral("-");
    DateScanner scan(name);
    int first = 0, firstDigits = 0, second = 0, secondDigits = 0;
    if (!scan.number(first, firstDigits)) return false;
    scan.skipBlanks();
    if (!scan.take(dash) || !scan.number(second, secondDigits)) return false;

    meta::CivilDateTime when;
    int yearDigits = 0;
    const qsizetype afterTwo = scan.position();
    scan.skipBlanks();
    int third = 0, thirdDigits = 0;
    if (scan.take(dash) && scan.number(third, thirdDigits)) {
        when.year = first;
        yearDigits = firstDigits;
        when.month = second;
        when.day = third;
    } else {  // month and day of the current year
        scan.setPosition(afterTwo);
        when.year = currentYear;
        yearDigits = 4;
        when.month = first;
        when.day = second;
    }
    if (yearDigits <= 2) when.year = expandTwoDigitYear(when.year, currentYear);
    if (!meta::isValidCivilDateTime(when)) return false;

    scan.skipBlanks();
    if (!scan.atEnd()) {
        int value = 0, digits = 0;
        if (!scan.number(value, digits) || value > 23) return false;
        when.hour = value;
        // Minutes and seconds are optional; what follows them is not looked at.
        if (scan.take(timeSeparator) && scan.number(value, digits)) {
            if (value > 59) return false;
            when.minute = value;
            if (scan.take(timeSeparator) && scan.number(value, digits)) {
                if (value > 59) return false;
                when.second = value;
            }
        }
    }
    return meta::encodeDateTime(when) > 0.0;
}

}  // namespace

double currentLocalDateTime() {
    const QDateTime now = QDateTime::currentDateTime();
    const QDate d = now.date();
    const QTime t = now.time();
    return meta::encodeDateTime({d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec()});
}

bool OutputPath::nameIsWritable() const {
    return app::nameIsWritable(name);
}

QString prepareFileMask(const QString& maskText) {
    QString mask = maskText;
    mask.replace(kFileNameToken, u'"' + kFileNameToken + u'"');
    for (const QChar c : {u'/', u'?', u'\\', u':', u'<', u'>'}) mask.remove(c);
    return mask;
}

bool isRefusedMaskKey(QChar c) {
    return c == u'/' || c == u':' || c == u'<' || c == u'>' || c == u'?' || c == u'\\';
}

bool nameIsWritable(const QString& name) {
    return !name.contains(u'/') && !name.contains(QChar(u'\0'));
}

QString cutToUtf8Bytes(const QString& text, int maxBytes) {
    int bytes = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        char32_t codePoint = text[i].unicode();
        qsizetype units = 1;
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            codePoint = QChar::surrogateToUcs4(text[i], text[i + 1]);
            units = 2;
        }
        // A lone surrogate is written as U+FFFD, three bytes, which utf8Length gives for it too.
        const int len = utf8Length(codePoint);
        if (bytes + len > maxBytes) break;
        bytes += len;
        i += units;
    }
    return text.left(i);
}

QString withTrailingSlash(const QString& folder) {
    if (folder.isEmpty() || folder.endsWith(u'/')) return folder;
    return folder + u'/';
}

QString numberedName(const QString& name, qint64 n, int room) {
    if (n <= 1) return cutToUtf8Bytes(name, room);
    const QString suffix = u'_' + QString::number(n);
    return cutToUtf8Bytes(name, room - static_cast<int>(suffix.toUtf8().size())) + suffix;
}

namespace {

// The bytes a name may take before the longest of the extensions (".jpg" at least, as before any other was known).
int roomBefore(const std::vector<QString>& extensions) {
    qsizetype longest = kOutputExtension.size();
    for (const QString& extension : extensions) longest = std::max(longest, extension.toUtf8().size());
    return kMaxFileNameBytes - static_cast<int>(longest);
}

// Whether an entry that is not a folder holds the name in an open folder (a symbolic link counts unless it leads
// to a folder; a dangling one counts, as writing through it would create some other file).
bool takenIn(int folderFd, const QString& fileName) {
    // A folder that does not exist yet holds nothing.
    if (folderFd < 0) return false;
    const std::string name = encodePath(fileName);
    struct stat entry {};
    if (::fstatat(folderFd, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (S_ISDIR(entry.st_mode)) return false;
    if (!S_ISLNK(entry.st_mode)) return true;
    struct stat target {};
    return ::fstatat(folderFd, name.c_str(), &target, 0) != 0 || !S_ISDIR(target.st_mode);
}

// What the name leads to in the folder, symbolic links followed.
std::optional<FileIdentity> identityIn(int folderFd, const QString& fileName) {
    if (folderFd < 0) return std::nullopt;
    bool folder = false;
    const auto identity = identityAt(folderFd, encodePath(fileName), &folder);
    if (!identity || folder) return std::nullopt;
    return identity;
}

std::pair<dev_t, ino_t> placeOf(const FileIdentity& identity) {
    return {identity.device, identity.inode};
}

}  // namespace

bool OutputNames::Key::operator<(const Key& other) const {
    return std::tie(device, inode, name) < std::tie(other.device, other.inode, other.name);
}

void OutputNames::addSource(dev_t device, ino_t inode, std::int64_t birth) {
    sources_.emplace(std::pair{device, inode}, birth);
}

bool OutputNames::given(const Key& file) const {
    const auto found = given_.find(file);
    return found != given_.end() && found->second;
}

void OutputNames::notWritten(dev_t folderDevice, ino_t folderInode, const QString& fileName) {
    if (const auto found = given_.find(Key{folderDevice, folderInode, fileName}); found != given_.end()) {
        found->second = false;
    }
}

QString OutputNames::firstFree(int folderFd, const Key& key, const std::vector<QString>& extensions, qint64* number) {
    qint64& n = nextSuffix_.try_emplace(key, 1).first->second;
    for (;; ++n) {
        const QString candidate = numberedName(key.name, n, roomBefore(extensions));
        const Key base{key.device, key.inode, candidate};
        const bool free = givenBases_.count(base) == 0 &&
                          std::none_of(extensions.begin(), extensions.end(), [&](const QString& extension) {
                              const Key file{key.device, key.inode, candidate + extension};
                              return given(file) || takenIn(folderFd, file.name);
                          });
        if (free) {
            if (number != nullptr) *number = n;
            ++n;  // this one is the run's now, whether or not it is written yet
            givenBases_.insert(base);
            for (const QString& extension : extensions) give(Key{key.device, key.inode, candidate + extension});
            return candidate;
        }
    }
}

OutputNames::Choice OutputNames::replacing(int folderFd, const Key& folder, const QString& base,
                                           const Member& member) const {
    const std::pair inHand{member.device, member.inode};
    Choice choice;
    choice.name = base;
    // The source's own name, when this output is to take its place: IMG_1.JPG stays IMG_1.JPG.
    const QString sourceBase = splitFileName(member.sourceName).stem;
    const auto sourceNow = member.sourceName.isEmpty() ? std::nullopt : identityIn(folderFd, member.sourceName);
    if (sourceNow && base == sourceBase && placeOf(*sourceNow) == inHand) {
        choice.extension = member.sourceName.mid(sourceBase.size());
        choice.replace = true;
        choice.ownSource = true;
        return choice;
    }
    choice.extension = member.extension;
    const Key file{folder.device, folder.inode, base + member.extension};
    // An output of this run stands there (or will, when the choice is made ahead of the writing).
    const auto standing = given(file) ? std::nullopt : identityIn(folderFd, file.name);
    // One of this run's photos only while it is the very file listed: a file another program (a second run) made
    // since in the same place, once freed, is not.
    const auto listed = standing ? sources_.find(placeOf(*standing)) : sources_.end();
    const bool ours = listed != sources_.end() &&
                      (listed->second == 0 || standing->birth == 0 || listed->second == standing->birth);
    if (!standing || placeOf(*standing) == inHand || !ours) {
        choice.replace = true;
        choice.ownSource = standing && placeOf(*standing) == inHand;
        return choice;
    }
    // Another photo of this run stands there, read or still waiting: replacing it would lose it.
    choice.avoided = base + member.extension;
    return choice;
}

OutputNames::Choice OutputNames::choose(int folderFd, dev_t folderDevice, ino_t folderInode, const QString& name,
                                        bool autoRename, const QString& sourceName, dev_t inHandDevice,
                                        ino_t inHandInode) {
    Member member;
    member.sourceName = sourceName;
    member.device = inHandDevice;
    member.inode = inHandInode;
    return chooseGroup(folderFd, folderDevice, folderInode, name, autoRename, {member}).front();
}

std::vector<OutputNames::Choice> OutputNames::chooseGroup(int folderFd, dev_t folderDevice, ino_t folderInode,
                                                          const QString& name, bool autoRename,
                                                          const std::vector<Member>& members) {
    std::vector<QString> extensions;
    for (const Member& member : members) extensions.push_back(member.extension);
    const QString base = cutToUtf8Bytes(name, roomBefore(extensions));
    const Key folder{folderDevice, folderInode, QString()};
    std::vector<Choice> choices;
    if (!autoRename) {
        for (const Member& member : members) choices.push_back(replacing(folderFd, folder, base, member));
        const bool replaceAll =
            std::all_of(choices.begin(), choices.end(), [](const Choice& choice) { return choice.avoided.isEmpty(); });
        if (replaceAll) {
            for (const Choice& choice : choices) give(Key{folderDevice, folderInode, choice.name + choice.extension});
            return choices;
        }
    } else {
        choices.resize(members.size());
    }
    // Free names for the whole group; the avoided names stay named.
    qint64 number = 1;
    const QString free = firstFree(folderFd, Key{folderDevice, folderInode, base}, extensions, &number);
    for (std::size_t i = 0; i < members.size(); ++i) {
        const QString avoided = choices[i].avoided;
        choices[i] = Choice{};
        choices[i].name = free;
        choices[i].extension = members[i].extension;
        choices[i].number = number;
        choices[i].avoided = avoided;
    }
    return choices;
}

QString OutputNames::next(int folderFd, dev_t folderDevice, ino_t folderInode, const QString& name,
                          const QString& extension) {
    return next(folderFd, folderDevice, folderInode, name, std::vector<QString>{extension});
}

QString OutputNames::next(int folderFd, dev_t folderDevice, ino_t folderInode, const QString& name,
                          const std::vector<QString>& extensions) {
    return firstFree(folderFd, Key{folderDevice, folderInode, cutToUtf8Bytes(name, kMaxBaseNameBytes)}, extensions);
}

NameParts splitFileName(const QString& fileName) {
    const qsizetype dot = fileName.lastIndexOf(u'.');
    if (dot < 0) return {fileName, QString()};
    NameParts parts{fileName.left(dot), fileName.mid(dot)};
    if (parts.extension.compare(QStringLiteral(".xmp"), Qt::CaseInsensitive) == 0) {
        const qsizetype inner = parts.stem.lastIndexOf(u'.');
        const meta::ContainerKind kind =
            inner < 0 ? meta::ContainerKind::Unknown
                      : meta::containerOfExtension(parts.stem.mid(inner + 1).toStdString());
        if (kind != meta::ContainerKind::Unknown && kind != meta::ContainerKind::XmpSidecar) {
            parts = {fileName.left(inner), fileName.mid(inner)};
        }
    }
    return parts;
}

int expandTwoDigitYear(int year, int currentYear) {
    const int windowStart = currentYear - 50;
    int full = year + windowStart / 100 * 100;
    if (full < windowStart) full += 100;
    return full;
}

QString stripDateTimePrefix(const QString& name, int currentYear, const QString& timeSeparator) {
    if (!beginsWithDateTime(name, currentYear, timeSeparator)) return name;
    return name.mid(kDateTimePrefixLength);
}

FileNamer::FileNamer() : FileNamer(QLocale::system(), &currentLocalDateTime) {}

FileNamer::FileNamer(const QLocale& locale, Clock clock)
    : locale_(locale), clock_(std::move(clock)), pattern_(QString(), locale) {}

int FileNamer::currentYear() const {
    return meta::decodeDateTime(now()).year;
}

FileMaskResult FileNamer::checkFileMask(const QString& maskText) const {
    FileMaskResult result;
    const QString prepared = prepareFileMask(maskText);
    if (prepared.isEmpty()) {
        result.error = kInvalidFileMaskMessage;
        return result;
    }
    result.accepted = true;
    result.formatMask = prepared;
    result.example = DatePattern(prepared, locale_).format(now());
    result.example.remove(u'"');
    return result;
}

QString FileNamer::hiddenNameReason(const QString& maskText, const NamingOptions& options) const {
    const QString prepared = prepareFileMask(maskText);
    if (!options.includeDateTime || prepared.isEmpty()) return {};
    QString name = DatePattern(prepared, locale_).format(now());
    if (options.includeCurrentFilename) {
        name.replace(kFileNameToken, QStringLiteral("IMG_0001"));
    } else {
        name.remove(kFileNameToken);
    }
    if (name.isEmpty()) return kEmptyNameMaskReason;
    if (name.startsWith(u'.')) return kHiddenNameMaskReason;
    return {};
}

FileMaskResult FileNamer::applyFileMask(const QString& maskText) {
    FileMaskResult result = checkFileMask(maskText);
    if (result.accepted) {
        formatMask_ = result.formatMask;
        formatMaskText_ = maskText;
        pattern_ = DatePattern(formatMask_, locale_);
    }
    return result;
}

QString FileNamer::stripDateTimePrefix(const QString& name) const {
    return app::stripDateTimePrefix(name, currentYear(), localeTimeSeparator(locale_));
}

OutputPath FileNamer::outputPathFor(const QString& destinationFolder, const QString& relativePath, bool hasExifData,
                                    double captureDateTime, const NamingOptions& options) const {
    const qsizetype slash = relativePath.lastIndexOf(u'/');
    const QString fileName = relativePath.mid(slash + 1);
    const QString ownName = splitFileName(fileName).stem;

    OutputPath out;
    out.folder = withTrailingSlash(destinationFolder) + relativePath.left(slash + 1);
    if (!hasExifData || !options.includeDateTime || isMissingDate(captureDateTime)) {
        out.name = ownName;
    } else {
        QString dateName = pattern_.format(captureDateTime);
        if (options.includeCurrentFilename) {
            const QString previous = options.overwriteDateTime ? stripDateTimePrefix(ownName) : ownName;
            dateName.replace(kFileNameToken, previous);
        } else {
            dateName.remove(kFileNameToken);
        }
        out.name = dateName;
    }
    out.name = cutToUtf8Bytes(out.name, kMaxBaseNameBytes);
    return out;
}

}  // namespace morrowtide::app
