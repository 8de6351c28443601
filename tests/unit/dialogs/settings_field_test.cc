#include <gtest/gtest.h>

#include "dialogs/settings_dialog.h"

namespace kestrelio {
namespace {

TEST(ParseBitrateField, EmptyLeavesTheBitRate) { EXPECT_EQ(ParseBitrateField(""), -1); }

TEST(ParseBitrateField, LeadingDigitsCount) {
  EXPECT_EQ(ParseBitrateField("48"), 48);
  EXPECT_EQ(ParseBitrateField("48kbit"), 48);
  EXPECT_EQ(ParseBitrateField("x48"), 0);
  EXPECT_EQ(ParseBitrateField("-5"), 0);
}

TEST(ParseBitrateField, LongDigitRunsStopAtTheLimit) {
  EXPECT_EQ(ParseBitrateField("99999999999999999999"), kMaxBitrateKbps);
}

TEST(ParseBitrateField, OnlyTheFirst20CharactersAreRead) {
  EXPECT_EQ(ParseBitrateField(std::string(20, '0') + "7"), 0);
}

}  // namespace
}  // namespace kestrelio
