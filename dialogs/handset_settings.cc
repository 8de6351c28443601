#include "dialogs/handset_settings.h"

#include <unistd.h>

#include <climits>

#include "device/autostart.h"

namespace kestrelio {

std::string RunningProgramPath() {
  char path[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return {};
  return std::string(path, static_cast<size_t>(length));
}

bool HandsetSettings::AutostartEnabled() const {
  return AutostartEntryExists(parts_.autostart_entry);
}

bool HandsetSettings::SetAutostart(bool enabled) {
  if (!enabled)
    return !AutostartEntryExists(parts_.autostart_entry) ||
           RemoveAutostartEntry(parts_.autostart_entry);
  if (parts_.program_path.empty()) return false;
  return CreateAutostartEntry(parts_.autostart_entry, parts_.program_path);
}

EncoderSettingsView HandsetSettings::Encoder() const {
  std::lock_guard lock(parts_.encoder.lock);
  const EncoderSettings& s = parts_.encoder.settings;
  EncoderSettingsView view;
  view.roi_level = s.roi_level;
  view.bitrate_kbps = s.bitrate_kbps;
  view.subpel_refine = s.subpel_refine;
  view.all_partitions = s.intra_partitions != 0 || s.inter_partitions != 0;
  return view;
}

void HandsetSettings::SetEncoderParameter(std::string_view name, int value) {
  kestrelio::SetEncoderParameter(parts_.encoder, parts_.window, name, value);
}

CaptureFlagsView HandsetSettings::CaptureFlags() const {
  CaptureFlagsView flags;
  flags.pre_processing = parts_.media.pre_processing;
  flags.black_and_white = parts_.media.black_and_white;
  flags.frame_drop = parts_.media.frame_drop;
  return flags;
}

}  // namespace kestrelio
