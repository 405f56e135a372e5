// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/worker_pool.h"

#include <algorithm>
#include <utility>

namespace morrowtide::app {

int defaultJobs() {
    const int cores = static_cast<int>(std::max(1U, std::thread::hardware_concurrency()));
    return std::min(2 * cores, 8);
}

int jobsFor(int setting) {
    return std::clamp(setting > 0 ? setting : defaultJobs(), 1, kMaxJobs);
}

WorkerPool::WorkerPool(int threads) {
    const int count = std::max(1, threads);
    threads_.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) threads_.emplace_back([this] { work(); });
}

WorkerPool::~WorkerPool() {
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

void WorkerPool::submit(std::function<void()> task) {
    {
        const std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    wake_.notify_one();
}

void WorkerPool::work() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return ending_ || !tasks_.empty(); });
            // The queue is emptied before the workers end, so no task is ever dropped.
            if (tasks_.empty()) return;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
    }
}

}  // namespace morrowtide::app
