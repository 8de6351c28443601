// Settings files are edited by hand and may hold anything: the parser must refuse or
// accept every input without reading out of bounds, and what it accepts must survive a
// write and a second parse unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "device/settings_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<kestrelio::SettingsSection> sections;
  kestrelio::SettingsParseError error;
  if (!kestrelio::ParseSettingsText(text, sections, error)) return 0;
  std::string written;
  for (const auto& section : sections) {
    written += "[" + section.key + "]\n";
    for (const auto& [name, value] : section.values) {
      written += name + "=" + kestrelio::EscapeSettingsValue(value) + "\n";
    }
  }
  std::vector<kestrelio::SettingsSection> again;
  if (!kestrelio::ParseSettingsText(written, again, error)) std::abort();
  for (size_t i = 0; i < sections.size(); ++i) {
    if (again[i].values != sections[i].values) std::abort();
  }
  return 0;
}
