// The status line's font size: the largest pixel size, from `max_px` down to `min_px`,
// at which the whole text fits the line's width. No Qt: the caller measures.
#pragma once

#include <functional>

namespace kestrelio {

struct StatusFit {
  int pixel_size = 0;
  bool fits = false;  // false: even `min_px` is too wide; the text is cut at the right
};

// `text_width(px)` is the text's width in pixels at font pixel size px; it is assumed
// to grow with px, so the search halves the range.
StatusFit FitStatusFont(int available_width, int max_px, int min_px,
                        const std::function<int(int px)>& text_width);

// Pixel sizes for the status line at a layout scale: the largest fills its 15-pixel
// line, the smallest is still readable.
inline int StatusMaxPixelSize(int scale) { return 12 * scale; }
inline constexpr int kStatusMinPixelSize = 8;

}  // namespace kestrelio
