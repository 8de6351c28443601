// Runs kestrelio-study-server as a child process on a loopback address with a free
// port, in a temporary folder that holds its database; stdout and stderr go to files.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace kestrelio {

class StudyServerProcess {
 public:
  // `extra_args` follow --bind, --port 0 and --db.
  explicit StudyServerProcess(std::vector<std::string> extra_args = {},
                              std::string bind = "127.0.0.7");
  ~StudyServerProcess();
  StudyServerProcess(const StudyServerProcess&) = delete;
  StudyServerProcess& operator=(const StudyServerProcess&) = delete;

  bool running() const { return port_ != 0; }
  // "http://ADDR:PORT"
  std::string base_url() const;
  const std::string& folder() const { return folder_; }
  std::string db_path() const { return folder_ + "/study.db"; }

  std::string Log() const;
  std::string Errors() const;
  bool WaitForLog(const std::string& text) const;
  // Sends `signal` and waits; the exit status (or -1 when it did not exit normally).
  int Stop(int signal = SIGTERM);

 private:
  std::string folder_;
  std::string bind_;
  pid_t pid_ = -1;
  int port_ = 0;
};

// A fresh temporary folder; the caller removes it.
std::string MakeTempFolder();

}  // namespace kestrelio
