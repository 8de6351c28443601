#include "tests/support/server_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace kestrelio {

namespace {
constexpr auto kPatience = std::chrono::seconds(10);
}

ServerProcess::ServerProcess(std::vector<std::string> extra_args) {
  char path[] = "/tmp/kestrelio-presence-XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) return;
  close(fd);
  log_path_ = path;

  std::vector<std::string> args = {KESTRELIO_PRESENCE_BIN, "--bind", "127.0.0.1", "--port", "0"};
  args.insert(args.end(), extra_args.begin(), extra_args.end());
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log_path_.c_str(), O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  int result = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (result != 0) {
    pid_ = -1;
    return;
  }
  if (!WaitForLog("\"event\":\"listening\"")) return;
  std::string log = Log();
  size_t at = log.find("\"port\":");
  if (at == std::string::npos) return;
  address_ = NetAddress{0x7F000001, static_cast<uint16_t>(std::atoi(log.c_str() + at + 7))};
}

ServerProcess::~ServerProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  if (!log_path_.empty()) unlink(log_path_.c_str());
}

std::string ServerProcess::Log() const {
  std::ifstream in(log_path_);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool ServerProcess::WaitForLog(const std::string& text) const {
  auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (std::chrono::steady_clock::now() < deadline) {
    if (Log().find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

}  // namespace kestrelio
