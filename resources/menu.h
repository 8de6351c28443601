// Menu bar resource 131 and the string table.
#pragma once

#include <span>
#include <string_view>

namespace kestrelio {

struct MenuItem {
  const char* text;
  int command_id;
};

struct SoftKey {
  int command_id;
  int image_index;  // in image strip 132
  const char* tool_tip;
};

// The "File" drop-down menu, top to bottom.
std::span<const MenuItem> FileMenuItems();
// The soft-key buttons right of "File", left to right. The last, chat panel (114), is
// this program's own addition: the bar has to offer command 114 somewhere.
std::span<const SoftKey> SoftKeys();

inline constexpr int kStringTitle = 1;
inline constexpr int kStringClassName = 2;
inline constexpr int kStringFile = 103;
// Empty for an unknown id.
std::string_view LoadString(int string_id);

}  // namespace kestrelio
