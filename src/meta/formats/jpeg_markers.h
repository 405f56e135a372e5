// SPDX-License-Identifier: GPL-3.0-or-later
// The one walk over a JPEG's header sections. A byte is taken for a marker only where a section can begin: fill
// bytes (0xFF) before a marker are passed over, and anything else where a marker should stand starts a search for
// the next 0xFF followed by a code that can begin a header section. The bytes passed over belong to no section;
// taking one of them for a marker would stride into the image data and let a data byte pass for a section.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace morrowtide::meta {

// More 0xFF fill bytes than this before one marker: the header is not walked further.
inline constexpr std::size_t kMaxJpegFillBytes = std::size_t{1} << 16;
// More bytes than this that belong to no section before one marker: the header is not walked further.
inline constexpr std::size_t kMaxJpegStrayBytes = std::size_t{1} << 16;

// APPn, DQT, DHT, DAC, DRI, DNL, SOFn, COM and SOS: the markers a section of the header can begin with.
bool beginsJpegHeaderSection(int code);

struct JpegMarker {
    enum class Status {
        Found,          // `code` stands at `at` (its fill bytes first); its length field follows the code
        EndOfBytes,     // the bytes end before a marker is found: more bytes, or none at all
        TooMuchFill,    // more than kMaxJpegFillBytes fill bytes in a row
        TooMuchStray,   // more than kMaxJpegStrayBytes bytes that belong to no section
    };
    Status status = Status::EndOfBytes;
    std::size_t at = 0;       // where the marker's fill bytes begin (the 0xFF before the code when there are none)
    std::size_t code = 0;     // where the code byte stands
    int marker = 0;
    std::size_t stray = 0;    // bytes from the walk's position to `at` that belong to no section
};

// The next marker at or after `pos` in `bytes`, the first bytes of a JPEG or a prefix of them. End of image (0xD9)
// is taken where a marker is due; a search past stray bytes stops only at a header section's marker.
JpegMarker nextJpegMarker(std::string_view bytes, std::size_t pos);

// The same for a JPEG read a window at a time: `read(pos, length)` answers up to `length` bytes from `pos` on (fewer
// only at the end). The answer's positions count from `pos`; `window` keeps the bytes read, with the two bytes of
// the length field after the code wherever the JPEG has them.
template <typename Read>
JpegMarker nextJpegMarkerAt(std::uint64_t pos, const Read& read, std::string& window) {
    constexpr std::size_t kSmallWindow = 4096;
    constexpr std::size_t kWholeWindow = kMaxJpegStrayBytes + kMaxJpegFillBytes + 4;
    window = read(pos, kSmallWindow);
    JpegMarker found = nextJpegMarker(window, 0);
    // Stray or fill bytes may run past the small window, or the length field may: the whole window decides.
    const bool cut = found.status == JpegMarker::Status::EndOfBytes ||
                     (found.status == JpegMarker::Status::Found && found.code + 3 > window.size());
    if (cut && window.size() == kSmallWindow) {
        window = read(pos, kWholeWindow);
        found = nextJpegMarker(window, 0);
    }
    return found;
}

}  // namespace morrowtide::meta
