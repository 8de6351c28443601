#include "study/log_upload.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>

#include "base/diag.h"
#include "study/file_move.h"
#include "study/study_text.h"

namespace kestrelio {
namespace {

// A study file grows by a few hundred bytes a record; one this large is not ours to send
// in one request, and reading it whole could exhaust the handset's memory.
constexpr off_t kMaxUploadBytes = off_t{64} << 20;

// What the five uploads do not share.
struct UploadKind {
  StudyUpload upload;
  std::string_view file;
  std::string_view server_path;
  std::string_view rotated_prefix;
  bool empty_fails;              // the survey results post an empty data field
  const char* http_open_failed;  // diagnostic text, with the error code
  std::string_view sent;
  std::string_view failed;
};

constexpr std::array<UploadKind, 5> kUploads = {{
    {StudyUpload::kSurveyResults, "survey_results.txt",
     "/research/kestrelio/fstd/surveyresults.php", "", false, "HTTP Open failed! (%d)",
     "Survey responses sent!", "Survey response sending failed."},
    {StudyUpload::kCallLog, "calllog.txt", "/research/kestrelio/fstd/calllogprocess.php", "calllog",
     true, "HTTP Open failed (%d)", "Call log sent!", "Call log sending failed."},
    {StudyUpload::kBatteryLog, "batterylog.txt", "/research/kestrelio/fstd/batterylogprocess.php",
     "batterylog", true, "HTTP Open failed (%d)", "Battery log sent!",
     "Battery log sending failed."},
    {StudyUpload::kIpLog, "iplog.txt", "/research/kestrelio/fstd/iplogprocess.php", "iplog", true,
     "HTTP Open failed (%d)", "IP log sent!", "IP log sending failed."},
    {StudyUpload::kProgramLog, "programlog.txt", "/research/kestrelio/fstd/programlogprocess.php",
     "programlog", true, "HTTP Open failed (%d)", "Program log sent!",
     "Program log sending failed."},
}};

const UploadKind& KindOf(StudyUpload upload) {
  for (const UploadKind& kind : kUploads) {
    if (kind.upload == upload) return kind;
  }
  return kUploads[0];
}

std::string InFolder(std::string folder, std::string_view name) {
  if (folder.empty() || folder.back() != '/') folder.push_back('/');
  folder.append(name);
  return folder;
}

std::string Formatted(const char* format, int value) {
  std::string text;
  AppendFormat(text, format, value);
  return text;
}

// Reads the whole file into `bytes`; false, with errno set, on a read error.
bool ReadWhole(int fd, off_t size, std::string& bytes) {
  bytes.resize(static_cast<size_t>(size));
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;  // the file shrank meanwhile: send what is there
    done += static_cast<size_t>(n);
  }
  bytes.resize(done);
  return true;
}

}  // namespace

std::string_view UploadFileName(StudyUpload upload) { return KindOf(upload).file; }
std::string_view UploadServerPath(StudyUpload upload) { return KindOf(upload).server_path; }
std::string_view UploadSentText(StudyUpload upload) { return KindOf(upload).sent; }
std::string_view UploadFailedText(StudyUpload upload) { return KindOf(upload).failed; }

std::string RotatedFileName(StudyUpload upload, const StudyTime& time) {
  std::string name(KindOf(upload).rotated_prefix);
  AppendFormat(name, "%04d%02d%02d_%02d%02d%02d.txt", time.year, time.month, time.day, time.hour,
               time.minute, time.second);
  return name;
}

std::string UploadBody(std::string_view file_bytes) {
  std::string body = "passwd=";
  body.append(kStudyPassword);
  body.append("&data=");
  body.append(file_bytes);
  return body;
}

UploadOutcome UploadStudyFile(StudyUpload upload, const UploadContext& context) {
  const UploadKind& kind = KindOf(upload);
  const std::string path = InFolder(context.study_folder, kind.file);
  const std::string file_name(kind.file);
  UploadOutcome outcome;

  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    outcome.status = "Opening " + file_name + Formatted(" failed (%d)", errno);
    return outcome;
  }
  std::string bytes;
  struct stat info {};
  bool read_ok = ::fstat(fd, &info) == 0;
  if (read_ok && info.st_size == 0 && kind.empty_fails) {
    ::close(fd);
    Diag("%s is empty", file_name.c_str());
    outcome.status = file_name + " is empty";
    return outcome;
  }
  if (read_ok && info.st_size > kMaxUploadBytes) {
    read_ok = false;
    errno = EFBIG;
  }
  if (read_ok) read_ok = ReadWhole(fd, info.st_size, bytes);
  const int read_error = errno;
  ::close(fd);
  if (!read_ok) {
    outcome.status = "Opening " + file_name + Formatted(" failed (%d)", read_error);
    return outcome;
  }

  HttpRequest request;
  request.post = true;
  request.path = std::string(kind.server_path);
  request.headers = {"Content-Type: application/x-www-form-urlencoded"};
  request.body = UploadBody(bytes);
  const HttpReply reply = RunHttpRequest(context.server, request, context.timeouts, context.stop);
  outcome.timed_out = reply.timed_out;
  switch (reply.stage) {
    case HttpStage::kOpen:
      Diag(kind.http_open_failed, reply.error);
      outcome.status = Formatted(kind.http_open_failed, reply.error);
      return outcome;
    case HttpStage::kConnect:
      outcome.status = Formatted("HTTP Connection failed (%d)", reply.error);
      return outcome;
    case HttpStage::kOpenRequest:
      outcome.status = Formatted("HTTP OpenRequest(POST) failed (%d)", reply.error);
      return outcome;
    case HttpStage::kSend:
      Diag("HTTP SendRequest(POST) failed (%d)", reply.error);
      outcome.status = Formatted("HTTP SendRequest(POST) failed (%d)", reply.error);
      return outcome;
    case HttpStage::kRead:
      outcome.status = Formatted("Internet Read File failed (%d)", reply.error);
      return outcome;
    case HttpStage::kDone:
      break;
  }
  if (reply.body.compare(0, 7, "success") != 0 || reply.body.size() < 7) {
    outcome.status = Formatted("PHP script failed (%d)", 0);
    return outcome;
  }

  const StudyTime now = context.clock ? context.clock() : LocalStudyTime();
  const std::string rotated = InFolder(context.study_folder, RotatedFileName(upload, now));
  if (!MoveWithoutReplacing(path, rotated)) {
    outcome.status = Formatted("Internet MoveFile failed (%d)", errno);
    return outcome;
  }
  outcome.sent = true;
  return outcome;
}

}  // namespace kestrelio
