#include "ui/testing/fake_window.h"

#include <gtest/gtest.h>

#include <thread>

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

}  // namespace
}  // namespace kestrelio
