// One HTTP/1.0 request to the study server on libcurl, with bounded time-outs, an
// abort on stop, and a bounded reply. The result names the step that failed, so the
// callers can report the failure in their own words.
//
// Headers on the wire: Host, User-Agent "Kestrelio", then Content-Length and the
// caller's headers for a POST, or the caller's headers for a GET. libcurl's own
// "Accept: */*" is removed; proxies come from the environment as usual.
#pragma once

#include <cstddef>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace kestrelio {

// The study server, "host[:port]" in the settings. Port 80 by default.
struct StudyServer {
  std::string host = "127.0.0.1";
  int port = 80;
};

struct HttpTimeouts {
  long connect_ms = 10000;
  long total_ms = 30000;
};

// Where a request stopped.
enum class HttpStage {
  kOpen,         // the client could not be made
  kOpenRequest,  // the request could not be prepared (bad host, options refused)
  kConnect,      // no connection to the server
  kSend,         // connected, but no reply came (sent badly, closed, or timed out)
  kRead,         // the reply began but could not be read whole
  kDone,
};

struct HttpReply {
  HttpStage stage = HttpStage::kDone;
  int error = 0;     // the libcurl result code of a failure
  std::string body;  // at most the request's max_reply_bytes
  bool cut = false;  // the reply was longer than max_reply_bytes; the rest was not read
  // A time-out ended it: the server could not be reached or did not answer in time.
  bool timed_out = false;
  bool ok() const { return stage == HttpStage::kDone; }
};

struct HttpRequest {
  bool post = false;
  std::string path;  // with the query, starting with '/'
  std::vector<std::string> headers;
  std::string body;  // POST only, sent whole (zero bytes included)
  size_t max_reply_bytes = 4096;
};

// Runs `request` against `server`. Never longer than timeouts.total_ms; ends early
// when `stop` is requested (stage of that moment, error CURLE_ABORTED_BY_CALLBACK).
HttpReply RunHttpRequest(const StudyServer& server, const HttpRequest& request,
                         const HttpTimeouts& timeouts, std::stop_token stop = {});

// Keeps libcurl's global state alive; one per owner of study threads, made before
// they start.
class CurlLibrary {
 public:
  CurlLibrary();
  ~CurlLibrary();
  CurlLibrary(const CurlLibrary&) = delete;
  CurlLibrary& operator=(const CurlLibrary&) = delete;
};

}  // namespace kestrelio
