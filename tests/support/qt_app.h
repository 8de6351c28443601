// One QApplication for the test process, offscreen, and a way to wait for a condition
// while the GUI thread keeps handling events.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <functional>

namespace kestrelio::testing_support {

inline QApplication& App() {
  static int argc = 1;
  static char name[] = "ui_window_test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);
  }();
  return *app;
}

// Pumps events until `done` holds; false when it did not within `limit_ms` (a hang
// guard only: no test asserts on how long anything takes).
inline bool PumpUntil(const std::function<bool()>& done, int limit_ms = 20000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > limit_ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

}  // namespace kestrelio::testing_support
