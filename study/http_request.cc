#include "study/http_request.h"

#include <curl/curl.h>

#include <memory>

#include "base/diag.h"

namespace kestrelio {
namespace {

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;

// What the callbacks learn while the transfer runs.
struct Transfer {
  std::stop_token stop;
  size_t max_reply_bytes = 0;
  std::string body;
  bool cut = false;
  bool connected = false;    // the connection stands and the request goes out
  bool reply_begun = false;  // a reply header line arrived
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const size_t bytes = size * count;
  const size_t room = transfer->max_reply_bytes - transfer->body.size();
  if (bytes > room) {
    // Enough has arrived; stop reading rather than take an endless reply.
    transfer->body.append(data, room);
    transfer->cut = true;
    return 0;
  }
  transfer->body.append(data, bytes);
  return bytes;
}

size_t OnHeader(char* /*data*/, size_t size, size_t count, void* user) {
  static_cast<Transfer*>(user)->reply_begun = true;
  return size * count;
}

int OnPrerequest(void* user, char* /*conn_primary_ip*/, char* /*conn_local_ip*/,
                 int /*conn_primary_port*/, int /*conn_local_port*/) {
  static_cast<Transfer*>(user)->connected = true;
  return CURL_PREREQFUNC_OK;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<Transfer*>(user)->stop.stop_requested() ? 1 : 0;
}

bool IsPlainHost(std::string_view host) {
  if (host.empty() || host.size() > 253) return false;
  for (char c : host) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    const bool digit = c >= '0' && c <= '9';
    if (!letter && !digit && c != '.' && c != '-' && c != '_') return false;
  }
  return true;
}

HttpStage StageOfFailure(CURLcode code, const Transfer& transfer) {
  switch (code) {
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
    case CURLE_OUT_OF_MEMORY:
      return HttpStage::kOpenRequest;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
      return HttpStage::kConnect;
    default:
      break;
  }
  if (!transfer.connected) return HttpStage::kConnect;
  if (!transfer.reply_begun) return HttpStage::kSend;
  return HttpStage::kRead;
}

}  // namespace

CurlLibrary::CurlLibrary() {
  if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) Diag("libcurl could not initialise");
}

CurlLibrary::~CurlLibrary() { curl_global_cleanup(); }

HttpReply RunHttpRequest(const StudyServer& server, const HttpRequest& request,
                         const HttpTimeouts& timeouts, std::stop_token stop) {
  HttpReply reply;
  EasyHandle easy(curl_easy_init());
  if (!easy) {
    reply.stage = HttpStage::kOpen;
    reply.error = CURLE_FAILED_INIT;
    return reply;
  }
  if (!IsPlainHost(server.host) || server.port <= 0 || server.port > 65535 ||
      request.path.empty() || request.path[0] != '/') {
    Diag("study server request refused: host \"%s\" port %d path \"%s\"", server.host.c_str(),
         server.port, request.path.c_str());
    reply.stage = HttpStage::kOpenRequest;
    reply.error = CURLE_URL_MALFORMAT;
    return reply;
  }

  Transfer transfer;
  transfer.stop = stop;
  transfer.max_reply_bytes = request.max_reply_bytes;

  HeaderList headers;
  // An empty value removes libcurl's own header of that name.
  curl_slist* list = curl_slist_append(nullptr, "Accept:");
  for (const std::string& header : request.headers) {
    if (list == nullptr) break;
    list = curl_slist_append(list, header.c_str());
  }
  headers.reset(list);
  if (!headers) {
    reply.stage = HttpStage::kOpenRequest;
    reply.error = CURLE_OUT_OF_MEMORY;
    return reply;
  }

  const std::string url =
      "http://" + server.host + ":" + std::to_string(server.port) + request.path;
  CURL* h = easy.get();
  CURLcode set = CURLE_OK;
  auto option = [&set](CURLcode result) {
    if (set == CURLE_OK) set = result;
  };
  option(curl_easy_setopt(h, CURLOPT_URL, url.c_str()));
  option(curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http"));
  option(curl_easy_setopt(h, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0));
  option(curl_easy_setopt(h, CURLOPT_USERAGENT, "Kestrelio"));
  option(curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get()));
  option(curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L));
  option(curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, timeouts.connect_ms));
  option(curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, timeouts.total_ms));
  option(curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnBody));
  option(curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer));
  option(curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, OnHeader));
  option(curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer));
  option(curl_easy_setopt(h, CURLOPT_PREREQFUNCTION, OnPrerequest));
  option(curl_easy_setopt(h, CURLOPT_PREREQDATA, &transfer));
  option(curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, OnProgress));
  option(curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer));
  option(curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L));
  if (request.post) {
    option(curl_easy_setopt(h, CURLOPT_POST, 1L));
    option(curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                            static_cast<curl_off_t>(request.body.size())));
    option(curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.body.data()));
  } else {
    option(curl_easy_setopt(h, CURLOPT_HTTPGET, 1L));
  }
  if (set != CURLE_OK) {
    reply.stage = HttpStage::kOpenRequest;
    reply.error = set;
    return reply;
  }

  const CURLcode result = curl_easy_perform(h);
  reply.body = std::move(transfer.body);
  reply.cut = transfer.cut;
  if (result == CURLE_OK || (result == CURLE_WRITE_ERROR && transfer.cut)) return reply;
  reply.stage = StageOfFailure(result, transfer);
  reply.error = result;
  reply.timed_out = result == CURLE_OPERATION_TIMEDOUT;
  return reply;
}

}  // namespace kestrelio
