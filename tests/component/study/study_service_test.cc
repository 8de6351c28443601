// The study service's three threads against a scripted study server and FakeWindow.
#include "study/study_service.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "../../unit/study/temp_folder.h"
#include "fake_study_server.h"
#include "study/survey_dialog.h"
#include "tests/support/fake_window.h"

namespace kestrelio {
namespace {

using testing_support::FakeStudyServer;
using testing_support::ReadFile;
using testing_support::TempFolder;
using testing_support::WriteFile;
using Mode = FakeStudyServer::Mode;

constexpr StudyTime kTime{2024, 3, 7, 9, 5, 0};

// Hang guard only: no test asserts on how long anything takes.
bool WaitUntil(const std::function<bool()>& done, int limit_ms = 20000) {
  for (int waited = 0; !done(); waited += 5) {
    if (waited > limit_ms) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
}

class StudyServiceTest : public ::testing::Test {
 protected:
  StudyOptions Options(StudyPeriods periods = {3600000, 3600000}) {
    StudyReadings readings;
    readings.device_id = [] { return std::string("00112233445566778899"); };
    readings.own_public_address = [] { return std::string("203.0.113.7"); };
    readings.own_local_address = [] { return std::string("10.0.0.2"); };
    readings.power = [] { return std::optional<PowerReading>(PowerReading{1, 90}); };
    readings.position = [] { return PositionReading{}; };
    readings.in_call = [this] { return in_call_.load(); };
    return StudyOptions{folder_.path(),
                        mutex_,
                        window_,
                        readings,
                        StudyServer{"127.0.0.1", server_.port()},
                        nullptr,
                        "2024-03-07 09:00:00",
                        HttpTimeouts{2000, 5000},
                        periods,
                        [] { return kTime; }};
  }

  // Every survey dialog: pick the first answer and submit.
  void AnswerFirstChoice() {
    window_.ScriptDialog(kSurveyDialogId, [](FakeDialog& d, DialogController& c) {
      d.SetChecked(kSurveyFirstAnswerControl, true);
      c.OnCommand(d, kSurveyFirstAnswerControl);
      c.OnCommand(d, kSurveySubmitControl);
    });
  }

  std::string Results() const { return ReadFile(folder_.File("survey_results.txt")); }

  TempFolder folder_;
  std::timed_mutex mutex_;
  FakeWindow window_;
  FakeStudyServer server_;
  std::atomic<bool> in_call_{false};
};

const std::string kSurveyPath = "/research/kestrelio/fstd/survey.php";

TEST_F(StudyServiceTest, TriggerFetchesAndRecordsEveryBlockUnderOneTriggerName) {
  // Question 5 answered 19 in the second block does not stop the third.
  server_.Script(kSurveyPath, Mode::kReply,
                 "6\nFirst?\n30:a\n31:b\n#5\nSecond?\n19:c\n#7\nThird?\n40:d\n#^");
  AnswerFirstChoice();
  StudyService service(Options());
  ASSERT_TRUE(service.Start());
  EXPECT_TRUE(service.SignalTrigger(4));
  EXPECT_FALSE(service.SignalTrigger(10));
  ASSERT_TRUE(WaitUntil([&] { return Count(Results(), "</response>") == 3; }));
  const std::string results = Results();
  EXPECT_EQ(Count(results, "<response trigger=\"missed_call\">\r\n"), 3u);
  EXPECT_NE(results.find("<qid>6</qid>\r\n\t<aid>30</aid>"), std::string::npos);
  EXPECT_NE(results.find("<qid>5</qid>\r\n\t<aid>19</aid>"), std::string::npos);
  EXPECT_NE(results.find("<qid>7</qid>\r\n\t<aid>40</aid>"), std::string::npos);
  ASSERT_TRUE(server_.WaitForRequests(1));
  EXPECT_NE(server_.Requests()[0].find("&trig=missed_call HTTP/1.0"), std::string::npos);
  service.Stop();
}

TEST_F(StudyServiceTest, BranchingAnswerInTheFirstBlockEndsTheSurvey) {
  server_.Script(kSurveyPath, Mode::kReply,
                 "4\nFirst?\n17:stop\n18:go\n#5\nSecond?\n19:c\n#7\nThird?\n40:d\n#^");
  AnswerFirstChoice();
  StudyService service(Options());
  ASSERT_TRUE(service.Start());
  service.SignalTrigger(SurveyTrigger::kAfterCall);
  ASSERT_TRUE(WaitUntil([&] { return Count(Results(), "</response>") >= 1; }));
  // Another trigger after it proves the first survey is over.
  server_.Script(kSurveyPath, Mode::kReply, "^");
  service.SignalTrigger(SurveyTrigger::kSentText);
  ASSERT_TRUE(server_.WaitForRequests(2));
  service.Stop();
  EXPECT_EQ(Count(Results(), "</response>"), 1u);
  EXPECT_EQ(window_.DialogsRun().size(), 1u);
}

TEST_F(StudyServiceTest, BrokenOrEmptyPagesShowNothing) {
  server_.Script(kSurveyPath, Mode::kReply, "4\nQ\n17:a\n");  // no '#', no '^'
  StudyService service(Options());
  ASSERT_TRUE(service.Start());
  service.SignalTrigger(SurveyTrigger::kDeclineCall);
  ASSERT_TRUE(server_.WaitForRequests(1));
  server_.Script(kSurveyPath, Mode::kReply, "^");
  service.SignalTrigger(SurveyTrigger::kDeclineCall);
  ASSERT_TRUE(server_.WaitForRequests(2));
  service.Stop();
  EXPECT_TRUE(window_.DialogsRun().empty());
  EXPECT_FALSE(folder_.Exists("survey_results.txt"));
}

TEST_F(StudyServiceTest, LoggingThreadUploadsTheOldProgramLogThenLogsThisRun) {
  WriteFile(folder_.File("programlog.txt"), "00112233445566778899, A, B\r\n");
  server_.Script("/", Mode::kReply, "success");
  StudyService service(Options({20, 3600000}));
  ASSERT_TRUE(service.Start());
  ASSERT_TRUE(WaitUntil([&] { return folder_.Exists("iplog.txt"); }));
  ASSERT_TRUE(WaitUntil([&] { return folder_.Exists("batterylog.txt"); }));
  service.Stop();
  EXPECT_EQ(ReadFile(folder_.File("programlog20240307_090500.txt")),
            "00112233445566778899, A, B\r\n");
  EXPECT_EQ(ReadFile(folder_.File("programlog.txt")),
            "00112233445566778899, 2024-03-07 09:00:00, 2024-03-07 09:05:00\r\n");
  ASSERT_GE(server_.Requests().size(), 1u);
  EXPECT_EQ(server_.Requests()[0].rfind("POST /research/kestrelio/fstd/programlogprocess.php", 0),
            0u);
  EXPECT_EQ(ReadFile(folder_.File("iplog.txt")),
            "00112233445566778899, 1, 203.0.113.7, 2024-03-07 09:05:00, 0, 0.0000, 0.0000, "
            "0.0000\r\n");
}

TEST_F(StudyServiceTest, UploadNowRunsTheFourUploadsAndFilesListsTheFolder) {
  server_.Script("/", Mode::kReply, "success");
  WriteFile(folder_.File("calllog.txt"), "c\r\n");
  WriteFile(folder_.File("batterylog.txt"), "b\r\n");
  StudyService service(Options());
  ASSERT_TRUE(service.Start());
  EXPECT_EQ(service.UploadNow(), (std::array<bool, 4>{false, true, true, false}));
  EXPECT_EQ(service.Files(), (std::vector<std::string>{"batterylog20240307_090500.txt",
                                                       "calllog20240307_090500.txt"}));
  in_call_ = true;
  WriteFile(folder_.File("iplog.txt"), "i\r\n");
  EXPECT_EQ(service.UploadNow(), (std::array<bool, 4>{false, false, false, false}));
  EXPECT_EQ(server_.Requests().size(), 2u);
  service.Stop();
  service.Stop();
}

TEST_F(StudyServiceTest, SurveyResponseMeetingAnUploadIsWrittenAfterIt) {
  server_.Script(kSurveyPath, Mode::kReply, "6\nQ?\n30:a\n#^");
  std::unique_lock held(mutex_);  // an upload holds the Logging Mutex
  AnswerFirstChoice();
  StudyService service(Options());
  ASSERT_TRUE(service.Start());
  service.SignalTrigger(SurveyTrigger::kReceiveText);
  ASSERT_TRUE(WaitUntil([&] { return service.files().PendingRecords() == 1; }));
  EXPECT_FALSE(folder_.Exists("survey_results.txt"));
  held.unlock();
  ASSERT_TRUE(service.files().WaitUntilWritten(20000));
  EXPECT_EQ(Count(Results(), "<response trigger=\"receive_text\">"), 1u);
  service.Stop();
}

}  // namespace
}  // namespace kestrelio
