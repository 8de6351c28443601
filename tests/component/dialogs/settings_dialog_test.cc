// The Settings dialog and its two pages through FakeWindow.
#include "dialogs/settings_dialog.h"

#include <gtest/gtest.h>

#include "base/window/ids.h"
#include "dialogs/user_dialogs.h"
#include "tests/component/dialogs/fakes.h"
#include "tests/support/fake_window.h"

namespace kestrelio {
namespace {

class SettingsTest : public ::testing::Test {
 protected:
  void Run(std::function<void(FakeDialog&, DialogController&)> script) {
    window_.ScriptDialog(kSettingsDialogId, std::move(script));
    UserDialogs dialogs(
        UserDialogsContext{window_, db_, identity_, settings_, "", nullptr, {}, {}, {}});
    dialogs.OnCommand(kCommandSettings);
  }

  FakeWindow window_;
  OnlineDb db_;
  FakeIdentity identity_;
  FakeSettings settings_;
};

TEST_F(SettingsTest, OpensWithTwoTabsAndTheGeneralPageShown) {
  Run([](FakeDialog& d, DialogController&) {
    EXPECT_EQ(d.List(kSettingsTabs), (std::vector<std::string>{"General", "Advanced"}));
    EXPECT_TRUE(d.IsPageShown(kGeneralPageId));
    EXPECT_FALSE(d.IsPageShown(kAdvancedPageId));
    EXPECT_EQ(d.PageTab(kGeneralPageId), kSettingsTabs);
    EXPECT_EQ(d.PageTab(kAdvancedPageId), kSettingsTabs);
  });
}

TEST_F(SettingsTest, TabSelectionSwitchesPages) {
  Run([](FakeDialog& d, DialogController& c) {
    d.SetSelection(kSettingsTabs, 1);
    c.OnCommand(d, kSettingsTabs);
    EXPECT_FALSE(d.IsPageShown(kGeneralPageId));
    EXPECT_TRUE(d.IsPageShown(kAdvancedPageId));
    d.SetSelection(kSettingsTabs, 0);
    c.OnCommand(d, kSettingsTabs);
    EXPECT_TRUE(d.IsPageShown(kGeneralPageId));
    EXPECT_FALSE(d.IsPageShown(kAdvancedPageId));
    c.OnCommand(d, 2);
    EXPECT_EQ(d.result(), kSettingsClosed);
  });
}

TEST_F(SettingsTest, GeneralPageShowsAndAppliesItsTwoSettings) {
  settings_.autostart = true;
  settings_.sign_in = false;
  Run([](FakeDialog& d, DialogController&) {
    FakeDialog& page = *d.Page(kGeneralPageId);
    DialogController& general = *d.PageController(kGeneralPageId);
    EXPECT_TRUE(page.IsChecked(kGeneralAutostart));
    EXPECT_FALSE(page.IsChecked(kGeneralSignIn));
    page.SetChecked(kGeneralAutostart, false);
    page.SetChecked(kGeneralSignIn, true);
    general.OnCommand(page, kPageApply);
    EXPECT_EQ(page.last_page_result(), 0);
    EXPECT_FALSE(d.IsPageShown(kGeneralPageId));  // Apply hides the page
    EXPECT_FALSE(d.ended());
  });
  EXPECT_EQ(settings_.calls, (std::vector<std::string>{"autostart off", "sign-in on"}));
}

TEST_F(SettingsTest, AdvancedPageShowsTheCurrentValues) {
  settings_.encoder = {12, 48, 4, false};
  settings_.flags = {true, false, true};
  Run([](FakeDialog& d, DialogController&) {
    FakeDialog& page = *d.Page(kAdvancedPageId);
    EXPECT_EQ(page.List(kAdvancedRoi), (std::vector<std::string>{"0", "6", "12"}));
    EXPECT_EQ(page.ListSelection(kAdvancedRoi), 2);
    EXPECT_EQ(page.Text(kAdvancedBitrate), "48");
    EXPECT_EQ(page.List(kAdvancedSubpel).size(), 7u);
    EXPECT_EQ(page.ListSelection(kAdvancedSubpel), 4);
    EXPECT_TRUE(page.IsChecked(kAdvancedPreProcessing));
    EXPECT_FALSE(page.IsChecked(kAdvancedBlackAndWhite));
    EXPECT_TRUE(page.IsChecked(kAdvancedOnly16x16));  // all partitions off
    EXPECT_TRUE(page.IsChecked(kAdvancedFrameDrop));
  });
}

TEST_F(SettingsTest, AdvancedApplyGoesInItsOrder) {
  Run([](FakeDialog& d, DialogController&) {
    FakeDialog& page = *d.Page(kAdvancedPageId);
    DialogController& advanced = *d.PageController(kAdvancedPageId);
    page.SetSelection(kAdvancedRoi, 0);
    page.SetText(kAdvancedBitrate, "64");
    page.SetSelection(kAdvancedSubpel, 6);
    page.SetChecked(kAdvancedPreProcessing, true);
    page.SetChecked(kAdvancedBlackAndWhite, true);
    page.SetChecked(kAdvancedOnly16x16, true);
    page.SetChecked(kAdvancedFrameDrop, true);
    advanced.OnCommand(page, kPageApply);
    EXPECT_EQ(page.last_page_result(), 0);
  });
  EXPECT_EQ(settings_.calls,
            (std::vector<std::string>{"ROI=0", "BITRATE=64", "SUBPEL=6", "pre-processing on",
                                      "black-and-white on", "ALLMBs=0", "frame-drop on"}));
}

TEST_F(SettingsTest, EmptyBitRateFieldLeavesTheBitRate) {
  Run([](FakeDialog& d, DialogController&) {
    FakeDialog& page = *d.Page(kAdvancedPageId);
    page.SetText(kAdvancedBitrate, "");
    page.SetChecked(kAdvancedOnly16x16, false);
    d.PageController(kAdvancedPageId)->OnCommand(page, kPageApply);
  });
  EXPECT_EQ(settings_.calls,
            (std::vector<std::string>{"ROI=6", "SUBPEL=1", "pre-processing off",
                                      "black-and-white off", "ALLMBs=1", "frame-drop off"}));
}

}  // namespace
}  // namespace kestrelio
