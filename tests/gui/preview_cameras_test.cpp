// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/camera_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

#include "app/batch_run.h"
#include "app/camera_offsets.h"
#include "app/photo_plan.h"
#include "app/time_offset.h"
#include "gui/main_window.h"
#include "gui/message_boxes.h"
#include "gui/preview_model.h"
#include "gui/preview_window.h"
#include "gui/timeline_widget.h"
#include "meta/date_time.h"
#include "support/exif_builder.h"
#include "widget_test_support.h"

using namespace morrowtide;
using gui::CameraPanel;

class PreviewCamerasTest : public QObject {
    Q_OBJECT

  private slots:
    void panelGivesARulePerCameraAndTakesTheSuggestion();
    void zonesApplyOnlyWhenOnAndKnown();
    void mainWindowRunsWithThePreviewsCameraOffsets();
    void savedChoicesComeBackAtStart();
};

using morrowtide::test::child;
using morrowtide::test::RecordingBoxes;

namespace {

std::shared_ptr<const app::PhotoHeader> header(const char* model, double recorded, double gps = 0.0) {
    auto made = std::make_shared<app::PhotoHeader>();
    made->hasExif = true;
    made->cameraMake = QStringLiteral("Maker");
    made->cameraModel = QString::fromLatin1(model);
    made->recordedCapture = recorded;
    made->gpsTime = gps;
    return made;
}

double at(int hour, int minute = 0) {
    return meta::encodeDateTime({2024, 7, 1, hour, minute, 0, 0});
}

}  // namespace

void PreviewCamerasTest::panelGivesARulePerCameraAndTakesTheSuggestion() {
    CameraPanel panel;
    // Camera B's GPS times say its clock ran 10 minutes slow (the photos were taken in UTC).
    child<QCheckBox>(panel, "convertZones")->setChecked(true);
    child<QComboBox>(panel, "fromZone")->setCurrentText("UTC");
    child<QComboBox>(panel, "toZone")->setCurrentText("UTC");
    auto noExif = std::make_shared<app::PhotoHeader>();
    panel.setHeaders({header("A", at(10)), header("B", at(10), at(10, 10)), header("A", at(11)),
                      header("B", at(12), at(12, 10)), noExif});
    QCOMPARE(panel.cameraCount(), 2);
    QTableWidget& table = panel.table();
    QCOMPARE(table.item(0, CameraPanel::Camera)->text(), QStringLiteral("Maker A"));
    QCOMPARE(table.item(0, CameraPanel::Photos)->text(), QStringLiteral("2"));
    QCOMPARE(table.item(1, CameraPanel::Suggested)->text(),
             QStringLiteral("+10m (2 of 2 photos agree within a minute)"));
    QVERIFY(!child<QPushButton>(panel, "useSuggested0")->isEnabled());

    QSignalSpy changed(&panel, &CameraPanel::changed);
    child<QPushButton>(panel, "useSuggested1")->click();
    QCOMPARE(panel.cameraOffset(1), std::optional<std::int64_t>(600));
    table.item(0, CameraPanel::Offset)->setText("0");  // the camera was right
    QCOMPARE(changed.count(), 2);
    app::RunOptions options;
    panel.applyTo(options);
    QCOMPARE(options.cameraOffsets.size(), std::size_t{2});
    for (const app::CameraOffset& rule : options.cameraOffsets) {
        QVERIFY(rule.wholeKey);
        QCOMPARE(app::totalSeconds(rule.offset), rule.match == "Maker B" ? 600 : 0);
    }
    // A text that is no offset gives no rule, and says why.
    table.item(1, CameraPanel::Offset)->setText("10 minutes");
    QVERIFY(!panel.cameraOffset(1));
    QVERIFY(!table.item(1, CameraPanel::Offset)->toolTip().isEmpty());
    // Listed again, the cameras keep what was typed for them.
    panel.setHeaders({header("A", at(10))});
    QCOMPARE(panel.cameraOffset(0), std::optional<std::int64_t>(0));
}

void PreviewCamerasTest::zonesApplyOnlyWhenOnAndKnown() {
    CameraPanel panel;
    child<QComboBox>(panel, "fromZone")->setCurrentText("Europe/Berlin");
    child<QComboBox>(panel, "toZone")->setCurrentText("Asia/Tokyo");
    app::RunOptions options;
    panel.applyTo(options);
    QVERIFY(options.fromZone.isEmpty());  // not ticked
    child<QCheckBox>(panel, "convertZones")->setChecked(true);
    panel.applyTo(options);
    QCOMPARE(options.fromZone, QStringLiteral("Europe/Berlin"));
    QCOMPARE(options.toZone, QStringLiteral("Asia/Tokyo"));
    child<QComboBox>(panel, "toZone")->setCurrentText("Asia/Tokio");
    app::RunOptions typo;
    panel.applyTo(typo);
    QVERIFY(typo.toZone.isEmpty());
    QVERIFY(child<QLabel>(panel, "zoneProblem")->text().contains("Asia/Tokio"));

    // Choices kept from an earlier start come back whole, the offset of a camera not listed now included.
    app::CameraChoices kept;
    kept.offsets.insert("Maker Gone #7", 3600);
    kept.convertZones = true;
    kept.fromZone = "Europe/Berlin";
    kept.toZone = "America/New_York";
    CameraPanel restored;
    restored.setChoices(kept);
    QCOMPARE(restored.choices(), kept);
    QCOMPARE(restored.cameraCount(), 0);
    app::RunOptions fromKept;
    restored.applyTo(fromKept);
    QCOMPARE(fromKept.cameraOffsets.size(), std::size_t{1});
    QCOMPARE(fromKept.cameraOffsets[0].match, QStringLiteral("Maker Gone #7"));
    QCOMPARE(fromKept.toZone, QStringLiteral("America/New_York"));
}

void PreviewCamerasTest::mainWindowRunsWithThePreviewsCameraOffsets() {
    test::TempDir temp;
    const std::filesystem::path in = temp.path() / "in";
    const std::filesystem::path out = temp.path() / "out";
    // Three cameras: a camera at home time (the offset boxes' +1h), a phone that was right, and a second camera
    // whose clock ran 30 minutes slow. Two bodies of one model are told apart by their serial numbers.
    struct Photo {
        const char* file;
        test::PhotoTags tags;
        const char* newTime;
    };
    const Photo photos[] = {
        {"a.jpg", {"2024:07:01 10:00:00", "Canon", "Canon EOS 5D", "", "111"}, "2024:07:01 11:00:00"},
        {"b.jpg", {"2024:07:01 10:05:00", "Google", "Pixel 7"}, "2024:07:01 10:05:00"},
        {"trip/c.jpg", {"2024:07:01 10:10:00", "Canon", "Canon EOS 5D", "", "222"}, "2024:07:01 10:40:00"},
        {"trip/d.jpg", {"2024:07:02 09:00:00", "Google", "Pixel 7"}, "2024:07:02 09:00:00"},
    };
    for (const Photo& photo : photos) test::writeFile(in / photo.file, test::cameraPhoto(photo.tags));
    RecordingBoxes boxes;
    gui::MainWindowSetup setup;
    setup.settingsPath = QFile::decodeName((temp.path() / "config.ini").c_str());
    setup.documentsFolder = QFile::decodeName(temp.path().c_str());
    setup.messageBoxes = &boxes;
    std::optional<app::RunOptions> ran;
    setup.runBatch = [&](app::BatchHost& host) -> std::optional<QStringList> {
        ran = host.currentOptions();
        app::BatchRun run(host);
        run.run();
        return run.fileList();
    };
    gui::MainWindow main(std::move(setup));
    child<QLineEdit>(main, "edtDir")->setText(QFile::decodeName(in.c_str()));
    child<QLineEdit>(main, "edtOutputDir")->setText(QFile::decodeName(out.c_str()));
    child<QSpinBox>(main, "SpinEdit1")->setValue(1);

    // "Cameras…" opens the preview on its cameras' page; one reading feeds the table, the cameras and the timeline.
    gui::PreviewWindow& preview = *main.previewWindow();
    QSignalSpy read(&preview, &gui::PreviewWindow::readingFinished);
    child<QPushButton>(main, "btnCameras")->click();
    QVERIFY(preview.isVisible());
    QCOMPARE(child<QTabWidget>(preview, "previewPages")->currentWidget()->objectName(),
             QStringLiteral("tabPreviewCameras"));
    QVERIFY(read.count() > 0 || read.wait(10000));
    QCOMPARE(read.count(), 1);
    CameraPanel& panel = preview.cameraPanel();
    QCOMPARE(panel.cameraCount(), 3);
    QCOMPARE(panel.table().item(1, CameraPanel::Camera)->text(), QStringLiteral("Google Pixel 7"));
    QCOMPARE(panel.table().item(2, CameraPanel::Camera)->text(), QStringLiteral("Canon EOS 5D #222"));
    panel.table().item(1, CameraPanel::Offset)->setText("0");
    panel.table().item(2, CameraPanel::Offset)->setText("+30m");
    QCOMPARE(read.count(), 1);  // planned again, not read again
    QVERIFY(child<QLabel>(main, "lblCameraChoices")->text().contains(QStringLiteral("own: 2")));

    // The table shows each photo's camera and the correction it gets, as the dry run does.
    const gui::PreviewModel& model = preview.model();
    QVERIFY(model.hasPlans());
    QStringList shown;
    for (int row = 0; row < model.rowCount(); ++row) {
        shown << model.data(model.index(row, gui::PreviewModel::Camera)).toString() + u':' +
                     model.data(model.index(row, gui::PreviewModel::Correction)).toString();
    }
    QCOMPARE(shown, (QStringList{"Canon EOS 5D #111:+1h", "Google Pixel 7:+0s", "Canon EOS 5D #222:+30m",
                                 "Google Pixel 7:+0s"}));
    // "Show its photos" of the phone lists only its photos; the rows keep their own order in the model.
    panel.table().selectRow(1);
    child<QPushButton>(preview, "btnShowCameraPhotos")->click();
    QCOMPARE(preview.currentPage(), gui::PreviewWindow::Page::Photos);
    QCOMPARE(preview.table().model()->rowCount(), 2);
    preview.table().selectRow(1);
    QCOMPARE(model.header(preview.selectedRow()).fileName, QStringLiteral("d.jpg"));
    preview.filterCamera(std::nullopt);
    QCOMPARE(preview.table().model()->rowCount(), 4);
    // The timeline: a lane per camera.
    preview.showPage(gui::PreviewWindow::Page::Timeline);
    QCOMPARE(preview.timeline().lanes(), (QStringList{"Canon EOS 5D #111", "Google Pixel 7", "Canon EOS 5D #222"}));

    // The run takes the preview's offsets, and writes the times the preview showed.
    main.startRun();
    QVERIFY(ran.has_value());
    QCOMPARE(ran->offset.hours, 1);
    QCOMPARE(ran->cameraOffsets.size(), std::size_t{2});
    std::vector<std::string> written;
    for (int row = 0; row < model.rowCount(); ++row) {
        written.push_back(model.plan(row).output.filePath().toStdString());
        QVERIFY2(std::filesystem::exists(written.back()), written.back().c_str());
    }
    const auto outputs = app::readPhotoHeaders(written, QFile::decodeName(out.c_str()));
    for (std::size_t i = 0; i < std::size(photos); ++i) {
        const QString expected = QString::fromLatin1(photos[i].newTime);
        QCOMPARE(app::formatPlanDate(outputs[i]->recordedCapture).replace(u'-', u':'), expected);
        QCOMPARE(app::formatPlanDate(model.plan(static_cast<int>(i)).newCapture).replace(u'-', u':'), expected);
    }
}

void PreviewCamerasTest::savedChoicesComeBackAtStart() {
    test::TempDir temp;
    const std::filesystem::path config = temp.path() / "config.ini";
    const std::string saved =
        "[Options]\nFileMask=yyyy-mm-dd hh-nn-ss - *FILENAME\nRecurseFolders=1\nAutoRename=1\n"
        "IncludePreviousFName=1\nIncludeDateTime=1\nOverwriteDateTime=1\nPreserveModDate=0\n"
        "[Cameras]\nCamera1=Google Pixel 7|+0s\nFromZone=Europe/Berlin\nToZone=Asia/Tokyo\n";
    test::writeFile(config, saved);
    gui::MainWindowSetup setup;
    setup.settingsPath = QFile::decodeName(config.c_str());
    setup.documentsFolder = QFile::decodeName(temp.path().c_str());
    gui::MainWindow main(std::move(setup));
    // In force before the preview was ever opened, though no photo of the camera is listed.
    const app::RunOptions options = main.currentOptions();
    QCOMPARE(options.cameraOffsets.size(), std::size_t{1});
    QCOMPARE(options.cameraOffsets[0].match, QStringLiteral("Google Pixel 7"));
    QCOMPARE(options.fromZone, QStringLiteral("Europe/Berlin"));
    QCOMPARE(options.toZone, QStringLiteral("Asia/Tokyo"));
    QVERIFY(child<QCheckBox>(*main.previewWindow(), "convertZones")->isChecked());
    // ... and named on the Photos tab, so that no run takes them unseen.
    auto* inForce = child<QLabel>(main, "lblCameraChoices");
    QVERIFY(!inForce->isHidden());
    QCOMPARE(inForce->text(), QStringLiteral("Also in force (Cameras\u2026): cameras with an offset of their own: 1; "
                                             "dates converted from Europe/Berlin to Asia/Tokyo"));
    child<QCheckBox>(*main.previewWindow(), "convertZones")->setChecked(false);
    QVERIFY(!inForce->text().contains(QStringLiteral("Europe/Berlin")));
    child<QCheckBox>(*main.previewWindow(), "convertZones")->setChecked(true);
    // Saved again untouched, the file is the same to the byte.
    main.saveOptions();
    QFile file(QFile::decodeName(config.c_str()));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll().toStdString(), saved);
}

QTEST_MAIN(PreviewCamerasTest)
#include "preview_cameras_test.moc"
