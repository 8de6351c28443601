#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "camera/v4l2/frame_pacer.h"
#include "media/camera_driver.h"
#include "tests/support/fake_window.h"

namespace kestrelio {
namespace {

TEST(FramePacerTest, ThinsThirtyFramesPerSecondToTwelve) {
  FramePacer pacer(1'000'000 / 12);
  pacer.SetSlackUs(1'000'000 / 12 / 5);
  int delivered = 0;
  for (int i = 0; i < 300; ++i) {  // ten seconds at 30 frames/s
    delivered += pacer.Accept(int64_t{i} * 1'000'000 / 30) ? 1 : 0;
  }
  EXPECT_GE(delivered, 118);
  EXPECT_LE(delivered, 121);
}

TEST(FramePacerTest, PassesASlowerCameraWholeAndRestartsAfterAStall) {
  FramePacer pacer(83'333);
  for (int i = 0; i < 50; ++i) EXPECT_TRUE(pacer.Accept(int64_t{i} * 100'000));
  // Two seconds of silence, then 30 frames/s again: no burst.
  const int64_t resume = 7'000'000;
  EXPECT_TRUE(pacer.Accept(resume));
  EXPECT_FALSE(pacer.Accept(resume + 33'333));
  EXPECT_FALSE(pacer.Accept(resume + 66'666));
  EXPECT_TRUE(pacer.Accept(resume + 100'000));
}

TEST(V4l2CameraTest, AMissingDeviceFailsTheStartCleanly) {
  setenv("KESTRELIO_V4L2_DEVICE", "/nonexistent/video9", 1);
  CameraDriver driver;
  ASSERT_TRUE(CameraLoad(KESTRELIO_TEST_V4L2_CAMERA, driver));
  auto preview = std::make_unique<PreviewBitmap>();
  FakeWindow window;
  EXPECT_FALSE(CameraStart(
      driver, *preview, window, [](void*, const uint8_t*) {}, nullptr));
  unsetenv("KESTRELIO_V4L2_DEVICE");
  ASSERT_EQ(window.Boxes().size(), 1u);
  EXPECT_EQ(window.Boxes()[0].text, "Camera Begin error !!!");
  EXPECT_EQ(window.Boxes()[0].caption, "Error");
  // Nothing was left running: there is no capture to end.
  EXPECT_EQ(driver.end(), 0);
}

TEST(V4l2CameraTest, NoCaptureDeviceFailsInitialisation) {
  if (CaptureDevicePresent()) GTEST_SKIP() << "this machine has a video device";
  CameraDriver driver;
  ASSERT_TRUE(CameraLoad(KESTRELIO_TEST_V4L2_CAMERA, driver));
  auto preview = std::make_unique<PreviewBitmap>();
  FakeWindow window;
  EXPECT_FALSE(CameraStart(
      driver, *preview, window, [](void*, const uint8_t*) {}, nullptr));
  ASSERT_EQ(window.Boxes().size(), 1u);
  EXPECT_EQ(window.Boxes()[0].text,
            "Camera initialization has failed.\nPlease restart your phone. (19)\n");
  EXPECT_EQ(window.Boxes()[0].caption, "ERROR");
}

}  // namespace
}  // namespace kestrelio
