// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/message_boxes.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>
#include <utility>
#include <vector>

namespace morrowtide::gui {

namespace {

QString appTitle() {
    return QString::fromLatin1(kApplicationTitle);
}

}  // namespace

void MessageBoxes::plain(QWidget* parent, const QString& text) {
    show(parent, {MessageKind::Plain, appTitle(), text, MessageButtons::Ok});
}

void MessageBoxes::information(QWidget* parent, const QString& text) {
    show(parent, {MessageKind::Information, QCoreApplication::translate("MessageBoxes", "Information"), text,
                  MessageButtons::Ok});
}

void MessageBoxes::warning(QWidget* parent, const QString& text) {
    show(parent,
         {MessageKind::Warning, QCoreApplication::translate("MessageBoxes", "Warning"), text, MessageButtons::Ok});
}

bool MessageBoxes::askYesNoWarning(QWidget* parent, const QString& text) {
    return show(parent, {MessageKind::Warning, QCoreApplication::translate("MessageBoxes", "Warning"), text,
                         MessageButtons::YesNo}) == MessageAnswer::Yes;
}

bool MessageBoxes::askOkCancelError(QWidget* parent, const QString& text) {
    return show(parent, {MessageKind::Error, QCoreApplication::translate("MessageBoxes", "Error"), text,
                         MessageButtons::OkCancel}) == MessageAnswer::Ok;
}

void MessageBoxes::error(QWidget* parent, const QString& text) {
    show(parent, {MessageKind::Error, appTitle(), text, MessageButtons::Ok});
}

bool MessageBoxes::fileError(QWidget* parent, const QString& text) {
    bool dontShowAgain = false;
    MessageRequest request{MessageKind::Plain, appTitle(), text, MessageButtons::Ok};
    request.checkBoxText = QCoreApplication::translate("MessageBoxes", kDontShowAgainInThisRun);
    request.checked = &dontShowAgain;
    show(parent, request);
    return dontShowAgain;
}

MessageAnswer WidgetMessageBoxes::show(QWidget* parent, const MessageRequest& request) {
    QMessageBox box(parent);
    switch (request.kind) {
        case MessageKind::Plain:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case MessageKind::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case MessageKind::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case MessageKind::Error:
            box.setIcon(QMessageBox::Critical);
            break;
    }
    box.setWindowTitle(request.title);
    box.setText(request.text);
    box.setTextFormat(Qt::PlainText);
    QCheckBox* checkBox = nullptr;
    if (!request.checkBoxText.isEmpty()) {
        checkBox = new QCheckBox(request.checkBoxText, &box);
        checkBox->setObjectName(QStringLiteral("cbDontShowAgain"));
        box.setCheckBox(checkBox);
    }

    std::vector<std::pair<QPushButton*, MessageAnswer>> buttons;
    auto add = [&](const QString& caption, QMessageBox::ButtonRole role, MessageAnswer answer) {
        buttons.emplace_back(box.addButton(caption, role), answer);
    };
    switch (request.buttons) {
        case MessageButtons::Ok:
            add(QCoreApplication::translate("MessageBoxes", "OK"), QMessageBox::AcceptRole, MessageAnswer::Ok);
            break;
        case MessageButtons::OkCancel:
            add(QCoreApplication::translate("MessageBoxes", "OK"), QMessageBox::AcceptRole, MessageAnswer::Ok);
            add(QCoreApplication::translate("MessageBoxes", "Cancel"), QMessageBox::RejectRole, MessageAnswer::Cancel);
            break;
        case MessageButtons::YesNo:
            add(QCoreApplication::translate("MessageBoxes", "&Yes"), QMessageBox::YesRole, MessageAnswer::Yes);
            add(QCoreApplication::translate("MessageBoxes", "&No"), QMessageBox::NoRole, MessageAnswer::No);
            break;
    }
    // Enter must never agree to a question: the only one asks whether to overwrite the original photos.
    box.setDefaultButton(request.buttons == MessageButtons::YesNo ? buttons.back().first : buttons.front().first);
    box.setEscapeButton(buttons.back().first);
    box.exec();
    if (checkBox && request.checked) *request.checked = checkBox->isChecked();
    for (const auto& [button, answer] : buttons) {
        if (box.clickedButton() == button) return answer;
    }
    return buttons.back().second;
}

}  // namespace morrowtide::gui
