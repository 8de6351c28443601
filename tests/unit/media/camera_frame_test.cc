#include "media/camera_frame.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>

namespace kestrelio {
namespace {

struct Fixture {
  std::unique_ptr<CaptureState> capture = std::make_unique<CaptureState>();
  CallFlags call;
  MediaSettings settings;
  KeyframeRequests keyframes;
  CameraFrameContext context{*capture, call, settings, keyframes};

  Fixture() {
    call.in_call = true;
    capture->capture_active = true;
  }
};

std::array<uint8_t, kCameraFrameBytes> Frame(uint8_t luma, uint8_t v = 140, uint8_t u = 110) {
  std::array<uint8_t, kCameraFrameBytes> f{};
  for (int i = 0; i < kLumaBytes; ++i) f[i] = luma;
  for (int k = 0; k < kChromaPlaneBytes; ++k) {
    f[kLumaBytes + 2 * k] = v;
    f[kLumaBytes + 2 * k + 1] = u;
  }
  return f;
}

TEST(CaptureRingTest, StalledEncoderLosesTheFifthFrameWhole) {
  Fixture t;
  for (uint8_t i = 0; i < 4; ++i)
    OnCameraFrame(t.context, Frame(static_cast<uint8_t>(10 + i)).data());
  EXPECT_EQ(t.capture->ring.write_index.load(), 0u);
  for (const auto& slot : t.capture->ring.slots) EXPECT_EQ(slot.full.load(), 1);
  EXPECT_EQ(t.capture->preview.counter.load(), 4u);
  const auto preview_before = t.capture->preview.LastWritten();

  OnCameraFrame(t.context, Frame(200).data());
  EXPECT_EQ(t.capture->ring.write_index.load(), 0u);
  EXPECT_EQ(t.capture->ring.slots[0].y()[0], 10);  // not overwritten
  EXPECT_EQ(t.capture->preview.counter.load(), 4u);
  EXPECT_EQ(t.capture->preview.LastWritten(), preview_before);
}

TEST(CaptureRingTest, NothingHappensOutsideACallOrWithCaptureInactive) {
  Fixture t;
  t.capture->capture_active = false;
  OnCameraFrame(t.context, Frame(77).data());
  EXPECT_EQ(t.capture->ring.slots[0].y()[0], 0);
  EXPECT_EQ(t.capture->preview.counter.load(), 0u);

  // Capture armed but the call not connected: the slot is filled but never queued, and
  // the preview stays untouched.
  t.capture->capture_active = true;
  t.call.in_call = false;
  OnCameraFrame(t.context, Frame(77).data());
  EXPECT_EQ(t.capture->ring.slots[0].full.load(), 0);
  EXPECT_EQ(t.capture->ring.write_index.load(), 0u);
  EXPECT_EQ(t.capture->preview.counter.load(), 0u);
}

TEST(CaptureRingTest, SplitsNv21IntoI420Planes) {
  Fixture t;
  auto f = Frame(50, /*v=*/200, /*u=*/30);
  f[kLumaBytes + 2 * 5] = 201;  // V of block 5
  OnCameraFrame(t.context, f.data());
  const CaptureSlot& slot = t.capture->ring.slots[0];
  EXPECT_EQ(slot.full.load(), 1);
  EXPECT_EQ(slot.y()[kLumaBytes - 1], 50);
  EXPECT_EQ(slot.bytes[kLumaBytes + 0], 30);                       // U
  EXPECT_EQ(slot.bytes[kLumaBytes + kChromaPlaneBytes + 0], 200);  // V
  EXPECT_EQ(slot.bytes[kLumaBytes + kChromaPlaneBytes + 5], 201);
}

TEST(CaptureRingTest, BlackAndWhiteGreysChromaButKeepsLuma) {
  Fixture t;
  t.settings.black_and_white = true;
  OnCameraFrame(t.context, Frame(90, 200, 30).data());
  const CaptureSlot& slot = t.capture->ring.slots[0];
  for (int i = kLumaBytes; i < kI420Bytes; ++i) ASSERT_EQ(slot.bytes[i], 128);
  EXPECT_EQ(slot.y()[100], 90);
  const auto& p = t.capture->preview.LastWritten();
  EXPECT_EQ(p[0], p[1]);
  EXPECT_EQ(p[1], p[2]);
}

TEST(EqualiseLumaTest, AllEqualMapsTo255AndHalvesTo127And254) {
  std::array<uint8_t, kLumaBytes> in{};
  std::array<uint8_t, kLumaBytes> out{};
  in.fill(42);
  EqualiseLuma(in, out);
  for (uint8_t v : out) ASSERT_EQ(v, 255);

  for (int i = 0; i < kLumaBytes; ++i) in[i] = i < kLumaBytes / 2 ? 0 : 255;
  EqualiseLuma(in, out);
  EXPECT_EQ(out[0], 127);
  EXPECT_EQ(out[kLumaBytes - 1], 254);
}

TEST(EqualiseLumaTest, PreProcessingWritesEqualisedLumaIntoTheSlot) {
  Fixture t;
  t.settings.pre_processing = true;
  OnCameraFrame(t.context, Frame(42).data());
  EXPECT_EQ(t.capture->ring.slots[0].y()[0], 255);
}

TEST(PreviewTest, MirrorsColumnsAndKeepsRowOrder) {
  CaptureSlot slot;
  std::fill(slot.bytes.begin(), slot.bytes.end(), 128);
  std::fill(slot.y(), slot.y() + kLumaBytes, 16);
  slot.y()[0] = 235;                // row 0, column 0
  slot.y()[kFrameWidth + 1] = 235;  // row 1, column 1
  std::array<uint8_t, kPreviewBytes> out{};
  ConvertPreview(slot, out);
  // Column 0 lands at column 95 of the first memory row.
  EXPECT_EQ(out[95 * 3 + 0], 255);
  EXPECT_EQ(out[95 * 3 + 2], 255);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[kPreviewStride + 94 * 3 + 1], 255);
  EXPECT_EQ(out[kPreviewStride + 95 * 3 + 1], 0);
}

TEST(PreviewTest, ConvertsColourWithTheIntegerFormula) {
  CaptureSlot slot;
  std::fill(slot.y(), slot.y() + kLumaBytes, 100);
  std::fill(slot.u(), slot.u() + kChromaPlaneBytes, 90);   // Cb
  std::fill(slot.v(), slot.v() + kChromaPlaneBytes, 180);  // Cr
  std::array<uint8_t, kPreviewBytes> out{};
  ConvertPreview(slot, out);
  // c = 298 x 84 = 25032; B = (25032 - 19608 + 128) >> 8 = 21;
  // G = (25032 + 3800 - 10816 + 128) >> 8 = 70; R = (25032 + 21268 + 128) >> 8 = 181.
  EXPECT_EQ(out[0], 21);
  EXPECT_EQ(out[1], 70);
  EXPECT_EQ(out[2], 181);
}

}  // namespace
}  // namespace kestrelio
