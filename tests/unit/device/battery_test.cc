#include "device/battery.h"

#include <gtest/gtest.h>

#include "tests/support/scratch_dir.h"

namespace kestrelio {
namespace {

void Supply(const ScratchDir& root, const std::string& name,
            std::initializer_list<std::pair<const char*, const char*>> attributes) {
  for (auto [attribute, value] : attributes) {
    root.Write(name + "/" + attribute, std::string(value) + "\n");
  }
}

TEST(BatteryTest, DesktopWithoutBatteryReadsFullAndPlugged) {
  ScratchDir root;
  auto status = ReadPowerStatus(root.path());
  ASSERT_TRUE(status);
  EXPECT_EQ(status->battery_percent, 100);
  EXPECT_EQ(status->ac_line_status, kAcLineOnline);
  EXPECT_TRUE(ReadPowerStatus(root.File("no-such-folder")));

  // A wireless mouse's battery is not the machine's.
  Supply(root, "hidpp_battery_0", {{"type", "Battery"}, {"scope", "Device"}, {"capacity", "5"}});
  EXPECT_EQ(ReadPowerStatus(root.path())->battery_percent, 100);
}

TEST(BatteryTest, LaptopReadsChargeAndMainsState) {
  ScratchDir root;
  Supply(root, "BAT0", {{"type", "Battery"}, {"capacity", "57"}, {"status", "Discharging"}});
  Supply(root, "AC", {{"type", "Mains"}, {"online", "0"}});
  auto status = ReadPowerStatus(root.path());
  ASSERT_TRUE(status);
  EXPECT_EQ(status->battery_percent, 57);
  EXPECT_EQ(status->ac_line_status, kAcLineOffline);

  Supply(root, "AC", {{"online", "1"}});
  Supply(root, "BAT1", {{"type", "Battery"}, {"energy_now", "30000"}, {"energy_full", "40000"}});
  status = ReadPowerStatus(root.path());
  EXPECT_EQ(status->battery_percent, (57 + 75) / 2);
  EXPECT_EQ(status->ac_line_status, kAcLineOnline);
}

TEST(BatteryTest, UnreadableChargeFailsAndTheGaugeKeepsItsLastValue) {
  ScratchDir root;
  Supply(root, "BAT0", {{"type", "Battery"}, {"capacity", "garbage"}});
  EXPECT_FALSE(ReadPowerStatus(root.path()));

  BatteryGauge gauge(root.path());
  EXPECT_EQ(gauge.Refresh(), 0);  // nothing read yet
  Supply(root, "BAT0", {{"capacity", "80"}});
  EXPECT_EQ(gauge.Refresh(), 80);
  Supply(root, "BAT0", {{"capacity", ""}});
  EXPECT_EQ(gauge.Refresh(), 80);
  EXPECT_EQ(gauge.percent(), 80);
}

}  // namespace
}  // namespace kestrelio
