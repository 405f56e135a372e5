// The preview: its table model (rows, notes, highlighting, names reserved in list order, updates after an edit),
// the page that reads a folder on a worker thread, and "Set from a photo…" in the dialog and in the main window.
#include <QBrush>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>
#include <array>
#include <filesystem>
#include <string>

#include "app/batch_run.h"
#include "app/file_list.h"
#include "app/time_offset.h"
#include "gui/main_window.h"
#include "gui/message_boxes.h"
#include "gui/preview_model.h"
#include "gui/preview_page.h"
#include "gui/preview_photo.h"
#include "gui/reference_dialog.h"
#include "meta/date_time.h"
#include "support/exif_builder.h"

using namespace morrowtide;
using gui::DateChange;
using gui::PreviewModel;

namespace {

// 2007-04-01 11:15:02, so that masks and two-digit years come out the same on every day.
constexpr double kFixedNow = 39173.0 + (11 * 3600 + 15 * 60 + 2) / 86400.0;

// A small JPEG to stand for a camera's thumbnail (the tests' 8x8 grey image).
std::string thumbnailJpeg() {
    return test::JpegBuilder().imageData().build();
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
    void breathe() override {}
    bool stopRequested() override { return false; }
    void runFinished(const app::RunSummary&) override {}
    QStringList lines;
    QStringList errors;

  private:
    app::RunOptions options_;
};

class RecordingBoxes : public gui::MessageBoxes {
  public:
    gui::MessageAnswer show(QWidget*, const gui::MessageRequest& request) override {
        texts << request.text;
        return gui::MessageAnswer::Ok;
    }
    QStringList texts;
};

}  // namespace

class PreviewTest : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup() { temp_.reset(); }

    void headerReadsModelDateAndThumbnail();
    void rowsShowWhatARunWouldDo_data();
    void rowsShowWhatARunWouldDo();
    void offsetChangeUpdatesEveryRow();
    void namesAreReservedInListOrder_data();
    void namesAreReservedInListOrder();
    void namesAreTheRunsNames_data();
    void namesAreTheRunsNames();
    void pageReadsTheFolderOnAWorker();
    void pageSaysWhenTheFolderIsMissing();
    void dialogShowsTheOffsetToTheTrueTime_data();
    void dialogShowsTheOffsetToTheTrueTime();
    void windowSetsTheBoxesFromAPhoto();
    void windowRefusesAPhotoWithoutDate();
    void windowPreviewFollowsTheEdits();

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
    // A model holding the headers of the given files (relative to the source folder), in that order.
    void fill(PreviewModel& model, const QStringList& files, const app::RunOptions& runOptions) {
        model.setOptions(runOptions);
        model.clear(source());
        std::vector<gui::PhotoHeader> headers;
        for (const QString& file : files) {
            headers.push_back(gui::readPhotoHeader(temp_->filePath(QStringLiteral("src/") + file).toStdString(), file));
        }
        model.appendPhotos(std::move(headers));
    }
    static app::FileNamer namer() { return app::FileNamer(QLocale::c(), [] { return kFixedNow; }); }
    std::unique_ptr<gui::MainWindow> makeWindow(std::function<std::optional<double>(QWidget*, const QString&, double)> ask,
                                                RecordingBoxes& boxes) {
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

void PreviewTest::headerReadsModelDateAndThumbnail() {
    const std::string thumbnail = thumbnailJpeg();
    for (const auto order : {test::ByteOrder::kLittle, test::ByteOrder::kBig}) {
        const QString path = write(QStringLiteral("a.jpg"), test::datedPhoto("2024:05:14 09:07:13", "Demo Camera",
                                                                             thumbnail, order));
        const gui::PhotoHeader header = gui::readPhotoHeader(path.toStdString(), QStringLiteral("a.jpg"));
        QVERIFY(header.hasExif);
        QCOMPARE(header.cameraModel, QStringLiteral("Demo Camera"));
        QCOMPARE(gui::dateTimeText(header.recorded), QStringLiteral("2024-05-14 09:07:13"));
        QCOMPARE(header.thumbnail, QByteArray::fromStdString(thumbnail));
        QVERIFY(!QImage::fromData(header.thumbnail, "JPEG").isNull());
    }
    // Bytes that are no JPEG where the thumbnail should be, and a photo without one, give no thumbnail.
    const QString bad = write(QStringLiteral("b.jpg"), test::datedPhoto("2024:05:14 09:07:13", {}, "not a jpeg"));
    QVERIFY(gui::readPhotoHeader(bad.toStdString(), {}).thumbnail.isEmpty());
    const QString none = write(QStringLiteral("c.jpg"), test::datedPhoto("2024:05:14 09:07:13"));
    QVERIFY(gui::readPhotoHeader(none.toStdString(), {}).thumbnail.isEmpty());
    // A model padded with zero bytes and blanks, as some cameras store it.
    const QString padded =
        write(QStringLiteral("d.jpg"), test::datedPhoto("2024:05:14 09:07:13", std::string_view("E990 \0\0\0 ", 9)));
    QCOMPARE(gui::readPhotoHeader(padded.toStdString(), {}).cameraModel, QStringLiteral("E990"));
}

void PreviewTest::rowsShowWhatARunWouldDo_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("oldTime");
    QTest::addColumn<QString>("newTime");
    QTest::addColumn<QString>("newName");
    QTest::addColumn<QString>("note");
    QTest::addColumn<int>("change");
    QTest::addColumn<bool>("corrected");

    auto photo = [](const char* date) { return QByteArray::fromStdString(test::datedPhoto(date, "Demo")); };
    // The offset is +3 hours throughout.
    QTest::newRow("same day") << "IMG_1.JPG" << photo("2024:05:14 09:00:00") << "." << "2024-05-14 09:00:00"
                              << "2024-05-14 12:00:00" << "2024-05-14 12-00-00 - IMG_1.jpg" << "ok"
                              << int(DateChange::None) << true;
    QTest::newRow("next day") << "Trip/IMG_2.JPG" << photo("2024:05:14 22:30:00") << "Trip" << "2024-05-14 22:30:00"
                              << "2024-05-15 01:30:00" << "Trip/2024-05-15 01-30-00 - IMG_2.jpg" << "ok"
                              << int(DateChange::Day) << true;
    QTest::newRow("next year") << "IMG_3.jpg" << photo("2023:12:31 23:00:00") << "." << "2023-12-31 23:00:00"
                               << "2024-01-01 02:00:00" << "2024-01-01 02-00-00 - IMG_3.jpg" << "ok"
                               << int(DateChange::Year) << true;
    QTest::newRow("undated") << "IMG_4.JPG" << photo("0000:00:00 00:00:00") << "." << "-" << "-" << "IMG_4.jpg"
                             << "no readable date" << int(DateChange::None) << false;
    QTest::newRow("out of range") << "IMG_5.JPG" << photo("9999:12:31 22:00:00") << "." << "9999-12-31 22:00:00"
                                  << "9999-12-31 22:00:00" << "9999-12-31 22-00-00 - IMG_5.jpg"
                                  << "date out of range" << int(DateChange::None) << false;
    QTest::newRow("no EXIF") << "IMG_6.JPG" << QByteArray::fromStdString(test::JpegBuilder().app0Jfif().imageData().build())
                             << "." << "-" << "-" << "IMG_6.jpg" << "no EXIF" << int(DateChange::None) << false;
    QTest::newRow("no JPEG") << "IMG_7.JPG" << QByteArray("just text") << "." << "-" << "-" << "IMG_7.jpg"
                             << "no EXIF" << int(DateChange::None) << false;
}

void PreviewTest::rowsShowWhatARunWouldDo() {
    QFETCH(QString, file);
    QFETCH(QByteArray, bytes);
    write(file, bytes.toStdString());
    PreviewModel model(nullptr, namer());
    fill(model, {file}, options(3));
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.columnCount(), int(PreviewModel::ColumnCount));
    auto cell = [&](int column, int role = Qt::DisplayRole) { return model.data(model.index(0, column), role); };
    QTEST(cell(PreviewModel::Folder).toString(), "folder");
    QCOMPARE(cell(PreviewModel::Camera).toString(), bytes.contains("Demo") ? QStringLiteral("Demo") : QString());
    QCOMPARE(cell(PreviewModel::FileName).toString(), file.mid(file.lastIndexOf(u'/') + 1));
    QTEST(cell(PreviewModel::OldTime).toString(), "oldTime");
    QTEST(cell(PreviewModel::NewTime).toString(), "newTime");
    QTEST(cell(PreviewModel::NewName).toString(), "newName");
    QTEST(cell(PreviewModel::Note).toString(), "note");
    QTEST(cell(0, PreviewModel::ChangeRole).toInt(), "change");
    QTEST(cell(0, PreviewModel::CorrectedRole).toBool(), "corrected");
    QFETCH(bool, corrected);
    QFETCH(int, change);
    // A row left alone stands out in every cell; a change of day or year marks the new time only.
    for (int column = 0; column < PreviewModel::ColumnCount; ++column) {
        const bool marked = !corrected || (column == PreviewModel::NewTime && change != int(DateChange::None));
        QCOMPARE(cell(column, Qt::BackgroundRole).isValid(), marked);
    }
}

void PreviewTest::offsetChangeUpdatesEveryRow() {
    write(QStringLiteral("IMG_1.JPG"), test::datedPhoto("2024:05:14 22:30:00"));
    write(QStringLiteral("IMG_2.JPG"), test::datedPhoto("2024:12:31 20:00:00"));
    PreviewModel model(nullptr, namer());
    fill(model, {QStringLiteral("IMG_1.JPG"), QStringLiteral("IMG_2.JPG")}, options(0));
    QCOMPARE(model.plan(0).change, DateChange::None);
    QCOMPARE(model.plan(1).change, DateChange::None);
    const QBrush day = model.data(model.index(0, PreviewModel::NewTime), Qt::BackgroundRole).value<QBrush>();

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.setOptions(options(4));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().at(0).toModelIndex().row(), 0);
    QCOMPARE(changed.first().at(1).toModelIndex().row(), 1);
    QCOMPARE(gui::dateTimeText(model.plan(0).newTime), QStringLiteral("2024-05-15 02:30:00"));
    QCOMPARE(model.plan(0).change, DateChange::Day);
    QCOMPARE(model.plan(1).change, DateChange::Year);
    QCOMPARE(model.plan(1).newName, QStringLiteral("2025-01-01 00-00-00 - IMG_2.jpg"));
    // Day and year are told apart by colour.
    const QBrush dayBrush = model.data(model.index(0, PreviewModel::NewTime), Qt::BackgroundRole).value<QBrush>();
    const QBrush yearBrush = model.data(model.index(1, PreviewModel::NewTime), Qt::BackgroundRole).value<QBrush>();
    QVERIFY(dayBrush != day);
    QVERIFY(dayBrush.color() != yearBrush.color());

    // A mask edit renames without reading anything again.
    app::RunOptions masked = options(4);
    masked.fileMask = QStringLiteral("yyyymmdd_*FILENAME");
    model.setOptions(masked);
    QCOMPARE(model.plan(0).newName, QStringLiteral("20240515_IMG_1.jpg"));
    // Back to no offset: nothing is highlighted any more.
    model.setOptions(options(0));
    QVERIFY(!model.data(model.index(1, PreviewModel::NewTime), Qt::BackgroundRole).isValid());
}

void PreviewTest::namesAreReservedInListOrder_data() {
    QTest::addColumn<bool>("autoRename");
    QTest::addColumn<bool>("includeDateTime");
    QTest::addColumn<bool>("includeFileName");
    QTest::addColumn<bool>("intoSource");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("notes");
    // Three photos of one second (without the file name, the mask leaves "<date> - "); "2024-05-14 09-00-00 - IMG_1.jpg" already stands in the destination. A copy that
    // takes its photo's place keeps the name exactly (IMG_2.JPG); one beside it is a ".jpg" file of its own.
    const QString date = QStringLiteral("2024-05-14 09-00-00");
    QTest::newRow("taken on disk") << true << true << true << false
                                   << QStringList{date + " - IMG_1_2.jpg", date + " - IMG_2.jpg", date + " - IMG_3.jpg"}
                                   << QStringList{"renamed _2", "ok", "ok"};
    QTest::newRow("taken by earlier photos") << true << true << false << false
                                             << QStringList{date + " - .jpg", date + " - _2.jpg", date + " - _3.jpg"}
                                             << QStringList{"ok", "renamed _2", "renamed _3"};
    QTest::newRow("no auto rename") << false << true << false << false
                                    << QStringList{date + " - .jpg", date + " - .jpg", date + " - .jpg"}
                                    << QStringList{"ok", "replaces an earlier photo's output",
                                                   "replaces an earlier photo's output"};
    QTest::newRow("over the originals") << false << false << true << true
                                        << QStringList{"IMG_1.jpg", "IMG_2.JPG", "IMG_3.jpg"}
                                        << QStringList{"replaces original", "replaces original", "replaces original"};
    QTest::newRow("beside the originals") << true << false << true << true
                                          << QStringList{"IMG_1_2.jpg", "IMG_2.jpg", "IMG_3_2.jpg"}
                                          << QStringList{"renamed _2", "ok", "renamed _2"};
}

void PreviewTest::namesAreReservedInListOrder() {
    QFETCH(bool, autoRename);
    QFETCH(bool, includeDateTime);
    QFETCH(bool, includeFileName);
    QFETCH(bool, intoSource);
    const std::string dated = test::datedPhoto("2024:05:14 09:00:00");
    const QStringList files{QStringLiteral("IMG_1.jpg"), QStringLiteral("IMG_2.JPG"), QStringLiteral("IMG_3.jpg")};
    for (const QString& file : files) write(file, dated);
    test::writeFile(std::filesystem::path(destination().toStdString()) / "2024-05-14 09-00-00 - IMG_1.jpg", dated);
    app::RunOptions o = options(0);
    o.autoRename = autoRename;
    o.includeDateTime = includeDateTime;
    o.includeFileName = includeFileName;
    if (intoSource) o.destinationFolder = source();
    PreviewModel model(nullptr, namer());
    fill(model, files, o);
    QStringList names, notes;
    for (int row = 0; row < model.rowCount(); ++row) {
        names << model.plan(row).newName;
        notes << model.plan(row).note;
    }
    QTEST(names, "names");
    QTEST(notes, "notes");
}

void PreviewTest::namesAreTheRunsNames_data() {
    QTest::addColumn<bool>("autoRename");
    QTest::addColumn<bool>("includeFileName");
    QTest::addColumn<bool>("intoSource");
    QTest::newRow("standard options") << true << true << false;
    QTest::newRow("date only") << true << false << false;
    QTest::newRow("date only, no auto rename") << false << false << false;
    QTest::newRow("beside the originals") << true << true << true;
}

void PreviewTest::namesAreTheRunsNames() {
    QFETCH(bool, autoRename);
    QFETCH(bool, includeFileName);
    QFETCH(bool, intoSource);
    const std::string dated = test::datedPhoto("2024:05:14 09:00:00");
    const QStringList files{QStringLiteral("IMG_1.jpg"),     QStringLiteral("IMG_2.JPG"),
                            QStringLiteral("IMG_2.jpg"),     QStringLiteral("Trip/IMG_3.jpg"),
                            QStringLiteral("Trip/IMG_4.jpg"), QStringLiteral("undated.jpg"),
                            QStringLiteral("plain.jpg")};
    for (const QString& file : files.mid(0, 5)) write(file, dated);
    write(files[5], test::datedPhoto("0000:00:00 00:00:00"));
    write(files[6], test::JpegBuilder().app0Jfif().imageData().build());
    test::writeFile(std::filesystem::path(destination().toStdString()) / "2024-05-14 09-00-00 - IMG_1.jpg", dated);
    app::RunOptions o = options(1);
    o.autoRename = autoRename;
    o.includeFileName = includeFileName;
    if (intoSource) o.destinationFolder = source();

    PreviewModel model(nullptr, namer());
    model.setOptions(o);
    model.clear(source());
    std::vector<std::string> listed;
    app::scanFolderNative(source().toStdString(), true, listed);
    std::vector<gui::PhotoHeader> headers;
    for (const std::string& path : listed) {
        headers.push_back(gui::readPhotoHeader(path, QString::fromStdString(path.substr(source().size() + 1))));
    }
    model.appendPhotos(std::move(headers));
    QStringList previewed;
    for (int row = 0; row < model.rowCount(); ++row) previewed << o.destinationFolder + u'/' + model.plan(row).newName;

    RecordingHost host(o);
    app::BatchRun run(host);
    run.setNamingLocale(QLocale::c());
    run.run();
    QVERIFY2(host.errors.isEmpty(), qPrintable(host.errors.join(u'\n')));
    QCOMPARE(previewed, host.lines);
}

void PreviewTest::pageReadsTheFolderOnAWorker() {
    constexpr int kPhotos = 1200;  // more than one batch
    const std::string photo = test::datedPhoto("2024:05:14 09:00:00", "Demo", thumbnailJpeg());
    for (int i = 0; i < kPhotos; ++i) write(QStringLiteral("d%1/IMG_%2.JPG").arg(i % 3).arg(i, 4, 10, QChar(u'0')), photo);
    gui::PreviewPage page(namer());
    page.setOptions(options(-10));
    QSignalSpy finished(&page, &gui::PreviewPage::readingFinished);
    page.show();  // reading starts when the page is on the screen
    auto* status = page.findChild<QLabel*>(QStringLiteral("lblPreviewStatus"));
    QVERIFY(page.isReading());
    QVERIFY(finished.wait(60000));
    QVERIFY(!page.isReading());
    QCOMPARE(page.model().rowCount(), kPhotos);
    QCOMPARE(status->text(), QStringLiteral("1200 photos, 0 not corrected"));
    // In list order: the first folder's photos first, each folder's in name order.
    QCOMPARE(page.model().header(0).relativePath, QStringLiteral("d0/IMG_0000.JPG"));
    QCOMPARE(page.model().header(kPhotos - 1).relativePath, QStringLiteral("d2/IMG_1199.JPG"));
    QCOMPARE(page.model().plan(0).change, DateChange::Day);
    // The first row is selected, and its thumbnail shown.
    QCOMPARE(page.selectedRow(), 0);
    auto* thumbnail = page.findChild<QLabel*>(QStringLiteral("lblPreviewThumbnail"));
    QVERIFY(!thumbnail->pixmap().isNull());
    auto* setFromPhoto = page.findChild<QPushButton*>(QStringLiteral("btnPreviewSetFromPhoto"));
    QSignalSpy requested(&page, &gui::PreviewPage::setFromPhotoRequested);
    setFromPhoto->click();
    QCOMPARE(requested.count(), 1);
    QCOMPARE(requested.first().at(0).toString(), source() + QStringLiteral("/d0/IMG_0000.JPG"));

    // Another folder while one is read: the first reading's rows never reach the table.
    page.setOptions(options(0));
    app::RunOptions other = options(0);
    other.sourceFolder = temp_->filePath(QStringLiteral("src/d1"));
    finished.clear();
    page.refresh();
    page.setOptions(other);
    QVERIFY(finished.wait(60000));
    QTRY_VERIFY(!page.isReading());
    QCOMPARE(page.model().rowCount(), kPhotos / 3);
    QCOMPARE(page.model().header(0).relativePath, QStringLiteral("IMG_0001.JPG"));
}

void PreviewTest::pageSaysWhenTheFolderIsMissing() {
    gui::PreviewPage page(namer());
    app::RunOptions o = options(0);
    o.sourceFolder = temp_->filePath(QStringLiteral("nowhere"));
    page.setOptions(o);
    QSignalSpy finished(&page, &gui::PreviewPage::readingFinished);
    page.show();
    QVERIFY(finished.wait(10000));
    QCOMPARE(page.model().rowCount(), 0);
    QCOMPARE(page.findChild<QLabel*>(QStringLiteral("lblPreviewStatus"))->text(), QStringLiteral("Error: Invalid Directory"));
}

void PreviewTest::dialogShowsTheOffsetToTheTrueTime_data() {
    QTest::addColumn<double>("recorded");
    QTest::addColumn<QDateTime>("truth");
    QTest::addColumn<QString>("offset");
    QTest::newRow("across midnight") << at(2024, 5, 14, 22, 30, 0) << QDateTime(QDate(2024, 5, 15), QTime(4, 29, 59), Qt::UTC)
                                     << "0 days, +5 hours, +59 minutes, +59 seconds";
    QTest::newRow("across a month, back") << at(2024, 6, 1, 0, 0, 5) << QDateTime(QDate(2024, 5, 31), QTime(23, 0, 0), Qt::UTC)
                                          << "0 days, -1 hour, 0 minutes, -5 seconds";
    QTest::newRow("over a leap day") << at(2024, 2, 28, 23, 0, 0) << QDateTime(QDate(2024, 3, 1), QTime(1, 0, 0), Qt::UTC)
                                     << "+1 day, +2 hours, 0 minutes, 0 seconds";
    QTest::newRow("a year back") << at(2023, 3, 1, 12, 0, 0) << QDateTime(QDate(2022, 3, 1), QTime(12, 0, 0), Qt::UTC)
                                 << "-365 days, 0 hours, 0 minutes, 0 seconds";
}

void PreviewTest::dialogShowsTheOffsetToTheTrueTime() {
    QFETCH(double, recorded);
    QFETCH(QDateTime, truth);
    gui::ReferenceTimeDialog dialog(nullptr, QStringLiteral("/photos/IMG_1.JPG"), recorded);
    QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("lblReferenceRecorded"))->text(), gui::dateTimeText(recorded));
    // The field starts at the recorded time, with seconds.
    QCOMPARE(dialog.trueTime(), recorded);
    QCOMPARE(dialog.trueTimeEdit().displayFormat(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    dialog.trueTimeEdit().setDateTime(truth);
    QTEST(dialog.findChild<QLabel*>(QStringLiteral("lblReferenceOffset"))->text(), "offset");
    QVERIFY(dialog.offset().has_value());
    QCOMPARE(meta::decodeDateTime(recorded + double(app::totalSeconds(*dialog.offset())) / 86400.0),
             meta::decodeDateTime(gui::fromQDateTime(truth)));
}

void PreviewTest::windowSetsTheBoxesFromAPhoto() {
    pickedPhoto_ = write(QStringLiteral("clock.jpg"), test::datedPhoto("2024:02:28 23:10:00"));
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
    QCOMPARE(gui::dateTimeText(askedRecorded), QStringLiteral("2024-02-28 23:10:00"));
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

void PreviewTest::windowRefusesAPhotoWithoutDate() {
    RecordingBoxes boxes;
    bool asked = false;
    auto window = makeWindow(
        [&](QWidget*, const QString&, double) -> std::optional<double> {
            asked = true;
            return 1.0;
        },
        boxes);
    window->findChild<QSpinBox*>(QStringLiteral("SpinEdit1"))->setValue(5);
    for (const std::string& bytes : {test::datedPhoto("0000:00:00 00:00:00"),
                                     test::JpegBuilder().app0Jfif().imageData().build(), std::string("text")}) {
        boxes.texts.clear();
        window->setOffsetFromPhoto(write(QStringLiteral("undated.jpg"), bytes));
        QCOMPARE(boxes.texts.size(), 1);
        QVERIFY2(boxes.texts.first().contains(QStringLiteral("has no readable date")), qPrintable(boxes.texts.first()));
    }
    QVERIFY(!asked);
    QCOMPARE(window->currentOptions().offset.hours, 5);
}

void PreviewTest::windowPreviewFollowsTheEdits() {
    write(QStringLiteral("IMG_1.JPG"), test::datedPhoto("2024:05:14 22:30:00"));
    RecordingBoxes boxes;
    auto window = makeWindow({}, boxes);
    gui::PreviewPage& page = window->previewPage();
    QSignalSpy finished(&page, &gui::PreviewPage::readingFinished);
    window->findChild<QTabWidget*>(QStringLiteral("pageControl"))->setCurrentWidget(&page);
    QVERIFY(finished.wait(10000));
    QCOMPARE(page.model().rowCount(), 1);
    QCOMPARE(page.model().plan(0).newName, QStringLiteral("2024-05-14 22-30-00 - IMG_1.jpg"));

    window->findChild<QSpinBox*>(QStringLiteral("SpinEdit1"))->setValue(2);
    QTRY_COMPARE(page.model().plan(0).newName, QStringLiteral("2024-05-15 00-30-00 - IMG_1.jpg"));
    // The mask as it is typed, before it is accepted; a mask that cannot be used leaves the names alone.
    window->findChild<QLineEdit*>(QStringLiteral("edtOutputFileMask"))->setText(QStringLiteral("yyyy_*FILENAME"));
    QTRY_COMPARE(page.model().plan(0).newName, QStringLiteral("2024_IMG_1.jpg"));
    window->findChild<QLineEdit*>(QStringLiteral("edtOutputFileMask"))->setText(QStringLiteral("<>"));
    QTest::qWait(300);
    QCOMPARE(page.model().plan(0).newName, QStringLiteral("2024-05-15 00-30-00 - IMG_1.jpg"));
}

QTEST_MAIN(PreviewTest)
#include "preview_test.moc"
