// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/about_box.h"

#include <qdrawutil.h>
#include <QApplication>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QUrl>

#include "meta/version.h"

namespace morrowtide::gui {

namespace {

// Arial and MS Sans Serif are not on Linux desktops; these are their nearest look-alikes, in order of likeness.
// Plain DejaVu Sans runs wider than Arial and would not fit the fixed label sizes, so its condensed cut comes first.
const QStringList kSansFamilies = {QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                                   QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")};

QFont sansFont(int pixelSize, bool bold = false) {
    QFont font;
    font.setFamilies(kSansFamilies);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QLabel* autoLabel(QWidget* parent, const char* name, const QString& text, int left, int top, const QFont& font) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(font);
    label->move(left, top);
    label->adjustSize();
    return label;
}

template <typename Label = QLabel>
Label* fixedLabel(QWidget* parent, const char* name, int left, int top, int width, int height) {
    auto* label = new Label(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setGeometry(left, top, width, height);
    return label;
}

}  // namespace

QIcon applicationIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/icons/morrowtide-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

// ---------------------------------------------------------------------------------------------------------------

void LinkLabel::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    QLabel::mouseReleaseEvent(event);
    if (click) emit clicked();
}

BevelPanel::BevelPanel(QWidget* parent) : QFrame(parent) {
    setFrameShape(QFrame::NoFrame);
}

void BevelPanel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    qDrawShadePanel(&painter, rect(), palette(), /*sunken=*/true, 1);
    qDrawShadePanel(&painter, rect().adjusted(1, 1, -1, -1), palette(), /*sunken=*/false, 1);
}

// ---------------------------------------------------------------------------------------------------------------
// AboutBox

AboutBox::AboutBox(QWidget* parent) : QDialog(parent), donationUrl_(QString::fromLatin1(kDonationUrl)) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(tr("About"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    // The dialog's own font, used where no other is named: the size the layout below was drawn for.
    setFont(sansFont(11));
    setFixedSize(343, 191);

    auto* panel = new BevelPanel(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setGeometry(8, 8, 329, 141);
    // The links show the hand; everywhere else on the panel the pointer is the normal arrow.
    panel->setCursor(Qt::ArrowCursor);

    programIcon_ = fixedLabel(panel, "ProgramIcon", 8, 8, 32, 32);
    programIcon_->setScaledContents(true);

    autoLabel(panel, "Label2", tr("Product Name:"), 48, 8, sansFont(12, true));
    productName_ = fixedLabel(panel, "ProductName", 152, 9, 127, 13);
    autoLabel(panel, "Label3", tr("Version:"), 48, 30, sansFont(12, true));
    version_ = fixedLabel(panel, "Version", 152, 30, 121, 13);
    autoLabel(panel, "Label6", tr("E-Mail:"), 48, 52, sansFont(12, true));

    email_ = fixedLabel<LinkLabel>(panel, "Label7", 152, 50, 158, 16);
    QFont linkFont = sansFont(13);
    linkFont.setUnderline(true);
    email_->setFont(linkFont);
    QPalette linkPalette = email_->palette();
    linkPalette.setColor(QPalette::WindowText, Qt::blue);
    email_->setPalette(linkPalette);
    email_->setText(QString::fromLatin1(kSupportEmail));
    email_->setToolTip(tr("Click Here"));
    email_->setCursor(Qt::PointingHandCursor);
    connect(email_, &LinkLabel::clicked, this, &AboutBox::openEmail);

    copyright_ = fixedLabel(panel, "Copyright", 48, 74, 257, 21);
    comments_ = fixedLabel(panel, "Comments", 104, 96, 201, 33);
    comments_->setWordWrap(true);

    donation_ = fixedLabel<LinkLabel>(panel, "Image1", 24, 96, 65, 33);
    donation_->setPixmap(QPixmap(QStringLiteral(":/icons/donate.png")));
    donation_->setCursor(Qt::PointingHandCursor);
    connect(donation_, &LinkLabel::clicked, this, &AboutBox::openDonation);

    ok_ = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), tr("OK"), this);
    ok_->setObjectName(QStringLiteral("BitBtn1"));
    ok_->setGeometry(8, 156, 329, 29);
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
}

void AboutBox::openEmail() {
    const QString address = QStringLiteral("mailto:") + email_->text().trimmed();
    if (address == QLatin1String("mailto:")) return;
    QDesktopServices::openUrl(QUrl(address));
}

void AboutBox::openDonation() {
    const QString url = donationUrl_.trimmed();
    if (url.isEmpty()) return;
    QDesktopServices::openUrl(QUrl(url));
}

// ---------------------------------------------------------------------------------------------------------------
// AboutBoxDlg

AboutBoxDlg::AboutBoxDlg(QObject* owner) : QObject(owner) {}

std::unique_ptr<AboutBox> AboutBoxDlg::createForm(QWidget* parent) const {
    auto form = std::make_unique<AboutBox>(parent);
    form->productName()->setText(productName_);
    form->version()->setText(version_);
    form->copyright()->setText(copyright_);
    form->comments()->setText(comments_);
    form->setWindowTitle(tr("About %1").arg(productName_));
    const QIcon icon = qApp->windowIcon().isNull() ? applicationIcon() : qApp->windowIcon();
    form->programIcon()->setPixmap(icon.pixmap(QSize(32, 32)));
    return form;
}

bool AboutBoxDlg::execute() {
    auto form = createForm(qobject_cast<QWidget*>(parent()));
    QScreen* screen = form->parentWidget() ? form->parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame(QPoint(), form->size());
        frame.moveCenter(screen->availableGeometry().center());
        form->move(frame.topLeft());
    }
    return form->exec() == QDialog::Accepted;
}

void showAboutBox(QWidget* owner) {
    AboutBoxDlg dialog(owner);
    dialog.setProductName(QString::fromLatin1(kProductName));
    dialog.setVersion(QString::fromLatin1(kVersion));
    dialog.setCopyright(QString::fromUtf8(kCopyrightLine));
    dialog.setComments(AboutBox::tr(kAboutComments));
    dialog.execute();
}

}  // namespace morrowtide::gui
