// Cuts the byte stream of a TCP control session into messages by the length field of
// each header. A receive may hold part of a message, one message, or several: the bytes
// gather in one fixed buffer (the largest message fits), whole messages are handed out
// as they complete, and the rest waits for the next receive. Nothing is allocated.
//
//   SessionFramer framer(buffer);          // kMaxMessageBytes
//   n = recv(fd, framer.FreeSpace()...);   framer.Commit(n);
//   while ((item = framer.Next()).kind != FrameKind::kNeedMore) ... item.bytes ...
//
// A first byte that is not the wire version starts no message of ours: the bytes held
// are handed out as kForeign (the intake writes its diagnostic for them) and dropped. A
// length field below the header size or above the buffer cannot be framed: kBadLength,
// after which the session is not to be read further.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kestrelio {

enum class FrameKind { kNeedMore, kMessage, kForeign, kBadLength };

struct FrameItem {
  FrameKind kind = FrameKind::kNeedMore;
  // kMessage: the whole message; kForeign: the bytes dropped. Valid until the next
  // FreeSpace, Commit or Next.
  std::span<const uint8_t> bytes;
  uint16_t length = 0;  // kBadLength: the length field read
};

class SessionFramer {
 public:
  explicit SessionFramer(std::span<uint8_t> buffer) : buffer_(buffer) {}

  // Where the next receive writes; empty only after kBadLength (nothing is framed then).
  std::span<uint8_t> FreeSpace();
  // `count` bytes were written at the start of FreeSpace().
  void Commit(size_t count);
  // The next whole message, the foreign bytes dropped, a bad length, or kNeedMore.
  FrameItem Next();

  size_t buffered() const { return end_ - start_; }

 private:
  void Compact();

  std::span<uint8_t> buffer_;
  size_t start_ = 0;  // first byte not yet handed out
  size_t end_ = 0;    // one past the last byte received
  bool broken_ = false;
};

}  // namespace kestrelio
