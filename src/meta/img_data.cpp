// SPDX-License-Identifier: GPL-3.0-or-later
#include "meta/img_data.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <optional>

#include "meta/ascii_case.h"
#include "meta/byte_reader.h"
#include "meta/formats/jpeg_markers.h"
#include "meta/tag_tables.h"
#include "meta/value_format.h"

namespace morrowtide::meta {

namespace {

constexpr const char* kNotExif = "Not an EXIF file";
constexpr const char* kIllegalConstruction = "Illegal Exif construction";

// Days from 1 January 1970 to the given civil date (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// A file time as the system has always kept it: local time with the two-second steps of a DOS time stamp, 0 outside
// the years a DOS time stamp can hold.
double localDosDateTime(std::time_t time) {
    std::tm local{};
    if (localtime_r(&time, &local) == nullptr) return 0;
    const int year = local.tm_year + 1900;
    if (year < 1980 || year > 2107) return 0;
    const int seconds = std::min(local.tm_sec, 59) & ~1;
    const std::int64_t days =
        daysFromCivil(year, static_cast<unsigned>(local.tm_mon + 1), static_cast<unsigned>(local.tm_mday)) -
        daysFromCivil(1899, 12, 30);
    return static_cast<double>(days) + (local.tm_hour * 3600 + local.tm_min * 60 + seconds) / 86400.0;
}

// How far the walk of a JPEG's first bytes got: the start of the section it is at, and the sections before it.
struct HeaderWalk {
    std::size_t resume = 0;
    int sections = 0;
};

// Where the sections the scan can reach end in a JPEG's first bytes: after the first start-of-scan or end-of-image
// section or the 20th section, after the length field of a section too short to hold itself, or where a run of
// fill bytes grew too long (the scan stops at all of these, if not sooner); nullopt while `bytes` ends before
// that. The walk reads markers and lengths exactly as the scan does, so the scan of these bytes and the scan of the
// whole file see the same sections. `walk` keeps the place reached, so a longer prefix is not walked again.
std::optional<std::size_t> headerEnd(std::string_view bytes, HeaderWalk& walk) {
    const ByteReader reader(bytes, true);
    if (walk.resume == 0) {
        if (!reader.fits(0, 2)) return std::nullopt;
        if (reader.u8(0) != 0xFF || reader.u8(1) != 0xD8) return 2;  // not a JPEG: nothing after this is read
        walk.resume = 2;
    }
    std::size_t pos = walk.resume;
    for (;;) {
        walk.resume = pos;
        const JpegMarker marker = nextJpegMarker(bytes, pos);
        if (marker.status == JpegMarker::Status::EndOfBytes) return std::nullopt;
        if (marker.status == JpegMarker::Status::TooMuchFill) return marker.at + ImgData::kMaxFillBytes + 1;
        if (marker.status == JpegMarker::Status::TooMuchStray) return pos + marker.stray + 1;
        pos = marker.code + 1;
        if (!reader.fits(pos, 2)) return std::nullopt;
        const std::uint16_t length = reader.u16(pos);
        if (length < 2) return pos + 2;
        if (!reader.fits(pos, length)) return std::nullopt;
        pos += length;
        ++walk.sections;
        if (marker.marker == 0xDA || marker.marker == 0xD9 || walk.sections == ImgData::kMaxSections) return pos;
    }
}

bool isExifPayload(const std::string& data) {
    return data.size() >= 8 && std::string_view(data).substr(2, 6) == std::string_view("Exif\0\0", 6);
}

// The EXIF section's header and byte-order checks, then the walk of its main directory and of the directory
// linked after it. Answers the status text of a failed check, or null once walked; a failure of the main walk
// is let through.
const char* walkExifSection(ImageInfo& info, const std::string& data, std::int64_t size, bool& bigEndian) {
    if (data.size() < 7 || std::string_view(data).substr(2, 5) != std::string_view("Exif\0", 5)) {
        return "Incorrect Exif header";
    }
    const std::string_view order = data.size() < 10 ? std::string_view() : std::string_view(data).substr(8, 2);
    if (order == "II") {
        bigEndian = false;
    } else if (order == "MM") {
        bigEndian = true;
    } else {
        return "Invalid Exif alignment marker";
    }
    info.trace.clear();
    info.block.view(data);
    info.bigEndian = bigEndian;
    const std::int32_t firstOffset = info.read32(13);
    const std::int64_t start = firstOffset == 0 ? 17 : static_cast<std::int64_t>(firstOffset) + 9;
    info.walkDirectory(start, 9, size - 6, kMainDirectory);
    info.walkNextDirectory(9, size - 6);
    return nullptr;
}

}  // namespace

ImgData::ImgData(int buildCode) : buildCode_(buildCode) {
    clearState();
}

ImgData::~ImgData() = default;

void ImgData::clearState() {
    sectionCount_ = 0;
    exifIndex_ = iptcIndex_ = commentIndex_ = app0Index_ = -1;
    sourcePath_.clear();
    sourceModified_ = 0;
    sourceSize_ = 0;
    statusText_.clear();
    diagnostic_.clear();
    sourceBytes_.clear();
    sourceComplete_ = false;
    exif_.reset();
    iptc_.reset();
    extraExif_.clear();
    headerRefusal_.clear();
    strayBytes_ = 0;
    patched_.fill(false);
    bigEndian = false;
    block.clear();
    tiffMode_ = false;
}

ImgData::FileKind ImgData::kindOfPath(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string_view name = std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos) return FileKind::kOther;
    const std::string ext = asciiLower(name.substr(dot));
    if (ext == ".jpg" || ext == ".jpeg" || ext == ".jpe") return FileKind::kJpeg;
    if (ext == ".tif" || ext == ".tiff" || ext == ".nef") return FileKind::kTiff;
    return FileKind::kOther;
}

void ImgData::lookUpSource(const std::string& path, bool takeSize) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return;
    takeSource(path, info, takeSize);
}

void ImgData::takeSource(const std::string& path, const struct stat& info, bool takeSize) {
    sourcePath_ = path;
    sourceModified_ = localDosDateTime(info.st_mtime);
    if (takeSize) sourceSize_ = static_cast<std::int64_t>(info.st_size);
}

bool ImgData::readImageFile(const std::string& path) {
    SourceFile source;
    return readImageFile(path, source);
}

bool ImgData::readImageFile(const std::string& path, SourceFile& source) {
    source.close();
    bool read = false;
    try {
        clearState();
        const FileKind kind = kindOfPath(path);
        // Opened first and looked up through the descriptor: one open and one look-up per file.
        const int failure = kind == FileKind::kOther ? EINVAL : source.open(path);
        if (failure != 0) {
            // Only then is the name looked up, to tell a missing file or one that is not a regular file (no
            // message) from one that cannot be opened.
            std::error_code error;
            if (!std::filesystem::is_regular_file(std::filesystem::path(path), error)) return false;
            lookUpSource(path, true);
            statusText_ = kNotExif;
            if (kind == FileKind::kOther) return false;
            statusText_ = kIllegalConstruction;
            diagnostic_ = "cannot open " + path + ": " + std::strerror(failure);
            return false;
        }
        takeSource(path, source.status(), true);
        statusText_ = kNotExif;
        read = kind == FileKind::kTiff ? readTiffPrefix(source) : readJpegPrefix(source);
        if (!read) {
            const int failure = errno;
            statusText_ = kIllegalConstruction;
            diagnostic_ = "cannot read " + path + ": " + std::strerror(failure);
            sourceBytes_.clear();
            source.close();
            return false;
        }
        return readLoaded(kind);
    } catch (const std::exception& failure) {
        statusText_ = kIllegalConstruction;
        diagnostic_ = failure.what();
    } catch (...) {
        statusText_ = kIllegalConstruction;
    }
    // Bytes only partly read must not be taken for the file's.
    if (!read) {
        sourceBytes_.clear();
        sourceComplete_ = false;
        source.close();
    }
    return false;
}

bool ImgData::readJpegPrefix(const SourceFile& source) {
    sourceBytes_.clear();
    HeaderWalk walk;
    std::size_t piece = kFirstReadLength;
    for (;;) {
        const std::int64_t got = source.readAt(static_cast<std::int64_t>(sourceBytes_.size()), piece, sourceBytes_);
        if (got < 0) return false;
        // A file that ended within the piece is kept whole, scan header or not.
        if (static_cast<std::size_t>(got) < piece) {
            sourceComplete_ = true;
            return true;
        }
        if (const std::optional<std::size_t> end = headerEnd(sourceBytes_, walk)) {
            sourceBytes_.resize(*end);
            // The pieces double, so a long header may leave as much again unused; a run holds several headers at
            // once and keeps only what they take.
            if (sourceBytes_.capacity() - sourceBytes_.size() > kFirstReadLength * 16) sourceBytes_.shrink_to_fit();
            sourceComplete_ = false;
            return true;
        }
        piece = sourceBytes_.size();
    }
}

bool ImgData::readTiffPrefix(const SourceFile& source) {
    // A TIFF is only read as far as its block reaches.
    constexpr auto kWanted = static_cast<std::size_t>(kTiffBlockLength + 8);
    sourceBytes_.clear();
    const std::int64_t got = source.readAt(0, kWanted, sourceBytes_);
    if (got < 0) return false;
    sourceComplete_ = static_cast<std::size_t>(got) < kWanted || got == source.size();
    return true;
}

bool ImgData::readImageBytes(const std::string& path, std::string bytes) {
    try {
        clearState();
        lookUpSource(path, false);
        sourcePath_ = path;
        sourceSize_ = static_cast<std::int64_t>(bytes.size());
        statusText_ = kNotExif;
        const FileKind kind = kindOfPath(path);
        if (kind == FileKind::kOther) return false;
        sourceBytes_ = std::move(bytes);
        sourceComplete_ = true;
        return readLoaded(kind);
    } catch (const std::exception& failure) {
        statusText_ = kIllegalConstruction;
        diagnostic_ = failure.what();
        return false;
    } catch (...) {
        statusText_ = kIllegalConstruction;
        return false;
    }
}

bool ImgData::readLoaded(FileKind kind) {
    const bool ok = kind == FileKind::kJpeg ? readJpeg(sourceBytes_) : readTiff(sourceBytes_);
    if (ok) statusText_ = "<none>";
    return ok;
}

bool ImgData::readJpeg(std::string_view fileBytes) {
    tiffMode_ = false;
    try {
        return scanJpegSections(fileBytes);
    } catch (const std::exception& failure) {
        // What the scan stored so far stays: the queries still report the sections found.
        diagnostic_ = failure.what();
        return false;
    }
}

bool ImgData::scanJpegSections(std::string_view fileBytes) {
    const ByteReader reader(fileBytes, true);
    if (!reader.fits(0, 2) || reader.u8(0) != 0xFF || reader.u8(1) != 0xD8) return false;
    std::size_t pos = 2;
    sectionCount_ = 0;
    while (sectionCount_ < kMaxSections) {
        // The file may end anywhere: without a marker or a length field there is no further section.
        const JpegMarker found = nextJpegMarker(fileBytes, pos);
        strayBytes_ += static_cast<std::int64_t>(found.stray);
        if (found.status == JpegMarker::Status::EndOfBytes) return hasAnyMetadata();
        if (found.status == JpegMarker::Status::TooMuchFill) {
            headerRefusal_ = "Cannot read file \"" + sourcePath_ + "\". Its JPEG header has more than " +
                             std::to_string(kMaxFillBytes) + " fill bytes (0xFF) before one marker.";
            return hasAnyMetadata();
        }
        if (found.status == JpegMarker::Status::TooMuchStray) {
            headerRefusal_ = "Cannot read file \"" + sourcePath_ + "\". Its JPEG header holds more than " +
                             std::to_string(kMaxJpegStrayBytes) + " bytes that belong to no section.";
            return hasAnyMetadata();
        }
        const std::size_t start = found.at;
        const int marker = found.marker;
        pos = found.code + 1;
        if (!reader.fits(pos, 2)) return hasAnyMetadata();
        const std::uint16_t length = reader.u16(pos);
        // A length below 2 cannot even cover itself; nothing after it can be trusted.
        if (length < 2) return hasAnyMetadata();

        const int index = sectionCount_++;
        JpegSection& section = sections_[static_cast<std::size_t>(index)];
        const std::size_t stored = std::min<std::size_t>(length, reader.size() - pos);
        section.marker = marker;
        section.size = length;
        section.fileOffset = static_cast<std::int64_t>(start);
        section.dataOffset = static_cast<std::int64_t>(pos);
        section.storedLength = static_cast<std::int64_t>(stored);
        section.data.assign(reader.bytes(pos, stored));
        section.data.resize(length, '\0');
        pos += stored;
        // Cut short by the end of the file: kept with its declared size, not examined; the next marker read ends
        // the scan.
        if (stored < length) continue;

        // Every section kept is looked at, wherever it stands among them.
        switch (marker) {
            case 0xD9:  // end of image
            case 0xDA:  // start of scan: its header is the last section kept
                return hasAnyMetadata();
            case 0xE0:
                app0Index_ = index;
                break;
            case 0xE1:
                // Only an APP1 that says "Exif" holds EXIF data; any other (XMP, extended XMP) is an ordinary
                // section, copied as it is.
                if (isExifPayload(section.data)) addExifSection(index);
                break;
            case 0xED:
                if (iptcIndex_ < 0) {
                    iptcIndex_ = index;
                    iptc_ = std::make_unique<IptcData>(this);
                }
                break;
            case 0xFE:
                commentIndex_ = index;
                break;
            default:
                break;
        }
    }
    return hasAnyMetadata();
}

std::int64_t ImgData::scanOffset() const {
    if (tiffMode_ || sectionCount_ == 0) return -1;
    const JpegSection& last = sections_[static_cast<std::size_t>(sectionCount_ - 1)];
    return last.marker == 0xDA ? last.fileOffset : -1;
}

void ImgData::addExifSection(int index) {
    JpegSection& section = sections_[static_cast<std::size_t>(index)];
    if (exifIndex_ < 0) {
        exifIndex_ = index;
        exif_ = std::make_unique<ImageInfo>(this, buildCode_);
        exif_->dateTarget = &section.data;
        block.view(section.data);
        decodeExifBlock();
        return;
    }
    // A later EXIF section (some cameras and editors write two): walked for its dates alone, which move with the
    // first section's. A failure in it costs only its own dates.
    ExtraExif extra{index, std::make_unique<ImageInfo>(nullptr, 0)};
    extra.info->dateTarget = &section.data;
    try {
        bool order = false;
        walkExifSection(*extra.info, section.data, section.size, order);
    } catch (const std::exception& failure) {
        extra.info->walkFailures.emplace_back(failure.what());
    }
    extraExif_.push_back(std::move(extra));
}

void ImgData::decodeExifBlock() {
    if (!exif_) exif_ = std::make_unique<ImageInfo>(this, buildCode_);
    const JpegSection* section = exifSection();
    const std::int64_t size = section ? section->size : static_cast<std::int64_t>(block.size());
    if (const char* failure = walkExifSection(*exif_, block, size, bigEndian)) {
        statusText_ = failure;
        return;
    }
    exif_->addFocalLength35mm();
}

bool ImgData::patchSection(std::uint64_t offset, std::string_view bytes) {
    for (int i = 0; i < sectionCount_; ++i) {
        JpegSection& section = sections_[static_cast<std::size_t>(i)];
        const auto stored = static_cast<std::uint64_t>(
            std::clamp<std::int64_t>(section.storedLength, 0, static_cast<std::int64_t>(section.data.size())));
        const auto start = static_cast<std::uint64_t>(section.dataOffset);
        if (tiffMode_ || section.dataOffset < 0 || offset < start || offset - start > stored ||
            bytes.size() > stored - (offset - start)) {
            continue;
        }
        section.data.replace(static_cast<std::size_t>(offset - start), bytes.size(), bytes);
        patched_[static_cast<std::size_t>(i)] = true;
        return true;
    }
    return false;
}

bool ImgData::readTiff(std::string_view fileBytes) {
    tiffMode_ = true;
    struct ModeReset {
        bool& mode;
        ~ModeReset() { mode = false; }
    } reset{tiffMode_};
    try {
        const std::string_view order = fileBytes.substr(0, 2);
        if (order != "II" && order != "MM") return false;
        if (fileBytes.size() < 8) return false;  // byte order, magic number and first offset are not all there

        JpegSection& section = sections_[0];
        const std::size_t stored = std::min<std::size_t>(fileBytes.size() - 8, kTiffBlockLength);
        section.data.assign(fileBytes.substr(8, stored));
        section.data.resize(static_cast<std::size_t>(kTiffBlockLength), '\0');
        section.marker = 0;
        section.size = 0;
        section.fileOffset = 8;
        section.dataOffset = 8;
        section.storedLength = static_cast<std::int64_t>(stored);
        sectionCount_ = 1;
        exifIndex_ = 0;

        exif_ = std::make_unique<ImageInfo>(this, buildCode_);
        exif_->tiffMode = true;
        exif_->trace.clear();
        exif_->block.view(section.data);
        block.view(section.data);
        bigEndian = order == "MM";
        exif_->bigEndian = bigEndian;
        // The first directory is taken to follow the 8-byte header, whatever the header's offset says.
        exif_->walkDirectory(1, -7, kTiffBlockLength, kMainDirectory);
        exif_->addFocalLength35mm();
        return true;
    } catch (const std::exception& failure) {
        diagnostic_ = failure.what();
        return false;
    }
}

std::optional<ThumbnailPlace> exifThumbnailOf(const ImgData& data, ImageInfo& exif) {
    // The IFD1 thumbnail's offset (counted from the TIFF header) and length tags; the TIFF header of an EXIF APP1
    // section follows the length field and "Exif\0\0".
    constexpr std::uint16_t kOffsetTag = 0x0201;
    constexpr std::uint16_t kLengthTag = 0x0202;
    constexpr std::int64_t kTiffHeaderInSection = 8;
    const JpegSection* section = data.exifSection();
    if (section == nullptr || data.tiffMode()) return std::nullopt;
    if (exif.thumbEntries.empty() && exif.nextDirOffset > 0) {
        // The thumbnail directory, when the reader did not walk it, walked for its entries.
        try {
            exif.walkDirectory(static_cast<std::int64_t>(exif.nextDirOffset) + 9, 9, section->size - 6,
                               kThumbnailDirectory);
        } catch (const std::exception&) {
            return std::nullopt;  // no thumbnail that can be trusted
        }
    }
    double offset = -1;
    double length = 0;
    for (const TagEntry& entry : exif.thumbEntries) {
        if (entry.tag == kOffsetTag) offset = numericValue(entry.rawBytes, entry.format, exif.bigEndian);
        if (entry.tag == kLengthTag) length = numericValue(entry.rawBytes, entry.format, exif.bigEndian);
    }
    const std::int64_t tiffBytes = section->storedLength - kTiffHeaderInSection;
    if (offset < 0 || length <= 0 || offset + length > static_cast<double>(tiffBytes)) return std::nullopt;
    return ThumbnailPlace{section->dataOffset + kTiffHeaderInSection + static_cast<std::int64_t>(offset),
                          static_cast<std::int64_t>(length)};
}

}  // namespace morrowtide::meta
