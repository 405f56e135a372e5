// SPDX-License-Identifier: GPL-3.0-or-later
// "Set from a photo…": the photo's recorded date and time, a field for the true date and time it was taken, and the
// offset that moves the one to the other, as the four offset boxes will take it.
#pragma once

#include <QDateTime>
#include <QDialog>
#include <optional>

#include "app/batch_host.h"

class QDateTimeEdit;
class QLabel;
class QPushButton;

namespace morrowtide::gui {

// Date-time values (days since 1899-12-30) and the clock-free QDateTime the date field shows; no time zone, so no
// hour is ever skipped or doubled.
QDateTime toQDateTime(double value);
double fromQDateTime(const QDateTime& value);

// "+1 day, -6 hours, 0 minutes, 0 seconds" style text of an offset.
QString offsetText(const app::TimeOffset& offset);

class ReferenceTimeDialog : public QDialog {
    Q_OBJECT

  public:
    // `recorded` is the photo's first recorded date (never the missing date).
    ReferenceTimeDialog(QWidget* parent, const QString& photoPath, double recorded);

    QDateTimeEdit& trueTimeEdit() const { return *trueTime_; }
    double trueTime() const;
    // The offset from the recorded to the true time; empty when it does not fit the boxes.
    std::optional<app::TimeOffset> offset() const;

  private:
    void updateOffset();

    double recorded_;
    QDateTimeEdit* trueTime_ = nullptr;
    QLabel* offsetLabel_ = nullptr;
    QPushButton* ok_ = nullptr;
};

}  // namespace morrowtide::gui
