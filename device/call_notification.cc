#include "device/call_notification.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

#include "base/diag.h"
#include "device/dbus_link.h"

namespace kestrelio {
namespace {

const char kService[] = "org.freedesktop.Notifications";
const char kPath[] = "/org/freedesktop/Notifications";
const char kInterface[] = "org.freedesktop.Notifications";
const char kAccept[] = "accept";
const char kDecline[] = "decline";

}  // namespace

CallNotification::CallNotification(std::function<void(CallNotificationAnswer)> on_answer,
                                   std::string bus_address)
    : on_answer_(std::move(on_answer)), bus_(ConnectBus(bus_address)) {
  if (!bus_.isConnected()) return;
  // Naming the service makes the bus deliver only the signals its owner sends: no other
  // client on the bus can answer a call by faking ActionInvoked.
  bus_.connect(kService, kPath, kInterface, "ActionInvoked", this,
               SLOT(OnActionInvoked(uint, QString)));
  bus_.connect(kService, kPath, kInterface, "NotificationClosed", this,
               SLOT(OnNotificationClosed(uint, uint)));
}

CallNotification::~CallNotification() { Close(); }

void CallNotification::Show(const QString& summary, const QString& body) {
  if (!bus_.isConnected()) {
    if (!reported_no_bus_) Diag("incoming-call notification skipped: no session bus");
    reported_no_bus_ = true;
    return;
  }
  wanted_ = true;
  const int generation = ++generation_;
  QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kInterface, "Notify");
  QVariantMap hints;
  hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("kestrelio"));
  hints.insert(QStringLiteral("urgency"), QVariant::fromValue(static_cast<uchar>(2)));
  hints.insert(QStringLiteral("resident"), true);
  message.setArguments(
      {QStringLiteral("Kestrelio"), QVariant::fromValue(id_), QStringLiteral("call-start"), summary,
       body, QStringList{kAccept, QStringLiteral("Accept"), kDecline, QStringLiteral("Decline")},
       hints, QVariant::fromValue(static_cast<int32_t>(0))});
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message, kDbusCallTimeoutMs), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, generation](QDBusPendingCallWatcher* call) {
            call->deleteLater();
            QDBusPendingReply<uint> reply = *call;
            if (reply.isError()) {
              Diag("incoming-call notification failed: %s",
                   reply.error().message().toUtf8().constData());
              return;
            }
            const uint32_t id = reply.value();
            if (generation == generation_ && wanted_) {
              id_ = id;
            } else {
              SendClose(id);  // the prompt ended while the service was answering
            }
          });
}

void CallNotification::Close() {
  ++generation_;
  wanted_ = false;
  if (id_ != 0) SendClose(id_);
  id_ = 0;
}

void CallNotification::SendClose(uint32_t id) {
  if (!bus_.isConnected() || id == 0) return;
  QDBusMessage message =
      QDBusMessage::createMethodCall(kService, kPath, kInterface, "CloseNotification");
  message.setArguments({QVariant::fromValue(id)});
  bus_.send(message);  // no reply awaited
}

void CallNotification::OnActionInvoked(uint id, const QString& action_key) {
  if (id == 0 || id != id_ || !on_answer_) return;
  if (action_key == QLatin1String(kAccept)) {
    on_answer_(CallNotificationAnswer::kAccept);
  } else if (action_key == QLatin1String(kDecline)) {
    on_answer_(CallNotificationAnswer::kDecline);
  }
}

void CallNotification::OnNotificationClosed(uint id, uint /*reason*/) {
  // Dismissed on the desktop: the prompt in the window stays and still takes an answer.
  if (id != 0 && id == id_) id_ = 0;
}

}  // namespace kestrelio
