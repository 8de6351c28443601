// The handset's unique device ID: SHA-1 over the machine's ID (/etc/machine-id) and a
// fixed application value, so the ID is stable for this program on this machine but
// tells nothing about the machine ID itself. Study records start with its text form.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace kestrelio {

inline constexpr size_t kDeviceIdBytes = 20;
inline constexpr size_t kDeviceIdTextLength = 20;
inline constexpr const char* kMachineIdPath = "/etc/machine-id";

inline constexpr int kDeviceIdUnreadable = -1;  // the machine ID file cannot be read
inline constexpr int kDeviceIdEmpty = -2;       // it holds no ID

struct DeviceId {
  std::array<uint8_t, kDeviceIdBytes> raw{};
  std::string text;  // 20 upper-case hexadecimal characters; empty until read
};

// Upper-case hexadecimal of the first 10 bytes: always 20 characters.
std::string FormatDeviceIdText(std::span<const uint8_t, kDeviceIdBytes> raw);

// Fills `id` from the machine ID file. Returns 0, or a negative code with `id` left
// empty (the caller tells the user "Unable to retrieve Unique Device ID").
int ReadDeviceId(DeviceId& id, const std::string& machine_id_path = kMachineIdPath);

}  // namespace kestrelio
