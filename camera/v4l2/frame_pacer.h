// Thins a faster camera (webcams run at 30 frames/s) down to the encoder's nominal rate.
#pragma once

#include <cstdint>

namespace kestrelio {

class FramePacer {
 public:
  explicit FramePacer(int64_t period_us) : period_us_(period_us) {}

  // Whether the frame arriving at `now_us` (a monotonic clock) is delivered. Frames are
  // delivered on a fixed grid of one period; a camera that stalls restarts the grid
  // rather than bursting to catch up.
  bool Accept(int64_t now_us) {
    if (!started_ || now_us - next_due_us_ > period_us_) {
      started_ = true;
      next_due_us_ = now_us + period_us_;
      return true;
    }
    // Half a camera frame of tolerance: a 30 frames/s camera's frames jitter around
    // the grid.
    if (now_us + slack_us_ < next_due_us_) return false;
    next_due_us_ += period_us_;
    return true;
  }

  // Tolerance for frames that arrive a little early.
  void SetSlackUs(int64_t slack_us) { slack_us_ = slack_us; }

 private:
  int64_t period_us_;
  int64_t slack_us_ = 0;
  int64_t next_due_us_ = 0;
  bool started_ = false;
};

}  // namespace kestrelio
