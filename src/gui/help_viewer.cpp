// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/help_viewer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

#include "gui/help_window.h"

namespace morrowtide::gui {

QString locateHelpFile(const QString& programDir) {
    const QDir dir(programDir);
    const QString beside = dir.filePath(QString::fromLatin1(kHelpFileName));
    if (QFileInfo::exists(beside)) return beside;
    const QString installed =
        QDir::cleanPath(dir.filePath(QStringLiteral("../share/morrowtide/") + QString::fromLatin1(kHelpFileName)));
    if (QFileInfo::exists(installed)) return installed;
    return beside;
}

// ---------------------------------------------------------------------------------------------------------------
// HtmlHelpViewer

HtmlHelpViewer::HtmlHelpViewer(HelpService& service) : service_(service) {}

bool HtmlHelpViewer::isHelpFile(const QString& fileName) {
    // The extension is the text after the last '.' of the name itself, not of a folder above it.
    const QString name = QFileInfo(fileName).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot >= 0 && name.mid(dot).compare(QLatin1String(".qch"), Qt::CaseInsensitive) == 0;
}

QString HtmlHelpViewer::topicAddress(const QString& helpFile, const QString& topic) {
    if (topic.isEmpty()) return helpFile;
    if (topic.startsWith(QLatin1Char('/'))) return helpFile + QStringLiteral("::") + topic;
    return helpFile + QStringLiteral("::/") + topic;
}

QString HtmlHelpViewer::viewerName() const {
    return QStringLiteral("HTMLHelp Viewer");
}

QString HtmlHelpViewer::currentHelpFile() const {
    return manager_ ? manager_->helpFile() : QString();
}

QWidget* HtmlHelpViewer::owner() const {
    return manager_ ? manager_->applicationWindow() : nullptr;
}

bool HtmlHelpViewer::helpFileTest() const {
    return manager_ && isHelpFile(currentHelpFile());
}

int HtmlHelpViewer::understandsKeyword(const QString&) const {
    return helpFileTest() ? 1 : 0;
}

QStringList HtmlHelpViewer::helpStrings(const QString& keyword) const {
    return helpFileTest() ? QStringList{keyword} : QStringList{};
}

bool HtmlHelpViewer::canShowTableOfContents() const {
    return helpFileTest();
}

void HtmlHelpViewer::showTableOfContents() {
    if (!manager_) return;
    service_.displayTableOfContents(owner(), currentHelpFile());
}

void HtmlHelpViewer::showHelp(const QString& keyword) {
    if (!manager_) return;
    service_.keywordLookup(owner(), currentHelpFile(), KeywordLink{keyword, true});
}

void HtmlHelpViewer::notifyId(int viewerId) {
    viewerId_ = viewerId;
}

void HtmlHelpViewer::softShutDown() {
    service_.closeAll();
}

void HtmlHelpViewer::shutDown() {
    softShutDown();
    manager_ = nullptr;
}

bool HtmlHelpViewer::understandsTopic(const QString&) const {
    return helpFileTest();
}

void HtmlHelpViewer::displayTopic(const QString& topic) {
    if (!manager_) return;
    service_.displayTopic(owner(), topicAddress(currentHelpFile(), topic));
}

// The file named by the caller is not looked at: the answer is about the help system's own file.
bool HtmlHelpViewer::understandsContext(int, const QString&) const {
    return helpFileTest();
}

void HtmlHelpViewer::displayHelpByContext(int contextId, const QString& helpFile) {
    if (!manager_) return;
    service_.displayContext(owner(), helpFile, static_cast<std::uint32_t>(contextId));
}

void HtmlHelpViewer::attach(HelpManager* manager) {
    manager_ = manager;
}

// ---------------------------------------------------------------------------------------------------------------
// HelpSystem

HelpSystem::~HelpSystem() {
    shutDown();
}

int HelpSystem::registerViewer(std::shared_ptr<HelpViewer> viewer) {
    const int id = nextViewerId_++;
    viewer->attach(this);
    viewer->notifyId(id);
    viewers_.push_back(std::move(viewer));
    return id;
}

bool HelpSystem::showHelp(const QString& keyword) {
    for (const auto& viewer : viewers_) {
        if (viewer->understandsKeyword(keyword) > 0) {
            viewer->showHelp(keyword);
            return true;
        }
    }
    reportFailure(keyword.isEmpty() ? QCoreApplication::translate(
                                          "HelpSystem", "No help is available: the help file %1 cannot be shown.")
                                          .arg(QDir::toNativeSeparators(helpFile_))
                                    : QCoreApplication::translate("HelpSystem", "No help found for %1").arg(keyword));
    return false;
}

bool HelpSystem::showTableOfContents() {
    for (const auto& viewer : viewers_) {
        if (viewer->canShowTableOfContents()) {
            viewer->showTableOfContents();
            return true;
        }
    }
    reportFailure(QCoreApplication::translate("HelpSystem", "Unable to find a table of contents"));
    return false;
}

bool HelpSystem::showTopicHelp(const QString& topic) {
    for (const auto& viewer : viewers_) {
        if (viewer->understandsTopic(topic)) {
            viewer->displayTopic(topic);
            return true;
        }
    }
    reportFailure(QCoreApplication::translate("HelpSystem", "No help found for %1").arg(topic));
    return false;
}

bool HelpSystem::showContextHelp(int contextId, const QString& helpFile) {
    for (const auto& viewer : viewers_) {
        if (viewer->understandsContext(contextId, helpFile)) {
            viewer->displayHelpByContext(contextId, helpFile);
            return true;
        }
    }
    reportFailure(QCoreApplication::translate("HelpSystem", "No help found for context %1").arg(contextId));
    return false;
}

void HelpSystem::shutDown() {
    // Viewers may be shared with other owners; each is told once and then let go.
    auto viewers = std::move(viewers_);
    viewers_.clear();
    for (const auto& viewer : viewers) viewer->shutDown();
}

void HelpSystem::reportFailure(const QString& message) const {
    if (reporter_) {
        reporter_(message);
        return;
    }
    QMessageBox::information(window_, QStringLiteral("Morrowtide"), message);
}

// ---------------------------------------------------------------------------------------------------------------
// QtHelpService

QtHelpService::~QtHelpService() {
    closeAll();
}

HelpWindow* QtHelpService::windowFor(QWidget* owner, const QString& helpFile) {
    const QString key = QFileInfo(helpFile).absoluteFilePath();
    QPointer<HelpWindow>& slot = windows_[key];
    if (slot && !slot->isOpen()) {
        // A file that could not be opened before may be there now: try it afresh.
        delete slot.data();
    }
    if (!slot) slot = new HelpWindow(helpFile, owner);
    return slot;
}

void QtHelpService::displayTableOfContents(QWidget* owner, const QString& helpFile) {
    HelpWindow* window = windowFor(owner, helpFile);
    window->showIndex();
    window->present();
}

void QtHelpService::keywordLookup(QWidget* owner, const QString& helpFile, const KeywordLink& link) {
    HelpWindow* window = windowFor(owner, helpFile);
    window->showKeyword(link.keywords, link.indexOnFailure);
    window->present();
}

void QtHelpService::displayTopic(QWidget* owner, const QString& fileAndTopic) {
    const qsizetype split = fileAndTopic.indexOf(QStringLiteral("::/"));
    const QString file = split < 0 ? fileAndTopic : fileAndTopic.left(split);
    const QString topic = split < 0 ? QString() : fileAndTopic.mid(split + 2);
    HelpWindow* window = windowFor(owner, file);
    window->showTopic(topic);
    window->present();
}

void QtHelpService::displayContext(QWidget* owner, const QString& helpFile, std::uint32_t contextId) {
    HelpWindow* window = windowFor(owner, helpFile);
    window->showContext(contextId);
    window->present();
}

void QtHelpService::closeAll() {
    auto windows = std::move(windows_);
    windows_.clear();
    for (auto& [file, window] : windows) {
        if (!window) continue;
        window->close();
        delete window.data();
    }
}

QList<HelpWindow*> QtHelpService::windows() const {
    QList<HelpWindow*> open;
    for (const auto& [file, window] : windows_) {
        if (window && window->isVisible()) open.append(window.data());
    }
    return open;
}

// ---------------------------------------------------------------------------------------------------------------

ProgramHelp::ProgramHelp() {
    system.registerViewer(std::make_shared<HtmlHelpViewer>(service));
}

}  // namespace morrowtide::gui
