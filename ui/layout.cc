#include "ui/layout.h"

#include <algorithm>

namespace kestrelio {
namespace {

constexpr int kStatusLineHeight = 15;
constexpr int kChatPanelHeight = 70;

void PlaceVideoPortrait(int w, int p, int view_mode, Layout& out) {
  switch (view_mode) {
    case 0:
      out.primary = {0, 0, w, p};
      break;
    case 1:
      out.primary = {0, 0, 159, 191};
      out.secondary = {159, 2 * p / 3, w, p};
      break;
    case 2:
      out.primary = {0, 0, 2 * w / 3, 4 * p / 5};
      out.secondary = {2 * w / 3, 2 * w / 3, w, p};
      break;
    default:
      out.primary = {0, 0, w, p / 2};
      out.secondary = {0, p / 2, w, p};
      break;
  }
}

void PlaceVideoLandscape(int w, int p, int view_mode, Layout& out) {
  switch (view_mode) {
    case 0:
      out.primary = {0, 0, w, p};
      break;
    case 1: {
      const int left = std::max(0, (w - 288) / 2);
      const int right = std::min(2 * w / 3, left + 191);
      const int bottom = std::min(p, 159);
      out.primary = {left, 0, right, bottom};
      out.secondary = {right + 1, p < 80 ? 0 : bottom - 79, std::min(right + 96, w), bottom};
      break;
    }
    case 2:
      out.primary = {0, 0, 2 * w / 3, p};
      out.secondary = {2 * w / 3, p / 2, w, p};
      break;
    default:
      out.primary = {0, 0, w / 2, p};
      out.secondary = {w / 2, 0, w, p};
      break;
  }
}

}  // namespace

Layout ComputeLayout(const LayoutInput& input) {
  Layout out;
  out.primary = input.previous_primary;
  out.secondary = input.previous_secondary;
  const int w = input.client_width;
  int h = input.client_height;

  if (input.status_line_on) {
    h -= kStatusLineHeight;
    out.status_line = ControlRect{0, h, w, kStatusLineHeight};
  }

  if (w < h) {
    out.cancel = {w / 2 - 30, h - 120, 60, 20};
    out.calling = {w / 2 - 45, h - 170, 90, 80};
  } else {
    out.cancel = {w / 2 - 30, h - 60, 60, 20};
    out.calling = {w / 2 - 45, h - 110, 90, 80};
  }

  if (input.chat_mode == 2) {
    out.plus_visible = false;
    out.minus_visible = true;
    out.chat_list = ControlRect{0, 0, w, h - 20};
    out.chat_edit = ControlRect{0, h - 20, w - 60, 20};
    out.minus = ControlRect{w - 20, h - 20, 20, 20};
    out.send = ControlRect{w - 60, h - 20, 40, 20};
    return out;  // the pictures stay where they were
  }

  int p = h;
  if (input.chat_mode == 1) {
    out.plus_visible = true;
    out.minus_visible = false;
    out.chat_list = ControlRect{0, h - kChatPanelHeight, w, 50};
    out.chat_edit = ControlRect{0, h - 20, w - 60, 20};
    out.plus = ControlRect{w - 20, h - 20, 20, 20};
    out.send = ControlRect{w - 60, h - 20, 40, 20};
    p = h - kChatPanelHeight;
  }
  out.picture_height = p;

  if (w < p) {
    PlaceVideoPortrait(w, p, input.view_mode, out);
  } else {
    PlaceVideoLandscape(w, p, input.view_mode, out);
  }
  return out;
}

}  // namespace kestrelio
