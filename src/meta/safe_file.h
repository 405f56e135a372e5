// SPDX-License-Identifier: GPL-3.0-or-later
// Writing a file without ever leaving it half-written: the new content goes to an unnamed (or hidden temporary) file
// in the same folder and only then gets its name; when a file stands there and is to be replaced, the content is
// flushed to disk first. A name is never taken from a file that was not meant to be replaced. Until commit()
// succeeds, whatever stood at the destination (possibly the very file the content was read from) is left as it was.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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
    // The file's status as open() took it (device, inode, size, times): the one look-up a source gets.
    const struct stat& status() const { return status_; }

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
    struct stat status_ {};
};

class PublishGroup;

// Where a written file is put, and whether it may take the place of a file that stands there.
struct OutputTarget {
    // A target named by its path: the folder is found through the path (symbolic links followed) and a file of
    // that name is replaced.
    OutputTarget(std::string path);  // NOLINT(google-explicit-constructor): a path is the common case

    std::string path;        // the full path, as messages name it
    int folder = -1;         // the open folder the name lives in; -1: the folder of `path`
    std::string name;        // the name in `folder` (the last part of `path` when `folder` is -1)
    bool replace = true;     // an existing file of that name is meant to be replaced
    // When replacing and the name is a symbolic link to a file, that file is replaced and the link stays.
    bool followLink = false;
    // Given the name that turned out to be taken (replace off), sets path and name to the next name to try;
    // false to give up. Without it a taken name fails the write.
    std::function<bool(OutputTarget&)> nextName;
    // The last-modification time the file gets before it appears under its name; none: the time of writing.
    std::optional<timespec> modified;
    // Set: commit() gives the file no name yet but hands it, complete, to the group, which names all its files at
    // once (see PublishGroup).
    PublishGroup* group = nullptr;
};

// Whether the writer may create its file unnamed. Only tests say Never, to take the hidden-name path a file system
// without unnamed files (FUSE, network shares, FAT cards) takes.
enum class UnnamedFiles { WhereAvailable, Never };

class SafeFileWriter {
  public:
    // Creates the new file unnamed in the target's folder where the file system allows it (a killed program then
    // leaves nothing behind), else under a hidden temporary name beside it (".<name>.<digits>.tmp", which a later
    // run removes: StaleTemporarySweep). Throws WriteError "Cannot create file "<path>". <reason>".
    explicit SafeFileWriter(OutputTarget target, UnnamedFiles unnamed = UnnamedFiles::WhereAvailable);
    // Without a successful commit() the new file is removed.
    ~SafeFileWriter();
    SafeFileWriter(const SafeFileWriter&) = delete;
    SafeFileWriter& operator=(const SafeFileWriter&) = delete;
    // Takes the file over; `other` is left with nothing to commit or discard.
    SafeFileWriter(SafeFileWriter&& other) noexcept;
    SafeFileWriter& operator=(SafeFileWriter&&) = delete;

    // Throws WriteError (streamWriteMessage) when the bytes cannot all be written.
    void write(std::string_view bytes);
    // Overwrites the content from `offset` on with `bytes` (the file position stays). Throws like write().
    void writeAt(std::int64_t offset, std::string_view bytes);
    // Reads back up to `length` bytes written at `offset` into `bytes` (appended); answers the count read. Throws
    // like write() when they cannot be read.
    std::int64_t readAt(std::int64_t offset, std::size_t length, std::string& bytes) const;
    // Appends `length` bytes of `source` from `offset` on, copied by the kernel, through a read and write loop where
    // the kernel copy is refused (another file system, an old kernel) or falls short. A sparse source (fewer blocks
    // on disk than its size needs) has only its data copied: its holes stay holes in the copy. Throws like write()
    // when the bytes cannot all be written; a source that cannot be read, or that ends early, throws WriteError
    // "Cannot read file "<source>". <reason>".
    void copyFrom(const SourceFile& source, std::int64_t offset, std::int64_t length,
                  const KernelCopy& kernelCopy = {});
    // The same, answering false instead of throwing when the name turned out to be taken (replace off, and no
    // nextName); the file is then still unnamed and can be given another name with rename().
    // `syncFolder` false leaves the folder's flush after a replacement to syncFolder(), so that a group's names
    // follow one another within moments.
    bool commitUnlessTaken(bool syncFolder = true);
    void syncFolder();
    // Sets the name the file is to get (before it is named), or renames the named file, in the same folder. False
    // when the named file's new name is taken: it keeps its name then.
    bool rename(const std::string& name);
    // Everything of commit() but the naming itself: the file's time, its flush and its hidden name where it is to
    // replace another. A group does this for every file before it names the first.
    void prepare();
    // Gives the file its name. A file that stands there is replaced only when the target says so; it then passes
    // its permission bits and, where allowed, its owner and group on, and the content is flushed to disk first.
    // A file to replace that the user may not write, or that has other hard links (which would go on showing the
    // old content), is refused. Without replace, a taken name moves on through the target's nextName. Throws
    // WriteError; whatever stood at the name is then untouched.
    void commit();

    // The path the file was (or is to be) published under, and its name in its folder.
    const std::string& path() const { return target_.path; }
    const std::string& name() const { return target_.name; }
    // The hidden temporary name, empty while the file is unnamed.
    const std::string& temporaryPath() const { return tempPath_; }

  private:
    void discard() noexcept;
    [[noreturn]] void failWrite(int error);
    // copyFrom's two ways: every byte, and the data extents of a sparse source.
    void copyRange(const SourceFile& source, std::int64_t offset, std::int64_t length, const KernelCopy& kernelCopy);
    void copySparse(const SourceFile& source, std::int64_t offset, std::int64_t length, const KernelCopy& kernelCopy);
    void prepareReplacement(const struct stat& replaced);
    bool publishNew();

    OutputTarget target_;
    std::string folderPath_;  // for the temporary file's path in messages
    int folderFd_ = -1;
    std::string tempName_;  // in folderFd_; empty for an unnamed file
    std::string tempPath_;
    int fd_ = -1;
    bool committed_ = false;
    bool prepared_ = false;   // prepare() done: only the naming is left
    bool replacing_ = false;  // ... and the name has a file to replace
};

// Files written apart that appear together or not at all (a raw file, its JPEG and its sidecar): each is written
// completely first, then all are named one after the other. Whatever is not published when the group goes is
// discarded and leaves nothing behind.
class PublishGroup {
  public:
    // A complete file, not yet named (what SafeFileWriter::commit() hands over when its target names this group).
    // Members may be written on several threads at once.
    void hold(SafeFileWriter&& file);
    std::size_t size() const { return held_.size(); }
    // Given the names the group's files stand to get (in the folder each is written in), sets each to the name it is
    // to get instead, all moved on together; false to give up.
    using MoveOn = std::function<bool(std::vector<std::string>& names)>;
    // Names every file held, in the order of their paths; the paths they were published under. Where another program
    // took one of the names meanwhile, `moveOn` gives all of them new ones and the files already named move to
    // theirs: the group never ends up under two names. Throws the first WriteError; the files not named by then are
    // discarded.
    std::vector<std::string> publishAll(const MoveOn& moveOn = {});
    // Forgets every file held: none of them appears.
    void discardAll() noexcept;

  private:
    std::mutex mutex_;
    std::vector<std::unique_ptr<SafeFileWriter>> held_;
};

// True for a name SafeFileWriter gives its hidden temporary files: "." + a name of 1 to 200 bytes + "." + a
// decimal 32-bit number without leading zeros + ".tmp".
bool isTemporaryName(std::string_view name);

// Removes from the open folder the hidden temporary files a killed program left there: regular files of this user
// with a temporary name (isTemporaryName) whose content and status both last changed before `olderThan`. Nothing
// else is touched, and a file that cannot be looked at or removed is left as it is. Answers the count removed.
int removeStaleTemporaries(int folderFd, const timespec& olderThan);

// One run's removal of stale temporary files: each folder it writes to once, the first time. Every folder, whether
// its file system has unnamed files or not: a replacement gives its unnamed file such a name for a moment, and a
// card may have been written through a mount without them before. Files changed in the last two seconds before the
// run started are kept too, since FAT cards keep file times in steps of two seconds and one of this run's, or of a
// run started just after, could otherwise look older.
class StaleTemporarySweep {
  public:
    StaleTemporarySweep();  // the run starts now
    explicit StaleTemporarySweep(const timespec& runStart);

    // Sweeps the open folder unless this run swept it before. Safe from several threads; a folder being swept makes
    // the others wait, so no file of this run is created in it before its sweep ends.
    void sweepOnce(int folderFd);

  private:
    timespec olderThan_{};
    std::mutex mutex_;
    std::set<std::pair<dev_t, ino_t>> swept_;
};

// "Stream write error" with the file and the system's reason for errno value `error`.
std::string streamWriteMessage(const std::string& path, int error);

// The message of a source that ended before the bytes it had when it was opened were all read.
std::string shrankWhileReadMessage(const std::string& path);

// The message of a file that cannot be created, with the system's reason for errno value `error`.
std::string cannotCreateMessage(const std::string& path, int error);

}  // namespace morrowtide::meta
