// SPDX-License-Identifier: GPL-3.0-or-later
// A picture of the trip: one lane per camera, a mark per photo along a time axis, each lane in two rows (the
// capture times as recorded, and after the correction). When the offsets are right, the lanes' "after" rows line
// up. Hovering a mark shows the photo's thumbnail and times.
//
// Drawing stays cheap for many thousands of photos: the marks' positions are worked out once per change of the
// photos or of the widget's size, into one list of lines per lane and row, which a paint hands to the painter as is.
#pragma once

#include <QImage>
#include <QLineF>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <vector>

namespace morrowtide::app {
struct PhotoPlan;
}

namespace morrowtide::gui {

// One photo on the timeline: its camera's lane, its name, and its capture time before and after the correction
// (date-time values; 0: none, and no mark in that row).
struct TimelinePhoto {
    QString camera;  // the lane's name; empty: photos that name no camera
    QString name;
    double before = 0.0;
    double after = 0.0;
};

// The timeline's photos of a list of plans, in list order: camera name, file name, old and new capture time.
std::vector<TimelinePhoto> timelinePhotosOf(const std::vector<app::PhotoPlan>& plans);

class TimelineWidget : public QWidget {
    Q_OBJECT

  public:
    // The thumbnail of photo `index` (of setPhotos' list); a null image when it has none.
    using ThumbnailSource = std::function<QImage(int index)>;

    explicit TimelineWidget(QWidget* parent = nullptr);

    // The lanes are the cameras in the order they first appear.
    void setPhotos(std::vector<TimelinePhoto> photos);
    void setThumbnailSource(ThumbnailSource source);

    const QStringList& lanes() const { return lanes_; }
    // The photo whose mark lies under `pos` (within a few pixels; the nearest), -1 when none; `after` tells the row.
    int photoAt(const QPoint& pos, bool* after = nullptr) const;
    // The photo the pointer is on, -1 when none.
    int hoveredPhoto() const { return hovered_; }
    // Where photo `index`'s mark lies in its row (the middle of the mark); a null point when it has none there.
    QPointF markPosition(int index, bool after) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    struct Row {
        std::vector<QLineF> lines;  // one per pixel column that holds a mark
    };

    void layoutMarks();
    void setHovered(int index, bool after);
    QRectF rowRect(int lane, bool after) const;
    double xOf(double value) const;
    void paintAxis(QPainter& painter) const;
    void paintHoverCard(QPainter& painter) const;

    std::vector<TimelinePhoto> photos_;
    std::vector<int> laneOf_;  // per photo
    QStringList lanes_;
    double first_ = 0.0;  // the axis' range (date-time values)
    double last_ = 0.0;
    std::vector<Row> rows_;        // lane * 2 + (after ? 1 : 0)
    std::vector<double> beforeX_;  // per photo; NaN: no mark
    std::vector<double> afterX_;
    ThumbnailSource thumbnails_;
    int hovered_ = -1;
    bool hoveredAfter_ = false;
    QPoint pointer_;
    QImage hoverImage_;
};

}  // namespace morrowtide::gui
