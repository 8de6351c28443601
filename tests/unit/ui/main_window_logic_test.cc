#include "ui/main_window_logic.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/window/ids.h"
#include "tests/support/fake_window.h"

namespace kestrelio {
namespace {

class RecordingHandler : public WindowHandler {
 public:
  void OnCommand(int id) override { commands.push_back(id); }
  void OnTimer(int id) override { timers.push_back(id); }
  void OnTextLogNotify(int wparam) override { notifies.push_back(wparam); }
  void OnStatusLineShown() override { ++status_shown; }
  void OnDestroy() override { ++destroyed; }
  std::vector<int> commands, timers, notifies;
  int status_shown = 0;
  int destroyed = 0;
};

class RecordingShell : public WindowShell {
 public:
  void ApplyLayout(const Layout& l) override { layouts.push_back(l); }
  void FocusChatInput() override { ++focus; }
  void RequestClose() override { ++close; }
  std::vector<Layout> layouts;
  int focus = 0;
  int close = 0;
};

class LogicTest : public ::testing::Test {
 protected:
  LogicTest() : logic(fake, flags, &shell) {
    logic.SetHandler(&handler);
    logic.InitialiseForStartUp();
  }
  FakeWindow fake;
  ViewFlags flags;
  RecordingShell shell;
  RecordingHandler handler;
  MainWindowLogic logic;
};

TEST_F(LogicTest, StartUpState) {
  EXPECT_EQ(logic.view_mode(), 1);
  EXPECT_EQ(fake.ButtonImage(kCommandView), kImageView1);
  EXPECT_EQ(logic.chat_mode(), 0);
  for (int id : {kControlChatList, kControlChatEdit, kControlPlus, kControlMinus, kControlSend,
                 kControlCalling, kControlCancel}) {
    EXPECT_FALSE(fake.IsControlVisible(id)) << id;
  }
  EXPECT_TRUE(fake.IsControlVisible(kControlStatusLine));
  EXPECT_EQ(handler.status_shown, 1);
  EXPECT_FALSE(flags.own_video_paused);
  ASSERT_FALSE(shell.layouts.empty());
  EXPECT_EQ(shell.layouts.back().primary, (VideoRect{0, 0, 159, 191}));
}

TEST_F(LogicTest, ViewCycleFollowsImages6755AndLaysOut) {
  const int expected_modes[] = {2, 3, 0, 1};
  const int expected_images[] = {6, 7, 5, 6};
  for (int i = 0; i < 4; ++i) {
    const size_t layouts_before = shell.layouts.size();
    logic.OnCommand(kCommandView);
    EXPECT_EQ(logic.view_mode(), expected_modes[i]);
    EXPECT_EQ(flags.view_mode.load(), expected_modes[i]);
    EXPECT_EQ(fake.ButtonImage(kCommandView), expected_images[i]);
    EXPECT_EQ(shell.layouts.size(), layouts_before + 1);
  }
  EXPECT_TRUE(handler.commands.empty());
}

TEST_F(LogicTest, ChatPanelToggleAndPlusMinus) {
  logic.OnCommand(kCommandChatPanel);
  EXPECT_EQ(logic.chat_mode(), 1);
  EXPECT_TRUE(logic.chat_shown());
  EXPECT_EQ(shell.focus, 1);
  EXPECT_EQ(fake.ButtonImage(kCommandChatPanel), kImageChat);
  EXPECT_TRUE(fake.IsControlVisible(kControlChatList));
  EXPECT_TRUE(fake.IsControlVisible(kControlPlus));
  EXPECT_FALSE(fake.IsControlVisible(kControlMinus));

  const VideoRect primary_before = logic.layout().primary;
  logic.OnCommand(kCommandPlus);
  EXPECT_EQ(logic.chat_mode(), 2);
  EXPECT_FALSE(fake.IsControlVisible(kControlPlus));
  EXPECT_TRUE(fake.IsControlVisible(kControlMinus));
  EXPECT_EQ(logic.layout().primary, primary_before);

  logic.OnCommand(kCommandMinus);
  EXPECT_EQ(logic.chat_mode(), 1);
  // Toggling from mode 1 or 2 closes the panel; focus is given only on opening.
  logic.OnCommand(kCommandPlus);
  logic.OnCommand(kCommandChatPanel);
  EXPECT_EQ(logic.chat_mode(), 0);
  EXPECT_FALSE(logic.chat_shown());
  EXPECT_FALSE(fake.IsControlVisible(kControlChatEdit));
  EXPECT_FALSE(fake.IsControlVisible(kControlMinus));
  EXPECT_EQ(shell.focus, 1);
}

TEST_F(LogicTest, StatusLineToggle) {
  logic.OnCommand(kCommandStatusLine);
  EXPECT_FALSE(logic.status_line_on());
  EXPECT_FALSE(fake.IsControlVisible(kControlStatusLine));
  EXPECT_FALSE(shell.layouts.back().status_line);
  logic.OnCommand(kCommandStatusLine);
  EXPECT_TRUE(fake.IsControlVisible(kControlStatusLine));
  EXPECT_EQ(handler.status_shown, 2);
}

TEST_F(LogicTest, DialIgnoredWhileCallingShown) {
  logic.ShowCalling(true);
  EXPECT_TRUE(fake.IsControlVisible(kControlCancel));
  logic.OnCommand(kCommandDial);
  EXPECT_TRUE(handler.commands.empty());
  logic.ShowCalling(false);
  logic.OnCommand(kCommandDial);
  EXPECT_EQ(handler.commands, std::vector<int>{kCommandDial});
}

TEST_F(LogicTest, PauseTogglesFlagBeforeTheHandlerHearsIt) {
  struct PauseHandler : RecordingHandler {
    explicit PauseHandler(ViewFlags& f) : flags(f) {}
    void OnCommand(int id) override {
      RecordingHandler::OnCommand(id);
      seen.push_back(flags.own_video_paused.load());
    }
    ViewFlags& flags;
    std::vector<bool> seen;
  } pause_handler(flags);
  logic.SetHandler(&pause_handler);
  const int repaints = fake.invalidate_count();
  logic.OnCommand(kCommandPause);
  logic.OnCommand(kCommandPause);
  EXPECT_EQ(pause_handler.seen, (std::vector<bool>{true, false}));
  EXPECT_GE(fake.invalidate_count(), repaints + 2);
}

TEST_F(LogicTest, OtherCommandsGoToTheHandlerAndExitCloses) {
  for (int id : {111, 127, 145, 155, 32782, 32803, 32807, 32811, 32813, 9999}) {
    logic.OnCommand(id);
  }
  EXPECT_EQ(handler.commands,
            (std::vector<int>{111, 127, 145, 155, 32782, 32803, 32807, 32811, 32813, 9999}));
  logic.OnCommand(kCommandExit);
  EXPECT_EQ(shell.close, 1);
  EXPECT_EQ(handler.destroyed, 0);  // the shell's close runs the handler's shutdown
}

TEST_F(LogicTest, CallingAnimationCyclesTextsAndRearms) {
  const char* expected[] = {"\n Calling..", "\n  Calling...", "\nCalling.", "\n Calling.."};
  for (const char* text : expected) {
    logic.OnTimer(kTimerCallingAnimation);
    EXPECT_EQ(fake.ControlText(kControlCalling), text);
    EXPECT_EQ(fake.TimerPeriod(kTimerCallingAnimation), 1000);
  }
  EXPECT_TRUE(handler.timers.empty());
}

TEST_F(LogicTest, EveryAttemptStartsAtTheFirstCallingText) {
  logic.ShowCalling(true);
  logic.OnTimer(kTimerCallingAnimation);
  logic.OnTimer(kTimerCallingAnimation);
  EXPECT_EQ(fake.ControlText(kControlCalling), "\n  Calling...");
  logic.ShowCalling(false);
  logic.ShowCalling(true);
  EXPECT_EQ(fake.ControlText(kControlCalling), "\nCalling.");
  logic.OnTimer(kTimerCallingAnimation);
  EXPECT_EQ(fake.ControlText(kControlCalling), "\n Calling..");
  // Call control puts up the first text itself: the animation goes on from there.
  fake.SetControlText(kControlCalling, kCallingTexts[0]);
  logic.OnTimer(kTimerCallingAnimation);
  EXPECT_EQ(fake.ControlText(kControlCalling), "\n Calling..");
}

TEST_F(LogicTest, ChatBlinkAlternatesUntilChatShown) {
  logic.OnTimer(kTimerChatBlink);
  EXPECT_EQ(fake.ButtonImage(kCommandChatPanel), kImageChatUnread);
  EXPECT_EQ(fake.TimerPeriod(kTimerChatBlink), 500);
  logic.OnTimer(kTimerChatBlink);
  EXPECT_EQ(fake.ButtonImage(kCommandChatPanel), kImageChat);
  logic.OnTimer(kTimerChatBlink);
  EXPECT_EQ(fake.ButtonImage(kCommandChatPanel), kImageChatUnread);
  logic.OnCommand(kCommandChatPanel);  // the user opens the chat
  EXPECT_EQ(fake.ButtonImage(kCommandChatPanel), kImageChat);
  logic.OnTimer(kTimerChatBlink);
  EXPECT_FALSE(fake.IsTimerRunning(kTimerChatBlink));
  EXPECT_EQ(fake.ButtonImage(kCommandChatPanel), kImageChat);
}

TEST_F(LogicTest, HandlerTimersAreKilledFirstExceptStatusTick) {
  fake.StartTimer(kTimerStatusTick, 1000);
  fake.StartTimer(kTimerNetworkLoss, 5000);
  logic.OnTimer(kTimerStatusTick);
  logic.OnTimer(kTimerNetworkLoss);
  EXPECT_TRUE(fake.IsTimerRunning(kTimerStatusTick));
  EXPECT_FALSE(fake.IsTimerRunning(kTimerNetworkLoss));
  EXPECT_EQ(handler.timers, (std::vector<int>{kTimerStatusTick, kTimerNetworkLoss}));
}

TEST_F(LogicTest, TextLogNotifyPassesEveryValue) {
  logic.OnTextLogNotify(0);
  logic.OnTextLogNotify(1);
  logic.OnTextLogNotify(7);
  EXPECT_EQ(handler.notifies, (std::vector<int>{0, 1, 7}));
}

TEST_F(LogicTest, ResizeToLandscapeUsesLandscapeArithmetic) {
  fake.SetClientSize(320, 240);
  logic.OnResize();
  EXPECT_EQ(logic.layout().primary, (VideoRect{16, 0, 207, 159}));
}

}  // namespace
}  // namespace kestrelio
