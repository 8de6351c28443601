#include "device/gps.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>

namespace kestrelio {
namespace {

// A one-connection stand-in for gpsd on a loopback port.
class FakeGpsd {
 public:
  explicit FakeGpsd(std::string reports) : reports_(std::move(reports)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 1);
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] {
      int client = ::accept(listener_, nullptr, nullptr);
      if (client < 0) return;
      std::string all =
          "{\"class\":\"VERSION\",\"release\":\"3.22\",\"rev\":\"3.22\",\"proto_major\":3,"
          "\"proto_minor\":14}\n" +
          reports_;
      ssize_t ignored = ::write(client, all.data(), all.size());
      (void)ignored;
      char buffer[512];
      while (::read(client, buffer, sizeof buffer) > 0) {
      }
      ::close(client);
    });
  }
  ~FakeGpsd() {
    ::shutdown(listener_, SHUT_RDWR);
    thread_.join();
    ::close(listener_);
  }
  std::string port() const { return std::to_string(port_); }

 private:
  std::string reports_;
  int listener_ = -1;
  uint16_t port_ = 0;
  std::thread thread_;
};

// A port with nobody listening: bind one and close it.
std::string ClosedPort() {
  int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(s);
  return std::to_string(ntohs(address.sin_port));
}

TEST(GpsTest, NoGpsdMeansOpenFailedAndTheRecordIsUntouched) {
  GpsPosition position;
  position.latitude = 12.5;
  GpsOutcome outcome = GetPositionFix(position, {"127.0.0.1", ClosedPort(), 200, 3000});
  EXPECT_EQ(outcome.status, GpsStatus::kOpenFailed);
  EXPECT_NE(outcome.error, 0);
  EXPECT_FALSE(position.has_fix);
  EXPECT_EQ(position.latitude, 12.5);
}

TEST(GpsTest, FixFromGpsdIsTakenWithSpeedInKnots) {
  FakeGpsd gpsd(
      "{\"class\":\"TPV\",\"device\":\"/dev/ttyUSB0\",\"mode\":3,"
      "\"lat\":47.6062,\"lon\":-122.3321,\"speed\":5.14444}\n");
  GpsPosition position;
  GpsOutcome outcome = GetPositionFix(position, {"127.0.0.1", gpsd.port(), 5000, 3000});
  ASSERT_EQ(outcome.status, GpsStatus::kOk);
  EXPECT_TRUE(position.has_fix);
  EXPECT_DOUBLE_EQ(position.latitude, 47.6062);
  EXPECT_DOUBLE_EQ(position.longitude, -122.3321);
  EXPECT_NEAR(position.speed_knots, 10.0, 1e-3);
}

TEST(GpsTest, GpsdWithoutAFixGivesNoFix) {
  FakeGpsd gpsd("{\"class\":\"TPV\",\"device\":\"/dev/ttyUSB0\",\"mode\":1}\n");
  GpsPosition position;
  GpsOutcome outcome = GetPositionFix(position, {"127.0.0.1", gpsd.port(), 300, 3000});
  EXPECT_EQ(outcome.status, GpsStatus::kNoFix);
  EXPECT_FALSE(position.has_fix);
}

}  // namespace
}  // namespace kestrelio
