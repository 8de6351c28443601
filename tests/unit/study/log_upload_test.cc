#include "study/log_upload.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <mutex>
#include <thread>

#include "study/file_move.h"
#include "study/hourly_uploads.h"
#include "temp_folder.h"

namespace kestrelio {
namespace {

using testing_support::ReadFile;
using testing_support::TempFolder;
using testing_support::WriteFile;

constexpr StudyTime kTime{2024, 3, 7, 9, 5, 0};

TEST(UploadTable, FilesPathsRotatedNamesAndTexts) {
  EXPECT_EQ(UploadFileName(StudyUpload::kSurveyResults), "survey_results.txt");
  EXPECT_EQ(UploadServerPath(StudyUpload::kSurveyResults),
            "/research/kestrelio/fstd/surveyresults.php");
  EXPECT_EQ(RotatedFileName(StudyUpload::kSurveyResults, kTime), "20240307_090500.txt");
  EXPECT_EQ(UploadServerPath(StudyUpload::kCallLog), "/research/kestrelio/fstd/calllogprocess.php");
  EXPECT_EQ(RotatedFileName(StudyUpload::kCallLog, kTime), "calllog20240307_090500.txt");
  EXPECT_EQ(UploadServerPath(StudyUpload::kBatteryLog),
            "/research/kestrelio/fstd/batterylogprocess.php");
  EXPECT_EQ(RotatedFileName(StudyUpload::kBatteryLog, kTime), "batterylog20240307_090500.txt");
  EXPECT_EQ(UploadServerPath(StudyUpload::kIpLog), "/research/kestrelio/fstd/iplogprocess.php");
  EXPECT_EQ(RotatedFileName(StudyUpload::kIpLog, kTime), "iplog20240307_090500.txt");
  EXPECT_EQ(UploadFileName(StudyUpload::kProgramLog), "programlog.txt");
  EXPECT_EQ(UploadServerPath(StudyUpload::kProgramLog),
            "/research/kestrelio/fstd/programlogprocess.php");
  EXPECT_EQ(RotatedFileName(StudyUpload::kProgramLog, kTime), "programlog20240307_090500.txt");

  EXPECT_EQ(UploadSentText(StudyUpload::kSurveyResults), "Survey responses sent!");
  EXPECT_EQ(UploadFailedText(StudyUpload::kSurveyResults), "Survey response sending failed.");
  EXPECT_EQ(UploadSentText(StudyUpload::kCallLog), "Call log sent!");
  EXPECT_EQ(UploadFailedText(StudyUpload::kBatteryLog), "Battery log sending failed.");
  EXPECT_EQ(UploadSentText(StudyUpload::kIpLog), "IP log sent!");
  EXPECT_EQ(UploadFailedText(StudyUpload::kProgramLog), "Program log sending failed.");
}

TEST(UploadBody, PasswordThenTheBytesUnescapedPastZeroBytes) {
  const std::string bytes("a&b=c+d%e\0tail\r\n", 16);
  EXPECT_EQ(UploadBody(bytes), "passwd=qorvantex&data=" + bytes);
  EXPECT_EQ(UploadBody(bytes).size(), 22u + 16u);
}

TEST(MoveWithoutReplacing, MovesAndNeverReplaces) {
  TempFolder folder;
  WriteFile(folder.File("calllog.txt"), "new");
  WriteFile(folder.File("calllog20240307_090500.txt"), "earlier upload");
  errno = 0;
  EXPECT_FALSE(
      MoveWithoutReplacing(folder.File("calllog.txt"), folder.File("calllog20240307_090500.txt")));
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(ReadFile(folder.File("calllog.txt")), "new");
  EXPECT_EQ(ReadFile(folder.File("calllog20240307_090500.txt")), "earlier upload");

  EXPECT_TRUE(MoveWithoutReplacing(folder.File("calllog.txt"), folder.File("calllog_b.txt")));
  EXPECT_FALSE(folder.Exists("calllog.txt"));
  EXPECT_EQ(ReadFile(folder.File("calllog_b.txt")), "new");
}

// Failures that end before any request: the server is never asked.
class UploadWithoutServerTest : public ::testing::Test {
 protected:
  UploadContext Context() {
    UploadContext context;
    context.study_folder = folder_.path();
    context.server = {"127.0.0.1", 9};  // nothing is contacted in these tests
    context.clock = [] { return kTime; };
    return context;
  }
  TempFolder folder_;
};

TEST_F(UploadWithoutServerTest, MissingFileFailsAtTheOpen) {
  UploadOutcome outcome = UploadStudyFile(StudyUpload::kSurveyResults, Context());
  EXPECT_FALSE(outcome.sent);
  EXPECT_EQ(outcome.status, "Opening survey_results.txt failed (2)");  // ENOENT
}

TEST_F(UploadWithoutServerTest, EmptyLogFailsButEmptySurveyResultsArePosted) {
  WriteFile(folder_.File("iplog.txt"), "");
  UploadOutcome outcome = UploadStudyFile(StudyUpload::kIpLog, Context());
  EXPECT_FALSE(outcome.sent);
  EXPECT_EQ(outcome.status, "iplog.txt is empty");
  EXPECT_TRUE(folder_.Exists("iplog.txt"));

  WriteFile(folder_.File("survey_results.txt"), "");
  outcome = UploadStudyFile(StudyUpload::kSurveyResults, Context());
  EXPECT_FALSE(outcome.sent);
  EXPECT_EQ(outcome.status.rfind("HTTP Connection failed (", 0), 0u) << outcome.status;
}

TEST_F(UploadWithoutServerTest, OversizedFileIsNotReadIntoMemory) {
  WriteFile(folder_.File("calllog.txt"), "");
  std::filesystem::resize_file(folder_.File("calllog.txt"), (std::uintmax_t{64} << 20) + 1);
  UploadOutcome outcome = UploadStudyFile(StudyUpload::kCallLog, Context());
  EXPECT_FALSE(outcome.sent);
  EXPECT_EQ(outcome.status, "Opening calllog.txt failed (27)");  // EFBIG
  EXPECT_TRUE(folder_.Exists("calllog.txt"));
}

TEST_F(UploadWithoutServerTest, CallInProgressOrBusyMutexSkipsWithoutContactingTheServer) {
  WriteFile(folder_.File("calllog.txt"), "record\r\n");
  std::timed_mutex mutex;
  const std::array<bool, 4> in_call = RunHourlyUploads(Context(), mutex, [] { return true; });
  EXPECT_EQ(in_call, (std::array<bool, 4>{false, false, false, false}));
  {
    std::lock_guard held(mutex);
    std::thread other([&] {
      EXPECT_FALSE(UploadHoldingMutex(StudyUpload::kCallLog, Context(), mutex, nullptr).sent);
    });
    other.join();
  }
  EXPECT_EQ(ReadFile(folder_.File("calllog.txt")), "record\r\n");
}

}  // namespace
}  // namespace kestrelio
