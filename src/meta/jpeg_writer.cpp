#include "meta/jpeg_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "meta/byte_reader.h"

namespace morrowtide::meta {

namespace {

// A source range [begin, end) the header has already written.
struct Range {
    std::size_t begin;
    std::size_t end;
};

void writeSection(SafeFileWriter& out, const JpegSection& section) {
    const char marker[2] = {'\xFF', static_cast<char>(section.marker)};
    out.write(std::string_view(marker, 2));
    out.write(section.data);
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
    if (!consistent) {
        throw WriteError("Cannot open file \"" + data.sourcePath() + "\". The file was changed after it was read.");
    }
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

void saveCorrectedJpeg(const ImgData& data, const std::string& outPath) {
    const std::string source = readSourceFile(data.sourcePath());
    saveCorrectedJpeg(data, source, outPath);
}

void saveCorrectedJpeg(const ImgData& data, std::string_view sourceBytes, const std::string& outPath) {
    validateJpegHeader(sourceBytes);
    writeJpegTo(data, sourceBytes, outPath);
}

void writeHeaderSections(const ImgData& data, SafeFileWriter& out) {
    out.write(std::string_view("\xFF\xD8", 2));
    if (const JpegSection* exif = data.exifSection()) {
        writeSection(out, *exif);
    } else if (const JpegSection* app0 = data.app0Section()) {
        writeSection(out, *app0);
    } else {
        out.write(kDefaultJfifSegment);
    }
    if (const JpegSection* iptc = data.iptcSection()) writeSection(out, *iptc);
    if (const JpegSection* comment = data.commentSection()) writeSection(out, *comment);
}

void writeJpegTo(const ImgData& data, std::string_view sourceBytes, const std::string& outPath) {
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

}  // namespace morrowtide::meta
