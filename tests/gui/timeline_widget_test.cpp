// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/timeline_widget.h"

#include <QImage>
#include <QMouseEvent>
#include <QtTest>

#include "meta/date_time.h"

using morrowtide::gui::TimelinePhoto;
using morrowtide::gui::TimelineWidget;

class TimelineWidgetTest : public QObject {
    Q_OBJECT

  private slots:
    void lanesAreTheCamerasInTheirOrder();
    void eachMarkIsFoundWhereItIsDrawn();
    void hoverAsksForThatPhotosThumbnailOnly();
};

namespace {

double at(int day, int hour, int minute = 0) {
    return morrowtide::meta::encodeDateTime({2024, 7, day, hour, minute, 0, 0});
}

// Three cameras: the second an hour ahead before the correction, a phone without a camera name, and a photo
// without a date.
std::vector<TimelinePhoto> trip() {
    return {
        {"Canon EOS 5D", "a.jpg", at(1, 10), at(1, 11)}, {"NIKON D70", "b.jpg", at(1, 12), at(1, 11, 5)},
        {"Canon EOS 5D", "c.jpg", at(2, 9), at(2, 10)},  {"", "d.jpg", at(1, 15), at(1, 15)},
        {"NIKON D70", "undated.jpg", 0.0, 0.0},
    };
}

}  // namespace

void TimelineWidgetTest::lanesAreTheCamerasInTheirOrder() {
    TimelineWidget widget;
    QCOMPARE(widget.objectName(), QStringLiteral("timeline"));
    widget.setPhotos(trip());
    QCOMPARE(widget.lanes(), (QStringList{"Canon EOS 5D", "NIKON D70", "No camera"}));
    widget.setPhotos({});
    QVERIFY(widget.lanes().isEmpty());
}

void TimelineWidgetTest::eachMarkIsFoundWhereItIsDrawn() {
    TimelineWidget widget;
    widget.resize(900, 300);
    const std::vector<TimelinePhoto> photos = trip();
    widget.setPhotos(photos);
    QImage image(widget.size(), QImage::Format_ARGB32);
    widget.render(&image);
    const QRgb background = widget.palette().alternateBase().color().rgb();
    for (int i = 0; i < static_cast<int>(photos.size()); ++i) {
        for (const bool after : {false, true}) {
            const QPointF mark = widget.markPosition(i, after);
            QCOMPARE(mark.isNull(), photos[static_cast<std::size_t>(i)].before == 0.0);
            if (mark.isNull()) continue;
            bool foundAfter = !after;
            QCOMPARE(widget.photoAt(mark.toPoint(), &foundAfter), i);
            QCOMPARE(foundAfter, after);
            // Drawn in the pixel column the mark's position falls in.
            const QPoint pixel(static_cast<int>(mark.x()), static_cast<int>(mark.y()));
            QVERIFY2(image.pixel(pixel) != background, "no mark drawn");
        }
    }
    // Later is further right, in both rows; the rows of one lane share the axis.
    QVERIFY(widget.markPosition(2, false).x() > widget.markPosition(0, false).x());
    QVERIFY(widget.markPosition(1, true).x() > widget.markPosition(0, true).x());
    const double middle = (widget.markPosition(0, false).x() + widget.markPosition(1, false).x()) / 2;
    QVERIFY(std::abs(widget.markPosition(0, true).x() - middle) < 1e-6);
    // Beside a mark, in the gap between lanes and below the lanes there is none.
    QCOMPARE(widget.photoAt(widget.markPosition(0, false).toPoint() + QPoint(40, 0)), -1);
    QCOMPARE(widget.photoAt(QPoint(widget.markPosition(0, true).toPoint().x(),
                                   static_cast<int>(widget.markPosition(0, true).y()) + 14)),
             -1);
    QCOMPARE(widget.photoAt(QPoint(widget.markPosition(3, true).toPoint().x(), 290)), -1);
}

void TimelineWidgetTest::hoverAsksForThatPhotosThumbnailOnly() {
    TimelineWidget widget;
    widget.resize(900, 300);
    widget.setPhotos(trip());
    QList<int> asked;
    widget.setThumbnailSource([&asked](int index) {
        asked.append(index);
        QImage image(80, 60, QImage::Format_RGB32);
        image.fill(Qt::red);
        return image;
    });
    const auto moveTo = [&widget](QPointF pos) {
        QMouseEvent move(QEvent::MouseMove, pos, widget.mapToGlobal(pos), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&widget, &move);
    };
    const QPointF mark = widget.markPosition(1, true);
    moveTo(mark);
    QCOMPARE(widget.hoveredPhoto(), 1);
    moveTo(mark + QPointF(1, 0));  // still on it: not asked again
    QCOMPARE(asked, QList<int>{1});
    // The card shows the thumbnail beside the pointer.
    QImage image(widget.size(), QImage::Format_ARGB32);
    widget.render(&image);
    QCOMPARE(QColor(image.pixel((mark + QPointF(30, 30)).toPoint())), QColor(Qt::red));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&widget, &leave);
    QCOMPARE(widget.hoveredPhoto(), -1);
}

QTEST_MAIN(TimelineWidgetTest)
#include "timeline_widget_test.moc"
