#include <gtest/gtest.h>

#include <cerrno>

#include "device/power.h"

namespace kestrelio {
namespace {

TEST(DataConnection, AReachableServerEstablishesItAndAnUnreachableOneGivesTheErrno) {
  DataConnection connection;
  EXPECT_EQ(connection.Establish(NetAddress{0x7F000001, 8238}), 0);
  EXPECT_TRUE(connection.established());
  connection.Release();
  EXPECT_FALSE(connection.established());

  // The broadcast address is refused to a socket not allowed to broadcast: a failure
  // every machine gives, with its own code rather than a fixed one.
  EXPECT_EQ(connection.Establish(NetAddress{0xFFFFFFFF, 8238}), EACCES);
  EXPECT_FALSE(connection.established());
}

}  // namespace
}  // namespace kestrelio
