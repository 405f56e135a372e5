// SPDX-License-Identifier: GPL-3.0-or-later
// Several cameras and time zones in the window: the listed photos grouped by camera, an offset per camera (left
// empty: the offset boxes of the main window), the offset each camera's GPS times suggest with one button to take
// it, and the conversion from the zone the clocks showed to the zone the photos were taken in.
#pragma once

#include <QMap>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "app/batch_host.h"
#include "app/camera_offsets.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace morrowtide::app {
struct PhotoHeader;
}

namespace morrowtide::gui {

class CameraPanel : public QWidget {
    Q_OBJECT

  public:
    enum Column { Camera, Photos, Offset, Suggested, UseSuggested, ColumnCount };
    // One camera of the listed photos.
    struct CameraRow {
        QString key;   // cameraKey
        QString name;  // as shown
        int photos = 0;
        std::optional<app::OffsetSuggestion> suggestion;
    };

    explicit CameraPanel(QWidget* parent = nullptr);

    // The photos of the list, in list order: one row per camera. The offsets typed for a camera stay while it is
    // listed again.
    void setHeaders(std::vector<std::shared_ptr<const app::PhotoHeader>> headers);
    // The cameras' offsets and the zones, put into the options of the main window: a rule for each camera whose
    // offset was given, the zones when the conversion is on.
    void applyTo(app::RunOptions& options) const { choices().applyTo(options); }
    // The offsets given (those of cameras not listed now too) and the zones, as they are kept between starts.
    app::CameraChoices choices() const;
    // Puts back choices kept from an earlier start; an empty zone leaves the box as it is.
    void setChoices(const app::CameraChoices& choices);
    // The camera key of the selected row; nullopt when no row is selected.
    std::optional<QString> selectedCamera() const;

    QTableWidget& table() const { return *table_; }
    int cameraCount() const { return static_cast<int>(cameras_.size()); }
    // The cameras in the order they first appear in the list.
    const std::vector<CameraRow>& cameras() const { return cameras_; }
    // The offset of the camera of row `row`: empty when it takes the main window's.
    std::optional<std::int64_t> cameraOffset(int row) const;
    // The GPS suggestion of row `row`'s camera, when its photos give one.
    std::optional<app::OffsetSuggestion> suggestion(int row) const;
    // Takes the row's suggestion as its offset (the "Use suggested offset" button).
    void useSuggestion(int row);

  signals:
    // An offset or the zones changed: the options are to be read again.
    void changed();
    // "Show its photos" for the camera with this key.
    void showPhotosRequested(const QString& cameraKey);

  private:
    void rebuildRows();
    void updateSuggestions();
    void offsetEdited(int row, int column);
    void zonesEdited();

    std::vector<std::shared_ptr<const app::PhotoHeader>> headers_;
    std::vector<CameraRow> cameras_;
    QMap<QString, std::int64_t> offsets_;  // by camera key: the offsets given
    QCheckBox* convertZones_ = nullptr;
    QComboBox* fromZone_ = nullptr;
    QComboBox* toZone_ = nullptr;
    QLabel* zoneProblem_ = nullptr;
    QTableWidget* table_ = nullptr;
    QPushButton* showPhotos_ = nullptr;
    bool filling_ = false;  // the table is being filled, not edited
};

}  // namespace morrowtide::gui
