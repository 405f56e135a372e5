// SPDX-License-Identifier: GPL-3.0-or-later
// The preview window on a large tree: how long until every photo is listed in the table (headers read on the worker,
// rows planned and shown), and how long planning every row again takes after an edit of the offset.
//   scan_bench generate TEMPLATE.jpg DIR 10000 100    makes the tree (see scan_bench.cpp)
//   QT_QPA_PLATFORM=offscreen preview_bench DIR [RUNS]
// The first run may read from the disk; the later ones show the warm-cache figure.
#include <malloc.h>

#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>

#include "gui/camera_panel.h"
#include "gui/preview_model.h"
#include "gui/preview_window.h"

using namespace morrowtide;

int main(int argc, char* argv[]) {
    ::mallopt(M_MMAP_THRESHOLD, 512 * 1024);  // as the programs set it for their pools (see src/cli/main.cpp)
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: preview_bench DIR [RUNS]\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;

    gui::PreviewWindow page;
    app::RunOptions options;
    options.sourceFolder = folder;
    options.destinationFolder = folder + QStringLiteral("/Output");
    options.offset.hours = -6;
    page.setOptions(options);
    page.show();
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        bool done = false;
        const auto connection = QObject::connect(&page, &gui::PreviewWindow::readingFinished, [&done] { done = true; });
        page.refresh();
        while (!done) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QApplication::processEvents();  // the table paints its rows
        QObject::disconnect(connection);
        std::printf("listing %d: %d photos in the table in %lld ms\n", run + 1, page.model().rowCount(),
                    static_cast<long long>(timer.elapsed()));
    }
    for (int hours : {-5, 3}) {
        QElapsedTimer timer;
        timer.start();
        options.offset.hours = hours;
        page.setOptions(options);
        QApplication::processEvents();
        std::printf("offset edit: %d rows planned again in %lld ms\n", page.model().rowCount(),
                    static_cast<long long>(timer.elapsed()));
    }
    // A camera's own offset, as typed on the cameras' page: every row planned again, no file read.
    if (!page.cameraPanel().cameras().empty()) {
        QElapsedTimer timer;
        timer.start();
        app::CameraChoices choices;
        choices.offsets.insert(page.cameraPanel().cameras().front().key, 90);
        page.setCameraChoices(choices);
        QApplication::processEvents();
        std::printf("camera offset edit: %d cameras, %d rows planned again in %lld ms\n",
                    page.cameraPanel().cameraCount(), page.model().rowCount(), static_cast<long long>(timer.elapsed()));
    }
    QElapsedTimer timer;
    timer.start();
    page.showPage(gui::PreviewWindow::Page::Timeline);
    QApplication::processEvents();
    std::printf("timeline page: %d photos laid out and painted in %lld ms\n", page.model().rowCount(),
                static_cast<long long>(timer.elapsed()));
    return 0;
}
