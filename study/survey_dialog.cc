#include "study/survey_dialog.h"

#include "study/survey_response.h"

namespace kestrelio {
namespace {

constexpr int kDialogWidth = 246;
constexpr int kDialogHeight = 186;
constexpr int kAnswersPerColumn = 5;
constexpr int kCloseCommand = 2;

}  // namespace

SurveyRect SurveyDialogPlacement(ClientSize main_window) {
  const int half_width = main_window.width / 2;
  if (main_window.height > main_window.width) {
    return {half_width - 125, main_window.height - 210, kDialogWidth, kDialogHeight};
  }
  return {half_width - 120, main_window.height - 160, kDialogWidth, kDialogHeight};
}

SurveyRect SurveyAnswerRect(int index, int answer_count) {
  if (answer_count <= kAnswersPerColumn) return {30, 55 + 20 * index, 200, 20};
  if (index < kAnswersPerColumn) return {15, 55 + 20 * index, 110, 20};
  return {130, 55 + 20 * (index - kAnswersPerColumn), 110, 20};
}

bool AnswerEndsSurvey(int question, int answer) {
  return (question == 4 && answer == 17) || (question == 5 && answer == 19);
}

SurveyDialog::SurveyDialog(SurveyDialogContext context, const SurveyQuestion& question)
    : context_(std::move(context)), question_(question) {}

StudyTime SurveyDialog::Now() const { return context_.clock ? context_.clock() : LocalStudyTime(); }

void SurveyDialog::OnInit(DialogAccess& dialog) {
  OnOwnerResized(dialog);
  dialog.SetEnabled(kSurveySubmitControl, false);

  answer_table_.fill(0);
  answer_table_[0] = question_.number;
  dialog.SetText(kSurveyQuestionControl, question_.text);
  dialog.MoveControl(kSurveyQuestionControl, 7, 7, 230, 44);
  dialog.Show(kSurveyQuestionControl, true);

  answer_count_ = static_cast<int>(
      question_.answers.size() < kMaxSurveyAnswers ? question_.answers.size() : kMaxSurveyAnswers);
  for (int i = 0; i < answer_count_; ++i) {
    const SurveyAnswer& answer = question_.answers[static_cast<size_t>(i)];
    const int id = kSurveyFirstAnswerControl + i;
    const SurveyRect rect = SurveyAnswerRect(i, answer_count_);
    dialog.SetText(id, answer.text);
    dialog.SetChecked(id, false);
    dialog.MoveControl(id, rect.x, rect.y, rect.width, rect.height);
    dialog.Show(id, true);
    answer_table_[static_cast<size_t>(i) + 1] = answer.number;
  }

  // Question 1 is never asked.
  if (question_.number == 1) {
    dialog.End(kSurveyDialogNoAnswer);
    return;
  }
  shown_ = Now();
}

void SurveyDialog::OnOwnerResized(DialogAccess& dialog) {
  const SurveyRect place = SurveyDialogPlacement(context_.window.GetClientSize());
  dialog.Place(place.x, place.y, place.width, place.height);
}

void SurveyDialog::OnCommand(DialogAccess& dialog, int control_id) {
  if (control_id >= kSurveyFirstAnswerControl &&
      control_id < kSurveyFirstAnswerControl + answer_count_) {
    dialog.SetEnabled(kSurveySubmitControl, true);
  } else if (control_id == kSurveySubmitControl) {
    Submit(dialog);
  } else if (control_id == kCloseCommand) {
    dialog.End(kSurveyDialogNoAnswer);
  }
}

void SurveyDialog::Submit(DialogAccess& dialog) {
  if (recorded_answer_) return;  // one record per dialog, also on a double press
  int answer = 0;
  for (int i = 0; i < answer_count_; ++i) {
    if (dialog.IsChecked(kSurveyFirstAnswerControl + i)) {
      answer = answer_table_[static_cast<size_t>(i) + 1];
      break;
    }
  }
  SurveyResponse response;
  response.trigger = context_.trigger;
  response.device_id = context_.device_id;
  response.question = question_.number;
  response.answer = answer;
  response.shown = shown_;
  response.submitted = Now();
  if (context_.write_response) context_.write_response(FormatSurveyResponse(response));
  recorded_answer_ = answer;
  ends_survey_ = AnswerEndsSurvey(question_.number, answer);
  dialog.End(kSurveyDialogAnswered);
}

}  // namespace kestrelio
