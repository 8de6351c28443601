#include "study/survey_trigger.h"

#include <algorithm>

namespace kestrelio {
namespace {

// Index order: the position of a name is its trigger's index.
constexpr std::array<std::string_view, kSurveyTriggerKinds> kTriggerNames = {
    "after_call", "after_call_short", "after_call_privacy", "decline_call", "missed_call",
    "ip_change",  "gps_change",       "receive_text",       "sent_text",    "vrs_call",
};

}  // namespace

std::string_view SurveyTriggerName(SurveyTrigger trigger) {
  const int index = SurveyTriggerIndex(trigger);
  if (index < 0 || index >= kSurveyTriggerKinds) return "after_call";
  return kTriggerNames[static_cast<size_t>(index)];
}

std::optional<SurveyTrigger> SurveyTriggerFromIndex(int index) {
  if (index < 0 || index >= kSurveyTriggerKinds) return std::nullopt;
  return static_cast<SurveyTrigger>(index);
}

void SurveyTriggers::Raise(SurveyTrigger trigger) {
  const int index = SurveyTriggerIndex(trigger);
  if (index < 0 || index >= kSurveyTriggerKinds) return;
  {
    std::lock_guard lock(mutex_);
    raised_[static_cast<size_t>(index)] = true;
  }
  raised_changed_.notify_all();
}

bool SurveyTriggers::IsRaised(SurveyTrigger trigger) const {
  const int index = SurveyTriggerIndex(trigger);
  if (index < 0 || index >= kSurveyTriggerKinds) return false;
  std::lock_guard lock(mutex_);
  return raised_[static_cast<size_t>(index)];
}

std::array<bool, kSurveyTriggerKinds> SurveyTriggers::Raised() const {
  std::lock_guard lock(mutex_);
  return raised_;
}

std::optional<SurveyTrigger> SurveyTriggers::WaitAndTake(std::stop_token stop) {
  std::unique_lock lock(mutex_);
  auto any = [this] { return std::find(raised_.begin(), raised_.end(), true) != raised_.end(); };
  if (!raised_changed_.wait(lock, stop, any)) return std::nullopt;
  const auto lowest = std::find(raised_.begin(), raised_.end(), true);
  const int index = static_cast<int>(lowest - raised_.begin());
  raised_.fill(false);
  return static_cast<SurveyTrigger>(index);
}

}  // namespace kestrelio
