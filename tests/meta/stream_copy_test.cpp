// SPDX-License-Identifier: GPL-3.0-or-later
// The batch run's read and write of a large photo: only the sections up to the first scan header are read, the JPEG
// header is checked from them, and the rest is copied file to file from the same open file. Whatever is read and
// written must be exactly what reading and writing the whole file in memory gives.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <jerror.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "meta/jpeg_validate.h"
#include "meta/jpeg_writer.h"
#include "support/exif_builder.h"
#include "support/file_size_limit.h"
#include "support/raised.h"
#include "support/run_shift.h"

namespace morrowtide::meta {
namespace {

namespace fs = std::filesystem;
using morrowtide::test::messageOf;
using morrowtide::test::readFile;
using test::FileSizeLimit;
using test::JpegBuilder;
using test::TempDir;
using test::TiffBuilder;

std::vector<std::string> folderEntries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Bytes that never hold 0xFF (like entropy-coded data after stuffing is undone), so nothing in them looks like a
// marker: `length` of them, varied by `seed`.
std::string scanBytes(std::size_t length, unsigned seed = 1) {
    std::string bytes(length, '\0');
    unsigned value = seed;
    for (char& c : bytes) {
        value = value * 1103515245u + 12345u;
        c = static_cast<char>((value >> 16) % 255);
    }
    return bytes;
}

std::string exifTiff() {
    TiffBuilder tiff;
    const auto ifd0 = tiff.directory();
    tiff.ascii(ifd0, 0x010F, "Canon");
    tiff.ascii(ifd0, 0x0132, "2005:12:31 23:30:00");
    return tiff.build();
}

std::string section(std::uint8_t marker, std::size_t payloadLength, char fill) {
    return JpegBuilder(false).segment(marker, std::string(payloadLength, fill)).build();
}

// Everything the scan of a file leaves in the container, as text.
std::string describe(const ImgData& data, bool result) {
    std::ostringstream out;
    out << "result " << result << " status '" << data.statusText() << "' diagnostic '" << data.diagnostic()
        << "' sections " << data.sectionCount() << " exif " << data.exifSectionIndex() << " iptc "
        << data.iptcSectionIndex() << " comment " << data.commentSectionIndex() << " app0 " << data.app0SectionIndex()
        << " size " << data.sourceSize() << " refusal '" << data.headerRefusal() << "'\n";
    for (int i = 0; i < data.sectionCount(); ++i) {
        const JpegSection& s = data.section(i);
        out << i << ": marker " << s.marker << " size " << s.size << " at " << s.fileOffset << "/" << s.dataOffset
            << " stored " << s.storedLength << " data " << std::hash<std::string>()(s.data) << "\n";
    }
    if (data.exif() != nullptr) out << "trace " << data.exif()->trace << "\n";
    return out.str();
}

// A file to read both ways and what its first bytes must be cut to (0: read whole).
struct Source {
    std::string name;
    std::string bytes;
    std::size_t prefix;
};

// The start of the scan data: SOI ... SOS header of the tiny image, after `header`.
std::size_t scanStart(const std::string& bytes) {
    const std::size_t sos = bytes.find(std::string("\xFF\xDA", 2));
    return sos + 2 + static_cast<unsigned char>(bytes[sos + 2]) * 256u + static_cast<unsigned char>(bytes[sos + 3]);
}

std::vector<Source> largeSources() {
    const std::string soi = "\xFF\xD8";
    const std::string exif = JpegBuilder(false).app1Exif(exifTiff()).build();
    const std::string image = JpegBuilder(false).imageData().build();
    const std::string tail = scanBytes(300000);
    const auto withPrefix = [&](std::string name, std::string header) {
        std::string bytes = header + image + tail;
        const std::size_t prefix = scanStart(bytes);
        return Source{std::move(name), std::move(bytes), prefix};
    };
    std::vector<Source> sources = {
        withPrefix("camera", soi + JpegBuilder(false).app0Jfif().build() + exif),
        // Sections beyond the first piece read: the reading goes on for them.
        withPrefix("header_of_180k",
                   soi + exif + section(0xE2, 60000, 'a') + section(0xE2, 60000, 'b') + section(0xE2, 60000, 'c')),
        withPrefix("no_metadata", soi + section(0xE2, 100, 'x') + section(0xE2, 100, 'y')),
    };
    // More sections than the container keeps: only the 20 it keeps are read, the rest is left to the copy.
    std::string many;
    for (int i = 0; i < 30; ++i) {
        many += section(0xE2, 3000, static_cast<char>('a' + i));
        if (i == ImgData::kMaxSections - 2) sources.push_back({"thirty_sections", {}, soi.size() + exif.size() + many.size()});
    }
    sources.back().bytes = soi + exif + many + image + tail;
    // A run of fill bytes longer than the reader takes: read no further than the bound.
    sources.push_back({"long_fill", soi + exif + std::string(3 * ImgData::kMaxFillBytes, '\xFF') + image + tail,
                       soi.size() + exif.size() + ImgData::kMaxFillBytes + 1});
    // The scan header ending just before, at and after the end of the first piece.
    for (int shift = -3; shift <= 3; ++shift) {
        const std::string head = soi + exif;
        const std::size_t sosAndTables = scanStart(image);
        const auto fill = static_cast<std::size_t>(static_cast<long>(ImgData::kFirstReadLength) + shift -
                                                   static_cast<long>(head.size() + sosAndTables) - 4);
        Source source = withPrefix("boundary" + std::to_string(shift), head + section(0xE2, fill, 'p'));
        EXPECT_EQ(static_cast<long>(source.prefix), static_cast<long>(ImgData::kFirstReadLength) + shift);
        sources.push_back(std::move(source));
    }
    // Bytes of no section and no scan header before the file ends (read no further than the bound for such bytes),
    // a file that is no JPEG, a cut section, a section too short for itself.
    sources.push_back({"no_scan", soi + exif + std::string(200000, ' '), soi.size() + exif.size() + kMaxJpegStrayBytes + 1});
    sources.push_back({"not_jpeg", "GIF89a" + scanBytes(200000), 2});
    sources.push_back({"cut_section",
                       soi + exif + section(0xE2, 60000, 'q') +
                           JpegBuilder(false).segmentWithLength(0xE2, 65000, "x").build() + scanBytes(30000),
                       0});
    std::string tooShort = soi + exif + JpegBuilder(false).segmentWithLength(0xE2, 1, "").build() + image + tail;
    sources.push_back({"length_below_two", tooShort, 2 + exif.size() + 4});
    return sources;
}

TEST(PrefixRead, ScansExactlyAsTheWholeFileAndKeepsOnlyTheHeader) {
    const TempDir dir;
    for (const Source& source : largeSources()) {
        SCOPED_TRACE(source.name);
        const std::string path = dir.write(source.name + ".jpg", source.bytes);
        ImgData fromPrefix, whole;
        SourceFile file;
        const bool prefixResult = fromPrefix.readImageFile(path, file);
        const bool wholeResult = whole.readImageBytes(path, source.bytes);
        EXPECT_EQ(describe(fromPrefix, prefixResult), describe(whole, wholeResult));
        EXPECT_TRUE(file.isOpen());
        EXPECT_EQ(file.size(), static_cast<std::int64_t>(source.bytes.size()));
        if (source.prefix == 0) {
            EXPECT_TRUE(fromPrefix.sourceComplete());
            EXPECT_EQ(fromPrefix.sourceBytes(), source.bytes);
        } else {
            EXPECT_FALSE(fromPrefix.sourceComplete());
            EXPECT_EQ(fromPrefix.sourceBytes(), source.bytes.substr(0, source.prefix));
        }
        // The same without keeping the file open.
        ImgData closed;
        EXPECT_EQ(describe(closed, closed.readImageFile(path)), describe(whole, wholeResult));
    }
}

TEST(PrefixRead, SmallFilesAreReadWholeAndUnreadableOnesLeaveNothingOpen) {
    const TempDir dir;
    const std::string small = JpegBuilder().app1Exif(exifTiff()).imageData().build();
    ImgData data;
    SourceFile file;
    ASSERT_TRUE(data.readImageFile(dir.write("small.jpg", small), file));
    EXPECT_TRUE(data.sourceComplete());
    EXPECT_EQ(data.sourceBytes(), small);
    EXPECT_TRUE(file.isOpen());

    // Reading the next file closes the last one first.
    EXPECT_FALSE(data.readImageFile((dir.path() / "missing.jpg").string(), file));
    EXPECT_FALSE(file.isOpen());
    fs::create_directory(dir.path() / "folder.jpg");
    EXPECT_FALSE(data.readImageFile((dir.path() / "folder.jpg").string(), file));
    EXPECT_FALSE(file.isOpen());
    EXPECT_TRUE(data.sourceBytes().empty());
}

TEST(PrefixValidate, AnyPrefixGivesTheWholeFilesVerdictOrAsksForMore) {
    const std::string good = JpegBuilder().app0Jfif().app1Exif(exifTiff()).imageData().build() + scanBytes(1000);
    const std::string noFrame = JpegBuilder().app1Exif(exifTiff()).dqt().raw("\xFF\xD9").build();
    // A bad frame header: zero components.
    const std::string badFrame =
        JpegBuilder().app1Exif(exifTiff()).segment(0xC0, std::string("\x08\x00\x08\x00\x08\x00", 6)).build() +
        JpegBuilder(false).imageData().build();
    for (const std::string& file : {good, noFrame, badFrame, std::string("GIF89a and some more text")}) {
        const int whole = jpegHeaderErrorCode(file);
        bool answered = false;
        for (std::size_t length = 0; length <= file.size(); ++length) {
            const std::optional<int> code = jpegPrefixErrorCode(std::string_view(file).substr(0, length));
            if (!code) continue;
            EXPECT_EQ(*code, whole) << "prefix of " << length << " bytes";
            answered = true;
        }
        EXPECT_TRUE(answered);
    }
    EXPECT_NE(jpegHeaderErrorCode(badFrame), 0);
    // The prefix the reader keeps is always enough for a verdict.
    EXPECT_EQ(jpegPrefixErrorCode(std::string_view(good).substr(0, scanStart(good))), 0);
    EXPECT_EQ(jpegPrefixErrorCode("GI"), JERR_NO_SOI);
    EXPECT_EQ(jpegPrefixErrorCode(""), std::nullopt);
}

// Each layout of the writer's tests, grown past the first piece read: the sections, and the image with 300 KB of
// scan data.
std::vector<std::pair<std::string, std::string>> writerLayouts() {
    const std::string exif = JpegBuilder(false).app1Exif(exifTiff()).build();
    const std::string app0 = JpegBuilder(false).app0Jfif().build();
    const std::string app2 = JpegBuilder(false).app2().build();
    const std::string app13 = JpegBuilder(false).app13().build();
    const std::string com = JpegBuilder(false).comment("a comment").build();
    const std::string xmp = JpegBuilder(false).app1Xmp().build();
    const std::string image = JpegBuilder(false).imageData().build() + scanBytes(300000, 7);
    const std::string soi = "\xFF\xD8";
    return {
        {"exif", soi + exif + image},
        {"app0_exif", soi + app0 + exif + image},
        {"app0_only", soi + app0 + image},
        {"bare", soi + image},
        {"app0_exif_iptc_comment", soi + app0 + exif + app13 + com + image},
        {"comment_only", soi + com + image},
        {"exif_app2_iptc", soi + exif + app2 + app13 + image},
        {"exif_app0", soi + exif + app0 + image},
        {"comment_exif", soi + com + exif + image},
        {"iptc_app0", soi + app13 + app0 + image},
        {"exif_xmp", soi + exif + xmp + image},
        {"xmp_first", soi + xmp + app13 + image},
        // Bytes the scan takes for a marker and the JPEG library skips: the header check needs the whole file.
        {"stray_bytes_after_exif", soi + exif + std::string("\xDA\x00\x02", 3) + image},
        {"big_header", soi + app0 + exif + section(0xE2, 65000, 'm') + section(0xE2, 65000, 'n') + com + image},
        // A second EXIF section is written in place with its dates moved.
        {"xmp_exif_app2_exif", soi + xmp + exif + app2 + exif + image},
        // More sections than the container keeps: the header check reads the file itself, a piece at a time.
        {"thirty_sections", soi + exif + [] {
             std::string many;
             for (int i = 0; i < 30; ++i) many += section(0xE2, 5000, static_cast<char>('a' + i));
             return many;
         }() + com + image},
    };
}

// The kernel copy refused as across file systems.
ssize_t refuseAsOtherFileSystem(int, off_t*, int, std::size_t) {
    errno = EXDEV;
    return -1;
}

// The kernel copy doing a little at a time, then stopping short of the end.
KernelCopy shortCopies(int& calls) {
    return [&calls](int from, off_t* offset, int to, std::size_t length) -> ssize_t {
        if (++calls > 3) return 0;
        return ::copy_file_range(from, offset, to, nullptr, std::min<std::size_t>(length, 1000), 0);
    };
}

TEST(StreamCopy, EveryLayoutGivesTheBytesOfTheInMemoryWrite) {
    for (const auto& [name, bytes] : writerLayouts()) {
        SCOPED_TRACE(name);
        const TempDir dir;
        const std::string path = dir.write("in.jpg", bytes);
        ImgData data;
        SourceFile source;
        data.readImageFile(path, source);
        if (data.hasAnyMetadata() && data.hasExifBlock()) test::shiftExifDates(data, 0, 1);
        ASSERT_FALSE(data.sourceComplete());
        EXPECT_LT(data.sourceBytes().size(), 200000u);

        const std::string inMemory = (dir.path() / "memory.jpg").string();
        saveCorrectedJpeg(data, bytes, inMemory);
        const std::string expected = readFile(inMemory);
        ASSERT_GT(expected.size(), 300000u);

        int calls = 0;
        const std::vector<std::pair<const char*, KernelCopy>> copies = {
            {"kernel", {}}, {"exdev", refuseAsOtherFileSystem}, {"short", shortCopies(calls)}};
        for (const auto& [how, copy] : copies) {
            const std::string out = (dir.path() / (std::string(how) + ".jpg")).string();
            saveCorrectedJpeg(data, source, out, copy);
            EXPECT_EQ(readFile(out), expected) << how;
        }
        EXPECT_GT(calls, 1);
        EXPECT_EQ(folderEntries(dir.path()),
                  (std::vector<std::string>{"exdev.jpg", "in.jpg", "kernel.jpg", "memory.jpg", "short.jpg"}));
    }
}

TEST(StreamCopy, FillRunBeyondTheBoundIsRefusedWithoutAnOutput) {
    const TempDir dir;
    const std::string bytes = "\xFF\xD8" + JpegBuilder(false).app1Exif(exifTiff()).build() +
                              std::string(4 * ImgData::kMaxFillBytes, '\xFF') + writerLayouts().at(0).second.substr(3);
    const std::string path = dir.write("in.jpg", bytes);
    ImgData data;
    SourceFile source;
    data.readImageFile(path, source);
    EXPECT_LT(data.sourceBytes().size(), 2 * ImgData::kMaxFillBytes);
    const std::string out = (dir.path() / "out.jpg").string();
    try {
        saveCorrectedJpeg(data, source, out);
        ADD_FAILURE() << "no error raised";
    } catch (const WriteError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot read file \"" + path +
                                                 "\". Its JPEG header has more than 65536 fill bytes (0xFF) before "
                                                 "one marker.");
    }
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"in.jpg"});
}

TEST(StreamCopy, OverwritesTheSourceItself) {
    const TempDir dir;
    const std::string bytes = writerLayouts().at(1).second;
    const std::string path = dir.write("photo.jpg", bytes);
    ImgData data;
    SourceFile source;
    data.readImageFile(path, source);
    test::shiftExifDates(data, 0, 1);
    const std::string expected = (dir.path() / "expected.jpg").string();
    saveCorrectedJpeg(data, bytes, expected);
    saveCorrectedJpeg(data, source, path);
    EXPECT_EQ(readFile(path), readFile(expected));
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"expected.jpg", "photo.jpg"}));
}

// Run with a source as long as its output (the whole file is copied, then its beginning rewritten) and with one
// whose output is shorter (the header is written, then the rest copied).
class StreamCopyChange : public ::testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        bytes = writerLayouts().at(static_cast<std::size_t>(GetParam())).second;
        path = dir.write("photo.jpg", bytes);
        data.readImageFile(path, source);
        ASSERT_FALSE(data.sourceComplete());
        test::shiftExifDates(data, 0, 1);
        out = (dir.path() / "out.jpg").string();
    }

    std::string changedMessage() const {
        return "Cannot open file \"" + path + "\". The file was changed after it was read.";
    }
    // Nothing but the source is left: no output, no temporary file.
    void expectNothingWritten() const { EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"photo.jpg"}); }

    TempDir dir;
    std::string bytes, path, out;
    ImgData data;
    SourceFile source;
};

TEST_P(StreamCopyChange, GrownBeforeTheCopyIsRefused) {
    std::ofstream(path, std::ios::binary | std::ios::app) << "more";
    EXPECT_EQ(messageOf<WriteError>([&] { saveCorrectedJpeg(data, source, out); }), changedMessage());
    expectNothingWritten();
}

TEST_P(StreamCopyChange, RewrittenInPlaceWithTheSameSizeIsRefused) {
    std::string other = bytes;
    other[bytes.size() - 10] ^= 1;
    {
        std::ofstream rewrite(path, std::ios::binary | std::ios::trunc);
        rewrite << other;
    }
    // A rewrite within the file system's time-stamp resolution is only seen by its time: make sure it moved.
    const timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_EQ(messageOf<WriteError>([&] { saveCorrectedJpeg(data, source, out); }), changedMessage());
    expectNothingWritten();
}

TEST_P(StreamCopyChange, CutShortDuringTheCopyIsRefused) {
    const KernelCopy cutFirst = [this](int from, off_t* offset, int to, std::size_t length) -> ssize_t {
        fs::resize_file(path, bytes.size() / 2);
        return ::copy_file_range(from, offset, to, nullptr, length, 0);
    };
    EXPECT_EQ(messageOf<WriteError>([&] { saveCorrectedJpeg(data, source, out, cutFirst); }), changedMessage());
    expectNothingWritten();
}

TEST_P(StreamCopyChange, AppendedDuringTheCopyIsRefused) {
    const KernelCopy appendFirst = [this](int, off_t*, int, std::size_t) -> ssize_t {
        std::ofstream(path, std::ios::binary | std::ios::app) << "late";
        errno = EXDEV;
        return -1;
    };
    EXPECT_EQ(messageOf<WriteError>([&] { saveCorrectedJpeg(data, source, out, appendFirst); }), changedMessage());
    expectNothingWritten();
}

TEST_P(StreamCopyChange, ReplacedByAnotherFileIsCopiedFromTheFileThatWasRead) {
    // The path now names another file; the open file is still the one read, whole and unchanged.
    const std::string expected = (dir.path() / "expected.jpg").string();
    saveCorrectedJpeg(data, bytes, expected);
    fs::rename(dir.write("other.jpg", "not the photo"), path);
    saveCorrectedJpeg(data, source, out);
    EXPECT_EQ(readFile(out), readFile(expected));
}

INSTANTIATE_TEST_SUITE_P(SameAndShorterOutput, StreamCopyChange, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return writerLayouts().at(static_cast<std::size_t>(info.param)).first;
                         });

TEST_P(StreamCopyChange, FailedCopyIsAWriteErrorAndKeepsTheSource) {
    for (const KernelCopy& copy : {KernelCopy{}, KernelCopy{refuseAsOtherFileSystem}}) {
        std::string message;
        {
            FileSizeLimit limit(100000);
            ASSERT_TRUE(limit.active());
            message = messageOf<WriteError>([&] { saveCorrectedJpeg(data, source, path, copy); });
        }
        EXPECT_EQ(message, streamWriteMessage(path, EFBIG));
        EXPECT_EQ(readFile(path), bytes);
        expectNothingWritten();
    }
}

TEST(StreamCopyRefusal, HeaderRefusedFromThePrefixWritesNothing) {
    const TempDir dir;
    const std::string text = "This is a text file, not a photo.\n" + scanBytes(100000);
    const std::string tables = JpegBuilder().app1Exif(exifTiff()).dqt().raw("\xFF\xD9").build() + scanBytes(100000);
    for (const auto& [name, bytes, code] : {std::tuple<const char*, std::string, int>{"text.jpg", text, JERR_NO_SOI},
                                            {"tables.jpg", tables, JERR_NO_IMAGE}}) {
        ImgData data;
        SourceFile source;
        data.readImageFile(dir.write(name, bytes), source);
        const std::string out = (dir.path() / "out.jpg").string();
        EXPECT_EQ(messageOf<WriteError>([&] { saveCorrectedJpeg(data, source, out); }),
                  "JPEG error #" + std::to_string(code));
        EXPECT_FALSE(fs::exists(out));
    }
    // Without an open file there is nothing to copy from.
    ImgData data;
    SourceFile closed;
    data.readImageBytes("x.jpg", text);
    EXPECT_EQ(messageOf<WriteError>([&] { saveCorrectedJpeg(data, closed, (dir.path() / "out.jpg").string()); }),
              "Cannot open file \"x.jpg\". Bad file descriptor");
}

}  // namespace
}  // namespace morrowtide::meta
