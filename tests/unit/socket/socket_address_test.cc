// The address helpers: dotted text both ways, the strict parse, the host lookup and the
// sockaddr conversions.
#include "net/socket/socket_address.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "base/diag.h"

namespace kestrelio {
namespace {

TEST(DottedAddressTest, WritesEveryPartInDecimalInOrder) {
  EXPECT_EQ(DottedAddress(0x7F000001).view(), "127.0.0.1");
  EXPECT_EQ(DottedAddress(0).view(), "0.0.0.0");
  EXPECT_EQ(DottedAddress(0xFFFFFFFF).view(), "255.255.255.255");
  EXPECT_EQ(DottedAddress(0xC0A80A02).view(), "192.168.10.2");
  EXPECT_STREQ(DottedAddress(0x01020304).c_str(), "1.2.3.4");
}

TEST(ParseDottedAddressTest, TakesFourDecimalPartsUpTo255) {
  EXPECT_EQ(ParseDottedAddress("127.0.0.1"), 0x7F000001u);
  EXPECT_EQ(ParseDottedAddress("0.0.0.0"), 0u);
  EXPECT_EQ(ParseDottedAddress("255.255.255.255"), 0xFFFFFFFFu);
  EXPECT_EQ(ParseDottedAddress("010.001.000.009"), 0x0A010009u);  // three digits, decimal
}

TEST(ParseDottedAddressTest, RefusesEverythingElse) {
  for (const char* text :
       {"", "1", "1.2.3", "1.2.3.4.5", "256.0.0.1", "1.2.3.256", "1..2.3", ".1.2.3", "1.2.3.",
        "1.2.3.4 ", " 1.2.3.4", "1.2.3.-4", "1.2.3.+4", "0001.2.3.4", "a.b.c.d", "1.2.3.4x",
        "localhost", "1,2,3,4", "99999999999.1.1.1"}) {
    EXPECT_FALSE(ParseDottedAddress(text).has_value()) << '"' << text << '"';
  }
  // An embedded NUL is part of the text, not its end.
  EXPECT_FALSE(ParseDottedAddress(std::string_view("1.2.3.4\0", 8)).has_value());
}

TEST(ParseDottedAddressTest, RoundTripsWithTheDottedText) {
  for (uint32_t address : {0x00000000u, 0x7F000001u, 0x0A000001u, 0xC0000201u, 0xFFFFFFFFu,
                           0x80808080u, 0x01FF02FEu}) {
    EXPECT_EQ(ParseDottedAddress(DottedAddress(address).view()), address);
  }
}

TEST(ResolveIpv4Test, TakesADottedAddressAsItIs) {
  EXPECT_EQ(ResolveIpv4("10.1.2.3"), 0x0A010203u);
}

TEST(ResolveIpv4Test, LooksUpTheLocalHostName) { EXPECT_EQ(ResolveIpv4("localhost"), 0x7F000001u); }

TEST(ResolveIpv4Test, AnUnknownNameIsNoAddress) {
  DiagQuietScope quiet;
  EXPECT_FALSE(ResolveIpv4("no-such-host.invalid").has_value());
  EXPECT_FALSE(ResolveIpv4("").has_value());
}

TEST(SocketAddressTest, ConvertsToNetworkByteOrderAndBack) {
  const NetAddress address{0x7F000001, 8200};
  const sockaddr_in socket_address = ToSocketAddress(address);
  EXPECT_EQ(socket_address.sin_family, AF_INET);
  EXPECT_EQ(socket_address.sin_port, htons(8200));
  EXPECT_EQ(socket_address.sin_addr.s_addr, htonl(0x7F000001));
  EXPECT_EQ(FromSocketAddress(socket_address), address);
}

}  // namespace
}  // namespace kestrelio
