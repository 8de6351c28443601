#include "device/identity.h"

#include <cstdio>
#include <ctime>

#include "base/diag.h"
#include "device/settings_store.h"
#include "base/window/window.h"

namespace kestrelio {

UtcTime CurrentUtcTime() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm utc{};
  gmtime_r(&now.tv_sec, &utc);
  return UtcTime{utc.tm_year + 1900,
                 utc.tm_mon + 1,
                 utc.tm_mday,
                 utc.tm_hour,
                 utc.tm_min,
                 utc.tm_sec,
                 static_cast<int>(now.tv_nsec / 1000000)};
}

int FirstRandAfterSeed(uint32_t seed) {
  uint32_t state = seed * 214013u + 2531011u;
  return static_cast<int>((state >> 16) & 0x7FFFu);
}

std::string GeneratePhoneNumber(const UtcTime& now) {
  uint32_t seed = static_cast<uint32_t>(now.year + now.month + now.day + now.hour + now.minute +
                                        now.second + now.millisecond);
  char number[16];
  std::snprintf(number, sizeof number, "1206333%04d", FirstRandAfterSeed(seed) % 10000);
  return number;
}

std::string TruncateUtf8(std::string_view text, size_t max_bytes) {
  if (text.size() <= max_bytes) return std::string(text);
  size_t cut = max_bytes;
  // Step back over continuation bytes so the cut lands before a sequence's first byte.
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return std::string(text.substr(0, cut));
}

Identity ReadIdentity(SettingsStore& settings, TelephonyLine& line, Window& window,
                      const UtcClock& clock) {
  Identity identity;
  std::string buffer = TruncateUtf8(line.OwnNumber(), kMaxPhoneNumberLength + 1);
  identity.phone_number = TruncateUtf8(buffer, kMaxPhoneNumberLength);

  if (!settings.Accessible() || !settings.CreateKey(kKestrelioKey)) {
    window.ShowMessageBox("Acessing the registry is error.", "REGISTRY", MessageBoxButtons::kOk);
  } else {
    if (buffer.empty()) {
      buffer = TruncateUtf8(settings.GetString(kKestrelioKey, kPhoneNumberName).value_or(""),
                            kMaxStoredValueLength);
    }
    if (buffer.empty()) {
      buffer = GeneratePhoneNumber(clock());
      Diag("no phone number known; made up %s", buffer.c_str());
    }
    identity.phone_number = TruncateUtf8(buffer, kMaxPhoneNumberLength);
    settings.SetString(kKestrelioKey, kPhoneNumberName, identity.phone_number);
    buffer = TruncateUtf8(settings.GetString(kKestrelioKey, kUserNameName).value_or(""),
                          kMaxStoredValueLength);
  }

  // A comma would split the comma-separated study records the name ends up in.
  std::string name;
  for (char c : buffer) {
    if (c != ',') name += c;
  }
  if (name.size() != buffer.size()) Diag("stored user name contained ','; removed");
  identity.user_name =
      name.empty() ? std::string(kDefaultUserName) : TruncateUtf8(name, kMaxUserNameLength);
  return identity;
}

bool WriteUserName(SettingsStore& settings, std::string_view user_name) {
  return settings.SetString(kKestrelioKey, kUserNameName,
                            TruncateUtf8(user_name, kMaxUserNameLength));
}

}  // namespace kestrelio
