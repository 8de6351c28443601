// Blocking HTTP requests with libcurl for the tests and the benchmark: the body goes out
// byte for byte, as the handset sends it.
#pragma once

#include <curl/curl.h>

#include <memory>
#include <string>

namespace kestrelio {

struct HttpReply {
  long status = 0;  // 0 when no reply came
  std::string body;
};

class HttpClient {
 public:
  HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // Form-encoded POST with `body` as it stands.
  HttpReply Post(const std::string& url, const std::string& body);
  // GET, with basic credentials "user:password" when given.
  HttpReply Get(const std::string& url, const std::string& credentials = "");

 private:
  HttpReply Perform();

  struct Cleanup {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
  };
  std::unique_ptr<CURL, Cleanup> curl_;
};

}  // namespace kestrelio
