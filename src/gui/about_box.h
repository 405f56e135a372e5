// SPDX-License-Identifier: GPL-3.0-or-later
// The About box: the dialog itself (AboutBox) and the small object that carries its four texts and shows it
// (AboutBoxDlg).
#pragma once

#include <QDialog>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QObject>
#include <QString>
#include <memory>

class QPushButton;

namespace morrowtide::gui {

inline constexpr const char* kProductName = "Morrowtide";
inline constexpr const char* kCopyrightLine = "Copyright \u00A9 2026 The Morrowtide Project";
inline constexpr const char* kAboutComments =
    QT_TRANSLATE_NOOP("morrowtide::gui::AboutBox", "If you found this program useful please make a donation.");
inline constexpr const char* kSupportEmail = "support@morrowtide.org";
inline constexpr const char* kDonationUrl = "https://morrowtide.org/donate";

// The program's icon in all its sizes.
QIcon applicationIcon();

// A label that reports a left click (press and release over it).
class LinkLabel : public QLabel {
    Q_OBJECT
  public:
    using QLabel::QLabel;

  signals:
    void clicked();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    bool pressed_ = false;
};

// A panel with a lowered outer and a raised inner bevel.
class BevelPanel : public QFrame {
    Q_OBJECT
  public:
    explicit BevelPanel(QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

class AboutBox : public QDialog {
    Q_OBJECT
  public:
    explicit AboutBox(QWidget* parent = nullptr);

    QLabel* programIcon() const { return programIcon_; }
    QLabel* productName() const { return productName_; }
    QLabel* version() const { return version_; }
    QLabel* copyright() const { return copyright_; }
    QLabel* comments() const { return comments_; }
    LinkLabel* emailLabel() const { return email_; }
    LinkLabel* donationImage() const { return donation_; }
    QPushButton* okButton() const { return ok_; }

    void setDonationUrl(const QString& url) { donationUrl_ = url; }

    // What a click on the e-mail label and on the donation picture does: open "mailto:" + the trimmed address, or
    // the donation page, with the desktop's default program; a blank address opens nothing.
    void openEmail();
    void openDonation();

  private:
    QLabel* programIcon_ = nullptr;
    QLabel* productName_ = nullptr;
    QLabel* version_ = nullptr;
    QLabel* copyright_ = nullptr;
    QLabel* comments_ = nullptr;
    LinkLabel* email_ = nullptr;
    LinkLabel* donation_ = nullptr;
    QPushButton* ok_ = nullptr;
    QString donationUrl_;
};

// Carries the texts the About box shows and shows it modally.
class AboutBoxDlg : public QObject {
    Q_OBJECT
  public:
    explicit AboutBoxDlg(QObject* owner = nullptr);

    QString productName() const { return productName_; }
    void setProductName(const QString& text) { productName_ = text; }
    QString version() const { return version_; }
    void setVersion(const QString& text) { version_ = text; }
    QString copyright() const { return copyright_; }
    void setCopyright(const QString& text) { copyright_ = text; }
    QString comments() const { return comments_; }
    void setComments(const QString& text) { comments_ = text; }

    // The form filled from the texts, with the caption "About " + product name and the application's icon.
    std::unique_ptr<AboutBox> createForm(QWidget* parent = nullptr) const;
    // Shows the box modally, centred on the screen; true when it was closed with OK.
    bool execute();

  private:
    QString productName_;
    QString version_;
    QString copyright_;
    QString comments_;
};

// The Help menu's "&About": the box for this program, owned by the given window while it is shown.
void showAboutBox(QWidget* owner);

}  // namespace morrowtide::gui
