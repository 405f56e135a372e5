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

namespace morrowtide::meta {

namespace {

// A source range [begin, end) the header has already written.
struct Range {
    std::size_t begin;
    std::size_t end;
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
    return {static_cast<std::size_t>(section.fileOffset), static_cast<std::size_t>(section.endOffset())};
}

// The source ranges to leave out, in file order.
std::vector<Range> rewrittenRanges(const ImgData& data, std::string_view source) {
    std::vector<Range> ranges;
    if (const JpegSection* exif = data.exifSection()) ranges.push_back(locate(data, *exif, source, true));
    for (const JpegSection* section : {data.app0Section(), data.iptcSection(), data.commentSection()}) {
        if (section != nullptr) ranges.push_back(locate(data, *section, source, false));
    }
    std::sort(ranges.begin(), ranges.end(), [](const Range& a, const Range& b) { return a.begin < b.begin; });
    return ranges;
}

}  // namespace

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
    std::optional<JpegRefusal> refusal = jpegPrefixRefusal(data.sourceBytes());
    if (!refusal) {
        // The header reader went past the sections the container read (it skips bytes the scan takes for a
        // marker): only the whole file can tell.
        std::string whole;
        if (source.readAt(0, static_cast<std::size_t>(source.size()), whole) < 0) {
            throw WriteError("Cannot open file \"" + data.sourcePath() + "\". " + std::strerror(errno));
        }
        refusal = jpegHeaderRefusal(whole);
    }
    if (refusal->code != 0) throw JpegError(refusal->code, std::move(refusal->words));
    writeJpegTo(data, source, outPath, kernelCopy);
}

void writeHeaderSections(const ImgData& data, SafeFileWriter& out) {
    out.write(headerBytes(data));
}

void writeJpegTo(const ImgData& data, std::string_view sourceBytes, const OutputTarget& outPath) {
    // Located before the output is created, so a mismatch leaves nothing behind.
    const std::vector<Range> leftOut = rewrittenRanges(data, sourceBytes);
    SafeFileWriter out(outPath);
    writeHeaderSections(data, out);
    std::size_t copied = std::min<std::size_t>(2, sourceBytes.size());  // the start-of-image marker is written
    for (const Range& range : leftOut) {
        if (range.begin > copied) out.write(sourceBytes.substr(copied, range.begin - copied));
        copied = std::max(copied, range.end);
    }
    if (copied < sourceBytes.size()) out.write(sourceBytes.substr(copied));
    out.commit();
}

void writeJpegTo(const ImgData& data, const SourceFile& source, const OutputTarget& outPath,
                 const KernelCopy& kernelCopy) {
    // The sections are located in the bytes read, and those only stand for the file while it is unchanged.
    const std::string_view prefix = data.sourceBytes();
    const std::vector<Range> leftOut = rewrittenRanges(data, prefix);
    if (!source.unchanged()) throw changedAfterReading(data);
    const std::int64_t size = source.size();

    // The output up to the end of the last section left out: the header, then the bytes between the sections left
    // out, all of them in the bytes read. After it comes the rest of the file from `rest` on.
    std::string head = headerBytes(data);
    std::size_t rest = std::min<std::size_t>(2, prefix.size());  // the start-of-image marker is written
    for (const Range& range : leftOut) {
        if (range.begin > rest) head += prefix.substr(rest, range.begin - rest);
        rest = std::max(rest, range.end);
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
    out.commit();
}

}  // namespace morrowtide::meta
