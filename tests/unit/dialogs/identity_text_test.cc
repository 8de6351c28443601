#include <gtest/gtest.h>

#include "dialogs/identity_dialogs.h"

namespace kestrelio {
namespace {

TEST(IsAcceptableUserName, CommaAnywhereIsRefused) {
  EXPECT_TRUE(IsAcceptableUserName("Alma"));
  EXPECT_TRUE(IsAcceptableUserName(""));
  EXPECT_FALSE(IsAcceptableUserName(",Alma"));
  EXPECT_FALSE(IsAcceptableUserName("Al,ma"));
  EXPECT_FALSE(IsAcceptableUserName("Alma,"));
}

TEST(MyInfoText, ElevenDigitNumberIsFormattedWithoutTheLeadingOne) {
  EXPECT_EQ(MyInfoText("12065550101", "127.0.2.2", "127.0.2.2", 8200),
            "Phone Number\n  (206) 555-0101\nIP address\n  127.0.2.2 (127.0.2.2:8200)\n");
}

TEST(MyInfoText, PublicValuesNotYetKnownAreEmptyAndZero) {
  EXPECT_EQ(MyInfoText("12065550101", "10.0.0.5", "", 0),
            "Phone Number\n  (206) 555-0101\nIP address\n  10.0.0.5 (:0)\n");
}

TEST(MyInfoText, ShortNumberIsShownAsItStands) {
  EXPECT_EQ(MyInfoText("1206", "10.0.0.5", "", 0),
            "Phone Number\n  1206\nIP address\n  10.0.0.5 (:0)\n");
  EXPECT_EQ(MyInfoText("", "10.0.0.5", "", 0), "Phone Number\n  \nIP address\n  10.0.0.5 (:0)\n");
}

TEST(MyInfoText, LocalAddressIsCutTo19Characters) {
  const std::string text = MyInfoText("12065550101", std::string(40, '9'), "", 0);
  EXPECT_NE(text.find("  " + std::string(19, '9') + " (:0)"), std::string::npos);
}

TEST(AboutText, NamesVersionDeviceNumberNameAndServers) {
  AboutFacts facts{"Kestrelio 1.0.5", "0123456789ABCDEF0123", "12065550101", "Alma",
                   "127.0.2.1:8238",  "127.0.0.1:80"};
  EXPECT_EQ(AboutText(facts),
            "Kestrelio 1.0.5\n\nDevice ID\n  0123456789ABCDEF0123\nPhone Number\n  12065550101 "
            "(Alma)\nPresence server\n  127.0.2.1:8238\nStudy server\n  127.0.0.1:80");
}

TEST(AboutText, IsCutTo199Characters) {
  AboutFacts facts{"Kestrelio 1.0.5", "ID", "1", "n", std::string(300, 'h'), "s"};
  EXPECT_EQ(AboutText(facts).size(), 199u);
}

}  // namespace
}  // namespace kestrelio
