// Settings values are typed by hand: server addresses ("host[:port]"), power time-outs
// and the silent-mode switch (DWORDs), and whatever a damaged file still holds. Each
// must be refused or taken within its range, and salvaging a damaged file must keep
// only values that parse back unchanged.
//
// Input: [what][text...].
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "base/diag.h"
#include "device/power_settings.h"
#include "device/server_address.h"
#include "device/settings_store.h"

namespace {

// A scratch folder for the run, removed when the fuzzer exits.
struct ScratchFolder {
  ScratchFolder() {
    char pattern[] = "/tmp/kestrelio-fuzz-settings-XXXXXX";
    if (const char* made = mkdtemp(pattern)) path = made;
  }
  ~ScratchFolder() {
    if (!path.empty()) std::filesystem::remove_all(path);
  }
  std::string path;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static kestrelio::DiagQuietScope quiet;
  static const ScratchFolder scratch;
  if (size < 1 || scratch.path.empty()) return 0;
  const uint8_t what = data[0];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  // host[:port] as typed, with either default port.
  if (auto parsed = kestrelio::ParseHostPort(text, kestrelio::kDefaultPresencePort)) {
    if (parsed->host.empty() || parsed->port == 0) std::abort();
    if (parsed->host.find(':') != std::string::npos) std::abort();
  }

  // Salvage: every value kept must be one the parser takes back as it is.
  int dropped = 0;
  for (const auto& section : kestrelio::SalvageSettingsText(text, dropped)) {
    std::string written = "[" + section.key + "]\n";
    for (const auto& [name, value] : section.values) {
      written += name + "=" + kestrelio::EscapeSettingsValue(value) + "\n";
    }
    std::vector<kestrelio::SettingsSection> again;
    kestrelio::SettingsParseError error;
    if (!kestrelio::ParseSettingsText(written, again, error)) std::abort();
  }

  // A store whose values are the text: the time-outs, the switch and the servers read
  // through their own checks (one file, rewritten, and saved with fsync: one input in
  // 256, to keep the run quick).
  if (what == 0) {
    const std::string path = scratch.path + "/settings.ini";
    {
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      const std::string value = kestrelio::EscapeSettingsValue(text.substr(0, 200));
      out << "[" << kestrelio::kPowerKey << "]\nBattPowerOff=" << value << "\nExtPowerOff=" << value
          << "\nScreenPowerOff=" << value << "\n[" << kestrelio::kShellOverridesKey
          << "]\nMode=" << value << "\n[" << kestrelio::kKestrelioKey
          << "]\nPresenceServer=" << value << "\nStudyServer=" << value << "\n";
    }
    kestrelio::SettingsStore store(path);
    const uint32_t interval = kestrelio::IdleResetIntervalMs(store);
    if (interval == 0 || interval > 950000) std::abort();
    kestrelio::IsSilentMode(store);
    if (kestrelio::PresenceServerAddress(store).port == 0) std::abort();
    if (kestrelio::StudyServerAddress(store).host.empty()) std::abort();
    unlink((path + ".corrupt").c_str());
  }
  return 0;
}
