// SPDX-License-Identifier: GPL-3.0-or-later
// A few threads that take tasks from one queue: the batch run reads and writes several photos at once on them, the
// preview reads its headers on them. Owned by whoever runs the work; nothing is shared between pools.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace morrowtide::app {

// The number of photos worked on at once when the setting leaves it to the program (0): twice the cores, at most 8.
// The workers mostly wait for the kernel's copy, so more of them than cores keeps the disk busy.
int defaultJobs();
// The number of workers a setting asks for: `setting` itself when positive, defaultJobs() otherwise; never more
// than kMaxJobs.
int jobsFor(int setting);
inline constexpr int kMaxJobs = 8;

class WorkerPool {
  public:
    // `threads` workers (at least one). A program that runs a pool sets M_MMAP_THRESHOLD in its main(): see there.
    explicit WorkerPool(int threads);
    // Waits for the tasks queued and under way, then ends the workers.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Queues a task; tasks start in the order queued. A task must not throw.
    void submit(std::function<void()> task);
    int size() const { return static_cast<int>(threads_.size()); }

  private:
    void work();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    bool ending_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace morrowtide::app
