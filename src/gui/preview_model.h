// SPDX-License-Identifier: GPL-3.0-or-later
// The table of the preview: one row per listed photo, in list order, with what a run with the options of the moment
// would do to it. The headers come in once (read on a worker thread); the plans are made again here, by the run's
// own planner, whenever the offset, mask or options change.
#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QLocale>
#include <memory>
#include <vector>

#include "app/batch_host.h"
#include "app/camera_offsets.h"
#include "app/naming.h"
#include "app/photo_plan.h"

namespace morrowtide::gui {

// How far a photo's capture time moves, as the table marks it.
enum class DateChange {
    None,  // the same day, or not corrected
    Day,   // another day of the same year
    Year,  // another year
};

DateChange changeOf(const app::PhotoPlan& plan);

// The photo's EXIF thumbnail: only the bytes the header located are read (never the image), and only a JPEG is
// taken. Empty when there is none or the file changed.
QByteArray readThumbnail(const app::PhotoHeader& header);

class PreviewModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    enum Column { Folder, FileName, Camera, Correction, OldTime, NewTime, NewName, Note, ColumnCount };
    enum Role {
        ChangeRole = Qt::UserRole + 1,  // int: DateChange of the row's capture time
        CorrectedRole,                  // bool: the dates will be moved
        CameraKeyRole,                  // QString: the cameraKey of the row's photo, in every column
    };

    // The locale and clock the names are formatted with (the run's, unless a test fixes them).
    explicit PreviewModel(QObject* parent = nullptr, const QLocale& locale = QLocale::system(),
                          app::Clock clock = app::currentLocalDateTime);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The rows: the headers of the listed photos in list order, read under the options' source folder.
    void setHeaders(std::vector<std::shared_ptr<const app::PhotoHeader>> headers);
    // The options of the moment: every row is planned again (no file is read). The mask must be one the namer
    // accepts; while none is, the rows have no plans and planError() says why.
    void setOptions(const app::RunOptions& options);

    const app::PhotoHeader& header(int row) const { return *headers_.at(static_cast<std::size_t>(row)); }
    // The row's plan; only while hasPlans().
    const app::PhotoPlan& plan(int row) const { return plans_.at(static_cast<std::size_t>(row)); }
    const std::vector<app::PhotoPlan>& plans() const { return plans_; }
    const std::vector<std::shared_ptr<const app::PhotoHeader>>& headers() const { return headers_; }
    bool hasPlans() const { return plans_.size() == headers_.size(); }
    const QString& planError() const { return planError_; }
    // Rows whose dates stay as they are.
    int notCorrected() const;

  private:
    void replan();

    QLocale locale_;
    app::Clock clock_;
    app::RunOptions options_;
    std::vector<std::shared_ptr<const app::PhotoHeader>> headers_;
    std::vector<app::PhotoPlan> plans_;
    QString planError_;
};

}  // namespace morrowtide::gui
