// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/camera_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QTimeZone>
#include <QVBoxLayout>

#include <algorithm>

#include "app/photo_plan.h"
#include "app/time_offset.h"

namespace morrowtide::gui {

namespace {

QComboBox* zoneBox(const char* name, const QStringList& zones, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->addItems(zones);
    box->completer()->setFilterMode(Qt::MatchContains);
    box->completer()->setCaseSensitivity(Qt::CaseInsensitive);
    box->setCurrentText(QString::fromUtf8(QTimeZone::systemTimeZoneId()));
    box->setMinimumContentsLength(18);
    return box;
}

}  // namespace

CameraPanel::CameraPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("cameraPanel"));
    QStringList zones;
    for (const QByteArray& id : QTimeZone::availableTimeZoneIds()) zones.append(QString::fromUtf8(id));

    convertZones_ = new QCheckBox(tr("Convert between time zones instead of the offset"), this);
    convertZones_->setObjectName(QStringLiteral("convertZones"));
    convertZones_->setToolTip(
        tr("Each date is converted at its own moment, so a change to or from summer time "
           "during the trip comes out right. Cameras with an offset of their own keep it."));
    fromZone_ = zoneBox("fromZone", zones, this);
    toZone_ = zoneBox("toZone", zones, this);
    auto* fromLabel = new QLabel(tr("The clocks showed:"), this);
    fromLabel->setObjectName(QStringLiteral("fromZoneLabel"));
    fromLabel->setBuddy(fromZone_);
    auto* toLabel = new QLabel(tr("The photos were taken in:"), this);
    toLabel->setObjectName(QStringLiteral("toZoneLabel"));
    toLabel->setBuddy(toZone_);
    zoneProblem_ = new QLabel(this);
    zoneProblem_->setObjectName(QStringLiteral("zoneProblem"));
    zoneProblem_->setStyleSheet(QStringLiteral("color: #b00000"));

    table_ = new QTableWidget(0, ColumnCount, this);
    table_->setObjectName(QStringLiteral("cameraTable"));
    table_->setHorizontalHeaderLabels(
        {tr("Camera"), tr("Photos"), tr("Offset"), tr("Suggested by the GPS times"), QString()});
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(Camera, QHeaderView::Stretch);
    table_->horizontalHeader()->setSectionResizeMode(Suggested, QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setSectionResizeMode(UseSuggested, QHeaderView::ResizeToContents);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setToolTip(
        tr("Offset: such as +1h, -0:30:00 or +1d2h3m4s; 0 keeps the camera's dates as they are; "
           "empty takes the offset of the main window"));

    showPhotos_ = new QPushButton(tr("Show its photos"), this);
    showPhotos_->setObjectName(QStringLiteral("btnShowCameraPhotos"));
    showPhotos_->setToolTip(tr("List only the photos of the selected camera"));
    showPhotos_->setEnabled(false);
    auto* hint = new QLabel(tr("Type an offset per camera; a camera left empty takes the offset of the main "
                               "window. The offsets are kept with \"Save Options\"."),
                            this);
    hint->setObjectName(QStringLiteral("lblCameraHint"));
    hint->setWordWrap(true);

    auto* zonesRow = new QHBoxLayout;
    zonesRow->addWidget(fromLabel);
    zonesRow->addWidget(fromZone_, 1);
    zonesRow->addSpacing(12);
    zonesRow->addWidget(toLabel);
    zonesRow->addWidget(toZone_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(convertZones_);
    layout->addLayout(zonesRow);
    layout->addWidget(zoneProblem_);
    layout->addWidget(table_, 1);
    auto* below = new QHBoxLayout;
    below->addWidget(hint, 1);
    below->addWidget(showPhotos_);
    layout->addLayout(below);

    connect(convertZones_, &QCheckBox::toggled, this, &CameraPanel::zonesEdited);
    connect(fromZone_, &QComboBox::currentTextChanged, this, &CameraPanel::zonesEdited);
    connect(toZone_, &QComboBox::currentTextChanged, this, &CameraPanel::zonesEdited);
    connect(table_, &QTableWidget::cellChanged, this, &CameraPanel::offsetEdited);
    connect(table_, &QTableWidget::itemSelectionChanged, this,
            [this] { showPhotos_->setEnabled(selectedCamera().has_value()); });
    connect(showPhotos_, &QPushButton::clicked, this, [this] {
        if (const auto camera = selectedCamera()) emit showPhotosRequested(*camera);
    });
    zonesEdited();
}

void CameraPanel::setHeaders(std::vector<std::shared_ptr<const app::PhotoHeader>> headers) {
    headers_ = std::move(headers);
    cameras_.clear();
    QMap<QString, std::size_t> index;
    for (const auto& header : headers_) {
        // A movie names its camera without an EXIF block.
        const QString key = app::cameraKey(*header);
        if (!header->hasExif && key.isEmpty()) continue;
        const auto found = index.constFind(key);
        if (found != index.constEnd()) {
            ++cameras_[*found].photos;
            continue;
        }
        index.insert(key, cameras_.size());
        const QString name = app::cameraName(*header);
        cameras_.push_back({key, name.isEmpty() ? tr("No camera") : name, 1, std::nullopt});
    }
    updateSuggestions();
    rebuildRows();
}

void CameraPanel::updateSuggestions() {
    const bool converting = convertZones_->isChecked() && app::isKnownZone(toZone_->currentText());
    const QTimeZone zone =
        converting ? QTimeZone(toZone_->currentText().toUtf8()) : QTimeZone(QTimeZone::systemTimeZoneId());
    const std::vector<app::OffsetSuggestion> suggestions = app::suggestOffsets(headers_, zone, converting);
    for (CameraRow& camera : cameras_) {
        const auto found = std::find_if(suggestions.begin(), suggestions.end(),
                                        [&camera](const app::OffsetSuggestion& s) { return s.camera == camera.key; });
        camera.suggestion = found == suggestions.end() ? std::nullopt : std::optional(*found);
    }
}

void CameraPanel::rebuildRows() {
    filling_ = true;
    table_->setRowCount(static_cast<int>(cameras_.size()));
    for (int row = 0; row < static_cast<int>(cameras_.size()); ++row) {
        const CameraRow& camera = cameras_[static_cast<std::size_t>(row)];
        const auto fixed = [](const QString& text) {
            auto* item = new QTableWidgetItem(text);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            return item;
        };
        table_->setItem(row, Camera, fixed(camera.name));
        auto* count = fixed(QString::number(camera.photos));
        count->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table_->setItem(row, Photos, count);
        const auto given = offsets_.constFind(camera.key);
        table_->setItem(row, Offset,
                        new QTableWidgetItem(given == offsets_.constEnd() ? QString() : app::offsetText(*given)));
        const auto& suggestion = camera.suggestion;
        table_->setItem(row, Suggested,
                        fixed(suggestion ? tr("%1 (%2 of %3 photos agree within a minute)")
                                               .arg(app::offsetText(suggestion->seconds))
                                               .arg(suggestion->agreeing)
                                               .arg(suggestion->photos)
                                         : tr("no GPS times")));
        // The row's button is made once: one replaced while the table is shown would linger until deleted.
        auto* use = qobject_cast<QPushButton*>(table_->cellWidget(row, UseSuggested));
        if (use == nullptr) {
            use = new QPushButton(tr("Use suggested offset"));
            use->setObjectName(QStringLiteral("useSuggested%1").arg(row));
            connect(use, &QPushButton::clicked, this, [this, row] { useSuggestion(row); });
            table_->setCellWidget(row, UseSuggested, use);
        }
        use->setEnabled(suggestion.has_value());
    }
    filling_ = false;
}

std::optional<std::int64_t> CameraPanel::cameraOffset(int row) const {
    if (row < 0 || row >= cameraCount()) return std::nullopt;
    const auto found = offsets_.constFind(cameras_[static_cast<std::size_t>(row)].key);
    return found == offsets_.constEnd() ? std::nullopt : std::optional(*found);
}

std::optional<app::OffsetSuggestion> CameraPanel::suggestion(int row) const {
    if (row < 0 || row >= cameraCount()) return std::nullopt;
    return cameras_[static_cast<std::size_t>(row)].suggestion;
}

void CameraPanel::useSuggestion(int row) {
    const auto offered = suggestion(row);
    if (!offered) return;
    table_->item(row, Offset)->setText(app::offsetText(offered->seconds));  // through offsetEdited
}

void CameraPanel::offsetEdited(int row, int column) {
    if (filling_ || column != Offset || row < 0 || row >= cameraCount()) return;
    QTableWidgetItem* item = table_->item(row, Offset);
    const QString key = cameras_[static_cast<std::size_t>(row)].key;
    const QString text = item->text().trimmed();
    QString problem;
    std::optional<std::int64_t> seconds;
    if (!text.isEmpty()) {
        std::string error;
        seconds = app::parseOffsetText(text.toStdString(), error);
        if (!seconds) {
            problem = tr("Not an offset such as +1h, -0:30:00, +1d2h3m4s or 0");
        } else if (!app::offsetFromSeconds(*seconds)) {
            seconds.reset();
            problem = tr("Too large an offset");
        }
    }
    filling_ = true;
    item->setBackground(problem.isEmpty() ? QBrush() : QBrush(QColor(0xFF, 0xD0, 0xD0)));
    item->setToolTip(problem);
    filling_ = false;
    if (seconds) {
        offsets_.insert(key, *seconds);
    } else {
        offsets_.remove(key);
    }
    emit changed();
}

void CameraPanel::zonesEdited() {
    const bool on = convertZones_->isChecked();
    fromZone_->setEnabled(on);
    toZone_->setEnabled(on);
    QStringList unknown;
    for (const QComboBox* box : {fromZone_, toZone_}) {
        if (!app::isKnownZone(box->currentText())) unknown.append(box->currentText());
    }
    zoneProblem_->setText(on && !unknown.isEmpty() ? tr("Not a time zone this system knows: %1; the offset of the "
                                                        "main window applies.")
                                                         .arg(unknown.join(QStringLiteral(", ")))
                                                   : QString());
    zoneProblem_->setVisible(!zoneProblem_->text().isEmpty());
    updateSuggestions();
    rebuildRows();
    emit changed();
}

app::CameraChoices CameraPanel::choices() const {
    app::CameraChoices choices;
    choices.offsets = offsets_;
    choices.convertZones = convertZones_->isChecked();
    choices.fromZone = fromZone_->currentText();
    choices.toZone = toZone_->currentText();
    return choices;
}

void CameraPanel::setChoices(const app::CameraChoices& choices) {
    offsets_ = choices.offsets;
    const QSignalBlocker blockFrom(fromZone_);
    const QSignalBlocker blockTo(toZone_);
    const QSignalBlocker blockConvert(convertZones_);
    if (!choices.fromZone.isEmpty()) fromZone_->setCurrentText(choices.fromZone);
    if (!choices.toZone.isEmpty()) toZone_->setCurrentText(choices.toZone);
    convertZones_->setChecked(choices.convertZones);
    zonesEdited();  // the rows, the suggestions and the zones' state with them
}

std::optional<QString> CameraPanel::selectedCamera() const {
    const QList<QTableWidgetItem*> selected = table_->selectedItems();
    if (selected.isEmpty()) return std::nullopt;
    const int row = selected.first()->row();
    if (row < 0 || row >= cameraCount()) return std::nullopt;
    return cameras_[static_cast<std::size_t>(row)].key;
}

}  // namespace morrowtide::gui
