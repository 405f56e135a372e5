// SPDX-License-Identifier: GPL-3.0-or-later
// How long a corrected copy takes (read and decode the metadata, shift the dates, check the header, write through
// a flushed temporary file) against copying the same bytes plainly, over the corpus of real photos.
//
//   write_bench [corpus folder] [rounds]
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "meta/date_plan.h"
#include "meta/img_data.h"
#include "meta/jpeg_writer.h"

namespace fs = std::filesystem;
using namespace morrowtide::meta;
using Clock = std::chrono::steady_clock;

namespace {

// The dates moved as a run moves them: planned as patches, written into the sections the writer puts out.
void shiftAnHour(ImgData& data) {
    if (!data.hasExifBlock()) return;
    const DateShift shift = planDateShift(dateSlotsOf(data), 1.0 / 24);
    if (shift.status == ShiftStatus::kShifted) applyDatePatches(data, shift.patches);
}

std::vector<fs::path> jpegFiles(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string ext = entry.path().extension().string();
        if (entry.is_regular_file() && (ext == ".jpg" || ext == ".JPG")) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Reads the file and writes its bytes to `out`, optionally flushed to disk like the corrected copy.
bool plainCopy(const fs::path& in, const fs::path& out, bool flush) {
    const std::string bytes = readSourceFile(in.string());
    const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    const bool ok =
        ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) && (!flush || ::fsync(fd) == 0);
    return ::close(fd) == 0 && ok;
}

// Reads the file once, shifts its dates by an hour and writes the corrected copy.
bool correctedCopy(const fs::path& in, const fs::path& out) {
    ImgData data;
    data.readImageBytes(in.string(), readSourceFile(in.string()));
    shiftAnHour(data);
    try {
        saveCorrectedJpeg(data, data.sourceBytes(), out.string());
        return true;
    } catch (const WriteError&) {
        return false;  // refused by the header reader: counted, not timed differently
    }
}

// The same without the output: what the metadata reader, the shift and the header check cost by themselves.
bool correctedInMemory(const fs::path& in, const fs::path&) {
    ImgData data;
    data.readImageBytes(in.string(), readSourceFile(in.string()));
    shiftAnHour(data);
    return jpegHeaderErrorCode(data.sourceBytes()) == 0;
}

template <typename Step>
double timeAll(const std::vector<fs::path>& files, const fs::path& outDir, int rounds, Step step, int& failures) {
    failures = 0;
    const auto start = Clock::now();
    for (int round = 0; round < rounds; ++round) {
        int index = 0;
        for (const auto& file : files) {
            if (!step(file, outDir / (std::to_string(index++) + ".jpg"))) ++failures;
        }
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path corpus = argc > 1 ? fs::path(argv[1]) : fs::path(MORROWTIDE_CORPUS_DIR);
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    if (!fs::is_directory(corpus)) {
        std::fprintf(stderr, "no corpus folder at %s\n", corpus.c_str());
        return 1;
    }
    const std::vector<fs::path> files = jpegFiles(corpus);
    std::uintmax_t bytes = 0;
    for (const auto& file : files) bytes += fs::file_size(file);
    const fs::path outDir = fs::temp_directory_path() / ("write_bench." + std::to_string(::getpid()));
    fs::create_directories(outDir);

    std::printf("%zu files, %.1f MB, %d rounds, output in %s\n", files.size(), static_cast<double>(bytes) / 1e6, rounds,
                outDir.c_str());
    int failures = 0;
    // One untimed pass so that every timed pass finds the sources in the page cache.
    timeAll(
        files, outDir, 1, [](const fs::path& in, const fs::path& out) { return plainCopy(in, out, false); }, failures);
    const auto report = [&](const char* what, double ms) {
        const double perRound = ms / rounds;
        std::printf("%-52s %9.1f ms per round  %7.3f ms per file  %7.1f MB/s  (%d failed)\n", what, perRound,
                    perRound / static_cast<double>(files.size()), static_cast<double>(bytes) / 1e3 / perRound,
                    failures / rounds);
    };
    report("plain copy (read + write)",
           timeAll(
               files, outDir, rounds, [](const fs::path& in, const fs::path& out) { return plainCopy(in, out, false); },
               failures));
    report("plain copy, flushed to disk (read + write + fsync)",
           timeAll(
               files, outDir, rounds, [](const fs::path& in, const fs::path& out) { return plainCopy(in, out, true); },
               failures));
    report("read + shift + check, nothing written", timeAll(files, outDir, rounds, correctedInMemory, failures));
    report("corrected copy (read + shift + check + safe write)",
           timeAll(files, outDir, rounds, correctedCopy, failures));
    fs::remove_all(outDir);
    return 0;
}
