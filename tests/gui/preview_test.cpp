// SPDX-License-Identifier: GPL-3.0-or-later
// The preview: its table model (rows, notes, highlighting, updates after an edit), the thumbnail, the window that
// reads a folder on a worker thread and follows the main window's edits, the names it shows against a real run's,
// and "Set from a photo…" in the dialog and in the main window.
#include <QAction>
#include <QBrush>
#include <QCheckBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>
#include <array>
#include <filesystem>
#include <string>

#include "app/batch_run.h"
#include "app/file_list.h"
#include "app/photo_plan.h"
#include "app/time_offset.h"
#include "gui/main_window.h"
#include "gui/message_boxes.h"
#include "gui/preview_loader.h"
#include "gui/preview_model.h"
#include "gui/preview_window.h"
#include "gui/reference_dialog.h"
#include "meta/date_time.h"
#include "support/container_builder.h"
#include "support/date_packet_builder.h"
#include "support/exif_builder.h"
#include "widget_test_support.h"

using namespace morrowtide;
using gui::DateChange;
using gui::PreviewModel;

using morrowtide::test::child;
using morrowtide::test::RecordingBoxes;

namespace {

// 2007-04-01 11:15:02, so that masks and two-digit years come out the same on every day.
constexpr double kFixedNow = 39173.0 + (11 * 3600 + 15 * 60 + 2) / 86400.0;

// A small JPEG to stand for a camera's thumbnail (the tests' 8x8 grey image).
std::string thumbnailJpeg() {
    return test::JpegBuilder().imageData().build();
}

std::string photo(const char* date, const std::string& thumbnail = {}) {
    return test::cameraPhoto({date, "Maker", "Demo", thumbnail, ""});
}

double at(int year, int month, int day, int hour, int minute, int second) {
    return meta::encodeDateTime({year, month, day, hour, minute, second, 0});
}

// Drives a real run with fixed options and keeps its log lines (each the path of the file written).
class RecordingHost : public app::BatchHost {
  public:
    explicit RecordingHost(app::RunOptions options) : options_(std::move(options)) {}
    app::RunOptions currentOptions() override { return options_; }
    bool confirmOverwrite() override { return true; }
    void runReset() override {}
    void invalidSource(const QString&) override {}
    void listingStarted() override {}
    void listBuilt(int) override {}
    void fileError(const QString& message) override { errors << message; }
    void logNote(const QString&) override {}
    void fileDone(const QString& logLine) override { lines << logLine; }
    void otherTypesLeftOut(int count) override { otherTypes = count; }
    void breathe() override {}
    bool stopRequested() override { return false; }
    void runFinished(const app::RunSummary&) override {}
    QStringList lines;
    QStringList errors;
    int otherTypes = 0;

  private:
    app::RunOptions options_;
};

}  // namespace

class PreviewTest : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup() { temp_.reset(); }

    void thumbnailIsReadFromItsOwnBytes();
    void rowsShowWhatARunWouldDo();
    void offsetChangeUpdatesEveryRow();
    void namesAreTheRunsNames_data();
    void namesAreTheRunsNames();
    void windowReadsTheFolderOnAWorker();
    void dialogShowsTheOffsetToTheTrueTime_data();
    void dialogShowsTheOffsetToTheTrueTime();
    void mainWindowSetsTheBoxesFromAPhoto();
    void mainWindowRefusesAPhotoWithoutDate();
    void previewOpensFromTheButtonAndFollowsTheEdits();

  private:
    QString write(const QString& relative, const std::string& bytes) {
        const QString path = temp_->filePath(QStringLiteral("src/") + relative);
        test::writeFile(std::filesystem::path(path.toStdString()), bytes);
        return path;
    }
    QString source() const { return temp_->filePath(QStringLiteral("src")); }
    QString destination() const { return temp_->filePath(QStringLiteral("out")); }
    app::RunOptions options(int hours = 0) const {
        app::RunOptions o;
        o.sourceFolder = source();
        o.destinationFolder = destination();
        o.offset.hours = hours;
        return o;
    }
    // The headers of the given files (relative to the source folder), in that order.
    gui::PhotoHeaders headersOf(const QStringList& files) const {
        std::vector<std::string> paths;
        for (const QString& file : files) paths.push_back((source() + u'/' + file).toStdString());
        return app::readPhotoHeaders(paths, source());
    }
    // A window that has read the source folder with `runOptions`.
    std::unique_ptr<gui::PreviewWindow> readWindow(const app::RunOptions& runOptions) {
        auto window = std::make_unique<gui::PreviewWindow>(nullptr, QLocale::c(), [] { return kFixedNow; });
        window->setOptions(runOptions);
        QSignalSpy finished(window.get(), &gui::PreviewWindow::readingFinished);
        window->show();  // reading starts when the window is on the screen
        if (!finished.wait(60000)) return nullptr;
        return window;
    }
    std::unique_ptr<gui::MainWindow> makeWindow(
        std::function<std::optional<double>(QWidget*, const QString&, double)> ask, RecordingBoxes& boxes) {
        gui::MainWindowSetup setup;
        setup.settingsPath = temp_->filePath(QStringLiteral("config/morrowtide.ini"));
        setup.documentsFolder = source();
        setup.messageBoxes = &boxes;
        setup.clock = [] { return kFixedNow; };
        setup.pickFolder = [](QWidget*, const QString&, bool, const QString&) { return QString(); };
        setup.pickPhoto = [this](QWidget*, const QString&, const QString&) { return pickedPhoto_; };
        setup.askTrueTime = std::move(ask);
        auto window = std::make_unique<gui::MainWindow>(std::move(setup));
        window->show();
        return window;
    }

    std::unique_ptr<QTemporaryDir> temp_;
    QString pickedPhoto_;
};

void PreviewTest::init() {
    temp_ = std::make_unique<QTemporaryDir>();
    QVERIFY(temp_->isValid());
    QDir().mkpath(source());
}

void PreviewTest::thumbnailIsReadFromItsOwnBytes() {
    const std::string thumbnail = thumbnailJpeg();
    write(QStringLiteral("a.jpg"), photo("2024:05:14 09:07:13", thumbnail));
    write(QStringLiteral("b.jpg"), photo("2024:05:14 09:07:13", "not a jpeg"));
    write(QStringLiteral("c.jpg"), photo("2024:05:14 09:07:13"));
    write(QStringLiteral("d.jpg"), photo("2024:05:14 09:07:13", thumbnail));
    const auto headers = headersOf({"a.jpg", "b.jpg", "c.jpg", "d.jpg"});
    const QByteArray found = gui::readThumbnail(*headers[0]);
    QCOMPARE(found, QByteArray::fromStdString(thumbnail));
    QVERIFY(!QImage::fromData(found, "JPEG").isNull());
    // Bytes that are no JPEG where the thumbnail should be, and a photo without one, give no thumbnail.
    QVERIFY(gui::readThumbnail(*headers[1]).isEmpty());
    QVERIFY(gui::readThumbnail(*headers[2]).isEmpty());
    // A file changed since its header was read is not trusted.
    write(QStringLiteral("d.jpg"), photo("2024:05:14 09:07:13", thumbnail + "longer"));
    QVERIFY(gui::readThumbnail(*headers[3]).isEmpty());
}

void PreviewTest::rowsShowWhatARunWouldDo() {
    struct Row {
        const char* file;
        std::string bytes;
        const char* folder;
        const char* oldTime;
        const char* newTime;
        const char* newName;
        const char* note;
        DateChange change;
    };
    // The offset is +3 hours throughout.
    const Row rows[] = {
        {"IMG_1.JPG", photo("2024:05:14 09:00:00"), ".", "2024-05-14 09:00:00", "2024-05-14 12:00:00",
         "2024-05-14 12-00-00 - IMG_1.jpg", "ok", DateChange::None},
        {"IMG_3.jpg", photo("2023:12:31 23:00:00"), ".", "2023-12-31 23:00:00", "2024-01-01 02:00:00",
         "2024-01-01 02-00-00 - IMG_3.jpg", "ok", DateChange::Year},
        {"IMG_4.JPG", photo("0000:00:00 00:00:00"), ".", "-", "-", "IMG_4.jpg", "no readable date", DateChange::None},
        {"IMG_5.JPG", photo("9999:12:31 22:00:00"), ".", "9999-12-31 22:00:00", "9999-12-31 22:00:00",
         "9999-12-31 22-00-00 - IMG_5.jpg", "date out of range", DateChange::None},
        {"IMG_6.JPG", test::plainPhoto(), ".", "-", "-", "IMG_6.jpg", "no EXIF", DateChange::None},
        {"Trip/IMG_2.JPG", photo("2024:05:14 22:30:00"), "Trip", "2024-05-14 22:30:00", "2024-05-15 01:30:00",
         "Trip/2024-05-15 01-30-00 - IMG_2.jpg", "ok", DateChange::Day},
        // Other types keep their extension; a raw file shows the camera of its EXIF block, a sidecar none.
        {"IMG_7.CR2", test::tiffPhoto("2024:05:14 09:00:00"), ".", "2024-05-14 09:00:00", "2024-05-14 12:00:00",
         "2024-05-14 12-00-00 - IMG_7.CR2", "ok", DateChange::None},
        {"IMG_8.xmp", test::XmpBuilder().element("exif:DateTimeOriginal", "2024-05-14T23:00:00").build(), ".",
         "2024-05-14 23:00:00", "2024-05-15 02:00:00", "2024-05-15 02-00-00 - IMG_8.xmp", "ok", DateChange::Day},
    };
    QStringList files;
    for (const Row& row : rows) files << write(QString::fromLatin1(row.file), row.bytes).mid(source().size() + 1);
    PreviewModel model(nullptr, QLocale::c(), [] { return kFixedNow; });
    model.setOptions(options(3));
    model.setHeaders(headersOf(files));
    QCOMPARE(model.rowCount(), int(std::size(rows)));
    QCOMPARE(model.columnCount(), int(PreviewModel::ColumnCount));
    QCOMPARE(model.notCorrected(), 3);
    for (int r = 0; r < model.rowCount(); ++r) {
        const Row& row = rows[r];
        auto cell = [&](int column, int role = Qt::DisplayRole) { return model.data(model.index(r, column), role); };
        const QStringList shown{cell(PreviewModel::Folder).toString(),  cell(PreviewModel::FileName).toString(),
                                cell(PreviewModel::Camera).toString(),  cell(PreviewModel::Correction).toString(),
                                cell(PreviewModel::OldTime).toString(), cell(PreviewModel::NewTime).toString(),
                                cell(PreviewModel::NewName).toString(), cell(PreviewModel::Note).toString()};
        const QString fileName = QString::fromLatin1(row.file).section(u'/', -1);
        const QString camera = row.bytes.find("Demo") != std::string::npos ? QStringLiteral("Maker Demo") : QString();
        QCOMPARE(shown,
                 (QStringList{row.folder, fileName, camera, "+3h", row.oldTime, row.newTime, row.newName, row.note}));
        QCOMPARE(cell(PreviewModel::Folder, PreviewModel::CameraKeyRole).toString(), camera);
        QCOMPARE(cell(0, PreviewModel::ChangeRole).toInt(), int(row.change));
        const bool corrected = QString::fromLatin1(row.note) == QStringLiteral("ok");
        QCOMPARE(cell(0, PreviewModel::CorrectedRole).toBool(), corrected);
        // A row left alone stands out in every cell; a change of day or year marks the new time only.
        for (int column = 0; column < PreviewModel::ColumnCount; ++column) {
            const bool marked = !corrected || (column == PreviewModel::NewTime && row.change != DateChange::None);
            QCOMPARE(cell(column, Qt::BackgroundRole).isValid(), marked);
        }
    }
}

void PreviewTest::offsetChangeUpdatesEveryRow() {
    write(QStringLiteral("IMG_1.JPG"), photo("2024:05:14 22:30:00"));
    write(QStringLiteral("IMG_2.JPG"), photo("2024:12:31 20:00:00"));
    PreviewModel model(nullptr, QLocale::c(), [] { return kFixedNow; });
    model.setOptions(options(0));
    model.setHeaders(headersOf({"IMG_1.JPG", "IMG_2.JPG"}));
    QCOMPARE(gui::changeOf(model.plan(0)), DateChange::None);
    QCOMPARE(gui::changeOf(model.plan(1)), DateChange::None);

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.setOptions(options(4));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().at(0).toModelIndex().row(), 0);
    QCOMPARE(changed.first().at(1).toModelIndex().row(), 1);
    QCOMPARE(app::formatPlanDate(model.plan(0).newCapture), QStringLiteral("2024-05-15 02:30:00"));
    QCOMPARE(gui::changeOf(model.plan(0)), DateChange::Day);
    QCOMPARE(gui::changeOf(model.plan(1)), DateChange::Year);
    QCOMPARE(model.plan(1).relativeOutput, QStringLiteral("2025-01-01 00-00-00 - IMG_2.jpg"));
    // Day and year are told apart by colour.
    const QBrush dayBrush = model.data(model.index(0, PreviewModel::NewTime), Qt::BackgroundRole).value<QBrush>();
    const QBrush yearBrush = model.data(model.index(1, PreviewModel::NewTime), Qt::BackgroundRole).value<QBrush>();
    QVERIFY(dayBrush.color() != yearBrush.color());

    // A mask edit renames without reading anything again.
    app::RunOptions masked = options(4);
    masked.fileMask = QStringLiteral("yyyymmdd_*FILENAME");
    model.setOptions(masked);
    QCOMPARE(model.plan(0).relativeOutput, QStringLiteral("20240515_IMG_1.jpg"));
    // A mask no name can be formed with: no plans, and the rows say why.
    masked.fileMask = QStringLiteral("<>");
    PreviewModel refused(nullptr, QLocale::c(), [] { return kFixedNow; });
    refused.setOptions(masked);
    refused.setHeaders(headersOf({"IMG_1.JPG"}));
    QVERIFY(!refused.hasPlans());
    QCOMPARE(refused.data(refused.index(0, PreviewModel::Note)).toString(), app::kInvalidFileMaskMessage);
    // Back to no offset: nothing is highlighted any more.
    model.setOptions(options(0));
    QVERIFY(!model.data(model.index(1, PreviewModel::NewTime), Qt::BackgroundRole).isValid());
}

void PreviewTest::namesAreTheRunsNames_data() {
    QTest::addColumn<bool>("autoRename");
    QTest::addColumn<bool>("includeFileName");
    QTest::addColumn<QString>("into");  // the destination below the temporary folder
    QTest::addColumn<bool>("allTypes");
    QTest::addColumn<bool>("perCamera");  // the second camera a day back, by its own offset
    QTest::newRow("standard options") << true << true << "out" << false << false;
    QTest::newRow("date only") << true << false << "out" << false << false;
    QTest::newRow("date only, no auto rename") << false << false << "out" << false << false;
    QTest::newRow("beside the originals") << true << true << "src" << false << false;
    QTest::newRow("over the originals") << false << false << "src" << false << false;
    QTest::newRow("inside the source") << true << false << "src/Trip" << false << false;
    QTest::newRow("all types") << true << true << "out" << true << false;
    QTest::newRow("all types, date only") << true << false << "out" << true << false;
    QTest::newRow("all types, over the originals") << false << false << "src" << true << false;
    QTest::newRow("per camera") << true << false << "out" << false << true;
    QTest::newRow("per camera, over the originals") << false << false << "src" << false << true;
}

void PreviewTest::namesAreTheRunsNames() {
    QFETCH(bool, autoRename);
    QFETCH(bool, includeFileName);
    QFETCH(QString, into);
    QFETCH(bool, allTypes);
    QFETCH(bool, perCamera);
    const std::string dated = photo("2024:05:14 09:00:00");
    // A second camera whose photo lands on the others' names unless its own offset moves it.
    write(QStringLiteral("Trip/phone.jpg"), test::cameraPhoto({"2024:05:15 10:00:00", "Phone", "X1"}));
    for (const char* file :
         {"IMG_1.jpg", "IMG_2.JPG", "IMG_2.jpg", "Trip/IMG_3.jpg", "Trip/IMG_4.jpg", "IMG_0001.JPG"}) {
        write(QString::fromLatin1(file), dated);
    }
    // A raw file and a sidecar beside their JPEG, each with another date: the group is named by the JPEG's.
    write(QStringLiteral("IMG_0001.CR2"), test::tiffPhoto("2024:05:14 08:00:00"));
    write(QStringLiteral("IMG_0001.xmp"),
          test::XmpBuilder().attribute("xmp:CreateDate", "2024-05-14T07:00:00").build());
    write(QStringLiteral("undated.jpg"), photo("0000:00:00 00:00:00"));
    write(QStringLiteral("plain.jpg"), test::plainPhoto());
    test::writeFile(std::filesystem::path(destination().toStdString()) / "2024-05-14 09-00-00 - IMG_1.jpg", dated);
    app::RunOptions o = options(1);
    o.autoRename = autoRename;
    o.includeFileName = includeFileName;
    o.destinationFolder = temp_->filePath(into);
    o.allTypes = allTypes;

    auto window = readWindow(o);
    QVERIFY(window);
    if (perCamera) {
        app::CameraChoices choices;
        choices.offsets.insert(QStringLiteral("Phone X1"), -(86400 + 3600));
        window->setCameraChoices(choices);
    }
    QStringList previewed;
    for (int row = 0; row < window->model().rowCount(); ++row) {
        previewed << window->model().plan(row).output.filePath();
    }
    for (int row = 0; row < window->model().rowCount(); ++row) {
        const app::PhotoPlan& plan = window->model().plan(row);
        if (plan.header->fileName != QStringLiteral("phone.jpg")) continue;
        QCOMPARE(plan.cameraRule, perCamera);
        QCOMPARE(app::formatPlanDate(plan.newCapture),
                 perCamera ? QStringLiteral("2024-05-14 09:00:00") : QStringLiteral("2024-05-15 11:00:00"));
    }
    RecordingHost host(window->withCameras(o));
    app::BatchRun run(host);
    run.setNamingLocale(QLocale::c());
    run.run();
    QVERIFY2(host.errors.isEmpty(), qPrintable(host.errors.join(u'\n')));
    QCOMPARE(previewed, host.lines);
    // The files left out are counted as the run counts them.
    const QString status = window->findChild<QLabel*>(QStringLiteral("lblPreviewStatus"))->text();
    QCOMPARE(host.otherTypes, allTypes ? 0 : 2);
    QCOMPARE(status.contains(QStringLiteral("left out")), !allTypes);
    if (!allTypes) QVERIFY2(status.endsWith(app::otherTypesLeftOutNote(host.otherTypes)), qPrintable(status));
}

void PreviewTest::windowReadsTheFolderOnAWorker() {
    constexpr int kPhotos = 1200;
    const std::string bytes = photo("2024:05:14 09:00:00", thumbnailJpeg());
    for (int i = 0; i < kPhotos; ++i)
        write(QStringLiteral("d%1/IMG_%2.JPG").arg(i % 3).arg(i, 4, 10, QChar(u'0')), bytes);
    gui::PreviewWindow window(nullptr, QLocale::c(), [] { return kFixedNow; });
    QVERIFY(window.windowFlags().testFlag(Qt::Window));
    window.setOptions(options(-10));
    QVERIFY(!window.isReading());  // nothing is read for a hidden window
    QSignalSpy finished(&window, &gui::PreviewWindow::readingFinished);
    window.show();
    auto* status = window.findChild<QLabel*>(QStringLiteral("lblPreviewStatus"));
    auto* progress = window.findChild<QProgressBar*>(QStringLiteral("pbPreview"));
    QVERIFY(window.isReading());
    QVERIFY(progress->isVisible());
    QVERIFY(finished.wait(60000));
    QVERIFY(!window.isReading());
    QVERIFY(!progress->isVisible());
    QCOMPARE(window.model().rowCount(), kPhotos);
    QCOMPARE(status->text(), QStringLiteral("1200 photos, 0 not corrected"));
    // In list order: the first folder's photos first, each folder's in name order.
    QCOMPARE(window.model().header(0).relativePath, QStringLiteral("d0/IMG_0000.JPG"));
    QCOMPARE(window.model().header(kPhotos - 1).relativePath, QStringLiteral("d2/IMG_1199.JPG"));
    QCOMPARE(gui::changeOf(window.model().plan(0)), DateChange::Day);
    // The first row is selected, its thumbnail shown, and "Set from a photo…" asks for its photo.
    QCOMPARE(window.selectedRow(), 0);
    QVERIFY(!window.findChild<QLabel*>(QStringLiteral("lblPreviewThumbnail"))->pixmap().isNull());
    QSignalSpy requested(&window, &gui::PreviewWindow::setFromPhotoRequested);
    window.findChild<QPushButton*>(QStringLiteral("btnPreviewSetFromPhoto"))->click();
    QCOMPARE(requested.count(), 1);
    QCOMPARE(requested.first().at(0).toString(), source() + QStringLiteral("/d0/IMG_0000.JPG"));

    // An offset edit plans again and reads nothing.
    window.setOptions(options(0));
    QVERIFY(!window.isReading());
    QCOMPARE(gui::changeOf(window.model().plan(0)), DateChange::None);
    // Another folder while one is read: the first reading's rows never reach the table.
    app::RunOptions other = options(0);
    other.sourceFolder = temp_->filePath(QStringLiteral("src/d1"));
    finished.clear();
    window.refresh();
    QVERIFY(window.isReading());
    window.setOptions(other);
    QVERIFY(finished.wait(60000));
    QTRY_VERIFY(!window.isReading());
    QCOMPARE(finished.count(), 1);
    QCOMPARE(window.model().rowCount(), kPhotos / 3);
    QCOMPARE(window.model().header(0).relativePath, QStringLiteral("IMG_0001.JPG"));
    // A folder that is not there empties the table and says so.
    other.sourceFolder = temp_->filePath(QStringLiteral("nowhere"));
    window.setOptions(other);
    QVERIFY(finished.wait(10000));
    QCOMPARE(window.model().rowCount(), 0);
    QCOMPARE(status->text(), app::kInvalidDirectoryMessage);
}

void PreviewTest::dialogShowsTheOffsetToTheTrueTime_data() {
    QTest::addColumn<double>("recorded");
    QTest::addColumn<QDateTime>("truth");
    QTest::addColumn<QString>("offset");
    QTest::newRow("across midnight") << at(2024, 5, 14, 22, 30, 0)
                                     << QDateTime(QDate(2024, 5, 15), QTime(4, 29, 59), Qt::UTC)
                                     << "0 days, +5 hours, +59 minutes, +59 seconds";
    QTest::newRow("across a month, back")
        << at(2024, 6, 1, 0, 0, 5) << QDateTime(QDate(2024, 5, 31), QTime(23, 0, 0), Qt::UTC)
        << "0 days, -1 hour, 0 minutes, -5 seconds";
    QTest::newRow("over a leap day") << at(2024, 2, 28, 23, 0, 0)
                                     << QDateTime(QDate(2024, 3, 1), QTime(1, 0, 0), Qt::UTC)
                                     << "+1 day, +2 hours, 0 minutes, 0 seconds";
    QTest::newRow("a year back") << at(2023, 3, 1, 12, 0, 0) << QDateTime(QDate(2022, 3, 1), QTime(12, 0, 0), Qt::UTC)
                                 << "-365 days, 0 hours, 0 minutes, 0 seconds";
}

void PreviewTest::dialogShowsTheOffsetToTheTrueTime() {
    QFETCH(double, recorded);
    QFETCH(QDateTime, truth);
    gui::ReferenceTimeDialog dialog(nullptr, QStringLiteral("/photos/IMG_1.JPG"), recorded);
    QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("lblReferenceRecorded"))->text(), app::formatPlanDate(recorded));
    // The field starts at the recorded time, with seconds.
    QCOMPARE(dialog.trueTime(), recorded);
    QCOMPARE(dialog.trueTimeEdit().displayFormat(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    dialog.trueTimeEdit().setDateTime(truth);
    QTEST(dialog.findChild<QLabel*>(QStringLiteral("lblReferenceOffset"))->text(), "offset");
    QVERIFY(dialog.offset().has_value());
    QCOMPARE(meta::decodeDateTime(recorded + double(app::totalSeconds(*dialog.offset())) / 86400.0),
             meta::decodeDateTime(gui::fromQDateTime(truth)));
}

void PreviewTest::mainWindowSetsTheBoxesFromAPhoto() {
    pickedPhoto_ = write(QStringLiteral("clock.jpg"), photo("2024:02:28 23:10:00"));
    RecordingBoxes boxes;
    QString askedPath;
    double askedRecorded = 0;
    auto window = makeWindow(
        [&](QWidget*, const QString& path, double recorded) -> std::optional<double> {
            askedPath = path;
            askedRecorded = recorded;
            return at(2024, 3, 1, 8, 0, 30);
        },
        boxes);
    window->findChild<QPushButton*>(QStringLiteral("btnSetFromPhoto"))->click();
    QCOMPARE(askedPath, pickedPhoto_);
    QCOMPARE(app::formatPlanDate(askedRecorded), QStringLiteral("2024-02-28 23:10:00"));
    const app::TimeOffset offset = window->currentOptions().offset;
    QCOMPARE((std::array{offset.days, offset.hours, offset.minutes, offset.seconds}), (std::array{1, 8, 50, 30}));
    QVERIFY(boxes.texts.isEmpty());

    // Cancel leaves the boxes alone; so does cancelling the file dialog.
    auto cancelling = makeWindow([](QWidget*, const QString&, double) { return std::optional<double>(); }, boxes);
    cancelling->setOffsetFromPhoto(pickedPhoto_);
    QCOMPARE(cancelling->currentOptions().offset.hours, 0);
    pickedPhoto_.clear();
    window->findChild<QPushButton*>(QStringLiteral("btnSetFromPhoto"))->click();
    QCOMPARE(window->currentOptions().offset.minutes, 50);
}

void PreviewTest::mainWindowRefusesAPhotoWithoutDate() {
    RecordingBoxes boxes;
    bool asked = false;
    auto window = makeWindow(
        [&](QWidget*, const QString&, double) -> std::optional<double> {
            asked = true;
            return 1.0;
        },
        boxes);
    window->findChild<QSpinBox*>(QStringLiteral("SpinEdit1"))->setValue(5);
    for (const std::string& bytes : {photo("0000:00:00 00:00:00"), test::plainPhoto(), std::string("text")}) {
        boxes.texts.clear();
        window->setOffsetFromPhoto(write(QStringLiteral("undated.jpg"), bytes));
        QCOMPARE(boxes.texts.size(), 1);
        QVERIFY2(boxes.texts.first().contains(QStringLiteral("has no readable date")), qPrintable(boxes.texts.first()));
    }
    QVERIFY(!asked);
    QCOMPARE(window->currentOptions().offset.hours, 5);
}

void PreviewTest::previewOpensFromTheButtonAndFollowsTheEdits() {
    write(QStringLiteral("IMG_1.JPG"), photo("2024:05:14 22:30:00"));
    write(QStringLiteral("IMG_1.CR2"), test::tiffPhoto("2024:05:14 22:30:00"));
    write(QStringLiteral("Other/IMG_9.JPG"), photo("2020:01:01 10:00:00"));
    RecordingBoxes boxes;
    QWidget* askedOver = nullptr;
    auto window = makeWindow(
        [&](QWidget* over, const QString&, double) {
            askedOver = over;
            return std::optional<double>(at(2024, 5, 15, 0, 0, 0));
        },
        boxes);
    window->findChild<QCheckBox*>(QStringLiteral("cbRec"))->setChecked(false);
    gui::PreviewWindow* preview = window->previewWindow();
    QVERIFY(!preview->isVisible());
    window->findChild<QPushButton*>(QStringLiteral("btnPreview"))->click();
    QCOMPARE(preview->objectName(), QStringLiteral("previewWindow"));
    QVERIFY(preview->isVisible());
    QVERIFY(!preview->isModal());
    QVERIFY(preview->maximumWidth() > preview->minimumWidth());
    QSignalSpy finished(preview, &gui::PreviewWindow::readingFinished);
    QVERIFY(finished.wait(10000));
    QCOMPARE(preview->model().rowCount(), 1);
    QCOMPARE(preview->model().plan(0).relativeOutput, QStringLiteral("2024-05-14 22-30-00 - IMG_1.jpg"));

    // Offset and mask as they are typed, without reading anything again.
    window->findChild<QSpinBox*>(QStringLiteral("SpinEdit1"))->setValue(2);
    QTRY_COMPARE(preview->model().plan(0).relativeOutput, QStringLiteral("2024-05-15 00-30-00 - IMG_1.jpg"));
    window->findChild<QLineEdit*>(QStringLiteral("edtOutputFileMask"))->setText(QStringLiteral("yyyy_*FILENAME"));
    QTRY_COMPARE(preview->model().plan(0).relativeOutput, QStringLiteral("2024_IMG_1.jpg"));
    // A mask that cannot be used leaves the names as the accepted mask gives them.
    window->findChild<QLineEdit*>(QStringLiteral("edtOutputFileMask"))->setText(QStringLiteral("<>"));
    QTRY_COMPARE(preview->model().plan(0).relativeOutput, QStringLiteral("2024-05-15 00-30-00 - IMG_1.jpg"));
    QCOMPARE(finished.count(), 1);

    // "Set from a photo…" for the selected row: the boxes, and the table with them.
    preview->findChild<QPushButton*>(QStringLiteral("btnPreviewSetFromPhoto"))->click();
    QCOMPARE(askedOver, preview);
    QCOMPARE(window->currentOptions().offset.hours, 1);
    QCOMPARE(window->currentOptions().offset.minutes, 30);
    QTRY_COMPARE(app::formatPlanDate(preview->model().plan(0).newCapture), QStringLiteral("2024-05-15 00:00:00"));

    // Sub-folders included: the folder is read again.
    window->findChild<QCheckBox*>(QStringLiteral("cbRec"))->setChecked(true);
    QVERIFY(finished.wait(10000));
    QCOMPARE(preview->model().rowCount(), 2);
    auto* status = preview->findChild<QLabel*>(QStringLiteral("lblPreviewStatus"));
    QVERIFY2(status->text().endsWith(app::otherTypesLeftOutNote(1)), qPrintable(status->text()));
    // Other file types: listed again, the raw file named with its JPEG.
    window->findChild<QCheckBox*>(QStringLiteral("cbAllTypes"))->setChecked(true);
    QVERIFY(finished.wait(10000));
    QCOMPARE(preview->model().rowCount(), 3);
    QCOMPARE(preview->model().header(0).fileName, QStringLiteral("IMG_1.CR2"));
    QCOMPARE(preview->model().plan(0).relativeOutput, QStringLiteral("2024-05-15 00-00-00 - IMG_1.CR2"));
    QCOMPARE(preview->model().plan(1).relativeOutput, QStringLiteral("2024-05-15 00-00-00 - IMG_1.jpg"));
    QVERIFY(!status->text().contains(QStringLiteral("left out")));

    // Closed, it follows nothing until it is opened again (here by its key), then shows the edits made meanwhile.
    preview->close();
    window->findChild<QSpinBox*>(QStringLiteral("SpinEdit1"))->setValue(3);
    QTest::qWait(300);
    QCOMPARE(app::formatPlanDate(preview->model().plan(0).newCapture), QStringLiteral("2024-05-15 00:00:00"));
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window->findChild<QLineEdit*>(QStringLiteral("edtDir")), Qt::Key_F5);
    QVERIFY(preview->isVisible());
    QCOMPARE(app::formatPlanDate(preview->model().plan(0).newCapture), QStringLiteral("2024-05-15 02:00:00"));
    // It goes with the main window.
    window->close();
    QVERIFY(!preview->isVisible());
}

QTEST_MAIN(PreviewTest)
#include "preview_test.moc"
