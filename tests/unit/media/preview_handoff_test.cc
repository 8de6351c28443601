// The own preview between the camera callback (writer) and the display thread (reader):
// the reader only ever sees whole pictures, and the newest one, while the writer never
// waits. Run under ThreadSanitizer (scripts/sanitize) this also shows that no buffer is
// written while it is read.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "media/capture_state.h"

namespace kestrelio {
namespace {

void Fill(PreviewBitmap& preview, uint8_t value) {
  preview.WriteBuffer().fill(value);
  preview.Publish();
  preview.counter.fetch_add(1, std::memory_order_release);
}

bool Whole(const PreviewBitmap::Buffer& buffer) {
  for (uint8_t b : buffer) {
    if (b != buffer[0]) return false;
  }
  return true;
}

TEST(PreviewHandOffTest, TheReaderTakesTheNewestPictureAndKeepsItUntilANewerOne) {
  auto preview = std::make_unique<PreviewBitmap>();
  Fill(*preview, 1);
  Fill(*preview, 2);
  EXPECT_EQ(preview->LastWritten()[0], 2);
  EXPECT_EQ(preview->TakeLatest()[0], 2);
  EXPECT_EQ(preview->TakeLatest()[0], 2);  // nothing newer: the same picture again
  Fill(*preview, 3);
  Fill(*preview, 4);
  Fill(*preview, 5);
  EXPECT_EQ(preview->TakeLatest()[0], 5);
  preview->Clear();
  EXPECT_EQ(preview->TakeLatest()[0], 0);
  EXPECT_EQ(preview->counter.load(), 0u);
}

TEST(PreviewHandOffTest, AReaderRacingTheWriterSeesOnlyWholePictures) {
  auto preview = std::make_unique<PreviewBitmap>();
  std::atomic<bool> done{false};
  std::atomic<int> taken{0};
  uint8_t last = 0;
  // The camera writes until the display has taken a few hundred pictures (or gives up
  // after many, should the display never be scheduled).
  std::thread camera([&] {
    for (int i = 1; taken.load() < 300 && i < 2000000; ++i) {
      last = static_cast<uint8_t>(i % 250 + 1);
      Fill(*preview, last);
    }
    done.store(true);
  });
  int torn = 0;
  while (!done.load()) {
    if (preview->counter.exchange(0, std::memory_order_acq_rel) == 0) continue;
    if (!Whole(preview->TakeLatest())) ++torn;
    taken.fetch_add(1);
  }
  camera.join();
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(preview->TakeLatest()[0], last);  // the newest, once the writer is done
}

}  // namespace
}  // namespace kestrelio
