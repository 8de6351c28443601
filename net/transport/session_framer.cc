#include "net/transport/session_framer.h"

#include <cstring>

#include "base/byte_io.h"
#include "net/wire/header.h"

namespace kestrelio {
namespace {

constexpr size_t kLengthOffset = 2;
constexpr size_t kLengthEnd = kLengthOffset + 2;

}  // namespace

void SessionFramer::Compact() {
  if (start_ == 0) return;
  const size_t held = end_ - start_;
  if (held != 0) std::memmove(buffer_.data(), buffer_.data() + start_, held);
  start_ = 0;
  end_ = held;
}

std::span<uint8_t> SessionFramer::FreeSpace() {
  if (broken_) return {};
  Compact();
  return buffer_.subspan(end_);
}

void SessionFramer::Commit(size_t count) {
  const size_t room = buffer_.size() - end_;
  end_ += count < room ? count : room;
}

FrameItem SessionFramer::Next() {
  FrameItem item;
  if (broken_) return item;
  const std::span<const uint8_t> held(buffer_.data() + start_, end_ - start_);
  if (held.empty()) {
    start_ = end_ = 0;
    return item;
  }
  if (held[kVersionOffset] != kWireVersion) {
    item.kind = FrameKind::kForeign;
    item.bytes = held;
    start_ = end_ = 0;
    return item;
  }
  if (held.size() < kLengthEnd) return item;
  const uint16_t length = ByteReader(held).U16Le(kLengthOffset);
  if (length < kHeaderBytes || length > buffer_.size()) {
    broken_ = true;
    start_ = end_ = 0;
    item.kind = FrameKind::kBadLength;
    item.length = length;
    return item;
  }
  if (held.size() < length) return item;
  item.kind = FrameKind::kMessage;
  item.bytes = held.first(length);
  item.length = length;
  start_ += length;
  return item;
}

}  // namespace kestrelio
