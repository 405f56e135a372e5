// SPDX-License-Identifier: GPL-3.0-or-later
#include "meta/jpeg_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "meta/byte_reader.h"
#include "meta/formats/jpeg_markers.h"

namespace morrowtide::meta {

namespace {

// A source range [begin, end) the output does not copy: the header has already written it (no replacement), or
// it is written in place as `replacement`, a section of the same length whose dates were moved.
struct Range {
    std::size_t begin;
    std::size_t end;
    std::string_view replacement;
};

void appendSection(std::string& out, const JpegSection& section) {
    out += '\xFF';
    out += static_cast<char>(section.marker);
    out += section.data;
}

// Start-of-image and the header sections, as the output begins.
std::string headerBytes(const ImgData& data) {
    std::string out("\xFF\xD8", 2);
    if (const JpegSection* exif = data.exifSection()) {
        appendSection(out, *exif);
    } else if (const JpegSection* app0 = data.app0Section()) {
        appendSection(out, *app0);
    } else {
        out += kDefaultJfifSegment;
    }
    if (const JpegSection* iptc = data.iptcSection()) appendSection(out, *iptc);
    if (const JpegSection* comment = data.commentSection()) appendSection(out, *comment);
    return out;
}

WriteError changedAfterReading(const ImgData& data) {
    return WriteError("Cannot open file \"" + data.sourcePath() + "\". The file was changed after it was read.");
}

// Where `section` stands in `source`, checked against what the container read there: the header and the copy
// must describe the same file, or the output could lose a section or carry one twice.
Range locate(const ImgData& data, const JpegSection& section, std::string_view source, bool contentChanged) {
    const ByteReader reader(source, true);
    const bool consistent = [&] {
        if (section.fileOffset < 2 || section.dataOffset <= section.fileOffset || section.storedLength < 2 ||
            section.endOffset() > static_cast<std::int64_t>(source.size())) {
            return false;
        }
        const auto dataOffset = static_cast<std::size_t>(section.dataOffset);
        const auto stored = static_cast<std::size_t>(section.storedLength);
        if (reader.u8(dataOffset - 1) != section.marker || stored > section.data.size()) return false;
        // The EXIF section's dates were changed in place; its length field still has to agree.
        const std::size_t compared = contentChanged ? 2 : stored;
        return reader.bytes(dataOffset, compared) == std::string_view(section.data).substr(0, compared);
    }();
    if (!consistent) throw changedAfterReading(data);
    return {static_cast<std::size_t>(section.fileOffset), static_cast<std::size_t>(section.endOffset()), {}};
}

// The source ranges the output does not copy as they are, in file order.
std::vector<Range> rewrittenRanges(const ImgData& data, std::string_view source) {
    if (!data.headerRefusal().empty()) throw WriteError(data.headerRefusal());
    std::vector<Range> ranges;
    const JpegSection* exif = data.exifSection();
    if (exif != nullptr) ranges.push_back(locate(data, *exif, source, true));
    // The header writes the kept APP0 only where there is no EXIF section; then that APP0 goes where it stood.
    // Beside an EXIF section only an APP0 right after the start of the image gives way; one anywhere else stays.
    int app0 = data.app0SectionIndex();
    if (exif != nullptr) app0 = data.sectionCount() > 0 && data.section(0).marker == 0xE0 ? 0 : -1;
    // Written from memory: an APP13 whose IPTC dates were moved differs from the file in its date characters.
    std::vector<int> written{data.exifSectionIndex()};
    for (const int index : {app0, data.iptcSectionIndex(), data.commentSectionIndex()}) {
        if (index < 0) continue;
        ranges.push_back(locate(data, data.section(index), source, data.sectionPatched(index)));
        written.push_back(index);
    }
    // Further EXIF sections, and sections whose date copies (XMP, IPTC) were moved, stay where they stood with the
    // bytes changed in memory: the same length, other date characters.
    const auto inPlace = [&](int index) {
        const JpegSection& section = data.section(index);
        const Range whole = locate(data, section, source, true);
        const auto stored = static_cast<std::size_t>(section.storedLength);
        ranges.push_back({static_cast<std::size_t>(section.dataOffset), whole.end,
                          std::string_view(section.data).substr(0, stored)});
        written.push_back(index);
    };
    for (int i = 0; i < data.extraExifCount(); ++i) inPlace(data.extraExifSectionIndex(i));
    for (int index = 0; index < data.sectionCount(); ++index) {
        if (data.sectionPatched(index) && std::find(written.begin(), written.end(), index) == written.end()) {
            inPlace(index);
        }
    }
    std::sort(ranges.begin(), ranges.end(), [](const Range& a, const Range& b) { return a.begin < b.begin; });
    return ranges;
}

// The output from the end of the header on, as far as the bytes in `source` reach: what lies between the ranges,
// and the replacements. Answers the source position up to which the output is made.
std::size_t appendUpToLastRange(std::string& out, std::string_view source, const std::vector<Range>& ranges) {
    std::size_t copied = std::min<std::size_t>(2, source.size());  // the start-of-image marker is written
    for (const Range& range : ranges) {
        if (range.begin > copied) out += source.substr(copied, range.begin - copied);
        out += range.replacement;
        copied = std::max(copied, range.end);
    }
    return copied;
}

// How much of the image data is read back from the output and compared before it is published: where the rebuilt
// header meets the data any fault in the layout shows.
constexpr std::size_t kCheckedScanBytes = 4096;
constexpr int kStartOfScan = 0xDA;

// Where the image data starts: the first scan at or after `from`, the sections walked as the header reader walks
// them; `read(pos, length)` gives the source's bytes (fewer at its end). Where the walk ends before a scan (a length
// field below 2, the end of the image, the end of the file), the place it ended: no section the header keeps lies
// beyond it, so every byte from there on must be copied as it stands, the image data among them. nullopt only where
// the walk cannot tell which bytes are sections.
template <typename Read>
std::optional<std::uint64_t> walkToImageData(std::uint64_t from, const Read& read) {
    std::uint64_t pos = from;
    std::string window;
    for (;;) {
        const JpegMarker found = nextJpegMarkerAt(pos, read, window);
        if (found.status == JpegMarker::Status::EndOfBytes) return pos + found.stray;
        if (found.status != JpegMarker::Status::Found) return std::nullopt;
        if (found.marker == kStartOfScan || found.marker == 0xD9 || found.code + 3 > window.size()) {
            return pos + found.at;
        }
        const ByteReader reader(window, true);
        const std::uint16_t length = reader.u16(found.code + 1);
        if (length < 2) return pos + found.at;
        pos += found.code + 1 + length;
    }
}

ImageDataNotKept scanNotFound(const ImgData& data) {
    return ImageDataNotKept("\"" + data.sourcePath() +
                            "\" was not written: the start of its image data could not be found, so the copy "
                            "could not be checked.");
}

ImageDataNotKept scanNotKept(const ImgData& data) {
    return ImageDataNotKept("\"" + data.sourcePath() +
                            "\" was not written: its image data would not have been copied unchanged.");
}

// Where the image data starts in the source whose first bytes are `prefix` (all of it when `source` is null).
std::uint64_t imageDataStart(const ImgData& data, std::string_view prefix, const SourceFile* source) {
    if (data.scanOffset() >= 0) return static_cast<std::uint64_t>(data.scanOffset());
    // The header read stopped before the scan (more sections than it keeps): the walk goes on in the file.
    std::uint64_t from = 2;
    if (data.sectionCount() > 0) from = static_cast<std::uint64_t>(data.section(data.sectionCount() - 1).endOffset());
    const auto read = [&](std::uint64_t pos, std::size_t length) {
        std::string bytes;
        if (source == nullptr) {
            if (pos < prefix.size()) bytes.assign(prefix.substr(static_cast<std::size_t>(pos), length));
        } else if (source->readAt(static_cast<std::int64_t>(pos), length, bytes) < 0) {
            throw WriteError("Cannot open file \"" + data.sourcePath() + "\". " + std::strerror(errno));
        }
        return bytes;
    };
    const std::optional<std::uint64_t> scan = walkToImageData(from, read);
    if (!scan) throw scanNotFound(data);
    return *scan;
}

// The rebuilt part of the output ends at `rest`, past every range it rewrote; it must end before the image data
// starts, so that every byte from there on is copied as it stands.
void checkLayout(const ImgData& data, std::size_t rest, std::uint64_t scan) {
    if (rest > scan) throw scanNotKept(data);
}

}  // namespace

void checkImageDataKept(const ImgData& data, const SafeFileWriter& out, std::int64_t outputScan,
                        std::string_view sourceScan, std::int64_t scanLength) {
    std::string written;
    const std::size_t wanted = std::min<std::size_t>(sourceScan.size(), kCheckedScanBytes);
    out.readAt(outputScan, wanted, written);
    // The output must end where the source's image data ends: its last byte is there, and no byte after it.
    std::string last;
    const bool endsThere = scanLength <= 0 || out.readAt(outputScan + scanLength - 1, 2, last) == 1;
    if (written != sourceScan.substr(0, wanted) || !endsThere) {
        throw scanNotKept(data);
    }
}

std::string readSourceFile(const std::string& path) {
    const auto cannotOpen = [&path](int error) {
        return WriteError("Cannot open file \"" + path + "\". " + std::strerror(error));
    };
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw cannotOpen(errno);
    std::string bytes;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            const int error = errno;
            ::close(fd);
            throw cannotOpen(error);
        }
        if (got == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return bytes;
}

void saveCorrectedJpeg(const ImgData& data, const OutputTarget& outPath) {
    const std::string source = readSourceFile(data.sourcePath());
    saveCorrectedJpeg(data, source, outPath);
}

void saveCorrectedJpeg(const ImgData& data, std::string_view sourceBytes, const OutputTarget& outPath) {
    validateJpegHeader(sourceBytes);
    writeJpegTo(data, sourceBytes, outPath);
}

void saveCorrectedJpeg(const ImgData& data, const SourceFile& source, const OutputTarget& outPath,
                       const KernelCopy& kernelCopy) {
    if (!source.isOpen()) {
        throw WriteError("Cannot open file \"" + data.sourcePath() + "\". " + std::strerror(EBADF));
    }
    // A small file was read whole: nothing left to copy.
    if (data.sourceComplete()) {
        saveCorrectedJpeg(data, data.sourceBytes(), outPath);
        return;
    }
    if (!data.headerRefusal().empty()) throw WriteError(data.headerRefusal());
    std::optional<JpegRefusal> refusal = jpegPrefixRefusal(data.sourceBytes());
    // The header reader went past the sections the container read (more sections than it keeps, or bytes the scan
    // takes for a marker): the file itself is read, a piece at a time.
    if (!refusal) refusal = jpegFileRefusal(source);
    if (refusal->code != 0) throw JpegError(refusal->code, std::move(refusal->words));
    writeJpegTo(data, source, outPath, kernelCopy);
}

void writeJpegTo(const ImgData& data, std::string_view sourceBytes, const OutputTarget& outPath) {
    // Located before the output is created, so a mismatch leaves nothing behind.
    const std::vector<Range> ranges = rewrittenRanges(data, sourceBytes);
    const std::uint64_t scan = imageDataStart(data, sourceBytes, nullptr);
    std::string head = headerBytes(data);
    const std::size_t copied = appendUpToLastRange(head, sourceBytes, ranges);
    checkLayout(data, copied, scan);
    SafeFileWriter out(outPath);
    out.write(head);
    if (copied < sourceBytes.size()) out.write(sourceBytes.substr(copied));
    const std::string_view image = sourceBytes.substr(static_cast<std::size_t>(scan));
    checkImageDataKept(data, out, static_cast<std::int64_t>(head.size() + (scan - copied)),
                       image.substr(0, kCheckedScanBytes), static_cast<std::int64_t>(image.size()));
    out.commit();
}

void writeJpegTo(const ImgData& data, const SourceFile& source, const OutputTarget& outPath,
                 const KernelCopy& kernelCopy) {
    // The sections are located in the bytes read, and those only stand for the file while it is unchanged.
    const std::string_view prefix = data.sourceBytes();
    const std::vector<Range> ranges = rewrittenRanges(data, prefix);
    if (!source.unchanged()) throw changedAfterReading(data);
    const std::int64_t size = source.size();

    // The output up to the end of the last range: the header, then the bytes between the ranges and the
    // replacements, all of them in the bytes read. After it comes the rest of the file from `rest` on.
    std::string head = headerBytes(data);
    const std::size_t rest = appendUpToLastRange(head, prefix, ranges);
    const std::uint64_t scan = imageDataStart(data, prefix, &source);
    checkLayout(data, rest, scan);
    if (scan > static_cast<std::uint64_t>(size)) throw scanNotFound(data);
    // The bytes read hold the start of the image data (the scan header at least) unless the header reader stopped
    // before it; only then is the file read for them.
    std::string image;
    if (scan < prefix.size()) {
        image.assign(prefix.substr(static_cast<std::size_t>(scan), kCheckedScanBytes));
    } else if (source.readAt(static_cast<std::int64_t>(scan), kCheckedScanBytes, image) < 0) {
        throw WriteError("Cannot open file \"" + data.sourcePath() + "\". " + std::strerror(errno));
    }

    SafeFileWriter out(outPath);
    try {
        if (static_cast<std::int64_t>(head.size()) == static_cast<std::int64_t>(rest) &&
            static_cast<std::int64_t>(rest) <= size) {
            // The usual photo: the output is as long as the source and differs only before `rest`. Copying the
            // whole file from its first byte lets the kernel move whole pages, markedly cheaper than a copy that
            // starts within a page; the new beginning is then written over the old.
            out.copyFrom(source, 0, size, kernelCopy);
            out.writeAt(0, head);
        } else {
            out.write(head);
            const auto from = static_cast<std::int64_t>(rest);
            if (from < size) out.copyFrom(source, from, size - from, kernelCopy);
        }
    } catch (const WriteError&) {
        // A copy that ended early because the file shrank is a changed file, not a failed write.
        if (!source.unchanged()) throw changedAfterReading(data);
        throw;
    }
    // Changed while it was being copied: the output could be a mix of old and new.
    if (!source.unchanged()) throw changedAfterReading(data);
    checkImageDataKept(data, out, static_cast<std::int64_t>(head.size() + (scan - rest)), image,
                       size - static_cast<std::int64_t>(scan));
    out.commit();
}

}  // namespace morrowtide::meta
