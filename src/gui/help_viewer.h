// SPDX-License-Identifier: GPL-3.0-or-later
// The help behind the Help menu: a small help system that hands every request to its registered viewers, and the
// one viewer this program has, which shows the compiled help file (Morrowtide.qch) through a help service.
#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace morrowtide::gui {

class HelpWindow;

inline constexpr const char* kHelpFileName = "Morrowtide.qch";

// Where the help file of a program living in programDir is: next to the program (build tree, portable copies),
// else in the installed data folder ../share/morrowtide/. When neither exists the path next to the program is
// returned, so the help window names the file it looked for.
QString locateHelpFile(const QString& programDir);

// A keyword lookup request; "keywords" may hold several keywords separated by ';'.
struct KeywordLink {
    QString keywords;
    bool indexOnFailure = true;  // show the help's index when no keyword matches
};

// What actually puts help on the screen (one window per help file). Results are not reported back: the service
// tells the user itself, in its own window, when a file cannot be opened.
class HelpService {
  public:
    virtual ~HelpService() = default;
    virtual void displayTableOfContents(QWidget* owner, const QString& helpFile) = 0;
    virtual void keywordLookup(QWidget* owner, const QString& helpFile, const KeywordLink& link) = 0;
    // fileAndTopic is "file::/topic", or the file alone.
    virtual void displayTopic(QWidget* owner, const QString& fileAndTopic) = 0;
    virtual void displayContext(QWidget* owner, const QString& helpFile, std::uint32_t contextId) = 0;
    virtual void closeAll() = 0;
};

// The help system's side as a viewer sees it.
class HelpManager {
  public:
    virtual ~HelpManager() = default;
    virtual QWidget* applicationWindow() const = 0;
    virtual QString helpFile() const = 0;
};

// A help viewer as the help system drives it: the questions it answers and the requests it carries out.
class HelpViewer {
  public:
    virtual ~HelpViewer() = default;
    virtual QString viewerName() const = 0;
    virtual int understandsKeyword(const QString& keyword) const = 0;
    virtual QStringList helpStrings(const QString& keyword) const = 0;
    virtual bool canShowTableOfContents() const = 0;
    virtual void showTableOfContents() = 0;
    virtual void showHelp(const QString& keyword) = 0;
    virtual void notifyId(int viewerId) = 0;
    virtual void softShutDown() = 0;
    virtual void shutDown() = 0;
    virtual bool understandsTopic(const QString& topic) const = 0;
    virtual void displayTopic(const QString& topic) = 0;
    virtual bool understandsContext(int contextId, const QString& helpFile) const = 0;
    virtual void displayHelpByContext(int contextId, const QString& helpFile) = 0;
    // Registration hands the viewer the help system; shut-down takes it away again.
    virtual void attach(HelpManager* manager) = 0;
};

// The viewer for compiled help files (".qch"). It answers only while the help system's current help file has that
// extension; every request passes the application window as the owner of the help window.
class HtmlHelpViewer : public HelpViewer {
  public:
    explicit HtmlHelpViewer(HelpService& service);

    static bool isHelpFile(const QString& fileName);
    // The "::/" rule: file + "::" + topic when the topic starts with "/", file + "::/" + topic otherwise, the file
    // alone for an empty topic.
    static QString topicAddress(const QString& helpFile, const QString& topic);

    QString viewerName() const override;
    int understandsKeyword(const QString& keyword) const override;
    QStringList helpStrings(const QString& keyword) const override;
    bool canShowTableOfContents() const override;
    void showTableOfContents() override;
    void showHelp(const QString& keyword) override;
    void notifyId(int viewerId) override;
    void softShutDown() override;
    void shutDown() override;
    bool understandsTopic(const QString& topic) const override;
    void displayTopic(const QString& topic) override;
    bool understandsContext(int contextId, const QString& helpFile) const override;
    void displayHelpByContext(int contextId, const QString& helpFile) override;
    void attach(HelpManager* manager) override;

    int viewerId() const { return viewerId_; }
    HelpManager* helpManager() const { return manager_; }

  private:
    bool helpFileTest() const;
    QString currentHelpFile() const;
    QWidget* owner() const;

    HelpService& service_;
    int viewerId_ = 0;
    HelpManager* manager_ = nullptr;
};

// The program's help system: holds the application's help file and window and the registered viewers, and passes
// each request to the first viewer that can take it. It shuts its viewers down when it is destroyed, which closes
// every help window when the program ends.
class HelpSystem : public HelpManager {
  public:
    HelpSystem() = default;
    HelpSystem(const HelpSystem&) = delete;
    HelpSystem& operator=(const HelpSystem&) = delete;
    ~HelpSystem() override;

    int registerViewer(std::shared_ptr<HelpViewer> viewer);

    void setHelpFile(const QString& fileName) { helpFile_ = fileName; }
    QString helpFile() const override { return helpFile_; }
    void setApplicationWindow(QWidget* window) { window_ = window; }
    QWidget* applicationWindow() const override { return window_; }

    // Called with a message when no viewer takes a request; without one the request is dropped quietly.
    void setFailureReporter(std::function<void(const QString&)> reporter) { reporter_ = std::move(reporter); }

    // Each returns whether a viewer took the request.
    bool showHelp(const QString& keyword);
    bool showTableOfContents();
    bool showTopicHelp(const QString& topic);
    bool showContextHelp(int contextId, const QString& helpFile);

    void shutDown();
    const std::vector<std::shared_ptr<HelpViewer>>& viewers() const { return viewers_; }

  private:
    void reportFailure(const QString& message) const;

    QString helpFile_;
    QPointer<QWidget> window_;
    std::vector<std::shared_ptr<HelpViewer>> viewers_;
    std::function<void(const QString&)> reporter_;
    int nextViewerId_ = 1;
};

// Shows compiled help files in help windows, one window per file, reused by later requests for the same file. A
// window the user closes is only hidden until the next request; closeAll destroys them all.
class QtHelpService : public HelpService {
  public:
    QtHelpService() = default;
    QtHelpService(const QtHelpService&) = delete;
    QtHelpService& operator=(const QtHelpService&) = delete;
    ~QtHelpService() override;

    void displayTableOfContents(QWidget* owner, const QString& helpFile) override;
    void keywordLookup(QWidget* owner, const QString& helpFile, const KeywordLink& link) override;
    void displayTopic(QWidget* owner, const QString& fileAndTopic) override;
    void displayContext(QWidget* owner, const QString& helpFile, std::uint32_t contextId) override;
    void closeAll() override;

    // The help windows that are open now.
    QList<HelpWindow*> windows() const;

  private:
    HelpWindow* windowFor(QWidget* owner, const QString& helpFile);

    std::map<QString, QPointer<HelpWindow>> windows_;
};

// The set-up the program uses: a help system with one HTML help viewer registered on a Qt help service.
struct ProgramHelp {
    ProgramHelp();
    QtHelpService service;
    HelpSystem system;  // declared after the service: destroyed first, so its shut-down still reaches the service
};

}  // namespace morrowtide::gui
