#include "dialogs/settings_dialog.h"

#include <algorithm>
#include <string>

#include "base/diag.h"

namespace kestrelio {
namespace {

constexpr int kRoiStep = 6;
constexpr int kRoiItems = 3;     // "0", "6", "12"
constexpr int kSubpelItems = 7;  // "0" to "6"

}  // namespace

int ParseBitrateField(std::string_view text) {
  text = text.substr(0, std::min(text.size(), kBitrateFieldChars));
  if (text.empty()) return -1;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = std::min(kMaxBitrateKbps, value * 10 + (c - '0'));
  }
  return value;
}

void GeneralPage::OnInit(DialogAccess& dialog) {
  dialog.SetChecked(kGeneralAutostart, settings_.AutostartEnabled());
  dialog.SetChecked(kGeneralSignIn, settings_.SignInNotifications());
}

void GeneralPage::OnCommand(DialogAccess& dialog, int control_id) {
  if (control_id == kPageApply) {
    if (!settings_.SetAutostart(dialog.IsChecked(kGeneralAutostart))) {
      Diag("settings: the auto-start entry could not be changed");
    }
    settings_.SetSignInNotifications(dialog.IsChecked(kGeneralSignIn));
    dialog.End(0);
  } else if (control_id == 2) {
    dialog.End(kSettingsClosed);
  }
}

void AdvancedPage::OnInit(DialogAccess& dialog) {
  const EncoderSettingsView encoder = settings_.Encoder();
  dialog.ListClear(kAdvancedRoi);
  for (int i = 0; i < kRoiItems; ++i) dialog.ListAppend(kAdvancedRoi, std::to_string(i * kRoiStep));
  dialog.SetListSelection(kAdvancedRoi, std::clamp(encoder.roi_level / kRoiStep, 0, kRoiItems - 1));
  dialog.SetText(kAdvancedBitrate, std::to_string(encoder.bitrate_kbps));
  dialog.ListClear(kAdvancedSubpel);
  for (int i = 0; i < kSubpelItems; ++i) dialog.ListAppend(kAdvancedSubpel, std::to_string(i));
  dialog.SetListSelection(kAdvancedSubpel, std::clamp(encoder.subpel_refine, 0, kSubpelItems - 1));
  const CaptureFlagsView flags = settings_.CaptureFlags();
  dialog.SetChecked(kAdvancedPreProcessing, flags.pre_processing);
  dialog.SetChecked(kAdvancedBlackAndWhite, flags.black_and_white);
  dialog.SetChecked(kAdvancedOnly16x16, !encoder.all_partitions);
  dialog.SetChecked(kAdvancedFrameDrop, flags.frame_drop);
}

void AdvancedPage::OnCommand(DialogAccess& dialog, int control_id) {
  if (control_id == 2) {
    dialog.End(kSettingsClosed);
    return;
  }
  if (control_id != kPageApply) return;
  // In this order: ROI, bit rate, subpixel refinement, the two capture filters, the
  // partitions, frame dropping.
  const int roi_index = std::max(0, dialog.ListSelection(kAdvancedRoi));
  settings_.SetEncoderParameter("ROI", roi_index * kRoiStep);
  const int bitrate = ParseBitrateField(dialog.Text(kAdvancedBitrate));
  if (bitrate >= 0) settings_.SetEncoderParameter("BITRATE", bitrate);
  settings_.SetEncoderParameter("SUBPEL", std::max(0, dialog.ListSelection(kAdvancedSubpel)));
  settings_.SetPreProcessing(dialog.IsChecked(kAdvancedPreProcessing));
  settings_.SetBlackAndWhite(dialog.IsChecked(kAdvancedBlackAndWhite));
  const bool only_16x16 = dialog.IsChecked(kAdvancedOnly16x16);
  settings_.SetEncoderParameter("ALLMBs", only_16x16 ? 0 : 1);
  settings_.SetFrameDrop(dialog.IsChecked(kAdvancedFrameDrop));
  dialog.End(0);
}

void SettingsDialog::OnInit(DialogAccess& dialog) {
  dialog.ListAppend(kSettingsTabs, "General");
  dialog.ListAppend(kSettingsTabs, "Advanced");
  if (!dialog.OpenPage(kGeneralPageId, kSettingsTabs, general_) ||
      !dialog.OpenPage(kAdvancedPageId, kSettingsTabs, advanced_)) {
    Diag("settings: the pages could not be made");
  }
  dialog.SetListSelection(kSettingsTabs, 0);
  dialog.ShowPage(kGeneralPageId, true);
  dialog.ShowPage(kAdvancedPageId, false);
}

void SettingsDialog::OnCommand(DialogAccess& dialog, int control_id) {
  if (control_id == kSettingsTabs) {
    const bool advanced = dialog.ListSelection(kSettingsTabs) == 1;
    dialog.ShowPage(kGeneralPageId, !advanced);
    dialog.ShowPage(kAdvancedPageId, advanced);
  } else if (control_id == 2) {
    dialog.End(kSettingsClosed);
  }
}

}  // namespace kestrelio
