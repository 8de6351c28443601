#include "base/byte_io.h"

namespace kestrelio {

bool ByteWriter::Fits(size_t offset, size_t width) {
  if (offset > out_.size() || width > out_.size() - offset) {
    ok_ = false;
    return false;
  }
  return true;
}

void ByteWriter::U8(size_t offset, uint8_t value) {
  if (Fits(offset, 1)) out_[offset] = value;
}

void ByteWriter::U16Le(size_t offset, uint16_t value) {
  if (!Fits(offset, 2)) return;
  out_[offset] = static_cast<uint8_t>(value);
  out_[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void ByteWriter::U32Le(size_t offset, uint32_t value) {
  if (!Fits(offset, 4)) return;
  for (size_t i = 0; i < 4; ++i) out_[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

void ByteWriter::U64Le(size_t offset, uint64_t value) {
  if (!Fits(offset, 8)) return;
  for (size_t i = 0; i < 8; ++i) out_[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

void ByteWriter::U32Be(size_t offset, uint32_t value) {
  if (!Fits(offset, 4)) return;
  out_[offset] = static_cast<uint8_t>(value >> 24);
  out_[offset + 1] = static_cast<uint8_t>(value >> 16);
  out_[offset + 2] = static_cast<uint8_t>(value >> 8);
  out_[offset + 3] = static_cast<uint8_t>(value);
}

void ByteWriter::Bytes(size_t offset, std::span<const uint8_t> bytes) {
  if (!Fits(offset, bytes.size())) return;
  for (size_t i = 0; i < bytes.size(); ++i) out_[offset + i] = bytes[i];
}

void ByteWriter::Chars(size_t offset, std::string_view text) {
  if (!Fits(offset, text.size())) return;
  for (size_t i = 0; i < text.size(); ++i) out_[offset + i] = static_cast<uint8_t>(text[i]);
}

bool ByteReader::Fits(size_t offset, size_t width) {
  if (offset > in_.size() || width > in_.size() - offset) {
    ok_ = false;
    return false;
  }
  return true;
}

uint8_t ByteReader::U8(size_t offset) { return Fits(offset, 1) ? in_[offset] : 0; }

uint16_t ByteReader::U16Le(size_t offset) {
  if (!Fits(offset, 2)) return 0;
  return static_cast<uint16_t>(in_[offset] | (in_[offset + 1] << 8));
}

uint32_t ByteReader::U32Le(size_t offset) {
  if (!Fits(offset, 4)) return 0;
  uint32_t value = 0;
  for (size_t i = 4; i-- > 0;) value = (value << 8) | in_[offset + i];
  return value;
}

uint64_t ByteReader::U64Le(size_t offset) {
  if (!Fits(offset, 8)) return 0;
  uint64_t value = 0;
  for (size_t i = 8; i-- > 0;) value = (value << 8) | in_[offset + i];
  return value;
}

uint32_t ByteReader::U32Be(size_t offset) {
  if (!Fits(offset, 4)) return 0;
  return (uint32_t{in_[offset]} << 24) | (uint32_t{in_[offset + 1]} << 16) |
         (uint32_t{in_[offset + 2]} << 8) | uint32_t{in_[offset + 3]};
}

}  // namespace kestrelio
