// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up: the application with its title and the translations of the system locale, then the main window, the
// progress dialog (created hidden by the main window) and the About box form (hidden), then the event loop until the
// main window closes. Nothing is saved at exit.
#include <QApplication>

#include "gui/about_box.h"
#include "gui/main_window.h"
#include "gui/message_boxes.h"
#include "gui/translations.h"

int main(int argc, char* argv[]) {
    using namespace morrowtide::gui;
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
