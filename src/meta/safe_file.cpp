#include "meta/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

namespace morrowtide::meta {

namespace {

int openTemporaryBeside(const std::string& path, std::string& tempPath) {
    const std::filesystem::path target(path);
    const std::filesystem::path folder = target.parent_path();
    // Hidden and unlikely to collide; O_EXCL makes a collision a retry, never a clobber.
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        // The base name is cut so that the decorations never push a long name over the file system's limit.
        const std::string name =
            "." + target.filename().string().substr(0, 200) + "." + std::to_string(random()) + ".tmp";
        tempPath = (folder / name).string();
        // 0666 before the umask: the new file gets the permissions any newly created file would get.
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

}  // namespace

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
