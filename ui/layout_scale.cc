#include "ui/layout_scale.h"

#include <algorithm>
#include <cstdint>

namespace kestrelio {
namespace {

// Maps logical coordinate v of a 0..logical range onto 0..real.
struct AxisMap {
  int logical;
  int real;
  int operator()(int v) const {
    if (logical <= 0) return v;
    return static_cast<int>(static_cast<int64_t>(v) * real / logical);
  }
};

ControlRect MapControl(const ControlRect& r, const AxisMap& x, const AxisMap& y) {
  const int left = x(r.x);
  const int top = y(r.y);
  return {left, top, x(r.x + r.width) - left, y(r.y + r.height) - top};
}

VideoRect MapVideo(const VideoRect& r, const AxisMap& x, const AxisMap& y) {
  return {x(r.left), y(r.top), x(r.right), y(r.bottom)};
}

void MapOptional(std::optional<ControlRect>& r, const AxisMap& x, const AxisMap& y) {
  if (r) r = MapControl(*r, x, y);
}

}  // namespace

Layout ScaleLayout(const Layout& logical, int scale, int client_width, int client_height) {
  if (scale <= 1) return logical;
  const AxisMap x{client_width / scale, client_width};
  const AxisMap y{client_height / scale, client_height};
  Layout out = logical;
  out.scale = scale;
  MapOptional(out.status_line, x, y);
  out.cancel = MapControl(logical.cancel, x, y);
  out.calling = MapControl(logical.calling, x, y);
  MapOptional(out.chat_list, x, y);
  MapOptional(out.chat_edit, x, y);
  MapOptional(out.send, x, y);
  MapOptional(out.plus, x, y);
  MapOptional(out.minus, x, y);
  out.picture_height = y(logical.picture_height);
  out.primary = MapVideo(logical.primary, x, y);
  out.secondary = MapVideo(logical.secondary, x, y);
  return out;
}

}  // namespace kestrelio
