#include "ui/repaint_wake.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cstdint>

#include "base/diag.h"

namespace kestrelio {

RepaintWake::RepaintWake(QObject* parent, std::function<void()> on_wake)
    : QObject(parent), on_wake_(std::move(on_wake)) {
  fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (fd_ < 0) {
    Diag("repaint wake: eventfd failed; repaints are queued instead");
    return;
  }
  notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { OnReadable(); });
}

RepaintWake::~RepaintWake() {
  delete notifier_;
  if (fd_ >= 0) close(fd_);
}

void RepaintWake::Wake() {
  const uint64_t one = 1;
  // EAGAIN means the counter is already non-zero: a wake is pending anyway.
  [[maybe_unused]] const ssize_t wrote = write(fd_, &one, sizeof one);
}

void RepaintWake::OnReadable() {
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t got = read(fd_, &count, sizeof count);
  on_wake_();
}

}  // namespace kestrelio
