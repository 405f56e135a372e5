// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: source and destination folders and the time offset ("Photos"), the naming options and the output
// file mask ("Options"), the Go button that starts a batch run, and the menu.
#pragma once

#include <QLineEdit>
#include <QMainWindow>
#include <QSpinBox>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "app/batch_host.h"
#include "app/naming.h"
#include "app/settings_file.h"

class QAction;
class QCheckBox;
class QLabel;
class QPushButton;
class QTabWidget;
class QTimer;

namespace morrowtide::gui {

class MessageBoxes;
class PreviewWindow;
class ProgressDialog;
struct ProgramHelp;

// The mask field: the characters that can never be part of a file name are dropped as they are typed, and losing the
// focus to another control of the window is reported (not a switch to another window or a box popping up).
class MaskEdit : public QLineEdit {
    Q_OBJECT

  public:
    using QLineEdit::QLineEdit;
    static bool isRefusedCharacter(const QString& typed);

  signals:
    void focusLost();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};

// A box of the time offset. Typing is never refused, so a number can be typed whole whatever its digits on the way
// (99, -30); when the box loses the focus a whole number out of range goes to the nearest limit, and text that is no
// whole number ("1.5", "") gives back the value the box had.
class OffsetSpinBox : public QSpinBox {
    Q_OBJECT

  public:
    OffsetSpinBox(int minimum, int maximum, QWidget* parent);

  protected:
    QValidator::State validate(QString& text, int& pos) const override;
    void fixup(QString& text) const override;
    QString textFromValue(int value) const override;
};

// The folder a folder picker opens at for the text of its field: the folder itself or the nearest parent of it that
// exists; the user's home folder when the text is empty.
QString nearestExistingFolder(const QString& text);

// What the window takes from its surroundings; tests set every field.
struct MainWindowSetup {
    QString settingsPath;                  // empty: the user's configuration folder (see app::defaultSettingsFilePath)
    QString documentsFolder;               // empty: the user's documents folder, or home when there is none
    MessageBoxes* messageBoxes = nullptr;  // nullptr: real message boxes
    // Runs one batch with the host and gives its file list, nullopt when the run declined to start (the overwrite
    // question answered No), which leaves the list of the run before. Empty: the batch run engine.
    std::function<std::optional<QStringList>(app::BatchHost&)> runBatch;
    // The current date and time for the mask example; empty: the system clock.
    app::Clock clock;
    // Picks a folder: (parent, title, offer creating a new folder, folder to open at) -> path, empty on cancel.
    // Empty: QFileDialog.
    std::function<QString(QWidget*, const QString&, bool, const QString&)> pickFolder;
    // Picks one photo for "Set from a photo…": (parent, title, folder to open at) -> path, empty on cancel.
    // Empty: QFileDialog.
    std::function<QString(QWidget*, const QString&, const QString&)> pickPhoto;
    // Asks for the true date and time of a photo: (parent, photo path, recorded date-time) -> the true date-time,
    // nullopt on cancel. Empty: the "Set from a photo" dialog.
    std::function<std::optional<double>(QWidget*, const QString&, double)> askTrueTime;
};

class MainWindow : public QMainWindow {
    Q_OBJECT

  public:
    explicit MainWindow(MainWindowSetup setup = {});
    ~MainWindow() override;

    // The options as the widgets hold them now, with the cameras' offsets and the zones the preview window holds;
    // the mask is the one accepted last.
    app::RunOptions currentOptions() const;
    // "Cameras…": the preview window on its page of the cameras' offsets and the zones.
    void showCameras();
    // The Options tab and the cameras' choices as they would be saved.
    app::SavedOptions savedOptions() const;

    ProgressDialog& progressDialog() const { return *progress_; }
    MessageBoxes& messageBoxes() const { return *boxes_; }
    const QString& settingsPath() const { return settingsPath_; }
    const QStringList& fileList() const { return fileList_; }
    // The prepared mask accepted last and the text it came from.
    const QString& formatMask() const { return namer_.formatMask(); }
    const QString& formatMaskText() const { return namer_.formatMaskText(); }

    // "Go": one batch run over the source folder; a second start while one runs is ignored.
    void startRun();
    void enableShowLog();

    // The menu commands and the folder pickers.
    void saveOptions();
    void showLog();
    void showHelpContents();
    void showAbout();
    void pickSourceFolder();
    void pickDestinationFolder();
    // "Set from a photo…" on the Photos tab: a photo picked with a file dialog.
    void setOffsetFromPickedPhoto();
    // The offset boxes from one photo: its recorded date and time, and the true one the user types (in a dialog
    // over `over`, the main window when null).
    void setOffsetFromPhoto(const QString& path, QWidget* over = nullptr);

    // "Preview…": opens the preview window, which follows the edits while it is open.
    void showPreview();
    // The preview window (hidden until first opened); it holds the cameras' offsets and the zones from the start.
    PreviewWindow* previewWindow() const { return preview_; }
    // The options the preview shows: those of the moment, with the mask as the field holds it when it can be used.
    app::RunOptions previewOptions() const;

    // Whether Enter starts a run now: not again after a run until the user changes something (Go itself always
    // starts one).
    bool enterStartsRun() const { return enterStartsRun_; }

  signals:
    // The options as they are being edited (a burst of edits gives one signal), for the preview.
    void optionsEdited(const app::RunOptions& options);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void buildPhotosTab(QWidget* page);
    void buildOptionsTab(QWidget* page);
    void buildMenu();
    // The options as this window's own widgets hold them.
    app::RunOptions boxOptions() const;
    void loadOptions();
    // The naming boxes that decide whether the mask is used and what "*FILENAME" becomes.
    app::NamingOptions namingOptions() const;
    // Accepts the mask as the field holds it, or asks "Invalid file mask" and puts things right. A mask whose
    // copies would be hidden (an empty name, or one beginning with ".") is refused the same way, with the reason.
    void maskFocusLost();
    // The "Invalid file mask" question for a mask that failed; OK goes back to the field on the Options tab.
    void askAboutInvalidMask(const QString& text);
    // A mask from the settings file that failed at start-up, asked about once the window is on the screen.
    void reportMaskFromSettings();
    QString pickFolder(const QString& title, bool offerNewFolder, const QString& fieldText);
    // Enter anywhere in the window: Go, unless a run has ended since the user last changed something.
    void enterPressed();
    void userChangedSomething();
    // Names the cameras' offsets and the zones in force under the offset boxes; hidden when there are none.
    void showCameraChoices();

    MainWindowSetup setup_;
    std::unique_ptr<MessageBoxes> ownBoxes_;
    MessageBoxes* boxes_;
    ProgressDialog* progress_;
    std::unique_ptr<ProgramHelp> help_;
    QString settingsPath_;
    QStringList fileList_;
    app::FileNamer namer_;  // holds the accepted mask
    bool running_ = false;
    bool closeAfterRun_ = false;
    bool centred_ = false;
    bool enterStartsRun_ = true;
    bool maskFailedAtStart_ = false;

    QTabWidget* pageControl_ = nullptr;
    QLineEdit* edtDir_ = nullptr;
    QPushButton* btnDir_ = nullptr;
    QLineEdit* edtOutputDir_ = nullptr;
    QPushButton* btnOutput_ = nullptr;
    OffsetSpinBox* spinDays_ = nullptr;     // SpinEdit4
    OffsetSpinBox* spinHours_ = nullptr;    // SpinEdit1
    OffsetSpinBox* spinMinutes_ = nullptr;  // SpinEdit2
    OffsetSpinBox* spinSeconds_ = nullptr;  // SpinEdit3
    QCheckBox* cbRec_ = nullptr;
    QCheckBox* cbAutoRename_ = nullptr;
    QCheckBox* cbIncPrevFName_ = nullptr;
    QCheckBox* cbIncDateTime_ = nullptr;
    QCheckBox* cbOverwriteDateTime_ = nullptr;
    QCheckBox* cbPreserveModDate_ = nullptr;
    QCheckBox* cbAllTypes_ = nullptr;
    QSpinBox* seJobs_ = nullptr;  // photos worked on at once; 0 "Automatic"
    MaskEdit* edtOutputFileMask_ = nullptr;
    QLabel* lblDateFormatExample_ = nullptr;
    QPushButton* btnSetFromPhoto_ = nullptr;
    QPushButton* btnPreview_ = nullptr;
    PreviewWindow* preview_ = nullptr;
    QTimer* previewTimer_ = nullptr;   // gathers a burst of edits into one update of the preview
    QPushButton* btnGo_ = nullptr;     // BitBtn1
    QPushButton* btnClose_ = nullptr;  // BitBtn2
    QAction* showLog_ = nullptr;
    QPushButton* btnCameras_ = nullptr;
    QLabel* lblCameraChoices_ = nullptr;
};

}  // namespace morrowtide::gui
