#include "meta/safe_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>

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

int openTemporaryBeside(const std::string& path, std::string& tempPath) {
    const std::filesystem::path target(path);
    const std::filesystem::path folder = target.parent_path();
    // Hidden and unlikely to collide; O_EXCL makes a collision a retry, never a clobber.
    for (int attempt = 0; attempt < 16; ++attempt) {
        // The base name is cut so that the decorations never push a long name over the file system's limit.
        const std::string name =
            "." + target.filename().string().substr(0, 200) + "." + std::to_string(randomNumber()) + ".tmp";
        tempPath = (folder / name).string();
        // 0666 before the umask: the new file gets the permissions any newly created file would get.
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
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
    return 0;
}

void SourceFile::close() noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    path_.clear();
    size_ = 0;
    modified_ = {};
}

std::int64_t SourceFile::readAt(std::int64_t offset, std::size_t length, std::string& bytes) const {
    if (fd_ < 0) {
        errno = EBADF;
        return -1;
    }
    const std::size_t start = bytes.size();
    bytes.resize(start + length);
    std::size_t got = 0;
    while (got < length) {
        const ssize_t n = ::pread(fd_, bytes.data() + start + got, length - got,
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

bool SourceFile::unchanged() const {
    struct stat info {};
    if (fd_ < 0 || ::fstat(fd_, &info) != 0) return false;
    return static_cast<std::int64_t>(info.st_size) == size_ && info.st_mtim.tv_sec == modified_.tv_sec &&
           info.st_mtim.tv_nsec == modified_.tv_nsec;
}

std::string cannotCreateMessage(const std::string& path, int error) {
    return "Cannot create file \"" + path + "\". " + std::strerror(error);
}

SafeFileWriter::SafeFileWriter(std::string path) : path_(std::move(path)) {
    fd_ = openTemporaryBeside(path_, tempPath_);
    if (fd_ < 0) {
        const int error = errno;
        tempPath_.clear();
        throw WriteError(cannotCreateMessage(path_, error));
    }
}

SafeFileWriter::~SafeFileWriter() {
    if (!committed_) discard();
}

void SafeFileWriter::discard() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
}

void SafeFileWriter::write(std::string_view bytes) {
    if (fd_ < 0) throw WriteError("Stream write error");
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) throw WriteError("Stream write error");
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

void SafeFileWriter::writeAt(std::int64_t offset, std::string_view bytes) {
    if (fd_ < 0 || offset < 0) throw WriteError("Stream write error");
    while (!bytes.empty()) {
        const ssize_t written = ::pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) throw WriteError("Stream write error");
        bytes.remove_prefix(static_cast<std::size_t>(written));
        offset += written;
    }
}

void SafeFileWriter::copyFrom(const SourceFile& source, std::int64_t offset, std::int64_t length,
                              const KernelCopy& kernelCopy) {
    if (fd_ < 0 || !source.isOpen() || offset < 0 || length < 0) throw WriteError("Stream write error");
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
        // An early end means the source shrank; either way the copy is incomplete.
        if (source.readAt(static_cast<std::int64_t>(from), wanted, buffer) <= 0) throw WriteError("Stream write error");
        write(buffer);
        from += static_cast<off_t>(buffer.size());
        left -= static_cast<std::int64_t>(buffer.size());
    }
}

void SafeFileWriter::commit() {
    if (fd_ < 0 || committed_) throw WriteError("Stream write error");
    // Only a rename over an existing file can lose data in a crash (the old content gone, the new one not yet on
    // disk), so only then is the content flushed first. A new name costs no flush: a crash can at worst lose the
    // new file, as with any copy, and a batch of new files runs at copying speed.
    struct stat existing {};
    const bool replacing = ::lstat(path_.c_str(), &existing) == 0;
    // A full disk may only show at the flush or the close; both count as a failed write.
    const bool flushed = !replacing || ::fsync(fd_) == 0;
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    if (!flushed || !closed) {
        discard();
        throw WriteError("Stream write error");
    }
    if (::rename(tempPath_.c_str(), path_.c_str()) != 0) {
        const int error = errno;
        discard();
        throw WriteError(cannotCreateMessage(path_, error));
    }
    tempPath_.clear();
    committed_ = true;
    if (!replacing) return;
    // Make the replacement itself durable; a failure here no longer endangers either file.
    const std::filesystem::path folder = std::filesystem::path(path_).parent_path();
    const int dirFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

}  // namespace morrowtide::meta
