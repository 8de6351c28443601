// Layout arithmetic of the main window: where every child control and both video
// rectangles go for a client size, status-line flag, chat panel mode and view mode.
// Pure integer arithmetic (divisions truncate toward zero), free of Qt, so it is tested
// on its own and shared by the Qt window and the fakes.
#pragma once

#include <optional>

namespace kestrelio {

// Video rectangle in client coordinates: left, top, right, bottom (right and bottom
// exclusive, as the painter's target rectangles).
struct VideoRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool operator==(const VideoRect&) const = default;
};

// Child control placement: x, y, width, height.
struct ControlRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const ControlRect&) const = default;
};

struct LayoutInput {
  int client_width = 0;
  int client_height = 0;
  bool status_line_on = true;
  int chat_mode = 0;  // 0 hidden, 1 panel under the pictures, 2 chat fills the window
  int view_mode = 1;  // 0..3
  // The rectangles now in use: kept where a layout leaves them unchanged.
  VideoRect previous_primary;
  VideoRect previous_secondary;
};

// A control whose field is empty is not moved. `plus_visible` / `minus_visible` are set
// when the layout shows or hides those buttons.
struct Layout {
  std::optional<ControlRect> status_line;  // 124
  ControlRect cancel;                      // 155
  ControlRect calling;                     // 154
  std::optional<ControlRect> chat_list;    // 123
  std::optional<ControlRect> chat_edit;    // 122
  std::optional<ControlRect> send;         // 127
  std::optional<ControlRect> plus;         // 121
  std::optional<ControlRect> minus;        // 126
  std::optional<bool> plus_visible;
  std::optional<bool> minus_visible;
  int picture_height = 0;  // height left for the pictures (0 in chat mode 2: untouched)
  VideoRect primary;
  VideoRect secondary;
  int scale = 1;  // window scale the rectangles were stretched by (ScaleLayout)
};

Layout ComputeLayout(const LayoutInput& input);

}  // namespace kestrelio
