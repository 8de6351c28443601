#include "study/program_log.h"

#include <gtest/gtest.h>

#include "temp_folder.h"

namespace kestrelio {
namespace {

using testing_support::ReadFile;
using testing_support::TempFolder;
using testing_support::WriteFile;

constexpr StudyTime kLater{2024, 3, 7, 10, 15, 42};

TEST(ProgramLogFormat, LineHasDeviceStartAndNowWithCrLf) {
  EXPECT_EQ(FormatProgramLine("00AB", "2024-03-07 09:00:00", {2024, 3, 7, 9, 0, 10}),
            "00AB, 2024-03-07 09:00:00, 2024-03-07 09:00:10\r\n");
}

TEST(ProgramLogFormat, OnlyATimestampAndCrLfCountAsTheEnding) {
  EXPECT_TRUE(EndsWithTimestampLine("2024-03-07 09:00:10\r\n"));
  EXPECT_FALSE(EndsWithTimestampLine("2024-03-07 09:00:10\n"));    // 20 bytes
  EXPECT_FALSE(EndsWithTimestampLine("2024-03-07 09:00:10\n\n"));  // LF LF
  EXPECT_FALSE(EndsWithTimestampLine("2024-03-07T09:00:10\r\n"));  // not the study shape
  EXPECT_FALSE(EndsWithTimestampLine("2024-03-07 09:0x:10\r\n"));
  EXPECT_FALSE(EndsWithTimestampLine("ID, some other record\r\n"));
}

class ProgramLogUpdateTest : public ::testing::Test {
 protected:
  std::string Path() const { return folder_.File("programlog.txt"); }
  TempFolder folder_;
};

TEST_F(ProgramLogUpdateTest, RewritesOnlyTheLastTimestampOfTheLastLine) {
  const std::string earlier = "ID, 2024-03-06 08:00:00, 2024-03-06 08:30:00\r\n";
  const std::string current = "ID, 2024-03-07 09:00:00, 2024-03-07 09:00:10\r\n";
  WriteFile(Path(), earlier + current);
  EXPECT_EQ(UpdateProgramLog(Path(), "ID", "2024-03-07 09:00:00", kLater),
            ProgramLogUpdate::kInPlace);
  EXPECT_EQ(ReadFile(Path()), earlier + "ID, 2024-03-07 09:00:00, 2024-03-07 10:15:42\r\n");
  // Again: the same bytes, nothing appended.
  EXPECT_EQ(UpdateProgramLog(Path(), "ID", "2024-03-07 09:00:00", kLater),
            ProgramLogUpdate::kInPlace);
  EXPECT_EQ(ReadFile(Path()).size(), earlier.size() + current.size());
}

TEST_F(ProgramLogUpdateTest, MissingFileGetsAFreshLine) {
  EXPECT_EQ(UpdateProgramLog(Path(), "ID", "2024-03-07 09:00:00", kLater),
            ProgramLogUpdate::kAppended);
  EXPECT_EQ(ReadFile(Path()), "ID, 2024-03-07 09:00:00, 2024-03-07 10:15:42\r\n");
}

TEST_F(ProgramLogUpdateTest, ShortOrForeignEndingIsNeverOverwritten) {
  // Shorter than the 21 bytes the update would step back over.
  WriteFile(Path(), "short\r\n");
  EXPECT_EQ(UpdateProgramLog(Path(), "ID", "S", kLater), ProgramLogUpdate::kAppended);
  EXPECT_EQ(ReadFile(Path()), "short\r\nID, S, 2024-03-07 10:15:42\r\n");

  // A line that ends in LF only: 21 bytes back would land one byte into the date.
  WriteFile(Path(), "ID, S, 2024-03-07 09:00:10\n");
  EXPECT_EQ(UpdateProgramLog(Path(), "ID", "S", kLater), ProgramLogUpdate::kAppended);
  EXPECT_EQ(ReadFile(Path()), "ID, S, 2024-03-07 09:00:10\nID, S, 2024-03-07 10:15:42\r\n");
}

TEST_F(ProgramLogUpdateTest, LineCutShortIsClosedBeforeTheFreshLine) {
  WriteFile(Path(), "ID, S, 2024-03-07 09:0");
  EXPECT_EQ(UpdateProgramLog(Path(), "ID", "S", kLater), ProgramLogUpdate::kAppended);
  EXPECT_EQ(ReadFile(Path()), "ID, S, 2024-03-07 09:0\r\nID, S, 2024-03-07 10:15:42\r\n");
}

TEST_F(ProgramLogUpdateTest, EmptyFileGetsAFreshLine) {
  WriteFile(Path(), "");
  EXPECT_EQ(UpdateProgramLog(Path(), "ID", "S", kLater), ProgramLogUpdate::kAppended);
  EXPECT_EQ(ReadFile(Path()), "ID, S, 2024-03-07 10:15:42\r\n");
}

}  // namespace
}  // namespace kestrelio
