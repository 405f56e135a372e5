// SPDX-License-Identifier: GPL-3.0-or-later
#include "meta/formats/jpeg_markers.h"

namespace morrowtide::meta {

namespace {

constexpr int kFill = 0xFF;
constexpr int kEndOfImage = 0xD9;

int byteAt(std::string_view bytes, std::size_t pos) { return static_cast<unsigned char>(bytes[pos]); }

}  // namespace

bool beginsJpegHeaderSection(int code) {
    // 0xC8 is reserved for extensions and begins no section of a baseline or progressive file.
    if (code >= 0xC0 && code <= 0xCF) return code != 0xC8;
    if (code >= 0xE0 && code <= 0xEF) return true;
    // A number-of-lines section (0xDC) is passed over by its length, as JPEG readers do.
    return code == 0xDA || code == 0xDB || code == 0xDC || code == 0xDD || code == 0xFE;
}

JpegMarker nextJpegMarker(std::string_view bytes, std::size_t pos) {
    JpegMarker found;
    const std::size_t start = pos;
    bool due = true;  // a marker is due here; after a stray byte only a header section's marker ends the search
    while (pos < bytes.size()) {
        if (byteAt(bytes, pos) != kFill) {
            due = false;
            if (pos - start >= kMaxJpegStrayBytes) {
                found.status = JpegMarker::Status::TooMuchStray;
                found.stray = pos - start;
                return found;
            }
            ++pos;
            continue;
        }
        const std::size_t fillStart = pos;
        while (pos < bytes.size() && byteAt(bytes, pos) == kFill) {
            if (pos - fillStart >= kMaxJpegFillBytes) {
                found.status = JpegMarker::Status::TooMuchFill;
                found.at = fillStart;
                return found;
            }
            ++pos;
        }
        // A run of fill bytes at the end may lead to a marker in the bytes that follow: it is not stray.
        if (pos == bytes.size()) {
            found.stray = fillStart - start;
            return found;
        }
        const int code = byteAt(bytes, pos);
        if (beginsJpegHeaderSection(code) || (due && code == kEndOfImage)) {
            found.status = JpegMarker::Status::Found;
            found.at = fillStart;
            found.code = pos;
            found.marker = code;
            found.stray = fillStart - start;
            return found;
        }
        // 0xFF 0x00, a restart marker or an unknown code where a section should begin: not a section.
        due = false;
    }
    found.stray = pos - start;
    return found;
}

}  // namespace morrowtide::meta
