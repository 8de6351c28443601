// A sliding one-second byte count for a rate shown to people: ten buckets of 100 ms,
// each stamped with the bucket number it holds. One thread adds, any thread reads; all
// fields are relaxed atomics, so a reader racing the writer may see one bucket a
// moment early or late, which a rate display does not notice. Nothing is allocated.
//
// Bucket numbers count from the time given to Reset, with unsigned differences, so a
// wrap of the 32-bit tick count in between does not disturb them.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace kestrelio {

class RateWindow {
 public:
  static constexpr uint32_t kBucketMs = 100;
  static constexpr uint32_t kBuckets = 10;  // one second

  // Empties the window; bucket numbers count from `now_ms`.
  void Reset(uint32_t now_ms);
  // The writer: `bytes` seen at `now_ms`.
  void Add(uint32_t now_ms, uint32_t bytes);
  // Bytes in the current bucket and the nine before it.
  uint64_t BytesInLastSecond(uint32_t now_ms) const;
  // The same as kbit/s (1 kbit = 1000 bits).
  uint32_t KbitPerSecond(uint32_t now_ms) const;

 private:
  struct Bucket {
    std::atomic<uint32_t> number_plus_one{0};  // 0: never used since Reset
    std::atomic<uint32_t> bytes{0};
  };
  uint32_t BucketNumber(uint32_t now_ms) const;

  std::atomic<uint32_t> origin_ms_{0};
  std::array<Bucket, kBuckets> buckets_{};
};

}  // namespace kestrelio
