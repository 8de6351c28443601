// The ten survey triggers: the moments at which the handset asks the study's questions.
// The index is what other modules pass around; the name is what the study server is
// asked for and what every survey response records.
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string_view>

namespace kestrelio {

enum class SurveyTrigger {
  kAfterCall = 0,
  kAfterCallShort = 1,
  kAfterCallPrivacy = 2,
  kDeclineCall = 3,
  kMissedCall = 4,
  kIpChange = 5,
  kGpsChange = 6,
  kReceiveText = 7,
  kSentText = 8,
  kVrsCall = 9,  // nothing raises it
};

inline constexpr int kSurveyTriggerKinds = 10;

// "after_call" ... "vrs_call".
std::string_view SurveyTriggerName(SurveyTrigger trigger);
// The trigger of `index` (0-9); nullopt for any other index.
std::optional<SurveyTrigger> SurveyTriggerFromIndex(int index);
constexpr int SurveyTriggerIndex(SurveyTrigger trigger) { return static_cast<int>(trigger); }

// Ten manual-reset flags and one wait for any of them. Any thread may raise a trigger;
// only the survey launch thread waits and takes them.
class SurveyTriggers {
 public:
  void Raise(SurveyTrigger trigger);
  bool IsRaised(SurveyTrigger trigger) const;
  std::array<bool, kSurveyTriggerKinds> Raised() const;

  // Waits until a trigger is raised, then takes the lowest one raised and clears all
  // ten (triggers raised during the survey that follows stay raised). nullopt when
  // `stop` was requested.
  std::optional<SurveyTrigger> WaitAndTake(std::stop_token stop);

 private:
  mutable std::mutex mutex_;
  std::condition_variable_any raised_changed_;
  std::array<bool, kSurveyTriggerKinds> raised_{};
};

}  // namespace kestrelio
