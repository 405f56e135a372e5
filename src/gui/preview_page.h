// The "Preview" tab: the table of the listed photos with what a run would do to each, the selected photo's EXIF
// thumbnail, and the way to take the offset from one of them.
#pragma once

#include <QString>
#include <QWidget>

#include "app/batch_host.h"
#include "app/naming.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTableView;
class QAction;

namespace morrowtide::gui {

class PreviewLoader;
class PreviewModel;

class PreviewPage : public QWidget {
    Q_OBJECT

  public:
    explicit PreviewPage(const app::FileNamer& namer, QWidget* parent = nullptr);
    ~PreviewPage() override;

    // The options of the moment. The table is planned again at once; the folder is read again (on the worker) when
    // the source folder or the recursion changed and the page is on the screen, or at the next showing otherwise.
    void setOptions(const app::RunOptions& options);
    // Reads the source folder again, whatever was read before.
    void refresh();

    PreviewModel& model() const { return *model_; }
    QTableView& table() const { return *table_; }
    bool isReading() const;
    // The selected row, -1 when none.
    int selectedRow() const;

  signals:
    // "Set from this photo…" for the photo at the path.
    void setFromPhotoRequested(const QString& path);
    // Reading finished: every listed photo is in the table.
    void readingFinished();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void readIfStale();
    void showSelected();
    void requestSetFromPhoto();

    app::RunOptions options_;
    QString readFolder_;   // what the table holds: the folder and the recursion it was read with
    bool readRecurse_ = true;
    bool hasRead_ = false;
    PreviewModel* model_ = nullptr;
    PreviewLoader* loader_ = nullptr;
    QTableView* table_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* refresh_ = nullptr;
    QLabel* thumbnail_ = nullptr;
    QLabel* selectedCaption_ = nullptr;
    QPushButton* setFromPhoto_ = nullptr;
    QAction* setFromPhotoAction_ = nullptr;
    int listed_ = 0;
};

}  // namespace morrowtide::gui
