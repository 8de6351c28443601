// The study server's HTTP side:
//
//   POST the five upload paths  -> UploadIntake -> StudyStore (one transaction)
//   GET  .../survey.php         -> SurveyBank (pages checked at start-up)
//   GET  /study/...             -> ResearchQuery on a read-only connection
//
// One JSON line per request goes to the log. cpp-httplib runs the requests on its
// thread pool; the store serialises the writes.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace httplib {
class Server;
class ContentReader;
struct Request;
struct Response;
}  // namespace httplib

namespace kestrelio {

class StudyStore;
class SurveyBank;

struct StudyServerConfig {
  std::string db_path;  // opened read-only for the researcher pages
  // No password: no researcher pages (404).
  std::optional<std::string> researcher_password;
  std::FILE* log = nullptr;
};

inline constexpr std::string_view kSurveyPath = "/research/kestrelio/fstd/survey.php";

class StudyServer {
 public:
  StudyServer(StudyServerConfig config, StudyStore& store, const SurveyBank& surveys);
  ~StudyServer();
  StudyServer(const StudyServer&) = delete;
  StudyServer& operator=(const StudyServer&) = delete;

  // Binds `address`:`port` (0: any free port); the bound port, or -1.
  int Bind(const std::string& address, int port);
  // Serves until Stop(); call from one thread after Bind.
  bool Run();
  // From any thread: ends Run.
  void Stop();

 private:
  void HandlePost(const httplib::Request& request, httplib::Response& response,
                  const httplib::ContentReader& content);
  void HandleGet(const httplib::Request& request, httplib::Response& response);
  void HandleSurvey(const httplib::Request& request, httplib::Response& response);
  void HandleResearch(const httplib::Request& request, httplib::Response& response);
  bool ResearcherAuthorised(const httplib::Request& request) const;
  void LogRequest(const httplib::Request& request, const httplib::Response& response) const;

  StudyServerConfig config_;
  StudyStore& store_;
  const SurveyBank& surveys_;
  class StudyHttp;
  std::unique_ptr<StudyHttp> http_;
};

}  // namespace kestrelio
