// Lets a producer wake the worker that drains what it produced, so the worker can sleep
// until there is work instead of polling. The producer never waits beyond the worker's
// short sleep mutex and allocates nothing.
//
//   producer: commit the item, then waker.Wake();
//   consumer: waker.Attach(&worker) before its loop, Attach(nullptr) after Stop().
#pragma once

#include <atomic>

#include "base/worker.h"

namespace kestrelio {

class WorkerWaker {
 public:
  void Attach(Worker* worker) { worker_.store(worker, std::memory_order_release); }
  void Wake() const {
    if (Worker* worker = worker_.load(std::memory_order_acquire)) worker->Wake();
  }

 private:
  std::atomic<Worker*> worker_{nullptr};
};

}  // namespace kestrelio
