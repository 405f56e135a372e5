// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/camera_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QtTest>

#include "app/camera_offsets.h"
#include "app/photo_plan.h"
#include "app/time_offset.h"
#include "gui/camera_panel.h"
#include "gui/main_window.h"
#include "gui/message_boxes.h"
#include "gui/preview_model.h"
#include "gui/preview_window.h"
#include "gui/timeline_widget.h"
#include "meta/date_time.h"
#include "support/exif_builder.h"

using namespace morrowtide;
using gui::CameraPanel;

class CameraWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void panelGivesARulePerCameraAndTakesTheSuggestion();
    void zonesApplyOnlyWhenOnAndKnown();
    void mainWindowRunsWithTheCamerasOffsets();
};

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

template <typename T>
T* child(QWidget& parent, const QString& name) {
    T* widget = parent.findChild<T*>(name);
    if (!widget) qFatal("no widget %s", qPrintable(name));
    return widget;
}

}  // namespace

void CameraWindowTest::panelGivesARulePerCameraAndTakesTheSuggestion() {
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

void CameraWindowTest::zonesApplyOnlyWhenOnAndKnown() {
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
}

void CameraWindowTest::mainWindowRunsWithTheCamerasOffsets() {
    test::TempDir temp;
    const std::filesystem::path in = temp.path() / "in";
    test::writeFile(in / "a.jpg", test::cameraPhoto({"2024:07:01 10:00:00", "Canon", "Canon EOS 5D"}));
    test::writeFile(in / "b.jpg", test::cameraPhoto({"2024:07:01 11:00:00", "Google", "Pixel 7"}));
    gui::MainWindowSetup setup;
    setup.settingsPath = QFile::decodeName((temp.path() / "config.ini").c_str());
    setup.documentsFolder = QFile::decodeName(temp.path().c_str());
    std::optional<app::RunOptions> ran;
    gui::MainWindow* window = nullptr;
    setup.runBatch = [&](app::BatchHost& host) -> std::optional<QStringList> {
        ran = host.currentOptions();
        return QStringList();
    };
    gui::MainWindow main(std::move(setup));
    window = &main;
    child<QLineEdit>(main, "edtDir")->setText(QFile::decodeName(in.c_str()));
    child<QLineEdit>(main, "edtOutputDir")->setText(QFile::decodeName((temp.path() / "out").c_str()));
    child<QSpinBox>(main, "SpinEdit1")->setValue(1);
    child<QPushButton>(main, "btnCameras")->click();
    gui::CameraWindow* cameras = window->cameraWindow();
    QVERIFY(cameras != nullptr);
    QSignalSpy read(cameras, &gui::CameraWindow::readingFinished);
    QVERIFY(cameras->isReading() ? read.wait(10000) : true);
    QCOMPARE(cameras->panel().cameraCount(), 2);
    QCOMPARE(cameras->timeline().lanes(), (QStringList{"Canon EOS 5D", "Google Pixel 7"}));
    // The preview follows the cameras' offsets: the phone keeps its time, the Canon takes the offset boxes'.
    main.showPreview();
    gui::PreviewWindow& preview = *main.previewWindow();
    QSignalSpy previewRead(&preview, &gui::PreviewWindow::readingFinished);
    QVERIFY(preview.isReading() ? previewRead.wait(10000) : true);
    cameras->panel().table().item(1, CameraPanel::Offset)->setText("0");
    QTRY_VERIFY(preview.model().hasPlans() && preview.model().plan(1).cameraRule);
    QCOMPARE(preview.model().plan(1).newCapture, meta::encodeDateTime({2024, 7, 1, 11, 0, 0, 0}));
    QCOMPARE(preview.model().plan(0).newCapture, meta::encodeDateTime({2024, 7, 1, 11, 0, 0, 0}));
    main.startRun();
    QVERIFY(ran.has_value());
    QCOMPARE(ran->offset.hours, 1);
    QCOMPARE(ran->cameraOffsets.size(), std::size_t{1});
    QCOMPARE(ran->cameraOffsets[0].match, QStringLiteral("Google Pixel 7"));
}

QTEST_MAIN(CameraWindowTest)
#include "camera_window_test.moc"
