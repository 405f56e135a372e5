// SPDX-License-Identifier: GPL-3.0-or-later
// The whole correction of one photo on arbitrary bytes: read them as a JPEG, shift the dates, write the corrected
// copy, read that back. Beyond not crashing, the pipeline must keep its promises:
//   - the shift changes nothing but the 19 characters at the recorded date positions, never a length;
//   - each readable date moves by exactly the offset (or stays, when the result leaves the years 1..9999);
//   - the output starts with the start-of-image marker and the shifted EXIF section, ends with every source byte
//     after the metadata sections, and when the EXIF section came first and no other section is rewritten it is
//     the source with only the date characters changed;
//   - the output reads back with the same EXIF section, the same date positions and the same dates;
//   - no output whose image data differs: the output ends with every source byte from where libjpeg's own header
//     reader starts the scan, and a source that reader refuses gets no output. The writer's own walk is not asked.
// The offset comes from a hash of the input, so that the fuzzer tries many offsets.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>
#include <string_view>

#include <jpeglib.h>

#include "meta/date_plan.h"
#include "meta/img_data.h"
#include "meta/jpeg_writer.h"
#include "meta/safe_file.h"

using morrowtide::meta::ImageInfo;
using morrowtide::meta::ImgData;
using morrowtide::meta::JpegSection;

namespace {

constexpr std::int64_t kDateLength = 19;

[[noreturn]] void broken(const char* promise) {
    std::fprintf(stderr, "pipeline_fuzz: broken promise: %s\n", promise);
    std::abort();
}

void check(bool kept, const char* promise) {
    if (!kept) broken(promise);
}

struct Offset {
    std::int32_t days, hours, minutes, seconds;
    double delta() const {
        return static_cast<double>(days) +
               static_cast<double>(static_cast<std::int64_t>(hours) * 3600 + minutes * 60 + seconds) / 86400.0;
    }
};

Offset offsetFor(std::string_view input) {
    std::uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (const char c : input) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    Offset offset{static_cast<std::int32_t>(hash % 80001) - 40000, static_cast<std::int32_t>((hash >> 20) % 47) - 23,
                  static_cast<std::int32_t>((hash >> 28) % 119) - 59,
                  static_cast<std::int32_t>((hash >> 36) % 119) - 59};
    // Now and then the extremes the day box allows.
    if ((hash >> 50) % 16 == 0)
        offset.days =
            (hash >> 54) % 2 ? std::numeric_limits<std::int32_t>::max() : std::numeric_limits<std::int32_t>::min();
    return offset;
}

// A folder in memory when there is one: the writer flushes every file to disk.
std::string outputPath() {
    static const std::string path = [] {
        const std::filesystem::path folder = std::filesystem::is_directory("/dev/shm")
                                                 ? std::filesystem::path("/dev/shm")
                                                 : std::filesystem::temp_directory_path();
        return (folder / ("morrowtide-pipeline-fuzz-" + std::to_string(::getpid()) + ".jpg")).string();
    }();
    return path;
}

std::string readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every date value the walker met: the three recorded ones, then each one in walk order.
struct DateState {
    std::vector<std::int64_t> pos;
    std::vector<double> value;
};

DateState datesOf(const ImageInfo& exif) {
    DateState state;
    state.pos = {exif.dateTimePos, exif.dateTimeOriginalPos, exif.dateTimeDigitizedPos};
    for (const auto& date : exif.dateValues) state.pos.push_back(date.pos);
    for (const std::int64_t pos : state.pos) state.value.push_back(pos > 0 ? exif.readDateAt(pos) : 0.0);
    return state;
}

bool insideADate(std::int64_t blockPos, const DateState& dates) {
    for (const std::int64_t pos : dates.pos) {
        if (pos > 0 && blockPos >= pos && blockPos < pos + kDateLength) return true;
    }
    return false;
}

// Dates whose 19 characters overlap another recorded date's are moved as one text; their values are not checked.
bool standsAlone(std::size_t i, const DateState& dates) {
    for (std::size_t j = 0; j < dates.pos.size(); ++j) {
        if (j != i && dates.pos[j] > 0 && dates.pos[j] != dates.pos[i] &&
            std::llabs(dates.pos[j] - dates.pos[i]) < kDateLength) {
            return false;
        }
    }
    return true;
}

void checkShift(const std::string& before, const std::string& after, const DateState& old, const ImageInfo& exif,
                const Offset& offset) {
    check(before.size() == after.size(), "the shift keeps the EXIF section's length");
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (before[i] != after[i]) {
            check(insideADate(static_cast<std::int64_t>(i) + 1, old), "the shift changes only date characters");
        }
    }
    const DateState now = datesOf(exif);
    check(now.pos.size() == old.pos.size(), "the shift keeps the date positions");
    for (std::size_t i = 0; i < old.pos.size() && i < now.pos.size(); ++i) {
        check(now.pos[i] == old.pos[i], "the shift keeps the date positions");
        if (old.value[i] == 0.0 || !standsAlone(i, old)) continue;
        const double wanted = old.value[i] + offset.delta();
        const bool moved = std::fabs(now.value[i] - wanted) < 1e-6;
        const bool kept = now.value[i] == old.value[i];
        // It stays when the shifted date has no text (before year 1 or after 9999) or its value is too short.
        check(moved || kept, "a readable date moves by exactly the offset or stays");
    }
}

void checkOutput(const std::string& source, const std::string& output, const ImgData& data) {
    check(output.size() >= 2 && output.compare(0, 2, "\xFF\xD8") == 0, "the output starts with start-of-image");
    if (const JpegSection* exif = data.exifSection()) {
        check(output.size() >= 4 + exif->data.size() && static_cast<unsigned char>(output[2]) == 0xFF &&
                  static_cast<unsigned char>(output[3]) == static_cast<unsigned>(exif->marker) &&
                  output.compare(4, exif->data.size(), exif->data) == 0,
              "the shifted EXIF section follows start-of-image");
    }
    // Everything after the metadata sections the reader looked at is copied unchanged.
    std::int64_t metadataEnd = 2;
    for (int i = 0; i < data.sectionCount(); ++i) metadataEnd = std::max(metadataEnd, data.section(i).endOffset());
    if (metadataEnd < static_cast<std::int64_t>(source.size())) {
        const std::size_t tail = source.size() - static_cast<std::size_t>(metadataEnd);
        check(output.size() >= tail && output.compare(output.size() - tail, tail, source, source.size() - tail) == 0,
              "the image data is copied byte for byte");
    }
    // Fill bytes before the marker are not written again, so they count as a rewritten section.
    const JpegSection* exif = data.exifSection();
    if (exif != nullptr && exif->fileOffset == 2 && exif->dataOffset == 4 && exif->storedLength == exif->size &&
        data.app0Section() == nullptr && data.iptcSection() == nullptr && data.commentSection() == nullptr &&
        data.extraExifCount() == 0) {
        check(output.size() == source.size(), "a photo that starts with its EXIF section keeps its length");
        for (std::size_t i = 0; i < source.size(); ++i) {
            if (source[i] == output[i]) continue;
            const auto blockPos = static_cast<std::int64_t>(i) - exif->dataOffset + 1;
            check(insideADate(blockPos, datesOf(*data.exif())), "only date characters differ from the source");
        }
    }
}

void checkReadBack(const std::string& path, const ImgData& data) {
    ImgData back(255);
    back.readImageFile(path);
    const JpegSection* exif = data.exifSection();
    check(back.hasExifBlock() == (exif != nullptr), "the output has an EXIF block exactly when the source had one");
    if (exif == nullptr) return;
    check(back.exifSection()->data == exif->data, "the output's EXIF section is the shifted one");
    const DateState written = datesOf(*data.exif());
    const DateState read = datesOf(*back.exif());
    check(read.pos == written.pos, "the output's dates stand where they stood");
    check(read.value == written.value, "the output's dates are the shifted ones");
}

// libjpeg reports a fatal error by calling error_exit, which must not return. C names are global even in an
// unnamed namespace, hence names that src/meta/jpeg_validate.cpp does not use.
struct JumpingErrors {
    jpeg_error_mgr pub;  // first member: the library sees a jpeg_error_mgr*
    std::jmp_buf jump;
};

extern "C" void oracleJumpOnError(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<JumpingErrors*>(cinfo->err)->jump, 1);
}

extern "C" void oracleIgnoreMessage(j_common_ptr, int) {}

// Where the image data starts for libjpeg: the position right after the start-of-scan header its reader took, or
// -1 when it refuses the bytes. Only trivially destructible locals, so the jump skips no cleanup.
long libjpegScanStart(const unsigned char* bytes, unsigned long size) {
    jpeg_decompress_struct cinfo;
    JumpingErrors errors;
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = oracleJumpOnError;
    errors.pub.emit_message = oracleIgnoreMessage;
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_decompress(&cinfo);
        return -1;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, bytes, size);
    long at = -1;
    if (jpeg_read_header(&cinfo, TRUE) == JPEG_HEADER_OK) {
        const unsigned long left = cinfo.src->bytes_in_buffer;
        // Past the end the memory source hands out an end-of-image marker of its own: the scan header ran out.
        const bool inInput = left <= size && cinfo.src->next_input_byte == bytes + (size - left);
        at = static_cast<long>(inInput ? size - left : size);
    }
    jpeg_destroy_decompress(&cinfo);
    return at;
}

void checkScanKept(const std::string& source, const std::string& output, long scanStart) {
    // The writer reads the header with libjpeg before it writes anything.
    check(scanStart >= 0, "a photo libjpeg refuses gets no output");
    const std::size_t tail = source.size() - static_cast<std::size_t>(scanStart);
    check(output.size() >= tail && output.compare(output.size() - tail, tail, source, source.size() - tail) == 0,
          "the output ends with the source's image data as libjpeg finds it");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(bytes), size);
    const Offset offset = offsetFor(input);
    ImgData data(255);
    data.readImageBytes("pipeline-fuzz-input.jpg", input);
    check(data.sourceBytes() == input, "the reader keeps the bytes it was given");

    if (ImageInfo* exif = data.hasAnyMetadata() && data.hasExifBlock() ? data.exif() : nullptr) {
        const std::string before = data.exifSection()->data;
        const DateState old = datesOf(*exif);
        // As the run moves them: planned byte patches, written into the sections.
        const morrowtide::meta::DateShift shift = morrowtide::meta::planDateShift(
            morrowtide::meta::dateSlotsOf(data),
            morrowtide::meta::offsetInDays(offset.days, offset.hours, offset.minutes, offset.seconds));
        if (shift.status == morrowtide::meta::ShiftStatus::kShifted) {
            check(morrowtide::meta::applyDatePatches(data, shift.patches), "the planned patches lie in the sections");
        }
        checkShift(before, data.exifSection()->data, old, *exif, offset);
        (void)exif->captureDateTime();
    }

    const long scanStart = libjpegScanStart(bytes, static_cast<unsigned long>(size));
    const std::string path = outputPath();
    try {
        morrowtide::meta::saveCorrectedJpeg(data, data.sourceBytes(), path);
    } catch (const morrowtide::meta::WriteError&) {
        // Refused (not a JPEG the header reader accepts, or inconsistent): nothing may be left behind.
        check(!std::filesystem::exists(path), "a refused photo leaves no output");
        return 0;
    }
    const std::string output = readWhole(path);
    checkScanKept(input, output, scanStart);
    checkOutput(input, output, data);
    checkReadBack(path, data);
    ::unlink(path.c_str());
    return 0;
}

#ifdef MORROWTIDE_LIBFUZZER
// Half of the mutations put stray bytes between the header sections, where a walk that takes them for a marker
// strides into the image data; the byte-level mutations alone seldom make a run of them that long.
extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

namespace {

// The ends of the sections before the start of scan, by a walk that trusts every length, and the places between
// fill bytes.
std::vector<std::size_t> headerBoundaries(const std::uint8_t* data, std::size_t size) {
    std::vector<std::size_t> at;
    if (size < 2 || data[0] != 0xFF || data[1] != 0xD8) return at;
    std::size_t pos = 2;
    at.push_back(pos);
    while (pos + 1 < size && data[pos] == 0xFF) {
        const unsigned code = data[pos + 1];
        if (code == 0xFF) {
            at.push_back(++pos);
            continue;
        }
        if (code == 0xDA || code == 0xD9 || code == 0x00 || pos + 4 > size) break;
        if (code == 0x01 || (code >= 0xD0 && code <= 0xD7)) {
            pos += 2;
        } else {
            pos += 2 + (static_cast<std::size_t>(data[pos + 2]) << 8 | data[pos + 3]);
        }
        if (pos > size) break;
        at.push_back(pos);
    }
    return at;
}

std::vector<std::uint8_t> junk(std::minstd_rand& random, std::size_t length) {
    static constexpr std::uint8_t kCodes[] = {0xE0, 0xE1, 0xED, 0xFE, 0xDB, 0xC4, 0xC0, 0xDA, 0xD9, 0x20};
    const unsigned kind = random() % 7;
    std::vector<std::uint8_t> bytes;
    while (bytes.size() < length) {
        switch (kind == 6 ? random() % 6 : kind) {
            case 0: bytes.push_back(' '); break;
            case 1: bytes.push_back(0x00); break;
            case 2: bytes.push_back(kCodes[random() % std::size(kCodes)]); break;  // a marker code without 0xFF
            case 3: bytes.insert(bytes.end(), {0xFF, 0x00}); break;
            case 4: bytes.insert(bytes.end(), {0xFF, static_cast<std::uint8_t>(0xD0 + random() % 8)}); break;
            default: bytes.push_back(static_cast<std::uint8_t>(random())); break;
        }
    }
    bytes.resize(length);
    return bytes;
}

}  // namespace

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t maxSize,
                                               unsigned int seed) {
    std::minstd_rand random(seed);
    if (random() % 2 == 0) return LLVMFuzzerMutate(data, size, maxSize);
    const std::vector<std::size_t> boundaries = headerBoundaries(data, size);
    const std::size_t room = maxSize > size ? maxSize - size : 0;
    if (boundaries.empty() || room == 0) return LLVMFuzzerMutate(data, size, maxSize);
    const std::size_t at = boundaries[random() % boundaries.size()];
    const std::vector<std::uint8_t> bytes = junk(random, std::min<std::size_t>(1 + random() % 300, room));
    std::memmove(data + at + bytes.size(), data + at, size - at);
    std::memcpy(data + at, bytes.data(), bytes.size());
    return size + bytes.size();
}
#endif
