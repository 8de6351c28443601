#include "study_server_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace kestrelio {

namespace {

constexpr auto kPatience = std::chrono::seconds(10);

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

std::string MakeTempFolder() {
  char path[] = "/tmp/kestrelio-study-server-XXXXXX";
  return mkdtemp(path) != nullptr ? path : "";
}

StudyServerProcess::StudyServerProcess(std::vector<std::string> extra_args, std::string bind)
    : folder_(MakeTempFolder()), bind_(std::move(bind)) {
  if (folder_.empty()) return;
  std::string out = folder_ + "/stdout.log";
  std::string err = folder_ + "/stderr.log";
  std::vector<std::string> args = {
      KESTRELIO_STUDY_SERVER_BIN, "--bind", bind_, "--port", "0", "--db", db_path()};
  args.insert(args.end(), extra_args.begin(), extra_args.end());
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  int result = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (result != 0) {
    pid_ = -1;
    return;
  }
  if (!WaitForLog("\"event\":\"listening\"")) return;
  std::string log = Log();
  size_t at = log.find("\"port\":");
  if (at != std::string::npos) port_ = std::atoi(log.c_str() + at + 7);
}

StudyServerProcess::~StudyServerProcess() {
  Stop();
  if (!folder_.empty()) std::filesystem::remove_all(folder_);
}

std::string StudyServerProcess::base_url() const {
  return "http://" + bind_ + ":" + std::to_string(port_);
}

std::string StudyServerProcess::Log() const { return ReadAll(folder_ + "/stdout.log"); }

std::string StudyServerProcess::Errors() const { return ReadAll(folder_ + "/stderr.log"); }

bool StudyServerProcess::WaitForLog(const std::string& text) const {
  auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (std::chrono::steady_clock::now() < deadline) {
    if (Log().find(text) != std::string::npos) return true;
    if (pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == pid_) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

int StudyServerProcess::Stop(int signal) {
  if (pid_ <= 0) return -1;
  kill(pid_, signal);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  port_ = 0;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace kestrelio
