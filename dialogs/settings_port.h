// What the Settings dialog shows and changes: the auto-start entry, the sign-in
// notification flag, the encoder's parameters and the capture flags. The handset
// implements it over its own records (handset_settings.h); tests use a fake.
#pragma once

#include <string_view>

namespace kestrelio {

struct EncoderSettingsView {
  int roi_level = 6;  // 0, 6 or 12
  int bitrate_kbps = 30;
  int subpel_refine = 1;       // 0-6
  bool all_partitions = true;  // false: 16x16 macroblocks only
};

struct CaptureFlagsView {
  bool pre_processing = false;
  bool black_and_white = false;
  bool frame_drop = false;
};

class SettingsPort {
 public:
  virtual ~SettingsPort() = default;

  // The auto-start entry exists (whatever it points at).
  virtual bool AutostartEnabled() const = 0;
  // Creates the entry, pointing at the running program, or removes it. False when the
  // file could not be written or removed.
  virtual bool SetAutostart(bool enabled) = 0;

  virtual bool SignInNotifications() const = 0;
  virtual void SetSignInNotifications(bool enabled) = 0;

  virtual EncoderSettingsView Encoder() const = 0;
  // "ROI", "BITRATE", "SUBPEL", "ALLMBs".
  virtual void SetEncoderParameter(std::string_view name, int value) = 0;

  virtual CaptureFlagsView CaptureFlags() const = 0;
  virtual void SetPreProcessing(bool on) = 0;
  virtual void SetBlackAndWhite(bool on) = 0;
  virtual void SetFrameDrop(bool on) = 0;
};

}  // namespace kestrelio
