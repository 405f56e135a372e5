// SPDX-License-Identifier: GPL-3.0-or-later
// The window that shows one compiled help file: its pages are read through a help engine and shown in a browser
// with Back, Forward and Contents buttons.
#pragma once

#include <QString>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QUrl>
#include <QWidget>
#include <cstdint>
#include <memory>

class QHelpEngineCore;
class QAction;

namespace morrowtide::gui {

// A browser that loads qthelp:// pages from the help engine and hands web and mail links to the desktop.
class HelpBrowser : public QTextBrowser {
    Q_OBJECT
  public:
    explicit HelpBrowser(QWidget* parent = nullptr);
    void setEngine(QHelpEngineCore* engine) { engine_ = engine; }
    QVariant loadResource(int type, const QUrl& name) override;

  private:
    void followLink(const QUrl& link);
    QHelpEngineCore* engine_ = nullptr;
};

class HelpWindow : public QWidget {
    Q_OBJECT
  public:
    // Opens the help file at once; when it cannot be opened the window says so in its page area.
    explicit HelpWindow(const QString& helpFile, QWidget* owner = nullptr);
    ~HelpWindow() override;

    QString helpFile() const { return helpFile_; }
    bool isOpen() const { return !namespace_.isEmpty(); }
    QString errorText() const { return error_; }
    HelpBrowser* browser() const { return browser_; }

    // The address of a page given relative to the help's root ("mask.html", "/mask.html#table").
    QUrl topicUrl(const QString& topic) const;
    bool hasPage(const QUrl& url) const;

    void showIndex();
    // Shows the first page for the first keyword (of several separated by ';') that the help knows; returns false
    // when none matched, after showing the index when indexOnFailure is set.
    bool showKeyword(const QString& keywords, bool indexOnFailure);
    // Shows a topic; an empty topic or one the help does not have shows the index.
    void showTopic(const QString& topic);
    // Context numbers are the identifiers of the help's keywords; an unknown number shows the index.
    void showContext(std::uint32_t contextId);

    void present();

  private:
    void open();
    void showError();
    void updateActions();

    QString helpFile_;
    QTemporaryDir collectionDir_;
    QHelpEngineCore* engine_ = nullptr;
    QString namespace_;
    QUrl index_;  // the page the help opens at: its contents and keyword index
    QString error_;
    HelpBrowser* browser_ = nullptr;
    QAction* back_ = nullptr;
    QAction* forward_ = nullptr;
};

}  // namespace morrowtide::gui
