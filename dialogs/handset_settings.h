// The Settings dialog's view of the running handset: the XDG autostart entry, the
// presence client's sign-in flag, the encoder's parameter set and the capture flags.
#pragma once

#include <string>

#include "dialogs/settings_port.h"
#include "media/capture_state.h"
#include "media/encoder.h"
#include "net/presence/presence_client.h"

namespace kestrelio {

class Window;

struct HandsetSettingsParts {
  Window& window;
  EncoderState& encoder;
  MediaSettings& media;
  PresenceClient& presence;
  std::string autostart_entry;  // $XDG_CONFIG_HOME/autostart/kestrelio.desktop
  std::string program_path;     // the running program, which the entry starts
};

class HandsetSettings final : public SettingsPort {
 public:
  explicit HandsetSettings(HandsetSettingsParts parts) : parts_(std::move(parts)) {}

  bool AutostartEnabled() const override;
  bool SetAutostart(bool enabled) override;
  bool SignInNotifications() const override { return parts_.presence.show_sign_in_notifications; }
  void SetSignInNotifications(bool enabled) override {
    parts_.presence.show_sign_in_notifications = enabled;
  }
  EncoderSettingsView Encoder() const override;
  void SetEncoderParameter(std::string_view name, int value) override;
  CaptureFlagsView CaptureFlags() const override;
  void SetPreProcessing(bool on) override { parts_.media.pre_processing = on; }
  void SetBlackAndWhite(bool on) override { parts_.media.black_and_white = on; }
  void SetFrameDrop(bool on) override { parts_.media.frame_drop = on; }

 private:
  HandsetSettingsParts parts_;
};

// The running program's own file (from /proc/self/exe); "" when it cannot be read.
std::string RunningProgramPath();

}  // namespace kestrelio
