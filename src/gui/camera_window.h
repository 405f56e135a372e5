// SPDX-License-Identifier: GPL-3.0-or-later
// The cameras of the listed photos and their timeline, in a window of its own opened from the Photos tab: the
// per-camera offsets and the zones (CameraPanel) above, the timeline of the photos before and after the correction
// below. The headers are read on a worker thread; the timeline follows every change of the offsets at once, since
// planning needs no file.
#pragma once

#include <QLocale>
#include <QWidget>

#include <memory>
#include <vector>

#include "app/batch_host.h"
#include "app/naming.h"

class QLabel;
class QPushButton;
class QThread;

namespace morrowtide::app {
struct PhotoHeader;
}

namespace morrowtide::gui {

class CameraPanel;
class TimelineWidget;

class CameraWindow : public QWidget {
    Q_OBJECT

  public:
    explicit CameraWindow(QWidget* parent = nullptr, const QLocale& locale = QLocale::system(),
                          app::Clock clock = app::currentLocalDateTime);
    ~CameraWindow() override;

    // The main window's options (without the cameras' offsets and the zones, which this window adds). The folder
    // is read again when the source folder or the recursion changed.
    void setOptions(const app::RunOptions& options);
    // Reads every header again.
    void refresh();
    // The options with this window's offsets and zones added.
    app::RunOptions withCameras(app::RunOptions options) const;

    CameraPanel& panel() const { return *panel_; }
    TimelineWidget& timeline() const { return *timeline_; }
    bool isReading() const { return worker_ != nullptr; }

  signals:
    // The cameras' offsets or the zones changed.
    void camerasChanged();
    void readingFinished();

  private:
    void startReading();
    void headersRead(std::vector<std::shared_ptr<const app::PhotoHeader>> headers);
    void replan();

    QLocale locale_;
    app::Clock clock_;
    app::RunOptions options_;
    QString readFolder_;
    bool readRecurse_ = true;
    bool readAgain_ = false;
    std::vector<std::shared_ptr<const app::PhotoHeader>> headers_;
    QThread* worker_ = nullptr;
    CameraPanel* panel_ = nullptr;
    TimelineWidget* timeline_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* refresh_ = nullptr;
};

}  // namespace morrowtide::gui
