#include "gui/preview_model.h"

#include <QBrush>
#include <QColor>
#include <QFont>

#include "app/batch_run.h"
#include "app/time_offset.h"
#include "meta/date_time.h"

namespace morrowtide::gui {

namespace {

const QColor kNotCorrectedBackground(0xF8, 0xD7, 0xDA);
const QColor kNotCorrectedText(0x84, 0x20, 0x29);
const QColor kDayBackground(0xFF, 0xF3, 0xB0);
const QColor kYearBackground(0xFF, 0xC0, 0x80);

app::NamingOptions namingOptionsOf(const app::RunOptions& options) {
    app::NamingOptions naming;
    naming.includeDateTime = options.includeDateTime;
    naming.includeCurrentFilename = options.includeFileName;
    naming.overwriteDateTime = options.overwriteDateTime;
    naming.autoRename = false;  // names are reserved here, against the earlier rows as well as the disk
    return naming;
}

// The value as the date field will hold it: whole seconds.
double toWholeSeconds(double value) {
    meta::CivilDateTime fields = meta::decodeDateTime(value);
    fields.millisecond = 0;
    return meta::encodeDateTime(fields);
}

DateChange changeBetween(double before, double after) {
    if (before == 0.0 || after == 0.0) return DateChange::None;
    const meta::CivilDateTime a = meta::decodeDateTime(before);
    const meta::CivilDateTime b = meta::decodeDateTime(after);
    if (a.year != b.year) return DateChange::Year;
    if (a.month != b.month || a.day != b.day) return DateChange::Day;
    return DateChange::None;
}

QString folderOf(const QString& relativePath) {
    const qsizetype slash = relativePath.lastIndexOf(u'/');
    return slash < 0 ? QStringLiteral(".") : relativePath.left(slash);
}

QString withSlash(const QString& folder) {
    return folder.isEmpty() || folder.endsWith(u'/') ? folder : folder + u'/';
}

void addNote(QString& note, const QString& more) {
    note = note.isEmpty() ? more : note + QStringLiteral("; ") + more;
}

}  // namespace

PreviewModel::PreviewModel(QObject* parent, const app::FileNamer& namer) : QAbstractTableModel(parent), namer_(namer) {
    namer_.applyFileMask(options_.fileMask);
}

int PreviewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(headers_.size());
}

int PreviewModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString PreviewModel::photoPath(int row) const {
    return withSlash(sourceFolder_) + header(row).relativePath;
}

QVariant PreviewModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const PhotoHeader& photo = header(index.row());
    const PhotoPlan& planned = plan(index.row());
    switch (role) {
        case Qt::DisplayRole:
            switch (index.column()) {
                case Folder: return folderOf(photo.relativePath);
                case FileName: return photo.relativePath.mid(photo.relativePath.lastIndexOf(u'/') + 1);
                case Camera: return photo.cameraModel;
                case OldTime: return dateTimeText(photo.recorded);
                case NewTime: return dateTimeText(planned.newTime);
                case NewName: return planned.newName;
                case Note: return planned.note;
                default: return {};
            }
        case Qt::BackgroundRole:
            if (!planned.corrected) return QBrush(kNotCorrectedBackground);
            if (index.column() == NewTime && planned.change == DateChange::Year) return QBrush(kYearBackground);
            if (index.column() == NewTime && planned.change == DateChange::Day) return QBrush(kDayBackground);
            return {};
        case Qt::ForegroundRole:
            if (!planned.corrected && index.column() == Note) return QBrush(kNotCorrectedText);
            return {};
        case Qt::FontRole:
            if (index.column() == NewTime && planned.change != DateChange::None) {
                QFont bold;
                bold.setBold(true);
                return bold;
            }
            return {};
        case Qt::ToolTipRole:
            if (index.column() == NewTime && planned.change == DateChange::Year) return QStringLiteral("Another year");
            if (index.column() == NewTime && planned.change == DateChange::Day) return QStringLiteral("Another day");
            if (index.column() == Note && !planned.corrected) return QStringLiteral("The dates of this photo stay as they are");
            return {};
        case ChangeRole: return static_cast<int>(planned.change);
        case CorrectedRole: return planned.corrected;
        case ThumbnailRole: return photo.thumbnail;
        case RecordedRole: return photo.recorded;
        case PathRole: return photoPath(index.row());
        default: return {};
    }
}

QVariant PreviewModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
        case Folder: return QStringLiteral("Folder");
        case FileName: return QStringLiteral("File name");
        case Camera: return QStringLiteral("Camera model");
        case OldTime: return QStringLiteral("Old capture time");
        case NewTime: return QStringLiteral("New capture time");
        case NewName: return QStringLiteral("New name");
        case Note: return QStringLiteral("Note");
        default: return {};
    }
}

void PreviewModel::clear(const QString& sourceFolder) {
    beginResetModel();
    sourceFolder_ = sourceFolder;
    headers_.clear();
    plans_.clear();
    reserved_.clear();
    listedPaths_.clear();
    sameFolder_ = app::isSameFolder(sourceFolder_, options_.destinationFolder);
    endResetModel();
}

void PreviewModel::appendPhotos(std::vector<PhotoHeader> photos) {
    if (photos.empty()) return;
    const std::size_t first = headers_.size();
    beginInsertRows({}, static_cast<int>(first), static_cast<int>(first + photos.size() - 1));
    for (PhotoHeader& photo : photos) {
        listedPaths_.insert(withSlash(sourceFolder_) + photo.relativePath);
        headers_.push_back(std::move(photo));
        plans_.push_back(planOf(headers_.back()));
    }
    endInsertRows();
}

void PreviewModel::setOptions(const app::RunOptions& options) {
    options_ = options;
    if (namer_.formatMaskText() != options.fileMask) namer_.applyFileMask(options.fileMask);
    sameFolder_ = app::isSameFolder(sourceFolder_, options_.destinationFolder);
    reserved_.clear();
    replanFrom(0);
}

void PreviewModel::replanFrom(std::size_t first) {
    for (std::size_t row = first; row < headers_.size(); ++row) plans_[row] = planOf(headers_[row]);
    if (first < headers_.size()) {
        emit dataChanged(index(static_cast<int>(first), 0), index(rowCount() - 1, ColumnCount - 1));
    }
}

PhotoPlan PreviewModel::planOf(const PhotoHeader& photo) {
    PhotoPlan planned;
    planned.newTime = photo.recorded;
    if (!photo.hasExif) {
        planned.note = QStringLiteral("no EXIF");
    } else if (photo.recorded == 0.0) {
        planned.note = QStringLiteral("no readable date");
    } else {
        const double shifted = photo.recorded + static_cast<double>(app::totalSeconds(options_.offset)) / 86400.0;
        if (!meta::isDateTimeInRange(shifted)) {
            planned.note = QStringLiteral("date out of range");
        } else {
            planned.corrected = true;
            planned.newTime = toWholeSeconds(shifted);
            planned.change = changeBetween(photo.recorded, planned.newTime);
        }
    }

    if (namer_.formatMask().isEmpty()) {
        addNote(planned.note, app::kInvalidFileMaskMessage);
        return planned;
    }
    const app::OutputPath output = namer_.outputPathFor(options_.destinationFolder, photo.relativePath,
                                                        photo.hasExif, planned.newTime, namingOptionsOf(options_));
    const QString relativeFolder = output.folder.mid(withSlash(options_.destinationFolder).size());
    const QString fileName = photo.relativePath.mid(photo.relativePath.lastIndexOf(u'/') + 1);
    const QString ownPath = withSlash(sourceFolder_) + photo.relativePath;
    // The photo's own file in the output folder: a copy that takes its place keeps its name, extension included.
    const bool ownName = sameFolder_ && output.name == fileName.left(fileName.size() - 4);
    QString name = output.name;
    QString extension = app::kOutputExtension;
    // As the run goes: a name taken on disk or by an earlier photo of the list gets the first free "_N".
    const auto takeFirstFree = [&] {
        const auto taken = [&](const QString& candidate) {
            return reserved_.contains(output.folder + candidate) ||
                   app::outputFileExists(output.folder + candidate + app::kOutputExtension);
        };
        if (!taken(name)) return;
        const QString base = name;
        for (qint64 n = 2;; ++n) {
            const QString suffix = u'_' + QString::number(n);
            const int room = app::kMaxFileNameBytes - static_cast<int>(app::kOutputExtension.size()) -
                             static_cast<int>(suffix.toUtf8().size());
            name = app::cutToUtf8Bytes(base, room) + suffix;
            if (taken(name)) continue;
            addNote(planned.note, QStringLiteral("renamed ") + suffix);
            return;
        }
    };
    if (!output.nameIsWritable()) {
        addNote(planned.note, QStringLiteral("name cannot be written"));
    } else if (options_.autoRename) {
        takeFirstFree();
    } else if (ownName) {
        extension = fileName.right(4);
        addNote(planned.note, QStringLiteral("replaces original"));
    } else if (const QString target = output.folder + name + extension; listedPaths_.contains(target) && target != ownPath) {
        // Another photo of the list stands there: the run never replaces one.
        takeFirstFree();
    } else if (reserved_.contains(output.folder + name)) {
        addNote(planned.note, QStringLiteral("replaces an earlier photo's output"));
    } else if (app::outputFileExists(target)) {
        addNote(planned.note, target == ownPath ? QStringLiteral("replaces original") : QStringLiteral("replaces a file"));
    }
    reserved_.insert(output.folder + name);
    planned.newName = relativeFolder + name + extension;
    if (planned.note.isEmpty()) planned.note = QStringLiteral("ok");
    return planned;
}

}  // namespace morrowtide::gui
