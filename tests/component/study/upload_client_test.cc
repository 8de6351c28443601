// The upload client and the survey fetch against a scripted server on loopback.
#include <gtest/gtest.h>

#include "../../unit/study/temp_folder.h"
#include "fake_study_server.h"
#include "study/hourly_uploads.h"
#include "study/log_upload.h"
#include "study/survey_fetch.h"
#include "study/survey_page.h"

namespace kestrelio {
namespace {

using testing_support::ClosedPort;
using testing_support::FakeStudyServer;
using testing_support::ReadFile;
using testing_support::TempFolder;
using testing_support::WriteFile;
using Mode = FakeStudyServer::Mode;

constexpr StudyTime kTime{2024, 3, 7, 9, 5, 0};
const std::string kCallLogPath = "/research/kestrelio/fstd/calllogprocess.php";

class UploadClientTest : public ::testing::Test {
 protected:
  UploadContext Context(int port) {
    UploadContext context;
    context.study_folder = folder_.path();
    context.server = {"127.0.0.1", port};
    context.timeouts = {2000, 3000};
    context.clock = [] { return kTime; };
    return context;
  }
  std::string HostHeader() const { return "Host: 127.0.0.1:" + std::to_string(server_.port()); }

  TempFolder folder_;
  FakeStudyServer server_;
};

TEST_F(UploadClientTest, PostsTheExactRequestAndMovesTheFileAway) {
  const std::string file("id, a&b=c+d%20e\r\nzero\0after\r\n", 29);
  WriteFile(folder_.File("calllog.txt"), file);
  server_.Script(kCallLogPath, Mode::kReply, "success: 2 records");

  UploadOutcome outcome = UploadStudyFile(StudyUpload::kCallLog, Context(server_.port()));
  EXPECT_TRUE(outcome.sent) << outcome.status;
  const std::string body = "passwd=qorvantex&data=" + file;
  ASSERT_EQ(server_.Requests().size(), 1u);
  EXPECT_EQ(server_.Requests()[0], "POST " + kCallLogPath + " HTTP/1.0\r\n" + HostHeader() +
                                       "\r\nUser-Agent: Kestrelio\r\n"
                                       "Content-Type: application/x-www-form-urlencoded\r\n"
                                       "Content-Length: " +
                                       std::to_string(body.size()) + "\r\n\r\n" + body);
  EXPECT_FALSE(folder_.Exists("calllog.txt"));
  EXPECT_EQ(ReadFile(folder_.File("calllog20240307_090500.txt")), file);
}

TEST_F(UploadClientTest, OnlyAReplyBeginningWithSuccessCounts) {
  WriteFile(folder_.File("calllog.txt"), "r\r\n");
  for (const char* reply : {"succes", "", "Success", " success", "<html>error</html>"}) {
    server_.Script(kCallLogPath, Mode::kReply, reply);
    UploadOutcome outcome = UploadStudyFile(StudyUpload::kCallLog, Context(server_.port()));
    EXPECT_FALSE(outcome.sent) << reply;
    EXPECT_EQ(outcome.status, "PHP script failed (0)") << reply;
    EXPECT_EQ(ReadFile(folder_.File("calllog.txt")), "r\r\n");
  }
  // The status code is not looked at; the first seven bytes decide.
  server_.Script(kCallLogPath, Mode::kReply, "successful", 500);
  EXPECT_TRUE(UploadStudyFile(StudyUpload::kCallLog, Context(server_.port())).sent);
}

TEST_F(UploadClientTest, ServerDownLeavesTheFile) {
  WriteFile(folder_.File("batterylog.txt"), "b\r\n");
  UploadOutcome outcome = UploadStudyFile(StudyUpload::kBatteryLog, Context(ClosedPort()));
  EXPECT_FALSE(outcome.sent);
  EXPECT_EQ(outcome.status, "HTTP Connection failed (7)");  // CURLE_COULDNT_CONNECT
  EXPECT_EQ(ReadFile(folder_.File("batterylog.txt")), "b\r\n");
}

TEST_F(UploadClientTest, ServerThatNeverAnswersFailsWithinTheTimeOut) {
  WriteFile(folder_.File("iplog.txt"), "i\r\n");
  server_.Script("/", Mode::kSilent);
  UploadContext context = Context(server_.port());
  context.timeouts = {2000, 300};
  UploadOutcome outcome = UploadStudyFile(StudyUpload::kIpLog, context);
  EXPECT_FALSE(outcome.sent);
  EXPECT_EQ(outcome.status, "HTTP SendRequest(POST) failed (28)");  // CURLE_OPERATION_TIMEDOUT
  EXPECT_EQ(ReadFile(folder_.File("iplog.txt")), "i\r\n");
}

TEST_F(UploadClientTest, ServerThatClosesWithoutReplyFails) {
  WriteFile(folder_.File("iplog.txt"), "i\r\n");
  server_.Script("/", Mode::kClose);
  UploadOutcome outcome = UploadStudyFile(StudyUpload::kIpLog, Context(server_.port()));
  EXPECT_FALSE(outcome.sent);
  EXPECT_EQ(outcome.status, "HTTP SendRequest(POST) failed (52)");  // CURLE_GOT_NOTHING
  EXPECT_TRUE(folder_.Exists("iplog.txt"));
}

TEST_F(UploadClientTest, SecondUploadInTheSameSecondFailsAtTheMove) {
  server_.Script("/", Mode::kReply, "success");
  WriteFile(folder_.File("calllog.txt"), "first\r\n");
  ASSERT_TRUE(UploadStudyFile(StudyUpload::kCallLog, Context(server_.port())).sent);
  WriteFile(folder_.File("calllog.txt"), "second\r\n");
  UploadOutcome outcome = UploadStudyFile(StudyUpload::kCallLog, Context(server_.port()));
  EXPECT_FALSE(outcome.sent);
  EXPECT_EQ(outcome.status, "Internet MoveFile failed (17)");  // EEXIST
  // Neither copy is lost: the earlier rotated file is kept, the new one stays to be
  // sent again.
  EXPECT_EQ(ReadFile(folder_.File("calllog20240307_090500.txt")), "first\r\n");
  EXPECT_EQ(ReadFile(folder_.File("calllog.txt")), "second\r\n");
  EXPECT_EQ(server_.Requests().size(), 2u);
}

TEST_F(UploadClientTest, HourlyPassUploadsTheFourInOrder) {
  server_.Script("/", Mode::kReply, "success");
  WriteFile(folder_.File("survey_results.txt"), "s");
  WriteFile(folder_.File("calllog.txt"), "c");
  WriteFile(folder_.File("iplog.txt"), "i");  // no battery log yet
  std::timed_mutex mutex;
  const std::array<bool, 4> sent = RunHourlyUploads(Context(server_.port()), mutex, nullptr);
  EXPECT_EQ(sent, (std::array<bool, 4>{true, true, false, true}));
  const auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].rfind("POST /research/kestrelio/fstd/surveyresults.php ", 0), 0u);
  EXPECT_EQ(requests[1].rfind("POST /research/kestrelio/fstd/calllogprocess.php ", 0), 0u);
  EXPECT_EQ(requests[2].rfind("POST /research/kestrelio/fstd/iplogprocess.php ", 0), 0u);
  EXPECT_TRUE(folder_.Exists("20240307_090500.txt"));
  EXPECT_TRUE(folder_.Exists("iplog20240307_090500.txt"));
}

TEST_F(UploadClientTest, HourlyPassAsksASilentServerOnceAndKeepsEveryFile) {
  server_.Script("/", Mode::kSilent);
  WriteFile(folder_.File("survey_results.txt"), "s");
  WriteFile(folder_.File("calllog.txt"), "c");
  WriteFile(folder_.File("batterylog.txt"), "b");
  WriteFile(folder_.File("iplog.txt"), "i");
  UploadContext context = Context(server_.port());
  context.timeouts = {2000, 300};
  std::timed_mutex mutex;
  const std::array<bool, 4> sent = RunHourlyUploads(context, mutex, nullptr);
  EXPECT_EQ(sent, (std::array<bool, 4>{false, false, false, false}));
  // The first upload ran into the time-out; the other three were not tried.
  ASSERT_TRUE(server_.WaitForRequests(1));
  EXPECT_EQ(server_.Requests().size(), 1u);
  for (const char* name : {"survey_results.txt", "calllog.txt", "batterylog.txt", "iplog.txt"}) {
    EXPECT_TRUE(folder_.Exists(name)) << name;
  }
  // The mutex is free again: the next pass, with the server answering, sends them all.
  server_.Script("/", Mode::kReply, "success");
  context.timeouts = {2000, 3000};
  EXPECT_EQ(RunHourlyUploads(context, mutex, nullptr),
            (std::array<bool, 4>{true, true, true, true}));
}

TEST_F(UploadClientTest, HourlyPassGoesOnAfterAnUploadTheServerRefused) {
  server_.Script("/", Mode::kReply, "success");
  server_.Script("/research/kestrelio/fstd/surveyresults.php", Mode::kClose);
  WriteFile(folder_.File("survey_results.txt"), "s");
  WriteFile(folder_.File("calllog.txt"), "c");
  std::timed_mutex mutex;
  const std::array<bool, 4> sent = RunHourlyUploads(Context(server_.port()), mutex, nullptr);
  EXPECT_EQ(sent, (std::array<bool, 4>{false, true, false, false}));
  EXPECT_EQ(server_.Requests().size(), 2u);
}

TEST_F(UploadClientTest, SurveyFetchSendsTheExactGetAndReturnsThePage) {
  const std::string page = "4\nHow was it?\n17:Good\n18:Bad\n#^";
  server_.Script("/research/kestrelio/fstd/survey.php", Mode::kReply, page);
  SurveyFetch fetch = FetchSurveyPage({"127.0.0.1", server_.port()}, "00112233445566778899",
                                      "after_call", {2000, 3000});
  ASSERT_TRUE(fetch.page.has_value()) << fetch.status;
  EXPECT_EQ(*fetch.page, page);
  ASSERT_EQ(server_.Requests().size(), 1u);
  EXPECT_EQ(server_.Requests()[0],
            "GET /research/kestrelio/fstd/survey.php?passwd=qorvantex&id=00112233445566778899"
            "&trig=after_call HTTP/1.0\r\n" +
                HostHeader() + "\r\nUser-Agent: Kestrelio\r\nAccept: text/*, image/*\r\n\r\n");
}

TEST_F(UploadClientTest, SurveyFetchStopsReadingAnOverlongPage) {
  server_.Script("/", Mode::kReply, std::string(100000, 'x'));
  SurveyFetch fetch =
      FetchSurveyPage({"127.0.0.1", server_.port()}, "ID", "ip_change", {2000, 3000});
  ASSERT_TRUE(fetch.page.has_value());
  EXPECT_EQ(fetch.page->size(), kMaxSurveyPageBytes + 1);
  EXPECT_EQ(ParseSurveyPage(*fetch.page).error, SurveyPageError::kTooLong);
}

TEST_F(UploadClientTest, SurveyFetchFailures) {
  SurveyFetch down = FetchSurveyPage({"127.0.0.1", ClosedPort()}, "ID", "ip_change", {2000, 3000});
  EXPECT_FALSE(down.page.has_value());
  EXPECT_EQ(down.status, "HTTP Connection failed (7)");

  server_.Script("/", Mode::kSilent);
  SurveyFetch silent =
      FetchSurveyPage({"127.0.0.1", server_.port()}, "ID", "ip_change", {2000, 300});
  EXPECT_FALSE(silent.page.has_value());
  EXPECT_EQ(silent.status, "HTTP SendRequest(GET) failed (28)");

  SurveyFetch bad_host = FetchSurveyPage({"bad host/", 80}, "ID", "ip_change", {2000, 300});
  EXPECT_EQ(bad_host.status, "HTTP OpenRequest(GET) failed (3)");  // CURLE_URL_MALFORMAT
}

}  // namespace
}  // namespace kestrelio
