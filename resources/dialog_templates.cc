#include "resources/dialog_templates.h"

#include <algorithm>
#include <array>

namespace kestrelio {
namespace {

using K = ControlKind;

// 105: dial.
constexpr DialogControlTemplate kDial[] = {
    {kUnnamedControlId, K::kStatic, "Phone number or IP address:", 6, 6, 140, 10, 0},
    {1001, K::kEdit, "", 6, 18, 140, 14, kStyleBorder},
    {1012, K::kDefaultButton, "Sign", 6, 38, 44, 16, 0},
    {1013, K::kButton, "VRS", 54, 38, 44, 16, 0},
    {1014, K::kButton, "Cancel", 102, 38, 44, 16, 0},
    {1015, K::kButton, "Contacts", 6, 58, 68, 16, 0},
    {1016, K::kButton, "History", 78, 58, 68, 16, 0},
};

// 136: settings, advanced page.
constexpr DialogControlTemplate kAdvanced[] = {
    {200, K::kStatic, "ROI", 6, 8, 76, 10, 0},
    {1017, K::kDropDownList, "", 84, 6, 66, 60, 0},
    {201, K::kStatic, "Bit Rate", 6, 24, 76, 10, 0},
    {1018, K::kNumberEdit, "", 84, 22, 66, 13, kStyleBorder},
    {202, K::kStatic, "Subpixel Refinement", 6, 37, 76, 18, 0},
    {1020, K::kDropDownList, "", 84, 38, 66, 60, 0},
    {1022, K::kCheckBox, "PreProcessing", 6, 55, 76, 12, 0},
    {1019, K::kCheckBox, "Frame Drop", 84, 55, 66, 12, 0},
    {1023, K::kCheckBox, "Black and White", 6, 67, 144, 12, 0},
    {1021, K::kCheckBox, "Only 16x16 MB", 6, 79, 144, 12, 0},
    {1024, K::kDefaultButton, "Apply", 50, 93, 50, 16, 0},
};

// 140: survey. The question and up to ten answers are filled at run time; they sit in
// the template hidden so that the host owns every control. The question text comes from
// the study server and is shown as plain text.
constexpr DialogControlTemplate kSurvey[] = {
    {1045, K::kStatic, "", 5, 5, 153, 29, kStyleHidden | kStylePlainText},
    {1031, K::kRadioButton, "", 20, 37, 133, 13, kStyleHidden},
    {1032, K::kRadioButton, "", 20, 50, 133, 13, kStyleHidden},
    {1033, K::kRadioButton, "", 20, 63, 133, 13, kStyleHidden},
    {1034, K::kRadioButton, "", 20, 77, 133, 13, kStyleHidden},
    {1035, K::kRadioButton, "", 20, 90, 133, 13, kStyleHidden},
    {1036, K::kRadioButton, "", 87, 37, 73, 13, kStyleHidden},
    {1037, K::kRadioButton, "", 87, 50, 73, 13, kStyleHidden},
    {1038, K::kRadioButton, "", 87, 63, 73, 13, kStyleHidden},
    {1039, K::kRadioButton, "", 87, 77, 73, 13, kStyleHidden},
    {1040, K::kRadioButton, "", 87, 90, 73, 13, kStyleHidden},
    {1046, K::kDefaultButton, "Submit", 57, 104, 50, 14, kStyleDisabled},
};

// 141: contacts. The list (190 x 82 pixels at 10, 10) is part of the template.
constexpr DialogControlTemplate kContacts[] = {
    {1048, K::kListBox, "", 7, 7, 127, 55, kStyleBorder},
    {1041, K::kDefaultButton, "Sign", 7, 66, 40, 16, 0},
    {1068, K::kButton, "View", 51, 66, 40, 16, 0},
    {1044, K::kButton, "Cancel", 95, 66, 40, 16, 0},
};

// 143: history. The list (258 x 85 pixels at 10, 10) is part of the template.
constexpr DialogControlTemplate kHistory[] = {
    {1061, K::kListBox, "", 7, 7, 172, 57, kStyleBorder},
    {1059, K::kDefaultButton, "Sign", 7, 68, 50, 16, 0},
    {1060, K::kButton, "Cancel", 61, 68, 50, 16, 0},
};

// 144: user name.
constexpr DialogControlTemplate kUserName[] = {
    {kUnnamedControlId, K::kStatic, "User name:", 6, 6, 140, 10, 0},
    {1064, K::kEdit, "", 6, 18, 140, 14, kStyleBorder},
    {1062, K::kDefaultButton, "OK", 6, 38, 60, 16, 0},
    {1063, K::kButton, "Cancel", 86, 38, 60, 16, 0},
};

// 157: missed call.
constexpr DialogControlTemplate kMissedCall[] = {
    {2006, K::kStatic, "", 4, 4, 105, 20, kStyleCentered},
    {1081, K::kButton, "See History", 4, 30, 56, 16, 0},
    {2, K::kButton, "Dismiss", 64, 30, 45, 16, 0},
};

// 158: settings frame.
constexpr DialogControlTemplate kSettings[] = {
    {1082, K::kTab, "", 2, 2, 156, 140, 0},
};

// 159: settings, general page.
constexpr DialogControlTemplate kGeneral[] = {
    {1069, K::kCheckBox, "Auto-start Kestrelio on start-up", 6, 8, 148, 12, 0},
    {1047, K::kCheckBox, "Show sign-in notifications", 6, 24, 148, 12, 0},
    {1024, K::kDefaultButton, "Apply", 50, 88, 50, 16, 0},
};

constexpr std::array<DialogTemplate, 9> kTemplates = {{
    {105, "IP or Phone Number", 152, 80, kDial},
    {136, "", 160, 110, kAdvanced},
    {140, "", 164, 122, kSurvey},
    {141, "Contacts", 141, 86, kContacts},
    {143, "History", 186, 88, kHistory},
    {144, "User Name", 152, 60, kUserName},
    {157, "Missed Call", 113, 50, kMissedCall},
    {158, "Settings", 160, 146, kSettings},
    {159, "", 160, 110, kGeneral},
}};

}  // namespace

const DialogTemplate* FindDialogTemplate(int dialog_id) {
  auto it = std::find_if(kTemplates.begin(), kTemplates.end(),
                         [&](const DialogTemplate& t) { return t.id == dialog_id; });
  return it == kTemplates.end() ? nullptr : &*it;
}

std::span<const DialogTemplate> AllDialogTemplates() { return kTemplates; }

PixelRect MapDialogRect(const DialogControlTemplate& control, int base_x, int base_y) {
  return {control.x * base_x / 4, control.y * base_y / 8, control.width * base_x / 4,
          control.height * base_y / 8};
}

bool IsTemplateSound(const DialogTemplate& dialog) {
  int unnamed = 0;
  for (size_t i = 0; i < dialog.controls.size(); ++i) {
    const int id = dialog.controls[i].id;
    if (id == kUnnamedControlId) {
      ++unnamed;
      continue;
    }
    for (size_t j = i + 1; j < dialog.controls.size(); ++j) {
      if (dialog.controls[j].id == id) return false;
    }
  }
  return unnamed <= 1;
}

}  // namespace kestrelio
