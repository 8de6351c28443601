// The History dialog against a scripted FakeWindow and a real history file.
#include "dialogs/history_dialog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/window/ids.h"
#include "call/missed_call_dialog.h"
#include "dialogs/user_dialogs.h"
#include "tests/component/dialogs/fakes.h"
#include "tests/support/fake_window.h"

namespace kestrelio {
namespace {

class HistoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("kestrelio-history-dialog-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(folder_);
    path_ = (folder_ / "history_info.txt").string();
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  void Write(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
  std::string Read() const {
    std::ifstream in(path_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::optional<PickedEntry> Pick(int row, int control) {
    window_.ScriptDialog(kHistoryDialogId, [=, this](FakeDialog& d, DialogController& c) {
      list_ = d.List(kHistoryList);
      icons_ = d.ListIcons(kHistoryList);
      if (row >= 0) d.SetSelection(kHistoryList, row);
      c.OnCommand(d, control);
      result_ = d.result();
    });
    UserDialogs dialogs(
        UserDialogsContext{window_,
                           db_,
                           identity_,
                           settings_,
                           path_,
                           &lock_,
                           [this](std::string_view name) { chat_peer_ = std::string(name); },
                           {},
                           {}});
    return dialogs.PickEntry(kHistoryDialogId);
  }

  std::filesystem::path folder_;
  std::string path_;
  std::mutex lock_;
  FakeWindow window_;
  OnlineDb db_;
  FakeIdentity identity_;
  FakeSettings settings_;
  std::string chat_peer_;
  std::vector<std::string> list_;
  std::vector<int> icons_;
  std::optional<int> result_;
};

constexpr char kThreeCalls[] =
    "OUT, [03/07 14:05] Bruno, 12065550102\r\n"
    "IN*, [03/07 14:06] Cleo, 12065550103\r\n"
    "IN , [03/07 14:06] Dara, 12065550104\r\n";

TEST_F(HistoryTest, NewestFirstWithIcons) {
  Write(kThreeCalls);
  Pick(-1, kHistoryCancel);
  EXPECT_EQ(list_, (std::vector<std::string>{"[03/07 14:06] Dara, 12065550104",
                                             "[03/07 14:06] Cleo, 12065550103",
                                             "[03/07 14:05] Bruno, 12065550102"}));
  EXPECT_EQ(icons_, (std::vector<int>{150, 152, 151}));
  EXPECT_EQ(result_, kEntryCancelled);
}

TEST_F(HistoryTest, SignPicksTheEntryAndNamesTheChatPeer) {
  Write(kThreeCalls);
  const auto entry = Pick(2, kHistorySign);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->name, "Bruno");
  EXPECT_EQ(entry->number, "12065550102");
  EXPECT_EQ(chat_peer_, "Bruno");
  EXPECT_EQ(result_, kEntryChosen);
}

TEST_F(HistoryTest, SignIsIgnoredWhileCalling) {
  Write(kThreeCalls);
  window_.ShowControl(kControlCalling, true);
  EXPECT_FALSE(Pick(0, kHistorySign));
  EXPECT_FALSE(result_.has_value());
  EXPECT_TRUE(window_.Boxes().empty());
}

TEST_F(HistoryTest, SignWithoutSelectionIsReported) {
  Write(kThreeCalls);
  EXPECT_FALSE(Pick(-1, kHistorySign));
  ASSERT_EQ(window_.Boxes().size(), 1u);
  EXPECT_EQ(window_.Boxes()[0].text, "No item is selected!");
  EXPECT_EQ(window_.Boxes()[0].caption, "History - Dial");
}

TEST_F(HistoryTest, MissingFileGivesAnEmptyList) {
  EXPECT_FALSE(Pick(-1, kCloseCommand));
  EXPECT_TRUE(list_.empty());
  EXPECT_EQ(result_, kEntryDialogClosed);
}

TEST_F(HistoryTest, OpeningTrimsALongFileToThe30NewestKeepingCodes) {
  std::string text;
  for (int i = 0; i < 40; ++i) {
    text += std::string(i % 2 ? "OU*" : "IN*") + ", [03/07 14:" + (i < 10 ? "0" : "") +
            std::to_string(i) + "] User, 1206555" + std::to_string(1000 + i) + "\r\n";
  }
  Write(text);
  Pick(-1, kHistoryCancel);
  EXPECT_EQ(list_.size(), 30u);
  EXPECT_EQ(list_.front(), "[03/07 14:39] User, 12065551039");
  std::string expected;
  std::istringstream lines(text);
  std::string line;
  for (int i = 0; std::getline(lines, line); ++i) {
    if (i >= 10) expected += line + "\n";
  }
  EXPECT_EQ(Read(), expected);
}

}  // namespace
}  // namespace kestrelio

namespace kestrelio {
namespace {

TEST_F(HistoryTest, SeeHistoryOpensTheHistoryWithoutDialling) {
  Write(kThreeCalls);
  std::atomic<int> missed{2};
  UserDialogs dialogs(
      UserDialogsContext{window_, db_, identity_, settings_, path_, &lock_, {}, {}, {}});
  std::optional<PickedEntry> picked;
  int survey = 0;
  MissedCallDialog missed_dialog(
      window_, missed, [&] { picked = dialogs.PickEntry(kHistoryDialogId); }, [&] { ++survey; });
  window_.ScriptDialog(kMissedCallDialog, [](FakeDialog& d, DialogController& c) {
    EXPECT_EQ(d.Text(kMissedCallText), "You have 2 missed calls");
    c.OnCommand(d, kMissedCallSeeHistory);
  });
  window_.ScriptDialog(kHistoryDialogId, [this](FakeDialog& d, DialogController& c) {
    list_ = d.List(kHistoryList);
    d.SetSelection(kHistoryList, 0);
    c.OnCommand(d, kHistorySign);
  });
  missed_dialog.Run();
  EXPECT_EQ(window_.DialogsRun(), (std::vector<int>{kMissedCallDialog, kHistoryDialogId}));
  EXPECT_EQ(list_.size(), 3u);
  EXPECT_EQ(missed.load(), 0);
  EXPECT_EQ(survey, 1);
  // The Missed Call dialog has no way to dial: what the list handed back goes nowhere.
  ASSERT_TRUE(picked);
  EXPECT_EQ(picked->number, "12065550104");
}

}  // namespace
}  // namespace kestrelio
