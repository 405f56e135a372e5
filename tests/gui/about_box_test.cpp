// SPDX-License-Identifier: GPL-3.0-or-later
// The About box: its texts, the place and look of every control, the links, the cursors, and the modal show.
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include "gui/about_box.h"
#include "meta/version.h"

using namespace morrowtide::gui;

// Stands in for the desktop's mail program and browser.
class UrlCatcher : public QObject {
    Q_OBJECT
  public:
    QList<QUrl> urls;
  public slots:
    void open(const QUrl& url) { urls.append(url); }
};

class AboutBoxTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void cleanupTestCase();
    void init() { catcher_.urls.clear(); }

    void componentStartsEmptyAndFillsTheForm();
    void controlsStandWhereTheyBelong_data();
    void controlsStandWhereTheyBelong();
    void labelsHaveTheirFontsAndLook();
    void emailClickOpensMailtoWithTheTrimmedAddress();
    void blankAddressesOpenNothing();
    void donationClickOpensTheDonationPage();
    void handCursorOnlyOverTheLinks();
    void showReturnsTrueOnlyForOk();
    void aboutCommandShowsTheProgramsTexts();

  private:
    UrlCatcher catcher_;
};

namespace {

std::unique_ptr<AboutBox> filledForm() {
    AboutBoxDlg dialog;
    dialog.setProductName("Morrowtide");
    dialog.setVersion("1.1");
    dialog.setCopyright(QString::fromUtf8(kCopyrightLine));
    dialog.setComments(kAboutComments);
    return dialog.createForm();
}

template <typename T = QWidget>
T* control(QWidget* form, const char* name) {
    return form->findChild<T*>(QString::fromLatin1(name));
}

void click(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

// Closes the modal box that is open once the event loop runs, through its OK button or its close box.
void closeModalLater(bool withOk) {
    QTimer::singleShot(0, [withOk] {
        auto* box = qobject_cast<AboutBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        if (withOk) {
            box->okButton()->click();
        } else {
            box->close();
        }
    });
}

}  // namespace

void AboutBoxTest::initTestCase() {
    QDesktopServices::setUrlHandler("mailto", &catcher_, "open");
    QDesktopServices::setUrlHandler("https", &catcher_, "open");
}

void AboutBoxTest::cleanupTestCase() {
    QDesktopServices::unsetUrlHandler("mailto");
    QDesktopServices::unsetUrlHandler("https");
}

void AboutBoxTest::componentStartsEmptyAndFillsTheForm() {
    AboutBoxDlg empty;
    QVERIFY(empty.productName().isEmpty() && empty.version().isEmpty());
    QVERIFY(empty.copyright().isEmpty() && empty.comments().isEmpty());

    auto form = filledForm();
    QCOMPARE(form->windowTitle(), QString("About Morrowtide"));
    QCOMPARE(form->productName()->text(), QString("Morrowtide"));
    QCOMPARE(form->version()->text(), QString("1.1"));
    QCOMPARE(form->copyright()->text(), QString::fromUtf8(kCopyrightLine));
    QCOMPARE(form->comments()->text(), QString("If you found this program useful please make a donation."));
    QCOMPARE(control<QLabel>(form.get(), "Label2")->text(), QString("Product Name:"));
    QCOMPARE(control<QLabel>(form.get(), "Label3")->text(), QString("Version:"));
    QCOMPARE(control<QLabel>(form.get(), "Label6")->text(), QString("E-Mail:"));
    QCOMPARE(form->emailLabel()->text(), QString("support@morrowtide.org"));
    QCOMPARE(form->emailLabel()->toolTip(), QString("Click Here"));
    QCOMPARE(form->okButton()->text(), QString("OK"));
    QVERIFY(!form->okButton()->icon().isNull());
    QVERIFY(form->okButton()->isDefault());
    QVERIFY(!form->programIcon()->pixmap().isNull());
    QVERIFY(form->programIcon()->hasScaledContents());
    QVERIFY(!form->donationImage()->pixmap().isNull());
    QVERIFY(form->comments()->wordWrap());

    // The caption follows the product name, whatever it is.
    AboutBoxDlg other;
    other.setProductName("Tide");
    QCOMPARE(other.createForm()->windowTitle(), QString("About Tide"));
}

void AboutBoxTest::controlsStandWhereTheyBelong_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");  // an empty size: the label sizes itself to its text
    QTest::newRow("Panel1") << "Panel1" << QRect(8, 8, 329, 141);
    QTest::newRow("ProgramIcon") << "ProgramIcon" << QRect(8, 8, 32, 32);
    QTest::newRow("Label2") << "Label2" << QRect(48, 8, 0, 0);
    QTest::newRow("ProductName") << "ProductName" << QRect(152, 9, 127, 13);
    QTest::newRow("Label3") << "Label3" << QRect(48, 30, 0, 0);
    QTest::newRow("Version") << "Version" << QRect(152, 30, 121, 13);
    QTest::newRow("Label6") << "Label6" << QRect(48, 52, 0, 0);
    QTest::newRow("Label7") << "Label7" << QRect(152, 50, 158, 16);
    QTest::newRow("Copyright") << "Copyright" << QRect(48, 74, 257, 21);
    QTest::newRow("Comments") << "Comments" << QRect(104, 96, 201, 33);
    QTest::newRow("Image1") << "Image1" << QRect(24, 96, 65, 33);
    QTest::newRow("BitBtn1") << "BitBtn1" << QRect(8, 156, 329, 29);
}

void AboutBoxTest::controlsStandWhereTheyBelong() {
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    auto form = filledForm();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QCOMPARE(form->size(), QSize(343, 191));
    QCOMPARE(form->minimumSize(), form->maximumSize());  // not resizable

    auto* widget = control(form.get(), name.toLatin1().constData());
    QVERIFY(widget);
    QVERIFY(widget->isVisible());
    // Everything but the OK button lies on the panel; positions are relative to the parent.
    QCOMPARE(widget->parentWidget()->objectName(), name == "Panel1" || name == "BitBtn1" ? "AboutBox" : "Panel1");
    if (geometry.isEmpty()) {
        QCOMPARE(widget->pos(), geometry.topLeft());
        QVERIFY(widget->width() > 0 && widget->height() > 0);
    } else {
        QCOMPARE(widget->geometry(), geometry);
    }
    if (name != "Panel1" && name != "BitBtn1") {
        QVERIFY2(QRect(QPoint(), widget->parentWidget()->size()).contains(widget->geometry()),
                 "the control reaches beyond the panel");
    }

    if (name == "BitBtn1" && !qEnvironmentVariableIsEmpty("MORROWTIDE_SCREENSHOT_DIR")) {
        QTest::qWait(200);
        QVERIFY(form->grab().save(QDir(qEnvironmentVariable("MORROWTIDE_SCREENSHOT_DIR")).filePath("about-box.png")));
    }
}

void AboutBoxTest::labelsHaveTheirFontsAndLook() {
    auto form = filledForm();
    for (const char* name : {"Label2", "Label3", "Label6"}) {
        const QFont font = control(form.get(), name)->font();
        QVERIFY2(font.bold(), name);
        QCOMPARE(font.pixelSize(), 12);
    }
    const QFont link = form->emailLabel()->font();
    QVERIFY(link.underline());
    QVERIFY(!link.bold());
    QCOMPARE(link.pixelSize(), 13);
    QCOMPARE(form->emailLabel()->palette().color(QPalette::WindowText), QColor(Qt::blue));
    // The texts and fonts fit the fixed label sizes.
    for (QLabel* label :
         std::initializer_list<QLabel*>{form->productName(), form->version(), form->copyright(), form->emailLabel()}) {
        const QFontMetrics metrics(label->font());
        QVERIFY2(metrics.horizontalAdvance(label->text()) <= label->width(), qPrintable(label->objectName()));
        QVERIFY2(metrics.height() <= label->height(), qPrintable(label->objectName()));
    }
    const QRect comments =
        QFontMetrics(form->comments()->font())
            .boundingRect(QRect(0, 0, form->comments()->width(), 1000), Qt::TextWordWrap, form->comments()->text());
    QVERIFY(comments.height() <= form->comments()->height());
}

void AboutBoxTest::emailClickOpensMailtoWithTheTrimmedAddress() {
    auto form = filledForm();
    form->show();
    click(form->emailLabel());
    QCOMPARE(catcher_.urls.size(), 1);
    QCOMPARE(catcher_.urls[0].toString(), QString("mailto:support@morrowtide.org"));

    form->emailLabel()->setText("  \tphotos@example.org  ");
    click(form->emailLabel());
    QCOMPARE(catcher_.urls.size(), 2);
    QCOMPARE(catcher_.urls[1].toString(), QString("mailto:photos@example.org"));

    // A press that ends outside the label is no click.
    QTest::mousePress(form->emailLabel(), Qt::LeftButton, {}, QPoint(2, 2));
    QTest::mouseRelease(form->emailLabel(), Qt::LeftButton, {}, QPoint(-20, -20));
    QCOMPARE(catcher_.urls.size(), 2);
}

void AboutBoxTest::blankAddressesOpenNothing() {
    auto form = filledForm();
    form->show();
    form->emailLabel()->setText("   ");
    click(form->emailLabel());
    form->emailLabel()->setText("");
    click(form->emailLabel());
    form->setDonationUrl("  ");
    click(form->donationImage());
    QVERIFY(catcher_.urls.isEmpty());
}

void AboutBoxTest::donationClickOpensTheDonationPage() {
    auto form = filledForm();
    form->show();
    click(form->donationImage());
    QCOMPARE(catcher_.urls.size(), 1);
    QCOMPARE(catcher_.urls[0].toString(), QString("https://morrowtide.org/donate"));
    // Clicks elsewhere on the panel open nothing.
    click(control(form.get(), "Panel1"));
    click(form->copyright());
    QCOMPARE(catcher_.urls.size(), 1);
}

void AboutBoxTest::handCursorOnlyOverTheLinks() {
    auto form = filledForm();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QCOMPARE(form->emailLabel()->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(form->donationImage()->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(control(form.get(), "Panel1")->cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(form->copyright()->cursor().shape(), Qt::ArrowCursor);
    // The hand belongs to the links alone: moving over them and off the box leaves no program-wide cursor.
    QTest::mouseMove(form->emailLabel());
    QTest::mouseMove(form->donationImage());
    QTest::mouseMove(form.get(), QPoint(-50, -50));
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

void AboutBoxTest::showReturnsTrueOnlyForOk() {
    QWidget owner;
    AboutBoxDlg dialog(&owner);
    dialog.setProductName("Morrowtide");
    closeModalLater(true);
    QVERIFY(dialog.execute());
    closeModalLater(false);
    QVERIFY(!dialog.execute());
    // The form is gone after each show.
    QVERIFY(owner.findChildren<AboutBox*>().isEmpty());
}

void AboutBoxTest::aboutCommandShowsTheProgramsTexts() {
    QWidget owner;
    QString title, version, comments, copyright;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<AboutBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        title = box->windowTitle();
        version = box->version()->text();
        comments = box->comments()->text();
        copyright = box->copyright()->text();
        box->okButton()->click();
    });
    showAboutBox(&owner);
    QCOMPARE(title, QString("About Morrowtide"));
    QCOMPARE(version, QString(morrowtide::kVersion));
    QCOMPARE(version, QString("1.1"));
    QCOMPARE(comments, QString("If you found this program useful please make a donation."));
    QVERIFY(copyright.startsWith(QString::fromUtf8("Copyright \u00A9")));
}

QTEST_MAIN(AboutBoxTest)
#include "about_box_test.moc"
