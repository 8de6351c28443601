#include "base/event.h"

#include <gtest/gtest.h>

#include <thread>

namespace kestrelio {
namespace {

TEST(EventTest, ManualResetStaysSetAutoResetClearsAfterOneWait) {
  Event manual(EventReset::kManual);
  EXPECT_FALSE(manual.Wait(0));
  manual.Set();
  EXPECT_TRUE(manual.Wait(0));
  EXPECT_TRUE(manual.Wait(0));
  manual.Reset();
  EXPECT_FALSE(manual.Wait(0));

  Event automatic(EventReset::kAuto);
  automatic.Set();
  EXPECT_TRUE(automatic.Wait(0));
  EXPECT_FALSE(automatic.Wait(0));
}

TEST(EventTest, WaitWakesWhenAnotherThreadSets) {
  Event event;
  std::thread setter([&] { event.Set(); });
  EXPECT_TRUE(event.Wait(-1));
  setter.join();
}

}  // namespace
}  // namespace kestrelio
