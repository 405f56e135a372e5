#include "app/file_list.h"
#include "app/native_path.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <QFile>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "meta/date_time.h"

namespace morrowtide::app {

namespace fs = std::filesystem;

bool isListedPhotoName(std::string_view name) {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos) return false;
    const std::string_view ext = name.substr(dot);
    return ext == ".JPG" || ext == ".jpg";
}

namespace {

struct FolderKey {
    dev_t device;
    ino_t inode;
    auto operator<=>(const FolderKey&) const = default;
};

std::optional<FolderKey> keyOf(const fs::path& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) return std::nullopt;
    return FolderKey{st.st_dev, st.st_ino};
}

void scan(const fs::path& folder, bool recurse, std::vector<std::string>& list, std::set<FolderKey>& walking) {
    const auto key = keyOf(folder);
    if (!key || walking.count(*key) > 0) return;
    walking.insert(*key);

    std::error_code ec;
    fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    if (ec) {
        walking.erase(*key);
        return;
    }
    std::vector<fs::directory_entry> entries;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        entries.push_back(*it);
    }
    // Byte order of the names, as the file system's own listing is in no useful order.
    std::sort(entries.begin(), entries.end(), [](const fs::directory_entry& a, const fs::directory_entry& b) {
        return a.path().filename().native() < b.path().filename().native();
    });
    for (const auto& entry : entries) {
        std::error_code typeError;
        if (entry.is_directory(typeError)) {
            if (recurse) scan(entry.path(), true, list, walking);
            continue;
        }
        if (isListedPhotoName(entry.path().filename().native())) list.push_back(entry.path().native());
    }
    walking.erase(*key);
}

}  // namespace

void scanFolderNative(const std::string& folder, bool recurse, std::vector<std::string>& list) {
    std::set<FolderKey> walking;
    scan(fs::path(folder), recurse, list, walking);
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
    if (::stat(nativePath.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return 0;
    std::tm local{};
    const std::time_t t = st.st_mtim.tv_sec;
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
