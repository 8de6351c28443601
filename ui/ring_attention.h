// Drawing a deaf user's eye to an incoming call while its prompt is open: the window
// asks the desktop for attention, and while the vibrator rings (the ring request is set
// unless silent mode is on) the peer picture flashes softly at 2 Hz and a desktop
// notification offers Accept and Decline. Everything ends when the prompt closes.
// GUI thread only.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QRect>
#include <QTimer>
#include <functional>
#include <memory>

#include "device/call_notification.h"
#include "ui/incoming_prompt.h"

class QPainter;
class QWidget;

namespace kestrelio {

class RingAttention : public QObject {
 public:
  // `window` asks for attention and is repainted while flashing; `answer` presses the
  // prompt's Yes (true) or No (false) button.
  RingAttention(QWidget& window, std::function<void()> repaint,
                std::function<void(bool accept)> answer);
  ~RingAttention() override;

  void PromptOpened(const IncomingCaller& caller);
  void PromptClosed();
  // One vibrator pulse (Window::Alert).
  void VibratorPulse();

  // Lays the flash over the peer's picture while ringing.
  void PaintFlash(QPainter& painter, const QRect& peer) const;

  bool prompt_open() const { return prompt_open_; }
  bool ringing() const { return ringing_; }

 private:
  void StartRinging();

  QWidget& window_;
  std::function<void()> repaint_;
  CallNotification notification_;
  QTimer flash_timer_;
  QElapsedTimer flash_clock_;
  QElapsedTimer since_pulse_;  // invalid until the first pulse
  IncomingCaller caller_;
  bool prompt_open_ = false;
  bool ringing_ = false;
};

// The flash's opacity (0..1) `elapsed_ms` after ringing began: a raised cosine at 2 Hz,
// so the peer area brightens and dims twice a second without hard edges.
double FlashLevel(qint64 elapsed_ms);

}  // namespace kestrelio
