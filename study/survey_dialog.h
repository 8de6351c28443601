// The survey dialog (template 140): one question with its answers as radio buttons,
// and Submit, which a choice enables. Placed near the bottom of the main window, again
// whenever the main window changes size (rotation).
//
//   portrait (H > W): x = W/2 - 125, y = H - 210     landscape: x = W/2 - 120, y = H - 160
//   246 x 186 pixels
//
//   up to five answers            six to ten answers
//   x 30, w 200, y 55 + 20 i      x 15, w 110 (0-4)  |  x 130, w 110 (5-9), y 55 + 20 (i-5)
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "study/study_time.h"
#include "study/survey_page.h"
#include "study/survey_trigger.h"
#include "base/window/window.h"

namespace kestrelio {

inline constexpr int kSurveyDialogId = 140;
inline constexpr int kSurveyQuestionControl = 1045;
inline constexpr int kSurveyFirstAnswerControl = 1031;
inline constexpr int kSurveySubmitControl = 1046;
// RunDialog's result when the dialog closed without an answer being recorded.
inline constexpr int kSurveyDialogNoAnswer = 16;
inline constexpr int kSurveyDialogAnswered = 0;

struct SurveyRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const SurveyRect&) const = default;
};

SurveyRect SurveyDialogPlacement(ClientSize main_window);
// Where answer `index` (0-based) goes among `answer_count` answers.
SurveyRect SurveyAnswerRect(int index, int answer_count);

// Whether this answer ends the survey after the first block: question 4 with answer
// 17, or question 5 with answer 19.
bool AnswerEndsSurvey(int question, int answer);

struct SurveyDialogContext {
  Window& window;  // its client size places the dialog
  SurveyTrigger trigger;
  std::string device_id;
  std::function<StudyTime()> clock;  // null: local time now
  // Stores a formatted response record; never drops it.
  std::function<void(const std::string&)> write_response;
};

class SurveyDialog final : public DialogController {
 public:
  SurveyDialog(SurveyDialogContext context, const SurveyQuestion& question);

  void OnInit(DialogAccess& dialog) override;
  void OnCommand(DialogAccess& dialog, int control_id) override;
  void OnOwnerResized(DialogAccess& dialog) override;

  // The answer number recorded, if Submit was pressed.
  std::optional<int> recorded_answer() const { return recorded_answer_; }
  // The branching rule matched: the page's second entry is to be dropped.
  bool ends_survey() const { return ends_survey_; }

 private:
  StudyTime Now() const;
  void Submit(DialogAccess& dialog);

  SurveyDialogContext context_;
  const SurveyQuestion& question_;
  std::array<int, 11> answer_table_{};  // question number, then the answer numbers
  int answer_count_ = 0;
  StudyTime shown_;
  std::optional<int> recorded_answer_;
  bool ends_survey_ = false;
};

}  // namespace kestrelio
