#include "device/device_id.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/diag.h"

namespace kestrelio {
namespace {

// The program's own application data: fixed, so the ID is the same on every run.
constexpr uint8_t kApplicationData[16] = {0x4B, 0x65, 0x73, 0x74, 0x72, 0x65, 0x6C, 0x69,
                                          0x6F, 0x1A, 0x05, 0x9C, 0x3E, 0xD2, 0x71, 0x08};

// machine-id holds 32 hexadecimal characters and a newline; anything longer is not one.
constexpr size_t kMaxMachineIdBytes = 256;

}  // namespace

std::string FormatDeviceIdText(std::span<const uint8_t, kDeviceIdBytes> raw) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(kDeviceIdTextLength);
  for (size_t i = 0; i < kDeviceIdTextLength / 2; ++i) {
    text += kHex[raw[i] >> 4];
    text += kHex[raw[i] & 0x0F];
  }
  return text;
}

int ReadDeviceId(DeviceId& id, const std::string& machine_id_path) {
  id = DeviceId{};
  std::FILE* file = std::fopen(machine_id_path.c_str(), "rb");
  if (file == nullptr) {
    Diag("cannot read machine ID %s: %s", machine_id_path.c_str(), std::strerror(errno));
    return kDeviceIdUnreadable;
  }
  char buffer[kMaxMachineIdBytes + 1];
  size_t length = std::fread(buffer, 1, sizeof buffer, file);
  bool read_error = std::ferror(file) != 0;
  std::fclose(file);
  if (read_error) {
    Diag("cannot read machine ID %s", machine_id_path.c_str());
    return kDeviceIdUnreadable;
  }
  if (length > kMaxMachineIdBytes) {
    Diag("machine ID %s is too long", machine_id_path.c_str());
    return kDeviceIdEmpty;
  }
  while (length > 0 && (buffer[length - 1] == '\n' || buffer[length - 1] == '\r' ||
                        buffer[length - 1] == ' ' || buffer[length - 1] == '\t')) {
    --length;
  }
  if (length == 0) {
    Diag("machine ID %s is empty", machine_id_path.c_str());
    return kDeviceIdEmpty;
  }
  QCryptographicHash hash(QCryptographicHash::Sha1);
  hash.addData(QByteArrayView(buffer, static_cast<qsizetype>(length)));
  hash.addData(QByteArrayView(reinterpret_cast<const char*>(kApplicationData),
                              static_cast<qsizetype>(sizeof kApplicationData)));
  QByteArray digest = hash.result();
  if (static_cast<size_t>(digest.size()) != kDeviceIdBytes) return kDeviceIdUnreadable;
  for (size_t i = 0; i < kDeviceIdBytes; ++i) {
    id.raw[i] = static_cast<uint8_t>(digest[static_cast<qsizetype>(i)]);
  }
  id.text = FormatDeviceIdText(id.raw);
  return 0;
}

}  // namespace kestrelio
