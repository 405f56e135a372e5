// SPDX-License-Identifier: GPL-3.0-or-later
// Internal to the container readers: one scan function per container and the bounded reads they share.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "meta/formats/container.h"

namespace morrowtide::meta::formats {

// Raised where a structure cannot be read safely; scanContainer turns it into the scan's problem.
class ScanProblem : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// No single piece a reader takes into memory is longer (a box, a chunk's head, a TIFF window).
inline constexpr std::uint64_t kMaxPiece = kMaxTiffWindow;

// Exactly `length` bytes at `offset` or ScanProblem naming `what`: past the end of the file, or longer than
// kMaxPiece.
std::string readPiece(const ByteSource& source, std::uint64_t offset, std::uint64_t length, std::string_view what);

// True when [offset, offset + length) lies inside [0, size), computed without overflow.
constexpr bool spanFits(std::uint64_t size, std::uint64_t offset, std::uint64_t length) {
    return length <= size && offset <= size - length;
}

// What one scan keeps, bounded whatever the file's counts say (kMaxContainerFields, kMaxEmbeddedBlocks,
// kMaxContainerNotes). A field or block past its limit is ScanProblem; a note past its limit, or said already, is
// dropped.
void recordField(ContainerScan& scan, DateField field);
void recordBlock(ContainerScan& scan, EmbeddedBlock block);
void recordNote(ContainerScan& scan, std::string note);

// A four-character code as it can be printed.
std::string printableCode(std::string_view code);

void scanIsoBmff(const ByteSource& source, ContainerScan& scan);
void scanPng(const ByteSource& source, ContainerScan& scan);
void scanWebP(const ByteSource& source, ContainerScan& scan);
void scanRaf(const ByteSource& source, ContainerScan& scan);
// The EXIF APP1 (as a TIFF block) and the XMP APP1s of a JPEG lying at [offset, offset + length) of the file.
void scanJpegBlocks(const ByteSource& source, std::uint64_t offset, std::uint64_t length, ContainerScan& scan,
                    std::string_view labelPrefix);

}  // namespace morrowtide::meta::formats
