// SPDX-License-Identifier: GPL-3.0-or-later
// What the window tests share: finding a widget by its objectName, and message boxes that answer OK and keep texts.
#pragma once

#include <QStringList>
#include <QWidget>
#include <QtGlobal>

#include "gui/message_boxes.h"

namespace morrowtide::test {

// The child of `parent` named `name`; a missing widget ends the test run at once, naming it.
template <typename T>
T* child(QWidget& parent, const QString& name) {
    T* widget = parent.findChild<T*>(name);
    if (!widget) qFatal("no widget %s", qPrintable(name));
    return widget;
}

class RecordingBoxes : public gui::MessageBoxes {
  public:
    gui::MessageAnswer show(QWidget*, const gui::MessageRequest& request) override {
        texts << request.text;
        return gui::MessageAnswer::Ok;
    }
    QStringList texts;
};

}  // namespace morrowtide::test
