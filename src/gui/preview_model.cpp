// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/preview_model.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <stdexcept>
#include <string>

#include "meta/byte_reader.h"
#include "meta/date_time.h"
#include "meta/safe_file.h"

namespace morrowtide::gui {

namespace {

const QColor kNotCorrectedBackground(0xF8, 0xD7, 0xDA);
const QColor kNotCorrectedText(0x84, 0x20, 0x29);
const QColor kDayBackground(0xFF, 0xF3, 0xB0);
const QColor kYearBackground(0xFF, 0xC0, 0x80);

// An EXIF thumbnail lies inside one APP1 section, which holds at most 64 KiB.
constexpr std::int64_t kMaxThumbnailBytes = 65535;
constexpr std::uint16_t kJpegStart = 0xFFD8;

}  // namespace

DateChange changeOf(const app::PhotoPlan& plan) {
    if (!plan.corrected() || plan.oldCapture == 0.0 || plan.newCapture == 0.0) return DateChange::None;
    const meta::CivilDateTime a = meta::decodeDateTime(plan.oldCapture);
    const meta::CivilDateTime b = meta::decodeDateTime(plan.newCapture);
    if (a.year != b.year) return DateChange::Year;
    if (a.month != b.month || a.day != b.day) return DateChange::Day;
    return DateChange::None;
}

QByteArray readThumbnail(const app::PhotoHeader& header) {
    if (header.thumbnailOffset < 0 || header.thumbnailLength < 2 || header.thumbnailLength > kMaxThumbnailBytes) {
        return {};
    }
    meta::SourceFile file;
    if (file.open(header.nativePath) != 0 || file.size() != header.size) return {};
    std::string bytes;
    const auto length = static_cast<std::size_t>(header.thumbnailLength);
    if (file.readAt(header.thumbnailOffset, length, bytes) != header.thumbnailLength) return {};
    // Only a JPEG: an uncompressed thumbnail or a stale offset would give a picture of noise or nothing.
    if (meta::ByteReader(bytes, true).tryU16(0) != kJpegStart) return {};
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

PreviewModel::PreviewModel(QObject* parent, const QLocale& locale, app::Clock clock)
    : QAbstractTableModel(parent), locale_(locale), clock_(std::move(clock)) {}

int PreviewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(headers_.size());
}

int PreviewModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

int PreviewModel::notCorrected() const {
    int count = 0;
    for (const app::PhotoPlan& plan : plans_) count += plan.corrected() ? 0 : 1;
    return count;
}

QVariant PreviewModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const app::PhotoHeader& photo = header(index.row());
    const int column = index.column();
    if (role == CameraKeyRole) return app::cameraKey(photo);
    if (role == Qt::DisplayRole) {
        switch (column) {
            case Folder:
                return photo.relativeFolder.isEmpty() ? QStringLiteral(".") : photo.relativeFolder.chopped(1);
            case FileName:
                return photo.fileName;
            case Camera:
                return app::cameraName(photo);
            case OldTime:
                return app::formatPlanDate(photo.recordedCapture);
            default:
                break;
        }
    }
    if (!hasPlans()) {
        if (role == Qt::DisplayRole && column == Note) return planError_;
        return {};
    }
    const app::PhotoPlan& planned = plan(index.row());
    const DateChange change = changeOf(planned);
    const bool marked = column == NewTime && change != DateChange::None;
    switch (role) {
        case Qt::DisplayRole:
            switch (column) {
                case Correction:
                    return planned.correctionText();
                case NewTime:
                    return app::formatPlanDate(planned.newCapture);
                case NewName:
                    return planned.relativeOutput;
                case Note:
                    return planned.note();
                default:
                    return {};
            }
        case Qt::BackgroundRole:
            if (!planned.corrected()) return QBrush(kNotCorrectedBackground);
            if (marked) return QBrush(change == DateChange::Year ? kYearBackground : kDayBackground);
            return {};
        case Qt::ForegroundRole:
            if (!planned.corrected() && column == Note) return QBrush(kNotCorrectedText);
            return {};
        case Qt::FontRole:
            if (marked || (column == Correction && planned.cameraRule)) {
                QFont bold;
                bold.setBold(true);
                return bold;
            }
            return {};
        case Qt::ToolTipRole:
            if (marked) return change == DateChange::Year ? tr("Another year") : tr("Another day");
            if (column == Note && !planned.corrected()) return tr("The dates of this photo stay as they are");
            if (column == NewName) return planned.output.filePath();
            if (column == Correction) {
                if (planned.cameraRule) return tr("The offset given for this camera");
                if (!planned.fromZone.isEmpty()) return tr("Converted from the one time zone to the other");
                return tr("The offset of the main window");
            }
            return {};
        case ChangeRole:
            return static_cast<int>(change);
        case CorrectedRole:
            return planned.corrected();
        default:
            return {};
    }
}

QVariant PreviewModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    switch (section) {
        case Folder:
            return tr("Folder");
        case FileName:
            return tr("File name");
        case Camera:
            return tr("Camera");
        case Correction:
            return tr("Correction");
        case OldTime:
            return tr("Old capture time");
        case NewTime:
            return tr("New capture time");
        case NewName:
            return tr("New name");
        case Note:
            return tr("Note");
        default:
            return {};
    }
}

void PreviewModel::setHeaders(std::vector<std::shared_ptr<const app::PhotoHeader>> headers) {
    beginResetModel();
    headers_ = std::move(headers);
    plans_.clear();
    replan();
    endResetModel();
}

void PreviewModel::setOptions(const app::RunOptions& options) {
    options_ = options;
    replan();
    if (!headers_.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

void PreviewModel::replan() {
    planError_.clear();
    try {
        plans_ = app::planList(headers_, options_, locale_, clock_);
    } catch (const std::exception& failure) {
        plans_.clear();
        planError_ = QString::fromUtf8(failure.what());
    }
}

}  // namespace morrowtide::gui
