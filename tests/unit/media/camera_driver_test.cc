#include "media/camera_driver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "media/camera_frame.h"
#include "tests/support/fake_window.h"
#include "tests/support/wait.h"

namespace kestrelio {
namespace {

uint32_t U32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

void NoFrame(void*, const uint8_t*) {}

TEST(CaptureRequestTest, ClassicFieldsAndTheWideCallback) {
  int context_marker = 0;
  const auto r = BuildCaptureRequest(NoFrame, &context_marker);
  EXPECT_EQ(r[0], 4);
  EXPECT_EQ(U32(&r[4]), 640u);
  EXPECT_EQ(U32(&r[8]), 480u);
  EXPECT_EQ(U32(&r[20]), 639u);
  EXPECT_EQ(U32(&r[24]), 479u);
  EXPECT_EQ(r[28], 1);
  EXPECT_EQ(U32(&r[40]), 95u);
  EXPECT_EQ(U32(&r[44]), 79u);
  EXPECT_EQ(r[49], 8);
  EXPECT_EQ(U32(&r[52]), 0u);
  EXPECT_EQ(r[56], 2);
  EXPECT_EQ(U32(&r[68]), 95u);
  EXPECT_EQ(U32(&r[72]), 79u);
  const uint64_t callback = U32(&r[80]) | (uint64_t{U32(&r[84])} << 32);
  const uint64_t context = U32(&r[88]) | (uint64_t{U32(&r[92])} << 32);
  EXPECT_EQ(callback, reinterpret_cast<uintptr_t>(&NoFrame));
  EXPECT_EQ(context, reinterpret_cast<uintptr_t>(&context_marker));
}

TEST(ResolveCameraLibraryTest, NamesPathsAndDefault) {
  EXPECT_EQ(ResolveCameraLibrary("synthetic", "/opt/k/bin", false),
            "/opt/k/bin/libkcam-synthetic.so");
  EXPECT_EQ(ResolveCameraLibrary("v4l2", "/opt/k/bin/", false), "/opt/k/bin/libkcam-v4l2.so");
  EXPECT_EQ(ResolveCameraLibrary("", "/b", true), "/b/libkcam-v4l2.so");
  EXPECT_EQ(ResolveCameraLibrary("", "/b", false), "/b/libkcam-synthetic.so");
  EXPECT_EQ(ResolveCameraLibrary("/x/my.so", "/b", false), "/x/my.so");
}

TEST(CameraLoadTest, MissingLibraryOrEntryPointFails) {
  CameraDriver driver;
  EXPECT_FALSE(CameraLoad("/nonexistent/libkcam-none.so", driver));
  EXPECT_FALSE(CameraLoad(KESTRELIO_TEST_INCOMPLETE_CAMERA, driver));
  EXPECT_EQ(driver.library, nullptr);
  EXPECT_TRUE(CameraLoad(KESTRELIO_TEST_SYNTHETIC_CAMERA, driver));
  EXPECT_NE(driver.jpeg_exif_info, nullptr);
}

// A scripted driver through function pointers.
struct Script {
  uint32_t init_result = 0;
  int begin_result = 1;
  int deinit_result = 1;
  int init_calls = 0;
  std::vector<std::pair<uint32_t, uint32_t>> properties;
};
Script* script = nullptr;

CameraDriver ScriptedDriver() {
  CameraDriver d;
  d.init = [](uint32_t mode, uint32_t* result, uint32_t, uint32_t) {
    EXPECT_EQ(mode, 2u);
    ++script->init_calls;
    *result = script->init_result;
    return 0;
  };
  d.begin = [](const uint8_t*) { return script->begin_result; };
  d.end = [] { return 7; };
  d.deinit = [] { return script->deinit_result; };
  d.set_property = [](uint32_t id, const uint32_t* value) {
    script->properties.emplace_back(id, *value);
    return 1;
  };
  return d;
}

TEST(CameraStartTest, InitErrorShowsTheCodeAndStopsThere) {
  Script s;
  script = &s;
  s.init_result = 5;
  CameraDriver driver = ScriptedDriver();
  auto preview = std::make_unique<PreviewBitmap>();
  FakeWindow window;
  EXPECT_FALSE(CameraStart(driver, *preview, window, NoFrame, nullptr));
  ASSERT_EQ(window.Boxes().size(), 1u);
  EXPECT_EQ(window.Boxes()[0].text,
            "Camera initialization has failed.\nPlease restart your phone. (5)\n");
  EXPECT_EQ(window.Boxes()[0].caption, "ERROR");
}

TEST(CameraStartTest, BeginFailureAndSuccessWithProperties) {
  Script s;
  script = &s;
  s.begin_result = 0;
  CameraDriver driver = ScriptedDriver();
  auto preview = std::make_unique<PreviewBitmap>();
  FakeWindow window;
  EXPECT_FALSE(CameraStart(driver, *preview, window, NoFrame, nullptr));
  ASSERT_EQ(window.Boxes().size(), 1u);
  EXPECT_EQ(window.Boxes()[0].text, "Camera Begin error !!!");
  EXPECT_EQ(window.Boxes()[0].caption, "Error");

  Script ok;
  script = &ok;
  CameraDriver good = ScriptedDriver();
  preview->WriteBuffer().fill(9);
  preview->Publish();
  EXPECT_TRUE(CameraStart(good, *preview, window, NoFrame, nullptr));
  EXPECT_EQ(preview->LastWritten()[100], 0);
  EXPECT_EQ(preview->TakeLatest()[100], 0);
  const std::vector<std::pair<uint32_t, uint32_t>> expected = {{10, 1}, {2, 1}, {1, 1}, {5, 4},
                                                               {6, 2},  {4, 2}, {7, 2}, {9, 2}};
  EXPECT_EQ(ok.properties, expected);
  EXPECT_EQ(window.invalidate_count(), 1);
  // A second start returns at once without touching the driver.
  EXPECT_TRUE(CameraStart(good, *preview, window, NoFrame, nullptr));
  EXPECT_EQ(ok.init_calls, 1);
}

TEST(CameraStopTest, ReturnsEndResultAndReportsDeinitFailure) {
  Script s;
  script = &s;
  CameraDriver driver = ScriptedDriver();
  auto preview = std::make_unique<PreviewBitmap>();
  auto capture = std::make_unique<CaptureState>();
  FakeWindow window;
  ASSERT_TRUE(CameraStart(driver, *preview, window, NoFrame, nullptr));
  capture->capture_active = true;
  s.deinit_result = 0;
  EXPECT_EQ(CameraStop(driver, *capture, window), 7);
  ASSERT_EQ(window.Boxes().size(), 1u);
  EXPECT_EQ(window.Boxes()[0].text, "Camera Deinit Error");
  EXPECT_TRUE(capture->capture_active.load());
  s.deinit_result = 1;
  EXPECT_EQ(CameraStop(driver, *capture, window), 7);
  EXPECT_FALSE(capture->capture_active.load());
}

TEST(SyntheticCameraTest, DeliversFramesThroughTheContextUntilEnd) {
  CameraDriver driver;
  ASSERT_TRUE(CameraLoad(KESTRELIO_TEST_SYNTHETIC_CAMERA, driver));
  auto preview = std::make_unique<PreviewBitmap>();
  FakeWindow window;
  struct Count {
    std::atomic<int> frames{0};
  } count;
  auto on_frame = [](void* context, const uint8_t* frame) {
    EXPECT_NE(frame, nullptr);
    static_cast<Count*>(context)->frames.fetch_add(1);
  };
  ASSERT_TRUE(CameraStart(driver, *preview, window, on_frame, &count));
  ASSERT_TRUE(testing::WaitFor([&] { return count.frames.load() >= 3; }));
  auto capture = std::make_unique<CaptureState>();
  EXPECT_EQ(CameraStop(driver, *capture, window), 1);
  const int after_stop = count.frames.load();
  // An absence has no event to wait for: a few frame periods of the synthetic camera pass,
  // in which a thread left running would have delivered.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(count.frames.load(), after_stop);
}

TEST(SyntheticCameraTest, EndWithoutBeginIsZeroAndCaptureRunsAgainAfterEnd) {
  CameraDriver driver;
  ASSERT_TRUE(CameraLoad(KESTRELIO_TEST_SYNTHETIC_CAMERA, driver));
  EXPECT_EQ(driver.end(), 0);  // never begun
  struct Count {
    std::atomic<int> frames{0};
  } count;
  const auto request = BuildCaptureRequest(
      [](void* context, const uint8_t*) { static_cast<Count*>(context)->frames.fetch_add(1); },
      &count);
  ASSERT_EQ(driver.begin(request.data()), 1);
  EXPECT_EQ(driver.begin(request.data()), 0);  // one capture at a time
  while (count.frames.load() < 2) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(driver.end(), 1);
  EXPECT_EQ(driver.end(), 0);

  const int after_end = count.frames.load();
  ASSERT_EQ(driver.begin(request.data()), 1);
  while (count.frames.load() < after_end + 2) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(driver.end(), 1);
}

}  // namespace
}  // namespace kestrelio
