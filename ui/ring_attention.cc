#include "ui/ring_attention.h"

#include <QApplication>
#include <QPainter>
#include <QWidget>
#include <cmath>
#include <numbers>

namespace kestrelio {
namespace {

constexpr double kFlashHz = 2.0;  // well below the 3 flashes a second that can harm
constexpr int kFlashFrameMs = 40;
constexpr int kFlashPeakAlpha = 120;
// The ring request is set just before the prompt opens: a pulse this recent counts.
constexpr qint64 kPulseBeforePromptMs = 1500;

}  // namespace

double FlashLevel(qint64 elapsed_ms) {
  const double phase = 2.0 * std::numbers::pi * kFlashHz * static_cast<double>(elapsed_ms) / 1000.0;
  return 0.5 - 0.5 * std::cos(phase);
}

RingAttention::RingAttention(QWidget& window, std::function<void()> repaint,
                             std::function<void(bool accept)> answer)
    : window_(window),
      repaint_(std::move(repaint)),
      notification_([answer = std::move(answer)](CallNotificationAnswer a) {
        answer(a == CallNotificationAnswer::kAccept);
      }) {
  flash_timer_.setInterval(kFlashFrameMs);
  connect(&flash_timer_, &QTimer::timeout, this, [this] { repaint_(); });
}

RingAttention::~RingAttention() = default;

void RingAttention::PromptOpened(const IncomingCaller& caller) {
  caller_ = caller;
  prompt_open_ = true;
  // Until the user turns to the window: this much stays even in silent mode.
  QApplication::alert(&window_, 0);
  if (since_pulse_.isValid() && since_pulse_.elapsed() <= kPulseBeforePromptMs) StartRinging();
}

void RingAttention::VibratorPulse() {
  since_pulse_.start();
  if (prompt_open_ && !ringing_) StartRinging();
}

void RingAttention::StartRinging() {
  ringing_ = true;
  flash_clock_.start();
  flash_timer_.start();
  notification_.Show(QString::fromStdString(IncomingCallSummary(caller_)),
                     QStringLiteral("Accept?"));
}

void RingAttention::PromptClosed() {
  if (!prompt_open_) return;
  prompt_open_ = false;
  if (ringing_) {
    ringing_ = false;
    flash_timer_.stop();
    notification_.Close();
    repaint_();
  }
  since_pulse_.invalidate();
}

void RingAttention::PaintFlash(QPainter& painter, const QRect& peer) const {
  if (!ringing_ || peer.isEmpty()) return;
  const int alpha = static_cast<int>(kFlashPeakAlpha * FlashLevel(flash_clock_.elapsed()));
  if (alpha <= 0) return;
  painter.fillRect(peer, QColor(255, 200, 40, alpha));
}

}  // namespace kestrelio
