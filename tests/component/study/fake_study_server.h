// A scripted HTTP server on 127.0.0.1 for the study client's tests: records every
// request's raw bytes and answers each from a script keyed by the path's start, or not
// at all. Making one clears the proxy variables of the test process.
#pragma once

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kestrelio::testing_support {

class FakeStudyServer {
 public:
  enum class Mode {
    kReply,   // a whole HTTP/1.0 reply with the scripted body
    kSilent,  // take the request and never answer
    kClose,   // close without a byte
  };

  FakeStudyServer();
  ~FakeStudyServer();
  FakeStudyServer(const FakeStudyServer&) = delete;
  FakeStudyServer& operator=(const FakeStudyServer&) = delete;

  int port() const { return port_; }
  // Requests whose path starts with `path_prefix` get this answer; the longest prefix
  // wins; unscripted paths get "404".
  void Script(const std::string& path_prefix, Mode mode, const std::string& body = "",
              int status = 200);
  std::vector<std::string> Requests() const;
  bool WaitForRequests(size_t count, int limit_ms = 20000) const;

 private:
  struct Answer {
    Mode mode = Mode::kReply;
    std::string body;
    int status = 200;
  };
  void Serve();
  void Handle(int connection);
  Answer AnswerFor(const std::string& request) const;

  int listener_ = -1;
  int port_ = 0;
  int wake_[2] = {-1, -1};
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::map<std::string, Answer> script_;
  std::vector<std::string> requests_;
  std::vector<int> held_;
  std::thread thread_;
};

// A port on 127.0.0.1 where nothing listens.
int ClosedPort();

}  // namespace kestrelio::testing_support
