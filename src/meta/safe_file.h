// Replacing a file without ever leaving it half-written: the new content goes to a temporary file in the same
// folder and only then is renamed over the destination; when a file stands there, the content is flushed to disk
// before the rename. Until commit() succeeds, whatever stood at the destination (possibly the very file the content
// was read from) is left as it was.
#pragma once

#include <sys/types.h>
#include <time.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace morrowtide::meta {

// Carries the user-facing message of a failed write ("Cannot create file ...", "Stream write error").
class WriteError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The kernel's file-to-file copy: copies up to `length` bytes from `from` at *fromOffset (advanced by what was
// copied) to `to` at its file position; answers the count copied, 0 at the end of `from`, or -1 with errno set.
// copy_file_range unless a test puts its own in place to exercise the fallback.
using KernelCopy = std::function<ssize_t(int from, off_t* fromOffset, int to, std::size_t length)>;

// A source file held open from the moment its first bytes are read until its copy is written, with the size and
// modification time it had then. Whatever becomes of the path meanwhile, the descriptor keeps reading the same file.
class SourceFile {
  public:
    SourceFile() = default;
    ~SourceFile() { close(); }
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    // Opens a regular file for reading and records its size and modification time. Answers 0, or the errno value
    // of the failure (EINVAL for anything but a regular file, which is never read: a FIFO could block for ever).
    int open(const std::string& path);
    void close() noexcept;
    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    // As recorded by open().
    std::int64_t size() const { return size_; }

    // Reads up to `length` bytes at `offset` into `bytes` (appended); answers the count read, fewer only at the end
    // of the file, or -1 with errno set.
    std::int64_t readAt(std::int64_t offset, std::size_t length, std::string& bytes) const;
    // True while the file still has the size and modification time open() recorded.
    bool unchanged() const;

  private:
    int fd_ = -1;
    std::string path_;
    std::int64_t size_ = 0;
    timespec modified_{};
};

class SafeFileWriter {
  public:
    // Creates the temporary file next to `path`. Throws WriteError "Cannot create file "<path>". <reason>".
    explicit SafeFileWriter(std::string path);
    // Without a successful commit() the temporary file is removed.
    ~SafeFileWriter();
    SafeFileWriter(const SafeFileWriter&) = delete;
    SafeFileWriter& operator=(const SafeFileWriter&) = delete;

    // Throws WriteError "Stream write error" when the bytes cannot all be written.
    void write(std::string_view bytes);
    // Overwrites the content from `offset` on with `bytes` (the file position stays). Throws like write().
    void writeAt(std::int64_t offset, std::string_view bytes);
    // Appends `length` bytes of `source` from `offset` on, copied by the kernel, through a read and write loop where
    // the kernel copy is refused (another file system, an old kernel) or falls short. Throws WriteError "Stream write
    // error" when the bytes cannot all be copied, the source's end coming early included.
    void copyFrom(const SourceFile& source, std::int64_t offset, std::int64_t length,
                  const KernelCopy& kernelCopy = {});
    // Flushes the content to disk and puts it in place of `path`. Throws WriteError "Stream write error" when the
    // flush fails and "Cannot create file "<path>". <reason>" when the rename fails; either way `path` is untouched.
    void commit();

    const std::string& path() const { return path_; }
    const std::string& temporaryPath() const { return tempPath_; }

  private:
    void discard() noexcept;

    std::string path_;
    std::string tempPath_;
    int fd_ = -1;
    bool committed_ = false;
};

// The message of a file that cannot be created, with the system's reason for errno value `error`.
std::string cannotCreateMessage(const std::string& path, int error);

}  // namespace morrowtide::meta
