#include "base/worker.h"

#include <pthread.h>

#include <chrono>
#include <system_error>

#include "base/diag.h"

namespace kestrelio {

bool Worker::Start(std::string name, Body body) {
  if (thread_.joinable()) {
    Diag("Worker %s: already running", name.c_str());
    return false;
  }
  name_ = std::move(name);
  stop_ = std::stop_source();
  {
    std::lock_guard lock(mutex_);
    woken_ = false;
  }
  try {
    thread_ = std::thread(
        [body = std::move(body), stop = stop_.get_token(), short_name = name_.substr(0, 15)] {
          // The kernel keeps 15 characters and the NUL.
          pthread_setname_np(pthread_self(), short_name.c_str());
          body(stop);
        });
  } catch (const std::system_error& e) {
    Diag("Worker %s: cannot create thread: %s", name_.c_str(), e.what());
    return false;
  }
  return true;
}

void Worker::RequestStop() {
  stop_.request_stop();
  // condition_variable_any::wait_for with a stop token wakes on request_stop itself;
  // the notify covers a sleeper that checked the token just before.
  std::lock_guard lock(mutex_);
  wake_.notify_all();
}

void Worker::Stop() {
  if (!thread_.joinable()) return;
  RequestStop();
  thread_.join();
}

bool Worker::SleepFor(int ms) {
  std::stop_token stop = stop_.get_token();
  std::unique_lock lock(mutex_);
  wake_.wait_for(lock, stop, std::chrono::milliseconds(ms < 0 ? 0 : ms), [this] { return woken_; });
  woken_ = false;
  return !stop.stop_requested();
}

void Worker::Wake() {
  std::lock_guard lock(mutex_);
  woken_ = true;
  wake_.notify_all();
}

}  // namespace kestrelio
