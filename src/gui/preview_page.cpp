#include "gui/preview_page.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "app/batch_run.h"
#include "gui/preview_loader.h"
#include "gui/preview_model.h"

namespace morrowtide::gui {

namespace {

constexpr int kThumbnailWidth = 160;
constexpr int kThumbnailHeight = 120;

QString legendSwatch(const char* colour, const char* text) {
    return QStringLiteral("<span style=\"background-color:%1\">&nbsp;&nbsp;&nbsp;&nbsp;</span>&nbsp;%2")
        .arg(QString::fromLatin1(colour), QString::fromLatin1(text));
}

}  // namespace

PreviewPage::PreviewPage(const app::FileNamer& namer, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("tsPreview"));
    model_ = new PreviewModel(this, namer);
    model_->setObjectName(QStringLiteral("previewModel"));

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("lblPreviewStatus"));
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("pbPreview"));
    progress_->setTextVisible(false);
    progress_->setMaximumWidth(200);
    progress_->hide();
    refresh_ = new QPushButton(QStringLiteral("&Refresh"), this);
    refresh_->setObjectName(QStringLiteral("btnPreviewRefresh"));
    refresh_->setAutoDefault(true);
    connect(refresh_, &QPushButton::clicked, this, &PreviewPage::refresh);

    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("tvPreview"));
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setWordWrap(false);
    // A long name keeps both ends in sight: the date in front and the old name at the end.
    table_->setTextElideMode(Qt::ElideMiddle);
    table_->setAlternatingRowColors(false);
    table_->verticalHeader()->hide();
    // Fixed row heights and column widths: nothing has to look at 10,000 rows to lay the table out.
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    const int digit = table_->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const int widths[] = {7, 20, 16, 19, 19, 34, 14};
    for (int column = 0; column < PreviewModel::ColumnCount; ++column) table_->setColumnWidth(column, widths[column] * digit);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setMinimumSize(600, 320);
    table_->setContextMenuPolicy(Qt::ActionsContextMenu);
    setFromPhotoAction_ = new QAction(QStringLiteral("Set from this photo\u2026"), table_);
    setFromPhotoAction_->setObjectName(QStringLiteral("actPreviewSetFromPhoto"));
    setFromPhotoAction_->setEnabled(false);
    table_->addAction(setFromPhotoAction_);
    connect(setFromPhotoAction_, &QAction::triggered, this, &PreviewPage::requestSetFromPhoto);
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &PreviewPage::showSelected);
    connect(model_, &QAbstractItemModel::modelReset, this, &PreviewPage::showSelected);

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
    setFromPhoto_ = new QPushButton(QStringLiteral("Set from this photo\u2026"), this);
    setFromPhoto_->setObjectName(QStringLiteral("btnPreviewSetFromPhoto"));
    setFromPhoto_->setAutoDefault(true);
    setFromPhoto_->setEnabled(false);
    connect(setFromPhoto_, &QPushButton::clicked, this, &PreviewPage::requestSetFromPhoto);

    auto* legend = new QLabel(this);
    legend->setObjectName(QStringLiteral("lblPreviewLegend"));
    legend->setText(legendSwatch("#fff3b0", "another day") + QStringLiteral("&nbsp;&nbsp;&nbsp;") +
                    legendSwatch("#ffc080", "another year") + QStringLiteral("&nbsp;&nbsp;&nbsp;") +
                    legendSwatch("#f8d7da", "not corrected"));

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
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(middle, 1);
    layout->addWidget(legend);

    PreviewLoader::Callbacks callbacks;
    callbacks.listed = [this](int count) {
        listed_ = count;
        progress_->setRange(0, std::max(1, count));
        progress_->setValue(0);
        progress_->setVisible(count > 0);
        status_->setText(QStringLiteral("Reading %1 photos\u2026").arg(count));
    };
    callbacks.photosRead = [this](std::vector<PhotoHeader> photos) {
        model_->appendPhotos(std::move(photos));
        progress_->setValue(model_->rowCount());
        status_->setText(QStringLiteral("Reading photos\u2026 %1 of %2").arg(model_->rowCount()).arg(listed_));
        if (table_->selectionModel()->currentIndex().row() < 0 && model_->rowCount() > 0) table_->selectRow(0);
    };
    callbacks.finished = [this] {
        progress_->hide();
        int notCorrected = 0;
        for (int row = 0; row < model_->rowCount(); ++row) notCorrected += model_->plan(row).corrected ? 0 : 1;
        status_->setText(QStringLiteral("%1 photos, %2 not corrected").arg(model_->rowCount()).arg(notCorrected));
        emit readingFinished();
    };
    callbacks.invalidFolder = [this] {
        progress_->hide();
        status_->setText(app::kInvalidDirectoryMessage);
        emit readingFinished();
    };
    loader_ = new PreviewLoader(std::move(callbacks), this);
    showSelected();
}

PreviewPage::~PreviewPage() {
    loader_->stop();
}

bool PreviewPage::isReading() const {
    return loader_->isReading();
}

int PreviewPage::selectedRow() const {
    return table_->selectionModel()->currentIndex().row();
}

void PreviewPage::setOptions(const app::RunOptions& options) {
    const bool sourceChanged =
        options.sourceFolder != options_.sourceFolder || options.recurseFolders != options_.recurseFolders;
    options_ = options;
    model_->setOptions(options);
    showSelected();
    if (sourceChanged && isVisible()) readIfStale();
}

void PreviewPage::refresh() {
    hasRead_ = false;
    readIfStale();
}

void PreviewPage::readIfStale() {
    if (hasRead_ && readFolder_ == options_.sourceFolder && readRecurse_ == options_.recurseFolders) return;
    hasRead_ = true;
    readFolder_ = options_.sourceFolder;
    readRecurse_ = options_.recurseFolders;
    listed_ = 0;
    model_->clear(readFolder_);
    status_->setText(QStringLiteral("Searching the folder\u2026"));
    progress_->setRange(0, 0);  // busy until the count is known
    progress_->show();
    loader_->start(readFolder_, readRecurse_);
}

void PreviewPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    readIfStale();
}

void PreviewPage::showSelected() {
    const int row = selectedRow();
    const bool selected = row >= 0 && row < model_->rowCount();
    setFromPhoto_->setEnabled(selected);
    setFromPhotoAction_->setEnabled(selected);
    if (!selected) {
        thumbnail_->setText(QString());
        thumbnail_->setPixmap(QPixmap());
        selectedCaption_->setText(QString());
        return;
    }
    const PhotoHeader& photo = model_->header(row);
    // Only the small picture stored in the EXIF block is decoded, never the photo itself.
    QImage image;
    if (!photo.thumbnail.isEmpty()) image.loadFromData(photo.thumbnail, "JPEG");
    if (image.isNull()) {
        thumbnail_->setPixmap(QPixmap());
        thumbnail_->setText(QStringLiteral("No thumbnail"));
    } else {
        thumbnail_->setPixmap(QPixmap::fromImage(
            image.scaled(kThumbnailWidth, kThumbnailHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    }
    const PhotoPlan& planned = model_->plan(row);
    selectedCaption_->setText(model_->data(model_->index(row, PreviewModel::FileName)).toString() +
                              QStringLiteral("\nRecorded:\n") + dateTimeText(photo.recorded) +
                              QStringLiteral("\nNew:\n") + dateTimeText(planned.newTime));
}

void PreviewPage::requestSetFromPhoto() {
    const int row = selectedRow();
    if (row < 0 || row >= model_->rowCount()) return;
    emit setFromPhotoRequested(model_->photoPath(row));
}

}  // namespace morrowtide::gui
