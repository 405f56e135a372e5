// The main window: source and destination folders and the time offset ("Photos"), the naming options and the output
// file mask ("Options"), the Go button that starts a batch run, and the menu.
#pragma once

#include <QLineEdit>
#include <QMainWindow>
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
class QSpinBox;
class QTabWidget;

namespace morrowtide::gui {

class MessageBoxes;
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
    // Picks a folder: (parent, title, offer creating a new folder) -> path, empty on cancel. Empty: QFileDialog.
    std::function<QString(QWidget*, const QString&, bool)> pickFolder;
};

class MainWindow : public QMainWindow {
    Q_OBJECT

  public:
    explicit MainWindow(MainWindowSetup setup = {});
    ~MainWindow() override;

    // The options as the widgets hold them now; the mask is the one accepted last.
    app::RunOptions currentOptions() const;
    // The Options tab as it would be saved.
    app::SavedOptions savedOptions() const;

    ProgressDialog& progressDialog() const { return *progress_; }
    MessageBoxes& messageBoxes() const { return *boxes_; }
    const QString& settingsPath() const { return settingsPath_; }
    const QStringList& fileList() const { return fileList_; }
    // The prepared mask accepted last and the text it came from.
    const QString& formatMask() const { return namer_.formatMask(); }
    const QString& formatMaskText() const { return namer_.formatMaskText(); }
    bool isRunning() const { return running_; }

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

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void buildPhotosTab(QWidget* page);
    void buildOptionsTab(QWidget* page);
    void buildMenu();
    void loadOptions();
    // Accepts the mask as the field holds it, or asks "Invalid file mask" and puts things right.
    void maskFocusLost();
    QString pickFolder(const QString& title, bool offerNewFolder);

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

    QTabWidget* pageControl_ = nullptr;
    QLineEdit* edtDir_ = nullptr;
    QPushButton* btnDir_ = nullptr;
    QLineEdit* edtOutputDir_ = nullptr;
    QPushButton* btnOutput_ = nullptr;
    QSpinBox* spinDays_ = nullptr;     // SpinEdit4
    QSpinBox* spinHours_ = nullptr;    // SpinEdit1
    QSpinBox* spinMinutes_ = nullptr;  // SpinEdit2
    QSpinBox* spinSeconds_ = nullptr;  // SpinEdit3
    QCheckBox* cbRec_ = nullptr;
    QCheckBox* cbAutoRename_ = nullptr;
    QCheckBox* cbIncPrevFName_ = nullptr;
    QCheckBox* cbIncDateTime_ = nullptr;
    QCheckBox* cbOverwriteDateTime_ = nullptr;
    QCheckBox* cbPreserveModDate_ = nullptr;
    MaskEdit* edtOutputFileMask_ = nullptr;
    QLabel* lblDateFormatExample_ = nullptr;
    QPushButton* btnGo_ = nullptr;     // BitBtn1
    QPushButton* btnClose_ = nullptr;  // BitBtn2
    QAction* showLog_ = nullptr;
};

}  // namespace morrowtide::gui
