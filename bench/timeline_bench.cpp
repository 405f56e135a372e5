// SPDX-License-Identifier: GPL-3.0-or-later
// Drawing the timeline of a large trip: the layout of the marks (once per change of the photos or the size) and a
// whole paint, timed apart.
//   timeline_bench [COUNT] [LANES] [RUNS]   COUNT photos (default 10000) spread over LANES cameras (default 4) and
//                                           two weeks; RUNS paints (default 50) of a 1600x400 widget into an image;
//                                           prints the layout time and the median and slowest paint.
// Runs without a display (offscreen) unless QT_QPA_PLATFORM says otherwise.
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "gui/timeline_widget.h"

using morrowtide::gui::TimelinePhoto;
using morrowtide::gui::TimelineWidget;

namespace {

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int lanes = std::max(1, argc > 2 ? std::atoi(argv[2]) : 4);
    const int runs = std::max(1, argc > 3 ? std::atoi(argv[3]) : 50);

    std::vector<TimelinePhoto> photos;
    photos.reserve(static_cast<std::size_t>(count));
    std::srand(42);
    for (int i = 0; i < count; ++i) {
        const int lane = i % lanes;
        const double taken = 45000.0 + 14.0 * std::rand() / RAND_MAX;  // two weeks of days
        photos.push_back(
            {QStringLiteral("Camera %1").arg(lane), QStringLiteral("IMG_%1.JPG").arg(i), taken + lane / 24.0, taken});
    }
    TimelineWidget widget;
    widget.resize(1600, 400);
    auto start = std::chrono::steady_clock::now();
    widget.setPhotos(std::move(photos));
    const double layout = millisecondsSince(start);

    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    std::vector<double> paints;
    for (int run = 0; run < runs; ++run) {
        start = std::chrono::steady_clock::now();
        widget.render(&image);
        paints.push_back(millisecondsSince(start));
    }
    std::sort(paints.begin(), paints.end());
    std::printf("%d photos, %d lanes: layout %.2f ms, paint median %.2f ms, slowest %.2f ms (%d paints)\n", count,
                lanes, layout, paints[paints.size() / 2], paints.back(), runs);
    return 0;
}
