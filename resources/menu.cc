#include "resources/menu.h"

namespace kestrelio {
namespace {

constexpr MenuItem kFileMenu[] = {
    {"About", 32811},          {"Settings", 32803},
    {"My Name", 32782},        {"Check for updates", 32813},
    {"Update My Info", 32807}, {"Dial", 110},
    {"Call statistics", 32820}, {"Exit", 40000},
};

constexpr SoftKey kSoftKeys[] = {
    {110, 0, "Dial"},      {111, 1, "Hang up"},     {112, 2, "Pause my picture"},
    {120, 5, "Next view"}, {115, 4, "Status line"}, {145, 11, "Call from history"},
    {114, 3, "Chat"},
};

}  // namespace

std::span<const MenuItem> FileMenuItems() { return kFileMenu; }
std::span<const SoftKey> SoftKeys() { return kSoftKeys; }

std::string_view LoadString(int string_id) {
  switch (string_id) {
    case kStringTitle:
      return "Kestrelio 1.0.5";
    case kStringClassName:
      return "KESTRELIO";
    case kStringFile:
      return "File";
    default:
      return {};
  }
}

}  // namespace kestrelio
