#include "study/survey_trigger.h"

#include <gtest/gtest.h>

#include <thread>

namespace kestrelio {
namespace {

TEST(SurveyTriggerNames, IndexAndNameTable) {
  const char* names[] = {"after_call",  "after_call_short", "after_call_privacy", "decline_call",
                         "missed_call", "ip_change",        "gps_change",         "receive_text",
                         "sent_text",   "vrs_call"};
  for (int i = 0; i < kSurveyTriggerKinds; ++i) {
    auto trigger = SurveyTriggerFromIndex(i);
    ASSERT_TRUE(trigger.has_value());
    EXPECT_EQ(SurveyTriggerIndex(*trigger), i);
    EXPECT_EQ(SurveyTriggerName(*trigger), names[i]);
  }
  EXPECT_FALSE(SurveyTriggerFromIndex(-1).has_value());
  EXPECT_FALSE(SurveyTriggerFromIndex(10).has_value());
  EXPECT_EQ(SurveyTriggerIndex(SurveyTrigger::kIpChange), 5);
  EXPECT_EQ(SurveyTriggerIndex(SurveyTrigger::kGpsChange), 6);
}

TEST(SurveyTriggers, LowestRaisedWinsAndAllAreCleared) {
  SurveyTriggers triggers;
  triggers.Raise(SurveyTrigger::kSentText);
  triggers.Raise(SurveyTrigger::kMissedCall);
  EXPECT_TRUE(triggers.IsRaised(SurveyTrigger::kSentText));
  std::stop_source stop;
  EXPECT_EQ(triggers.WaitAndTake(stop.get_token()), SurveyTrigger::kMissedCall);
  for (bool raised : triggers.Raised()) EXPECT_FALSE(raised);
}

TEST(SurveyTriggers, WaitWakesOnRaiseFromAnotherThreadAndOnStop) {
  SurveyTriggers triggers;
  std::stop_source stop;
  std::thread raiser([&] { triggers.Raise(SurveyTrigger::kReceiveText); });
  EXPECT_EQ(triggers.WaitAndTake(stop.get_token()), SurveyTrigger::kReceiveText);
  raiser.join();

  std::thread stopper([&] { stop.request_stop(); });
  EXPECT_EQ(triggers.WaitAndTake(stop.get_token()), std::nullopt);
  stopper.join();
}

}  // namespace
}  // namespace kestrelio
