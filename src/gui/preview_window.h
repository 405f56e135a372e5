// SPDX-License-Identifier: GPL-3.0-or-later
// The preview window: the table of the listed photos with what a run with the main window's options would do to
// each, the selected photo's EXIF thumbnail, the progress while a folder is read, and "Set from a photo…" for the
// selected photo. A window of its own beside the main window: it can be resized, maximised and left open.
#pragma once

#include <QLocale>
#include <QString>
#include <QWidget>

#include "app/batch_host.h"
#include "app/naming.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTableView;
class QTimer;

namespace morrowtide::gui {

class PreviewLoader;
class PreviewModel;

class PreviewWindow : public QWidget {
    Q_OBJECT

  public:
    // The locale and clock the names are formatted with (the run's, unless a test fixes them).
    explicit PreviewWindow(QWidget* parent = nullptr, const QLocale& locale = QLocale::system(),
                           app::Clock clock = app::currentLocalDateTime);
    ~PreviewWindow() override;

    // The options of the moment. The table is planned again; the folder is listed again (on the worker) when the
    // source folder, the recursion, the choice of other file types or a destination inside the source changed.
    // While the window is hidden all of it waits for the next showing.
    void setOptions(const app::RunOptions& options);
    // Reads every header of the source folder again (the photos may have changed on disk).
    void refresh();

    PreviewModel& model() const { return *model_; }
    QTableView& table() const { return *table_; }
    bool isReading() const;
    // The selected row, -1 when none.
    int selectedRow() const;

  signals:
    // "Set from a photo…" for the photo at the path.
    void setFromPhotoRequested(const QString& path);
    // A reading ended: every listed photo is in the table, or the folder was found missing.
    void readingFinished();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    // Starts a reading when the table does not hold what the options list.
    void readIfStale();
    void showProgress();
    void showSummary();
    void showSelected();
    void requestSetFromPhoto();

    app::RunOptions options_;
    bool optionsShown_ = false;  // the table is planned with options_
    bool hasRead_ = false;
    bool readAgain_ = false;  // every header is to be read anew at the next reading
    QString readFolder_;      // what the table holds: the folder, recursion and destination it was listed with
    bool readRecurse_ = true;
    bool readAllTypes_ = false;
    QString readDestination_;
    PreviewModel* model_ = nullptr;
    PreviewLoader* loader_ = nullptr;
    QTimer* progressTimer_ = nullptr;
    QTableView* table_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* refresh_ = nullptr;
    QLabel* thumbnail_ = nullptr;
    QLabel* selectedCaption_ = nullptr;
    QPushButton* setFromPhoto_ = nullptr;
};

}  // namespace morrowtide::gui
