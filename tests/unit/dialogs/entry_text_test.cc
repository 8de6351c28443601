#include "dialogs/entry_text.h"

#include <gtest/gtest.h>

#include "dialogs/contacts_dialog.h"
#include "dialogs/history_dialog.h"
#include "tests/support/fake_window.h"

namespace kestrelio {
namespace {

TEST(SplitEntryText, NameBeforeTheCommaNumberAfterIt) {
  const SelectedEntry entry = SplitEntryText("Alma, 12065550101");
  EXPECT_EQ(entry.name, "Alma");
  EXPECT_EQ(entry.number, "12065550101");
}

TEST(SplitEntryText, NumberIsCutAtASpaceOrAComma) {
  EXPECT_EQ(SplitEntryText("Bruno, 12065550102 extra").number, "12065550102");
  EXPECT_EQ(SplitEntryText("Bruno, 1206555,0102").number, "1206555");
}

TEST(SplitEntryText, OwnEntryKeepsTheMarkerWithoutTheComma) {
  OnlineUser me{1, "12065550101", "Alma"};
  const std::string text = ContactItemText(me, "12065550101");
  EXPECT_EQ(text, "Alma (me), 12065550101");
  const SelectedEntry entry = SplitEntryText(text);
  EXPECT_EQ(entry.name, "Alma (me)");
  EXPECT_EQ(entry.number, "12065550101");
}

TEST(SplitEntryText, NameHoldingACommaStillGivesTheNumber) {
  const SelectedEntry entry = SplitEntryText("Smith, Jo, 12065550103");
  EXPECT_EQ(entry.name, "Smith, Jo");
  EXPECT_EQ(entry.number, "12065550103");
}

TEST(SplitEntryText, TextWithoutACommaIsAllName) {
  const SelectedEntry entry = SplitEntryText("no separator");
  EXPECT_EQ(entry.name, "no separator");
  EXPECT_TRUE(entry.number.empty());
  EXPECT_TRUE(SplitEntryText("").number.empty());
}

TEST(SplitEntryText, PartsAreCutToTheSelectedBuffers) {
  const SelectedEntry entry = SplitEntryText(std::string(150, 'n') + ", " + std::string(120, '1'));
  EXPECT_EQ(entry.name.size(), kSelectedChars);
  EXPECT_EQ(entry.number.size(), kSelectedChars);
}

TEST(HistoryItemEntry, SkipsTheTimeThenSplits) {
  const SelectedEntry entry = HistoryItemEntry("[03/07 14:05] Bruno, 12065550102");
  EXPECT_EQ(entry.name, "Bruno");
  EXPECT_EQ(entry.number, "12065550102");
  EXPECT_TRUE(HistoryItemEntry("[03/07 14:05]").number.empty());
}

TEST(CutCharacters, NeverSplitsAUtf8Character) {
  EXPECT_EQ(CutCharacters("h\xC3\xA9llo", 2), "h\xC3\xA9");
  EXPECT_EQ(CharacterCount("h\xC3\xA9llo"), 5u);
  EXPECT_EQ(CutCharacters("abc", 10), "abc");
}

TEST(AddListItem, TextOf99CharactersIsAddedAsItIs) {
  FakeWindow window;
  FakeDialog dialog;
  AddListItem(window, dialog, 7, std::string(99, 'x'), 148);
  EXPECT_TRUE(window.Boxes().empty());
  ASSERT_EQ(dialog.List(7).size(), 1u);
  EXPECT_EQ(dialog.List(7)[0].size(), 99u);
  EXPECT_EQ(dialog.ListIcons(7), std::vector<int>{148});
}

TEST(AddListItem, TextOf100CharactersIsReportedAndCut) {
  FakeWindow window;
  FakeDialog dialog;
  AddListItem(window, dialog, 7, std::string(100, 'x'), 150);
  ASSERT_EQ(window.Boxes().size(), 1u);
  EXPECT_EQ(window.Boxes()[0].text, "Conversion of string failed!");
  EXPECT_EQ(window.Boxes()[0].caption, "String Conversion");
  ASSERT_EQ(dialog.List(7).size(), 1u);
  EXPECT_EQ(dialog.List(7)[0].size(), 99u);
}

TEST(ContactIcon, StatusPicksTheIcon) {
  EXPECT_EQ(ContactIcon(2), 149);
  EXPECT_EQ(ContactIcon(1), 148);
  EXPECT_EQ(ContactIcon(0), 1000);
  EXPECT_EQ(ContactIcon(7), 1000);
}

}  // namespace
}  // namespace kestrelio
