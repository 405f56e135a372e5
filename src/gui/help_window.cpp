// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/help_window.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHelpEngineCore>
#include <QHelpLink>
#include <QIcon>
#include <QStyle>
#include <QTextDocument>
#include <QToolBar>
#include <QVBoxLayout>

namespace morrowtide::gui {

namespace {

QUrl withoutFragment(const QUrl& url) {
    return url.adjusted(QUrl::RemoveFragment);
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// HelpBrowser

HelpBrowser::HelpBrowser(QWidget* parent) : QTextBrowser(parent) {
    setObjectName(QStringLiteral("helpBrowser"));
    // Links are followed by hand: the browser's own handling would send relative qthelp:// links to the desktop.
    setOpenLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &HelpBrowser::followLink);
}

void HelpBrowser::followLink(const QUrl& link) {
    const QUrl target = link.isRelative() ? source().resolved(link) : link;
    if (target.scheme() == QLatin1String("qthelp")) {
        setSource(target);
    } else {
        QDesktopServices::openUrl(target);
    }
}

QVariant HelpBrowser::loadResource(int type, const QUrl& name) {
    const QUrl url = name.isRelative() ? source().resolved(name) : name;
    if (engine_ && url.scheme() == QLatin1String("qthelp")) {
        const QByteArray data = engine_->fileData(withoutFragment(url));
        if (type == QTextDocument::StyleSheetResource) return QString::fromUtf8(data);
        return data;
    }
    return QTextBrowser::loadResource(type, name);
}

// ---------------------------------------------------------------------------------------------------------------
// HelpWindow

HelpWindow::HelpWindow(const QString& helpFile, QWidget* owner) : QWidget(owner, Qt::Window), helpFile_(helpFile) {
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(tr("Morrowtide Help"));
    // A help window left open must not keep the program running once the main window has closed.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(860, 640);

    auto* toolBar = new QToolBar(this);
    toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    QAction* contents =
        toolBar->addAction(style()->standardIcon(QStyle::SP_DirHomeIcon), tr("Contents"), this, &HelpWindow::showIndex);
    contents->setObjectName(QStringLiteral("actionContents"));
    back_ = toolBar->addAction(style()->standardIcon(QStyle::SP_ArrowBack), tr("Back"));
    back_->setObjectName(QStringLiteral("actionBack"));
    back_->setShortcut(QKeySequence::Back);
    forward_ = toolBar->addAction(style()->standardIcon(QStyle::SP_ArrowForward), tr("Forward"));
    forward_->setObjectName(QStringLiteral("actionForward"));
    forward_->setShortcut(QKeySequence::Forward);

    browser_ = new HelpBrowser(this);
    connect(back_, &QAction::triggered, browser_, &QTextBrowser::backward);
    connect(forward_, &QAction::triggered, browser_, &QTextBrowser::forward);
    connect(browser_, &QTextBrowser::historyChanged, this, &HelpWindow::updateActions);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(toolBar);
    layout->addWidget(browser_);

    open();
    updateActions();
}

HelpWindow::~HelpWindow() {
    // The engine's database lives in collectionDir_, which a member destructor removes: close it before that.
    browser_->setEngine(nullptr);
    delete engine_;
    engine_ = nullptr;
}

void HelpWindow::open() {
    if (!QFileInfo(helpFile_).isFile()) {
        error_ = tr("The help file was not found.");
        return;
    }
    if (!collectionDir_.isValid()) {
        error_ = tr("No temporary folder for the help index: %1").arg(collectionDir_.errorString());
        return;
    }
    // The help file is registered into a collection of our own; the engine must be writable for that.
    engine_ = new QHelpEngineCore(collectionDir_.filePath(QStringLiteral("morrowtide.qhc")), this);
    engine_->setReadOnly(false);
    engine_->setUsesFilterEngine(true);
    const QString name = QHelpEngineCore::namespaceName(helpFile_);
    if (!engine_->setupData() || name.isEmpty() || !engine_->registerDocumentation(helpFile_)) {
        error_ = engine_->error().isEmpty() ? tr("It is not a readable help file.") : engine_->error();
        return;
    }
    const QList<QUrl> pages = engine_->files(name, QString(), QStringLiteral("html"));
    if (pages.isEmpty()) {
        error_ = tr("The help file has no pages.");
        return;
    }
    index_ = pages.first();
    for (const QUrl& page : pages) {
        if (page.fileName() == QLatin1String("index.html")) {
            index_ = page;
            break;
        }
    }
    namespace_ = name;
    browser_->setEngine(engine_);
}

void HelpWindow::showError() {
    browser_->setHtml(QStringLiteral("<h2>Morrowtide Help</h2><p>The help file <b>%1</b> could not be opened.</p>"
                                     "<p>%2</p>")
                          .arg(QDir::toNativeSeparators(helpFile_).toHtmlEscaped(), error_.toHtmlEscaped()));
}

void HelpWindow::updateActions() {
    back_->setEnabled(browser_->isBackwardAvailable());
    forward_->setEnabled(browser_->isForwardAvailable());
}

QUrl HelpWindow::topicUrl(const QString& topic) const {
    if (!isOpen()) return {};
    QString relative = topic;
    while (relative.startsWith(QLatin1Char('/'))) relative.remove(0, 1);
    return index_.resolved(QUrl(relative));
}

bool HelpWindow::hasPage(const QUrl& url) const {
    return isOpen() && url.isValid() && !engine_->fileData(withoutFragment(url)).isEmpty();
}

void HelpWindow::showIndex() {
    if (!isOpen()) {
        showError();
        return;
    }
    browser_->setSource(index_);
}

bool HelpWindow::showKeyword(const QString& keywords, bool indexOnFailure) {
    if (!isOpen()) {
        showError();
        return false;
    }
    for (const QString& part : keywords.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString keyword = part.trimmed();
        if (keyword.isEmpty()) continue;
        const QList<QHelpLink> links = engine_->documentsForKeyword(keyword, QString());
        if (!links.isEmpty()) {
            browser_->setSource(links.first().url);
            return true;
        }
    }
    if (indexOnFailure) showIndex();
    return false;
}

void HelpWindow::showTopic(const QString& topic) {
    const QUrl url = topicUrl(topic);
    if (topic.isEmpty() || !hasPage(url)) {
        showIndex();
        return;
    }
    browser_->setSource(url);
}

void HelpWindow::showContext(std::uint32_t contextId) {
    if (!isOpen()) {
        showError();
        return;
    }
    const QList<QHelpLink> links = engine_->documentsForIdentifier(QString::number(contextId), QString());
    if (links.isEmpty()) {
        showIndex();
    } else {
        browser_->setSource(links.first().url);
    }
}

void HelpWindow::present() {
    show();
    raise();
    activateWindow();
}

}  // namespace morrowtide::gui
