// Wakes the GUI thread from any thread without allocating: a write to an eventfd that a
// QSocketNotifier on the GUI thread watches. What the window's repaint requests use, so
// that handing over a picture posts no Qt event and queues no function object.
#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace kestrelio {

class RepaintWake : public QObject {
 public:
  // `on_wake` runs on the GUI thread, once for one or more Wake calls since the last.
  RepaintWake(QObject* parent, std::function<void()> on_wake);
  ~RepaintWake() override;
  RepaintWake(const RepaintWake&) = delete;
  RepaintWake& operator=(const RepaintWake&) = delete;

  // False when the eventfd could not be made; the caller then uses another way.
  bool ok() const { return fd_ >= 0; }
  // Any thread.
  void Wake();

 private:
  void OnReadable();

  int fd_ = -1;
  QSocketNotifier* notifier_ = nullptr;
  std::function<void()> on_wake_;
};

}  // namespace kestrelio
