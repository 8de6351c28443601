#include "resources/dialog_templates.h"

#include <gtest/gtest.h>

#include <set>

#include "resources/menu.h"

namespace kestrelio {
namespace {

bool HasControl(int dialog_id, int control_id, ControlKind kind) {
  const DialogTemplate* t = FindDialogTemplate(dialog_id);
  if (t == nullptr) return false;
  for (const auto& c : t->controls) {
    if (c.id == control_id) return c.kind == kind;
  }
  return false;
}

TEST(DialogTemplates, EveryDialogExistsAndIsSound) {
  std::set<int> ids;
  for (const DialogTemplate& t : AllDialogTemplates()) {
    EXPECT_TRUE(IsTemplateSound(t)) << t.id;
    ids.insert(t.id);
    for (const auto& c : t.controls) {
      EXPECT_LE(c.x + c.width, t.width) << t.id << " " << c.id;
      EXPECT_LE(c.y + c.height, t.height) << t.id << " " << c.id;
    }
  }
  EXPECT_EQ(ids, (std::set<int>{105, 136, 140, 141, 143, 144, 157, 158, 159}));
  EXPECT_EQ(FindDialogTemplate(999), nullptr);
}

TEST(DialogTemplates, ControlsTheDialogsUse) {
  EXPECT_TRUE(HasControl(105, 1001, ControlKind::kEdit));
  EXPECT_TRUE(HasControl(105, 1012, ControlKind::kDefaultButton));
  for (int id : {1013, 1014, 1015, 1016}) EXPECT_TRUE(HasControl(105, id, ControlKind::kButton));
  EXPECT_TRUE(HasControl(157, 2006, ControlKind::kStatic));
  EXPECT_TRUE(HasControl(157, 1081, ControlKind::kButton));
  EXPECT_TRUE(HasControl(157, 2, ControlKind::kButton));
  EXPECT_TRUE(HasControl(140, 1046, ControlKind::kDefaultButton));
  EXPECT_TRUE(HasControl(141, 1048, ControlKind::kListBox));
  EXPECT_TRUE(HasControl(143, 1061, ControlKind::kListBox));
  EXPECT_TRUE(HasControl(144, 1064, ControlKind::kEdit));
  EXPECT_TRUE(HasControl(158, 1082, ControlKind::kTab));
  EXPECT_TRUE(HasControl(159, 1069, ControlKind::kCheckBox));
  EXPECT_TRUE(HasControl(136, 1017, ControlKind::kDropDownList));
  EXPECT_TRUE(HasControl(136, 1018, ControlKind::kNumberEdit));
  EXPECT_EQ(std::string(FindDialogTemplate(157)->caption), "Missed Call");
}

TEST(DialogTemplates, MapDialogRectAndSoundness) {
  const DialogControlTemplate c{1, ControlKind::kButton, "", 7, 7, 127, 55, 0};
  PixelRect r = MapDialogRect(c);
  EXPECT_EQ(r.x, 10);
  EXPECT_EQ(r.y, 10);
  EXPECT_EQ(r.width, 190);
  EXPECT_EQ(r.height, 82);
  const DialogControlTemplate two_unnamed[] = {
      {kUnnamedControlId, ControlKind::kStatic, "", 0, 0, 1, 1, 0},
      {kUnnamedControlId, ControlKind::kStatic, "", 0, 0, 1, 1, 0}};
  EXPECT_FALSE(IsTemplateSound({1, "", 10, 10, two_unnamed}));
  const DialogControlTemplate duplicate[] = {{5, ControlKind::kStatic, "", 0, 0, 1, 1, 0},
                                             {5, ControlKind::kButton, "", 0, 0, 1, 1, 0}};
  EXPECT_FALSE(IsTemplateSound({1, "", 10, 10, duplicate}));
}

TEST(Resources, MenuAndStrings) {
  EXPECT_EQ(LoadString(1), "Kestrelio 1.0.5");
  EXPECT_EQ(LoadString(2), "KESTRELIO");
  EXPECT_EQ(LoadString(103), "File");
  EXPECT_TRUE(LoadString(4).empty());
  auto menu = FileMenuItems();
  ASSERT_EQ(menu.size(), 8u);
  EXPECT_EQ(std::string(menu.front().text), "About");
  EXPECT_EQ(menu.back().command_id, 40000);
  auto keys = SoftKeys();
  ASSERT_GE(keys.size(), 6u);
  EXPECT_EQ(keys[3].command_id, 120);
}

}  // namespace
}  // namespace kestrelio
