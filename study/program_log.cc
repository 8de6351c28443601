#include "study/program_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/diag.h"
#include "study/study_files.h"
#include "study/study_text.h"

namespace kestrelio {
namespace {

constexpr size_t kTimestampBytes = 19;
constexpr size_t kTailBytes = kTimestampBytes + 2;  // and CR LF

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Closes the descriptor when it goes out of scope.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

bool ReadAt(int fd, char* out, size_t bytes, off_t offset) {
  size_t done = 0;
  while (done < bytes) {
    ssize_t n = ::pread(fd, out + done, bytes - done, offset + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool WriteAt(int fd, std::string_view text, off_t offset) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n =
        ::pwrite(fd, text.data() + done, text.size() - done, offset + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string FormatProgramLine(std::string_view device_id, std::string_view start_time,
                              const StudyTime& now) {
  std::string line = OneLineField(device_id);
  line.append(", ");
  line.append(OneLineField(start_time));
  line.append(", ");
  line.append(FormatStudyTimestamp(now));
  line.append("\r\n");
  return line;
}

bool EndsWithTimestampLine(std::string_view tail) {
  // "dddd-dd-dd dd:dd:dd\r\n"
  constexpr std::string_view kShape = "dddd-dd-dd dd:dd:dd\r\n";
  if (tail.size() != kShape.size()) return false;
  for (size_t i = 0; i < kShape.size(); ++i) {
    if (kShape[i] == 'd' ? !IsDigit(tail[i]) : tail[i] != kShape[i]) return false;
  }
  return true;
}

ProgramLogUpdate UpdateProgramLog(const std::string& path, std::string_view device_id,
                                  std::string_view start_time, const StudyTime& now) {
  const std::string stamp = FormatStudyTimestamp(now);
  {
    FileDescriptor file(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    const off_t size = file.get() < 0 ? -1 : ::lseek(file.get(), 0, SEEK_END);
    char tail[kTailBytes];
    if (size >= static_cast<off_t>(kTailBytes) && stamp.size() == kTimestampBytes &&
        ReadAt(file.get(), tail, kTailBytes, size - static_cast<off_t>(kTailBytes)) &&
        EndsWithTimestampLine(std::string_view(tail, kTailBytes))) {
      if (WriteAt(file.get(), stamp, size - static_cast<off_t>(kTailBytes))) {
        return ProgramLogUpdate::kInPlace;
      }
      Diag("cannot update %s in place: %s", path.c_str(), std::strerror(errno));
      return ProgramLogUpdate::kFailed;
    }
  }
  // AppendLine closes a line cut short first, so the fresh line starts a line of its own.
  const std::string line = FormatProgramLine(device_id, start_time, now);
  return AppendLine(path, line) ? ProgramLogUpdate::kAppended : ProgramLogUpdate::kFailed;
}

}  // namespace kestrelio
