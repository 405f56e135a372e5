// SPDX-License-Identifier: GPL-3.0-or-later
// Listing the photos of a folder tree and reading/setting file times for the batch run.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <QString>
#include <QStringList>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace morrowtide::app {

// Appends to `list` the full paths of the files in `folder` whose extension is exactly ".JPG" or ".jpg", and with
// `recurse` those of every sub-folder, depth-first at the point where the sub-folder stands. Hidden entries count.
// Each folder's entries are taken in byte order of their names so that runs are reproducible. A symbolic link to a
// folder that is already being walked is not entered again; a folder that cannot be read adds nothing.
void scanFolder(const QString& folder, bool recurse, QStringList& list);

// A file or folder as the file system knows it, whatever path leads to it.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    // When the file was made (nanoseconds since 1970), where the file system records it and the look-up asked for
    // it; 0 otherwise. A file made later in a freed place (an inode used again) is told apart by it.
    std::int64_t birth = 0;
    auto operator<=>(const FileIdentity&) const = default;
};
// The same for a file in an open folder (symbolic links followed), its birth included; nullopt when there is nothing.
std::optional<FileIdentity> identityAt(int folderFd, const std::string& name, bool* isFolder = nullptr);
// The identity of what `path` leads to (symbolic links followed); nullopt when there is nothing.
std::optional<FileIdentity> identityOf(const std::string& path);

// What a listing met besides photos.
struct ScanReport {
    // Folders that could not be read, each with the system's reason ("Permission denied", "File name too long").
    std::vector<std::pair<std::string, std::string>> unreadable;
    // The folder that was left out (see scanFolderNative), empty when none was met.
    std::string leftOut;
    // Files a listing of every type would have taken but this one did not (other photo and video files).
    int otherTypes = 0;
};

// The same with the paths as the file system's bytes: a name that is not valid UTF-8 survives only in this form.
// A sub-folder that is `leaveOut` (the destination of a run inside its source) is not entered.
// With `allTypes` every photo and video file the run can correct is taken (isOtherPhotoName), not only ".JPG"/".jpg".
// With `identities`, what each listed file leads to is appended there in list order (nullopt when it leads
// nowhere), from the one look-up the listing makes of it.
void scanFolderNative(const std::string& folder, bool recurse, std::vector<std::string>& list,
                      ScanReport* report = nullptr, std::optional<FileIdentity> leaveOut = std::nullopt,
                      bool allTypes = false, std::vector<std::optional<FileIdentity>>* identities = nullptr);

// The folder `relativeFolder` ("a/b/" or empty) below `destination`, opened and created where missing, parents
// included. Only the destination itself may be reached through a symbolic link: a link below it is never followed,
// so nothing is written outside the destination. Answers the open folder, or -1 with `error` (an errno value;
// ELOOP for a link) and `where` (the folder that failed).
// With `create` false nothing is made: a missing folder answers -1 with ENOENT.
int openFolderBeneath(const std::string& destination, const std::string& relativeFolder, int& error,
                      std::string& where, bool create = true);

// True when the name ends in exactly ".JPG" or ".jpg".
bool isListedPhotoName(std::string_view name);
// True when the name is that of another photo or video file the run corrects when asked to (any letter case):
// JPEG under its other extensions, TIFF and the raw files, HEIC/AVIF/CR3, movies, PNG, WebP and XMP sidecars.
bool isOtherPhotoName(std::string_view name);

// 32-bit DOS date-time (local time, 2-second resolution, years 1980..2107); 0 when not expressible.
std::uint32_t dosDateTimeFromCivil(int year, int month, int day, int hour, int minute, int second);
// Days since 1899-12-30 (fraction = time of day) to a DOS date-time; 0 outside 1980..2107.
std::uint32_t dosDateTimeFromDays(double days);
// The local wall-clock time a DOS date-time stands for, as seconds since the epoch; nullopt for 0 or an
// impossible date.
std::optional<std::time_t> timeFromDosDateTime(std::uint32_t dos);

// The last-write time of a file as a DOS date-time in local time; 0 when there is no such entry or it is a folder.
std::uint32_t sourceFileDate(const QString& path);
std::uint32_t sourceFileDate(const std::string& nativePath);
// The same from a status already taken (an open source's), without looking the name up again.
std::uint32_t fileDateOf(const struct stat& status);
// Sets the last-write time of a file; false when the time is 0 or cannot be set. Never throws.
bool setFileDate(const QString& path, std::uint32_t dos);

}  // namespace morrowtide::app
