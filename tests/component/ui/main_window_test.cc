#include "ui/main_window.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "base/window/ids.h"
#include "tests/support/qt_app.h"
#include "ui/dialog_host.h"

namespace kestrelio {
namespace {

using testing_support::App;
using testing_support::PumpUntil;

class Handler : public WindowHandler {
 public:
  void OnCommand(int id) override {
    std::lock_guard lock(mutex);
    commands.push_back(id);
  }
  void OnTimer(int id) override {
    std::lock_guard lock(mutex);
    timers.push_back(id);
  }
  void OnTextLogNotify(int wparam) override { notifies.push_back(wparam); }
  void OnDestroy() override { ++destroyed; }
  bool SawCommand(int id) {
    std::lock_guard lock(mutex);
    return std::find(commands.begin(), commands.end(), id) != commands.end();
  }
  bool SawTimer(int id) {
    std::lock_guard lock(mutex);
    return std::find(timers.begin(), timers.end(), id) != timers.end();
  }
  std::mutex mutex;
  std::vector<int> commands, timers, notifies;
  int destroyed = 0;
};

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() {
    App();
    window = std::make_unique<MainWindow>(call_flags, view_flags);
    window->SetHandler(&handler);
    window->InitialiseForStartUp();
    window->show();
    PumpUntil([&] { return window->isVisible(); });
  }
  CallFlags call_flags;
  ViewFlags view_flags;
  Handler handler;
  std::unique_ptr<MainWindow> window;
};

TEST_F(MainWindowTest, OpensWithPhoneClientSizeAndStartUpState) {
  ClientSize size = window->GetClientSize();
  EXPECT_EQ(size.width, 240);
  EXPECT_EQ(size.height, 320);
  EXPECT_FALSE(window->IsControlVisible(kControlCalling));
  EXPECT_FALSE(window->IsControlVisible(kControlChatList));
  EXPECT_TRUE(window->IsControlVisible(kControlStatusLine));
  EXPECT_EQ(window->logic().layout().primary, (VideoRect{0, 0, 159, 191}));
}

TEST_F(MainWindowTest, ResizeToLandscapeLaysOutAgain) {
  const int bar = window->height() - window->GetClientSize().height;
  window->resize(320, 240 + bar);
  ASSERT_TRUE(PumpUntil([&] { return window->GetClientSize().width == 320; }));
  EXPECT_EQ(window->logic().layout().primary, (VideoRect{16, 0, 207, 159}));
}

TEST_F(MainWindowTest, WorkerBlockedInBoxWhileGuiHandlesTimerAndCommand) {
  std::atomic<bool> returned{false};
  MessageBoxResult result = MessageBoxResult::kClosed;
  std::thread worker([&] {
    result = window->ShowMessageBox("Accept?", "Connection", MessageBoxButtons::kYesNo);
    returned = true;
  });
  ASSERT_TRUE(PumpUntil([&] { return !window->OpenBoxes().empty(); }));
  EXPECT_EQ(window->OpenBoxes()[0].caption, "Connection");

  window->StartTimer(kTimerNetworkLoss, 5);
  ASSERT_TRUE(PumpUntil([&] { return handler.SawTimer(kTimerNetworkLoss); }));
  window->Command(kCommandHangUp);
  EXPECT_TRUE(handler.SawCommand(kCommandHangUp));
  window->Command(kCommandView);
  EXPECT_EQ(window->logic().view_mode(), 2);
  EXPECT_FALSE(returned);

  EXPECT_FALSE(window->AnswerBox("Connection", MessageBoxResult::kOk));  // not on a yes/no box
  ASSERT_TRUE(window->AnswerBox("Connection", MessageBoxResult::kYes));
  worker.join();
  EXPECT_EQ(result, MessageBoxResult::kYes);
  EXPECT_TRUE(window->OpenBoxes().empty());
}

TEST_F(MainWindowTest, CloseMessageBoxReleasesWorkerAndGuiModalBoxes) {
  MessageBoxResult result = MessageBoxResult::kOk;
  std::thread worker(
      [&] { result = window->ShowMessageBox("busy", "Call", MessageBoxButtons::kOk); });
  ASSERT_TRUE(PumpUntil([&] { return !window->OpenBoxes().empty(); }));
  EXPECT_FALSE(window->CloseMessageBox("Other"));
  EXPECT_TRUE(window->CloseMessageBox("Call"));
  worker.join();
  EXPECT_EQ(result, MessageBoxResult::kClosed);

  // A box on the GUI thread runs modally; a timer closes it from inside the loop.
  QTimer::singleShot(0, [&] { window->AnswerBox("Phone", MessageBoxResult::kOk); });
  EXPECT_EQ(window->ShowMessageBox("No phone number was entered!", "Phone", MessageBoxButtons::kOk),
            MessageBoxResult::kOk);
}

// A person can only press what is on top: every visible button must be the topmost
// widget at its own centre, in every view and with the Calling indicator up.
void ExpectEveryVisibleButtonOnTop(MainWindow& window, const char* where) {
  for (QPushButton* button : window.findChildren<QPushButton*>()) {
    if (!button->isVisible() || button->window() != &window) continue;
    QWidget* parent = button->parentWidget();
    QWidget* top = parent->childAt(button->geometry().center());
    while (top != nullptr && top != button && top->parentWidget() != parent) {
      top = top->parentWidget();  // a child of the button itself still counts as the button
    }
    EXPECT_EQ(top, button) << where << ": \"" << button->text().toStdString()
                           << "\" is covered at its centre";
  }
}

TEST_F(MainWindowTest, CancelInsideTheCallingIndicatorTakesARealClick) {
  window->ShowControl(kControlCalling, true);
  window->ShowControl(kControlCancel, true);
  ASSERT_TRUE(PumpUntil([&] { return window->IsControlVisible(kControlCancel); }));
  QPushButton* cancel = nullptr;
  for (QPushButton* button : window->findChildren<QPushButton*>()) {
    if (button->text() == "Cancel") cancel = button;
  }
  ASSERT_NE(cancel, nullptr);
  ExpectEveryVisibleButtonOnTop(*window, "calling");
  // A click delivered to the window at the button's place, routed as the window system
  // routes a person's click: to whatever widget is on top there.
  const QPoint at = cancel->mapTo(window.get(), cancel->rect().center());
  QTest::mouseClick(window->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
  EXPECT_TRUE(PumpUntil([&] { return handler.SawCommand(kCommandCancel); }));

  window->ShowControl(kControlCalling, false);
  window->ShowControl(kControlCancel, false);
  for (int view = 0; view < 4; ++view) {
    window->Command(kCommandView);
    PumpUntil([] { return false; }, 50);
    ExpectEveryVisibleButtonOnTop(*window, "view");
  }
}

// A notice from a network thread shows over the pictures, leaves the status line's
// text alone, lets clicks through, and goes by itself.
TEST_F(MainWindowTest, ANoticePassesWithoutTouchingTheStatusLine) {
  window->SetControlText(kControlStatusLine, "Disconnected, 0:00, 87%");
  std::thread network([&] { window->ShowNotice("[Bob] has just signed in.", 300); });
  network.join();
  QLabel* notice = nullptr;
  ASSERT_TRUE(PumpUntil([&] {
    for (QLabel* label : window->findChildren<QLabel*>()) {
      if (label->text() == "[Bob] has just signed in." && label->isVisible()) notice = label;
    }
    return notice != nullptr;
  }));
  EXPECT_EQ(window->StateJson()["notice"].toString(), "[Bob] has just signed in.");
  EXPECT_EQ(window->StateJson()["status_text"].toString(), "Disconnected, 0:00, 87%");
  EXPECT_TRUE(notice->testAttribute(Qt::WA_TransparentForMouseEvents));
  EXPECT_EQ(notice->width(), window->GetClientSize().width);
  EXPECT_TRUE(PumpUntil([&] { return !notice->isVisible(); }));
  EXPECT_EQ(window->StateJson()["notice"].toString(), "");
  EXPECT_EQ(window->ControlText(kControlStatusLine), "Disconnected, 0:00, 87%");
}

TEST_F(MainWindowTest, StoppingAWorkerClosesItsBox) {
  std::stop_source stop;
  MessageBoxResult result = MessageBoxResult::kOk;
  std::thread worker([&] {
    result = window->ShowMessageBox("busy", "Call", MessageBoxButtons::kOk, stop.get_token());
  });
  ASSERT_TRUE(PumpUntil([&] { return !window->OpenBoxes().empty(); }));
  stop.request_stop();
  worker.join();
  EXPECT_EQ(result, MessageBoxResult::kClosed);
  EXPECT_TRUE(PumpUntil([&] { return window->OpenBoxes().empty(); }));
}

TEST_F(MainWindowTest, ClosingReleasesWaitingWorkersAndEndsLoopWithZero) {
  MessageBoxResult result = MessageBoxResult::kOk;
  std::thread worker(
      [&] { result = window->ShowMessageBox("text", "Error", MessageBoxButtons::kOk); });
  ASSERT_TRUE(PumpUntil([&] { return !window->OpenBoxes().empty(); }));
  QTimer::singleShot(0, [&] { window->Command(kCommandExit); });
  EXPECT_EQ(RunEventLoop(), 0);
  worker.join();
  EXPECT_EQ(result, MessageBoxResult::kClosed);
  EXPECT_EQ(handler.destroyed, 1);
  // After the close, boxes from workers no longer block.
  EXPECT_EQ(window->ShowMessageBox("late", "Error", MessageBoxButtons::kOk),
            MessageBoxResult::kClosed);
}

class DialController : public DialogController {
 public:
  void OnInit(DialogAccess& dialog) override { dialog.SetText(1001, "1206"); }
  void OnCommand(DialogAccess& dialog, int id) override {
    if (id == 1012) {
      number = dialog.Text(1001);
      dialog.End(0);
    } else if (id == 1014 || id == 2) {
      dialog.End(1);
    }
  }
  std::string number;
};

TEST_F(MainWindowTest, DialogFromWorkerRunsOnGuiAndReturnsEndValue) {
  DialController controller;
  int result = -2;
  std::thread worker([&] { result = window->RunDialog(105, controller); });
  ASSERT_TRUE(PumpUntil([&] { return !window->OpenDialogs().empty(); }));
  TemplateDialog* dialog = window->OpenDialogs()[0];
  EXPECT_EQ(dialog->dialog_id(), 105);
  EXPECT_EQ(dialog->Text(1001), "1206");
  EXPECT_TRUE(dialog->SetTextFromOutside(1001, "12063330001"));
  EXPECT_FALSE(dialog->SetTextFromOutside(1012, "x"));  // a button is not an edit
  EXPECT_TRUE(dialog->ClickFromOutside(1012));
  worker.join();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(controller.number, "12063330001");
  EXPECT_EQ(window->RunDialog(999, controller), -1);  // no such template
}

TEST_F(MainWindowTest, DrawPictureShowsBottomUpPictureUpright) {
  call_flags.video_active = true;
  window->Command(kCommandView);  // view 2
  window->Command(kCommandView);  // view 3
  window->Command(kCommandView);  // view 0: the peer picture fills the area
  // 4x4 picture, bottom-up: memory rows 0-1 (bottom on screen) blue, rows 2-3 red.
  std::vector<uint8_t> bytes(4 * 4 * 3);
  for (int row = 0; row < 4; ++row) {
    for (int x = 0; x < 4; ++x) {
      uint8_t* p = &bytes[static_cast<size_t>(row * 12 + x * 3)];
      p[0] = row < 2 ? 255 : 0;  // B
      p[1] = 0;
      p[2] = row < 2 ? 0 : 255;  // R
    }
  }
  window->DrawPicture(VideoTarget::kPrimary, {bytes.data(), 4, 4, 12, true});
  QApplication::processEvents();
  const QImage shot = window->grab().toImage();
  const QColor top = shot.pixelColor(120, 40);
  const QColor bottom = shot.pixelColor(120, 260);
  EXPECT_GT(top.red(), 200);
  EXPECT_LT(top.blue(), 50);
  EXPECT_GT(bottom.blue(), 200);
  EXPECT_LT(bottom.red(), 50);
  // Nonsense pictures are ignored, not read.
  window->DrawPicture(VideoTarget::kPrimary, {bytes.data(), 4, 4, 2, true});
  window->DrawPicture(VideoTarget::kPrimary, {nullptr, 4, 4, 12, true});
}

}  // namespace
}  // namespace kestrelio
