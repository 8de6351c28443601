// The Contacts dialog against a scripted FakeWindow and a filled Online DB.
#include "dialogs/contacts_dialog.h"

#include <gtest/gtest.h>

#include "dialogs/user_dialogs.h"
#include "tests/component/dialogs/fakes.h"
#include "tests/support/fake_window.h"

namespace kestrelio {
namespace {

void Fill(OnlineDb& db, const std::vector<OnlineUser>& users) {
  UserListFields page;
  page.entry_count = static_cast<uint16_t>(users.size());
  page.total = page.entry_count;
  for (size_t i = 0; i < users.size(); ++i) {
    page.entries[i].status = static_cast<uint16_t>(users[i].status);
    page.entries[i].phone.Assign(users[i].number);
    page.entries[i].user_name.Assign(users[i].name);
  }
  db.TakePage(page);
}

class ContactsTest : public ::testing::Test {
 protected:
  ContactsTest() {
    Fill(db_, {{1, "12065550101", "Alma"},
               {2, "12065550102", "Bruno"},
               {0, "12065550103", "Cleo"},
               {1, "12065550104", "Dara"}});
  }

  UserDialogs Dialogs() {
    return UserDialogs(UserDialogsContext{
        window_, db_, identity_, settings_, "/nonexistent/history_info.txt", nullptr,
        [this](std::string_view name) { chat_peer_ = std::string(name); }, [] { return false; },
        [] {}});
  }
  // Runs dialog 141: select `row` (when >= 0) and press `control`.
  std::optional<PickedEntry> Pick(int row, int control) {
    window_.ScriptDialog(kContactsDialogId, [=, this](FakeDialog& d, DialogController& c) {
      list_ = d.List(kContactsList);
      icons_ = d.ListIcons(kContactsList);
      if (row >= 0) d.SetSelection(kContactsList, row);
      c.OnCommand(d, control);
      result_ = d.result();
    });
    UserDialogs dialogs = Dialogs();
    return dialogs.PickEntry(kContactsDialogId);
  }

  FakeWindow window_;
  OnlineDb db_;
  FakeIdentity identity_;
  FakeSettings settings_;
  std::string chat_peer_;
  std::vector<std::string> list_;
  std::vector<int> icons_;
  std::optional<int> result_;
};

TEST_F(ContactsTest, ListsEveryEntryInTableOrderWithItsIcon) {
  Pick(-1, kContactsCancel);
  EXPECT_EQ(list_, (std::vector<std::string>{"Alma (me), 12065550101", "Bruno, 12065550102",
                                             "Cleo, 12065550103", "Dara, 12065550104"}));
  EXPECT_EQ(icons_, (std::vector<int>{148, 149, 1000, 148}));
  EXPECT_EQ(result_, kEntryCancelled);
}

TEST_F(ContactsTest, SignOnAnOnlineEntryPicksItAndNamesTheChatPeer) {
  const auto entry = Pick(3, kContactsSign);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->name, "Dara");
  EXPECT_EQ(entry->number, "12065550104");
  EXPECT_EQ(chat_peer_, "Dara");
  EXPECT_EQ(result_, kEntryChosen);
  EXPECT_TRUE(window_.Boxes().empty());
}

TEST_F(ContactsTest, OwnEntryDialsTheOwnNumberUnderTheMarkedName) {
  const auto entry = Pick(0, kContactsSign);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->name, "Alma (me)");
  EXPECT_EQ(entry->number, "12065550101");
}

TEST_F(ContactsTest, BusyAndOfflineEntriesAreRefusedAndTheDialogStays) {
  EXPECT_FALSE(Pick(1, kContactsSign));
  EXPECT_FALSE(result_.has_value());
  EXPECT_FALSE(Pick(2, kContactsSign));
  const auto boxes = window_.Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "The user you are trying to call is busy.");
  EXPECT_EQ(boxes[0].caption, "Contacts - Dial");
  EXPECT_EQ(boxes[1].text, "The user you are trying to call is not online.");
  EXPECT_TRUE(chat_peer_.empty());
}

TEST_F(ContactsTest, NoSelectionIsReportedBySignAndView) {
  EXPECT_FALSE(Pick(-1, kContactsSign));
  EXPECT_FALSE(Pick(-1, kContactsView));
  const auto boxes = window_.Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "No item is selected!");
  EXPECT_EQ(boxes[0].caption, "Contacts - Dial");
  EXPECT_EQ(boxes[1].caption, "Contacts - View");
}

TEST_F(ContactsTest, ViewShowsNameAndNumberAndTheDialogStays) {
  EXPECT_FALSE(Pick(1, kContactsView));
  EXPECT_FALSE(result_.has_value());
  ASSERT_EQ(window_.Boxes().size(), 1u);
  EXPECT_EQ(window_.Boxes()[0].text, "Name\n Bruno\nPhone Number\n 12065550102");
  EXPECT_EQ(window_.Boxes()[0].caption, "Contacts - View");
}

TEST_F(ContactsTest, CloseEndsWith16AndDialsNothing) {
  EXPECT_FALSE(Pick(3, kCloseCommand));
  EXPECT_EQ(result_, kEntryDialogClosed);
}

TEST_F(ContactsTest, EarlierChoiceIsNotDialledWhenTheNextDialogIsClosed) {
  ASSERT_TRUE(Pick(3, kContactsSign));
  EXPECT_FALSE(Pick(-1, kCloseCommand));
}

TEST_F(ContactsTest, EmptyOnlineDbGivesAnEmptyList) {
  OnlineDb empty;
  window_.ScriptDialog(kContactsDialogId, [this](FakeDialog& d, DialogController& c) {
    list_ = d.List(kContactsList);
    c.OnCommand(d, kContactsSign);
    c.OnCommand(d, kContactsView);
  });
  UserDialogs dialogs(
      UserDialogsContext{window_, empty, identity_, settings_, "", nullptr, {}, {}, {}});
  EXPECT_FALSE(dialogs.PickEntry(kContactsDialogId));
  EXPECT_TRUE(list_.empty());
  ASSERT_EQ(window_.Boxes().size(), 2u);
  EXPECT_EQ(window_.Boxes()[0].text, "No item is selected!");
  EXPECT_EQ(window_.Boxes()[1].text, "No item is selected!");
}

TEST_F(ContactsTest, NameWithACommaFromTheServerStillDialsItsNumber) {
  OnlineDb db;
  Fill(db, {{1, "12065550109", "Smith, Jo"}});
  window_.ScriptDialog(kContactsDialogId, [](FakeDialog& d, DialogController& c) {
    d.SetSelection(kContactsList, 0);
    c.OnCommand(d, kContactsSign);
  });
  UserDialogs dialogs(
      UserDialogsContext{window_, db, identity_, settings_, "", nullptr, {}, {}, {}});
  const auto entry = dialogs.PickEntry(kContactsDialogId);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->number, "12065550109");
  EXPECT_EQ(entry->name, "Smith, Jo");
}

}  // namespace
}  // namespace kestrelio
