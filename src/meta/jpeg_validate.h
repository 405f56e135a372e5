// SPDX-License-Identifier: GPL-3.0-or-later
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
    explicit JpegError(int messageCode, std::string words = {});
    int messageCode() const { return messageCode_; }
    // The library's own words for what is wrong ("Not a JPEG file: starts with 0x89 0x50"), empty when unknown.
    const std::string& words() const { return words_; }
    // For the user: "Not a JPEG picture that can be read: <words> (JPEG error #<code>)".
    std::string explanation() const;

  private:
    int messageCode_;
    std::string words_;
};

// The library's text for a refusal: its message code and, where the header reader gave them, its words.
struct JpegRefusal {
    int code = 0;  // 0: accepted
    std::string words;
};

// 0 when the library accepts the headers of `data` (an image required), else the library's message code.
// Empty data is refused like any other non-JPEG. Warnings are ignored.
int jpegHeaderErrorCode(std::string_view data);
JpegRefusal jpegHeaderRefusal(std::string_view data);

// The same for the first bytes of a file that goes on beyond them: the code the whole file would give, or nullopt
// when the header reader asked for bytes past the prefix's end (only the whole file can tell then). A prefix that
// ends after the first scan header holds all the header reader takes in.
std::optional<int> jpegPrefixErrorCode(std::string_view prefix);
std::optional<JpegRefusal> jpegPrefixRefusal(std::string_view prefix);

// The same for an open file, read a piece at a time from its first byte: memory stays small whatever the header.
JpegRefusal jpegFileRefusal(const SourceFile& file);

// Throws JpegError unless jpegHeaderErrorCode(data) is 0.
void validateJpegHeader(std::string_view data);

}  // namespace morrowtide::meta
