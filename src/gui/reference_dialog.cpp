// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/reference_dialog.h"

#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/photo_plan.h"
#include "app/time_offset.h"
#include "meta/date_time.h"

namespace morrowtide::gui {

QDateTime toQDateTime(double value) {
    const meta::CivilDateTime t = meta::decodeDateTime(value);
    return QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second), Qt::UTC);
}

double fromQDateTime(const QDateTime& value) {
    const QDate date = value.date();
    const QTime time = value.time();
    return meta::encodeDateTime({date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second(), 0});
}

QString offsetText(const app::TimeOffset& offset) {
    const auto part = [](int value, const char* one, const char* many) {
        const QString number = (value > 0 ? QStringLiteral("+") : QString()) + QString::number(value);
        return QCoreApplication::translate("ReferenceTimeDialog", value == 1 || value == -1 ? one : many).arg(number);
    };
    return part(offset.days, QT_TRANSLATE_NOOP("ReferenceTimeDialog", "%1 day"),
                QT_TRANSLATE_NOOP("ReferenceTimeDialog", "%1 days")) +
           QStringLiteral(", ") +
           part(offset.hours, QT_TRANSLATE_NOOP("ReferenceTimeDialog", "%1 hour"),
                QT_TRANSLATE_NOOP("ReferenceTimeDialog", "%1 hours")) +
           QStringLiteral(", ") +
           part(offset.minutes, QT_TRANSLATE_NOOP("ReferenceTimeDialog", "%1 minute"),
                QT_TRANSLATE_NOOP("ReferenceTimeDialog", "%1 minutes")) +
           QStringLiteral(", ") +
           part(offset.seconds, QT_TRANSLATE_NOOP("ReferenceTimeDialog", "%1 second"),
                QT_TRANSLATE_NOOP("ReferenceTimeDialog", "%1 seconds"));
}

ReferenceTimeDialog::ReferenceTimeDialog(QWidget* parent, const QString& photoPath, double recorded)
    : QDialog(parent), recorded_(recorded) {
    setObjectName(QStringLiteral("ReferenceTimeDialog"));
    setWindowTitle(tr("Set from a photo"));

    auto* intro = new QLabel(tr("Type the date and time this photo was really taken (read it off a photo "
                                "of a clock, or from a phone's photo of the same moment). The offset "
                                "boxes get the difference."),
                             this);
    intro->setWordWrap(true);
    auto* photo = new QLabel(QFileInfo(photoPath).fileName(), this);
    photo->setObjectName(QStringLiteral("lblReferencePhoto"));
    photo->setTextFormat(Qt::PlainText);
    photo->setToolTip(photoPath);
    auto* recordedLabel = new QLabel(app::formatPlanDate(recorded), this);
    recordedLabel->setObjectName(QStringLiteral("lblReferenceRecorded"));
    trueTime_ = new QDateTimeEdit(this);
    trueTime_->setObjectName(QStringLiteral("dteTrueTime"));
    trueTime_->setTimeSpec(Qt::UTC);
    trueTime_->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    trueTime_->setDateTimeRange(QDateTime(QDate(meta::kMinYear, 1, 1), QTime(0, 0), Qt::UTC),
                                QDateTime(QDate(meta::kMaxYear, 12, 31), QTime(23, 59, 59), Qt::UTC));
    trueTime_->setDateTime(toQDateTime(recorded));
    trueTime_->setCalendarPopup(true);
    offsetLabel_ = new QLabel(this);
    offsetLabel_->setObjectName(QStringLiteral("lblReferenceOffset"));

    auto* form = new QFormLayout;
    form->addRow(tr("Photo:"), photo);
    form->addRow(tr("Recorded date and time:"), recordedLabel);
    form->addRow(tr("&True date and time:"), trueTime_);
    form->addRow(tr("Offset:"), offsetLabel_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("bbReference"));
    ok_ = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(form);
    layout->addWidget(buttons);

    connect(trueTime_, &QDateTimeEdit::dateTimeChanged, this, &ReferenceTimeDialog::updateOffset);
    updateOffset();
    trueTime_->setFocus();
}

double ReferenceTimeDialog::trueTime() const {
    return fromQDateTime(trueTime_->dateTime());
}

std::optional<app::TimeOffset> ReferenceTimeDialog::offset() const {
    return app::offsetBetween(recorded_, trueTime());
}

void ReferenceTimeDialog::updateOffset() {
    const auto found = offset();
    offsetLabel_->setText(found ? offsetText(*found) : tr("too large for the offset boxes"));
    ok_->setEnabled(found.has_value());
}

}  // namespace morrowtide::gui
