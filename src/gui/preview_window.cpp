// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/preview_window.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSortFilterProxyModel>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>

#include "app/batch_run.h"
#include "gui/camera_panel.h"
#include "gui/preview_loader.h"
#include "gui/preview_model.h"
#include "gui/timeline_widget.h"

namespace morrowtide::gui {

namespace {

constexpr int kThumbnailWidth = 160;
constexpr int kThumbnailHeight = 120;
constexpr int kProgressMilliseconds = 100;

QString legendSwatch(const char* colour, const QString& text) {
    return QStringLiteral("<span style=\"background-color:%1\">&nbsp;&nbsp;&nbsp;&nbsp;</span>&nbsp;%2")
        .arg(QString::fromLatin1(colour), text.toHtmlEscaped());
}

// True when `destination` is a folder inside `source`, which a listing leaves out.
bool liesInside(const QString& destination, const QString& source) {
    const QString inner = QFileInfo(destination).canonicalFilePath();
    const QString outer = QFileInfo(source).canonicalFilePath();
    return !inner.isEmpty() && !outer.isEmpty() && inner.startsWith(outer + u'/');
}

}  // namespace

PreviewWindow::PreviewWindow(QWidget* parent, const QLocale& locale, app::Clock clock) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("previewWindow"));
    setWindowTitle(tr("Preview"));
    model_ = new PreviewModel(this, locale, std::move(clock));
    model_->setObjectName(QStringLiteral("previewModel"));

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("lblPreviewStatus"));
    status_->setTextFormat(Qt::PlainText);
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("pbPreview"));
    progress_->setTextVisible(false);
    progress_->setMaximumWidth(200);
    progress_->hide();
    refresh_ = new QPushButton(tr("&Refresh"), this);
    refresh_->setObjectName(QStringLiteral("btnPreviewRefresh"));
    refresh_->setAutoDefault(true);
    refresh_->setToolTip(tr("Read the photos again, as they are on disk now"));
    connect(refresh_, &QPushButton::clicked, this, &PreviewWindow::refresh);

    cameras_ = new CameraPanel(this);
    connect(cameras_, &CameraPanel::changed, this, [this] {
        replan();
        emit camerasChanged();
    });
    connect(cameras_, &CameraPanel::showPhotosRequested, this, [this](const QString& key) {
        filterCamera(key);
        showPage(Page::Photos);
    });

    pages_ = new QTabWidget(this);
    pages_->setObjectName(QStringLiteral("previewPages"));
    pages_->addTab(buildPhotosPage(), tr("&Photos"));
    auto* camerasPage = new QWidget(this);
    camerasPage->setObjectName(QStringLiteral("tabPreviewCameras"));
    auto* camerasLayout = new QVBoxLayout(camerasPage);
    camerasLayout->addWidget(cameras_);
    pages_->addTab(camerasPage, tr("C&ameras"));
    pages_->addTab(buildTimelinePage(), tr("&Timeline"));
    connect(pages_, &QTabWidget::currentChanged, this, &PreviewWindow::updateTimeline);

    auto* close = new QPushButton(tr("&Close"), this);
    close->setObjectName(QStringLiteral("btnPreviewClose"));
    close->setAutoDefault(true);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::close);

    auto* top = new QHBoxLayout;
    top->addWidget(status_, 1);
    top->addWidget(progress_);
    top->addWidget(refresh_);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(pages_, 1);
    layout->addLayout(bottom);

    PreviewLoader::Callbacks callbacks;
    callbacks.finished = [this](PhotoHeaders headers) {
        progressTimer_->stop();
        progress_->hide();
        cameras_->setHeaders(headers);
        model_->setHeaders(std::move(headers));
        updateCameraFilter();
        if (model_->rowCount() > 0) table_->selectRow(0);
        showSummary();
        emit readingFinished();
    };
    callbacks.invalidFolder = [this] {
        progressTimer_->stop();
        progress_->hide();
        cameras_->setHeaders({});
        model_->setHeaders({});
        updateCameraFilter();
        status_->setText(app::kInvalidDirectoryMessage);
        emit readingFinished();
    };
    loader_ = new PreviewLoader(std::move(callbacks), this);
    progressTimer_ = new QTimer(this);
    progressTimer_->setInterval(kProgressMilliseconds);
    connect(progressTimer_, &QTimer::timeout, this, &PreviewWindow::showProgress);
    // Every new plan shows on the timeline (at once while it is on the screen, else when it is shown).
    connect(model_, &QAbstractItemModel::modelReset, this, [this] {
        timelineStale_ = true;
        updateTimeline();
    });
    connect(model_, &QAbstractItemModel::dataChanged, this, [this] {
        timelineStale_ = true;
        updateTimeline();
    });

    QSize size(1180, 640);
    if (const QScreen* screen = this->screen()) size = size.boundedTo(screen->availableGeometry().size());
    resize(size);
    showSelected();
}

QWidget* PreviewWindow::buildPhotosPage() {
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("tabPreviewPhotos"));
    sorted_ = new QSortFilterProxyModel(this);
    sorted_->setObjectName(QStringLiteral("previewSorted"));
    sorted_->setSourceModel(model_);
    sorted_->setFilterRole(PreviewModel::CameraKeyRole);
    sorted_->setFilterKeyColumn(0);

    table_ = new QTableView(page);
    table_->setObjectName(QStringLiteral("tvPreview"));
    table_->setModel(sorted_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setWordWrap(false);
    // A long name keeps both ends in sight: the date in front and the old name at the end.
    table_->setTextElideMode(Qt::ElideMiddle);
    table_->verticalHeader()->hide();
    // Fixed row heights and column widths: nothing has to look at 10,000 rows to lay the table out.
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    const int digit = table_->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const int widths[] = {7, 18, 16, 9, 19, 19, 32, 14};
    static_assert(std::size(widths) == PreviewModel::ColumnCount);
    for (int column = 0; column < PreviewModel::ColumnCount; ++column) {
        table_->setColumnWidth(column, widths[column] * digit);
    }
    table_->horizontalHeader()->setStretchLastSection(true);
    // Sorted by a click on a column's title (by camera, by time, ...); a third click gives the list order back.
    table_->horizontalHeader()->setSortIndicatorClearable(true);
    table_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    table_->setSortingEnabled(true);
    table_->setMinimumSize(600, 320);
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &PreviewWindow::showSelected);
    connect(model_, &QAbstractItemModel::modelReset, this, &PreviewWindow::showSelected);
    connect(model_, &QAbstractItemModel::dataChanged, this, &PreviewWindow::showSelected);
    connect(table_, &QTableView::doubleClicked, this, &PreviewWindow::requestSetFromPhoto);

    cameraFilter_ = new QComboBox(page);
    cameraFilter_->setObjectName(QStringLiteral("cbPreviewCamera"));
    cameraFilter_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto* filterLabel = new QLabel(tr("Ca&mera:"), page);
    filterLabel->setObjectName(QStringLiteral("lblPreviewCamera"));
    filterLabel->setBuddy(cameraFilter_);
    connect(cameraFilter_, &QComboBox::currentIndexChanged, this, [this](int index) {
        const QVariant key = cameraFilter_->itemData(index);
        sorted_->setFilterRegularExpression(key.isValid() ? QRegularExpression(QRegularExpression::anchoredPattern(
                                                                QRegularExpression::escape(key.toString())))
                                                          : QRegularExpression());
    });
    updateCameraFilter();

    thumbnail_ = new QLabel(page);
    thumbnail_->setObjectName(QStringLiteral("lblPreviewThumbnail"));
    thumbnail_->setFixedSize(kThumbnailWidth + 4, kThumbnailHeight + 4);
    thumbnail_->setAlignment(Qt::AlignCenter);
    thumbnail_->setFrameShape(QFrame::StyledPanel);
    selectedCaption_ = new QLabel(page);
    selectedCaption_->setObjectName(QStringLiteral("lblPreviewPhoto"));
    selectedCaption_->setWordWrap(true);
    selectedCaption_->setTextFormat(Qt::PlainText);
    selectedCaption_->setFixedWidth(kThumbnailWidth + 4);
    setFromPhoto_ = new QPushButton(tr("Set from a photo\u2026"), page);
    setFromPhoto_->setObjectName(QStringLiteral("btnPreviewSetFromPhoto"));
    setFromPhoto_->setAutoDefault(true);
    setFromPhoto_->setEnabled(false);
    setFromPhoto_->setToolTip(tr("Take the offset from this photo: type the date and time it was really taken"));
    connect(setFromPhoto_, &QPushButton::clicked, this, &PreviewWindow::requestSetFromPhoto);

    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(filterLabel);
    filterRow->addWidget(cameraFilter_);
    filterRow->addStretch();
    auto* side = new QVBoxLayout;
    side->addWidget(thumbnail_);
    side->addWidget(selectedCaption_);
    side->addWidget(setFromPhoto_);
    side->addStretch();
    auto* middle = new QHBoxLayout;
    middle->addWidget(table_, 1);
    middle->addLayout(side);
    auto* legend = new QLabel(page);
    legend->setObjectName(QStringLiteral("lblPreviewLegend"));
    legend->setText(legendSwatch("#fff3b0", tr("another day")) + QStringLiteral("&nbsp;&nbsp;&nbsp;") +
                    legendSwatch("#ffc080", tr("another year")) + QStringLiteral("&nbsp;&nbsp;&nbsp;") +
                    legendSwatch("#f8d7da", tr("not corrected")));
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(filterRow);
    layout->addLayout(middle, 1);
    layout->addWidget(legend);
    return page;
}

QWidget* PreviewWindow::buildTimelinePage() {
    timeline_ = new TimelineWidget(this);
    // Only the small picture stored in the EXIF block, never the photo itself.
    timeline_->setThumbnailSource([this](int index) {
        QImage image;
        if (index >= 0 && index < model_->rowCount()) image.loadFromData(readThumbnail(model_->header(index)), "JPEG");
        return image;
    });
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("tabPreviewTimeline"));
    scroll->setWidget(timeline_);
    scroll->setWidgetResizable(true);
    return scroll;
}

PreviewWindow::~PreviewWindow() {
    loader_->stop();
}

bool PreviewWindow::isReading() const {
    return loader_->isReading();
}

int PreviewWindow::selectedRow() const {
    const QModelIndex current = table_->selectionModel()->currentIndex();
    return current.isValid() ? sorted_->mapToSource(current).row() : -1;
}

void PreviewWindow::setOptions(const app::RunOptions& options) {
    options_ = options;
    replan();
    if (!isVisible()) return;
    readIfStale();
}

void PreviewWindow::replan() {
    if (!isVisible()) {
        optionsShown_ = false;  // planned when the window is shown
        return;
    }
    optionsShown_ = true;
    const app::RunOptions planned = withCameras(options_);
    // The zones' names need room that a plain offset does not; a width the user chose stays until that changes.
    if (const bool zones = !planned.fromZone.isEmpty(); zones != zonesShown_) {
        zonesShown_ = zones;
        const int digit = table_->fontMetrics().horizontalAdvance(QLatin1Char('0'));
        table_->setColumnWidth(PreviewModel::Correction, (zones ? 26 : 9) * digit);
    }
    model_->setOptions(planned);
    if (!isReading() && hasRead_ && readFolder_ == options_.sourceFolder) showSummary();
}

app::RunOptions PreviewWindow::withCameras(app::RunOptions options) const {
    options.cameraOffsets.clear();
    options.fromZone.clear();
    options.toZone.clear();
    cameras_->applyTo(options);
    return options;
}

app::CameraChoices PreviewWindow::cameraChoices() const {
    return cameras_->choices();
}

void PreviewWindow::setCameraChoices(const app::CameraChoices& choices) {
    cameras_->setChoices(choices);
}

void PreviewWindow::showPage(Page page) {
    pages_->setCurrentIndex(static_cast<int>(page));
}

PreviewWindow::Page PreviewWindow::currentPage() const {
    return static_cast<Page>(pages_->currentIndex());
}

void PreviewWindow::filterCamera(const std::optional<QString>& cameraKey) {
    const int index = cameraKey ? cameraFilter_->findData(*cameraKey) : 0;
    if (index >= 0) cameraFilter_->setCurrentIndex(index);
}

void PreviewWindow::updateCameraFilter() {
    const QVariant shown = cameraFilter_->currentData();
    const QSignalBlocker quiet(cameraFilter_);
    cameraFilter_->clear();
    cameraFilter_->addItem(tr("All cameras"));
    for (const CameraPanel::CameraRow& camera : cameras_->cameras()) {
        // The camera and its number of photos.
        cameraFilter_->addItem(QStringLiteral("%1 (%2)").arg(camera.name).arg(camera.photos), camera.key);
    }
    // The camera shown before, while it is still listed; else every photo.
    const int index = shown.isValid() ? cameraFilter_->findData(shown) : 0;
    cameraFilter_->setCurrentIndex(std::max(index, 0));
    if (index < 0) sorted_->setFilterRegularExpression(QRegularExpression());
}

void PreviewWindow::updateTimeline() {
    if (!timelineStale_ || !isVisible() || currentPage() != Page::Timeline) return;
    timelineStale_ = false;
    timeline_->setPhotos(model_->hasPlans() ? timelinePhotosOf(model_->plans()) : std::vector<TimelinePhoto>());
}

void PreviewWindow::refresh() {
    hasRead_ = false;
    readAgain_ = true;
    if (isVisible()) readIfStale();
}

void PreviewWindow::readIfStale() {
    const bool destinationMatters = liesInside(options_.destinationFolder, options_.sourceFolder) ||
                                    liesInside(readDestination_, options_.sourceFolder);
    if (hasRead_ && readFolder_ == options_.sourceFolder && readRecurse_ == options_.recurseFolders &&
        readAllTypes_ == options_.allTypes &&
        (!destinationMatters || readDestination_ == options_.destinationFolder)) {
        return;
    }
    hasRead_ = true;
    readFolder_ = options_.sourceFolder;
    readRecurse_ = options_.recurseFolders;
    readAllTypes_ = options_.allTypes;
    readDestination_ = options_.destinationFolder;
    status_->setText(tr("Searching the folder\u2026"));
    progress_->setRange(0, 0);  // busy until the count is known
    progress_->show();
    progressTimer_->start();
    loader_->start(readFolder_, readRecurse_, readDestination_, readAllTypes_, readAgain_);
    readAgain_ = false;
}

void PreviewWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!optionsShown_) replan();
    readIfStale();
    updateTimeline();
}

void PreviewWindow::showProgress() {
    const int listed = loader_->listed();
    if (listed < 0) return;
    progress_->setRange(0, std::max(1, listed));
    progress_->setValue(loader_->read());
    status_->setText(tr("Reading photos\u2026 %1 of %2").arg(loader_->read()).arg(listed));
}

void PreviewWindow::showSummary() {
    if (!model_->planError().isEmpty()) {
        status_->setText(model_->planError());
        return;
    }
    QString summary = tr("%1 photos, %2 not corrected").arg(model_->rowCount()).arg(model_->notCorrected());
    // The same count a run closes with, so that the box is found before the run.
    if (const int leftOut = loader_->otherTypesLeftOut(); leftOut > 0) {
        summary += QStringLiteral("; ") + app::otherTypesLeftOutNote(leftOut);
    }
    status_->setText(summary);
}

void PreviewWindow::showSelected() {
    const int row = selectedRow();
    const bool selected = row >= 0 && row < model_->rowCount();
    setFromPhoto_->setEnabled(selected);
    if (!selected) {
        thumbnail_->setPixmap(QPixmap());
        thumbnail_->setText(QString());
        selectedCaption_->setText(QString());
        return;
    }
    const app::PhotoHeader& photo = model_->header(row);
    // Only the small picture stored in the EXIF block is decoded, never the photo itself.
    QImage image;
    if (const QByteArray bytes = readThumbnail(photo); !bytes.isEmpty()) image.loadFromData(bytes, "JPEG");
    if (image.isNull()) {
        thumbnail_->setPixmap(QPixmap());
        thumbnail_->setText(tr("No thumbnail"));
    } else {
        thumbnail_->setPixmap(QPixmap::fromImage(
            image.scaled(kThumbnailWidth, kThumbnailHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    }
    const QString newTime = model_->hasPlans() ? app::formatPlanDate(model_->plan(row).newCapture) : QString();
    selectedCaption_->setText(photo.fileName + u'\n' + tr("Recorded:") + u'\n' +
                              app::formatPlanDate(photo.recordedCapture) + u'\n' + tr("New:") + u'\n' + newTime);
}

void PreviewWindow::requestSetFromPhoto() {
    const int row = selectedRow();
    if (row < 0 || row >= model_->rowCount()) return;
    emit setFromPhotoRequested(model_->header(row).path);
}

}  // namespace morrowtide::gui
