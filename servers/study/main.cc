// kestrelio-study-server [--bind ADDR] [--port N] [--db FILE] [--surveys DIR]
//                        [--researcher-password-file FILE]
//
// Prints one JSON line per request on stdout, the first one {"event":"listening",...}
// with the bound address and port (useful with --port 0). Stops cleanly on SIGINT or
// SIGTERM: the HTTP server ends, the database is closed, a last "stopped" line follows.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "base/diag.h"
#include "base/worker.h"
#include "servers/study/json_line.h"
#include "servers/study/study_server.h"
#include "servers/study/study_store.h"
#include "servers/study/survey_bank.h"

namespace kestrelio {
namespace {

struct Options {
  std::string bind = "127.0.0.1";
  int port = 80;
  std::string db = "study.db";
  std::string surveys;  // empty: the installed bank
  std::string password_file;
};

int Usage() {
  std::fprintf(stderr,
               "usage: kestrelio-study-server [--bind ADDR] [--port N] [--db FILE] "
               "[--surveys DIR] [--researcher-password-file FILE]\n");
  return 2;
}

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (i + 1 >= argc) return false;
    const char* value = argv[++i];
    if (arg == "--bind") {
      options->bind = value;
    } else if (arg == "--port") {
      char* end = nullptr;
      long port = std::strtol(value, &end, 10);
      if (*value == '\0' || *end != '\0' || port < 0 || port > 65535) return false;
      options->port = static_cast<int>(port);
    } else if (arg == "--db") {
      options->db = value;
    } else if (arg == "--surveys") {
      options->surveys = value;
    } else if (arg == "--researcher-password-file") {
      options->password_file = value;
    } else {
      return false;
    }
  }
  return !options->db.empty();
}

// The first line of the file, without its line end. No file or an empty password:
// the researcher pages stay off (the uploads are served regardless).
std::optional<std::string> ReadPassword(const std::string& path) {
  if (path.empty()) return std::nullopt;
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line)) {
    Diag("study: cannot read researcher password file %s; researcher pages are off", path.c_str());
    return std::nullopt;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.empty()) {
    Diag("study: researcher password file %s is empty; researcher pages are off", path.c_str());
    return std::nullopt;
  }
  return line;
}

// Closes a descriptor when it goes out of scope.
class ScopedFd {
 public:
  explicit ScopedFd(int fd) : fd_(fd) {}
  ~ScopedFd() {
    if (fd_ >= 0) close(fd_);
  }
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

int Run(const Options& options) {
  // Blocked before any thread starts, so every thread inherits the mask and the signals
  // arrive only on the descriptor read below.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  ScopedFd signal_fd(signalfd(-1, &stop_signals, SFD_CLOEXEC));
  if (signal_fd.get() < 0) {
    Diag("study: signalfd: %s", std::strerror(errno));
    return 1;
  }

  StudyStore store(options.db);
  if (!store.ok()) return 1;
  std::string survey_folder = options.surveys.empty() ? DefaultSurveyFolder() : options.surveys;
  SurveyBank surveys(survey_folder, stdout);

  StudyServerConfig config;
  config.db_path = options.db;
  config.researcher_password = ReadPassword(options.password_file);
  config.log = stdout;
  bool researcher = config.researcher_password.has_value();
  StudyServer server(std::move(config), store, surveys);
  int port = server.Bind(options.bind, options.port);
  if (port < 0) {
    Diag("study: cannot listen on %s:%d", options.bind.c_str(), options.port);
    return 1;
  }
  JsonLine(stdout, "listening")
      .Text("address", options.bind)
      .Number("port", port)
      .Text("db", options.db)
      .Text("surveys", survey_folder)
      .Number("survey_pages", static_cast<int64_t>(surveys.loaded()))
      .Number("survey_pages_refused", static_cast<int64_t>(surveys.refused()))
      .Text("researcher_pages", researcher ? "on" : "off")
      .Write();

  Worker http_thread;
  std::atomic<bool> served{true};
  std::atomic<bool> finished{false};
  http_thread.Start("study-http", [&](std::stop_token) {
    if (!server.Run()) {
      served = false;
      kill(getpid(), SIGTERM);  // wakes the wait below
    }
    finished = true;
  });

  signalfd_siginfo info{};
  ssize_t got;
  do {
    got = read(signal_fd.get(), &info, sizeof info);
  } while (got < 0 && errno == EINTR);

  // A stop that comes before the server thread has begun to listen is not seen by it,
  // so it is repeated until the thread has returned.
  while (!finished) {
    server.Stop();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  http_thread.Stop();
  JsonLine(stdout, "stopped").Number("signal", static_cast<int64_t>(info.ssi_signo)).Write();
  std::fflush(stdout);
  return served ? 0 : 1;
}

}  // namespace
}  // namespace kestrelio

int main(int argc, char** argv) {
  kestrelio::SetThreadName("study-server");
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  kestrelio::Options options;
  if (!kestrelio::ParseOptions(argc, argv, &options)) return kestrelio::Usage();
  return kestrelio::Run(options);
}
