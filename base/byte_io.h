// Bounded byte access by offset, the way the message, file and driver record tables are
// written: little-endian and big-endian integers and text slots.
//
// Writer and reader keep a sticky error flag: every access outside the buffer is refused
// (a write does nothing, a read yields zero) and sets the flag, so a builder or parser
// can fill or read every field and check once at the end. No struct is ever laid over
// a buffer; integers are assembled byte by byte in a fixed byte order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "base/fixed_text.h"

namespace kestrelio {

class ByteWriter {
 public:
  explicit ByteWriter(std::span<uint8_t> out) : out_(out) {}

  void U8(size_t offset, uint8_t value);
  void U16Le(size_t offset, uint16_t value);
  void U32Le(size_t offset, uint32_t value);
  void U64Le(size_t offset, uint64_t value);
  void U32Be(size_t offset, uint32_t value);
  void Bytes(size_t offset, std::span<const uint8_t> bytes);
  // The text's characters without any NUL; the caller has zeroed the slot.
  void Chars(size_t offset, std::string_view text);
  // A whole slot of N bytes: text, then zeros to the end of the slot.
  template <size_t N>
  void Text(size_t offset, const FixedText<N>& text) {
    if (!Fits(offset, N)) return;
    for (size_t i = 0; i < N; ++i) out_[offset + i] = static_cast<uint8_t>(text.bytes()[i]);
  }

  bool ok() const { return ok_; }

 private:
  bool Fits(size_t offset, size_t width);

  std::span<uint8_t> out_;
  bool ok_ = true;
};

class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> in) : in_(in) {}

  uint8_t U8(size_t offset);
  uint16_t U16Le(size_t offset);
  uint32_t U32Le(size_t offset);
  uint64_t U64Le(size_t offset);
  uint32_t U32Be(size_t offset);
  // A text slot of N bytes; the flag is set when no NUL lies inside the slot.
  template <size_t N>
  FixedText<N> Text(size_t offset) {
    if (!Fits(offset, N)) return {};
    auto slot = in_.subspan(offset, N);
    size_t len = 0;
    while (len < N && slot[len] != 0) ++len;
    if (len == N) {
      ok_ = false;
      return {};
    }
    return FixedText<N>(std::string_view(reinterpret_cast<const char*>(slot.data()), len));
  }

  size_t size() const { return in_.size(); }
  bool ok() const { return ok_; }

 private:
  bool Fits(size_t offset, size_t width);

  std::span<const uint8_t> in_;
  bool ok_ = true;
};

}  // namespace kestrelio
