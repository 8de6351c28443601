// One way to run a worker thread: a name, a thread with its own stop source (made
// before the thread starts, so the body never reads a member being assigned), an
// interruptible sleep on its stop token, and Stop() = request + join, which the owner calls before
// the resources the body uses go away.
//
//   Worker worker;
//   worker.Start("keepalive", [&](std::stop_token stop) {
//     while (!stop.stop_requested()) {
//       SendKeepAlive();
//       if (!worker.SleepFor(10000)) break;  // false: stop was requested
//     }
//   });
//   ...
//   worker.Stop();
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

namespace kestrelio {

class Worker {
 public:
  using Body = std::function<void(std::stop_token)>;

  Worker() = default;
  ~Worker() { Stop(); }
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // Starts `body` on a new thread called `name` (at most 15 characters reach the
  // system). False, with a diagnostic line, when the thread cannot be created or one
  // is still running.
  bool Start(std::string name, Body body);

  // Asks the body to stop and wakes SleepFor; does not wait.
  void RequestStop();
  // Asks, then joins. Safe when never started, and a second time. Never call it from
  // the body itself.
  void Stop();

  bool Running() const { return thread_.joinable(); }
  bool StopRequested() const { return stop_.stop_requested(); }
  std::stop_token Token() const { return stop_.get_token(); }
  const std::string& name() const { return name_; }

  // From the body: sleeps `ms` milliseconds or until Wake() or a stop request.
  // False when stop was requested.
  bool SleepFor(int ms);
  // Ends the current (or the next) SleepFor early, without asking the body to stop.
  void Wake();

 private:
  std::string name_;
  std::mutex mutex_;
  std::condition_variable_any wake_;
  bool woken_ = false;  // under mutex_
  std::stop_source stop_;
  std::thread thread_;
};

}  // namespace kestrelio
