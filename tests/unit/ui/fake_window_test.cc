#include "tests/support/fake_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <thread>
#include <vector>

namespace kestrelio {
namespace {

TEST(FakeWindow, AnswersBoxesByCaptionThenInOrderThenDefault) {
  FakeWindow fake;
  fake.AnswerBoxes("Connection", {MessageBoxResult::kYes});
  fake.AnswerNextBoxes({MessageBoxResult::kClosed});
  EXPECT_EQ(fake.ShowMessageBox("a", "Other", MessageBoxButtons::kOk), MessageBoxResult::kClosed);
  EXPECT_EQ(fake.ShowMessageBox("b", "Connection", MessageBoxButtons::kYesNo),
            MessageBoxResult::kYes);
  EXPECT_EQ(fake.ShowMessageBox("c", "Connection", MessageBoxButtons::kYesNo),
            MessageBoxResult::kNo);
  EXPECT_EQ(fake.ShowMessageBox("d", "", MessageBoxButtons::kOk), MessageBoxResult::kOk);
  auto boxes = fake.Boxes();
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[1].text, "b");
}

TEST(FakeWindow, HeldBoxBlocksUntilClosed) {
  FakeWindow fake;
  fake.HoldBoxes("Connection");
  MessageBoxResult result = MessageBoxResult::kOk;
  std::thread worker(
      [&] { result = fake.ShowMessageBox("Incoming", "Connection", MessageBoxButtons::kYesNo); });
  ASSERT_TRUE(fake.WaitForHeldBox("Connection", 10000));
  EXPECT_FALSE(fake.CloseMessageBox("Other"));
  EXPECT_TRUE(fake.CloseMessageBox("Connection"));
  worker.join();
  EXPECT_EQ(result, MessageBoxResult::kClosed);
}

TEST(FakeWindow, HeldBoxEndsWhenItsWorkerIsStopped) {
  FakeWindow fake;
  fake.HoldBoxes("Connection");
  std::stop_source stop;
  MessageBoxResult result = MessageBoxResult::kOk;
  std::thread worker([&] {
    result =
        fake.ShowMessageBox("Incoming", "Connection", MessageBoxButtons::kYesNo, stop.get_token());
  });
  ASSERT_TRUE(fake.WaitForHeldBox("Connection", 10000));
  stop.request_stop();
  worker.join();
  EXPECT_EQ(result, MessageBoxResult::kClosed);
  // Already stopped: the box does not wait at all.
  EXPECT_EQ(fake.ShowMessageBox("Late", "Connection", MessageBoxButtons::kYesNo, stop.get_token()),
            MessageBoxResult::kClosed);
}

class EchoController : public DialogController {
 public:
  void OnInit(DialogAccess& d) override { d.SetText(1001, "init"); }
  void OnCommand(DialogAccess& d, int id) override {
    if (id == 1012) d.End(d.Text(1001) == "555" ? 0 : 7);
  }
};

TEST(FakeWindow, DialogScriptDrivesController) {
  FakeWindow fake;
  EchoController controller;
  EXPECT_EQ(fake.RunDialog(105, controller), 2);  // unscripted: cancelled
  fake.ScriptDialog(105, [](FakeDialog& d, DialogController& c) {
    EXPECT_EQ(d.Text(1001), "init");
    d.SetText(1001, "555");
    c.OnCommand(d, 1012);
  });
  EXPECT_EQ(fake.RunDialog(105, controller), 0);
  EXPECT_EQ(fake.DialogsRun(), (std::vector<int>{105, 105}));
}

TEST(FakeWindow, DrawingsKeepOrderShapeAndACopyOfTheLastPicturePerTarget) {
  FakeWindow fake;
  EXPECT_TRUE(fake.LastPicture(VideoTarget::kPrimary).empty());
  // Two pixels a row, rows padded to 8 bytes: the padding is not copied.
  std::vector<uint8_t> buffer = {1, 2, 3, 4, 5, 6, 99, 99, 7, 8, 9, 10, 11, 12, 99, 99};
  fake.DrawPicture(VideoTarget::kPrimary, {buffer.data(), 2, 2, 8, true});
  std::fill(buffer.begin(), buffer.end(), uint8_t{0});  // the caller reuses its buffer
  const std::vector<uint8_t> secondary = {20, 21, 22};
  fake.DrawPicture(VideoTarget::kSecondary, {secondary.data(), 1, 1, 3, false});
  EXPECT_EQ(fake.LastPicture(VideoTarget::kPrimary),
            (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
  EXPECT_EQ(fake.LastPicture(VideoTarget::kSecondary), secondary);
  fake.DrawPicture(VideoTarget::kPrimary, {buffer.data(), 1, 1, 8, true});
  EXPECT_EQ(fake.LastPicture(VideoTarget::kPrimary), (std::vector<uint8_t>{0, 0, 0}));
  EXPECT_EQ(fake.pictures_drawn(VideoTarget::kPrimary), 2);
  const auto drawings = fake.Drawings();
  ASSERT_EQ(drawings.size(), 3u);
  EXPECT_EQ(drawings[0].target, VideoTarget::kPrimary);
  EXPECT_EQ(drawings[0].width, 2);
  EXPECT_EQ(drawings[0].height, 2);
  EXPECT_TRUE(drawings[0].bottom_up);
  EXPECT_EQ(drawings[1].target, VideoTarget::kSecondary);
  EXPECT_FALSE(drawings[1].bottom_up);
  EXPECT_EQ(drawings[2].width, 1);
}

TEST(FakeWindow, AlertsKeepTheirDurations) {
  FakeWindow fake;
  fake.Alert(300);
  fake.Alert(50);
  EXPECT_EQ(fake.Alerts(), (std::vector<int>{300, 50}));
  EXPECT_EQ(fake.alert_count(), 2);
}

}  // namespace
}  // namespace kestrelio
