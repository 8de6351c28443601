// The survey dialog under the real Qt dialog host (offscreen): its run-time placements
// survive the host's re-layout, it follows the main window when that turns, and a
// choice enables Submit.
#include <gtest/gtest.h>

#include <QLabel>
#include <QRadioButton>
#include <QWidget>
#include <thread>

#include "tests/support/qt_app.h"
#include "resources/dialog_templates.h"
#include "study/survey_dialog.h"
#include "ui/dialog_host.h"
#include "ui/main_window.h"
#include "tests/support/fake_window.h"

namespace kestrelio {
namespace {

using testing_support::App;
using testing_support::PumpUntil;

SurveyQuestion SixAnswers() {
  SurveyQuestion q;
  q.number = 6;
  q.text = "<b>Where</b> are you?";
  for (int i = 0; i < 6; ++i) q.answers.push_back({30 + i, "Place " + std::to_string(i)});
  return q;
}

class SurveyDialogHostTest : public ::testing::Test {
 protected:
  SurveyDialogHostTest()
      : question_(SixAnswers()),
        controller_(SurveyDialogContext{sizes_, SurveyTrigger::kAfterCall, "ID", nullptr,
                                        [this](const std::string& r) { records_.push_back(r); }},
                    question_) {
    owner_.resize(240, 320);
    owner_.show();
    sizes_.SetClientSize(240, 320);
    dialog_ = new TemplateDialog(&owner_, *FindDialogTemplate(kSurveyDialogId), controller_);
    dialog_->Initialise();
    dialog_->show();
    PumpUntil([&] { return dialog_->isVisible(); });
  }
  ~SurveyDialogHostTest() override { delete dialog_; }

  QRadioButton* Answer(int index) const { return dialog_->findChildren<QRadioButton*>().at(index); }

  QApplication& app_ = App();
  FakeWindow sizes_;  // only its client size is read
  SurveyQuestion question_;
  std::vector<std::string> records_;
  SurveyDialog controller_;
  QWidget owner_;
  TemplateDialog* dialog_ = nullptr;
};

TEST_F(SurveyDialogHostTest, TwoColumnsSurviveShowAndResize) {
  EXPECT_EQ(Answer(0)->geometry(), QRect(15, 55, 110, 20));
  EXPECT_EQ(Answer(5)->geometry(), QRect(130, 55, 110, 20));
  EXPECT_TRUE(Answer(5)->isVisible());
  EXPECT_FALSE(Answer(6)->isVisible());
  dialog_->resize(300, 200);
  PumpUntil([&] { return dialog_->width() == 300; });
  EXPECT_EQ(Answer(0)->geometry(), QRect(15, 55, 110, 20));
  EXPECT_EQ(Answer(4)->geometry(), QRect(15, 135, 110, 20));
}

TEST_F(SurveyDialogHostTest, FollowsTheMainWindowWhenItTurns) {
  EXPECT_EQ(dialog_->geometry().topLeft(), owner_.mapToGlobal(QPoint(-5, 110)));
  sizes_.SetClientSize(320, 240);
  owner_.resize(320, 240);
  ASSERT_TRUE(PumpUntil(
      [&] { return dialog_->geometry().topLeft() == owner_.mapToGlobal(QPoint(40, 80)); }));
  EXPECT_EQ(dialog_->size(), QSize(246, 186));
}

TEST_F(SurveyDialogHostTest, QuestionIsPlainTextAndAChoiceEnablesSubmit) {
  auto* question = dialog_->findChild<QLabel*>();
  ASSERT_NE(question, nullptr);
  EXPECT_EQ(question->textFormat(), Qt::PlainText);
  EXPECT_EQ(question->text(), "<b>Where</b> are you?");
  EXPECT_FALSE(dialog_->CanClick(kSurveySubmitControl));
  // Six answers: the seventh radio button is hidden and cannot be clicked; a click on a
  // shown one checks it.
  EXPECT_FALSE(dialog_->ClickFromOutside(kSurveyFirstAnswerControl + 6));
  EXPECT_FALSE(Answer(6)->isChecked());
  ASSERT_TRUE(dialog_->ClickFromOutside(kSurveyFirstAnswerControl + 2));
  EXPECT_TRUE(Answer(2)->isChecked());
  ASSERT_TRUE(dialog_->ClickFromOutside(kSurveySubmitControl));
  ASSERT_EQ(records_.size(), 1u);
  EXPECT_NE(records_[0].find("<qid>6</qid>\r\n\t<aid>32</aid>"), std::string::npos);
  EXPECT_EQ(controller_.recorded_answer(), 32);
}

// Through the main window itself, as the survey thread runs it: the dialog is placed
// from the main window's client size, also after the window turns.
TEST(SurveyDialogInMainWindow, PlacedFromTheClientSizeAndAgainAfterTurning) {
  App();
  CallFlags call_flags;
  ViewFlags view_flags;
  MainWindow window(call_flags, view_flags);
  window.InitialiseForStartUp();
  window.show();
  ASSERT_TRUE(PumpUntil([&] { return window.isVisible(); }));
  const SurveyQuestion question = SixAnswers();
  SurveyDialog controller(
      SurveyDialogContext{window, SurveyTrigger::kAfterCall, "ID", nullptr, nullptr}, question);
  int result = -2;
  std::thread survey([&] { result = window.RunDialog(kSurveyDialogId, controller); });
  ASSERT_TRUE(PumpUntil([&] { return !window.OpenDialogs().empty(); }));
  TemplateDialog* dialog = window.OpenDialogs()[0];
  const ClientSize portrait = window.GetClientSize();
  ASSERT_GT(portrait.height, portrait.width);
  const SurveyRect first = SurveyDialogPlacement(portrait);
  // Portrait puts the dialog 5 pixels left of the window; the platform may keep it on
  // the screen, so only its row and size are certain.
  EXPECT_EQ(dialog->geometry().top(), window.mapToGlobal(QPoint(first.x, first.y)).y());
  EXPECT_EQ(dialog->size(), QSize(first.width, first.height));

  const int bar = window.height() - portrait.height;
  window.resize(320, 240 + bar);
  ASSERT_TRUE(PumpUntil([&] { return window.GetClientSize().width == 320; }));
  const SurveyRect turned = SurveyDialogPlacement(window.GetClientSize());
  EXPECT_EQ(turned.x, 40);
  ASSERT_TRUE(PumpUntil([&] {
    return dialog->geometry().topLeft() == window.mapToGlobal(QPoint(turned.x, turned.y));
  }));

  ASSERT_TRUE(dialog->ClickFromOutside(kSurveyFirstAnswerControl));
  ASSERT_TRUE(dialog->ClickFromOutside(kSurveySubmitControl));
  survey.join();
  EXPECT_EQ(result, kSurveyDialogAnswered);
  EXPECT_EQ(controller.recorded_answer(), 30);
}

}  // namespace
}  // namespace kestrelio
