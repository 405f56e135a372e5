// SPDX-License-Identifier: GPL-3.0-or-later
// The window in German and in English, and the German translation against every text the window marks for
// translation (the template the build extracts).
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLibraryInfo>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtTest>

#include "app/batch_run.h"
#include "gui/main_window.h"
#include "gui/progress_dialog.h"
#include "gui/translations.h"

using namespace morrowtide;

namespace {

struct Message {
    QString context;
    QString source;
};

// Every (context, source) of a Qt Linguist file.
QList<Message> messagesOf(const QString& tsPath) {
    QFile file(tsPath);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QList<Message> messages;
    QXmlStreamReader xml(&file);
    QString context;
    while (!xml.atEnd()) {
        if (!xml.readNextStartElement()) continue;
        if (xml.name() == QLatin1String("name")) context = xml.readElementText();
        if (xml.name() == QLatin1String("source")) messages.append({context, xml.readElementText()});
    }
    return messages;
}

// The %1, %2 ... of a text, sorted: a translation must fill in the same values.
QStringList placeholders(const QString& text) {
    QStringList found;
    static const QRegularExpression pattern(QStringLiteral("%[0-9]+"));
    for (const auto& match : pattern.globalMatch(text)) found << match.captured();
    found.sort();
    return found;
}

QString tabCaption(const gui::MainWindow& window, const char* pageName) {
    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("pageControl"));
    return tabs->tabText(tabs->indexOf(tabs->findChild<QWidget*>(QString::fromLatin1(pageName))));
}

}  // namespace

class TranslationTest : public QObject {
    Q_OBJECT

  private slots:
    void cleanup();
    void windowFollowsTheLocale_data();
    void windowFollowsTheLocale();
    void runSummaryInGerman_data();
    void runSummaryInGerman();
    void qtStandardTextsInGerman();
    void germanCoversEveryText();

  private:
    QTemporaryDir home_;
};

void TranslationTest::cleanup() {
    for (QTranslator* translator : qApp->findChildren<QTranslator*>()) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
}

void TranslationTest::windowFollowsTheLocale_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<bool>("translated");
    QTest::addColumn<QString>("photosTab");
    QTest::addColumn<QString>("goButton");
    QTest::addColumn<QString>("modDateBox");
    QTest::addColumn<QString>("fileMenu");
    QTest::addColumn<QString>("progressCaption");
    const QLocale german(QLocale::German, QLocale::Germany);
    QTest::newRow("German") << german << true << "Fotos"
                            << "Start"
                            << "Ursprüngliches Änderungsdatum beibehalten"
                            << "Datei"
                            << "Liste der Bilder wird erstellt";
    QTest::newRow("Austrian German") << QLocale(QLocale::German, QLocale::Austria) << true << "Fotos"
                                     << "Start"
                                     << "Ursprüngliches Änderungsdatum beibehalten"
                                     << "Datei"
                                     << "Liste der Bilder wird erstellt";
    // No translation: the texts as written, misspelling included.
    QTest::newRow("English") << QLocale(QLocale::English, QLocale::UnitedStates) << false << "Photos"
                             << "Go"
                             << "Preserve original modifcation date"
                             << "File"
                             << "Building list of images";
    QTest::newRow("French (none)") << QLocale(QLocale::French, QLocale::France) << false << "Photos"
                                   << "Go"
                                   << "Preserve original modifcation date"
                                   << "File"
                                   << "Building list of images";
}

void TranslationTest::windowFollowsTheLocale() {
    QFETCH(QLocale, locale);
    QFETCH(bool, translated);
    QCOMPARE(gui::installTranslations(*qApp, locale), translated);

    gui::MainWindowSetup setup;
    setup.settingsPath = home_.filePath(QStringLiteral("morrowtide.ini"));
    setup.documentsFolder = home_.path();
    gui::MainWindow window(setup);
    QTEST(tabCaption(window, "tsTimeDifference"), "photosTab");
    QTEST(window.findChild<QPushButton*>(QStringLiteral("BitBtn1"))->text(), "goButton");
    QTEST(window.findChild<QCheckBox*>(QStringLiteral("cbPreserveModDate"))->text(), "modDateBox");
    QTEST(window.menuBar()->actions().first()->text(), "fileMenu");
    QTEST(window.findChild<gui::ProgressDialog*>()->windowTitle(), "progressCaption");
}

void TranslationTest::runSummaryInGerman_data() {
    QTest::addColumn<int>("processed");
    QTest::addColumn<int>("listed");
    QTest::addColumn<bool>("stopped");
    QTest::addColumn<QString>("text");
    QTest::newRow("all") << 7 << 7 << false << "Erfolgreich abgeschlossen (7 Dateien)";
    QTest::newRow("some failed") << 5 << 7 << false << "Erfolgreich abgeschlossen (5/7 Dateien)";
    QTest::newRow("stopped") << 2 << 7 << true << "Abgebrochen: 2/7 Dateien bearbeitet.";
}

// The run engine's summary, which the window shows in its box, follows the window's language.
void TranslationTest::runSummaryInGerman() {
    QFETCH(int, processed);
    QFETCH(int, listed);
    QFETCH(bool, stopped);
    QVERIFY(gui::installTranslations(*qApp, QLocale(QLocale::German, QLocale::Germany)));
    QTEST(app::makeSummary(processed, listed, stopped).text, "text");
}

void TranslationTest::qtStandardTextsInGerman() {
    const QString qtTranslations = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!QFile::exists(qtTranslations + QStringLiteral("/qtbase_de.qm"))) {
        QSKIP("Qt's German translations are not installed (Debian: qt6-translations-l10n)");
    }
    gui::installTranslations(*qApp, QLocale(QLocale::German, QLocale::Germany));
    // The standard buttons of Qt's own dialogs (the folder picker) come from Qt's translation.
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Abbrechen"));
}

void TranslationTest::germanCoversEveryText() {
    const QList<Message> messages = messagesOf(QStringLiteral(MORROWTIDE_TS_TEMPLATE));
    QVERIFY2(messages.size() > 20, qPrintable(QStringLiteral("texts in the template: %1").arg(messages.size())));
    QTranslator german;
    QVERIFY(german.load(QStringLiteral("morrowtide_de"), QString::fromLatin1(gui::kTranslationsPrefix)));
    for (const Message& message : messages) {
        const QString where = message.context + QStringLiteral(": ") + message.source;
        const QString text =
            german.translate(message.context.toUtf8().constData(), message.source.toUtf8().constData());
        QVERIFY2(!text.isEmpty(), qPrintable(QStringLiteral("no German for ") + where));
        QVERIFY2(placeholders(text) == placeholders(message.source),
                 qPrintable(QStringLiteral("German fills in other values: ") + where + QStringLiteral(" -> ") + text));
        // A menu or button shortcut keeps a shortcut.
        QVERIFY2(message.source.contains(u'&') == text.contains(u'&'),
                 qPrintable(QStringLiteral("shortcut lost or added: ") + where + QStringLiteral(" -> ") + text));
    }
}

QTEST_MAIN(TranslationTest)
#include "translation_test.moc"
