// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file: the naming options kept from one start of the program to the next.
//
// A small INI editor of our own rather than QSettings: saving must change or add only our seven keys and leave every
// other line, section and comment of the file exactly as it was, values are stored as typed (no quoting or escaping),
// and a boolean reads as an integer, so "abc" falls back to the default instead of becoming true.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <stdexcept>
#include <vector>

#include "app/camera_offsets.h"
#include "app/naming.h"

namespace morrowtide::app {

inline constexpr char kSettingsFileName[] = "morrowtide.ini";
inline constexpr char kOptionsSection[] = "Options";
inline constexpr char kCamerasSection[] = "Cameras";

// The persistent options; the folders and the time offset are never stored.
struct SavedOptions {
    QString fileMask = kDefaultFileMask;  // as typed, not prepared
    bool recurseFolders = true;
    bool autoRename = true;
    bool includePreviousFName = true;
    bool includeDateTime = true;
    bool overwriteDateTime = true;
    bool preserveModDate = false;
    bool allTypes = false;  // "Also correct other photo and video files"
    int jobs = 0;           // photos worked on at once; 0: the program's choice
    // In the section "Cameras", written only when something is chosen: "Camera1=<camera key>|<offset>", ... and
    // "FromZone", "ToZone" while the zone conversion is on.
    CameraChoices cameras;

    bool operator==(const SavedOptions&) const = default;
};

// Raised when the settings file cannot be written; what() is "Unable to write to <path>".
class SettingsWriteError : public std::runtime_error {
  public:
    explicit SettingsWriteError(const QString& path);
    const QString& path() const { return path_; }

  private:
    QString path_;
};

// An INI file held as its lines, edited the way the Windows profile functions edit one: section and key names match
// without regard to letter case, the first matching section and key win, a changed key keeps its line's place, a new
// key goes after the last non-blank line of its section, and a new section is appended at the end.
class IniFile {
  public:
    IniFile() = default;
    // The file's bytes; a missing or unreadable file reads as empty.
    static IniFile load(const QString& path);
    // The same for a file about to be rewritten: a file that exists but cannot be read raises SettingsWriteError.
    static IniFile loadForUpdate(const QString& path);
    static IniFile fromBytes(const QByteArray& bytes);

    // The value with blanks around it removed; nullopt when the section or the key is missing.
    std::optional<QString> value(const QString& section, const QString& key) const;
    void setValue(const QString& section, const QString& key, const QString& value);
    // The names of a section's keys, in file order; none when the section is missing.
    QStringList keys(const QString& section) const;
    // Drops the key's line; nothing when it is missing.
    void removeKey(const QString& section, const QString& key);

    QByteArray toBytes() const;
    // Replaces the file as a whole (through a temporary file, so a failed write leaves the old one intact); creates
    // missing parent folders. Raises SettingsWriteError.
    void save(const QString& path) const;

  private:
    // The index of a section's header line and the end (exclusive) of its body.
    struct SectionRange {
        std::size_t header;
        std::size_t end;
    };
    std::optional<SectionRange> findSection(const QString& section) const;
    std::optional<std::size_t> findKey(const SectionRange& range, const QString& key) const;

    std::vector<QByteArray> lines_;  // without "\n"; a "\r" before it stays part of the line
    QByteArray lineBreak_ = "\n";
    bool endsWithBreak_ = true;
};

// A profile integer: optional blanks and sign, then decimal digits or "0x"/"0X" and hexadecimal digits, within the
// 32-bit range; anything else is not an integer.
std::optional<qint32> parseProfileInteger(const QString& text);
// Any integer other than 0 is true; text that is not an integer gives the default.
bool readProfileBool(const std::optional<QString>& text, bool fallback);

// Where the settings file lives: configFolder + "/morrowtide.ini"; when configFolder is empty (the user's configuration
// folder cannot be determined), programFolder is used instead.
QString settingsFilePath(const QString& configFolder, const QString& programFolder);
// The same with the user's configuration folder (QStandardPaths::GenericConfigLocation) and the program's folder.
QString defaultSettingsFilePath();

// Missing file, missing keys and unreadable values give the defaults.
SavedOptions loadOptions(const QString& path);
// Writes the seven keys into the section "Options", booleans as "1"/"0", the mask exactly as typed, and the cameras'
// choices into "Cameras" when there are any or were before; every other content of the file stays. Raises
// SettingsWriteError.
void saveOptions(const QString& path, const SavedOptions& options);

}  // namespace morrowtide::app
