// Start-up: the application with its title, then the main window, the progress dialog (created hidden by the main
// window) and the About box form (hidden), then the event loop until the main window closes. Nothing is saved at
// exit.
#include <QApplication>
#include <QDir>

#include "gui/about_box.h"
#include "gui/main_window.h"
#include "gui/message_boxes.h"
#include "gui/screenshot_tour.h"

int main(int argc, char* argv[]) {
    using namespace morrowtide::gui;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
    QApplication::setDesktopFileName(QStringLiteral("morrowtide"));
    QApplication::setWindowIcon(applicationIcon());

    // For the documentation's screenshots only: the program photographs its own windows and quits.
    const QString screenshotDir = qEnvironmentVariable("MORROWTIDE_SCREENSHOT_DIR");
    ScreenshotTour tour(screenshotDir);

    MainWindowSetup setup;
    if (tour.active()) tour.prepare(setup);
    MainWindow window(std::move(setup));
    AboutBox aboutForm(&window);
    aboutForm.hide();

    window.show();
    if (tour.active()) tour.start(window);
    return QApplication::exec();
}
