// The HTTP server's connection workers: a fixed number of threads and a bounded queue of
// accepted connections. When the queue is full, the accepting thread waits for room, so
// a flood of connections backs up in the kernel's listen queue instead of in memory.
#pragma once

#include <httplib.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "base/worker.h"

namespace kestrelio {

class BoundedTaskQueue final : public httplib::TaskQueue {
 public:
  BoundedTaskQueue(size_t threads, size_t max_queued);
  ~BoundedTaskQueue() override;

  void enqueue(std::function<void()> job) override;
  // Runs what is queued (each job closes its connection), then joins the threads.
  void shutdown() override;

 private:
  void Serve();

  size_t max_queued_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> jobs_;  // under mutex_
  bool shutting_down_ = false;              // under mutex_
  std::vector<std::unique_ptr<Worker>> workers_;
};

}  // namespace kestrelio
