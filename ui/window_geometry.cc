#include "ui/window_geometry.h"

#include <algorithm>
#include <charconv>

namespace kestrelio {
namespace {

constexpr int kMaxPlacementValue = 100000;

}  // namespace

int OpeningScale(int phone_width, int phone_height, const ScreenRect& available) {
  if (phone_width <= 0 || phone_height <= 0) return 1;
  const int by_height = (available.height * 2 / 3) / phone_height;
  const int by_width = available.width / phone_width;
  return std::max(1, std::min(by_height, by_width));
}

int ScaleForWindow(int window_width, int window_height, int phone_width, int phone_height) {
  if (phone_width <= 0 || phone_height <= 0) return 1;
  return std::max(1, std::min(window_width / phone_width, window_height / phone_height));
}

std::string FormatPlacement(const ScreenRect& placement) {
  return std::to_string(placement.x) + "," + std::to_string(placement.y) + "," +
         std::to_string(placement.width) + "," + std::to_string(placement.height);
}

std::optional<ScreenRect> ParsePlacement(std::string_view text) {
  int values[4] = {};
  const char* at = text.data();
  const char* end = text.data() + text.size();
  for (int i = 0; i < 4; ++i) {
    if (i > 0) {
      if (at == end || *at != ',') return std::nullopt;
      ++at;
    }
    auto [next, error] = std::from_chars(at, end, values[i]);
    if (error != std::errc() || values[i] <= -kMaxPlacementValue ||
        values[i] >= kMaxPlacementValue) {
      return std::nullopt;
    }
    at = next;
  }
  if (at != end || values[2] <= 0 || values[3] <= 0) return std::nullopt;
  return ScreenRect{values[0], values[1], values[2], values[3]};
}

bool PlacementFits(const ScreenRect& placement, std::span<const ScreenRect> screens, int min_width,
                   int min_height) {
  if (placement.width < min_width || placement.height < min_height) return false;
  return std::any_of(screens.begin(), screens.end(), [&](const ScreenRect& screen) {
    return placement.x >= screen.x && placement.y >= screen.y &&
           placement.x + placement.width <= screen.x + screen.width &&
           placement.y + placement.height <= screen.y + screen.height;
  });
}

}  // namespace kestrelio
