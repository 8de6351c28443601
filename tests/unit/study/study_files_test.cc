#include "study/study_files.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

namespace kestrelio {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class StudyFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kestrelio_study_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    folder_ = root_ + "/My Documents/Personal/Kestrelio";  // not there yet
  }
  void TearDown() override { std::filesystem::remove_all(root_); }

  static CallRecord Record(const char* peer) {
    CallRecord r;
    r.parties.device_id = "ID";
    r.peer_user_name = peer;
    return r;
  }

  std::string root_;
  std::string folder_;
  std::timed_mutex logging_mutex_;
};

TEST_F(StudyFilesTest, CreatesFolderAndFileAndAppendsCrLfLines) {
  StudyFiles files(folder_, logging_mutex_);
  EXPECT_EQ(files.CallLogPath(), folder_ + "/calllog.txt");
  ASSERT_TRUE(files.AppendCallRecord(Record("Bob")));
  UnansweredCallRecord missed;
  missed.peer_name = "Cy";
  ASSERT_TRUE(files.AppendUnansweredCall(missed));
  std::string log = ReadAll(files.CallLogPath());
  EXPECT_EQ(log, FormatCallRecord(Record("Bob")) + FormatUnansweredCall(missed));
  EXPECT_EQ(files.PendingRecords(), 0u);

  StudyTime t{2024, 3, 7, 9, 5, 0};
  ASSERT_TRUE(files.AppendHistoryLine("Bob", "12063330002", HistoryMark::kOut, t));
  ASSERT_TRUE(files.AppendHistoryLine("Cy", "12063330003", HistoryMark::kInMissed, t));
  EXPECT_EQ(ReadAll(files.HistoryPath()),
            "OUT, [03/07 09:05] Bob, 12063330002\r\nIN*, [03/07 09:05] Cy, 12063330003\r\n");
}

TEST_F(StudyFilesTest, ARecordMeetingABusyMutexIsWrittenOnceItIsFreeInOrder) {
  StudyFiles files(folder_, logging_mutex_);
  ASSERT_TRUE(files.AppendCallRecord(Record("first")));
  logging_mutex_.lock();  // an upload is moving the log
  ASSERT_TRUE(files.AppendCallRecord(Record("second")));
  UnansweredCallRecord third;
  third.peer_name = "third";
  ASSERT_TRUE(files.AppendUnansweredCall(third));
  EXPECT_EQ(files.PendingRecords(), 2u);
  EXPECT_EQ(ReadAll(files.CallLogPath()), FormatCallRecord(Record("first")));
  logging_mutex_.unlock();
  ASSERT_TRUE(files.WaitUntilWritten(10000));
  // A record made after the queue drained goes straight in.
  ASSERT_TRUE(files.AppendCallRecord(Record("fourth")));
  EXPECT_EQ(ReadAll(files.CallLogPath()),
            FormatCallRecord(Record("first")) + FormatCallRecord(Record("second")) +
                FormatUnansweredCall(third) + FormatCallRecord(Record("fourth")));
}

TEST_F(StudyFilesTest, SurveyResponseMeetingABusyMutexIsQueuedNotDropped) {
  StudyFiles files(folder_, logging_mutex_);
  EXPECT_EQ(files.SurveyResultsPath(), folder_ + "/survey_results.txt");
  ASSERT_TRUE(files.AppendSurveyResponse("<response one/>\r\n"));
  logging_mutex_.lock();  // the hourly upload is moving the results away
  ASSERT_TRUE(files.AppendSurveyResponse("<response two/>\r\n"));
  ASSERT_TRUE(files.AppendCallRecord(Record("between")));
  ASSERT_TRUE(files.AppendSurveyResponse("<response three/>\r\n"));
  EXPECT_EQ(files.PendingRecords(), 3u);
  EXPECT_EQ(ReadAll(files.SurveyResultsPath()), "<response one/>\r\n");
  logging_mutex_.unlock();
  ASSERT_TRUE(files.WaitUntilWritten(10000));
  EXPECT_EQ(ReadAll(files.SurveyResultsPath()),
            "<response one/>\r\n<response two/>\r\n<response three/>\r\n");
  EXPECT_EQ(ReadAll(files.CallLogPath()), FormatCallRecord(Record("between")));
}

TEST_F(StudyFilesTest, QueuedRecordsAreWrittenWhenClosing) {
  {
    StudyFiles files(folder_, logging_mutex_);
    logging_mutex_.lock();
    ASSERT_TRUE(files.AppendCallRecord(Record("late")));
    logging_mutex_.unlock();
  }
  EXPECT_EQ(ReadAll(folder_ + "/calllog.txt"), FormatCallRecord(Record("late")));
}

TEST_F(StudyFilesTest, ClosingWhileTheWriterWaitsForTheMutexStillWritesTheRecord) {
  auto files = std::make_unique<StudyFiles>(folder_, logging_mutex_);
  logging_mutex_.lock();
  ASSERT_TRUE(files->AppendCallRecord(Record("queued")));
  // Closing begins while the mutex is held: the writer is stopped mid-wait, and the
  // close gives the holder its bounded chance, so the record still lands.
  std::thread closer([&files] { files.reset(); });
  logging_mutex_.unlock();
  closer.join();
  EXPECT_EQ(ReadAll(folder_ + "/calllog.txt"), FormatCallRecord(Record("queued")));
}

TEST_F(StudyFilesTest, AnUnwritableFolderKeepsTheCallRecordQueuedAndFailsAHistoryLine) {
  std::string file_in_the_way = root_ + "/plain";
  std::ofstream(file_in_the_way) << "x";
  StudyFiles files(file_in_the_way + "/sub", logging_mutex_);
  EXPECT_TRUE(files.AppendCallRecord(Record("kept")));
  EXPECT_EQ(files.PendingRecords(), 1u);
  EXPECT_GE(files.FailedWrites(), 1u);
  EXPECT_FALSE(files.AppendHistoryLine("Bob", "1", HistoryMark::kOut));
}

// The study folder cannot be written (here a plain file stands where its parent
// should be), then can: every record made meanwhile goes in, in order, none lost.
TEST_F(StudyFilesTest, RecordsMadeWhileTheFolderIsUnwritableAreWrittenOnceItIsWritable) {
  setenv("KESTRELIO_TIMER_SCALE", "0.05", 1);  // retry every 100 ms
  const std::string parent = root_ + "/blocked";
  std::ofstream(parent) << "x";
  StudyFiles files(parent + "/Kestrelio", logging_mutex_);
  ASSERT_TRUE(files.AppendCallRecord(Record("one")));
  UnansweredCallRecord two;
  two.peer_name = "two";
  ASSERT_TRUE(files.AppendUnansweredCall(two));
  EXPECT_EQ(files.PendingRecords(), 2u);
  EXPECT_FALSE(files.WaitUntilWritten(300));  // still unwritable: still queued
  EXPECT_EQ(files.PendingRecords(), 2u);
  EXPECT_GE(files.FailedWrites(), 2u);

  std::filesystem::remove(parent);  // the folder can be made now
  ASSERT_TRUE(files.WaitUntilWritten(20000));
  ASSERT_TRUE(files.AppendCallRecord(Record("three")));
  EXPECT_EQ(ReadAll(files.CallLogPath()), FormatCallRecord(Record("one")) +
                                              FormatUnansweredCall(two) +
                                              FormatCallRecord(Record("three")));
  unsetenv("KESTRELIO_TIMER_SCALE");
}

TEST_F(StudyFilesTest, ALineAfterAFileWithoutAFinalLineEndStartsALineOfItsOwn) {
  StudyFiles files(folder_, logging_mutex_);
  std::filesystem::create_directories(folder_);
  std::ofstream(files.HistoryPath(), std::ios::binary) << "OUT, [03/07 09:05] Bob, 1206";  // cut
  StudyTime t{2024, 3, 7, 9, 6, 0};
  ASSERT_TRUE(files.AppendHistoryLine("Cy", "12063330003", HistoryMark::kIn, t));
  EXPECT_EQ(ReadAll(files.HistoryPath()),
            "OUT, [03/07 09:05] Bob, 1206\r\nIN , [03/07 09:06] Cy, 12063330003\r\n");
  // A file that ends properly gets nothing added before the next line.
  ASSERT_TRUE(files.AppendHistoryLine("Di", "4", HistoryMark::kOut, t));
  EXPECT_EQ(ReadAll(files.HistoryPath()),
            "OUT, [03/07 09:05] Bob, 1206\r\nIN , [03/07 09:06] Cy, 12063330003\r\n"
            "OUT, [03/07 09:06] Di, 4\r\n");

  // The call log too.
  std::ofstream(files.CallLogPath(), std::ios::binary) << "partial record";
  ASSERT_TRUE(files.AppendCallRecord(Record("Bob")));
  EXPECT_EQ(ReadAll(files.CallLogPath()), "partial record\r\n" + FormatCallRecord(Record("Bob")));
}

}  // namespace
}  // namespace kestrelio
