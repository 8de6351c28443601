#include "http_client.h"

namespace kestrelio {
namespace {

size_t Collect(char* data, size_t size, size_t count, void* reply) {
  static_cast<std::string*>(reply)->append(data, size * count);
  return size * count;
}

}  // namespace

HttpClient::HttpClient() : curl_(curl_easy_init()) {}

HttpReply HttpClient::Perform() {
  HttpReply reply;
  curl_easy_setopt(curl_.get(), CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(curl_.get(), CURLOPT_WRITEDATA, &reply.body);
  curl_easy_setopt(curl_.get(), CURLOPT_TIMEOUT, 30L);
  curl_easy_setopt(curl_.get(), CURLOPT_NOSIGNAL, 1L);
  if (curl_easy_perform(curl_.get()) == CURLE_OK) {
    curl_easy_getinfo(curl_.get(), CURLINFO_RESPONSE_CODE, &reply.status);
  }
  return reply;
}

HttpReply HttpClient::Post(const std::string& url, const std::string& body) {
  curl_easy_reset(curl_.get());
  curl_easy_setopt(curl_.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl_.get(), CURLOPT_POST, 1L);
  curl_easy_setopt(curl_.get(), CURLOPT_POSTFIELDS, body.data());
  curl_easy_setopt(curl_.get(), CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  curl_easy_setopt(curl_.get(), CURLOPT_USERAGENT, "Kestrelio");
  // Sent as the handset sends it; the server must not form-decode it.
  curl_slist* headers =
      curl_slist_append(nullptr, "Content-Type: application/x-www-form-urlencoded");
  headers = curl_slist_append(headers, "Expect:");
  curl_easy_setopt(curl_.get(), CURLOPT_HTTPHEADER, headers);
  HttpReply reply = Perform();
  curl_slist_free_all(headers);
  return reply;
}

HttpReply HttpClient::Get(const std::string& url, const std::string& credentials) {
  curl_easy_reset(curl_.get());
  curl_easy_setopt(curl_.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl_.get(), CURLOPT_USERAGENT, "Kestrelio");
  if (!credentials.empty()) {
    curl_easy_setopt(curl_.get(), CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
    curl_easy_setopt(curl_.get(), CURLOPT_USERPWD, credentials.c_str());
  }
  return Perform();
}

}  // namespace kestrelio
