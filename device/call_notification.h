// The incoming-call notification on the desktop (org.freedesktop.Notifications over
// D-Bus) with "Accept" and "Decline" buttons. Calls are asynchronous: the GUI thread
// that owns this object never waits for the notification service. Without a session
// bus nothing is shown and one diagnostic line says so.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>

namespace kestrelio {

enum class CallNotificationAnswer { kAccept, kDecline };

class CallNotification : public QObject {
  Q_OBJECT

 public:
  // `bus_address` "" uses the session bus. `on_answer` runs on this object's thread when
  // the user presses one of the notification's buttons.
  explicit CallNotification(std::function<void(CallNotificationAnswer)> on_answer,
                            std::string bus_address = {});
  ~CallNotification() override;

  // Shows the notification, replacing one this object shows already.
  void Show(const QString& summary, const QString& body);
  // Takes the notification off the desktop; harmless when none shows.
  void Close();

  bool bus_connected() const { return bus_.isConnected(); }
  // The service's id for the notification on show, 0 when none (tests).
  uint32_t shown_id() const { return id_; }

 private Q_SLOTS:
  void OnActionInvoked(uint id, const QString& action_key);
  void OnNotificationClosed(uint id, uint reason);

 private:
  void SendClose(uint32_t id);

  std::function<void(CallNotificationAnswer)> on_answer_;
  QDBusConnection bus_;
  bool wanted_ = false;  // a Show not yet followed by Close
  int generation_ = 0;   // counts Show and Close: a late Notify reply of an old one is closed
  uint32_t id_ = 0;
  bool reported_no_bus_ = false;
};

}  // namespace kestrelio
