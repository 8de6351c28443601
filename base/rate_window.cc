#include "base/rate_window.h"

namespace kestrelio {

void RateWindow::Reset(uint32_t now_ms) {
  for (Bucket& bucket : buckets_) {
    bucket.number_plus_one.store(0, std::memory_order_relaxed);
    bucket.bytes.store(0, std::memory_order_relaxed);
  }
  origin_ms_.store(now_ms, std::memory_order_relaxed);
}

uint32_t RateWindow::BucketNumber(uint32_t now_ms) const {
  return (now_ms - origin_ms_.load(std::memory_order_relaxed)) / kBucketMs;
}

void RateWindow::Add(uint32_t now_ms, uint32_t bytes) {
  const uint32_t number = BucketNumber(now_ms);
  Bucket& bucket = buckets_[number % kBuckets];
  if (bucket.number_plus_one.load(std::memory_order_relaxed) != number + 1) {
    // The bucket still holds a second ago (or longer): it starts again from zero.
    bucket.bytes.store(0, std::memory_order_relaxed);
    bucket.number_plus_one.store(number + 1, std::memory_order_relaxed);
  }
  bucket.bytes.fetch_add(bytes, std::memory_order_relaxed);
}

uint64_t RateWindow::BytesInLastSecond(uint32_t now_ms) const {
  const uint32_t now_number = BucketNumber(now_ms);
  uint64_t total = 0;
  for (const Bucket& bucket : buckets_) {
    const uint32_t stamp = bucket.number_plus_one.load(std::memory_order_relaxed);
    if (stamp == 0) continue;
    // Unsigned: a bucket stamped after `now_ms` (a reader behind the writer) is far
    // away and left out like an old one.
    if (now_number - (stamp - 1) < kBuckets) {
      total += bucket.bytes.load(std::memory_order_relaxed);
    }
  }
  return total;
}

uint32_t RateWindow::KbitPerSecond(uint32_t now_ms) const {
  return static_cast<uint32_t>(BytesInLastSecond(now_ms) * 8 / 1000);
}

}  // namespace kestrelio
