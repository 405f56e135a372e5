// SPDX-License-Identifier: GPL-3.0-or-later
// The real boxes, answered with the keyboard as a user would.
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "gui/message_boxes.h"

using namespace morrowtide::gui;

class MessageBoxesTest : public QObject {
    Q_OBJECT

  private:
    // Presses `key` in the box once it is open.
    static void pressWhenOpen(Qt::Key key) {
        QTimer::singleShot(0, [key] {
            QWidget* box = QApplication::activeModalWidget();
            QVERIFY(box != nullptr);
            QTest::keyClick(box, key);
        });
    }

  private slots:
    void enterAndEscapeAnswerSafely_data() {
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("answer");
        QTest::newRow("question: Enter is No") << int(MessageButtons::YesNo) << int(Qt::Key_Return)
                                               << int(MessageAnswer::No);
        QTest::newRow("question: Escape is No") << int(MessageButtons::YesNo) << int(Qt::Key_Escape)
                                                << int(MessageAnswer::No);
        QTest::newRow("question: Y is Yes") << int(MessageButtons::YesNo) << int(Qt::Key_Y) << int(MessageAnswer::Yes);
        QTest::newRow("OK/Cancel: Enter is OK") << int(MessageButtons::OkCancel) << int(Qt::Key_Return)
                                                << int(MessageAnswer::Ok);
        QTest::newRow("OK/Cancel: Escape is Cancel") << int(MessageButtons::OkCancel) << int(Qt::Key_Escape)
                                                     << int(MessageAnswer::Cancel);
    }

    void enterAndEscapeAnswerSafely() {
        QFETCH(int, buttons);
        QFETCH(int, key);
        QFETCH(int, answer);
        WidgetMessageBoxes boxes;
        pressWhenOpen(static_cast<Qt::Key>(key));
        const MessageAnswer given = boxes.show(
            nullptr, {MessageKind::Warning, QStringLiteral("Warning"), QStringLiteral("?"),
                      static_cast<MessageButtons>(buttons)});
        QCOMPARE(int(given), answer);
    }
};

QTEST_MAIN(MessageBoxesTest)
#include "message_boxes_test.moc"
