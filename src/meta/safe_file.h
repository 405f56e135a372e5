// Replacing a file without ever leaving it half-written: the new content goes to a temporary file in the same
// folder and only then is renamed over the destination; when a file stands there, the content is flushed to disk
// before the rename. Until commit() succeeds, whatever stood at the destination (possibly the very file the content
// was read from) is left as it was.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace morrowtide::meta {

// Carries the user-facing message of a failed write ("Cannot create file ...", "Stream write error").
class WriteError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
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
