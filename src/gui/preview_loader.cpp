#include "gui/preview_loader.h"

#include <QElapsedTimer>
#include <QThread>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/file_list.h"
#include "app/native_path.h"

namespace morrowtide::gui {

namespace {

// A batch goes to the table after this many photos or this many milliseconds, whichever comes first: few enough
// model updates for a large folder, soon enough for the first rows to show at once.
constexpr std::size_t kBatchPhotos = 500;
constexpr qint64 kBatchMilliseconds = 100;

}  // namespace

PreviewLoader::PreviewLoader(Callbacks callbacks, QObject* parent) : QObject(parent), callbacks_(std::move(callbacks)) {}

PreviewLoader::~PreviewLoader() {
    stop();
}

void PreviewLoader::stop() {
    ++generation_;
    if (!thread_) return;
    // The worker checks for this between files, so the wait lasts one header read at most.
    thread_->requestInterruption();
    reap();
}

void PreviewLoader::reap() {
    if (!thread_) return;
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
}

void PreviewLoader::start(const QString& sourceFolder, bool recurse) {
    stop();
    const quint64 generation = generation_;
    thread_ = QThread::create([this, sourceFolder, recurse, generation] { work(sourceFolder, recurse, generation); });
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

void PreviewLoader::work(QString sourceFolder, bool recurse, quint64 generation) {
    const std::string native = app::encodePath(sourceFolder);
    std::error_code error;
    if (sourceFolder.isEmpty() || !std::filesystem::is_directory(std::filesystem::path(native), error)) {
        post(generation, [this] {
            reap();
            if (callbacks_.invalidFolder) callbacks_.invalidFolder();
        });
        return;
    }
    std::vector<std::string> files;
    app::scanFolderNative(native, recurse, files);
    const int count = static_cast<int>(files.size());
    post(generation, [this, count] {
        if (callbacks_.listed) callbacks_.listed(count);
    });

    // The listing builds every path as the folder, a "/" when it lacks one, and the rest.
    const std::size_t rootLength = native.size() + (native.empty() || native.back() == '/' ? 0 : 1);
    std::vector<PhotoHeader> batch;
    QElapsedTimer sinceBatch;
    sinceBatch.start();
    for (const std::string& file : files) {
        if (QThread::currentThread()->isInterruptionRequested()) return;
        batch.push_back(readPhotoHeader(file, app::decodePath(file.substr(rootLength))));
        if (batch.size() >= kBatchPhotos || sinceBatch.elapsed() >= kBatchMilliseconds) {
            post(generation, [this, photos = std::move(batch)]() mutable {
                if (callbacks_.photosRead) callbacks_.photosRead(std::move(photos));
            });
            batch = {};
            sinceBatch.restart();
        }
    }
    post(generation, [this, photos = std::move(batch)]() mutable {
        reap();  // the worker is past its last step
        if (!photos.empty() && callbacks_.photosRead) callbacks_.photosRead(std::move(photos));
        if (callbacks_.finished) callbacks_.finished();
    });
}

}  // namespace morrowtide::gui
