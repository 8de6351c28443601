// The D-Bus connection the desktop services use: the session bus, or a bus at an
// explicit address (tests run a private bus). Internal to device/.
#pragma once

#include <QDBusConnection>
#include <QString>
#include <string>

namespace kestrelio {

// "" means the session bus. Each distinct address gets its own named connection.
QDBusConnection ConnectBus(const std::string& bus_address);

// A reply longer in coming than this is treated as no reply.
inline constexpr int kDbusCallTimeoutMs = 1000;

}  // namespace kestrelio
