// The framing of a TCP control session's byte stream. The input is cut into receives:
// each is [size byte][that many bytes x 1, or x 128 when the top bit is set], written
// where the framer says and framed. Every message handed out must be whole (its length
// field equals its size, within the largest message); nothing may read or write outside
// the buffer; after a bad length nothing more is framed.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>

#include "net/transport/session_framer.h"
#include "net/wire/header.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::unique_ptr<uint8_t[]> storage(new uint8_t[kestrelio::kMaxMessageBytes]);
  kestrelio::SessionFramer framer(std::span<uint8_t>(storage.get(), kestrelio::kMaxMessageBytes));
  std::span<const uint8_t> input(data, size);
  bool broken = false;
  while (!input.empty()) {
    const uint8_t selector = input[0];
    input = input.subspan(1);
    size_t length = (selector & 0x80) != 0 ? static_cast<size_t>(selector & 0x7F) * 128 : selector;
    const std::span<uint8_t> space = framer.FreeSpace();
    if (broken && !space.empty()) __builtin_trap();
    if (length > input.size()) length = input.size();
    if (length > space.size()) length = space.size();
    if (length != 0) std::memcpy(space.data(), input.data(), length);
    input = input.subspan(length);
    framer.Commit(length);
    for (kestrelio::FrameItem item = framer.Next(); item.kind != kestrelio::FrameKind::kNeedMore;
         item = framer.Next()) {
      if (item.kind == kestrelio::FrameKind::kBadLength) {
        broken = true;
        break;
      }
      if (item.kind == kestrelio::FrameKind::kMessage) {
        const size_t declared = item.bytes[2] | (static_cast<size_t>(item.bytes[3]) << 8);
        if (declared != item.bytes.size() || declared < kestrelio::kHeaderBytes ||
            declared > kestrelio::kMaxMessageBytes || item.bytes[0] != kestrelio::kWireVersion) {
          __builtin_trap();
        }
      }
    }
    if (framer.buffered() > kestrelio::kMaxMessageBytes) __builtin_trap();
  }
  return 0;
}
