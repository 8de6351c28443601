// The Settings dialog (158) with its two tab pages: General (159: auto-start, sign-in
// notifications) and Advanced (136: the encoder and capture options). Each page's Apply
// takes effect at once and hides the page; nothing but the auto-start entry outlives
// the run.
#pragma once

#include <cstddef>
#include <string_view>

#include "base/window/window.h"
#include "dialogs/settings_port.h"

namespace kestrelio {

inline constexpr int kSettingsDialogId = 158;
inline constexpr int kSettingsTabs = 1082;
inline constexpr int kGeneralPageId = 159;
inline constexpr int kAdvancedPageId = 136;
inline constexpr int kPageApply = 1024;
inline constexpr int kGeneralAutostart = 1069;
inline constexpr int kGeneralSignIn = 1047;
inline constexpr int kAdvancedRoi = 1017;
inline constexpr int kAdvancedBitrate = 1018;
inline constexpr int kAdvancedSubpel = 1020;
inline constexpr int kAdvancedPreProcessing = 1022;
inline constexpr int kAdvancedBlackAndWhite = 1023;
inline constexpr int kAdvancedOnly16x16 = 1021;
inline constexpr int kAdvancedFrameDrop = 1019;
inline constexpr int kSettingsClosed = 16;
inline constexpr size_t kBitrateFieldChars = 20;
// The highest bit rate a field can set; longer digit runs stop here instead of
// overflowing.
inline constexpr int kMaxBitrateKbps = 1000000;

// The bit-rate field's value: its leading decimal digits (0 when it starts otherwise),
// at most kMaxBitrateKbps; -1 when the field is empty, which leaves the bit rate as it is.
int ParseBitrateField(std::string_view text);

class GeneralPage : public DialogController {
 public:
  explicit GeneralPage(SettingsPort& settings) : settings_(settings) {}
  void OnInit(DialogAccess& dialog) override;
  void OnCommand(DialogAccess& dialog, int control_id) override;

 private:
  SettingsPort& settings_;
};

class AdvancedPage : public DialogController {
 public:
  explicit AdvancedPage(SettingsPort& settings) : settings_(settings) {}
  void OnInit(DialogAccess& dialog) override;
  void OnCommand(DialogAccess& dialog, int control_id) override;

 private:
  SettingsPort& settings_;
};

class SettingsDialog : public DialogController {
 public:
  explicit SettingsDialog(SettingsPort& settings) : general_(settings), advanced_(settings) {}
  void OnInit(DialogAccess& dialog) override;
  void OnCommand(DialogAccess& dialog, int control_id) override;

 private:
  GeneralPage general_;
  AdvancedPage advanced_;
};

}  // namespace kestrelio
