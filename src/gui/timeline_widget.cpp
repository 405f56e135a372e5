// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/timeline_widget.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>

#include "app/camera_offsets.h"
#include "app/photo_plan.h"
#include "meta/date_time.h"

namespace morrowtide::gui {

namespace {

constexpr int kLabelWidth = 170;  // the lane names, left of the axis
constexpr int kRightMargin = 12;
constexpr int kTopMargin = 8;
constexpr int kRowHeight = 18;
constexpr int kLaneGap = 10;
constexpr int kLaneHeight = 2 * kRowHeight + kLaneGap;
constexpr int kAxisHeight = 30;
constexpr double kHitDistance = 4.0;  // pixels either side of a mark that still count as on it
constexpr int kThumbnailWidth = 160;
constexpr int kThumbnailHeight = 120;
constexpr double kSecondsPerDay = 86400.0;
constexpr double kNoMark = std::numeric_limits<double>::quiet_NaN();

QColor laneColor(int lane) {
    return QColor::fromHsv((lane * 67 + 200) % 360, 190, 190);
}

// The spacing of the axis' ticks, in seconds: the first of these that leaves room for a label.
constexpr double kTickSteps[] = {1,
                                 5,
                                 15,
                                 30,
                                 60,
                                 300,
                                 900,
                                 1800,
                                 3600,
                                 10800,
                                 21600,
                                 43200,
                                 86400,
                                 2 * 86400,
                                 7 * 86400,
                                 30 * 86400,
                                 91 * 86400,
                                 365 * 86400,
                                 5 * 365 * 86400.0,
                                 25 * 365 * 86400.0,
                                 100 * 365 * 86400.0};

QString tickLabel(double value, double step) {
    const meta::CivilDateTime t = meta::decodeDateTime(value);
    if (step >= kSecondsPerDay) return QString::asprintf("%04d-%02d-%02d", t.year, t.month, t.day);
    if (step >= 60) return QString::asprintf("%02d-%02d %02d:%02d", t.month, t.day, t.hour, t.minute);
    return QString::asprintf("%02d:%02d:%02d", t.hour, t.minute, t.second);
}

}  // namespace

std::vector<TimelinePhoto> timelinePhotosOf(const std::vector<app::PhotoPlan>& plans) {
    std::vector<TimelinePhoto> photos;
    photos.reserve(plans.size());
    for (const app::PhotoPlan& plan : plans) {
        photos.push_back({app::cameraName(*plan.header), plan.header->fileName, plan.oldCapture, plan.newCapture});
    }
    return photos;
}

TimelineWidget::TimelineWidget(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("timeline"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TimelineWidget::setPhotos(std::vector<TimelinePhoto> photos) {
    photos_ = std::move(photos);
    lanes_.clear();
    laneOf_.clear();
    laneOf_.reserve(photos_.size());
    first_ = last_ = 0.0;
    for (const TimelinePhoto& photo : photos_) {
        const QString lane = photo.camera.isEmpty() ? tr("No camera") : photo.camera;
        qsizetype index = lanes_.indexOf(lane);
        if (index < 0) {
            index = lanes_.size();
            lanes_.append(lane);
        }
        laneOf_.push_back(static_cast<int>(index));
        for (const double value : {photo.before, photo.after}) {
            if (value == 0.0) continue;
            first_ = first_ == 0.0 ? value : std::min(first_, value);
            last_ = last_ == 0.0 ? value : std::max(last_, value);
        }
    }
    // A little room either side, and some width for a trip of one moment.
    const double pad = std::max((last_ - first_) * 0.02, 1800.0 / kSecondsPerDay);
    first_ -= pad;
    last_ += pad;
    hovered_ = -1;
    hoverImage_ = QImage();
    updateGeometry();
    layoutMarks();
    update();
}

void TimelineWidget::setThumbnailSource(ThumbnailSource source) {
    thumbnails_ = std::move(source);
}

QSize TimelineWidget::sizeHint() const {
    return {760, kTopMargin + static_cast<int>(std::max<qsizetype>(1, lanes_.size())) * kLaneHeight + kAxisHeight};
}

QSize TimelineWidget::minimumSizeHint() const {
    return {kLabelWidth + 200, kTopMargin + kLaneHeight + kAxisHeight};
}

QRectF TimelineWidget::rowRect(int lane, bool after) const {
    const double top = kTopMargin + lane * kLaneHeight + (after ? kRowHeight : 0);
    return {static_cast<double>(kLabelWidth), top, static_cast<double>(width() - kLabelWidth - kRightMargin),
            static_cast<double>(kRowHeight)};
}

double TimelineWidget::xOf(double value) const {
    const double span = last_ - first_;
    const double left = kLabelWidth;
    const double right = width() - kRightMargin;
    return left + (value - first_) / span * (right - left);
}

void TimelineWidget::layoutMarks() {
    beforeX_.assign(photos_.size(), kNoMark);
    afterX_.assign(photos_.size(), kNoMark);
    // The pixel columns of each row's marks, each once: many photos of a burst share one.
    std::vector<std::vector<int>> columns(static_cast<std::size_t>(lanes_.size()) * 2);
    for (std::size_t i = 0; i < photos_.size(); ++i) {
        for (const bool after : {false, true}) {
            const double value = after ? photos_[i].after : photos_[i].before;
            if (value == 0.0) continue;
            const double x = xOf(value);
            (after ? afterX_ : beforeX_)[i] = x;
            columns[static_cast<std::size_t>(laneOf_[i]) * 2 + (after ? 1 : 0)].push_back(static_cast<int>(x));
        }
    }
    rows_.assign(columns.size(), Row{});
    for (std::size_t row = 0; row < columns.size(); ++row) {
        std::vector<int>& xs = columns[row];
        std::sort(xs.begin(), xs.end());
        xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
        const QRectF rect = rowRect(static_cast<int>(row / 2), row % 2 == 1);
        rows_[row].lines.reserve(xs.size());
        for (const int x : xs) rows_[row].lines.emplace_back(x + 0.5, rect.top() + 3, x + 0.5, rect.bottom() - 3);
    }
}

QPointF TimelineWidget::markPosition(int index, bool after) const {
    if (index < 0 || static_cast<std::size_t>(index) >= photos_.size()) return {};
    const double x = (after ? afterX_ : beforeX_)[static_cast<std::size_t>(index)];
    if (std::isnan(x)) return {};
    return {x, rowRect(laneOf_[static_cast<std::size_t>(index)], after).center().y()};
}

int TimelineWidget::photoAt(const QPoint& pos, bool* after) const {
    const int lane = (pos.y() - kTopMargin) / kLaneHeight;
    if (pos.y() < kTopMargin || lane >= lanes_.size()) return -1;
    const int inLane = (pos.y() - kTopMargin) % kLaneHeight;
    if (inLane >= 2 * kRowHeight) return -1;  // the gap between lanes
    const bool inAfter = inLane >= kRowHeight;
    const std::vector<double>& xs = inAfter ? afterX_ : beforeX_;
    int best = -1;
    double bestDistance = kHitDistance;
    for (std::size_t i = 0; i < xs.size(); ++i) {
        if (laneOf_[i] != lane || std::isnan(xs[i])) continue;
        const double distance = std::abs(xs[i] - pos.x());
        if (distance <= bestDistance) {
            best = static_cast<int>(i);
            bestDistance = distance;
        }
    }
    if (after != nullptr) *after = inAfter;
    return best;
}

void TimelineWidget::setHovered(int index, bool after) {
    if (index == hovered_ && after == hoveredAfter_) return;
    if (index != hovered_) {
        hoverImage_ = index >= 0 && thumbnails_ ? thumbnails_(index) : QImage();
        if (!hoverImage_.isNull()) {
            hoverImage_ =
                hoverImage_.scaled(kThumbnailWidth, kThumbnailHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        }
    }
    hovered_ = index;
    hoveredAfter_ = after;
    update();
}

void TimelineWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutMarks();
}

void TimelineWidget::mouseMoveEvent(QMouseEvent* event) {
    pointer_ = event->position().toPoint();
    bool after = false;
    const int index = photoAt(pointer_, &after);
    setHovered(index, after);
    if (index >= 0) update();  // the card follows the pointer
}

void TimelineWidget::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    setHovered(-1, false);
}

void TimelineWidget::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().base());
    const QColor text = palette().text().color();
    if (first_ == 0.0 || lanes_.isEmpty()) {
        painter.setPen(text);
        painter.drawText(rect(), Qt::AlignCenter, tr("No photos with a capture date"));
        return;
    }
    const QColor recorded = palette().mid().color();
    for (int lane = 0; lane < lanes_.size(); ++lane) {
        const QRectF before = rowRect(lane, false);
        const QRectF after = rowRect(lane, true);
        painter.fillRect(QRectF(0, before.top(), width(), 2 * kRowHeight), palette().alternateBase());
        painter.setPen(text);
        const QFontMetrics metrics(font());
        painter.drawText(QRectF(6, before.top(), kLabelWidth - 60, before.height()), Qt::AlignVCenter | Qt::AlignLeft,
                         metrics.elidedText(lanes_[lane], Qt::ElideRight, kLabelWidth - 60));
        painter.setPen(palette().placeholderText().color());
        painter.drawText(QRectF(kLabelWidth - 54, before.top(), 48, before.height()), Qt::AlignVCenter | Qt::AlignRight,
                         tr("before"));
        painter.drawText(QRectF(kLabelWidth - 54, after.top(), 48, after.height()), Qt::AlignVCenter | Qt::AlignRight,
                         tr("after"));
        for (const bool afterRow : {false, true}) {
            const std::vector<QLineF>& lines = rows_[static_cast<std::size_t>(lane) * 2 + (afterRow ? 1 : 0)].lines;
            painter.setPen(QPen(afterRow ? laneColor(lane) : recorded, 1));
            painter.drawLines(lines.data(), static_cast<int>(lines.size()));
        }
    }
    paintAxis(painter);
    if (hovered_ >= 0) paintHoverCard(painter);
}

void TimelineWidget::paintAxis(QPainter& painter) const {
    const double top = kTopMargin + lanes_.size() * kLaneHeight;
    const double left = kLabelWidth;
    const double right = width() - kRightMargin;
    painter.setPen(palette().text().color());
    painter.drawLine(QPointF(left, top), QPointF(right, top));
    const double secondsPerPixel = (last_ - first_) * kSecondsPerDay / std::max(1.0, right - left);
    const QFontMetrics metrics(font());
    const double room = metrics.horizontalAdvance(QStringLiteral("0000-00-00 00:00")) + 16;
    double step = kTickSteps[std::size(kTickSteps) - 1];
    for (const double candidate : kTickSteps) {
        if (candidate / secondsPerPixel >= room) {
            step = candidate;
            break;
        }
    }
    const double stepDays = step / kSecondsPerDay;
    QPen grid(palette().mid().color(), 1, Qt::DotLine);
    for (double tick = std::ceil(first_ / stepDays) * stepDays; tick <= last_; tick += stepDays) {
        const double x = xOf(tick);
        painter.setPen(grid);
        painter.drawLine(QPointF(x, kTopMargin), QPointF(x, top));
        painter.setPen(palette().text().color());
        painter.drawLine(QPointF(x, top), QPointF(x, top + 4));
        const QString label = tickLabel(tick, step);
        const double half = metrics.horizontalAdvance(label) / 2.0;
        painter.drawText(QPointF(std::clamp(x - half, 0.0, width() - 2 * half), top + 6 + metrics.ascent()), label);
    }
}

void TimelineWidget::paintHoverCard(QPainter& painter) const {
    const TimelinePhoto& photo = photos_[static_cast<std::size_t>(hovered_)];
    // The photo's two marks, joined, so the move is seen.
    const QPointF from = markPosition(hovered_, false);
    const QPointF to = markPosition(hovered_, true);
    painter.setPen(QPen(palette().highlight().color(), 2));
    if (!from.isNull() && !to.isNull()) painter.drawLine(from, to);
    for (const QPointF& mark : {from, to}) {
        if (!mark.isNull()) painter.drawLine(mark - QPointF(0, kRowHeight / 2.0), mark + QPointF(0, kRowHeight / 2.0));
    }

    const QStringList lines = {photo.name, photo.camera.isEmpty() ? tr("No camera") : photo.camera,
                               tr("Recorded: %1").arg(app::formatPlanDate(photo.before)),
                               tr("Corrected: %1").arg(app::formatPlanDate(photo.after))};
    const QFontMetrics metrics(font());
    int textWidth = 0;
    for (const QString& line : lines) textWidth = std::max(textWidth, metrics.horizontalAdvance(line));
    const int imageHeight = hoverImage_.isNull() ? 0 : hoverImage_.height() + 6;
    const QSize card(std::max(textWidth, hoverImage_.width()) + 12,
                     imageHeight + static_cast<int>(lines.size()) * metrics.height() + 12);
    QPoint corner = pointer_ + QPoint(14, 14);
    corner.setX(std::clamp(corner.x(), 0, std::max(0, width() - card.width() - 1)));
    if (corner.y() + card.height() > height()) corner.setY(std::max(0, pointer_.y() - card.height() - 8));
    const QRect box(corner, card);
    painter.setPen(palette().toolTipText().color());
    painter.setBrush(palette().toolTipBase());
    painter.drawRect(box);
    if (!hoverImage_.isNull()) painter.drawImage(box.topLeft() + QPoint(6, 6), hoverImage_);
    int y = box.top() + 6 + imageHeight + metrics.ascent();
    for (const QString& line : lines) {
        painter.drawText(QPoint(box.left() + 6, y), line);
        y += metrics.height();
    }
}

}  // namespace morrowtide::gui
