// SPDX-License-Identifier: GPL-3.0-or-later
// The dates of a photo or video file that is not handled as a JPEG, read for the run: every date field the container
// readers locate, the bytes they hold (so that the shift can be planned again without the file), the checksums a
// patch must renew, and the field a capture date is read from. Writing the corrected copy is writePatchedCopy's.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "meta/formats/container.h"
#include "meta/formats/date_field.h"

namespace morrowtide::meta {

class SafeFileWriter;

// The bytes of a list of fields, read once; answers a read that lies inside one of them. The shift of the fields
// can then be planned again (another offset) without going back to the file.
class FieldBytes final : public ByteSource {
  public:
    FieldBytes() = default;
    // Reads every field of `fields` from `source`; a field that cannot be read is left out (it then reads as
    // unreadable).
    FieldBytes(const ByteSource& source, const std::vector<DateField>& fields);
    std::uint64_t size() const override { return size_; }
    bool read(std::uint64_t offset, std::size_t length, std::string& out) const override;

  private:
    std::uint64_t size_ = 0;
    std::map<std::uint64_t, std::string> pieces_;  // by offset
};

struct FileDates {
    ContainerKind kind = ContainerKind::Unknown;
    std::string brand;                       // ISO-BMFF major brand
    std::vector<DateField> fields;           // empty when `problem` is set
    std::string problem;                     // why no date of the file may be patched; empty when it is safe
    std::vector<std::string> notes;          // dates left alone (compressed text, a value split in two) and why
    std::vector<ChecksumRegion> checksums;   // to renew where a patch falls inside
    bool hasExif = false;                    // the file holds an EXIF (TIFF) block
    std::vector<EmbeddedBlock> blocks;       // the metadata blocks found (with those TIFF directories point at)
    std::string make;                        // the camera a movie names in its own metadata; empty when none
    std::string model;
};

// Reads the structure of the file and locates every date: the container's own, those of its TIFF blocks, and those
// of the XMP packets and IPTC records it carries (an XMP sidecar is one such packet).
FileDates readFileDates(const ByteSource& source, std::string_view extension);

// Which field the capture date is read from, and whether its value counts in UTC (a movie header's seconds) rather
// than as the wall-clock time where the photo was taken.
struct CaptureField {
    int index = -1;  // into the fields; -1: none holds a readable capture date
    bool utc = false;
};
// In order of trust: the EXIF DateTimeOriginal, DateTimeDigitized, DateTime; then an XMP or QuickTime text of the
// original, then of the creation date; then the movie header's creation time (UTC). The first that reads as a date
// with a time wins. A PNG tIME (the last change of the image) is no capture date.
CaptureField captureFieldOf(const std::vector<DateField>& fields, const ByteSource& values);

// Writes the corrected copy into `out`: every byte of `source` by kernel copy, then the patches, then the CRC of
// every checksum region a patch fell into, computed anew over the region as written. Memory stays the same whatever
// the size of the file. Throws WriteError; the file is then never published (the writer discards it).
void writePatchedCopy(const SourceFile& source, SafeFileWriter& out, const std::vector<BytePatch>& patches,
                      const std::vector<ChecksumRegion>& checksums);

}  // namespace morrowtide::meta
