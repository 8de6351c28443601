#include "camera/synthetic/synthetic_scene.h"

#include <array>
#include <cmath>

namespace kestrelio {
namespace {

constexpr int kW = KCAM_FRAME_WIDTH;
constexpr int kH = KCAM_FRAME_HEIGHT;

struct Yuv {
  uint8_t y, u, v;
};

uint8_t Byte(double v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

constexpr int kBrickRows = kH / 8;

// What a frame's pixels share: the positions of the moving parts at time t and the
// per-column and per-row terms of the textures, each computed once a frame rather than
// once a pixel (the same expressions, so the same values).
struct FrameTerms {
  explicit FrameTerms(double t) {
    const double pan = 6.0 * std::sin(t * 0.4);
    for (int x = 0; x < kW; ++x) {
      const double bx = x + pan;
      for (int parity = 0; parity < 2; ++parity) {
        brick_x[parity][x] = std::fmod(bx + parity * 6.0 + 240.0, 12.0);
      }
      for (int row = 0; row < kBrickRows; ++row) {
        shade[row][x] = 20.0 * std::sin((bx * 0.31) + row * 1.7);
      }
      detail_x[x] = 8.0 * std::sin(x * 0.9);
    }
    for (int y = 0; y < kH; ++y) detail_y[y] = std::cos(y * 0.7);
    cx = 48.0 + 18.0 * std::sin(t * 0.7);
    for (int side = -1, i = 0; side <= 1; side += 2, ++i) {
      const double phase = t * 4.0 + side * 1.3;
      hand_x[i] = cx + side * (14.0 + 6.0 * std::sin(phase));
      hand_y[i] = 42.0 + 12.0 * std::cos(phase * 0.8);
    }
  }
  double brick_x[2][kW];
  double shade[kBrickRows][kW];
  double detail_x[kW];
  double detail_y[kH];
  double cx;
  double hand_x[2];
  double hand_y[2];
};

// The scene at (x, y) top-down.
Yuv ScenePixel(int x, int y, const FrameTerms& f) {
  // Background: a slowly panning wall of bricks with a soft light gradient.
  const int row = y / 8;
  const bool mortar = (y % 8) == 0 || f.brick_x[row % 2][x] < 1.0;
  Yuv p{Byte((mortar ? 150.0 : 95.0) + f.shade[row][x] + y * 0.4), 118,
        static_cast<uint8_t>(mortar ? 128 : 150)};

  // The figure: head, body and two arms that sign, moving side to side.
  const double cx = f.cx;
  const double head_dx = (x - cx) / 8.0;
  const double head_dy = (y - 20.0) / 10.0;
  const bool head = head_dx * head_dx + head_dy * head_dy <= 1.0;
  const bool body = std::fabs(x - cx) < 13.0 - (y - 32) * 0.05 && y >= 31;
  bool hand = false;
  for (int i = 0; i < 2; ++i) {
    const double dx = (x - f.hand_x[i]) / 5.0;
    const double dy = (y - f.hand_y[i]) / 6.0;
    if (dx * dx + dy * dy <= 1.0) hand = true;
  }
  if (hand || head) {
    const double detail = f.detail_x[x] * f.detail_y[y];
    p = Yuv{Byte(170.0 + detail - head_dy * 12.0), 108, 156};  // skin
    if (head && std::fabs(head_dy + 0.2) < 0.12 && std::fabs(std::fabs(head_dx) - 0.4) < 0.15) {
      p.y = 40;  // eyes
    }
  } else if (body) {
    const double stripes = ((x + y / 3) % 6 < 3) ? 30.0 : -30.0;
    p = Yuv{Byte(80.0 + stripes), 160, 100};  // a striped shirt
  }
  return p;
}

}  // namespace

void DrawSyntheticFrame(uint32_t index, std::span<uint8_t, KCAM_FRAME_BYTES> frame) {
  const FrameTerms terms(index / 12.0);
  std::array<uint8_t, KCAM_FRAME_BYTES> i420{};
  uint8_t* y_plane = i420.data();
  uint8_t* u_plane = y_plane + kW * kH;
  uint8_t* v_plane = u_plane + kW * kH / 4;
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      const Yuv p = ScenePixel(x, y, terms);
      y_plane[y * kW + x] = p.y;
      if (y % 2 == 0 && x % 2 == 0) {
        u_plane[(y / 2) * (kW / 2) + x / 2] = p.u;
        v_plane[(y / 2) * (kW / 2) + x / 2] = p.v;
      }
    }
  }
  I420TopDownToNv21BottomUp(i420, frame);
}

void I420TopDownToNv21BottomUp(std::span<const uint8_t, KCAM_FRAME_BYTES> i420,
                               std::span<uint8_t, KCAM_FRAME_BYTES> frame) {
  const uint8_t* y_plane = i420.data();
  const uint8_t* u_plane = y_plane + kW * kH;
  const uint8_t* v_plane = u_plane + kW * kH / 4;
  uint8_t* out_y = frame.data();
  uint8_t* out_vu = out_y + kW * kH;
  for (int r = 0; r < kH; ++r) {
    const uint8_t* src = y_plane + (kH - 1 - r) * kW;
    for (int x = 0; x < kW; ++x) out_y[r * kW + x] = src[x];
  }
  constexpr int kCw = kW / 2;
  constexpr int kCh = kH / 2;
  for (int r = 0; r < kCh; ++r) {
    const int src_row = kCh - 1 - r;
    for (int x = 0; x < kCw; ++x) {
      out_vu[2 * (r * kCw + x)] = v_plane[src_row * kCw + x];
      out_vu[2 * (r * kCw + x) + 1] = u_plane[src_row * kCw + x];
    }
  }
}

}  // namespace kestrelio
