// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>
#include <vector>

#include "gui/message_boxes.h"
#include "gui/progress_dialog.h"

using namespace morrowtide;
using gui::MainWindow;
using gui::MessageAnswer;
using gui::MessageButtons;
using gui::MessageKind;
using gui::MessageRequest;

namespace {

// Records every box and answers it through a script (first button when none is set).
class FakeBoxes : public gui::MessageBoxes {
  public:
    MessageAnswer show(QWidget*, const MessageRequest& request) override {
        shown.push_back(request);
        if (answer) return answer(request);
        return request.buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
    }
    QStringList texts() const {
        QStringList list;
        for (const auto& request : shown) list << request.text;
        return list;
    }

    std::vector<MessageRequest> shown;
    std::function<MessageAnswer(const MessageRequest&)> answer;
};

// 2007:04:01 11:15:02 written as DateTime, DateTimeOriginal and DateTimeDigitized.
QByteArray exifApp1(const char* date) {
    QByteArray tiff;
    auto u16 = [&](int v) { tiff.append(char(v & 0xff)).append(char((v >> 8) & 0xff)); };
    auto u32 = [&](quint32 v) { u16(int(v & 0xffff)), u16(int(v >> 16)); };
    auto entry = [&](int tag, int type, quint32 count, quint32 value) { u16(tag), u16(type), u32(count), u32(value); };
    tiff.append("II*\0", 4);
    u32(8);
    u16(2);  // IFD0 at 8, 30 bytes
    entry(0x0132, 2, 20, 68);
    entry(0x8769, 4, 1, 38);
    u32(0);
    u16(2);  // EXIF IFD at 38, 30 bytes
    entry(0x9003, 2, 20, 88);
    entry(0x9004, 2, 20, 108);
    u32(0);
    for (int i = 0; i < 3; ++i) tiff.append(date, 19).append('\0');
    QByteArray segment("Exif\0\0", 6);
    segment += tiff;
    const int length = int(segment.size()) + 2;
    return QByteArray("\xFF\xE1", 2) + char(length >> 8) + char(length & 0xff) + segment;
}

QByteArray jpegBytes(const char* exifDate) {
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG");
    QByteArray bytes = buffer.data();
    if (exifDate) bytes.insert(2, exifApp1(exifDate));
    return bytes;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// 2007-04-01 11:15:02 as days since 1899-12-30.
constexpr double kFixedNow = 39173.0 + (11 * 3600 + 15 * 60 + 2) / 86400.0;

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    void firstStartWithoutSettingsFile();
    void saveAndRestartRoundTrip();
    void settingsFileValuesAndOtherContentKept();
    void unwritableSettingsFile();
    void maskKeysFiltered();
    void invalidMaskOkAndCancel();
    void invalidMaskAtStartUp();
    void noAcceptedMaskRefusesToRun();
    void maskThatHidesTheCopiesIsRefusedWithItsReason();
    void folderPickers();
    void folderPickersOpenAtTheFieldsFolder();
    void offsetBoxesTakeTypingAndClampOnLeaving_data();
    void offsetBoxesTakeTypingAndClampOnLeaving();
    void enterInSourceFieldStartsRun();
    void enterAfterRunWaitsForAChange();
    void fileErrorsNameTheFileAndCanBeSilenced();
    void noFilesFoundFillsTheBar();
    void f1OpensTheHelp();
    void enterInMaskFieldUsesAcceptedMask();
    void secondStartBlockedAndCloseWaitsForRun();
    void optionsReadAfreshDuringRun();
    void wholeRunOnTemporaryFolder();
    void stopDuringRunThenShowLog();
    void invalidSourceFolder();
    void overwriteQuestionAnsweredNo();

  private:
    std::unique_ptr<MainWindow> makeWindow(std::function<std::optional<QStringList>(app::BatchHost&)> runner = {});
    template <typename T>
    T* child(const char* name) const {
        T* widget = window_->findChild<T*>(QString::fromLatin1(name));
        if (!widget) qFatal("no widget %s", name);
        return widget;
    }
    QStringList logLines() const {
        const QString text = child<QPlainTextEdit>("Log")->toPlainText();
        return text.isEmpty() ? QStringList() : text.split(u'\n');
    }
    void leaveMaskField() {
        child<QLineEdit>("edtDir")->setFocus(Qt::TabFocusReason);
        QApplication::processEvents();
    }

    std::unique_ptr<QTemporaryDir> temp_;
    FakeBoxes boxes_;
    QString settingsPath_;
    QString documents_;
    std::unique_ptr<MainWindow> window_;
    QStringList pickedTitles_;
    QStringList pickedStarts_;
    QString pickAnswer_;
};

void MainWindowTest::init() {
    temp_ = std::make_unique<QTemporaryDir>();
    QVERIFY(temp_->isValid());
    boxes_ = FakeBoxes();
    settingsPath_ = temp_->filePath("config/morrowtide.ini");
    documents_ = temp_->filePath("Documents");
    QDir().mkpath(documents_);
    pickedTitles_.clear();
    pickedStarts_.clear();
    pickAnswer_.clear();
}

void MainWindowTest::cleanup() {
    window_.reset();
    QVERIFY(!QApplication::overrideCursor());
}

std::unique_ptr<MainWindow> MainWindowTest::makeWindow(
    std::function<std::optional<QStringList>(app::BatchHost&)> runner) {
    gui::MainWindowSetup setup;
    setup.settingsPath = settingsPath_;
    setup.documentsFolder = documents_;
    setup.messageBoxes = &boxes_;
    setup.clock = [] { return kFixedNow; };
    setup.runBatch = std::move(runner);
    setup.pickFolder = [this](QWidget*, const QString& title, bool, const QString& startFolder) {
        pickedTitles_ << title;
        pickedStarts_ << startFolder;
        return pickAnswer_;
    };
    auto window = std::make_unique<MainWindow>(std::move(setup));
    window->show();
    if (!QTest::qWaitForWindowActive(window.get())) qWarning("main window not active");
    return window;
}

void MainWindowTest::firstStartWithoutSettingsFile() {
    window_ = makeWindow();
    QCOMPARE(window_->windowTitle(), QStringLiteral("Morrowtide V1.1"));
    // A fixed size, and no maximise button to go with it.
    QCOMPARE(window_->minimumSize(), window_->maximumSize());
    QVERIFY(window_->windowFlags().testFlag(Qt::CustomizeWindowHint));
    QVERIFY(!window_->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(window_->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(window_->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    auto* tabs = child<QTabWidget>("pageControl");
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->tabText(0), QStringLiteral("Photos"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("Options"));
    QCOMPARE(tabs->currentWidget()->objectName(), QStringLiteral("tsTimeDifference"));

    QCOMPARE(child<QLineEdit>("edtDir")->text(), documents_);
    QCOMPARE(child<QLineEdit>("edtOutputDir")->text(), documents_ + "/Output");
    struct Range {
        const char* name;
        int minimum, maximum;
    };
    for (const Range& r : {Range{"SpinEdit4", INT_MIN, INT_MAX}, Range{"SpinEdit1", -23, 23},
                           Range{"SpinEdit2", -59, 59}, Range{"SpinEdit3", -59, 59}}) {
        auto* box = child<QSpinBox>(r.name);
        QCOMPARE(box->value(), 0);
        QCOMPARE(box->minimum(), r.minimum);
        QCOMPARE(box->maximum(), r.maximum);
    }
    for (const char* name : {"cbRec", "cbAutoRename", "cbIncPrevFName", "cbIncDateTime", "cbOverwriteDateTime"}) {
        QVERIFY2(child<QCheckBox>(name)->isChecked(), name);
    }
    QVERIFY(!child<QCheckBox>("cbPreserveModDate")->isChecked());
    QCOMPARE(child<QCheckBox>("cbPreserveModDate")->text(), QStringLiteral("Preserve original modifcation date"));
    QVERIFY(!child<QCheckBox>("cbAllTypes")->isChecked());
    QCOMPARE(child<QCheckBox>("cbAllTypes")->text(), QStringLiteral("Also correct other photo and video files"));
    QCOMPARE(child<QLineEdit>("edtOutputFileMask")->text(), QStringLiteral("yyyy-mm-dd hh-nn-ss - *FILENAME"));
    QCOMPARE(child<QLabel>("lblDateFormatExample")->text(), QStringLiteral("2007-04-01 11-15-02 - *FILENAME"));
    QCOMPARE(window_->formatMaskText(), QStringLiteral("yyyy-mm-dd hh-nn-ss - *FILENAME"));

    QCOMPARE(child<QPushButton>("BitBtn1")->text(), QStringLiteral("Go"));
    QVERIFY(child<QPushButton>("BitBtn1")->isDefault());
    QCOMPARE(child<QPushButton>("BitBtn2")->text(), QStringLiteral("&Close"));
    QCOMPARE(child<QPushButton>("btnDir")->text(), QStringLiteral(".."));
    QCOMPARE(child<QPushButton>("btnOutput")->text(), QStringLiteral(".."));

    const QList<QAction*> menus = window_->menuBar()->actions();
    QCOMPARE(menus.size(), 2);
    QCOMPARE(menus[0]->text(), QStringLiteral("File"));
    QCOMPARE(menus[1]->text(), QStringLiteral("&Help"));
    QStringList fileItems;
    for (QAction* action : menus[0]->menu()->actions()) fileItems << (action->isSeparator() ? "-" : action->text());
    QCOMPARE(fileItems, (QStringList{"&Save Options", "Show &Log", "-", "E&xit"}));
    QStringList helpItems;
    for (QAction* action : menus[1]->menu()->actions()) helpItems << action->text();
    QCOMPARE(helpItems, (QStringList{"Contents", "&About"}));
    QVERIFY(!child<QAction>("ShowLog1")->isEnabled());
    QVERIFY(child<QAction>("SaveOptions1")->isEnabled());

    QVERIFY(!window_->progressDialog().isVisible());
    QVERIFY(boxes_.shown.empty());
    QVERIFY(!QFile::exists(settingsPath_));
}

void MainWindowTest::saveAndRestartRoundTrip() {
    window_ = makeWindow();
    auto* mask = child<QLineEdit>("edtOutputFileMask");
    mask->setFocus();
    mask->selectAll();
    QTest::keyClicks(mask, "yyyymmdd *FILENAME");
    leaveMaskField();
    QCOMPARE(child<QLabel>("lblDateFormatExample")->text(), QStringLiteral("20070401 *FILENAME"));
    child<QCheckBox>("cbRec")->setChecked(false);
    child<QCheckBox>("cbPreserveModDate")->setChecked(true);
    child<QCheckBox>("cbAllTypes")->setChecked(true);
    child<QLineEdit>("edtDir")->setText(temp_->filePath("elsewhere"));
    child<QSpinBox>("SpinEdit1")->setValue(5);
    child<QAction>("SaveOptions1")->trigger();
    QVERIFY(boxes_.shown.empty());
    QVERIFY(QFile::exists(settingsPath_));

    window_ = makeWindow();
    QCOMPARE(child<QLineEdit>("edtOutputFileMask")->text(), QStringLiteral("yyyymmdd *FILENAME"));
    QCOMPARE(child<QLabel>("lblDateFormatExample")->text(), QStringLiteral("20070401 *FILENAME"));
    QVERIFY(!child<QCheckBox>("cbRec")->isChecked());
    QVERIFY(child<QCheckBox>("cbPreserveModDate")->isChecked());
    QVERIFY(child<QCheckBox>("cbAllTypes")->isChecked());
    QVERIFY(child<QCheckBox>("cbAutoRename")->isChecked());
    // Folders and the offset are not kept.
    QCOMPARE(child<QLineEdit>("edtDir")->text(), documents_);
    QCOMPARE(child<QSpinBox>("SpinEdit1")->value(), 0);
}

void MainWindowTest::settingsFileValuesAndOtherContentKept() {
    writeFile(settingsPath_, "; my notes\n[Options]\nRecurseFolders=0\nAutoRename=abc\nColour=blue\n\n[Other]\na=b\n");
    window_ = makeWindow();
    QVERIFY(!child<QCheckBox>("cbRec")->isChecked());
    QVERIFY(child<QCheckBox>("cbAutoRename")->isChecked());
    child<QCheckBox>("cbOverwriteDateTime")->setChecked(false);
    child<QAction>("SaveOptions1")->trigger();
    QFile file(settingsPath_);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(),
             QByteArray("; my notes\n[Options]\nRecurseFolders=0\nAutoRename=1\nColour=blue\n"
                        "FileMask=yyyy-mm-dd hh-nn-ss - *FILENAME\nIncludePreviousFName=1\nIncludeDateTime=1\n"
                        "OverwriteDateTime=0\nPreserveModDate=0\n\n[Other]\na=b\n"));
}

void MainWindowTest::unwritableSettingsFile() {
    writeFile(temp_->filePath("blocker"), "a file where a folder should be");
    settingsPath_ = temp_->filePath("blocker/morrowtide.ini");
    window_ = makeWindow();
    child<QAction>("SaveOptions1")->trigger();
    QCOMPARE(boxes_.shown.size(), size_t(1));
    QCOMPARE(boxes_.shown[0].text, "Unable to write to " + settingsPath_);
    QCOMPARE(boxes_.shown[0].title, QStringLiteral("Morrowtide"));
    QVERIFY(child<QCheckBox>("cbRec")->isChecked());
}

void MainWindowTest::maskKeysFiltered() {
    window_ = makeWindow();
    auto* mask = child<QLineEdit>("edtOutputFileMask");
    mask->setFocus();
    mask->clear();
    QTest::keyClicks(mask, "yy/yy:mm<dd>?\\ *FILENAME");
    QCOMPARE(mask->text(), QStringLiteral("yyyymmdd *FILENAME"));
    // Pasted text keeps the characters in the field; the mask drops them.
    mask->clear();
    mask->insert(QStringLiteral("yyyy/mm/dd"));
    leaveMaskField();
    QCOMPARE(mask->text(), QStringLiteral("yyyy/mm/dd"));
    QCOMPARE(window_->formatMask(), QStringLiteral("yyyymmdd"));
    QCOMPARE(child<QLabel>("lblDateFormatExample")->text(), QStringLiteral("20070401"));
    QVERIFY(boxes_.shown.empty());
}

void MainWindowTest::invalidMaskOkAndCancel() {
    window_ = makeWindow();
    auto* mask = child<QLineEdit>("edtOutputFileMask");
    mask->setFocus();
    mask->setText(QStringLiteral("yyyy"));
    leaveMaskField();
    QCOMPARE(window_->formatMask(), QStringLiteral("yyyy"));

    // OK: the field gets the focus back for correcting; the mask accepted before stays in force.
    mask->setFocus();
    mask->setText(QStringLiteral("//::"));
    boxes_.answer = [](const MessageRequest&) { return MessageAnswer::Ok; };
    leaveMaskField();
    QCOMPARE(boxes_.shown.size(), size_t(1));
    QCOMPARE(boxes_.shown[0].text, QStringLiteral("Invalid file mask"));
    QCOMPARE(boxes_.shown[0].title, QStringLiteral("Error"));
    QCOMPARE(boxes_.shown[0].kind, MessageKind::Error);
    QCOMPARE(boxes_.shown[0].buttons, MessageButtons::OkCancel);
    QVERIFY(mask->hasFocus());
    QCOMPARE(mask->text(), QStringLiteral("//::"));
    QCOMPARE(window_->formatMask(), QStringLiteral("yyyy"));
    QCOMPARE(child<QLabel>("lblDateFormatExample")->text(), QStringLiteral("2007"));

    // Cancel: the text of the accepted mask comes back.
    boxes_.answer = [](const MessageRequest&) { return MessageAnswer::Cancel; };
    leaveMaskField();
    QCOMPARE(boxes_.shown.size(), size_t(2));
    QCOMPARE(mask->text(), QStringLiteral("yyyy"));
    QCOMPARE(window_->formatMaskText(), QStringLiteral("yyyy"));
}

void MainWindowTest::invalidMaskAtStartUp() {
    writeFile(settingsPath_, "[Options]\nFileMask=<>\n");
    // The box waits for the window to be on the screen, so that it comes up over it.
    bool windowShownFirst = false;
    boxes_.answer = [&](const MessageRequest&) {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<MainWindow*>(widget)) windowShownFirst = widget->isVisible();
        }
        return MessageAnswer::Ok;
    };
    window_ = makeWindow();
    QTRY_COMPARE(boxes_.shown.size(), size_t(1));
    QVERIFY(windowShownFirst);
    const QStringList lines = boxes_.shown[0].text.split(u'\n');
    QCOMPARE(lines.first(), QStringLiteral("Invalid file mask"));
    QVERIFY2(boxes_.shown[0].text.contains("settings file " + settingsPath_), qPrintable(boxes_.shown[0].text));
    QVERIFY(boxes_.shown[0].text.contains("\"<>\""));
    QCOMPARE(boxes_.shown[0].title, QStringLiteral("Error"));
    QCOMPARE(boxes_.shown[0].buttons, MessageButtons::OkCancel);
    // OK: the mask field, on its tab, for correcting.
    QCOMPARE(child<QTabWidget>("pageControl")->currentWidget()->objectName(), QStringLiteral("tsOptions"));
    QVERIFY(child<QLineEdit>("edtOutputFileMask")->hasFocus());

    // Cancel: nothing was accepted before, so the field is left empty and no mask is in force.
    boxes_ = FakeBoxes();
    boxes_.answer = [](const MessageRequest&) { return MessageAnswer::Cancel; };
    window_ = makeWindow();
    QTRY_COMPARE(boxes_.shown.size(), size_t(1));
    QCOMPARE(window_->formatMask(), QString());
    QCOMPARE(child<QLineEdit>("edtOutputFileMask")->text(), QString());
}

void MainWindowTest::noAcceptedMaskRefusesToRun() {
    writeFile(settingsPath_, "[Options]\nFileMask=<>\n");
    boxes_.answer = [](const MessageRequest&) { return MessageAnswer::Cancel; };
    int runs = 0;
    window_ = makeWindow([&](app::BatchHost&) {
        ++runs;
        return std::optional<QStringList>(QStringList());
    });
    QTRY_COMPARE(boxes_.shown.size(), size_t(1));
    child<QTabWidget>("pageControl")->setCurrentIndex(0);
    // Neither Go nor Enter starts a run in which every photo would fail; the box says why.
    child<QPushButton>("BitBtn1")->click();
    QTest::keyClick(child<QLineEdit>("edtDir"), Qt::Key_Return);
    QCOMPARE(runs, 0);
    QCOMPARE(boxes_.shown.size(), size_t(3));
    QCOMPARE(boxes_.shown[1].kind, MessageKind::Error);
    QVERIFY(boxes_.shown[1].text.contains(QStringLiteral("no valid file mask")));
    QVERIFY(boxes_.shown[1].text.contains(QStringLiteral("Options tab")));
    QCOMPARE(child<QTabWidget>("pageControl")->currentWidget()->objectName(), QStringLiteral("tsOptions"));
    QVERIFY(child<QLineEdit>("edtOutputFileMask")->hasFocus());
    // A mask that works, and Go runs.
    child<QLineEdit>("edtOutputFileMask")->setText(QStringLiteral("yyyy"));
    leaveMaskField();
    child<QPushButton>("BitBtn1")->click();
    QCOMPARE(runs, 1);
}

void MainWindowTest::maskThatHidesTheCopiesIsRefusedWithItsReason() {
    int runs = 0;
    window_ = makeWindow([&](app::BatchHost&) {
        ++runs;
        return std::optional<QStringList>(QStringList());
    });
    auto* mask = child<QLineEdit>("edtOutputFileMask");
    mask->setFocus();
    mask->setText(QStringLiteral("*FILENAME"));
    leaveMaskField();

    // Refused like a mask that cannot be formatted, with the reason; Cancel brings back the one in force.
    mask->setFocus();
    mask->setText(QStringLiteral("'.'yyyy"));
    boxes_.answer = [](const MessageRequest&) { return MessageAnswer::Cancel; };
    leaveMaskField();
    QCOMPARE(boxes_.shown.size(), size_t(1));
    QCOMPARE(boxes_.shown[0].text, QStringLiteral("Invalid file mask\n\n") + app::kHiddenNameMaskReason);
    QCOMPARE(boxes_.shown[0].buttons, MessageButtons::OkCancel);
    QCOMPARE(mask->text(), QStringLiteral("*FILENAME"));
    QCOMPARE(window_->formatMaskText(), QStringLiteral("*FILENAME"));

    // Without the date in the name the mask is not used, and taken.
    child<QCheckBox>("cbIncDateTime")->setChecked(false);
    mask->setFocus();
    mask->setText(QStringLiteral("."));
    leaveMaskField();
    QCOMPARE(boxes_.shown.size(), size_t(1));
    QCOMPARE(window_->formatMaskText(), QStringLiteral("."));

    // Ticked again, or the old name left out of "*FILENAME": Go says why no run starts.
    child<QCheckBox>("cbIncDateTime")->setChecked(true);
    child<QTabWidget>("pageControl")->setCurrentIndex(0);
    child<QPushButton>("BitBtn1")->click();
    mask->setText(QStringLiteral("*FILENAME"));
    leaveMaskField();
    child<QCheckBox>("cbIncPrevFName")->setChecked(false);
    child<QTabWidget>("pageControl")->setCurrentIndex(0);
    child<QPushButton>("BitBtn1")->click();
    QCOMPARE(runs, 0);
    QCOMPARE(boxes_.shown.size(), size_t(3));
    for (const auto& [shown, reason] : {std::pair{boxes_.shown[1], app::kHiddenNameMaskReason},
                                        std::pair{boxes_.shown[2], app::kEmptyNameMaskReason}}) {
        QCOMPARE(shown.kind, MessageKind::Error);
        QVERIFY2(shown.text.startsWith(QStringLiteral("No run was started")), qPrintable(shown.text));
        QVERIFY2(shown.text.contains(reason), qPrintable(shown.text));
    }
    QCOMPARE(child<QTabWidget>("pageControl")->currentWidget()->objectName(), QStringLiteral("tsOptions"));
    QVERIFY(mask->hasFocus());
}

void MainWindowTest::folderPickers() {
    window_ = makeWindow();
    auto* source = child<QLineEdit>("edtDir");
    auto* destination = child<QLineEdit>("edtOutputDir");
    pickAnswer_ = QStringLiteral("/media/card/DCIM");
    child<QPushButton>("btnDir")->click();
    QCOMPARE(source->text(), QStringLiteral("/media/card/DCIM"));
    QCOMPARE(destination->text(), QStringLiteral("/media/card/DCIM/output"));
    pickAnswer_ = QStringLiteral("/srv/photos");
    child<QPushButton>("btnOutput")->click();
    QCOMPARE(source->text(), QStringLiteral("/media/card/DCIM"));
    QCOMPARE(destination->text(), QStringLiteral("/srv/photos"));
    pickAnswer_.clear();  // cancelled
    child<QPushButton>("btnDir")->click();
    child<QPushButton>("btnOutput")->click();
    QCOMPARE(source->text(), QStringLiteral("/media/card/DCIM"));
    QCOMPARE(destination->text(), QStringLiteral("/srv/photos"));
    QCOMPARE(pickedTitles_, (QStringList{"Location of your images", "Location of modified images",
                                         "Location of your images", "Location of modified images"}));
    pickAnswer_ = QStringLiteral("/");
    child<QPushButton>("btnDir")->click();
    QCOMPARE(destination->text(), QStringLiteral("/output"));
}

void MainWindowTest::folderPickersOpenAtTheFieldsFolder() {
    const QString trip = temp_->filePath("Photos/Trip");
    QDir().mkpath(trip);
    window_ = makeWindow();
    struct Case {
        QString field;
        QString opensAt;
    };
    const Case cases[] = {
        {trip, trip},                                        // the folder itself
        {trip + "/", trip},                                  // with a trailing delimiter
        {trip + "/not yet/made", trip},                      // the nearest parent that exists
        {temp_->filePath("Photos/missing"), temp_->filePath("Photos")},
        {QString(), QDir::homePath()},                       // nothing typed
    };
    for (const Case& c : cases) {
        child<QLineEdit>("edtDir")->setText(c.field);
        child<QLineEdit>("edtOutputDir")->setText(c.field);
        pickedStarts_.clear();
        child<QPushButton>("btnDir")->click();
        child<QPushButton>("btnOutput")->click();
        QCOMPARE(pickedStarts_, (QStringList{c.opensAt, c.opensAt}));
    }
}

void MainWindowTest::offsetBoxesTakeTypingAndClampOnLeaving_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("value");
    // The hours box starts at 5 for every row.
    QTest::newRow("in range") << "SpinEdit1" << "-7" << -7;
    QTest::newRow("above the top") << "SpinEdit1" << "99" << 23;
    QTest::newRow("below the bottom") << "SpinEdit1" << "-99" << -23;
    QTest::newRow("minutes above") << "SpinEdit2" << "75" << 59;
    QTest::newRow("seconds below") << "SpinEdit3" << "-600" << -59;
    QTest::newRow("decimal keeps the value") << "SpinEdit1" << "1.5" << 5;
    QTest::newRow("nothing keeps the value") << "SpinEdit1" << "" << 5;
    QTest::newRow("lone sign keeps the value") << "SpinEdit1" << "-" << 5;
    QTest::newRow("days beyond any int") << "SpinEdit4" << "99999999999" << INT_MAX;
    QTest::newRow("days far below") << "SpinEdit4" << "-99999999999" << INT_MIN;
}

void MainWindowTest::offsetBoxesTakeTypingAndClampOnLeaving() {
    QFETCH(QString, box);
    QFETCH(QString, typed);
    QFETCH(int, value);
    window_ = makeWindow();
    auto* spin = child<QSpinBox>(box.toLatin1().constData());
    spin->setValue(5);
    spin->setFocus(Qt::TabFocusReason);
    spin->selectAll();
    QTest::keyClick(spin, Qt::Key_Delete);
    QTest::keyClicks(spin, typed);
    // Every keystroke is taken as typed.
    QCOMPARE(spin->text(), typed);
    child<QLineEdit>("edtDir")->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    QCOMPARE(spin->value(), value);
    QCOMPARE(spin->text(), QString::number(value));
}

void MainWindowTest::enterInSourceFieldStartsRun() {
    int runs = 0;
    app::RunOptions seen;
    window_ = makeWindow([&](app::BatchHost& host) {
        ++runs;
        seen = host.currentOptions();
        return std::optional<QStringList>(QStringList());
    });
    auto* source = child<QLineEdit>("edtDir");
    source->setFocus();
    source->setText(QStringLiteral("/photos"));
    child<QSpinBox>("SpinEdit4")->setValue(-3);
    QTest::keyClick(source, Qt::Key_Return);
    QCOMPARE(runs, 1);
    QCOMPARE(seen.sourceFolder, QStringLiteral("/photos"));
    QCOMPARE(seen.offset.days, -3);
    child<QSpinBox>("SpinEdit2")->setValue(10);
    QTest::keyClick(child<QSpinBox>("SpinEdit2"), Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(runs, 2);
    child<QCheckBox>("cbRec")->setChecked(false);
    QTest::keyClick(child<QCheckBox>("cbRec"), Qt::Key_Return);
    QCOMPARE(runs, 3);
}

void MainWindowTest::enterAfterRunWaitsForAChange() {
    int runs = 0;
    window_ = makeWindow([&](app::BatchHost&) {
        ++runs;
        return std::optional<QStringList>(QStringList());
    });
    auto* go = child<QPushButton>("BitBtn1");
    auto* source = child<QLineEdit>("edtDir");
    QVERIFY(window_->enterStartsRun());
    QTest::mouseClick(go, Qt::LeftButton);
    QCOMPARE(runs, 1);
    // Stray Enters after the run, wherever the focus is (a click leaves it on Go), start nothing.
    go->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(go, Qt::Key_Return);
    QTest::keyClick(source, Qt::Key_Return);
    QTest::keyClick(child<QSpinBox>("SpinEdit1"), Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(runs, 1);
    QVERIFY(!window_->enterStartsRun());
    // Go itself always works, by mouse or by the space bar.
    QTest::mouseClick(go, Qt::LeftButton);
    QTest::keyClick(go, Qt::Key_Space);
    QCOMPARE(runs, 3);
    // A change of any kind lets Enter start the next run, once.
    const std::vector<std::function<void()>> changes = {
        [&] { source->setText(QStringLiteral("/elsewhere")); },
        [&] { child<QLineEdit>("edtOutputDir")->setText(QStringLiteral("/out2")); },
        [&] { child<QSpinBox>("SpinEdit4")->setValue(2); },
        [&] { child<QCheckBox>("cbPreserveModDate")->setChecked(true); },
        [&] { child<QLineEdit>("edtOutputFileMask")->setText(QStringLiteral("yyyy")); },
    };
    for (const auto& change : changes) {
        const int before = runs;
        change();
        QTest::keyClick(source, Qt::Key_Return);
        QTest::keyClick(source, Qt::Key_Return);
        QCOMPARE(runs, before + 1);
    }
}

void MainWindowTest::fileErrorsNameTheFileAndCanBeSilenced() {
    const QString source = temp_->filePath("in");
    const QString output = temp_->filePath("out");
    writeFile(source + "/a.jpg", jpegBytes("2007:04:01 11:15:02"));
    for (const char* name : {"/b.jpg", "/c.jpg", "/d.jpg"}) writeFile(source + name, "this is no JPEG");
    window_ = makeWindow();
    child<QLineEdit>("edtDir")->setText(source);
    child<QLineEdit>("edtOutputDir")->setText(output);
    child<QCheckBox>("cbIncDateTime")->setChecked(false);
    // The first error box is answered with "Don't show again in this run" ticked.
    boxes_.answer = [](const MessageRequest& request) {
        if (request.checked) *request.checked = true;
        return MessageAnswer::Ok;
    };
    child<QPushButton>("BitBtn1")->click();
    QCOMPARE(boxes_.shown.size(), size_t(2));
    const MessageRequest& error = boxes_.shown[0];
    QCOMPARE(error.kind, MessageKind::Plain);
    QCOMPARE(error.title, QStringLiteral("Morrowtide"));
    QCOMPARE(error.checkBoxText, QStringLiteral("Don't show again in this run"));
    QVERIFY2(error.text.startsWith(QStringLiteral("Not a JPEG picture that can be read: Not a JPEG file")),
             qPrintable(error.text));
    QVERIFY2(error.text.contains(QStringLiteral("(JPEG error #")), qPrintable(error.text));
    // It names the file, which is one of the broken ones.
    const QString named = error.text.section(u'\n', -1);
    QVERIFY2(QStringList({source + "/b.jpg", source + "/c.jpg", source + "/d.jpg"}).contains(named),
             qPrintable(error.text));
    // The summary is as ever; every failure is in the log, marked.
    QCOMPARE(boxes_.shown[1].text, QStringLiteral("Completed Successfully (1/4 Files)"));
    QStringList lines = logLines();
    lines.sort();
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0], output + "/a.jpg");
    for (const char* name : {"b", "c", "d"}) {
        const QString& line = lines[int(name[0] - 'a')];
        QVERIFY2(line.startsWith(output + "/" + name + ".jpg \u2014 not written: Not a JPEG picture"), qPrintable(line));
    }

    // The next run asks again.
    boxes_.shown.clear();
    boxes_.answer = {};
    child<QPushButton>("BitBtn1")->click();
    QCOMPARE(boxes_.shown.size(), size_t(4));
    QCOMPARE(boxes_.shown[3].text, QStringLiteral("Completed Successfully (1/4 Files)"));
}

void MainWindowTest::noFilesFoundFillsTheBar() {
    window_ = makeWindow();
    child<QLineEdit>("edtDir")->setText(documents_);
    child<QLineEdit>("edtOutputDir")->setText(temp_->filePath("out"));
    child<QPushButton>("BitBtn1")->click();
    QCOMPARE(boxes_.texts(), QStringList{"Completed Successfully (0 Files)"});
    auto* bar = child<QProgressBar>("ProgressBar1");
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
}

void MainWindowTest::f1OpensTheHelp() {
    window_ = makeWindow();
    auto helpWindows = [] {
        int count = 0;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->inherits("morrowtide::gui::HelpWindow") && widget->isVisible()) ++count;
        }
        return count;
    };
    QCOMPARE(helpWindows(), 0);
    QTest::keyClick(child<QLineEdit>("edtDir"), Qt::Key_F1);
    QTRY_COMPARE(helpWindows(), 1);
}

void MainWindowTest::enterInMaskFieldUsesAcceptedMask() {
    QString maskUsed;
    window_ = makeWindow([&](app::BatchHost& host) {
        maskUsed = host.currentOptions().fileMask;
        return std::optional<QStringList>(QStringList());
    });
    child<QTabWidget>("pageControl")->setCurrentIndex(1);
    auto* mask = child<QLineEdit>("edtOutputFileMask");
    mask->setFocus();
    mask->setText(QStringLiteral("yyyy"));
    QTest::keyClick(mask, Qt::Key_Return);
    QCOMPARE(maskUsed, QStringLiteral("yyyy-mm-dd hh-nn-ss - *FILENAME"));
    QVERIFY(mask->hasFocus());
    // A click on Go takes the focus first, so the typed mask is accepted before the run reads it.
    QTest::mouseClick(child<QPushButton>("BitBtn1"), Qt::LeftButton);
    QCOMPARE(maskUsed, QStringLiteral("yyyy"));
}

void MainWindowTest::secondStartBlockedAndCloseWaitsForRun() {
    int runs = 0;
    bool goEnabledDuringRun = true;
    bool stopSeen = false;
    window_ = makeWindow([&](app::BatchHost& host) {
        ++runs;
        goEnabledDuringRun = child<QPushButton>("BitBtn1")->isEnabled();
        window_->startRun();  // a second start while this one runs
        QTest::keyClick(child<QLineEdit>("edtDir"), Qt::Key_Return);
        host.runReset();
        host.listingStarted();
        host.listBuilt(2);
        // Closing the window during the run asks the run to stop and waits for it.
        window_->close();
        host.breathe();
        stopSeen = host.stopRequested() && window_->isVisible();
        host.runFinished({app::SummaryKind::Warning, "Cancelled: 0/2 Files Processed.", 0, 2, true});
        return std::optional<QStringList>(QStringList{"/a.jpg", "/b.jpg"});
    });
    window_->startRun();
    QCOMPARE(runs, 1);
    QVERIFY(!goEnabledDuringRun);
    QVERIFY(stopSeen);
    QVERIFY(!window_->isVisible());
    QCOMPARE(window_->fileList(), (QStringList{"/a.jpg", "/b.jpg"}));
    QCOMPARE(boxes_.texts(), QStringList{"Cancelled: 0/2 Files Processed."});
    QCOMPARE(boxes_.shown[0].title, QStringLiteral("Warning"));
}

void MainWindowTest::optionsReadAfreshDuringRun() {
    std::vector<app::RunOptions> seen;
    bool busyPointer = false;
    window_ = makeWindow([&](app::BatchHost& host) {
        host.runReset();
        busyPointer = QApplication::overrideCursor() != nullptr;
        host.listingStarted();
        host.listBuilt(1);
        seen.push_back(host.currentOptions());
        // The user changes things while the run pumps events.
        child<QLineEdit>("edtOutputDir")->setText(QStringLiteral("/elsewhere"));
        child<QSpinBox>("SpinEdit3")->setValue(30);
        child<QCheckBox>("cbAutoRename")->setChecked(false);
        host.breathe();
        seen.push_back(host.currentOptions());
        host.fileError(QStringLiteral("Cannot create file"));
        host.fileDone(QStringLiteral("/elsewhere/x.jpg"));
        host.runFinished({app::SummaryKind::Information, "Completed Successfully (0/1 Files)", 0, 1, false});
        return std::optional<QStringList>(QStringList());
    });
    child<QPushButton>("BitBtn1")->click();
    QVERIFY(busyPointer);
    QCOMPARE(seen.size(), size_t(2));
    QCOMPARE(seen[1].destinationFolder, QStringLiteral("/elsewhere"));
    QCOMPARE(seen[1].offset.seconds, 30);
    QVERIFY(seen[0].autoRename);
    QVERIFY(!seen[1].autoRename);
    QCOMPARE(boxes_.shown.size(), size_t(2));
    QCOMPARE(boxes_.shown[0].kind, MessageKind::Plain);
    QCOMPARE(boxes_.shown[0].title, QStringLiteral("Morrowtide"));
    QCOMPARE(boxes_.shown[0].text, QStringLiteral("Cannot create file"));
    QCOMPARE(boxes_.shown[1].title, QStringLiteral("Information"));
    QVERIFY(child<QAction>("ShowLog1")->isEnabled());
    QVERIFY(!window_->progressDialog().isVisible());
}

void MainWindowTest::wholeRunOnTemporaryFolder() {
    const QString source = temp_->filePath("in");
    const QString output = temp_->filePath("out");
    writeFile(source + "/IMG_0001.JPG", jpegBytes("2007:04:01 11:15:02"));
    writeFile(source + "/Trip/IMG_0002.jpg", jpegBytes("2007:04:02 08:00:00"));
    writeFile(source + "/DSC_0003.JPG", jpegBytes(nullptr));
    writeFile(source + "/notes.txt", "not a photo");
    window_ = makeWindow();
    child<QLineEdit>("edtDir")->setText(source);
    child<QLineEdit>("edtOutputDir")->setText(output);
    child<QSpinBox>("SpinEdit1")->setValue(1);
    child<QPushButton>("BitBtn1")->click();

    QCOMPARE(boxes_.texts(), QStringList{"Completed Successfully (3 Files)"});
    QCOMPARE(boxes_.shown[0].title, QStringLiteral("Information"));
    const QStringList expected = {output + "/2007-04-01 12-15-02 - IMG_0001.jpg", output + "/DSC_0003.jpg",
                                  output + "/Trip/2007-04-02 09-00-00 - IMG_0002.jpg"};
    QStringList lines = logLines();
    lines.sort();
    // The photo without EXIF data is copied and the log says why its dates were not changed.
    QCOMPARE(lines, QStringList{source + "/DSC_0003.JPG: dates not changed: no EXIF block"} + expected);
    for (const QString& path : expected) QVERIFY2(QFile::exists(path), qPrintable(path));
    QCOMPARE(window_->fileList().size(), 3);
    auto& dialog = window_->progressDialog();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Files Processed"));
    QCOMPARE(child<QPushButton>("btnStop")->text(), QStringLiteral("Finished"));
    QCOMPARE(child<QProgressBar>("ProgressBar1")->value(), 3);
    QVERIFY(child<QAction>("ShowLog1")->isEnabled());
    QVERIFY(child<QPushButton>("BitBtn1")->isEnabled());
    QVERIFY(!QApplication::overrideCursor());
}

void MainWindowTest::stopDuringRunThenShowLog() {
    const QString source = temp_->filePath("in");
    writeFile(source + "/a.jpg", jpegBytes("2007:04:01 11:15:02"));
    writeFile(source + "/b.jpg", "this is no JPEG");
    writeFile(source + "/c.jpg", jpegBytes("2007:04:01 11:15:03"));
    writeFile(source + "/d.jpg", jpegBytes("2007:04:01 11:15:04"));
    window_ = makeWindow();
    child<QLineEdit>("edtDir")->setText(source);
    child<QLineEdit>("edtOutputDir")->setText(temp_->filePath("out"));
    // One photo at a time, so that nothing is under way after the broken one when Stop is clicked (several at once
    // finish the photos already under way, and the summary counts them).
    child<QSpinBox>("seJobs")->setValue(1);
    bool hiddenAtOnce = false;
    // The error box of the broken file is where the user clicks Stop.
    boxes_.answer = [&](const MessageRequest& request) {
        if (request.kind == MessageKind::Plain) {
            QTest::mouseClick(child<QPushButton>("btnStop"), Qt::LeftButton);
            hiddenAtOnce = !window_->progressDialog().isVisible();
        }
        return MessageAnswer::Ok;
    };
    child<QPushButton>("BitBtn1")->click();
    QVERIFY(hiddenAtOnce);
    QCOMPARE(boxes_.shown.size(), size_t(2));
    QCOMPARE(boxes_.shown[1].text, QStringLiteral("Cancelled: 1/4 Files Processed."));
    QCOMPARE(boxes_.shown[1].title, QStringLiteral("Warning"));
    QCOMPARE(logLines().size(), 2);  // a and the failed b; nothing after the stop
    QVERIFY(!QFile::exists(temp_->filePath("out/2007-04-01 11-15-03 - c.jpg")));

    // "Show &Log" afterwards: the same lines, modal, "Files Processed" and "Close".
    QString caption;
    QString button;
    bool modal = false;
    QTimer::singleShot(0, window_.get(), [&] {
        auto& dialog = window_->progressDialog();
        caption = dialog.windowTitle();
        button = child<QPushButton>("btnStop")->text();
        modal = dialog.isModal() && dialog.isVisible();
        QTest::mouseClick(child<QPushButton>("btnStop"), Qt::LeftButton);
    });
    child<QAction>("ShowLog1")->trigger();
    QVERIFY(modal);
    QCOMPARE(caption, QStringLiteral("Files Processed"));
    QCOMPARE(button, QStringLiteral("Close"));
    QCOMPARE(logLines().size(), 2);
    QVERIFY(!window_->progressDialog().isVisible());
}

void MainWindowTest::invalidSourceFolder() {
    window_ = makeWindow();
    const QString missing = temp_->filePath("no such folder");
    child<QLineEdit>("edtDir")->setText(missing);
    child<QPushButton>("BitBtn1")->click();
    QCOMPARE(boxes_.shown.size(), size_t(1));
    QVERIFY(boxes_.shown[0].text.startsWith(QStringLiteral("Error: Invalid Directory")));
    QVERIFY(boxes_.shown[0].text.contains(missing));
    QVERIFY(!window_->progressDialog().isVisible());
    QVERIFY(!child<QAction>("ShowLog1")->isEnabled());
    QVERIFY(child<QPushButton>("BitBtn1")->isEnabled());
    QCOMPARE(window_->progressDialog().windowTitle(), QStringLiteral("Building list of images"));
}

void MainWindowTest::overwriteQuestionAnsweredNo() {
    const QString source = temp_->filePath("in");
    writeFile(source + "/a.jpg", jpegBytes("2007:04:01 11:15:02"));
    window_ = makeWindow();
    child<QLineEdit>("edtDir")->setText(source);
    child<QLineEdit>("edtOutputDir")->setText(source + "/");
    child<QCheckBox>("cbIncDateTime")->setChecked(false);
    child<QCheckBox>("cbAutoRename")->setChecked(false);
    boxes_.answer = [](const MessageRequest&) { return MessageAnswer::No; };
    child<QPushButton>("BitBtn1")->click();
    QCOMPARE(boxes_.shown.size(), size_t(1));
    QCOMPARE(boxes_.shown[0].text, QStringLiteral("Are you sure you overwrite original images"));
    QCOMPARE(boxes_.shown[0].title, QStringLiteral("Warning"));
    QCOMPARE(boxes_.shown[0].buttons, MessageButtons::YesNo);
    QVERIFY(!window_->progressDialog().isVisible());
    QVERIFY(!child<QAction>("ShowLog1")->isEnabled());
    QVERIFY(child<QPushButton>("BitBtn1")->isEnabled());
    QVERIFY(window_->fileList().isEmpty());

    // Yes: the photo is replaced by its corrected version under the same name.
    boxes_.answer = {};
    boxes_.shown.clear();
    child<QPushButton>("BitBtn1")->click();
    QCOMPARE(boxes_.texts(),
             (QStringList{"Are you sure you overwrite original images", "Completed Successfully (1 Files)"}));
    QCOMPARE(logLines(), QStringList{source + "/a.jpg"});
    QCOMPARE(window_->fileList(), QStringList{source + "/a.jpg"});

    // No after that run leaves its file list as it was.
    boxes_.answer = [](const MessageRequest&) { return MessageAnswer::No; };
    child<QPushButton>("BitBtn1")->click();
    QCOMPARE(window_->fileList(), QStringList{source + "/a.jpg"});
    QCOMPARE(logLines(), QStringList{source + "/a.jpg"});
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
