#include "servers/study/bounded_task_queue.h"

#include <string>

namespace kestrelio {

BoundedTaskQueue::BoundedTaskQueue(size_t threads, size_t max_queued) : max_queued_(max_queued) {
  for (size_t i = 0; i < threads; ++i) {
    auto worker = std::make_unique<Worker>();
    worker->Start("study-http-" + std::to_string(i), [this](std::stop_token) { Serve(); });
    workers_.push_back(std::move(worker));
  }
}

BoundedTaskQueue::~BoundedTaskQueue() { shutdown(); }

void BoundedTaskQueue::enqueue(std::function<void()> job) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return jobs_.size() < max_queued_ || shutting_down_; });
  jobs_.push_back(std::move(job));
  changed_.notify_all();
}

void BoundedTaskQueue::shutdown() {
  {
    std::lock_guard lock(mutex_);
    shutting_down_ = true;
  }
  changed_.notify_all();
  for (auto& worker : workers_) worker->Stop();
}

void BoundedTaskQueue::Serve() {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return !jobs_.empty() || shutting_down_; });
      if (jobs_.empty()) return;  // shutting down with nothing left
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    changed_.notify_all();  // room for the accepting thread
    job();
  }
}

}  // namespace kestrelio
