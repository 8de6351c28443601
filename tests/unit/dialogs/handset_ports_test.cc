// The dialogs' ports over the handset's real records: settings store, identity, the
// presence client (with a recording sender), the encoder and the capture flags.
#include <cerrno>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <vector>

#include "dialogs/handset_identity.h"
#include "dialogs/handset_settings.h"
#include "tests/support/fake_window.h"

namespace kestrelio {
namespace {

class RecordingSender : public DatagramSender {
 public:
  SendResult Send(std::span<const uint8_t> message, const NetAddress&) override {
    std::lock_guard lock(mutex);
    sent.emplace_back(message.begin(), message.end());
    return succeed ? SendResult::Sent(message.size()) : SendResult::Failed(ENETUNREACH);
  }
  std::vector<KeepAliveFields> KeepAlives() {
    std::lock_guard lock(mutex);
    std::vector<KeepAliveFields> out;
    for (const auto& message : sent) {
      if (auto fields = ParseKeepAlive(message)) out.push_back(*fields);
    }
    return out;
  }
  std::mutex mutex;
  std::vector<std::vector<uint8_t>> sent;
  bool succeed = true;
};

class HandsetPortsTest : public ::testing::Test {
 protected:
  HandsetPortsTest()
      : folder_(std::filesystem::temp_directory_path() /
                ("kestrelio-ports-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name())),
        settings_(
            (std::filesystem::create_directories(folder_), (folder_ / "settings.ini").string())),
        presence_(sender_, window_, db_, flags_, own_,
                  PresenceClientConfig{NetAddress{0x7F000001, 8238}, "127.0.0.9"},
                  [](std::string_view) { return true; }) {}
  ~HandsetPortsTest() override { std::filesystem::remove_all(folder_); }

  HandsetIdentity Identity() {
    return HandsetIdentity(HandsetIdentityParts{window_, settings_, own_, presence_,
                                                "0123456789ABCDEF0123", "127.0.0.1:8238",
                                                "127.0.0.1:80"});
  }

  std::filesystem::path folder_;
  SettingsStore settings_;
  FakeWindow window_;
  RecordingSender sender_;
  OnlineDb db_;
  CallFlags flags_;
  OwnIdentity own_{"0123456789ABCDEF0123", "12065550101", "Alma"};
  PresenceClient presence_;
};

TEST_F(HandsetPortsTest, StoredNameIsEverywhereAndInTheNextKeepAlive) {
  HandsetIdentity identity = Identity();
  ASSERT_TRUE(identity.StoreUserName("Alda"));
  EXPECT_EQ(own_.user_name(), "Alda");
  EXPECT_EQ(identity.UserName(), "Alda");
  EXPECT_EQ(settings_.GetString(kKestrelioKey, kUserNameName), "Alda");
  ASSERT_TRUE(identity.SendKeepAlive());
  const auto sent = sender_.KeepAlives();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].user_name.view(), "Alda");
  EXPECT_EQ(sent[0].phone.view(), "12065550101");
}

TEST_F(HandsetPortsTest, FailedSendIsReported) {
  sender_.succeed = false;
  EXPECT_FALSE(Identity().SendKeepAlive());
}

TEST_F(HandsetPortsTest, LocalAddressAndPublicValues) {
  HandsetIdentity identity = Identity();
  EXPECT_EQ(identity.RefreshLocalAddress(), "127.0.0.9");  // the --bind address
  EXPECT_EQ(identity.LocalPort(), 8200);
  EXPECT_EQ(identity.PublicAddress(), "");
  EXPECT_EQ(identity.PublicPort(), 0);
  presence_.SetOwnPublicAddress(NetAddress{0xCB007109, 40123});
  EXPECT_EQ(identity.PublicAddress(), "203.0.113.9");
  EXPECT_EQ(identity.PublicPort(), 40123);
}

TEST_F(HandsetPortsTest, ReloadReadsTheStoreAgain) {
  ASSERT_TRUE(settings_.SetString(kKestrelioKey, kUserNameName, "Fromfile"));
  ASSERT_TRUE(settings_.SetString(kKestrelioKey, kPhoneNumberName, "12065550199"));
  HandsetIdentity identity = Identity();
  identity.ReloadIdentity();
  EXPECT_EQ(identity.UserName(), "Fromfile");
  EXPECT_EQ(identity.PhoneNumber(), "12065550199");
  EXPECT_EQ(own_.phone_number(), "12065550199");
}

class HandsetSettingsTest : public HandsetPortsTest {
 protected:
  HandsetSettingsTest() { EncoderInit(encoder_); }
  HandsetSettings Settings(std::string program = "/opt/kestrelio/bin/kestrelio") {
    return HandsetSettings(HandsetSettingsParts{
        window_, encoder_, media_, presence_,
        (folder_ / "autostart" / "kestrelio.desktop").string(), std::move(program)});
  }
  EncoderState encoder_;
  MediaSettings media_;
};

TEST_F(HandsetSettingsTest, AutostartEntryIsCreatedPointingAtTheProgramAndRemoved) {
  HandsetSettings settings = Settings();
  EXPECT_FALSE(settings.AutostartEnabled());
  ASSERT_TRUE(settings.SetAutostart(true));
  EXPECT_TRUE(settings.AutostartEnabled());
  std::ifstream in(folder_ / "autostart" / "kestrelio.desktop");
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("Exec=\"/opt/kestrelio/bin/kestrelio\""), std::string::npos);
  ASSERT_TRUE(settings.SetAutostart(false));
  EXPECT_FALSE(settings.AutostartEnabled());
  EXPECT_TRUE(settings.SetAutostart(false));  // nothing to remove is no failure
}

TEST_F(HandsetSettingsTest, AnyEntryCountsAsOn) {
  std::filesystem::create_directories(folder_ / "autostart");
  std::ofstream(folder_ / "autostart" / "kestrelio.desktop") << "whatever";
  EXPECT_TRUE(Settings().AutostartEnabled());
}

TEST_F(HandsetSettingsTest, EncoderValuesRoundTrip) {
  HandsetSettings settings = Settings();
  EncoderSettingsView view = settings.Encoder();
  EXPECT_EQ(view.roi_level, 6);
  EXPECT_EQ(view.bitrate_kbps, 30);
  EXPECT_EQ(view.subpel_refine, 1);
  EXPECT_TRUE(view.all_partitions);
  settings.SetEncoderParameter("ROI", 12);
  settings.SetEncoderParameter("BITRATE", 64);
  settings.SetEncoderParameter("SUBPEL", 5);
  settings.SetEncoderParameter("ALLMBs", 0);
  view = settings.Encoder();
  EXPECT_EQ(view.roi_level, 12);
  EXPECT_EQ(view.bitrate_kbps, 64);
  EXPECT_EQ(view.subpel_refine, 5);
  EXPECT_FALSE(view.all_partitions);
  EXPECT_TRUE(window_.Boxes().empty());
}

TEST_F(HandsetSettingsTest, FlagsReachTheirOwners) {
  HandsetSettings settings = Settings();
  settings.SetPreProcessing(true);
  settings.SetBlackAndWhite(true);
  settings.SetFrameDrop(true);
  settings.SetSignInNotifications(false);
  EXPECT_TRUE(media_.pre_processing);
  EXPECT_TRUE(media_.black_and_white);
  EXPECT_TRUE(media_.frame_drop);
  EXPECT_FALSE(presence_.show_sign_in_notifications);
  const CaptureFlagsView flags = settings.CaptureFlags();
  EXPECT_TRUE(flags.pre_processing && flags.black_and_white && flags.frame_drop);
}

}  // namespace
}  // namespace kestrelio
