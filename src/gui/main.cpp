// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up: the application with its title and the translations of the system locale, then the main window, the
// progress dialog (created hidden by the main window) and the About box form (hidden), then the event loop until the
// main window closes. Nothing is saved at exit.
#include <malloc.h>

#include <QApplication>

#include "gui/about_box.h"
#include "gui/main_window.h"
#include "gui/message_boxes.h"
#include "gui/translations.h"

int main(int argc, char* argv[]) {
    using namespace morrowtide::gui;
    // Once, before any thread starts: buffers larger than half a megabyte (a raw file's read window, a photo's long
    // header) go straight back to the system when freed, instead of being kept by the heap of each pool worker that
    // freed them, so that memory follows the photos in flight rather than the number of workers.
    ::mallopt(M_MMAP_THRESHOLD, 512 * 1024);
    QApplication app(argc, argv);
    installTranslations(app, QLocale::system());
    QApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
    QApplication::setDesktopFileName(QStringLiteral("morrowtide"));
    QApplication::setWindowIcon(applicationIcon());

    MainWindow window;
    AboutBox aboutForm(&window);
    aboutForm.hide();

    window.show();
    return QApplication::exec();
}
