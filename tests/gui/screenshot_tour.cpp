// SPDX-License-Identifier: GPL-3.0-or-later
// The documentation's screenshot tour, run by scripts/screenshots.sh under a virtual X server:
//   morrowtide_screenshot_tour OUTDIR [FOLDER_WITH_BROKEN_PHOTOS [FOLDER_FOR_THE_PREVIEW]]
// It photographs the "Photos" and "Options" tabs and the progress dialog half-way through a run over the documents
// folder, then (with a second folder) the error box of a photo that cannot be written and the log of that run, then
// (with a third) the preview window over that folder and the "Set from a photo" dialog for one of its photos, the
// preview with the other photo and video files listed, and
// last the box that a bad mask in the settings file brings up at start-up. It answers the boxes itself, which is why
// it is a test driver and not part of the program.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <utility>

#include "app/batch_run.h"
#include "gui/about_box.h"
#include "gui/camera_panel.h"
#include "gui/main_window.h"
#include "gui/message_boxes.h"
#include "gui/preview_model.h"
#include "gui/preview_window.h"
#include "gui/progress_dialog.h"
#include "gui/reference_dialog.h"
#include "gui/timeline_widget.h"
#include "gui/translations.h"

using namespace morrowtide;
using namespace morrowtide::gui;

namespace {

QString outputDir;

void saveShot(const QPixmap& shot, const QString& name) {
    const QString path = QDir(outputDir).filePath(name + QStringLiteral(".png"));
    if (!shot.save(path)) std::fprintf(stderr, "could not save %s\n", qPrintable(path));
}

// The widget alone; the virtual X server may have no window manager, hence no title bar: a plain one is drawn so
// the caption shows.
void saveWidget(QWidget& widget, const QString& name) {
    QApplication::processEvents();
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
    saveShot(shot, name);
}

// What the screen shows around the given windows, title bars of a window manager included.
void saveScreen(const QList<QWidget*>& windows, const QString& name) {
    QApplication::processEvents();
    QRect area;
    for (QWidget* window : windows) area |= window->frameGeometry();
    QScreen* screen = QGuiApplication::primaryScreen();
    area = area.adjusted(-16, -16, 16, 16) & screen->geometry();
    saveShot(screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()), name);
}

// Waits until done() holds, at most a few seconds.
void waitFor(const std::function<bool()>& done, int milliseconds = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < milliseconds) QApplication::processEvents(QEventLoop::AllEvents, 50);
}

// The real boxes, photographed when asked and then answered: the first button, or for a question the last one
// (No, Cancel), so the tour never says yes to anything.
class ShootingBoxes : public MessageBoxes {
  public:
    QString nextShot;       // photograph the next box under this name
    bool tickCheckBox = false;
    int answered = 0;

    MessageAnswer show(QWidget* parent, const MessageRequest& request) override {
        std::fprintf(stderr, "[%s] %s\n", qPrintable(request.title), qPrintable(request.text));
        const QString shot = std::exchange(nextShot, QString());
        const bool tick = tickCheckBox;
        const bool question = request.buttons != MessageButtons::Ok;
        QTimer::singleShot(400, [shot, tick, question, parent] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            if (auto* checkBox = box->findChild<QCheckBox*>(); checkBox && tick) checkBox->setChecked(true);
            if (!shot.isEmpty()) saveScreen({parent ? parent->window() : box, box}, shot);
            (question ? box->escapeButton() : box->defaultButton())->click();
        });
        const MessageAnswer answer = real_.show(parent, request);
        ++answered;
        return answer;
    }

  private:
    WidgetMessageBoxes real_;
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
    void fileStarted(const QString& sourcePath) override { inner_.fileStarted(sourcePath); }
    void fileError(const QString& message) override { inner_.fileError(message); }
    void logNote(const QString& line) override { inner_.logNote(line); }
    void fileDone(const QString& logLine) override {
        inner_.fileDone(logLine);
        if (++done_ == std::max(1, count_ / 2) && halfWay_) halfWay_();
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

template <typename T>
T* child(QWidget& window, const char* name) {
    T* widget = window.findChild<T*>(QString::fromLatin1(name));
    if (!widget) qFatal("no widget %s", name);
    return widget;
}

// The preview of a folder with the camera six hours behind, a photo with a thumbnail selected; then the dialog that
// takes the offset from that photo, with a true time typed in.
void previewTour(MainWindow& window, const QString& folder) {
    child<QTabWidget>(window, "pageControl")->setCurrentIndex(0);
    child<QLineEdit>(window, "edtDir")->setText(folder);
    child<QLineEdit>(window, "edtOutputDir")->setText(folder + QStringLiteral("/Output"));
    child<QSpinBox>(window, "SpinEdit1")->setValue(6);
    child<QPushButton>(window, "btnPreview")->click();
    PreviewWindow& preview = *window.previewWindow();
    // Room for every column, as a user would make it.
    preview.resize(1240, 560);
    waitFor([&] { return !preview.isReading() && preview.model().rowCount() > 0; });
    int row = 0;
    for (int i = 0; i < preview.model().rowCount(); ++i) {
        if (changeOf(preview.model().plan(i)) != DateChange::None &&
            !readThumbnail(preview.model().header(i)).isEmpty()) {
            row = i;
            break;
        }
    }
    preview.table().selectRow(row);
    waitFor([&] { return false; }, 300);  // the thumbnail is painted
    saveWidget(preview, QStringLiteral("preview"));

    const app::PhotoHeader& photo = preview.model().header(row);
    ReferenceTimeDialog dialog(&preview, photo.path, photo.recordedCapture);
    // The clock in the photo said 6:12:40 later than the camera.
    dialog.trueTimeEdit().setDateTime(toQDateTime(photo.recordedCapture + (6 * 3600 + 12 * 60 + 40) / 86400.0));
    dialog.show();
    waitFor([&] { return dialog.isVisible(); });
    saveWidget(dialog, QStringLiteral("set-from-photo"));
    dialog.reject();

    // The other photo and video files, listed with the box ticked; the raw file beside its JPEG selected.
    const int photos = preview.model().rowCount();
    child<QCheckBox>(window, "cbAllTypes")->setChecked(true);
    waitFor([&] { return !preview.isReading() && preview.model().rowCount() > photos; });
    for (int i = 0; i < preview.model().rowCount(); ++i) {
        if (preview.model().header(i).fileName.endsWith(QStringLiteral(".CR2"))) preview.table().selectRow(i);
    }
    waitFor([&] { return false; }, 300);
    saveWidget(preview, QStringLiteral("preview-all-types"));
    child<QCheckBox>(window, "cbAllTypes")->setChecked(false);
    preview.close();
    child<QSpinBox>(window, "SpinEdit1")->setValue(0);
}

void tour(MainWindow& window, ShootingBoxes& boxes, const QString& brokenFolder, const QString& previewFolder) {
    auto* tabs = child<QTabWidget>(window, "pageControl");
    // An offset worth showing: photos taken abroad with the camera still on home time.
    child<QSpinBox>(window, "SpinEdit1")->setValue(-6);
    tabs->setCurrentIndex(0);
    saveWidget(window, QStringLiteral("photos"));
    saveScreen({&window}, QStringLiteral("photos-on-screen"));
    tabs->setCurrentIndex(1);
    saveWidget(window, QStringLiteral("options"));
    tabs->setCurrentIndex(0);
    window.startRun();

    QTemporaryDir scratch;
    if (!brokenFolder.isEmpty()) {
        child<QLineEdit>(window, "edtDir")->setText(brokenFolder);
        child<QLineEdit>(window, "edtOutputDir")->setText(scratch.filePath(QStringLiteral("out")));
        boxes.nextShot = QStringLiteral("file-error");
        boxes.tickCheckBox = true;
        window.startRun();
        boxes.tickCheckBox = false;
        QTimer::singleShot(400, &window, [&window] {
            saveWidget(window.progressDialog(), QStringLiteral("error-log"));
            window.progressDialog().stopButton()->click();
        });
        window.showLog();
    }

    if (!previewFolder.isEmpty()) previewTour(window, previewFolder);

    // A mask in the settings file that cannot be used: the box comes up over the window at start-up.
    const QString settings = scratch.filePath(QStringLiteral("morrowtide.ini"));
    QFile file(settings);
    if (file.open(QIODevice::WriteOnly)) file.write("[Options]\nFileMask=<:>\n");
    file.close();
    MainWindowSetup setup;
    setup.settingsPath = settings;
    setup.messageBoxes = &boxes;
    boxes.nextShot = QStringLiteral("mask-at-start");
    const int before = boxes.answered;
    MainWindow second(std::move(setup));
    second.show();
    waitFor([&] { return boxes.answered > before; });
}

// The preview over a trip of three cameras: on its cameras' page the zones from home to the trip, the phone left as it
// is, the slow camera set from its GPS times; the photos sorted by camera with the correction each gets; then the
// timeline with the pointer on a mark.
void cameraTour(MainWindow& window, const QString& tripFolder) {
    child<QLineEdit>(window, "edtDir")->setText(tripFolder);
    child<QLineEdit>(window, "edtOutputDir")->setText(tripFolder + QStringLiteral("/Output"));
    child<QSpinBox>(window, "SpinEdit1")->setValue(0);
    child<QPushButton>(window, "btnCameras")->click();
    PreviewWindow& preview = *window.previewWindow();
    preview.resize(1240, 600);
    waitFor([&] { return !preview.isReading() && preview.cameraPanel().cameraCount() > 0; });
    CameraPanel& panel = preview.cameraPanel();
    child<QCheckBox>(panel, "convertZones")->setChecked(true);
    child<QComboBox>(panel, "fromZone")->setCurrentText(QStringLiteral("Europe/Berlin"));
    child<QComboBox>(panel, "toZone")->setCurrentText(QStringLiteral("Asia/Tokyo"));
    QTableWidget& table = panel.table();
    for (int row = 0; row < table.rowCount(); ++row) {
        if (table.item(row, CameraPanel::Camera)->text().contains(QStringLiteral("Pixel"))) {
            table.item(row, CameraPanel::Offset)->setText(QStringLiteral("0"));
        } else if (panel.suggestion(row)) {
            panel.useSuggestion(row);
        }
    }
    table.selectRow(0);
    waitFor([&] { return false; }, 200);
    saveWidget(preview, QStringLiteral("cameras"));

    preview.showPage(PreviewWindow::Page::Photos);
    preview.table().sortByColumn(PreviewModel::Camera, Qt::AscendingOrder);
    preview.table().selectRow(0);
    waitFor([&] { return false; }, 300);  // the thumbnail is painted
    saveWidget(preview, QStringLiteral("preview-cameras"));
    preview.table().horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);

    // The pointer on the corrected mark of the first camera's first photo.
    preview.showPage(PreviewWindow::Page::Timeline);
    TimelineWidget& timeline = preview.timeline();
    waitFor([&] { return false; }, 200);
    const QPointF mark = timeline.markPosition(0, true);
    QMouseEvent move(QEvent::MouseMove, mark, timeline.mapToGlobal(mark), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&timeline, &move);
    saveWidget(preview, QStringLiteral("timeline"));
    preview.close();
}

}  // namespace

int main(int argc, char* argv[]) {
    // "--cameras FOLDER" anywhere: the cameras window over that folder.
    QString cameraFolder;
    for (int i = 1; i + 1 < argc; ++i) {
        if (QString::fromLocal8Bit(argv[i]) != QStringLiteral("--cameras")) continue;
        cameraFolder = QString::fromLocal8Bit(argv[i + 1]);
        for (int j = i; j + 2 <= argc; ++j) argv[j] = argv[j + 2];
        argc -= 2;
        break;
    }
    QApplication app(argc, argv);
    // In the language of the system locale, as the program starts.
    installTranslations(app, QLocale::system());
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: morrowtide_screenshot_tour OUTDIR [FOLDER_WITH_BROKEN_PHOTOS [FOLDER_FOR_THE_PREVIEW]] "
                     "[--cameras FOLDER]\n");
        return 2;
    }
    QApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
    QApplication::setDesktopFileName(QStringLiteral("morrowtide"));
    QApplication::setWindowIcon(applicationIcon());
    outputDir = QString::fromLocal8Bit(argv[1]);
    const QString brokenFolder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    const QString previewFolder = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();
    QDir().mkpath(outputDir);

    ShootingBoxes boxes;
    MainWindow* shown = nullptr;
    MainWindowSetup setup;
    setup.messageBoxes = &boxes;
    setup.runBatch = [&shown](app::BatchHost& host) {
        WatchingHost watching(host, [&shown] {
            if (shown) saveWidget(shown->progressDialog(), QStringLiteral("progress"));
            shown = nullptr;  // once, for the first run
        });
        app::BatchRun run(watching);
        run.run();
        return std::optional<QStringList>(run.fileList());
    };
    MainWindow window(std::move(setup));
    shown = &window;
    AboutBox aboutForm(&window);
    aboutForm.hide();
    window.show();
    QTimer::singleShot(800, &window, [&] {
        tour(window, boxes, brokenFolder, previewFolder);
        if (!cameraFolder.isEmpty()) cameraTour(window, cameraFolder);
        QApplication::quit();
    });
    return QApplication::exec();
}
