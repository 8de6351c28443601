#include "servers/presence/source_limit.h"

namespace kestrelio {
namespace {

size_t Hash(const NetAddress& source) {
  uint64_t key = (uint64_t{source.ipv4} << 16) | source.port;
  key ^= key >> 33;
  key *= 0xff51afd7ed558ccdULL;
  key ^= key >> 33;
  return static_cast<size_t>(key);
}

}  // namespace

bool SourceLimit::Allow(const NetAddress& source, uint64_t now_ms) {
  if (per_window_ == 0) return true;
  const size_t start = Hash(source) % kSources;
  Entry* entry = nullptr;
  Entry* reusable = nullptr;
  Entry* oldest = &entries_[start];
  for (size_t i = 0; i < kProbe; ++i) {
    Entry& e = entries_[(start + i) % kSources];
    if (e.used && e.source == source) {
      entry = &e;
      break;
    }
    const bool past = !e.used || now_ms - e.window_start_ms >= window_ms_;
    if (past && reusable == nullptr) reusable = &e;
    if (e.window_start_ms < oldest->window_start_ms) oldest = &e;
  }
  if (entry == nullptr) {
    entry = reusable != nullptr ? reusable : oldest;
    *entry = Entry{source, true, now_ms, 0};
  } else if (now_ms - entry->window_start_ms >= window_ms_) {
    entry->window_start_ms = now_ms;
    entry->count = 0;
  }
  if (entry->count >= per_window_) return false;
  ++entry->count;
  return true;
}

}  // namespace kestrelio
