// Acceptance test of a source image before a corrected copy is written: the JPEG library's header reader must
// find a frame up to the first scan. The image data itself is never decoded.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "meta/safe_file.h"

namespace morrowtide::meta {

// Raised when the header reader refuses the data; the message is "JPEG error #<code>". A WriteError, since it is
// how a corrected copy is refused.
class JpegError : public WriteError {
  public:
    explicit JpegError(int messageCode);
    int messageCode() const { return messageCode_; }

  private:
    int messageCode_;
};

// 0 when the library accepts the headers of `data` (an image required), else the library's message code.
// Empty data is refused like any other non-JPEG. Warnings are ignored.
int jpegHeaderErrorCode(std::string_view data);

// The same for the first bytes of a file that goes on beyond them: the code the whole file would give, or nullopt
// when the header reader asked for bytes past the prefix's end (only the whole file can tell then). A prefix that
// ends after the first scan header holds all the header reader takes in.
std::optional<int> jpegPrefixErrorCode(std::string_view prefix);

// Throws JpegError unless jpegHeaderErrorCode(data) is 0.
void validateJpegHeader(std::string_view data);

}  // namespace morrowtide::meta
