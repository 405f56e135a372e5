// SPDX-License-Identifier: GPL-3.0-or-later
// The listing step of a batch run on a large tree, measured on its own.
//   scan_bench generate TEMPLATE.jpg DIR FILES FOLDERS   writes FILES copies of a photo into FOLDERS folders under DIR
//                                                        (two levels deep), each with its own date
//   scan_bench scan DIR [RUNS]                           lists DIR as the run does (recursively) RUNS times (default
//                                                        3) and prints the count, the time of each listing and the
//                                                        memory the list takes
#include <sys/resource.h>

#include <QString>
#include <QStringList>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/file_list.h"

namespace fs = std::filesystem;

namespace {

long residentKilobytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

long peakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int generate(const char* templatePath, const fs::path& root, long files, long folders) {
    std::ifstream in(templatePath, std::ios::binary);
    std::string photo((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string date = "2005:06:01 10:00:00";
    if (photo.find(date) == std::string::npos) {
        std::fprintf(stderr, "the template has no date %s\n", date.c_str());
        return 1;
    }
    for (long i = 0; i < files; ++i) {
        const long folder = i % folders;
        const fs::path dir = root / ("roll " + std::to_string(folder / 20)) / ("day " + std::to_string(folder % 20));
        if (i < folders) fs::create_directories(dir);
        // A date per file (seconds and minutes), so that the output names differ as a camera's would.
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "2005:06:%02ld %02ld:%02ld:%02ld", 1 + folder % 28, (i / 3600) % 24,
                      (i / 60) % 60, i % 60);
        std::string bytes = photo;
        for (std::size_t at = bytes.find(date); at != std::string::npos; at = bytes.find(date, at + 1)) {
            bytes.replace(at, date.size(), stamp);
        }
        char name[32];
        std::snprintf(name, sizeof name, "IMG_%06ld.JPG", i);
        std::ofstream(dir / name, std::ios::binary) << bytes;
    }
    std::printf("%ld photos in %ld folders under %s\n", files, folders, root.c_str());
    return 0;
}

int scan(const char* root, int runs) {
    for (int run = 1; run <= runs; ++run) {
        const long before = residentKilobytes();
        QStringList list;
        const auto start = std::chrono::steady_clock::now();
        morrowtide::app::scanFolder(QString::fromLocal8Bit(root), true, list);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const long after = residentKilobytes();
        qsizetype characters = 0;
        for (const QString& path : list) characters += path.size();
        std::printf("listing %d: %lld files in %.3f s; the list holds %lld path characters, resident memory +%ld KB\n",
                    run, static_cast<long long>(list.size()), seconds, static_cast<long long>(characters),
                    after - before);
    }
    std::printf("peak resident memory %ld KB\n", peakKilobytes());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "generate" && argc == 6) return generate(argv[2], argv[3], std::atol(argv[4]), std::atol(argv[5]));
    if (mode == "scan" && (argc == 3 || argc == 4)) return scan(argv[2], argc == 4 ? std::atoi(argv[3]) : 3);
    std::fprintf(stderr, "usage: scan_bench generate TEMPLATE.jpg DIR FILES FOLDERS | scan DIR [RUNS]\n");
    return 2;
}
