// Photographs the program's own windows for the documentation (MORROWTIDE_SCREENSHOT_DIR): the "Photos" tab, the
// "Options" tab and the progress dialog in the middle of a run over the source folder, then quits. Message boxes are
// answered automatically, so the tour never waits for a click.
#pragma once

#include <QString>
#include <memory>

class QWidget;

namespace morrowtide::gui {

class MainWindow;
struct MainWindowSetup;
class MessageBoxes;

class ScreenshotTour {
  public:
    explicit ScreenshotTour(QString outputDir);
    ~ScreenshotTour();

    bool active() const { return !outputDir_.isEmpty(); }
    // Puts the tour's message boxes and its watch on the run into the window's set-up.
    void prepare(MainWindowSetup& setup);
    // Runs the tour from the event loop, then quits the application.
    void start(MainWindow& window);

  private:
    void save(QWidget& widget, const QString& name) const;

    QString outputDir_;
    MainWindow* window_ = nullptr;
    std::unique_ptr<MessageBoxes> boxes_;
};

}  // namespace morrowtide::gui
