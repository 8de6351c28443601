#include "dialogs/history_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/diag.h"

namespace kestrelio {
namespace {

// Closes a descriptor on every path out.
struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
  int Release() {
    const int out = fd;
    fd = -1;
    return out;
  }
};

bool WriteAll(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t written = ::write(fd, content.data(), content.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    content.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

bool ReplaceFileAtomically(const std::string& path, std::string_view content) {
  const std::string temporary = path + ".new";
  Descriptor file{::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)};
  if (file.fd < 0) {
    Diag("cannot write %s: %s", temporary.c_str(), std::strerror(errno));
    return false;
  }
  const bool written = WriteAll(file.fd, content) && ::fsync(file.fd) == 0;
  const int error = errno;
  const bool closed = ::close(file.Release()) == 0;
  if (!written || !closed) {
    Diag("cannot write %s: %s", temporary.c_str(), std::strerror(written ? errno : error));
    ::unlink(temporary.c_str());
    return false;
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    Diag("cannot replace %s: %s", path.c_str(), std::strerror(errno));
    ::unlink(temporary.c_str());
    return false;
  }
  // The rename itself is on disk only once the folder is.
  Descriptor folder{::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  if (folder.fd >= 0 && ::fsync(folder.fd) != 0) {
    Diag("cannot flush the folder of %s: %s", path.c_str(), std::strerror(errno));
  }
  return true;
}

std::vector<HistoryEntry> LoadHistory(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return {};  // no calls yet
  HistoryReader reader;
  reader.TakeStream(file);
  const bool read_error = std::ferror(file) != 0;
  std::fclose(file);
  std::vector<HistoryEntry> entries = reader.Entries();
  if (read_error) {
    // What could not be read must not be thrown away by a rewrite.
    Diag("history: %s could not be read to the end; not trimmed", path.c_str());
    return entries;
  }
  if (reader.NeedsRewrite()) ReplaceFileAtomically(path, HistoryRewriteText(entries));
  return entries;
}

}  // namespace kestrelio
