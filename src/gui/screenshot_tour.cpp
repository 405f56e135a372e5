#include "gui/screenshot_tour.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QPixmap>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>

#include "app/batch_run.h"
#include "gui/main_window.h"
#include "gui/message_boxes.h"
#include "gui/progress_dialog.h"

namespace morrowtide::gui {

namespace {

// Answers every box with its first button and prints what it said.
class AutoAnswerBoxes : public MessageBoxes {
  public:
    MessageAnswer show(QWidget*, const MessageRequest& request) override {
        std::fprintf(stderr, "[%s] %s\n", qPrintable(request.title), qPrintable(request.text));
        return request.buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
    }
};

// Passes everything on to the window's host and calls back once half of the files are done.
class WatchingHost : public app::BatchHost {
  public:
    WatchingHost(app::BatchHost& inner, std::function<void()> halfWay) : inner_(inner), halfWay_(std::move(halfWay)) {}

    app::RunOptions currentOptions() override { return inner_.currentOptions(); }
    bool confirmOverwrite() override { return inner_.confirmOverwrite(); }
    void runReset() override { inner_.runReset(); }
    void invalidSource(const QString& message) override { inner_.invalidSource(message); }
    void listingStarted() override { inner_.listingStarted(); }
    void listBuilt(int count) override {
        count_ = count;
        inner_.listBuilt(count);
    }
    void fileError(const QString& message) override { inner_.fileError(message); }
    void fileDone(const QString& logLine) override {
        inner_.fileDone(logLine);
        if (++done_ == std::max(1, count_ / 2)) halfWay_();
    }
    void breathe() override { inner_.breathe(); }
    bool stopRequested() override { return inner_.stopRequested(); }
    void runFinished(const app::RunSummary& summary) override { inner_.runFinished(summary); }

  private:
    app::BatchHost& inner_;
    std::function<void()> halfWay_;
    int count_ = 0;
    int done_ = 0;
};

}  // namespace

ScreenshotTour::ScreenshotTour(QString outputDir) : outputDir_(std::move(outputDir)) {}

ScreenshotTour::~ScreenshotTour() = default;

void ScreenshotTour::prepare(MainWindowSetup& setup) {
    boxes_ = std::make_unique<AutoAnswerBoxes>();
    setup.messageBoxes = boxes_.get();
    setup.runBatch = [this](app::BatchHost& host) {
        WatchingHost watching(host, [this] {
            if (window_) save(window_->progressDialog(), QStringLiteral("progress"));
        });
        app::BatchRun run(watching);
        run.run();
        return std::optional<QStringList>(run.fileList());
    };
}

void ScreenshotTour::save(QWidget& widget, const QString& name) const {
    QApplication::processEvents();
    // The virtual X server has no window manager, hence no title bars: draw a plain one so the caption shows.
    const QPixmap content = widget.grab();
    const int titleHeight = widget.fontMetrics().height() + 12;
    QPixmap shot(content.width() + 2, content.height() + titleHeight + 1);
    shot.fill(QColor(0x50, 0x5a, 0x66));
    QPainter painter(&shot);
    painter.drawPixmap(1, titleHeight, content);
    painter.setPen(Qt::white);
    QFont bold = widget.font();
    bold.setBold(true);
    painter.setFont(bold);
    painter.drawText(QRect(10, 0, shot.width() - 20, titleHeight), Qt::AlignVCenter | Qt::AlignLeft,
                     widget.windowTitle());
    painter.end();
    const QString path = QDir(outputDir_).filePath(name + QStringLiteral(".png"));
    if (!shot.save(path)) std::fprintf(stderr, "could not save %s\n", qPrintable(path));
}

void ScreenshotTour::start(MainWindow& window) {
    window_ = &window;
    QDir().mkpath(outputDir_);
    QTimer::singleShot(500, &window, [this, &window] {
        auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("pageControl"));
        // An offset worth showing: photos taken abroad with the camera still on home time.
        if (auto* hours = window.findChild<QSpinBox*>(QStringLiteral("SpinEdit1"))) hours->setValue(-6);
        tabs->setCurrentIndex(0);
        save(window, QStringLiteral("photos"));
        tabs->setCurrentIndex(1);
        save(window, QStringLiteral("options"));
        tabs->setCurrentIndex(0);
        window.startRun();
        QApplication::quit();
    });
}

}  // namespace morrowtide::gui
