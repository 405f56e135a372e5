// The table of the preview: one row per listed photo, in list order, with what a run with the options of the moment
// would do to it. The headers come in once (read elsewhere, on a worker thread); the plans are worked out again here,
// cheaply, whenever the offset, mask or options change.
#pragma once

#include <QAbstractTableModel>
#include <QSet>
#include <vector>

#include "app/batch_host.h"
#include "app/naming.h"
#include "gui/preview_photo.h"

namespace morrowtide::gui {

class PreviewModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    enum Column { Folder, FileName, Camera, OldTime, NewTime, NewName, Note, ColumnCount };
    enum Role {
        ChangeRole = Qt::UserRole + 1,  // int: DateChange of the row's capture time
        CorrectedRole,                  // bool: the dates will be moved
        ThumbnailRole,                  // QByteArray: the EXIF thumbnail's JPEG bytes
        RecordedRole,                   // double: the recorded capture time, 0 when none
        PathRole,                       // QString: the photo's full path
    };

    // The locale and clock the names are formatted with (the run's, unless a test fixes them).
    explicit PreviewModel(QObject* parent = nullptr, const app::FileNamer& namer = app::FileNamer());

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Forgets every row; the photos of `sourceFolder` follow through appendPhotos.
    void clear(const QString& sourceFolder);
    // Adds rows at the end, planned with the options in force; names are reserved in list order, as a run takes them.
    void appendPhotos(std::vector<PhotoHeader> photos);
    // The options of the moment: every row is planned again. `maskText` is the mask to name by; a mask that cannot be
    // used keeps the one before.
    void setOptions(const app::RunOptions& options);

    const PhotoHeader& header(int row) const { return headers_.at(static_cast<std::size_t>(row)); }
    const PhotoPlan& plan(int row) const { return plans_.at(static_cast<std::size_t>(row)); }
    const QString& sourceFolder() const { return sourceFolder_; }
    // The full path of a row's photo.
    QString photoPath(int row) const;

  private:
    void replanFrom(std::size_t first);
    PhotoPlan planOf(const PhotoHeader& header);

    app::FileNamer namer_;
    app::RunOptions options_;
    bool sameFolder_ = false;
    QString sourceFolder_;
    std::vector<PhotoHeader> headers_;
    std::vector<PhotoPlan> plans_;
    QSet<QString> reserved_;     // output paths (without extension) taken by earlier rows
    QSet<QString> listedPaths_;  // the full paths of the listed photos, which the run never replaces
};

}  // namespace morrowtide::gui
