// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settings_file.h"
#include "app/worker_pool.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>
#include <limits>
#include <utility>

#include "app/time_offset.h"

namespace morrowtide::app {

namespace {

constexpr char kKeyFileMask[] = "FileMask";
constexpr char kKeyRecurseFolders[] = "RecurseFolders";
constexpr char kKeyAutoRename[] = "AutoRename";
constexpr char kKeyIncludePreviousFName[] = "IncludePreviousFName";
constexpr char kKeyIncludeDateTime[] = "IncludeDateTime";
constexpr char kKeyOverwriteDateTime[] = "OverwriteDateTime";
constexpr char kKeyPreserveModDate[] = "PreserveModDate";
constexpr char kKeyAllTypes[] = "AllTypes";
constexpr char kKeyJobs[] = "Jobs";
constexpr char kKeyCameraPrefix[] = "Camera";
constexpr char kKeyFromZone[] = "FromZone";
constexpr char kKeyToZone[] = "ToZone";
// Between a camera's key and its offset; no offset text holds it.
constexpr char16_t kCameraSeparator = u'|';

// The number N of a "CameraN" key; nullopt for any other key.
std::optional<int> cameraKeyNumber(const QString& key) {
    const QString prefix = QString::fromLatin1(kKeyCameraPrefix);
    if (!key.startsWith(prefix, Qt::CaseInsensitive) || key.size() == prefix.size()) return std::nullopt;
    bool ok = false;
    const int number = key.mid(prefix.size()).toInt(&ok);
    return ok && number > 0 ? std::optional(number) : std::nullopt;
}

CameraChoices loadCameraChoices(const IniFile& ini) {
    const QString section = QString::fromLatin1(kCamerasSection);
    CameraChoices choices;
    for (const QString& key : ini.keys(section)) {
        if (!cameraKeyNumber(key)) continue;
        const QString entry = ini.value(section, key).value_or(QString());
        const qsizetype separator = entry.lastIndexOf(kCameraSeparator);
        if (separator <= 0) continue;
        const QString camera = entry.left(separator).trimmed();
        std::string error;
        const auto seconds = parseOffsetText(entry.mid(separator + 1).trimmed().toStdString(), error);
        // An entry that cannot be read is left out, as a value that cannot be read gives the default.
        if (camera.isEmpty() || !seconds || !offsetFromSeconds(*seconds) || choices.offsets.contains(camera)) continue;
        choices.offsets.insert(camera, *seconds);
    }
    choices.fromZone = ini.value(section, QString::fromLatin1(kKeyFromZone)).value_or(QString());
    choices.toZone = ini.value(section, QString::fromLatin1(kKeyToZone)).value_or(QString());
    choices.convertZones = !choices.fromZone.isEmpty() && !choices.toZone.isEmpty();
    return choices;
}

void saveCameraChoices(IniFile& ini, const CameraChoices& choices) {
    const QString section = QString::fromLatin1(kCamerasSection);
    QStringList entries;
    for (auto it = choices.offsets.constBegin(); it != choices.offsets.constEnd(); ++it) {
        // A line break in a camera's name would split the line; such a camera is not kept.
        if (it.key().contains(u'\n') || it.key().contains(u'\r')) continue;
        entries << it.key() + kCameraSeparator + offsetText(it.value());
    }
    const bool zones = choices.convertZones && !choices.fromZone.isEmpty() && !choices.toZone.isEmpty();
    const QStringList present = ini.keys(section);
    // Nothing chosen and nothing saved before: the file stays as it was.
    if (entries.isEmpty() && !zones && present.isEmpty()) return;
    for (int i = 0; i < entries.size(); ++i) {
        ini.setValue(section, QString::fromLatin1(kKeyCameraPrefix) + QString::number(i + 1), entries[i]);
    }
    for (const QString& key : present) {
        if (const auto number = cameraKeyNumber(key); number && *number > entries.size()) ini.removeKey(section, key);
    }
    const std::pair<const char*, const QString*> zoneKeys[] = {{kKeyFromZone, &choices.fromZone},
                                                               {kKeyToZone, &choices.toZone}};
    for (const auto& [key, zone] : zoneKeys) {
        if (zones) {
            ini.setValue(section, QString::fromLatin1(key), *zone);
        } else {
            ini.removeKey(section, QString::fromLatin1(key));
        }
    }
}

bool isBlank(const QByteArray& line) {
    return line.trimmed().isEmpty();
}

// "[name]" -> name; nullopt for any other line.
std::optional<QString> sectionName(const QByteArray& line) {
    const QByteArray trimmed = line.trimmed();
    if (!trimmed.startsWith('[')) return std::nullopt;
    qsizetype close = trimmed.indexOf(']');
    if (close < 0) close = trimmed.size();
    return QString::fromUtf8(trimmed.mid(1, close - 1)).trimmed();
}

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The value of an ASCII digit in the base (10 or 16), -1 for anything else.
int digitValue(QChar c, int base) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') return u - u'0';
    if (base == 16 && u >= u'a' && u <= u'f') return u - u'a' + 10;
    if (base == 16 && u >= u'A' && u <= u'F') return u - u'A' + 10;
    return -1;
}

}  // namespace

SettingsWriteError::SettingsWriteError(const QString& path)
    : std::runtime_error(QStringLiteral("Unable to write to %1").arg(path).toStdString()), path_(path) {}

IniFile IniFile::load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return fromBytes(file.readAll());
}

IniFile IniFile::loadForUpdate(const QString& path) {
    QFile file(path);
    if (!file.exists()) return {};
    // Rewriting a file we could not read would throw away everything else in it.
    if (!file.open(QIODevice::ReadOnly)) throw SettingsWriteError(path);
    return fromBytes(file.readAll());
}

IniFile IniFile::fromBytes(const QByteArray& bytes) {
    IniFile ini;
    QList<QByteArray> parts = bytes.split('\n');
    // split() leaves an empty last part when the text ends with a line break.
    ini.endsWithBreak_ = parts.last().isEmpty();
    if (ini.endsWithBreak_) parts.removeLast();
    bool styleFound = false;
    for (QByteArray& part : parts) {
        if (!styleFound && &part != &parts.last()) {
            ini.lineBreak_ = part.endsWith('\r') ? "\r\n" : "\n";
            styleFound = true;
        }
        // A carriage return stays part of its line, so untouched lines are written back byte for byte.
        ini.lines_.push_back(std::move(part));
    }
    if (!styleFound && ini.endsWithBreak_ && !ini.lines_.empty() && ini.lines_.back().endsWith('\r')) {
        ini.lineBreak_ = "\r\n";
    }
    return ini;
}

std::optional<IniFile::SectionRange> IniFile::findSection(const QString& section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const auto name = sectionName(lines_[i]);
        if (!name || !sameName(*name, section)) continue;
        std::size_t end = i + 1;
        while (end < lines_.size() && !sectionName(lines_[end])) ++end;
        return SectionRange{i, end};
    }
    return std::nullopt;
}

std::optional<std::size_t> IniFile::findKey(const SectionRange& range, const QString& key) const {
    for (std::size_t i = range.header + 1; i < range.end; ++i) {
        const QByteArray& text = lines_[i];
        const qsizetype equals = text.indexOf('=');
        if (equals < 0) continue;
        if (sameName(QString::fromUtf8(text.left(equals)).trimmed(), key)) return i;
    }
    return std::nullopt;
}

std::optional<QString> IniFile::value(const QString& section, const QString& key) const {
    const auto range = findSection(section);
    if (!range) return std::nullopt;
    const auto index = findKey(*range, key);
    if (!index) return std::nullopt;
    const QByteArray& text = lines_[*index];
    return QString::fromUtf8(text.mid(text.indexOf('=') + 1)).trimmed();
}

void IniFile::setValue(const QString& section, const QString& key, const QString& value) {
    const QByteArray entry = key.toUtf8() + '=' + value.toUtf8();
    const QByteArray newLineTail = lineBreak_ == "\r\n" ? QByteArray("\r") : QByteArray();
    auto range = findSection(section);
    if (!range) {
        lines_.push_back('[' + section.toUtf8() + ']' + newLineTail);
        lines_.push_back(entry + newLineTail);
        endsWithBreak_ = true;
        return;
    }
    if (const auto index = findKey(*range, key)) {
        // Keep the line's own line-break style.
        const bool hadReturn = lines_[*index].endsWith('\r');
        lines_[*index] = hadReturn ? entry + '\r' : entry;
        return;
    }
    std::size_t insertAt = range->header + 1;
    for (std::size_t i = range->header + 1; i < range->end; ++i) {
        if (!isBlank(lines_[i])) insertAt = i + 1;
    }
    if (insertAt == lines_.size()) endsWithBreak_ = true;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), entry + newLineTail);
}

QStringList IniFile::keys(const QString& section) const {
    QStringList names;
    const auto range = findSection(section);
    if (!range) return names;
    for (std::size_t i = range->header + 1; i < range->end; ++i) {
        const qsizetype equals = lines_[i].indexOf('=');
        if (equals >= 0) names << QString::fromUtf8(lines_[i].left(equals)).trimmed();
    }
    return names;
}

void IniFile::removeKey(const QString& section, const QString& key) {
    const auto range = findSection(section);
    if (!range) return;
    if (const auto index = findKey(*range, key)) lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*index));
}

QByteArray IniFile::toBytes() const {
    QByteArray bytes;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        bytes += lines_[i];
        if (i + 1 < lines_.size() || endsWithBreak_) bytes += '\n';
    }
    return bytes;
}

void IniFile::save(const QString& path) const {
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) throw SettingsWriteError(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) throw SettingsWriteError(path);
    const QByteArray bytes = toBytes();
    if (file.write(bytes) != bytes.size() || !file.commit()) throw SettingsWriteError(path);
}

std::optional<qint32> parseProfileInteger(const QString& text) {
    const QString t = text.trimmed();
    qsizetype pos = 0;
    bool negative = false;
    if (pos < t.size() && (t[pos] == u'+' || t[pos] == u'-')) {
        negative = t[pos] == u'-';
        ++pos;
    }
    int base = 10;
    if (t.mid(pos, 2).compare(QLatin1String("0x"), Qt::CaseInsensitive) == 0) {
        base = 16;
        pos += 2;
    }
    if (pos >= t.size()) return std::nullopt;
    qint64 magnitude = 0;
    // Hexadecimal spans all 32 bits (0xFFFFFFFF is -1); decimal must fit a signed 32-bit integer.
    const qint64 limit = base == 16 ? 0xFFFFFFFFLL : qint64{std::numeric_limits<qint32>::max()} + (negative ? 1 : 0);
    for (; pos < t.size(); ++pos) {
        const int digit = digitValue(t[pos], base);
        if (digit < 0) return std::nullopt;
        magnitude = magnitude * base + digit;
        if (magnitude > limit) return std::nullopt;
    }
    const qint64 value = negative ? -magnitude : magnitude;
    return static_cast<qint32>(static_cast<quint32>(value & 0xFFFFFFFFLL));
}

bool readProfileBool(const std::optional<QString>& text, bool fallback) {
    if (!text) return fallback;
    const auto number = parseProfileInteger(*text);
    return number ? *number != 0 : fallback;
}

QString settingsFilePath(const QString& configFolder, const QString& programFolder) {
    const QString folder = configFolder.isEmpty() ? programFolder : configFolder;
    return QDir(folder).filePath(QString::fromLatin1(kSettingsFileName));
}

QString defaultSettingsFilePath() {
    return settingsFilePath(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation),
                            QCoreApplication::applicationDirPath());
}

SavedOptions loadOptions(const QString& path) {
    const IniFile ini = IniFile::load(path);
    const QString section = QString::fromLatin1(kOptionsSection);
    auto read = [&](const char* key) { return ini.value(section, QString::fromLatin1(key)); };
    SavedOptions defaults;
    SavedOptions options;
    options.fileMask = read(kKeyFileMask).value_or(defaults.fileMask);
    options.recurseFolders = readProfileBool(read(kKeyRecurseFolders), defaults.recurseFolders);
    options.autoRename = readProfileBool(read(kKeyAutoRename), defaults.autoRename);
    options.includePreviousFName = readProfileBool(read(kKeyIncludePreviousFName), defaults.includePreviousFName);
    options.includeDateTime = readProfileBool(read(kKeyIncludeDateTime), defaults.includeDateTime);
    options.overwriteDateTime = readProfileBool(read(kKeyOverwriteDateTime), defaults.overwriteDateTime);
    options.preserveModDate = readProfileBool(read(kKeyPreserveModDate), defaults.preserveModDate);
    options.allTypes = readProfileBool(read(kKeyAllTypes), defaults.allTypes);
    // A count that is not a whole number from 0 up leaves the choice to the program.
    if (const auto text = read(kKeyJobs)) {
        const std::optional<qint32> jobs = parseProfileInteger(*text);
        options.jobs = jobs && *jobs >= 0 ? std::min<qint32>(*jobs, kMaxJobs) : defaults.jobs;
    }
    options.cameras = loadCameraChoices(ini);
    return options;
}

void saveOptions(const QString& path, const SavedOptions& options) {
    IniFile ini = IniFile::loadForUpdate(path);
    const QString section = QString::fromLatin1(kOptionsSection);
    auto write = [&](const char* key, const QString& value) { ini.setValue(section, QString::fromLatin1(key), value); };
    auto flag = [](bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); };
    write(kKeyFileMask, options.fileMask);
    write(kKeyRecurseFolders, flag(options.recurseFolders));
    write(kKeyAutoRename, flag(options.autoRename));
    write(kKeyIncludePreviousFName, flag(options.includePreviousFName));
    write(kKeyIncludeDateTime, flag(options.includeDateTime));
    write(kKeyOverwriteDateTime, flag(options.overwriteDateTime));
    write(kKeyPreserveModDate, flag(options.preserveModDate));
    // Written once it is on, so that a file saved with the default stays as it was.
    if (options.allTypes || ini.value(section, QString::fromLatin1(kKeyAllTypes))) write(kKeyAllTypes, flag(options.allTypes));
    if (options.jobs != 0 || ini.value(section, QString::fromLatin1(kKeyJobs))) {
        write(kKeyJobs, QString::number(options.jobs));
    }
    saveCameraChoices(ini, options.cameras);
    ini.save(path);
}

}  // namespace morrowtide::app
