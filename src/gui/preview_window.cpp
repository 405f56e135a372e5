// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/preview_window.h"

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
#include <QScreen>
#include <QShortcut>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include "app/batch_run.h"
#include "gui/preview_loader.h"
#include "gui/preview_model.h"

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

    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("tvPreview"));
    table_->setModel(model_);
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
    const int widths[] = {7, 20, 16, 19, 19, 34, 14};
    for (int column = 0; column < PreviewModel::ColumnCount; ++column) {
        table_->setColumnWidth(column, widths[column] * digit);
    }
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setMinimumSize(600, 320);
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &PreviewWindow::showSelected);
    connect(model_, &QAbstractItemModel::modelReset, this, &PreviewWindow::showSelected);
    connect(model_, &QAbstractItemModel::dataChanged, this, &PreviewWindow::showSelected);
    connect(table_, &QTableView::doubleClicked, this, &PreviewWindow::requestSetFromPhoto);

    thumbnail_ = new QLabel(this);
    thumbnail_->setObjectName(QStringLiteral("lblPreviewThumbnail"));
    thumbnail_->setFixedSize(kThumbnailWidth + 4, kThumbnailHeight + 4);
    thumbnail_->setAlignment(Qt::AlignCenter);
    thumbnail_->setFrameShape(QFrame::StyledPanel);
    selectedCaption_ = new QLabel(this);
    selectedCaption_->setObjectName(QStringLiteral("lblPreviewPhoto"));
    selectedCaption_->setWordWrap(true);
    selectedCaption_->setTextFormat(Qt::PlainText);
    selectedCaption_->setFixedWidth(kThumbnailWidth + 4);
    setFromPhoto_ = new QPushButton(tr("Set from a photo\u2026"), this);
    setFromPhoto_->setObjectName(QStringLiteral("btnPreviewSetFromPhoto"));
    setFromPhoto_->setAutoDefault(true);
    setFromPhoto_->setEnabled(false);
    setFromPhoto_->setToolTip(tr("Take the offset from this photo: type the date and time it was really taken"));
    connect(setFromPhoto_, &QPushButton::clicked, this, &PreviewWindow::requestSetFromPhoto);

    auto* legend = new QLabel(this);
    legend->setObjectName(QStringLiteral("lblPreviewLegend"));
    legend->setText(legendSwatch("#fff3b0", tr("another day")) + QStringLiteral("&nbsp;&nbsp;&nbsp;") +
                    legendSwatch("#ffc080", tr("another year")) + QStringLiteral("&nbsp;&nbsp;&nbsp;") +
                    legendSwatch("#f8d7da", tr("not corrected")));
    auto* close = new QPushButton(tr("&Close"), this);
    close->setObjectName(QStringLiteral("btnPreviewClose"));
    close->setAutoDefault(true);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::close);

    auto* top = new QHBoxLayout;
    top->addWidget(status_, 1);
    top->addWidget(progress_);
    top->addWidget(refresh_);
    auto* side = new QVBoxLayout;
    side->addWidget(thumbnail_);
    side->addWidget(selectedCaption_);
    side->addWidget(setFromPhoto_);
    side->addStretch();
    auto* middle = new QHBoxLayout;
    middle->addWidget(table_, 1);
    middle->addLayout(side);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(legend, 1);
    bottom->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(middle, 1);
    layout->addLayout(bottom);

    PreviewLoader::Callbacks callbacks;
    callbacks.finished = [this](PhotoHeaders headers) {
        progressTimer_->stop();
        progress_->hide();
        model_->setHeaders(std::move(headers));
        if (model_->rowCount() > 0) table_->selectRow(0);
        showSummary();
        emit readingFinished();
    };
    callbacks.invalidFolder = [this] {
        progressTimer_->stop();
        progress_->hide();
        model_->setHeaders({});
        status_->setText(app::kInvalidDirectoryMessage);
        emit readingFinished();
    };
    loader_ = new PreviewLoader(std::move(callbacks), this);
    progressTimer_ = new QTimer(this);
    progressTimer_->setInterval(kProgressMilliseconds);
    connect(progressTimer_, &QTimer::timeout, this, &PreviewWindow::showProgress);

    QSize size(1080, 600);
    if (const QScreen* screen = this->screen()) size = size.boundedTo(screen->availableGeometry().size());
    resize(size);
    showSelected();
}

PreviewWindow::~PreviewWindow() {
    loader_->stop();
}

bool PreviewWindow::isReading() const {
    return loader_->isReading();
}

int PreviewWindow::selectedRow() const {
    return table_->selectionModel()->currentIndex().row();
}

void PreviewWindow::setOptions(const app::RunOptions& options) {
    options_ = options;
    optionsShown_ = false;
    if (!isVisible()) return;
    optionsShown_ = true;
    model_->setOptions(options_);
    if (!isReading() && hasRead_ && readFolder_ == options_.sourceFolder) showSummary();
    readIfStale();
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
    if (!optionsShown_) {
        optionsShown_ = true;
        model_->setOptions(options_);
    }
    readIfStale();
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
