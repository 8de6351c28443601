#include "ui/status_fit.h"

#include <algorithm>

namespace kestrelio {

StatusFit FitStatusFont(int available_width, int max_px, int min_px,
                        const std::function<int(int px)>& text_width) {
  min_px = std::max(1, min_px);
  max_px = std::max(min_px, max_px);
  if (text_width(min_px) > available_width) return {min_px, false};
  // Invariant: `low` fits; everything above `high` does not.
  int low = min_px;
  int high = max_px;
  while (low < high) {
    const int mid = low + (high - low + 1) / 2;
    if (text_width(mid) <= available_width) {
      low = mid;
    } else {
      high = mid - 1;
    }
  }
  return {low, true};
}

}  // namespace kestrelio
