// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/preview_loader.h"

#include <QThread>
#include <atomic>
#include <filesystem>
#include <system_error>

#include "app/file_list.h"
#include "app/native_path.h"

namespace morrowtide::gui {

struct PreviewLoader::Progress {
    std::atomic<int> listed{-1};
    std::atomic<int> known{0};  // headers taken from the cache
    app::HeaderReading reading;
};

PreviewLoader::PreviewLoader(Callbacks callbacks, QObject* parent)
    : QObject(parent), callbacks_(std::move(callbacks)) {}

PreviewLoader::~PreviewLoader() {
    stop();
}

int PreviewLoader::listed() const {
    return progress_ ? progress_->listed.load() : 0;
}

int PreviewLoader::read() const {
    return progress_ ? progress_->known + static_cast<int>(progress_->reading.done) : 0;
}

void PreviewLoader::stop() {
    ++generation_;
    if (!thread_) return;
    // The readers check for this between files, so the wait lasts one header read at most.
    progress_->reading.stop = true;
    reap();
}

void PreviewLoader::reap() {
    if (!thread_) return;
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
}

void PreviewLoader::start(const QString& sourceFolder, bool recurse, const QString& destinationFolder, bool allTypes,
                          bool readAgain) {
    stop();
    if (readAgain || sourceFolder != cacheFolder_) cache_.clear();
    const quint64 generation = generation_;
    auto progress = std::make_shared<Progress>();
    progress_ = progress;
    // The worker gets its own copy of the cache: the GUI thread never waits on it.
    thread_ = QThread::create([this, sourceFolder, recurse, destinationFolder, allTypes, generation, progress,
                               cache = cache_] {
        const std::string native = app::encodePath(sourceFolder);
        std::error_code error;
        if (sourceFolder.isEmpty() || !std::filesystem::is_directory(std::filesystem::path(native), error)) {
            post(generation, [this] {
                reap();
                cacheFolder_.clear();
                cache_.clear();
                otherTypes_ = 0;
                if (callbacks_.invalidFolder) callbacks_.invalidFolder();
            });
            return;
        }
        std::vector<std::string> files;
        app::ScanReport report;
        app::scanFolderNative(native, recurse, files, &report, app::identityOf(app::encodePath(destinationFolder)),
                              allTypes);
        progress->listed = static_cast<int>(files.size());

        PhotoHeaders headers(files.size());
        std::vector<std::string> unknown;
        std::vector<std::size_t> unknownAt;
        for (std::size_t i = 0; i < files.size(); ++i) {
            const auto found = cache.find(files[i]);
            if (found != cache.end()) {
                headers[i] = found->second;
            } else {
                unknown.push_back(files[i]);
                unknownAt.push_back(i);
            }
        }
        progress->known = static_cast<int>(files.size() - unknown.size());
        PhotoHeaders read = app::readPhotoHeaders(unknown, sourceFolder, 0, &progress->reading);
        if (progress->reading.stop) return;
        for (std::size_t i = 0; i < read.size(); ++i) headers[unknownAt[i]] = std::move(read[i]);
        const int otherTypes = report.otherTypes;
        post(generation, [this, sourceFolder, headers = std::move(headers), otherTypes]() mutable {
            reap();  // the worker is past its last step
            otherTypes_ = otherTypes;
            cacheFolder_ = sourceFolder;
            cache_.clear();
            for (const auto& header : headers) cache_.emplace(header->nativePath, header);
            if (callbacks_.finished) callbacks_.finished(std::move(headers));
        });
    });
    thread_->setObjectName(QStringLiteral("preview reader"));
    thread_->start(QThread::LowPriority);
}

void PreviewLoader::post(quint64 generation, std::function<void()> step) {
    // Queued to this object's (the GUI) thread; the generation is compared there, where it is changed.
    QMetaObject::invokeMethod(
        this,
        [this, generation, step = std::move(step)] {
            if (generation == generation_) step();
        },
        Qt::QueuedConnection);
}

}  // namespace morrowtide::gui
