// The survey page parser, fed whatever a study server might send, and the survey dialog
// built from every block it accepts: a parsed page keeps its bounds, and the dialog only
// ever touches its own controls, inside the dialog.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/diag.h"
#include "study/survey_dialog.h"
#include "study/survey_page.h"
#include "tests/support/fake_window.h"

namespace kestrelio {
namespace {

// Checks every control id and rectangle the controller asks for.
class CheckingDialog final : public FakeDialog {
 public:
  void SetText(int control_id, std::string_view text) override {
    CheckId(control_id);
    FakeDialog::SetText(control_id, text);
  }
  void MoveControl(int control_id, int x, int y, int width, int height) override {
    CheckId(control_id);
    if (x < 0 || y < 0 || x + width > 246 || y + height > 186) __builtin_trap();
    FakeDialog::MoveControl(control_id, x, y, width, height);
  }

 private:
  static void CheckId(int id) {
    const bool answer = id >= kSurveyFirstAnswerControl && id < kSurveyFirstAnswerControl + 10;
    if (!answer && id != kSurveyQuestionControl && id != kSurveySubmitControl) __builtin_trap();
  }
};

}  // namespace
}  // namespace kestrelio

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kestrelio;
  static DiagQuietScope quiet;
  const std::string_view page(reinterpret_cast<const char*>(data), size);
  const SurveyPageParse parse = ParseSurveyPage(page);
  if (parse.error != SurveyPageError::kNone) {
    for (const auto& entry : parse.page.entries) {
      if (entry) __builtin_trap();  // a refused page shows nothing
    }
    return 0;
  }
  if (size > kMaxSurveyPageBytes) __builtin_trap();
  FakeWindow window;
  for (const auto& entry : parse.page.entries) {
    if (!entry) continue;
    if (entry->answers.empty() || entry->answers.size() > kMaxSurveyAnswers) __builtin_trap();
    if (entry->text.size() > size) __builtin_trap();
    SurveyDialog dialog(SurveyDialogContext{window, SurveyTrigger::kAfterCall, "ID", nullptr,
                                            [](const std::string&) {}},
                        *entry);
    CheckingDialog access;
    dialog.OnInit(access);
    dialog.OnCommand(access, kSurveyFirstAnswerControl);
    dialog.OnCommand(access, kSurveySubmitControl);
  }
  return 0;
}
