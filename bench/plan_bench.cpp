// SPDX-License-Identifier: GPL-3.0-or-later
// Planning a large list, as a preview does: the header reading (once per file) and the naming (redone whenever the
// offset, mask or options change), timed apart.
//   plan_bench [COUNT] [CORPUS] [RUNS]   makes COUNT photos (default 10000), hard links to (or copies of) the JPEG
//                                        files under CORPUS/cameras, in folders of 500 under a temporary folder;
//                                        reads them once to warm the cache, then RUNS times (default 3) lists them,
//                                        reads every header (all threads, then one thread) and plans the list, and
//                                        prints each time and the median; the temporary folder is removed.
#include <QLocale>
#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <malloc.h>
#include <unistd.h>
#include <vector>

#include "app/file_list.h"
#include "app/photo_plan.h"

namespace fs = std::filesystem;
using morrowtide::app::PhotoHeader;

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::vector<fs::path> cameraPhotos(const fs::path& corpus) {
    std::vector<fs::path> photos;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(corpus / "cameras", error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        const std::string ext = it->path().extension().string();
        if (it->is_regular_file() && (ext == ".jpg" || ext == ".JPG")) photos.push_back(it->path());
    }
    std::sort(photos.begin(), photos.end());
    return photos;
}

bool makeTree(const std::vector<fs::path>& photos, const fs::path& root, long count) {
    for (long i = 0; i < count; ++i) {
        const fs::path folder = root / ("day " + std::to_string(i / 500));
        if (i % 500 == 0) fs::create_directories(folder);
        char name[32];
        std::snprintf(name, sizeof name, "IMG_%06ld.JPG", i);
        const fs::path& from = photos[static_cast<std::size_t>(i) % photos.size()];
        std::error_code error;
        fs::create_hard_link(from, folder / name, error);
        if (error && !fs::copy_file(from, folder / name, error)) {
            std::fprintf(stderr, "cannot make %s: %s\n", (folder / name).c_str(), error.message().c_str());
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    ::mallopt(M_MMAP_THRESHOLD, 512 * 1024);  // as the programs set it for their pools (see src/cli/main.cpp)
    const long count = argc > 1 ? std::atol(argv[1]) : 10000;
    const fs::path corpus = argc > 2 ? fs::path(argv[2]) : fs::path(MORROWTIDE_CORPUS_DIR);
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    const std::vector<fs::path> photos = cameraPhotos(corpus);
    if (photos.empty() || count <= 0) {
        std::fprintf(stderr, "no JPEG files under %s/cameras\n", corpus.c_str());
        return 1;
    }
    const fs::path root = fs::temp_directory_path() / ("plan_bench." + std::to_string(::getpid()));
    const fs::path source = root / "in";
    if (!makeTree(photos, source, count)) return 1;
    const QString sourceFolder = QString::fromStdString(source.native());
    morrowtide::app::RunOptions options;
    options.sourceFolder = sourceFolder;
    options.destinationFolder = QString::fromStdString((root / "out").native());
    options.offset.hours = 1;

    std::vector<std::string> warm;
    morrowtide::app::scanFolderNative(source.native(), true, warm);
    (void)morrowtide::app::readPhotoHeaders(warm, sourceFolder);

    std::vector<double> listing, reading, readingOne, naming;
    std::size_t planned = 0, corrected = 0;
    for (int run = 0; run < runs; ++run) {
        auto start = std::chrono::steady_clock::now();
        std::vector<std::string> list;
        morrowtide::app::scanFolderNative(source.native(), true, list);
        listing.push_back(secondsSince(start));

        start = std::chrono::steady_clock::now();
        const auto headers = morrowtide::app::readPhotoHeaders(list, sourceFolder);
        reading.push_back(secondsSince(start));

        start = std::chrono::steady_clock::now();
        (void)morrowtide::app::readPhotoHeaders(list, sourceFolder, 1);
        readingOne.push_back(secondsSince(start));

        start = std::chrono::steady_clock::now();
        const auto plans = morrowtide::app::planList(headers, options, QLocale::system());
        naming.push_back(secondsSince(start));
        planned = plans.size();
        corrected = static_cast<std::size_t>(
            std::count_if(plans.begin(), plans.end(), [](const auto& plan) { return plan.corrected(); }));
    }
    std::error_code ignored;
    fs::remove_all(root, ignored);

    std::printf("photos planned: %zu (%zu to be corrected), from %zu corpus files\n", planned, corrected,
                photos.size());
    const auto report = [](const char* what, const std::vector<double>& times) {
        std::printf("%-32s", what);
        for (const double t : times) std::printf(" %8.3f s", t);
        std::printf("   median %8.3f s\n", median(times));
    };
    report("listing", listing);
    report("header reading (all threads)", reading);
    report("header reading (one thread)", readingOne);
    report("naming (plans of the list)", naming);
    std::printf("list + headers + plans (median): %.3f s\n", median(listing) + median(reading) + median(naming));
    return 0;
}
