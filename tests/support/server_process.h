// Runs kestrelio-presence as a child process on a free loopback port and reads its
// JSON-lines log from a temporary file.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "base/net_address.h"

namespace kestrelio {

class ServerProcess {
 public:
  explicit ServerProcess(std::vector<std::string> extra_args = {});
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  bool running() const { return address_.port != 0; }
  NetAddress address() const { return address_; }
  std::string Log() const;
  // Waits (bounded) until a log line contains `text`.
  bool WaitForLog(const std::string& text) const;

 private:
  std::string log_path_;
  pid_t pid_ = -1;
  NetAddress address_;
};

}  // namespace kestrelio
