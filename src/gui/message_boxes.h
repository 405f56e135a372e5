// SPDX-License-Identifier: GPL-3.0-or-later
// Every message box of the program goes through this one interface, so that tests can answer the boxes themselves
// instead of blocking on a modal window.
#pragma once

#include <QString>
#include <utility>

class QWidget;

namespace morrowtide::gui {

// The application's title; it is also the title of the plain boxes that show an error's own message.
inline constexpr char kApplicationTitle[] = "Morrowtide";

enum class MessageKind {
    Plain,        // no icon, titled with the application's title
    Information,  // "Information"
    Warning,      // "Warning"
    Error,        // "Error"
};

enum class MessageButtons { Ok, OkCancel, YesNo };

enum class MessageAnswer { Ok, Cancel, Yes, No };

struct MessageRequest {
    MessageRequest() = default;
    MessageRequest(MessageKind kind, QString title, QString text, MessageButtons buttons)
        : kind(kind), title(std::move(title)), text(std::move(text)), buttons(buttons) {}

    MessageKind kind = MessageKind::Plain;
    QString title;
    QString text;
    MessageButtons buttons = MessageButtons::Ok;
    // A check box under the text when its caption is set; its state when the box closes is written to *checked.
    QString checkBoxText;
    bool* checked = nullptr;
};

// The caption of the check box that silences the error boxes of the files of one run.
inline constexpr char kDontShowAgainInThisRun[] = QT_TRANSLATE_NOOP("MessageBoxes", "Don't show again in this run");

class MessageBoxes {
  public:
    virtual ~MessageBoxes() = default;
    // Shows the box modally over the parent and returns the button pressed; closing the box from its title bar counts
    // as the last button (Cancel or No).
    virtual MessageAnswer show(QWidget* parent, const MessageRequest& request) = 0;

    // The boxes the program uses.
    void plain(QWidget* parent, const QString& text);
    void information(QWidget* parent, const QString& text);
    void warning(QWidget* parent, const QString& text);
    bool askYesNoWarning(QWidget* parent, const QString& text);   // true for "&Yes"
    bool askOkCancelError(QWidget* parent, const QString& text);  // true for "OK"
    void error(QWidget* parent, const QString& text);             // the application's own error box
    // The error of one file of a run, with "Don't show again in this run"; true when that was ticked.
    bool fileError(QWidget* parent, const QString& text);
};

// The real thing: QMessageBox with the buttons "OK", "Cancel", "&Yes" and "&No".
class WidgetMessageBoxes : public MessageBoxes {
  public:
    MessageAnswer show(QWidget* parent, const MessageRequest& request) override;
};

}  // namespace morrowtide::gui
