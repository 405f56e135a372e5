// SPDX-License-Identifier: GPL-3.0-or-later
// Writing the corrected JPEG: start-of-image, the sections the container kept (the EXIF section with its shifted
// dates first), then every other byte of the source in its original order. The compressed image is copied, never
// decoded. The output replaces its path only once it is completely on disk (see safe_file.h).
#pragma once

#include <string>
#include <string_view>

#include "meta/img_data.h"
#include "meta/jpeg_validate.h"
#include "meta/safe_file.h"

namespace morrowtide::meta {

// The APP0 segment written when the source has neither an EXIF nor an APP0 section: JFIF 1.02, 300 dots per inch,
// no thumbnail.
inline constexpr std::string_view kDefaultJfifSegment{
    "\xFF\xE0\x00\x10\x4A\x46\x49\x46\x00\x01\x02\x01\x01\x2C\x01\x2C\x00\x00", 18};

// A corrected copy refused because its image data would differ from the source's: nothing is published.
class ImageDataNotKept : public WriteError {
  public:
    using WriteError::WriteError;
};

// The last check before a corrected copy is published: the output `out` holds, from `outputScan` on, the source's
// image data, which starts with `sourceScan` (its first bytes) and is `scanLength` bytes long. Reads back the first
// bytes and the output's length. Throws ImageDataNotKept.
void checkImageDataKept(const ImgData& data, const SafeFileWriter& out, std::int64_t outputScan,
                        std::string_view sourceScan, std::int64_t scanLength);

// The whole file, or WriteError "Cannot open file "<path>". <reason>".
std::string readSourceFile(const std::string& path);

// Reads the source the container last loaded (its sourcePath()) afresh, checks it with the JPEG header reader
// (JpegError, a WriteError, when refused; an empty file included) and writes the corrected copy to `outPath`.
// `outPath` may name the source itself. Throws WriteError; on any failure `outPath` is left as it was.
void saveCorrectedJpeg(const ImgData& data, const OutputTarget& outPath);
// The same with the source's bytes already in memory (for instance data.sourceBytes()).
void saveCorrectedJpeg(const ImgData& data, std::string_view sourceBytes, const OutputTarget& outPath);

// The same for the file `source` that data.readImageFile(path, source) left open, with no more of it in memory than
// the container read (data.sourceBytes()). The header is checked from those bytes, the whole file being read only
// where the header reader wants more; the header sections are written from memory and every other byte is copied
// file to file from `source` (kernelCopy, when given, stands in for copy_file_range). Refused with "Cannot open
// file "<path>". The file was changed after it was read." when the file no longer has the size and modification
// time it had when it was read, before the copy or by its end. Throws WriteError; on any failure `outPath` is left
// as it was.
void saveCorrectedJpeg(const ImgData& data, const SourceFile& source, const OutputTarget& outPath,
                       const KernelCopy& kernelCopy = {});

// Writes the header sections and the rest of `sourceBytes` to `outPath`. The source's own copies of the sections
// the header wrote (the EXIF section, the kept APP13 and COM, and the kept APP0 when the header wrote it) are left
// out wherever they stand; beside an EXIF section an APP0 right after the start of the image gives way to it, one
// anywhere else stays. Further EXIF sections stay in place with their dates moved; all other bytes follow in their
// original order. Throws WriteError (also when data.headerRefusal() says why the file cannot be written); on any
// failure `outPath` is left as it was.
void writeJpegTo(const ImgData& data, std::string_view sourceBytes, const OutputTarget& outPath);

// The same with the rest copied from `source`, of which data.sourceBytes() holds the first bytes.
void writeJpegTo(const ImgData& data, const SourceFile& source, const OutputTarget& outPath,
                 const KernelCopy& kernelCopy = {});

}  // namespace morrowtide::meta
