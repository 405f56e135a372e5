// SPDX-License-Identifier: GPL-3.0-or-later
// The preview window: the table of the listed photos with what a run with the main window's options would do to
// each, the selected photo's EXIF thumbnail, the progress while a folder is read, and "Set from a photo…" for the
// selected photo; the cameras of the photos with an offset for each and the time zones; the timeline of the photos
// before and after the correction. One reading of the folder feeds all three pages. A window of its own beside the
// main window: it can be resized, maximised and left open. It holds the cameras' offsets and the zones, which the
// main window's run takes from it.
#pragma once

#include <QLocale>
#include <QString>
#include <QWidget>

#include <optional>

#include "app/batch_host.h"
#include "app/camera_offsets.h"
#include "app/naming.h"

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSortFilterProxyModel;
class QTabWidget;
class QTableView;
class QTimer;

namespace morrowtide::gui {

class CameraPanel;
class PreviewLoader;
class PreviewModel;
class TimelineWidget;

class PreviewWindow : public QWidget {
    Q_OBJECT

  public:
    enum class Page { Photos, Cameras, Timeline };

    // The locale and clock the names are formatted with (the run's, unless a test fixes them).
    explicit PreviewWindow(QWidget* parent = nullptr, const QLocale& locale = QLocale::system(),
                           app::Clock clock = app::currentLocalDateTime);
    ~PreviewWindow() override;

    // The options of the moment; their camera rules and zones give way to this window's. The table is planned
    // again; the folder is listed again (on the worker) when the source folder, the recursion, the choice of other
    // file types or a destination inside the source changed. While the window is hidden all of it waits for the
    // next showing.
    void setOptions(const app::RunOptions& options);
    // Reads every header of the source folder again (the photos may have changed on disk).
    void refresh();
    // Brings the page to the front.
    void showPage(Page page);
    Page currentPage() const;

    // The options with this window's cameras' offsets and zones in place of any they held.
    app::RunOptions withCameras(app::RunOptions options) const;
    app::CameraChoices cameraChoices() const;
    void setCameraChoices(const app::CameraChoices& choices);
    // Lists only the photos of the camera with this key (empty: the photos that name no camera); nullopt: all.
    void filterCamera(const std::optional<QString>& cameraKey);

    PreviewModel& model() const { return *model_; }
    QTableView& table() const { return *table_; }
    CameraPanel& cameraPanel() const { return *cameras_; }
    TimelineWidget& timeline() const { return *timeline_; }
    bool isReading() const;
    // The selected row of the model (whatever the table's order and filter), -1 when none.
    int selectedRow() const;

  signals:
    // "Set from a photo…" for the photo at the path.
    void setFromPhotoRequested(const QString& path);
    // A reading ended: every listed photo is in the table, or the folder was found missing.
    void readingFinished();
    // A camera's offset or the zones changed.
    void camerasChanged();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    // Starts a reading when the table does not hold what the options list.
    void readIfStale();
    void showProgress();
    void showSummary();
    void showSelected();
    void requestSetFromPhoto();
    QWidget* buildPhotosPage();
    QWidget* buildTimelinePage();
    // The model's rows planned again with the options and the cameras' choices.
    void replan();
    // The timeline and the camera list follow the model; the timeline only while it is on the screen.
    void updateTimeline();
    void updateCameraFilter();

    app::RunOptions options_;
    bool optionsShown_ = false;  // the table is planned with options_
    bool hasRead_ = false;
    bool readAgain_ = false;  // every header is to be read anew at the next reading
    QString readFolder_;      // what the table holds: the folder, recursion and destination it was listed with
    bool readRecurse_ = true;
    bool readAllTypes_ = false;
    QString readDestination_;
    bool timelineStale_ = true;
    bool zonesShown_ = false;  // the correction column is wide enough for the zones' names
    PreviewModel* model_ = nullptr;
    QSortFilterProxyModel* sorted_ = nullptr;
    QTabWidget* pages_ = nullptr;
    QComboBox* cameraFilter_ = nullptr;
    CameraPanel* cameras_ = nullptr;
    TimelineWidget* timeline_ = nullptr;
    PreviewLoader* loader_ = nullptr;
    QTimer* progressTimer_ = nullptr;
    QTableView* table_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* refresh_ = nullptr;
    QLabel* thumbnail_ = nullptr;
    QLabel* selectedCaption_ = nullptr;
    QPushButton* setFromPhoto_ = nullptr;
};

}  // namespace morrowtide::gui
