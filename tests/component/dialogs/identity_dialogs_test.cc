// My Name, My Info, About and Check for updates through UserDialogs and FakeWindow.
#include "dialogs/identity_dialogs.h"

#include <gtest/gtest.h>

#include "base/window/ids.h"
#include "dialogs/user_dialogs.h"
#include "tests/component/dialogs/fakes.h"
#include "tests/support/fake_window.h"

namespace kestrelio {
namespace {

class IdentityTest : public ::testing::Test {
 protected:
  UserDialogs Dialogs() {
    return UserDialogs(UserDialogsContext{window_,
                                          db_,
                                          identity_,
                                          settings_,
                                          "",
                                          nullptr,
                                          {},
                                          [this] { return in_call_; },
                                          [this] { ++updater_launches_; }});
  }
  // Types `name` into 144 and presses OK, then `then` (when not 0).
  void EnterName(const std::string& name, int then = 0) {
    window_.ScriptDialog(kUserNameDialogId, [=, this](FakeDialog& d, DialogController& c) {
      shown_name_ = d.Text(kUserNameEdit);
      d.SetText(kUserNameEdit, name);
      c.OnCommand(d, kUserNameOk);
      if (then != 0 && !d.ended()) c.OnCommand(d, then);
      result_ = d.result();
    });
    Dialogs().OnCommand(kCommandMyName);
  }

  FakeWindow window_;
  OnlineDb db_;
  FakeIdentity identity_;
  FakeSettings settings_;
  bool in_call_ = false;
  int updater_launches_ = 0;
  std::string shown_name_;
  std::optional<int> result_;
};

TEST_F(IdentityTest, GoodNameIsStoredAnnouncedAndConfirmed) {
  EnterName("Bea");
  EXPECT_EQ(shown_name_, "Alma");
  EXPECT_EQ(identity_.stored_names, std::vector<std::string>{"Bea"});
  EXPECT_EQ(identity_.keep_alives_sent, std::vector<std::string>{"Bea"});
  ASSERT_EQ(window_.Boxes().size(), 1u);
  EXPECT_EQ(window_.Boxes()[0].text, "Your username was successfully updated.");
  EXPECT_EQ(window_.Boxes()[0].caption, "Username");
  EXPECT_EQ(result_, kUserNameOk);
}

TEST_F(IdentityTest, NameWithACommaIsRefusedAndTheDialogStays) {
  for (const char* name : {",Bea", "B,ea", "Bea,"}) {
    EnterName(name, kUserNameCancel);
    EXPECT_EQ(result_, kUserNameCancel) << name;
  }
  EXPECT_TRUE(identity_.stored_names.empty());
  EXPECT_TRUE(identity_.keep_alives_sent.empty());
  ASSERT_EQ(window_.Boxes().size(), 3u);
  EXPECT_EQ(window_.Boxes()[0].text,
            "Your username cannot have a ',' in it. Please enter a different username.");
  EXPECT_EQ(identity_.user_name, "Alma");
}

TEST_F(IdentityTest, FailedSendStillStoresTheName) {
  identity_.send_ok = false;
  EnterName("Bea");
  EXPECT_EQ(identity_.user_name, "Bea");
  ASSERT_EQ(window_.Boxes().size(), 1u);
  EXPECT_EQ(window_.Boxes()[0].text, "Your username could not be updated!");
}

TEST_F(IdentityTest, FailedStoreIsNotReportedAsSuccess) {
  identity_.store_ok = false;
  EnterName("Bea");
  ASSERT_EQ(window_.Boxes().size(), 1u);
  EXPECT_EQ(window_.Boxes()[0].text, "Your username could not be updated!");
}

TEST_F(IdentityTest, EmptyNameIsAccepted) {
  EnterName("");
  EXPECT_EQ(identity_.stored_names, std::vector<std::string>{""});
}

TEST_F(IdentityTest, LongNameIsCutTo31Bytes) {
  EnterName(std::string(60, 'n'));
  ASSERT_EQ(identity_.stored_names.size(), 1u);
  EXPECT_EQ(identity_.stored_names[0].size(), 31u);
}

TEST_F(IdentityTest, MyNameDuringACallIsRefused) {
  in_call_ = true;
  Dialogs().OnCommand(kCommandMyName);
  EXPECT_TRUE(window_.DialogsRun().empty());
  EXPECT_EQ(window_.Beeps(), std::vector<BeepKind>{BeepKind::kQuestion});
  ASSERT_EQ(window_.Boxes().size(), 1u);
  EXPECT_EQ(window_.Boxes()[0].text,
            "Connection is active! Cannot change username. Please disconnect first.");
  EXPECT_EQ(window_.Boxes()[0].caption, "");
}

TEST_F(IdentityTest, CancelChangesNothing) {
  window_.ScriptDialog(kUserNameDialogId, [](FakeDialog& d, DialogController& c) {
    d.SetText(kUserNameEdit, "Bea");
    c.OnCommand(d, kUserNameCancel);
  });
  Dialogs().OnCommand(kCommandMyName);
  EXPECT_TRUE(identity_.stored_names.empty());
  EXPECT_TRUE(window_.Boxes().empty());
}

TEST_F(IdentityTest, MyInfoBeepsRefreshesAnnouncesAndShowsTheBox) {
  identity_.public_address = "203.0.113.9";
  identity_.public_port = 40123;
  EXPECT_TRUE(Dialogs().OnCommand(kCommandUpdateMyInfo));
  EXPECT_EQ(window_.Beeps(), std::vector<BeepKind>{BeepKind::kDefault});
  EXPECT_EQ(identity_.address_refreshes, 1);
  EXPECT_EQ(identity_.reloads, 1);
  EXPECT_EQ(identity_.keep_alives_sent.size(), 1u);
  ASSERT_EQ(window_.Boxes().size(), 1u);
  EXPECT_EQ(window_.Boxes()[0].caption, "My Info");
  EXPECT_EQ(window_.Boxes()[0].text,
            "Phone Number\n  (206) 555-0101\nIP address\n  127.0.2.2 (203.0.113.9:40123)\n");
}

TEST_F(IdentityTest, AboutShowsTheFacts) {
  EXPECT_TRUE(Dialogs().OnCommand(kCommandAbout));
  ASSERT_EQ(window_.Boxes().size(), 1u);
  EXPECT_EQ(window_.Boxes()[0].caption, "About");
  const std::string text = window_.Boxes()[0].text;
  EXPECT_EQ(text.rfind("Kestrelio 1.0.5\n", 0), 0u);
  for (const char* fact :
       {"0123456789ABCDEF0123", "12065550101 (Alma)", "127.0.2.1:8238", "127.0.0.1:80"}) {
    EXPECT_NE(text.find(fact), std::string::npos) << fact;
  }
}

TEST_F(IdentityTest, CheckForUpdatesLaunchesTheUpdater) {
  EXPECT_TRUE(Dialogs().OnCommand(kCommandCheckForUpdates));
  EXPECT_EQ(updater_launches_, 1);
  EXPECT_FALSE(Dialogs().OnCommand(kCommandDial));
}

}  // namespace
}  // namespace kestrelio
