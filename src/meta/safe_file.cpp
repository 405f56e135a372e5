// SPDX-License-Identifier: GPL-3.0-or-later
#include "meta/safe_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

namespace morrowtide::meta {

namespace {

// One call to the system's generator: far cheaper per file than setting up a std::random_device. Should it fail,
// the clock still makes a collision unlikely, and a collision only costs a retry.
std::uint32_t randomNumber() {
    std::uint32_t value = 0;
    if (::getrandom(&value, sizeof value, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof value)) {
        value = static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    }
    return value;
}

// A hidden name beside the target, unlikely to collide; O_EXCL makes a collision a retry, never a clobber.
int openTemporaryIn(int folderFd, const std::string& targetName, std::string& tempName) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        // The base name is cut so that the decorations never push a long name over the file system's limit.
        tempName = "." + targetName.substr(0, 200) + "." + std::to_string(randomNumber()) + ".tmp";
        // 0666 before the umask: the new file gets the permissions any newly created file would get.
        const int fd = ::openat(folderFd, tempName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Up to `length` bytes of `fd` at `offset` appended to `bytes`, fewer only at the end of the file; the count read, or
// -1 with errno set (nothing appended).
std::int64_t readFully(int fd, std::int64_t offset, std::size_t length, std::string& bytes) {
    const std::size_t start = bytes.size();
    bytes.resize(start + length);
    std::size_t got = 0;
    while (got < length) {
        const ssize_t n = ::pread(fd, bytes.data() + start + got, length - got,
                                  static_cast<off_t>(offset) + static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            bytes.resize(start);
            errno = error;
            return -1;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(start + got);
    return static_cast<std::int64_t>(got);
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// Gives the unnamed file `fd` the name `name` in `folderFd`; fails with EEXIST when the name is taken.
int linkUnnamed(int fd, int folderFd, const std::string& name) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), folderFd, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
    if (errno != ENOENT) return -1;
    // No /proc: the direct form, which needs a privilege the program may lack.
    return ::linkat(fd, "", folderFd, name.c_str(), AT_EMPTY_PATH);
}

// Renames without replacing; EEXIST when the name is taken. Where the file system knows no such rename, a hard
// link followed by removing the old name does the same.
int renameNoReplace(int folderFd, const std::string& from, const std::string& to) {
    if (::renameat2(folderFd, from.c_str(), folderFd, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    if (::linkat(folderFd, from.c_str(), folderFd, to.c_str(), 0) != 0) return -1;
    ::unlinkat(folderFd, from.c_str(), 0);
    return 0;
}

std::string cannotReadMessage(const std::string& path, int error) {
    return "Cannot read file \"" + path + "\". " + std::strerror(error);
}

constexpr std::size_t kCopyBufferSize = std::size_t{1} << 16;
// The most one copy_file_range call is asked for; the kernel caps a single call near 2 GB anyway.
constexpr std::int64_t kKernelCopyStep = std::int64_t{1} << 30;

}  // namespace

int SourceFile::open(const std::string& path) {
    close();
    // Non-blocking, so that a FIFO named like a photo does not wait for a writer; it is refused below anyway.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return errno;
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return EINVAL;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    fd_ = fd;
    path_ = path;
    size_ = static_cast<std::int64_t>(info.st_size);
    modified_ = info.st_mtim;
    status_ = info;
    return 0;
}

void SourceFile::close() noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    path_.clear();
    size_ = 0;
    modified_ = {};
    status_ = {};
}

std::int64_t SourceFile::readAt(std::int64_t offset, std::size_t length, std::string& bytes) const {
    if (fd_ < 0) {
        errno = EBADF;
        return -1;
    }
    return readFully(fd_, offset, length, bytes);
}

bool SourceFile::unchanged() const {
    struct stat info {};
    if (fd_ < 0 || ::fstat(fd_, &info) != 0) return false;
    return static_cast<std::int64_t>(info.st_size) == size_ && info.st_mtim.tv_sec == modified_.tv_sec &&
           info.st_mtim.tv_nsec == modified_.tv_nsec;
}

std::string cannotCreateMessage(const std::string& path, int error) {
    return "Cannot create file \"" + path + "\". " + std::strerror(error);
}

bool isTemporaryName(std::string_view name) {
    constexpr std::string_view kEnd = ".tmp";
    if (name.size() < 1 + 1 + 1 + 1 + kEnd.size() || name.front() != '.' || !name.ends_with(kEnd)) return false;
    name.remove_suffix(kEnd.size());
    const std::size_t dot = name.rfind('.');
    // The part between the first and the last dot is the target's name, cut to 200 bytes.
    if (dot == std::string_view::npos || dot < 2 || dot - 1 > 200) return false;
    const std::string_view digits = name.substr(dot + 1);
    if (digits.empty() || digits.size() > 10 || (digits.size() > 1 && digits.front() == '0')) return false;
    std::uint64_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value <= UINT32_MAX;
}

int removeStaleTemporaries(int folderFd, const timespec& olderThan) {
    const auto before = [&olderThan](const timespec& t) {
        return t.tv_sec < olderThan.tv_sec || (t.tv_sec == olderThan.tv_sec && t.tv_nsec < olderThan.tv_nsec);
    };
    // A descriptor of its own: reading the folder moves its position, which the caller's must not share.
    const int listFd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0) return 0;
    DIR* folder = ::fdopendir(listFd);
    if (folder == nullptr) {
        ::close(listFd);
        return 0;
    }
    int removed = 0;
    const uid_t self = ::geteuid();
    while (const dirent* entry = ::readdir(folder)) {
        if (!isTemporaryName(entry->d_name)) continue;
        struct stat info {};
        if (::fstatat(listFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        // Both times: a file being written changes its content, and one about to be published gets its file time
        // set (often years back), which changes its status.
        if (!S_ISREG(info.st_mode) || info.st_uid != self || !before(info.st_mtim) || !before(info.st_ctim)) continue;
        if (::unlinkat(listFd, entry->d_name, 0) == 0) ++removed;
    }
    ::closedir(folder);
    return removed;
}

StaleTemporarySweep::StaleTemporarySweep() : StaleTemporarySweep([] {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return now;
}()) {}

StaleTemporarySweep::StaleTemporarySweep(const timespec& runStart) : olderThan_(runStart) {
    olderThan_.tv_sec -= 2;
}

void StaleTemporarySweep::sweepOnce(int folderFd) {
    struct stat folder {};
    if (::fstat(folderFd, &folder) != 0) return;
    const std::lock_guard lock(mutex_);
    if (!swept_.insert({folder.st_dev, folder.st_ino}).second) return;
    removeStaleTemporaries(folderFd, olderThan_);
}

std::string shrankWhileReadMessage(const std::string& path) {
    return "Cannot read file \"" + path + "\". The file got shorter while it was being read: another program changed it.";
}

std::string streamWriteMessage(const std::string& path, int error) {
    return "Stream write error in \"" + path + "\". " + std::strerror(error);
}

OutputTarget::OutputTarget(std::string fullPath) : path(std::move(fullPath)), name(path) {}

SafeFileWriter::SafeFileWriter(OutputTarget target, UnnamedFiles unnamed) : target_(std::move(target)) {
    const auto fail = [this](int error) { throw WriteError(cannotCreateMessage(target_.path, error)); };
    if (target_.folder < 0) {
        const std::filesystem::path full(target_.path);
        folderPath_ = full.parent_path().string();
        target_.name = full.filename().string();
        folderFd_ = ::open(folderPath_.empty() ? "." : folderPath_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } else {
        folderPath_ = std::filesystem::path(target_.path).parent_path().string();
        folderFd_ = ::fcntl(target_.folder, F_DUPFD_CLOEXEC, 0);
    }
    if (folderFd_ < 0) fail(errno);
    if (target_.replace && target_.followLink) {
        // The file behind a symbolic link is what the user means: its folder gets the new file, the link stays.
        struct stat link {};
        if (::fstatat(folderFd_, target_.name.c_str(), &link, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(link.st_mode)) {
            char resolved[PATH_MAX];
            const std::string through = "/proc/self/fd/" + std::to_string(folderFd_) + "/" + target_.name;
            if (::realpath(through.c_str(), resolved) == nullptr) fail(errno);
            const std::filesystem::path real(resolved);
            const int realFolder = ::open(real.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (realFolder < 0) fail(errno);
            ::close(folderFd_);
            folderFd_ = realFolder;
            folderPath_ = real.parent_path().string();
            target_.name = real.filename().string();
            target_.path = real.string();
        }
    }
    if (unnamed == UnnamedFiles::WhereAvailable) fd_ = ::openat(folderFd_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        // Not every file system (or kernel) has unnamed files.
        fd_ = openTemporaryIn(folderFd_, target_.name, tempName_);
        if (fd_ < 0) {
            const int error = errno;
            tempName_.clear();
            fail(error);
        }
        tempPath_ = joinPath(folderPath_, tempName_);
    }
}

SafeFileWriter::SafeFileWriter(SafeFileWriter&& other) noexcept
    : target_(std::move(other.target_)),
      folderPath_(std::move(other.folderPath_)),
      folderFd_(std::exchange(other.folderFd_, -1)),
      tempName_(std::exchange(other.tempName_, {})),
      tempPath_(std::exchange(other.tempPath_, {})),
      fd_(std::exchange(other.fd_, -1)),
      committed_(std::exchange(other.committed_, true)),
      prepared_(other.prepared_),
      replacing_(other.replacing_) {}

void PublishGroup::hold(SafeFileWriter&& file) {
    auto held = std::make_unique<SafeFileWriter>(std::move(file));
    const std::lock_guard lock(mutex_);
    held_.push_back(std::move(held));
}

void PublishGroup::discardAll() noexcept {
    const std::lock_guard lock(mutex_);
    held_.clear();
}

std::vector<std::string> PublishGroup::publishAll(const MoveOn& moveOn) {
    std::vector<std::unique_ptr<SafeFileWriter>> held;
    {
        const std::lock_guard lock(mutex_);
        held = std::move(held_);
        held_.clear();
    }
    // Members end their writing in any order; they are named in one.
    std::sort(held.begin(), held.end(), [](const auto& a, const auto& b) { return a->path() < b->path(); });
    // Everything slow (flushing a file that replaces another, say) is done for every file before the first is named:
    // the names then follow one another within moments.
    for (const auto& file : held) file->prepare();
    std::vector<bool> named(held.size(), false);
    int attempts = 0;
    for (;;) {
        std::size_t taken = held.size();
        for (std::size_t i = 0; i < held.size() && taken == held.size(); ++i) {
            if (!named[i]) {
                named[i] = held[i]->commitUnlessTaken(false);
                if (!named[i]) taken = i;
            }
        }
        if (taken == held.size()) break;
        // All move on to the group's next name, the files named so far too; where one of those finds its new name
        // taken as well, all move on once more.
        for (bool moved = false; !moved;) {
            std::vector<std::string> names;
            for (const auto& file : held) names.push_back(file->name());
            if (++attempts > 100 || !moveOn || !moveOn(names) || names.size() != held.size()) {
                throw WriteError(cannotCreateMessage(held[taken]->path(), EEXIST));
            }
            moved = true;
            for (std::size_t i = 0; i < held.size(); ++i) moved = held[i]->rename(names[i]) && moved;
        }
    }
    std::vector<std::string> paths;
    for (const auto& file : held) {
        file->syncFolder();
        paths.push_back(file->path());
    }
    return paths;
}

bool SafeFileWriter::rename(const std::string& name) {
    if (committed_ && fd_ < 0 && folderFd_ >= 0) {
        if (renameNoReplace(folderFd_, target_.name, name) != 0) return false;
    }
    target_.path = joinPath(folderPath_, name);
    target_.name = name;
    return true;
}

SafeFileWriter::~SafeFileWriter() {
    if (!committed_) discard();
    if (folderFd_ >= 0) ::close(folderFd_);
}

void SafeFileWriter::discard() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!tempName_.empty()) {
        ::unlinkat(folderFd_, tempName_.c_str(), 0);
        tempName_.clear();
        tempPath_.clear();
    }
}

void SafeFileWriter::failWrite(int error) {
    throw WriteError(streamWriteMessage(target_.path, error));
}

void SafeFileWriter::write(std::string_view bytes) {
    if (fd_ < 0) failWrite(EBADF);
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) failWrite(written == 0 ? ENOSPC : errno);
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

void SafeFileWriter::writeAt(std::int64_t offset, std::string_view bytes) {
    if (fd_ < 0 || offset < 0) failWrite(EBADF);
    while (!bytes.empty()) {
        const ssize_t written = ::pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) failWrite(written == 0 ? ENOSPC : errno);
        bytes.remove_prefix(static_cast<std::size_t>(written));
        offset += written;
    }
}

std::int64_t SafeFileWriter::readAt(std::int64_t offset, std::size_t length, std::string& bytes) const {
    if (fd_ < 0 || offset < 0) throw WriteError(streamWriteMessage(target_.path, EBADF));
    const std::int64_t got = readFully(fd_, offset, length, bytes);
    if (got < 0) throw WriteError(streamWriteMessage(target_.path, errno));
    return got;
}

void SafeFileWriter::copyFrom(const SourceFile& source, std::int64_t offset, std::int64_t length,
                              const KernelCopy& kernelCopy) {
    if (fd_ < 0 || !source.isOpen() || offset < 0 || length < 0) failWrite(EBADF);
    const struct stat& status = source.status();
    if (static_cast<std::int64_t>(status.st_blocks) * 512 < static_cast<std::int64_t>(status.st_size)) {
        copySparse(source, offset, length, kernelCopy);
    } else {
        copyRange(source, offset, length, kernelCopy);
    }
}

void SafeFileWriter::copyRange(const SourceFile& source, std::int64_t offset, std::int64_t length,
                               const KernelCopy& kernelCopy) {
    off_t from = static_cast<off_t>(offset);
    std::int64_t left = length;
    // The kernel copies without the bytes passing through this process. It may refuse (EXDEV, ENOSYS, EINVAL, ...)
    // or stop short; whatever is left then goes through the loop below, which has the last word on errors.
    while (left > 0) {
        const auto step = static_cast<std::size_t>(std::min(left, kKernelCopyStep));
        const ssize_t copied = kernelCopy ? kernelCopy(source.fd(), &from, fd_, step)
                                          : ::copy_file_range(source.fd(), &from, fd_, nullptr, step, 0);
        if (copied < 0 && errno == EINTR) continue;
        if (copied <= 0 || static_cast<std::size_t>(copied) > step) break;
        left -= copied;
    }
    std::string buffer;
    while (left > 0) {
        buffer.clear();
        const auto wanted = static_cast<std::size_t>(std::min<std::int64_t>(left, kCopyBufferSize));
        const std::int64_t got = source.readAt(static_cast<std::int64_t>(from), wanted, buffer);
        if (got < 0) throw WriteError(cannotReadMessage(source.path(), errno));
        // An early end: the source shrank since it was opened, and the copy would be incomplete.
        if (got == 0) throw WriteError(shrankWhileReadMessage(source.path()));
        write(buffer);
        from += static_cast<off_t>(buffer.size());
        left -= static_cast<std::int64_t>(buffer.size());
    }
}

void SafeFileWriter::copySparse(const SourceFile& source, std::int64_t offset, std::int64_t length,
                                const KernelCopy& kernelCopy) {
    const off_t end = static_cast<off_t>(offset + length);
    off_t at = static_cast<off_t>(offset);
    while (at < end) {
        off_t data = ::lseek(source.fd(), at, SEEK_DATA);
        if (data < 0 && errno == ENXIO) {
            // Nothing but a hole up to the source's end, unless the source has shrunk below the end meanwhile.
            struct stat now {};
            if (::fstat(source.fd(), &now) != 0) throw WriteError(cannotReadMessage(source.path(), errno));
            if (now.st_size < end) throw WriteError(shrankWhileReadMessage(source.path()));
            data = end;
        } else if (data < 0) {
            // A file system that cannot tell its holes: the rest byte by byte.
            copyRange(source, at, end - at, kernelCopy);
            return;
        }
        data = std::min(data, end);
        // A hole is skipped in the copy as well, which leaves it a hole there.
        if (data > at && ::lseek(fd_, data - at, SEEK_CUR) < 0) failWrite(errno);
        if (data == end) break;
        off_t hole = ::lseek(source.fd(), data, SEEK_HOLE);
        if (hole < 0) hole = end;
        hole = std::min(hole, end);
        copyRange(source, data, hole - data, kernelCopy);
        at = hole;
    }
    // A hole at the end: the copy gets its length without a byte written there.
    const off_t written = ::lseek(fd_, 0, SEEK_CUR);
    struct stat copy {};
    if (written < 0 || ::fstat(fd_, &copy) != 0) failWrite(errno);
    if (copy.st_size < written && ::ftruncate(fd_, written) != 0) failWrite(errno);
}

void SafeFileWriter::prepareReplacement(const struct stat& replaced) {
    const auto refuse = [this](const std::string& reason) {
        throw WriteError("Cannot create file \"" + target_.path + "\". " + reason);
    };
    if (S_ISREG(replaced.st_mode)) {
        // Replacing needs only the folder's permission; the file's own says whether the user may change it.
        if (::faccessat(folderFd_, target_.name.c_str(), W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) != 0) {
            refuse(std::strerror(errno));
        }
        // A new file under this name would leave the other names with the old content: split, not corrected.
        if (replaced.st_nlink > 1) {
            refuse("It has " + std::to_string(replaced.st_nlink - 1) +
                   " other hard link(s), which would go on showing the old version; it was left unchanged");
        }
        // Owner and group first: changing them clears the set-user-ID bits the mode then puts back. Either may be
        // refused to a user who does not own the file; the group alone may still be allowed.
        if (::fchown(fd_, replaced.st_uid, replaced.st_gid) != 0) {
            ::fchown(fd_, static_cast<uid_t>(-1), replaced.st_gid);
        }
        ::fchmod(fd_, replaced.st_mode & 07777);
    }
}

bool SafeFileWriter::publishNew() {
    for (;;) {
        const int result = tempName_.empty() ? linkUnnamed(fd_, folderFd_, target_.name)
                                             : renameNoReplace(folderFd_, tempName_, target_.name);
        if (result == 0) return true;
        const int error = errno;
        // Someone else (another run) took the name meanwhile: theirs stays, this file moves on to the next name.
        if (error != EEXIST || !target_.nextName || !target_.nextName(target_)) {
            if (error == EEXIST) return false;
            throw WriteError(cannotCreateMessage(target_.path, error));
        }
    }
}

void SafeFileWriter::commit() {
    if (!commitUnlessTaken()) throw WriteError(cannotCreateMessage(target_.path, EEXIST));
}

bool SafeFileWriter::commitUnlessTaken(bool syncFolder) {
    if (fd_ < 0 || committed_) failWrite(EBADF);
    if (target_.group != nullptr) {
        // Named later, with the rest of its group.
        PublishGroup* group = std::exchange(target_.group, nullptr);
        group->hold(std::move(*this));
        return true;
    }
    prepare();
    if (target_.replace) {
        if (::renameat(folderFd_, tempName_.c_str(), folderFd_, target_.name.c_str()) != 0) {
            throw WriteError(cannotCreateMessage(target_.path, errno));
        }
    } else if (!publishNew()) {
        return false;
    }
    tempName_.clear();
    tempPath_.clear();
    // A full disk may only show at the close; the file is complete on disk by now or the flush would have said so.
    if (::close(fd_) != 0 && !replacing_) {
        const int error = errno;
        fd_ = -1;
        ::unlinkat(folderFd_, target_.name.c_str(), 0);
        failWrite(error);
    }
    fd_ = -1;
    committed_ = true;
    if (syncFolder) this->syncFolder();
    return true;
}

void SafeFileWriter::syncFolder() {
    // Make the replacement itself durable; a failure here no longer endangers either file.
    if (committed_ && replacing_ && folderFd_ >= 0) ::fsync(folderFd_);
}

void SafeFileWriter::prepare() {
    if (prepared_) return;
    if (fd_ < 0 || committed_) failWrite(EBADF);
    struct stat existing {};
    replacing_ = target_.replace && ::fstatat(folderFd_, target_.name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
    if (replacing_) prepareReplacement(existing);
    if (target_.modified) {
        const timespec times[2] = {{0, UTIME_OMIT}, *target_.modified};
        ::futimens(fd_, times);  // a time that cannot be set leaves the time of writing
    }
    // Only a rename over an existing file can lose data in a crash (the old content gone, the new one not yet on
    // disk), so only then is the content flushed first. A new name costs no flush: a crash can at worst lose the
    // new file, as with any copy, and a batch of new files runs at copying speed.
    if (replacing_ && ::fsync(fd_) != 0) failWrite(errno);
    if (target_.replace && tempName_.empty()) {
        // An unnamed file can only be linked to a free name; it is renamed over the old file from there.
        for (int attempt = 0;; ++attempt) {
            tempName_ = "." + target_.name.substr(0, 200) + "." + std::to_string(randomNumber()) + ".tmp";
            if (linkUnnamed(fd_, folderFd_, tempName_) == 0) break;
            const int error = errno;
            tempName_.clear();
            if (error != EEXIST || attempt == 15) throw WriteError(cannotCreateMessage(target_.path, error));
        }
        tempPath_ = joinPath(folderPath_, tempName_);
    }
    prepared_ = true;
}

}  // namespace morrowtide::meta
