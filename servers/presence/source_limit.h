// A bound on how often one source address (IPv4 address and port) gets something: at
// most `per_window` times in each `window_ms`. The presence server answers a keep-alive
// with up to five list pages, to a source address anyone can forge; this keeps what one
// forged address can draw to a few lists a second, while a real handset, one keep-alive
// every ten seconds, is always answered.
//
// The table of sources is fixed in size. A source is looked up in a short run of
// entries after its hash; when none there is its own, free or past its window, the one
// whose window began longest ago is taken over (its count starts again), so a flood of
// made-up sources can at worst give an address a fresh allowance, never grow memory.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "base/net_address.h"

namespace kestrelio {

class SourceLimit {
 public:
  static constexpr size_t kSources = 1024;
  static constexpr size_t kProbe = 8;

  // `per_window` 0: no limit.
  SourceLimit(uint32_t per_window, uint64_t window_ms)
      : per_window_(per_window), window_ms_(window_ms) {}

  // Counts one use by `source` at `now_ms`; false when it has had its share.
  bool Allow(const NetAddress& source, uint64_t now_ms);

 private:
  struct Entry {
    NetAddress source;
    bool used = false;
    uint64_t window_start_ms = 0;
    uint32_t count = 0;
  };

  uint32_t per_window_;
  uint64_t window_ms_;
  std::array<Entry, kSources> entries_{};
};

}  // namespace kestrelio
