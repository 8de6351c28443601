#include "device/dbus_link.h"

namespace kestrelio {

QDBusConnection ConnectBus(const std::string& bus_address) {
  if (bus_address.empty()) return QDBusConnection::sessionBus();
  QString address = QString::fromStdString(bus_address);
  return QDBusConnection::connectToBus(address, QStringLiteral("kestrelio-") + address);
}

}  // namespace kestrelio
