// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/file_list.h"
#include "app/native_path.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "meta/date_time.h"
#include "meta/formats/container.h"

namespace morrowtide::app {

namespace fs = std::filesystem;

bool isListedPhotoName(std::string_view name) {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos) return false;
    const std::string_view ext = name.substr(dot);
    return ext == ".JPG" || ext == ".jpg";
}

bool isOtherPhotoName(std::string_view name) {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || isListedPhotoName(name)) return false;
    return meta::containerOfExtension(name.substr(dot + 1)) != meta::ContainerKind::Unknown;
}

namespace {

struct Walk {
    bool recurse;
    bool allTypes;
    std::vector<std::string>& list;
    ScanReport* report;
    std::optional<FileIdentity> leaveOut;
    std::vector<std::optional<FileIdentity>>* identities;
    std::set<FileIdentity> walking;

    void unreadable(const std::string& folder, int error) const {
        if (report != nullptr) report->unreadable.emplace_back(folder, std::strerror(error));
    }
};

// One entry of a folder as the listing needs it: its name, whether it is a folder (links followed) and, for a photo,
// what it leads to.
struct Entry {
    std::string name;
    bool folder = false;
    std::optional<FileIdentity> identity;
};

std::string childPath(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == '/' ? folder + name : folder + '/' + name;
}

void scan(const std::string& folder, Walk& walk) {
    // The folder is read through one descriptor; its entries are looked up relative to it. A plain file's type
    // comes with its name, so only a photo (for its identity) and a link or an entry of unknown type (for where it
    // leads) are looked up at all.
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) != 0) {
        walk.unreadable(folder, errno);
        if (fd >= 0) ::close(fd);
        return;
    }
    const FileIdentity key{status.st_dev, status.st_ino};
    if (walk.walking.count(key) > 0) {
        ::close(fd);
        return;
    }
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        walk.unreadable(folder, errno);
        ::close(fd);
        return;
    }
    walk.walking.insert(key);
    std::vector<Entry> entries;
    errno = 0;
    while (const dirent* item = ::readdir(dir)) {
        const std::string name = item->d_name;
        if (name == "." || name == "..") continue;
        Entry entry;
        entry.name = name;
        const bool photo = isListedPhotoName(name) || (walk.allTypes && isOtherPhotoName(name));
        const bool known = item->d_type != DT_UNKNOWN && item->d_type != DT_LNK;
        if (known && item->d_type == DT_DIR) {
            entry.folder = true;
        } else if (!known || photo) {
            bool folder = false;
            if (const auto identity = identityAt(fd, name, &folder)) {
                entry.folder = folder;
                if (!entry.folder) entry.identity = identity;
            }
        }
        entries.push_back(std::move(entry));
        errno = 0;
    }
    if (errno != 0) walk.unreadable(folder, errno);
    ::closedir(dir);
    // Byte order of the names, as the file system's own listing is in no useful order.
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    for (Entry& entry : entries) {
        const std::string path = childPath(folder, entry.name);
        if (entry.folder) {
            if (!walk.recurse) continue;
            // A run's destination inside its source holds the run's own copies: listing them would correct them
            // twice on the next run.
            if (walk.leaveOut && identityOf(path) == walk.leaveOut) {
                if (walk.report != nullptr) walk.report->leftOut = path;
                continue;
            }
            scan(path, walk);
            continue;
        }
        if (isListedPhotoName(entry.name) || (walk.allTypes && isOtherPhotoName(entry.name))) {
            walk.list.push_back(path);
            if (walk.identities != nullptr) walk.identities->push_back(entry.identity);
        } else if (walk.report != nullptr && isOtherPhotoName(entry.name)) {
            ++walk.report->otherTypes;
        }
    }
    walk.walking.erase(key);
}

}  // namespace

std::optional<FileIdentity> identityAt(int folderFd, const std::string& name, bool* isFolder) {
    struct statx status {};
    if (::statx(folderFd, name.c_str(), 0, STATX_TYPE | STATX_INO | STATX_BTIME, &status) != 0) return std::nullopt;
    if (isFolder != nullptr) *isFolder = S_ISDIR(status.stx_mode);
    FileIdentity identity{makedev(status.stx_dev_major, status.stx_dev_minor), status.stx_ino};
    if ((status.stx_mask & STATX_BTIME) != 0) {
        identity.birth = status.stx_btime.tv_sec * std::int64_t{1'000'000'000} + status.stx_btime.tv_nsec;
    }
    return identity;
}

std::optional<FileIdentity> identityOf(const std::string& path) {
    return identityAt(AT_FDCWD, path);
}

void scanFolderNative(const std::string& folder, bool recurse, std::vector<std::string>& list, ScanReport* report,
                      std::optional<FileIdentity> leaveOut, bool allTypes,
                      std::vector<std::optional<FileIdentity>>* identities) {
    Walk walk{recurse, allTypes, list, report, leaveOut, identities, {}};
    scan(folder, walk);
}

int openFolderBeneath(const std::string& destination, const std::string& relativeFolder, int& error,
                      std::string& where, bool create) {
    where = destination;
    std::error_code made;
    const char* const top = destination.empty() ? "." : destination.c_str();
    int fd = ::open(top, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // The destination itself is the user's choice, links and all; it is made when missing.
    if (fd < 0 && errno == ENOENT && !destination.empty() && create) {
        fs::create_directories(fs::path(destination), made);
        fd = ::open(top, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    if (fd < 0) {
        // Why it could not be made (a read-only disk, no permission) says more than that it is missing.
        error = errno == ENOENT && made ? made.value() : errno;
        return -1;
    }
    std::size_t start = 0;
    while (start < relativeFolder.size()) {
        std::size_t end = relativeFolder.find('/', start);
        if (end == std::string::npos) end = relativeFolder.size();
        const std::string part = relativeFolder.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".") continue;
        where = (fs::path(where) / part).native();
        if (part == "..") {
            error = EINVAL;
            ::close(fd);
            return -1;
        }
        int child = ::openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        // Made only when missing: a folder that stands there costs no failed mkdir for every photo.
        if (child < 0 && errno == ENOENT && create) {
            if (::mkdirat(fd, part.c_str(), 0777) != 0 && errno != EEXIST) {
                error = errno;
                ::close(fd);
                return -1;
            }
            child = ::openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        error = errno;
        ::close(fd);
        if (child < 0) {
            // A symbolic link answers ELOOP, or ENOTDIR when it leads to a file; either way it is not followed.
            struct stat entry {};
            if (error == ENOTDIR && ::lstat(where.c_str(), &entry) == 0 && S_ISLNK(entry.st_mode)) error = ELOOP;
            return -1;
        }
        fd = child;
    }
    return fd;
}

void scanFolder(const QString& folder, bool recurse, QStringList& list) {
    std::vector<std::string> native;
    scanFolderNative(encodePath(folder), recurse, native);
    for (const auto& path : native) list.append(decodePath(path));
}

std::uint32_t dosDateTimeFromCivil(int year, int month, int day, int hour, int minute, int second) {
    if (year < 1980 || year > 2107) return 0;
    const std::uint32_t date = (static_cast<std::uint32_t>(year - 1980) << 9) |
                               (static_cast<std::uint32_t>(month) << 5) | static_cast<std::uint32_t>(day);
    const std::uint32_t time = (static_cast<std::uint32_t>(hour) << 11) | (static_cast<std::uint32_t>(minute) << 5) |
                               static_cast<std::uint32_t>(second / 2);
    return (date << 16) | time;
}

std::uint32_t dosDateTimeFromDays(double days) {
    if (!std::isfinite(days)) return 0;
    // The shared decoder rounds to the millisecond before it splits the value, so 23:59:59.9999 is the next
    // midnight rather than the last second of the wrong day; the milliseconds then drop, as a file time has none.
    const meta::CivilDateTime civil = meta::decodeDateTime(days);
    return dosDateTimeFromCivil(civil.year, civil.month, civil.day, civil.hour, civil.minute, civil.second);
}

std::optional<std::time_t> timeFromDosDateTime(std::uint32_t dos) {
    if (dos == 0) return std::nullopt;
    std::tm tm{};
    tm.tm_year = static_cast<int>((dos >> 25) & 0x7F) + 80;
    tm.tm_mon = static_cast<int>((dos >> 21) & 0x0F) - 1;
    tm.tm_mday = static_cast<int>((dos >> 16) & 0x1F);
    tm.tm_hour = static_cast<int>((dos >> 11) & 0x1F);
    tm.tm_min = static_cast<int>((dos >> 5) & 0x3F);
    tm.tm_sec = static_cast<int>(dos & 0x1F) * 2;
    tm.tm_isdst = -1;  // file times are local wall-clock times; let the zone rules decide
    if (tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1 || tm.tm_hour > 23 || tm.tm_min > 59 || tm.tm_sec > 59) {
        return std::nullopt;
    }
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1)) return std::nullopt;
    return t;
}

std::uint32_t sourceFileDate(const std::string& nativePath) {
    struct stat st {};
    if (::stat(nativePath.c_str(), &st) != 0) return 0;
    return fileDateOf(st);
}

std::uint32_t fileDateOf(const struct stat& status) {
    if (S_ISDIR(status.st_mode)) return 0;
    std::tm local{};
    const std::time_t t = status.st_mtim.tv_sec;
    if (localtime_r(&t, &local) == nullptr) return 0;
    return dosDateTimeFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                                local.tm_sec);
}

std::uint32_t sourceFileDate(const QString& path) {
    return sourceFileDate(encodePath(path));
}

bool setFileDate(const QString& path, std::uint32_t dos) {
    const auto t = timeFromDosDateTime(dos);
    if (!t) return false;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;  // access time stays as it is
    times[1].tv_sec = *t;
    times[1].tv_nsec = 0;
    return ::utimensat(AT_FDCWD, encodePath(path).c_str(), times, 0) == 0;
}

}  // namespace morrowtide::app
