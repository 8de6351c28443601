#include "device/device_id.h"

#include <gtest/gtest.h>

#include "tests/support/scratch_dir.h"

namespace kestrelio {
namespace {

TEST(DeviceIdTest, TextIsUpperCaseHexOfTheFirstTenBytes) {
  std::array<uint8_t, kDeviceIdBytes> raw{};
  raw[0] = 0x0A;
  raw[1] = 0xFF;
  raw[9] = 0xC3;
  for (size_t i = 10; i < raw.size(); ++i) raw[i] = 0xEE;
  EXPECT_EQ(FormatDeviceIdText(raw), "0AFF00000000000000C3");
  raw.fill(0);
  EXPECT_EQ(FormatDeviceIdText(raw), "00000000000000000000");
}

TEST(DeviceIdTest, StableForOneMachineDifferentForAnother) {
  ScratchDir dir;
  std::string first = dir.Write("machine-id", "3d1219c7c4c5404aaa1f6d2a48adfda4\n");
  std::string second = dir.Write("other-id", "0123456789abcdef0123456789abcdef\n");
  DeviceId a, b, c;
  ASSERT_EQ(ReadDeviceId(a, first), 0);
  ASSERT_EQ(ReadDeviceId(b, first), 0);
  ASSERT_EQ(ReadDeviceId(c, second), 0);
  EXPECT_EQ(a.raw, b.raw);
  EXPECT_NE(a.raw, c.raw);
  EXPECT_EQ(a.text.size(), kDeviceIdTextLength);
  EXPECT_EQ(a.text, FormatDeviceIdText(a.raw));
  EXPECT_EQ(a.text.find_first_not_of("0123456789ABCDEF"), std::string::npos);
}

TEST(DeviceIdTest, MissingOrEmptyMachineIdFailsWithAnEmptyId) {
  ScratchDir dir;
  DeviceId id;
  EXPECT_EQ(ReadDeviceId(id, dir.File("absent")), kDeviceIdUnreadable);
  EXPECT_TRUE(id.text.empty());
  EXPECT_EQ(ReadDeviceId(id, dir.Write("empty", "\n")), kDeviceIdEmpty);
  EXPECT_TRUE(id.text.empty());
  EXPECT_LT(ReadDeviceId(id, dir.Write("huge", std::string(1000, 'a'))), 0);
  EXPECT_LT(ReadDeviceId(id, dir.path()), 0);  // a folder
}

}  // namespace
}  // namespace kestrelio
