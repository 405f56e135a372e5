// SPDX-License-Identifier: GPL-3.0-or-later
// Lists the photos under a source folder and reads their headers on a worker thread, so a large folder never
// freezes the window. The worker shares nothing with the GUI thread but the counters of its progress: it gets the
// folders and the headers known already by value, and gives back the list's headers when it is done.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/photo_plan.h"

class QThread;

namespace morrowtide::gui {

using PhotoHeaders = std::vector<std::shared_ptr<const app::PhotoHeader>>;

class PreviewLoader : public QObject {
    Q_OBJECT

  public:
    // Called on the GUI thread, for the reading started last only.
    struct Callbacks {
        std::function<void(PhotoHeaders headers)> finished;  // every listed photo's header, in list order
        std::function<void()> invalidFolder;                 // the source folder does not exist
    };

    explicit PreviewLoader(Callbacks callbacks, QObject* parent = nullptr);
    ~PreviewLoader() override;

    // Stops a reading under way (its results are dropped) and lists `sourceFolder` as a run would (the destination
    // left out when it lies inside; with `allTypes` the other photo and video files too), then reads the headers of
    // the listed files. A file whose header was read by an earlier reading of the same folder is not read again,
    // unless `readAgain`.
    void start(const QString& sourceFolder, bool recurse, const QString& destinationFolder, bool allTypes,
               bool readAgain);
    // Stops a reading under way; nothing more is handed over.
    void stop();
    bool isReading() const { return thread_ != nullptr; }

    // The progress of the reading under way: the photos listed (-1 while the folder is searched) and the headers
    // at hand so far.
    int listed() const;
    int read() const;
    // The other photo and video files the last finished listing left out (0 when it took every type).
    int otherTypesLeftOut() const { return otherTypes_; }

  private:
    using HeaderCache = std::unordered_map<std::string, std::shared_ptr<const app::PhotoHeader>>;
    struct Progress;

    // Runs `step` on the GUI thread if the reading it comes from is still the current one.
    void post(quint64 generation, std::function<void()> step);
    // Waits for the worker, which has ended or is about to, and lets its thread go.
    void reap();

    Callbacks callbacks_;
    QThread* thread_ = nullptr;
    quint64 generation_ = 0;
    std::shared_ptr<Progress> progress_;
    QString cacheFolder_;  // the source folder the cached headers were read under
    HeaderCache cache_;    // by native path
    int otherTypes_ = 0;
};

}  // namespace morrowtide::gui
