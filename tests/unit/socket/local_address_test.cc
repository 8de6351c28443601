#include "net/socket/local_address.h"

#include <gtest/gtest.h>

#include <vector>

namespace kestrelio {
namespace {

constexpr char kHeader[] =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

constexpr uint32_t Ip(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  return a << 24 | b << 16 | c << 8 | d;
}

TEST(DefaultRouteInterfaceTest, FindsTheDefaultRouteWithTheLowestMetric) {
  std::string table = kHeader;
  table += "eth0\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n";  // a subnet
  table += "wlan0\t00000000\t010200C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n";
  table += "eth0\t00000000\t010200C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n";
  EXPECT_EQ(DefaultRouteInterface(table), "eth0");
}

TEST(DefaultRouteInterfaceTest, IgnoresRoutesThatAreDownSubnetsOrGarbage) {
  std::string table = kHeader;
  table += "eth0\t00000000\t010200C0\t0002\t0\t0\t0\t00000000\t0\t0\t0\n";  // not up
  table += "eth1\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n";  // subnet
  table += "eth2\tzzzzzzzz\t010200C0\t0003\t0\t0\t0\t00000000\n";           // garbage
  table += "short line\n";
  EXPECT_EQ(DefaultRouteInterface(table), std::nullopt);
  EXPECT_EQ(DefaultRouteInterface(""), std::nullopt);
  // The first line is the header, even when it looks like a route.
  EXPECT_EQ(DefaultRouteInterface("eth0\t00000000\t0\t0003\t0\t0\t0\t00000000\n"), std::nullopt);
}

TEST(ChooseLocalAddressTest, PrefersTheDefaultRouteInterface) {
  std::vector<InterfaceAddress> interfaces = {
      {"lo", Ip(127, 0, 0, 1), true, true},
      {"docker0", Ip(172, 17, 0, 1), true, false},
      {"eth0", Ip(192, 0, 2, 2), true, false},
  };
  EXPECT_EQ(ChooseLocalAddress(std::string("eth0"), interfaces), Ip(192, 0, 2, 2));
}

TEST(ChooseLocalAddressTest, FallsBackToTheFirstNonLoopbackInterfaceThatIsUp) {
  std::vector<InterfaceAddress> interfaces = {
      {"lo", Ip(127, 0, 0, 1), true, true},
      {"lo:1", Ip(127, 0, 1, 1), true, false},      // a loopback address on an odd interface
      {"eth1", Ip(198, 51, 100, 7), false, false},  // down
      {"eth0", Ip(192, 0, 2, 2), true, false},
  };
  // No default route, or one through an interface without an IPv4 address.
  EXPECT_EQ(ChooseLocalAddress(std::nullopt, interfaces), Ip(192, 0, 2, 2));
  EXPECT_EQ(ChooseLocalAddress(std::string("ppp0"), interfaces), Ip(192, 0, 2, 2));
}

TEST(ChooseLocalAddressTest, NoNetworkGivesLoopback) {
  std::vector<InterfaceAddress> only_loopback = {{"lo", Ip(127, 0, 0, 1), true, true}};
  EXPECT_EQ(ChooseLocalAddress(std::nullopt, only_loopback), kLoopbackIpv4);
  EXPECT_EQ(ChooseLocalAddress(std::nullopt, {}), kLoopbackIpv4);
}

TEST(FindOwnLocalAddressTest, AMissingRouteTableStillChoosesFromTheInterfaces) {
  // Whatever this machine has, the rule never answers 0 or the host name's 127.0.1.1.
  const uint32_t address = FindOwnLocalAddress("/nonexistent/route");
  EXPECT_NE(address, 0u);
  EXPECT_NE(address, Ip(127, 0, 1, 1));
}

}  // namespace
}  // namespace kestrelio
