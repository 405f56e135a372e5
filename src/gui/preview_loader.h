// Reads the headers of the photos under a source folder on a worker thread and hands them to the GUI thread in
// batches, so a large folder never freezes the window. The worker shares nothing with the GUI thread: it gets the
// folder by value and gives back copies of what it read.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <vector>

#include "gui/preview_photo.h"

class QThread;

namespace morrowtide::gui {

class PreviewLoader : public QObject {
    Q_OBJECT

  public:
    // Called on the GUI thread, for the reading started last only.
    struct Callbacks {
        std::function<void(int count)> listed;                          // the folder was searched
        std::function<void(std::vector<PhotoHeader> photos)> photosRead;  // the next photos of the list, in order
        std::function<void()> finished;                                 // every listed photo was read
        std::function<void()> invalidFolder;                            // the source folder does not exist
    };

    explicit PreviewLoader(Callbacks callbacks, QObject* parent = nullptr);
    ~PreviewLoader() override;

    // Stops a reading under way (its results are dropped) and starts reading `sourceFolder`.
    void start(const QString& sourceFolder, bool recurse);
    // Stops a reading under way; nothing more is handed over.
    void stop();
    bool isReading() const { return thread_ != nullptr; }

  private:
    void work(QString sourceFolder, bool recurse, quint64 generation);
    // Runs `step` on the GUI thread if the reading it comes from is still the current one.
    void post(quint64 generation, std::function<void()> step);
    // Waits for the worker, which has ended or is about to, and lets its thread go.
    void reap();

    Callbacks callbacks_;
    QThread* thread_ = nullptr;
    quint64 generation_ = 0;
};

}  // namespace morrowtide::gui
