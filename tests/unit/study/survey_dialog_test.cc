#include "study/survey_dialog.h"

#include <gtest/gtest.h>

#include <vector>

#include "study/survey_response.h"
#include "tests/support/fake_window.h"

namespace kestrelio {
namespace {

using Rect = std::array<int, 4>;

SurveyQuestion Question(int number, int answers, int first_answer_number = 17) {
  SurveyQuestion q;
  q.number = number;
  q.text = "Question " + std::to_string(number);
  for (int i = 0; i < answers; ++i) {
    q.answers.push_back({first_answer_number + i, "Answer " + std::to_string(i)});
  }
  return q;
}

class SurveyDialogTest : public ::testing::Test {
 protected:
  SurveyDialogContext Context() {
    return SurveyDialogContext{window_, SurveyTrigger::kAfterCall, "00112233445566778899",
                               [this] { return times_.at(clock_calls_++); },
                               [this](const std::string& record) { records_.push_back(record); }};
  }

  // Runs the dialog through FakeWindow with `script`; returns the dialog's result.
  int Run(SurveyDialog& dialog, FakeWindow::DialogScript script) {
    window_.ScriptDialog(kSurveyDialogId, std::move(script));
    return window_.RunDialog(kSurveyDialogId, dialog);
  }

  FakeWindow window_;
  std::vector<StudyTime> times_ = {{2024, 3, 7, 9, 0, 1}, {2024, 3, 7, 9, 0, 9}};
  size_t clock_calls_ = 0;
  std::vector<std::string> records_;
};

TEST(SurveyPlacement, PortraitAndLandscape) {
  EXPECT_EQ(SurveyDialogPlacement({240, 320}), (SurveyRect{-5, 110, 246, 186}));
  EXPECT_EQ(SurveyDialogPlacement({320, 240}), (SurveyRect{40, 80, 246, 186}));
  // A square window counts as landscape; W/2 in whole pixels.
  EXPECT_EQ(SurveyDialogPlacement({241, 241}), (SurveyRect{0, 81, 246, 186}));
}

TEST(SurveyBranching, OnlyQuestionFourAnswer17AndQuestionFiveAnswer19) {
  EXPECT_TRUE(AnswerEndsSurvey(4, 17));
  EXPECT_TRUE(AnswerEndsSurvey(5, 19));
  EXPECT_FALSE(AnswerEndsSurvey(4, 19));
  EXPECT_FALSE(AnswerEndsSurvey(5, 17));
  EXPECT_FALSE(AnswerEndsSurvey(6, 17));
  EXPECT_FALSE(AnswerEndsSurvey(4, 0));
}

TEST(SurveyRecord, SevenLinesWithCrLfAndTabs) {
  SurveyResponse response;
  response.trigger = SurveyTrigger::kMissedCall;
  response.device_id = "00112233445566778899";
  response.question = 4;
  response.answer = 17;
  response.shown = {2024, 3, 7, 9, 0, 1};
  response.submitted = {2024, 3, 7, 9, 0, 9};
  EXPECT_EQ(FormatSurveyResponse(response),
            "<response trigger=\"missed_call\">\r\n"
            "\t<device>00112233445566778899</device>\r\n"
            "\t<qid>4</qid>\r\n"
            "\t<aid>17</aid>\r\n"
            "\t<showtime>2024-03-07 09:00:01</showtime>\r\n"
            "\t<submittime>2024-03-07 09:00:09</submittime>\r\n"
            "</response>\r\n");
  // Nothing in the device field can break the markup or the line.
  response.device_id = "<a>\r\n&\"";
  EXPECT_NE(FormatSurveyResponse(response).find("<device>_a_  __</device>"), std::string::npos);
}

TEST_F(SurveyDialogTest, FiveAnswersInOneColumnPortraitPlacement) {
  window_.SetClientSize(240, 320);
  const SurveyQuestion question = Question(4, 5);
  SurveyDialog dialog(Context(), question);
  Run(dialog, [](FakeDialog& d, DialogController&) {
    EXPECT_EQ(d.placement(), (Rect{-5, 110, 246, 186}));
    EXPECT_EQ(d.Text(kSurveyQuestionControl), "Question 4");
    EXPECT_EQ(d.ControlPlacement(kSurveyQuestionControl), (Rect{7, 7, 230, 44}));
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(d.ControlPlacement(1031 + i), (Rect{30, 55 + 20 * i, 200, 20})) << i;
      EXPECT_EQ(d.Text(1031 + i), "Answer " + std::to_string(i));
      EXPECT_TRUE(d.IsVisible(1031 + i));
    }
    EXPECT_FALSE(d.ControlPlacement(1036).has_value());  // stays hidden in the template
    EXPECT_FALSE(d.IsEnabled(kSurveySubmitControl));
  });
}

TEST_F(SurveyDialogTest, SixAnswersInTwoColumnsLandscapePlacement) {
  window_.SetClientSize(320, 240);
  const SurveyQuestion question = Question(4, 6);
  SurveyDialog dialog(Context(), question);
  Run(dialog, [](FakeDialog& d, DialogController&) {
    EXPECT_EQ(d.placement(), (Rect{40, 80, 246, 186}));
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(d.ControlPlacement(1031 + i), (Rect{15, 55 + 20 * i, 110, 20})) << i;
    }
    EXPECT_EQ(d.ControlPlacement(1036), (Rect{130, 55, 110, 20}));
    EXPECT_FALSE(d.ControlPlacement(1037).has_value());
  });
}

TEST_F(SurveyDialogTest, TenAnswersFillBothColumns) {
  const SurveyQuestion question = Question(4, 10);
  SurveyDialog dialog(Context(), question);
  Run(dialog, [](FakeDialog& d, DialogController&) {
    EXPECT_EQ(d.ControlPlacement(1040), (Rect{130, 135, 110, 20}));
    EXPECT_EQ(d.ControlPlacement(1035), (Rect{15, 135, 110, 20}));
  });
}

TEST_F(SurveyDialogTest, TurningTheWindowPlacesTheDialogAgain) {
  window_.SetClientSize(240, 320);
  const SurveyQuestion question = Question(4, 2);
  SurveyDialog dialog(Context(), question);
  Run(dialog, [this](FakeDialog& d, DialogController& c) {
    window_.SetClientSize(320, 240);
    c.OnOwnerResized(d);
    EXPECT_EQ(d.placement(), (Rect{40, 80, 246, 186}));
  });
}

TEST_F(SurveyDialogTest, ChoiceEnablesSubmitWhichRecordsTheAnswerNumber) {
  const SurveyQuestion question = Question(6, 3, 30);
  SurveyDialog dialog(Context(), question);
  const int result = Run(dialog, [](FakeDialog& d, DialogController& c) {
    c.OnCommand(d, 1040);  // not one of this question's answers
    EXPECT_FALSE(d.IsEnabled(kSurveySubmitControl));
    d.SetChecked(1032, true);
    c.OnCommand(d, 1032);
    EXPECT_TRUE(d.IsEnabled(kSurveySubmitControl));
    c.OnCommand(d, kSurveySubmitControl);
    c.OnCommand(d, kSurveySubmitControl);  // a second press records nothing more
  });
  EXPECT_EQ(result, kSurveyDialogAnswered);
  EXPECT_EQ(dialog.recorded_answer(), 31);
  EXPECT_FALSE(dialog.ends_survey());
  ASSERT_EQ(records_.size(), 1u);
  EXPECT_EQ(records_[0],
            "<response trigger=\"after_call\">\r\n\t<device>00112233445566778899</device>\r\n"
            "\t<qid>6</qid>\r\n\t<aid>31</aid>\r\n\t<showtime>2024-03-07 09:00:01</showtime>\r\n"
            "\t<submittime>2024-03-07 09:00:09</submittime>\r\n</response>\r\n");
}

TEST_F(SurveyDialogTest, BranchingAnswerEndsTheSurvey) {
  const SurveyQuestion question = Question(4, 2);  // answers 17, 18
  SurveyDialog dialog(Context(), question);
  Run(dialog, [](FakeDialog& d, DialogController& c) {
    d.SetChecked(1031, true);
    c.OnCommand(d, 1031);
    c.OnCommand(d, kSurveySubmitControl);
  });
  EXPECT_EQ(dialog.recorded_answer(), 17);
  EXPECT_TRUE(dialog.ends_survey());
}

TEST_F(SurveyDialogTest, QuestionOneClosesAtOnceAndClosingRecordsNothing) {
  const SurveyQuestion one = Question(1, 2);
  SurveyDialog first(Context(), one);
  bool script_ran = false;
  EXPECT_EQ(Run(first, [&](FakeDialog&, DialogController&) { script_ran = true; }),
            kSurveyDialogNoAnswer);
  EXPECT_FALSE(script_ran);

  const SurveyQuestion four = Question(4, 2);
  SurveyDialog second(Context(), four);
  EXPECT_EQ(Run(second,
                [](FakeDialog& d, DialogController& c) {
                  d.SetChecked(1031, true);
                  c.OnCommand(d, 1031);
                  c.OnCommand(d, 2);  // the close command
                }),
            kSurveyDialogNoAnswer);
  EXPECT_TRUE(records_.empty());
  EXPECT_FALSE(second.recorded_answer().has_value());
}

TEST_F(SurveyDialogTest, SubmitWithoutChoiceRecordsAnswerZero) {
  const SurveyQuestion question = Question(6, 2);
  SurveyDialog dialog(Context(), question);
  Run(dialog, [](FakeDialog& d, DialogController& c) { c.OnCommand(d, kSurveySubmitControl); });
  EXPECT_EQ(dialog.recorded_answer(), 0);
  ASSERT_EQ(records_.size(), 1u);
  EXPECT_NE(records_[0].find("<aid>0</aid>"), std::string::npos);
}

}  // namespace
}  // namespace kestrelio
