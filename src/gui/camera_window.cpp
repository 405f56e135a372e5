// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/camera_window.h"

#include <QDir>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QThread>
#include <QVBoxLayout>

#include <stdexcept>

#include "app/file_list.h"
#include "app/native_path.h"
#include "app/photo_plan.h"
#include "gui/camera_panel.h"
#include "gui/timeline_widget.h"
#include "meta/safe_file.h"

namespace morrowtide::gui {

namespace {

// An EXIF thumbnail lies inside one APP1 section, which holds at most 64 KiB.
constexpr std::int64_t kMaxThumbnailBytes = 65535;

// The photo's EXIF thumbnail from the bytes its header located (never the image itself); null when it has none or
// the file changed since.
QImage thumbnailOf(const app::PhotoHeader& header) {
    if (header.thumbnailOffset < 0 || header.thumbnailLength < 2 || header.thumbnailLength > kMaxThumbnailBytes) {
        return {};
    }
    meta::SourceFile file;
    if (file.open(header.nativePath) != 0 || file.size() != header.size) return {};
    std::string bytes;
    if (file.readAt(header.thumbnailOffset, static_cast<std::size_t>(header.thumbnailLength), bytes) !=
        header.thumbnailLength) {
        return {};
    }
    return QImage::fromData(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())), "JPEG");
}

}  // namespace

CameraWindow::CameraWindow(QWidget* parent, const QLocale& locale, app::Clock clock)
    : QWidget(parent, Qt::Window), locale_(locale), clock_(std::move(clock)) {
    setObjectName(QStringLiteral("cameraWindow"));
    setWindowTitle(tr("Cameras and timeline"));
    panel_ = new CameraPanel(this);
    timeline_ = new TimelineWidget(this);
    timeline_->setThumbnailSource([this](int index) {
        return index >= 0 && static_cast<std::size_t>(index) < headers_.size()
                   ? thumbnailOf(*headers_[static_cast<std::size_t>(index)])
                   : QImage();
    });
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("timelineScroll"));
    scroll->setWidget(timeline_);
    scroll->setWidgetResizable(true);
    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->setObjectName(QStringLiteral("cameraSplitter"));
    splitter->addWidget(panel_);
    splitter->addWidget(scroll);
    splitter->setStretchFactor(1, 1);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("cameraStatus"));
    refresh_ = new QPushButton(tr("Read again"), this);
    refresh_->setObjectName(QStringLiteral("cameraRefresh"));
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(status_, 1);
    bottom->addWidget(refresh_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);
    layout->addLayout(bottom);
    resize(900, 600);

    connect(refresh_, &QPushButton::clicked, this, &CameraWindow::refresh);
    connect(panel_, &CameraPanel::changed, this, [this] {
        replan();
        emit camerasChanged();
    });
}

CameraWindow::~CameraWindow() {
    if (worker_ != nullptr) worker_->wait();
}

app::RunOptions CameraWindow::withCameras(app::RunOptions options) const {
    panel_->applyTo(options);
    return options;
}

void CameraWindow::setOptions(const app::RunOptions& options) {
    options_ = options;
    if (options.sourceFolder != readFolder_ || options.recurseFolders != readRecurse_ || headers_.empty()) {
        startReading();
        return;
    }
    replan();
}

void CameraWindow::refresh() {
    startReading();
}

void CameraWindow::startReading() {
    if (worker_ != nullptr) {
        readAgain_ = true;  // once the reading in hand ends
        return;
    }
    readFolder_ = options_.sourceFolder;
    readRecurse_ = options_.recurseFolders;
    status_->setText(tr("Reading the photos of %1\u2026").arg(QDir::toNativeSeparators(readFolder_)));
    refresh_->setEnabled(false);
    const QString folder = readFolder_;
    const bool recurse = readRecurse_;
    auto result = std::make_shared<std::vector<std::shared_ptr<const app::PhotoHeader>>>();
    worker_ = QThread::create([folder, recurse, result] {
        std::vector<std::string> paths;
        try {
            app::scanFolderNative(app::encodePath(folder), recurse, paths);
        } catch (const std::exception&) {
            return;  // no folder: no photos
        }
        *result = app::readPhotoHeaders(paths, folder);
    });
    connect(worker_, &QThread::finished, this, [this, result] {
        worker_->deleteLater();
        worker_ = nullptr;
        headersRead(std::move(*result));
        if (readAgain_) {
            readAgain_ = false;
            startReading();
        }
    });
    worker_->start();
}

void CameraWindow::headersRead(std::vector<std::shared_ptr<const app::PhotoHeader>> headers) {
    headers_ = std::move(headers);
    refresh_->setEnabled(true);
    panel_->setHeaders(headers_);
    replan();
    emit readingFinished();
}

void CameraWindow::replan() {
    if (worker_ != nullptr) return;  // the reading's end plans
    std::vector<app::PhotoPlan> plans;
    try {
        plans = app::planList(headers_, withCameras(options_), locale_, clock_);
    } catch (const std::exception&) {
        // A mask that cannot be used leaves no names; the times need none, but the planner makes both.
    }
    timeline_->setPhotos(timelinePhotosOf(plans));
    status_->setText(
        tr("%n photo(s) of %1 camera(s)", nullptr, static_cast<int>(headers_.size())).arg(panel_->cameraCount()));
}

}  // namespace morrowtide::gui
