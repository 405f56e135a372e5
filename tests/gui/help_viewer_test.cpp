// SPDX-License-Identifier: GPL-3.0-or-later
// The help viewer's answers and requests (with a recording service), and the real help windows on the compiled
// help file built with the program.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include "gui/help_viewer.h"
#include "gui/help_window.h"

using namespace morrowtide::gui;

namespace {

struct Call {
    QString command;
    QWidget* owner = nullptr;
    QString target;
    QString data;
};

class RecordingService : public HelpService {
  public:
    void displayTableOfContents(QWidget* owner, const QString& file) override {
        calls.append({"toc", owner, file, {}});
    }
    void keywordLookup(QWidget* owner, const QString& file, const KeywordLink& link) override {
        calls.append({"keyword", owner, file, link.keywords + (link.indexOnFailure ? "|index" : "|no-index")});
    }
    void displayTopic(QWidget* owner, const QString& fileAndTopic) override {
        calls.append({"topic", owner, fileAndTopic, {}});
    }
    void displayContext(QWidget* owner, const QString& file, std::uint32_t id) override {
        calls.append({"context", owner, file, QString::number(id)});
    }
    void closeAll() override { calls.append({"close-all", nullptr, {}, {}}); }

    QList<Call> calls;
};

QString builtHelpFile() {
#ifdef MORROWTIDE_HELP_FILE
    return QStringLiteral(MORROWTIDE_HELP_FILE);
#else
    return QString();
#endif
}

// scripts/screenshot-help.sh sets MORROWTIDE_SCREENSHOT_DIR to collect pictures of the windows as shown.
void saveScreenshot(QWidget* widget, const QString& name) {
    const QString dir = qEnvironmentVariable("MORROWTIDE_SCREENSHOT_DIR");
    if (dir.isEmpty()) return;
    QVERIFY(QTest::qWaitForWindowExposed(widget));
    QTest::qWait(200);
    QVERIFY(widget->grab().save(QDir(dir).filePath(name)));
}

}  // namespace

class HelpViewerTest : public QObject {
    Q_OBJECT

  private slots:
    void helpFileTestLooksAtTheExtensionOnly();
    void topicAddressFollowsTheRule_data();
    void topicAddressFollowsTheRule();
    void viewerAnswersOnlyForCompiledHelp();
    void requestsReachTheServiceWithTheApplicationWindow();
    void shutDownClosesAllAndLetsGoOfTheManager();
    void helpSystemPassesRequestsToTheFirstWillingViewer();

    void contentsOpensTheIndexThroughAnEmptyKeyword();
    void keywordsTopicsAndContextsOpenTheirPages();
    void shutDownClosesEveryHelpWindow();
    void missingHelpFileIsReportedInTheWindow();
    void everyLinkOfTheHelpLeadsToAPage();
    void locateHelpFilePrefersTheProgramFolder();
};

void HelpViewerTest::helpFileTestLooksAtTheExtensionOnly() {
    QVERIFY(HtmlHelpViewer::isHelpFile("/opt/morrowtide/bin/Morrowtide.qch"));
    QVERIFY(HtmlHelpViewer::isHelpFile("Morrowtide.QCH"));
    QVERIFY(HtmlHelpViewer::isHelpFile("odd name.with.dots.Qch"));
    QVERIFY(!HtmlHelpViewer::isHelpFile("Morrowtide.chm"));
    QVERIFY(!HtmlHelpViewer::isHelpFile("Morrowtide.qch.bak"));
    QVERIFY(!HtmlHelpViewer::isHelpFile("Morrowtideqch"));
    QVERIFY(!HtmlHelpViewer::isHelpFile("/help.qch/Morrowtide"));
    QVERIFY(!HtmlHelpViewer::isHelpFile(""));
}

void HelpViewerTest::topicAddressFollowsTheRule_data() {
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QString>("address");
    QTest::newRow("plain topic") << "file-mask.html"
                                 << "/p/Morrowtide.qch::/file-mask.html";
    QTest::newRow("leading slash") << "/file-mask.html"
                                   << "/p/Morrowtide.qch::/file-mask.html";
    QTest::newRow("empty") << ""
                           << "/p/Morrowtide.qch";
    QTest::newRow("anchor") << "options-tab.html#preserve"
                            << "/p/Morrowtide.qch::/options-tab.html#preserve";
    QTest::newRow("double slash kept") << "//x.html"
                                       << "/p/Morrowtide.qch:://x.html";
}

void HelpViewerTest::topicAddressFollowsTheRule() {
    QFETCH(QString, topic);
    QFETCH(QString, address);
    QCOMPARE(HtmlHelpViewer::topicAddress("/p/Morrowtide.qch", topic), address);
}

void HelpViewerTest::viewerAnswersOnlyForCompiledHelp() {
    RecordingService service;
    HelpSystem system;
    system.setFailureReporter([](const QString&) {});
    auto viewer = std::make_shared<HtmlHelpViewer>(service);
    QCOMPARE(system.registerViewer(viewer), 1);
    QCOMPARE(viewer->viewerId(), 1);
    QCOMPARE(viewer->viewerName(), QString("HTMLHelp Viewer"));

    system.setHelpFile("/p/Morrowtide.chm");
    QCOMPARE(viewer->understandsKeyword("mask"), 0);
    QVERIFY(viewer->helpStrings("mask").isEmpty());
    QVERIFY(!viewer->canShowTableOfContents());
    QVERIFY(!viewer->understandsTopic("mask.html"));
    // The file handed in with a context request does not count, only the help system's own file.
    QVERIFY(!viewer->understandsContext(100, "/p/Morrowtide.qch"));
    QVERIFY(!system.showHelp(""));
    QVERIFY(service.calls.isEmpty());

    system.setHelpFile("/p/Morrowtide.qch");
    QCOMPARE(viewer->understandsKeyword("mask"), 1);
    QCOMPARE(viewer->helpStrings("mask"), QStringList{"mask"});
    QVERIFY(viewer->canShowTableOfContents());
    QVERIFY(viewer->understandsTopic("mask.html"));
    QVERIFY(viewer->understandsContext(100, "/p/Morrowtide.chm"));
}

void HelpViewerTest::requestsReachTheServiceWithTheApplicationWindow() {
    RecordingService service;
    QWidget mainWindow;
    HelpSystem system;
    system.setApplicationWindow(&mainWindow);
    system.setHelpFile("/p/Morrowtide.qch");
    auto viewer = std::make_shared<HtmlHelpViewer>(service);
    system.registerViewer(viewer);

    QVERIFY(system.showHelp(""));
    QVERIFY(system.showTableOfContents());
    QVERIFY(system.showTopicHelp("running.html"));
    QVERIFY(system.showTopicHelp("/running.html"));
    QVERIFY(system.showTopicHelp(""));
    QVERIFY(system.showContextHelp(200, "/elsewhere/Other.qch"));

    QCOMPARE(service.calls.size(), 6);
    for (const Call& call : service.calls) QCOMPARE(call.owner, &mainWindow);
    QCOMPARE(service.calls[0].command, QString("keyword"));
    QCOMPARE(service.calls[0].target, QString("/p/Morrowtide.qch"));
    QCOMPARE(service.calls[0].data, QString("|index"));  // empty keyword, index on failure
    QCOMPARE(service.calls[1].command, QString("toc"));
    QCOMPARE(service.calls[2].target, QString("/p/Morrowtide.qch::/running.html"));
    QCOMPARE(service.calls[3].target, QString("/p/Morrowtide.qch::/running.html"));
    QCOMPARE(service.calls[4].target, QString("/p/Morrowtide.qch"));
    // A context request goes to the file it names.
    QCOMPARE(service.calls[5].command, QString("context"));
    QCOMPARE(service.calls[5].target, QString("/elsewhere/Other.qch"));
    QCOMPARE(service.calls[5].data, QString("200"));
}

void HelpViewerTest::shutDownClosesAllAndLetsGoOfTheManager() {
    RecordingService service;
    auto viewer = std::make_shared<HtmlHelpViewer>(service);
    {
        HelpSystem system;
        system.setHelpFile("/p/Morrowtide.qch");
        system.registerViewer(viewer);
        QCOMPARE(viewer->helpManager(), &system);
        viewer->softShutDown();
        QCOMPARE(service.calls.size(), 1);
        QCOMPARE(viewer->helpManager(), &system);  // a soft shut-down keeps the manager
    }
    // The help system shut the viewer down when it went away.
    QCOMPARE(service.calls.size(), 2);
    QCOMPARE(service.calls.last().command, QString("close-all"));
    QCOMPARE(viewer->helpManager(), nullptr);
    // Without a help system nothing is understood and nothing is shown.
    QCOMPARE(viewer->understandsKeyword(""), 0);
    viewer->showHelp("");
    viewer->displayTopic("x.html");
    QCOMPARE(service.calls.size(), 2);
}

void HelpViewerTest::helpSystemPassesRequestsToTheFirstWillingViewer() {
    RecordingService first;
    RecordingService second;
    HelpSystem system;
    QStringList failures;
    system.setFailureReporter([&](const QString& message) { failures.append(message); });
    system.registerViewer(std::make_shared<HtmlHelpViewer>(first));
    system.registerViewer(std::make_shared<HtmlHelpViewer>(second));
    QCOMPARE(system.viewers().size(), std::size_t{2});

    system.setHelpFile("/p/Morrowtide.qch");
    QVERIFY(system.showHelp("Stop"));
    QCOMPARE(first.calls.size(), 1);
    QCOMPARE(second.calls.size(), 0);

    system.setHelpFile("/p/Morrowtide.chm");
    QVERIFY(!system.showTopicHelp("x.html"));
    QCOMPARE(failures.size(), 1);

    system.shutDown();
    QVERIFY(system.viewers().empty());
    QCOMPARE(first.calls.last().command, QString("close-all"));
    QCOMPARE(second.calls.last().command, QString("close-all"));
}

// ---------------------------------------------------------------------------------------------------------------
// The real help file

void HelpViewerTest::contentsOpensTheIndexThroughAnEmptyKeyword() {
    const QString file = builtHelpFile();
    if (file.isEmpty()) QSKIP("the help file is not built in this configuration");
    QWidget mainWindow;
    ProgramHelp help;
    help.system.setApplicationWindow(&mainWindow);
    help.system.setHelpFile(file);

    QVERIFY(help.system.showHelp(QString()));
    const QList<HelpWindow*> windows = help.service.windows();
    QCOMPARE(windows.size(), 1);
    HelpWindow* window = windows.first();
    QVERIFY2(window->isOpen(), qPrintable(window->errorText()));
    QCOMPARE(window->parentWidget(), &mainWindow);
    QCOMPARE(window->browser()->source().fileName(), QString("index.html"));
    QVERIFY(window->browser()->toPlainText().contains("Morrowtide Help"));
    QVERIFY(window->browser()->toPlainText().contains("Index"));
    saveScreenshot(window, "help-index.png");
    // A help window never keeps the program running after the main window has closed.
    QVERIFY(!window->testAttribute(Qt::WA_QuitOnClose));

    // A keyword the help does not know also lands on the index; the window is reused.
    QVERIFY(window->showKeyword("mask", false));
    QVERIFY(!window->showKeyword("no such keyword", true));
    QCOMPARE(window->browser()->source().fileName(), QString("index.html"));
    QVERIFY(help.system.showHelp("nothing like it"));
    QCOMPARE(help.service.windows().size(), 1);
    QCOMPARE(window->browser()->source().fileName(), QString("index.html"));
}

void HelpViewerTest::keywordsTopicsAndContextsOpenTheirPages() {
    const QString file = builtHelpFile();
    if (file.isEmpty()) QSKIP("the help file is not built in this configuration");
    ProgramHelp help;
    help.system.setHelpFile(file);

    QVERIFY(help.system.showHelp("Stop"));
    HelpWindow* window = help.service.windows().value(0);
    QVERIFY(window);
    QCOMPARE(window->browser()->source().fileName(), QString("running.html"));
    QCOMPARE(window->browser()->source().fragment(), QString("stop"));

    // Several keywords: the first the help knows wins.
    QVERIFY(window->showKeyword("unknown; Summer time", true));
    QCOMPARE(window->browser()->source().fileName(), QString("time-zones.html"));

    QVERIFY(help.system.showTopicHelp("file-mask.html"));
    QCOMPARE(window->browser()->source().fileName(), QString("file-mask.html"));
    QVERIFY(window->browser()->toPlainText().contains("*FILENAME"));
    QVERIFY(help.system.showTopicHelp("/settings-file.html"));
    QCOMPARE(window->browser()->source().fileName(), QString("settings-file.html"));
    QVERIFY(window->browser()->toPlainText().contains("PreserveModDate"));
    QVERIFY(help.system.showTopicHelp("no-such-page.html"));
    QCOMPARE(window->browser()->source().fileName(), QString("index.html"));

    QVERIFY(help.system.showContextHelp(206, file));
    QCOMPARE(window->browser()->source().fileName(), QString("options-tab.html"));
    QCOMPARE(window->browser()->source().fragment(), QString("preserve"));
    QVERIFY(help.system.showContextHelp(99999, file));
    QCOMPARE(window->browser()->source().fileName(), QString("index.html"));

    // Back and forward walk the pages seen.
    window->browser()->backward();
    QCOMPARE(window->browser()->source().fileName(), QString("options-tab.html"));
    QCOMPARE(help.service.windows().size(), 1);
}

void HelpViewerTest::shutDownClosesEveryHelpWindow() {
    const QString file = builtHelpFile();
    if (file.isEmpty()) QSKIP("the help file is not built in this configuration");
    QTemporaryDir dir;
    QVERIFY(QFile::copy(file, dir.filePath("Second.qch")));

    auto help = std::make_unique<ProgramHelp>();
    const auto windowOf = [&help](const QString& helpFile) -> HelpWindow* {
        for (HelpWindow* window : help->service.windows()) {
            if (window->helpFile() == helpFile) return window;
        }
        return nullptr;
    };
    const QString secondFile = dir.filePath("Second.qch");
    help->system.setHelpFile(file);
    QVERIFY(help->system.showTableOfContents());
    help->system.setHelpFile(secondFile);
    QVERIFY(help->system.showHelp(""));
    QCOMPARE(help->service.windows().size(), 2);
    QPointer<HelpWindow> first = windowOf(file);
    QPointer<HelpWindow> second = windowOf(secondFile);
    QVERIFY(first && second);
    QVERIFY(first->isOpen() && second->isOpen());

    // A window the user closed comes back with the next request.
    second->close();
    QVERIFY(!second.isNull());
    QCOMPARE(help->service.windows().size(), 1);
    QVERIFY(help->system.showHelp("Stop"));
    QCOMPARE(windowOf(secondFile), second.data());
    QCOMPARE(second->browser()->source().fileName(), QString("running.html"));

    // The end of the program: the help system shuts its viewer down and every help window goes.
    help.reset();
    QVERIFY(first.isNull());
    QVERIFY(second.isNull());
}

void HelpViewerTest::missingHelpFileIsReportedInTheWindow() {
    QTemporaryDir dir;
    ProgramHelp help;
    help.system.setHelpFile(dir.filePath("Morrowtide.qch"));
    QVERIFY(help.system.showHelp(""));
    HelpWindow* window = help.service.windows().value(0);
    QVERIFY(window);
    QVERIFY(!window->isOpen());
    QVERIFY(window->browser()->toPlainText().contains("could not be opened"));
    QVERIFY(window->browser()->toPlainText().contains("Morrowtide.qch"));

    // A file that is there but is no help file.
    QFile junk(dir.filePath("Junk.qch"));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write("not a help file");
    junk.close();
    HelpWindow broken(junk.fileName());
    QVERIFY(!broken.isOpen());
    QVERIFY(!broken.errorText().isEmpty());
    QVERIFY(!broken.showKeyword("Stop", true));
}

void HelpViewerTest::everyLinkOfTheHelpLeadsToAPage() {
    const QString file = builtHelpFile();
    if (file.isEmpty()) QSKIP("the help file is not built in this configuration");
    HelpWindow window(file);
    QVERIFY2(window.isOpen(), qPrintable(window.errorText()));
    const QRegularExpression hrefs(QStringLiteral("href=\"([^\"]+)\""));
    const QRegularExpression anchors(QStringLiteral("<a name=\"([^\"]+)\""));

    // Read every page once, with its anchors.
    const QDir pagesDir = QFileInfo(QFINDTESTDATA("../../docs/help/index.html")).dir();
    const QStringList pageNames = pagesDir.entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
    QVERIFY(pageNames.size() >= 10);
    QHash<QString, QSet<QString>> anchorsOf;
    QHash<QString, QString> html;
    for (const QString& name : pageNames) {
        const QUrl url = window.topicUrl(name);
        QVERIFY2(window.hasPage(url), qPrintable(name + " is not in the help file"));
        QFile source(pagesDir.filePath(name));
        QVERIFY(source.open(QIODevice::ReadOnly));
        html[name] = QString::fromUtf8(source.readAll());
        for (const auto& match : anchors.globalMatch(html[name])) anchorsOf[name].insert(match.captured(1));
    }
    int checked = 0;
    for (const QString& name : pageNames) {
        for (const auto& match : hrefs.globalMatch(html[name])) {
            const QUrl link(match.captured(1));
            if (!link.scheme().isEmpty()) continue;  // web and mail links leave the help
            const QUrl target = window.topicUrl(name).resolved(link);
            QVERIFY2(window.hasPage(target), qPrintable(name + ": broken link " + link.toString()));
            if (target.hasFragment()) {
                QVERIFY2(anchorsOf.value(target.fileName()).contains(target.fragment()),
                         qPrintable(name + ": missing anchor " + link.toString()));
            }
            ++checked;
        }
    }
    QVERIFY(checked > 100);
}

void HelpViewerTest::locateHelpFilePrefersTheProgramFolder() {
    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath("bin"));
    QVERIFY(QDir(root.path()).mkpath("share/morrowtide"));
    const QString bin = root.filePath("bin");
    QCOMPARE(locateHelpFile(bin), QDir(bin).filePath("Morrowtide.qch"));  // neither: the program folder is named

    QFile installed(root.filePath("share/morrowtide/Morrowtide.qch"));
    QVERIFY(installed.open(QIODevice::WriteOnly));
    installed.close();
    QCOMPARE(locateHelpFile(bin), QDir::cleanPath(installed.fileName()));

    QFile beside(QDir(bin).filePath("Morrowtide.qch"));
    QVERIFY(beside.open(QIODevice::WriteOnly));
    beside.close();
    QCOMPARE(locateHelpFile(bin), beside.fileName());
}

QTEST_MAIN(HelpViewerTest)
#include "help_viewer_test.moc"
