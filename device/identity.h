// The handset's identity: its own phone number and user name.
//
// A desktop has no telephony line, so the number comes from the settings store, or is
// made up once ("1206333" and four pseudo-random digits) and stored for later runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kestrelio {

class SettingsStore;
class Window;

inline constexpr size_t kMaxPhoneNumberLength = 15;
inline constexpr size_t kMaxUserNameLength = 31;
// Stored values are read through a buffer of this many characters.
inline constexpr size_t kMaxStoredValueLength = 31;
inline constexpr std::string_view kDefaultUserName = "Kestrelio";
inline constexpr std::string_view kPhoneNumberName = "PhoneNumber";
inline constexpr std::string_view kUserNameName = "UserName";

struct Identity {
  std::string phone_number;  // at most 15 characters
  std::string user_name;     // at most 31 bytes, never empty
};

// The handset's own number as the telephony line reports it ("" when it has none).
class TelephonyLine {
 public:
  virtual ~TelephonyLine() = default;
  virtual std::string OwnNumber() = 0;
};

// A desktop has no cellular line.
class NoTelephonyLine final : public TelephonyLine {
 public:
  std::string OwnNumber() override { return {}; }
};

// Calendar time in UTC, as the number generator sums it.
struct UtcTime {
  int year = 0;
  int month = 0;  // 1-12
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};
using UtcClock = std::function<UtcTime()>;
UtcTime CurrentUtcTime();

// The first value of the C runtime's pseudo-random generator after srand(seed), in
// the handset runtime's formulation (seed * 214013 + 2531011, bits 16-30), so that the
// same clock reading gives the same number on every platform.
int FirstRandAfterSeed(uint32_t seed);

// "1206333%04d" with the first pseudo-random value (modulo 10000) after seeding with the
// sum of the date and time fields.
std::string GeneratePhoneNumber(const UtcTime& now);

// Establishes the own phone number and user name, storing the number. When the store
// cannot be opened the user sees "Acessing the registry is error." (caption
// "REGISTRY") on `window`, nothing is read or written, and the user name falls back to
// the telephony number or "Kestrelio".
Identity ReadIdentity(SettingsStore& settings, TelephonyLine& line, Window& window,
                      const UtcClock& clock = CurrentUtcTime);

// Stores the user name (cut to 31 bytes). False when it could not be written.
bool WriteUserName(SettingsStore& settings, std::string_view user_name);

// `text` cut to at most `max_bytes`, never inside a UTF-8 sequence.
std::string TruncateUtf8(std::string_view text, size_t max_bytes);

}  // namespace kestrelio
