// SPDX-License-Identifier: GPL-3.0-or-later
// The file-level metadata container: a JPEG's marker sections up to the first scan, the decoded EXIF block and the
// outcome of the last load. One container is reused for every file of a batch run.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "meta/formats/jpeg_markers.h"
#include "meta/image_info.h"
#include "meta/iptc.h"
#include "meta/safe_file.h"

namespace morrowtide::meta {

// One marker section as read from the file.
struct JpegSection {
    // The section as stored after its two marker bytes: the 2-byte big-endian length field, then the payload.
    // Always `size` bytes long; where the file ended inside the section the missing bytes are zeros.
    std::string data;
    int marker = 0;         // the byte that follows 0xFF, e.g. 0xE1
    std::int32_t size = 0;  // value of the length field (it counts its own two bytes)
    // Where the section lies in the source: fileOffset is the first byte of its marker (the first 0xFF fill byte);
    // the length field starts at dataOffset; storedLength bytes
    // of `data` came from the file (less than `size` only when the file ended inside the section).
    std::int64_t fileOffset = 0;
    std::int64_t dataOffset = 0;
    std::int64_t storedLength = 0;

    // First source byte after the section.
    std::int64_t endOffset() const { return dataOffset + storedLength; }
};

class ImgData : public EndianBlock {
  public:
    static constexpr int kMaxSections = 20;
    // 0xFF fill bytes allowed before one marker of the sections the scan keeps. Together with the 20 sections of at
    // most 64 KiB this bounds what one file's header read may hold; a longer run refuses the file.
    static constexpr std::size_t kMaxFillBytes = kMaxJpegFillBytes;
    // A JPEG is read in pieces, the first this long, each further one as long as all read before it.
    static constexpr std::size_t kFirstReadLength = std::size_t{1} << 14;
    // A TIFF-structured file is read from file offset 8 into a block of this many bytes.
    static constexpr std::int64_t kTiffBlockLength = 256000;

    // buildCode is handed to every decoded EXIF object (the batch run uses 255).
    explicit ImgData(int buildCode = 255);
    ~ImgData();
    ImgData(const ImgData&) = delete;
    ImgData& operator=(const ImgData&) = delete;

    // Forgets the last file: references, source facts, status, EXIF object, byte order. The section slots keep their
    // old contents; sectionCount() says which belong to the current file.
    void clearState();

    // Loads a ".jpg", ".jpeg", ".jpe" (JPEG) or ".tif", ".tiff", ".nef" (TIFF) file. Never throws; the result and
    // statusText() report the outcome. The bytes read stay available as sourceBytes() until the next load: of a
    // JPEG only as many as its sections up to the first scan header need, at most the 20 sections the scan keeps
    // and kMaxFillBytes of fill before each (the whole file when it is small or no scan header is found), of a TIFF
    // as many as its block takes.
    bool readImageFile(const std::string& path);
    // The same, leaving the file open in `source` (closed when it could not be read), so that the copy is written
    // from the very file that was read. Everything else is as with readImageFile(path).
    bool readImageFile(const std::string& path, SourceFile& source);
    // The same with the file's bytes already in memory: `path` still chooses the reader by its extension and is
    // looked up for its modification time (when it exists); the size is that of `bytes`. Never throws.
    bool readImageBytes(const std::string& path, std::string bytes);

    bool hasAnyMetadata() const { return exifIndex_ >= 0 || commentIndex_ >= 0 || iptcIndex_ >= 0; }
    bool hasExifBlock() const { return exifIndex_ >= 0; }

    // Writes `bytes` over the kept section bytes that came from file offset `offset` on (a date copy moved in
    // place) and marks that section changed, so that the writer puts out its bytes from memory. False, and nothing
    // written, when they do not lie wholly inside the bytes one kept section read from the file.
    bool patchSection(std::uint64_t offset, std::string_view bytes);
    // Whether patchSection changed the section at `index` (0-based) of the current file.
    bool sectionPatched(int index) const {
        return index >= 0 && index < sectionCount_ && patched_[static_cast<std::size_t>(index)];
    }

    // Why no corrected copy may be written from this file's header (it holds more than the reader may keep), as
    // the message the writer raises; empty when nothing stands against it.
    const std::string& headerRefusal() const { return headerRefusal_; }
    // Bytes between the header sections that belong to none (passed over by the walk, copied as they stand).
    std::int64_t strayBytes() const { return strayBytes_; }
    // Where the first start-of-scan section begins in the file; -1 when the sections read end before it.
    std::int64_t scanOffset() const;

    // Reader steps, public for the writer and for tests; they work on the bytes of a whole file. readJpeg and
    // readTiff catch every failure and answer false; scanJpegSections and decodeExifBlock let the walker's failures
    // through (the sections and EXIF object stored so far stay).
    bool readJpeg(std::string_view fileBytes);
    bool scanJpegSections(std::string_view fileBytes);
    void decodeExifBlock();
    bool readTiff(std::string_view fileBytes);

    const std::string& sourcePath() const { return sourcePath_; }
    // Last-write time of the source in local time, days since 30 December 1899, two-second resolution; 0 unknown.
    double sourceModified() const { return sourceModified_; }
    std::int64_t sourceSize() const { return sourceSize_; }
    // The source bytes the last load read, from the file's first byte on (empty when it could not be read).
    const std::string& sourceBytes() const { return sourceBytes_; }
    // True when sourceBytes() is the whole file (always after readImageBytes), false when it is a prefix.
    bool sourceComplete() const { return sourceComplete_; }

    // "" (no such file), "Not an EXIF file", "Illegal Exif construction", "Incorrect Exif header",
    // "Invalid Exif alignment marker", "Illegally sized directory", "Error Detected = ..." or "<none>".
    const std::string& statusText() const { return statusText_; }
    // The walker and the maker-note reader report their failures here.
    void setStatusText(std::string text) { statusText_ = std::move(text); }
    // Technical message of the failure that ended the last load early (empty when none); not part of statusText.
    const std::string& diagnostic() const { return diagnostic_; }

    int buildCode() const { return buildCode_; }
    bool tiffMode() const { return tiffMode_; }

    // Sections of the current file, 0-based: section(0) is the first after the start-of-image marker.
    int sectionCount() const { return sectionCount_; }
    const JpegSection& section(int index) const { return sections_.at(static_cast<std::size_t>(index)); }

    // The section references (null when none): the EXIF APP1, the first APP13, the last COM, the last APP0.
    JpegSection* exifSection() { return sectionAt(exifIndex_); }
    const JpegSection* exifSection() const { return sectionAt(exifIndex_); }
    const JpegSection* iptcSection() const { return sectionAt(iptcIndex_); }
    const JpegSection* commentSection() const { return sectionAt(commentIndex_); }
    const JpegSection* app0Section() const { return sectionAt(app0Index_); }
    // 0-based indexes of the references, -1 for none.
    int exifSectionIndex() const { return exifIndex_; }
    int iptcSectionIndex() const { return iptcIndex_; }
    int commentSectionIndex() const { return commentIndex_; }
    int app0SectionIndex() const { return app0Index_; }

    // The decoded EXIF block of the current file, or null.
    ImageInfo* exif() { return exif_.get(); }
    const ImageInfo* exif() const { return exif_.get(); }

    // Further "Exif" APP1 sections after the first, kept in place; their dates move with the first one's. Each is
    // walked for its dates only (no text lines, no records).
    int extraExifCount() const { return static_cast<int>(extraExif_.size()); }
    int extraExifSectionIndex(int i) const { return extraExif_.at(static_cast<std::size_t>(i)).index; }
    const ImageInfo& extraExif(int i) const { return *extraExif_.at(static_cast<std::size_t>(i)).info; }

    // The IPTC object made for the first APP13 section, or null. Its datasets are parsed on demand
    // (parseIptcSection of iptcSection()->data), not during the scan.
    IptcData* iptc() { return iptc_.get(); }
    const IptcData* iptc() const { return iptc_.get(); }

  private:
    enum class FileKind { kOther, kJpeg, kTiff };
    static FileKind kindOfPath(const std::string& path);
    bool readJpegPrefix(const SourceFile& source);
    bool readTiffPrefix(const SourceFile& source);
    bool readLoaded(FileKind kind);
    void addExifSection(int index);
    void lookUpSource(const std::string& path, bool takeSize);
    void takeSource(const std::string& path, const struct stat& info, bool takeSize);

    JpegSection* sectionAt(int index) { return index < 0 ? nullptr : &sections_[static_cast<std::size_t>(index)]; }
    const JpegSection* sectionAt(int index) const {
        return index < 0 ? nullptr : &sections_[static_cast<std::size_t>(index)];
    }

    std::array<JpegSection, kMaxSections> sections_;
    bool tiffMode_ = false;
    int buildCode_ = 255;
    int sectionCount_ = 0;
    int exifIndex_ = -1;
    int iptcIndex_ = -1;
    int commentIndex_ = -1;
    int app0Index_ = -1;
    std::string sourcePath_;
    double sourceModified_ = 0;
    std::int64_t sourceSize_ = 0;
    std::string statusText_;
    std::string diagnostic_;
    std::string sourceBytes_;
    bool sourceComplete_ = false;
    std::unique_ptr<ImageInfo> exif_;
    std::unique_ptr<IptcData> iptc_;
    struct ExtraExif {
        int index;
        std::unique_ptr<ImageInfo> info;
    };
    std::vector<ExtraExif> extraExif_;
    std::string headerRefusal_;
    std::int64_t strayBytes_ = 0;
    std::array<bool, kMaxSections> patched_{};
};

// Where the IFD1 JPEG thumbnail of a JPEG's EXIF section lies in the file, when it lies wholly inside the section;
// the thumbnail directory is walked into `exif` when the reader has not walked it yet.
struct ThumbnailPlace {
    std::int64_t offset = 0;  // from the start of the file
    std::int64_t length = 0;
};
std::optional<ThumbnailPlace> exifThumbnailOf(const ImgData& data, ImageInfo& exif);

}  // namespace morrowtide::meta
