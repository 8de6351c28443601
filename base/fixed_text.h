// A NUL-terminated 8-bit text in a fixed slot of N bytes, as the messages and records carry them.
// Holds at most N - 1 characters; everything after the text is zero, so a slot can be
// copied to the wire byte for byte and two slots compare by value.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

namespace kestrelio {

template <size_t N>
class FixedText {
 public:
  static constexpr size_t kSlotBytes = N;
  static constexpr size_t kMaxChars = N - 1;

  FixedText() = default;
  // Implicit on purpose so fields can be filled from literals; longer text is cut.
  FixedText(std::string_view text) { Assign(text); }  // NOLINT(google-explicit-constructor)
  FixedText(const char* text) { Assign(text); }       // NOLINT(google-explicit-constructor)

  void Assign(std::string_view text) {
    bytes_.fill(0);
    // Stops at an embedded NUL too: the wire cannot carry more than the first part.
    size_t n = std::min({text.size(), kMaxChars, text.find('\0')});
    std::copy_n(text.data(), n, bytes_.data());
  }

  std::string_view view() const { return std::string_view(bytes_.data()); }
  const char* c_str() const { return bytes_.data(); }
  bool empty() const { return bytes_[0] == '\0'; }
  const std::array<char, N>& bytes() const { return bytes_; }

  bool operator==(const FixedText&) const = default;

 private:
  std::array<char, N> bytes_{};
};

}  // namespace kestrelio
