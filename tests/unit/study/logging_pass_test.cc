#include "study/logging_pass.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "study/ip_log.h"
#include "temp_folder.h"

namespace kestrelio {
namespace {

using testing_support::ReadFile;
using testing_support::TempFolder;
using testing_support::WriteFile;

constexpr StudyTime kT1{2024, 3, 7, 9, 0, 10};
constexpr StudyTime kT2{2024, 3, 7, 9, 0, 20};
constexpr StudyTime kT3{2024, 3, 7, 9, 0, 30};

TEST(IpLogAddress, PublicAddressOrDisconnected) {
  EXPECT_EQ(CurrentLoggedAddress("203.0.113.7", "10.0.0.2"), "203.0.113.7");
  EXPECT_EQ(CurrentLoggedAddress("", "10.0.0.2"), "disconnected");
  EXPECT_EQ(CurrentLoggedAddress("203.0.113.7", "127.0.0.1"), "disconnected");
  // Whatever came from the network stays one field of one line, at most 23 bytes.
  EXPECT_EQ(CurrentLoggedAddress("1.2.3.4\r\nforged, 1, x", "10.0.0.2"), "1.2.3.4  forged, 1, x");
  EXPECT_EQ(CurrentLoggedAddress(std::string(40, '9'), "10.0.0.2").size(), 23u);
}

TEST(IpLogState, FirstThenChangesOnly) {
  IpLogState state;
  EXPECT_EQ(state.Step("0.0.0.0"), IpLogLine::kFirst);  // even the placeholder address
  EXPECT_EQ(state.Step("0.0.0.0"), std::nullopt);
  EXPECT_EQ(state.Step("203.0.113.7"), IpLogLine::kChanged);
  EXPECT_EQ(state.Step("203.0.113.7"), std::nullopt);
  EXPECT_EQ(state.Step("disconnected"), IpLogLine::kChanged);
}

class LoggingPassTest : public ::testing::Test {
 protected:
  LoggingPassTest() {
    readings_.device_id = [] { return std::string("DEV"); };
    readings_.own_public_address = [this] { return public_address_; };
    readings_.own_local_address = [this] { return local_address_; };
    readings_.power = [this] { return power_; };
    readings_.position = [this] {
      ++position_requests_;
      return position_;
    };
    readings_.in_call = [this] { return in_call_; };
  }

  LoggingPass MakePass() {
    LoggingPassConfig config;
    config.study_folder = folder_.path();
    config.program_start_time = "2024-03-07 09:00:00";
    config.readings = readings_;
    config.upload_program_log = [this] {
      ++uploads_;
      return upload_succeeds_;
    };
    config.raise_trigger = [this](SurveyTrigger trigger) { triggers_.push_back(trigger); };
    return LoggingPass(std::move(config), mutex_);
  }

  TempFolder folder_;
  std::timed_mutex mutex_;
  StudyReadings readings_;
  std::string public_address_ = "203.0.113.7";
  std::string local_address_ = "10.0.0.2";
  std::optional<PowerReading> power_ = PowerReading{1, 77};
  PositionReading position_{PositionStatus::kOk, 0, {47.6062, -122.3321, 1.5, 7}};
  bool in_call_ = false;
  bool upload_succeeds_ = true;
  int uploads_ = 0;
  int position_requests_ = 0;
  std::vector<SurveyTrigger> triggers_;
};

TEST_F(LoggingPassTest, FirstPassUploadsThenWritesAllThreeLogs) {
  WriteFile(folder_.File("programlog.txt"), "DEV, 2024-03-06 08:00:00, 2024-03-06 08:30:00\r\n");
  LoggingPass pass = MakePass();
  ASSERT_TRUE(pass.Run(kT1));
  EXPECT_EQ(uploads_, 1);
  EXPECT_TRUE(pass.program_log_started());
  // The fake upload does not move the file: the new run's line is appended.
  EXPECT_EQ(ReadFile(folder_.File("programlog.txt")),
            "DEV, 2024-03-06 08:00:00, 2024-03-06 08:30:00\r\n"
            "DEV, 2024-03-07 09:00:00, 2024-03-07 09:00:10\r\n");
  EXPECT_EQ(ReadFile(folder_.File("iplog.txt")),
            "DEV, 1, 203.0.113.7, 2024-03-07 09:00:10, 7, 47.6062, -122.3321, 1.5000\r\n");
  EXPECT_EQ(ReadFile(folder_.File("batterylog.txt")),
            "DEV, 1, plugged, 2024-03-07 09:00:10, 77\r\n");
  EXPECT_TRUE(triggers_.empty());

  // Second pass: nothing changed, so only the program log's last time moves.
  ASSERT_TRUE(pass.Run(kT2));
  EXPECT_EQ(uploads_, 1);
  EXPECT_EQ(ReadFile(folder_.File("programlog.txt")),
            "DEV, 2024-03-06 08:00:00, 2024-03-06 08:30:00\r\n"
            "DEV, 2024-03-07 09:00:00, 2024-03-07 09:00:20\r\n");
  EXPECT_EQ(position_requests_, 1);  // a fix only for a line that is written
}

TEST_F(LoggingPassTest, NoProgramLogUploadDuringACall) {
  in_call_ = true;
  LoggingPass pass = MakePass();
  ASSERT_TRUE(pass.Run(kT1));
  EXPECT_EQ(uploads_, 0);
  EXPECT_TRUE(pass.program_log_started());
  EXPECT_EQ(ReadFile(folder_.File("programlog.txt")),
            "DEV, 2024-03-07 09:00:00, 2024-03-07 09:00:10\r\n");
}

TEST_F(LoggingPassTest, AddressChangesAndDisconnectRaiseIpChange) {
  LoggingPass pass = MakePass();
  local_address_ = "127.0.0.1";  // offline at start
  ASSERT_TRUE(pass.Run(kT1));
  local_address_ = "10.0.0.2";
  ASSERT_TRUE(pass.Run(kT2));
  public_address_ = "";
  ASSERT_TRUE(pass.Run(kT3));
  EXPECT_EQ(ReadFile(folder_.File("iplog.txt")),
            "DEV, 1, disconnected, 2024-03-07 09:00:10, 7, 47.6062, -122.3321, 1.5000\r\n"
            "DEV, 0, 203.0.113.7, 2024-03-07 09:00:20, 7, 47.6062, -122.3321, 1.5000\r\n"
            "DEV, 0, disconnected, 2024-03-07 09:00:30, 7, 47.6062, -122.3321, 1.5000\r\n");
  EXPECT_EQ(triggers_,
            (std::vector<SurveyTrigger>{SurveyTrigger::kIpChange, SurveyTrigger::kIpChange}));
}

TEST_F(LoggingPassTest, FailedFixWritesWhatTheReceiverLeft) {
  position_ = {PositionStatus::kNoPosition, -1, {}};
  LoggingPass pass = MakePass();
  ASSERT_TRUE(pass.Run(kT1));
  EXPECT_EQ(ReadFile(folder_.File("iplog.txt")),
            "DEV, 1, 203.0.113.7, 2024-03-07 09:00:10, 0, 0.0000, 0.0000, 0.0000\r\n");
}

TEST_F(LoggingPassTest, UnreadablePowerStatusSkipsTheBatteryLog) {
  power_ = std::nullopt;
  LoggingPass pass = MakePass();
  ASSERT_TRUE(pass.Run(kT1));
  EXPECT_FALSE(folder_.Exists("batterylog.txt"));
  power_ = PowerReading{0, 40};
  ASSERT_TRUE(pass.Run(kT2));
  EXPECT_EQ(ReadFile(folder_.File("batterylog.txt")),
            "DEV, 1, unplugged, 2024-03-07 09:00:20, 40\r\n");
}

TEST_F(LoggingPassTest, BusyLoggingMutexSkipsTheWholePass) {
  LoggingPass pass = MakePass();
  {
    std::lock_guard held(mutex_);
    std::thread other([&] { EXPECT_FALSE(pass.Run(kT1)); });
    other.join();
  }
  EXPECT_FALSE(pass.program_log_started());
  EXPECT_EQ(uploads_, 0);
  EXPECT_FALSE(folder_.Exists("iplog.txt"));
  EXPECT_FALSE(folder_.Exists("programlog.txt"));
  // The next free pass is the first one.
  ASSERT_TRUE(pass.Run(kT2));
  EXPECT_EQ(uploads_, 1);
  EXPECT_EQ(ReadFile(folder_.File("iplog.txt")).substr(0, 8), "DEV, 1, ");
}

}  // namespace
}  // namespace kestrelio
