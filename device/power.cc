#include "device/power.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDBusMessage>
#include <QVariant>
#include <cerrno>
#include <cstring>

#include "base/diag.h"
#include "device/dbus_link.h"

namespace kestrelio {
namespace {

const char kService[] = "org.freedesktop.ScreenSaver";
const char kPath[] = "/org/freedesktop/ScreenSaver";
const char kInterface[] = "org.freedesktop.ScreenSaver";

}  // namespace

struct PowerLayer::Impl {
  std::string bus_address;
  mutable std::mutex mutex;
  bool held = false;
  uint32_t cookie = 0;
  bool inhibit_failed_once = false;

  QDBusMessage Call(const char* method, const QList<QVariant>& arguments) {
    QDBusConnection bus = ConnectBus(bus_address);
    if (!bus.isConnected()) return QDBusMessage();
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    message.setArguments(arguments);
    return bus.call(message, QDBus::Block, kDbusCallTimeoutMs);
  }
};

PowerLayer::PowerLayer(std::string bus_address) : impl_(std::make_unique<Impl>()) {
  impl_->bus_address = std::move(bus_address);
}

PowerLayer::~PowerLayer() { BacklightOff(); }

bool PowerLayer::SetUnattendedMode(bool /*on*/) { return true; }
bool PowerLayer::RequireWlan() { return true; }
void PowerLayer::ReleaseWlan() {}

void PowerLayer::BacklightOn() {
  std::lock_guard lock(impl_->mutex);
  if (impl_->held) return;
  QDBusMessage reply =
      impl_->Call("Inhibit", {QStringLiteral("kestrelio"), QStringLiteral("Video call")});
  if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
    impl_->cookie = reply.arguments().first().toUInt();
    impl_->held = true;
    return;
  }
  // No screen saver on this desktop (or no bus): nothing to keep awake. Said once.
  if (!impl_->inhibit_failed_once) {
    impl_->inhibit_failed_once = true;
    Diag("screen saver inhibit unavailable: %s", reply.type() == QDBusMessage::ErrorMessage
                                                     ? reply.errorMessage().toUtf8().constData()
                                                     : "no session bus");
  }
}

void PowerLayer::BacklightOff() {
  std::lock_guard lock(impl_->mutex);
  if (!impl_->held) return;
  impl_->held = false;
  impl_->Call("UnInhibit", {QVariant::fromValue(impl_->cookie)});
}

bool PowerLayer::backlight_held() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->held;
}

void PowerLayer::ResetIdleTimer() {
  QDBusConnection bus = ConnectBus(impl_->bus_address);
  if (!bus.isConnected()) return;
  bus.send(QDBusMessage::createMethodCall(kService, kPath, kInterface, "SimulateUserActivity"));
}

int DataConnection::Establish(const NetAddress& destination) {
  established_ = false;
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  if (fd < 0) return errno;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(destination.ipv4);
  address.sin_port = htons(destination.port);
  int error = 0;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    error = errno;
    char dotted[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &address.sin_addr, dotted, sizeof dotted);
    Diag("data connection to %s:%u failed: %s", dotted, destination.port, std::strerror(error));
  }
  close(fd);
  established_ = error == 0;
  return error;
}

}  // namespace kestrelio
