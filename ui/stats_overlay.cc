#include "ui/stats_overlay.h"

#include <QAction>
#include <QFontMetrics>
#include <QPainter>
#include <QWidget>
#include <algorithm>
#include <cstdio>

#include "base/tick.h"
#include "ui/main_window.h"

namespace kestrelio {
namespace {

// About 9 pt on a 96 dpi screen: the smallest text the box uses.
constexpr int kMinimumFontPixels = 12;
constexpr int kMargin = 4;

QString Milliseconds(int32_t value) {
  return value == MediaStatistics::kNone ? QStringLiteral("-")
                                         : QString::number(value) + QStringLiteral(" ms");
}

}  // namespace

StatsOverlay::StatsOverlay(QWidget& area, const ViewFlags& view)
    : QObject(&area), area_(area), view_(view) {
  timer_.setInterval(kRefreshMs);
  connect(&timer_, &QTimer::timeout, this, [this] {
    Refresh();
    area_.update();
  });
  font_.setStyleHint(QFont::SansSerif);
  font_.setPixelSize(kMinimumFontPixels);
  for (QStaticText& line : lines_) line.setTextFormat(Qt::PlainText);
}

void StatsOverlay::BindMenuAction(QAction* action) {
  action_ = action;
  action->setCheckable(true);
  action->setChecked(view_.call_statistics.load(std::memory_order_relaxed));
}

void StatsOverlay::Refresh() {
  if (statistics_ == nullptr) return;
  const MediaStatistics& s = *statistics_;
  const uint32_t now = TickCountMs();
  auto count = [](const std::atomic<uint32_t>& value) {
    return QString::number(value.load(std::memory_order_relaxed));
  };
  const QString texts[kLines] = {
      QStringLiteral("Sent %1 fr, %2 kbit/s")
          .arg(count(s.frames_sent), QString::number(s.sent.KbitPerSecond(now))),
      QStringLiteral("Received %1 fr, %2 kbit/s")
          .arg(count(s.frames_received), QString::number(s.received.KbitPerSecond(now))),
      QStringLiteral("Decoded %1, painted %2")
          .arg(count(s.frames_decoded), count(s.frames_painted)),
      QStringLiteral("Dropped %1, lost packets %2")
          .arg(count(s.frames_dropped), count(s.packets_lost)),
      QStringLiteral("Round trip %1")
          .arg(Milliseconds(s.last_rtt_ms.load(std::memory_order_relaxed))),
      QStringLiteral("Arrival to paint %1")
          .arg(Milliseconds(s.receive_to_paint_ms.load(std::memory_order_relaxed))),
  };
  const QFontMetrics metrics(font_);
  for (int i = 0; i < kLines; ++i) {
    if (lines_[i].text() != texts[i]) lines_[i].setText(texts[i]);
    line_widths_[i] = metrics.horizontalAdvance(texts[i]);
  }
}

void StatsOverlay::FitFont(const QRect& peer) {
  if (peer.height() == font_for_height_) return;
  font_for_height_ = peer.height();
  // Six lines fill about half of the picture's height, never below the smallest size.
  const int pixels = std::max(kMinimumFontPixels, peer.height() / (2 * kLines + 2));
  font_.setPixelSize(pixels);
  for (QStaticText& line : lines_) line.prepare(QTransform(), font_);
  line_height_ = QFontMetrics(font_).lineSpacing();
  Refresh();
}

void StatsOverlay::Paint(QPainter& painter, const QRect& peer) {
  const bool on = view_.call_statistics.load(std::memory_order_relaxed);
  if (action_ && action_->isChecked() != on) action_->setChecked(on);
  if (!on) {
    if (timer_.isActive()) timer_.stop();
    return;
  }
  if (!timer_.isActive()) {
    font_for_height_ = -1;
    timer_.start();
  }
  if (peer.isEmpty()) return;
  FitFont(peer);
  const int line_height = line_height_;
  const int text_width = *std::max_element(line_widths_.begin(), line_widths_.end());
  const QRect box(peer.left(), peer.top(), std::min(peer.width(), text_width + 2 * kMargin),
                  std::min(peer.height(), kLines * line_height + 2 * kMargin));
  // The last thing painted: pen and font stay as set, no state is saved (which would
  // allocate at every paint).
  painter.fillRect(box, QColor(0, 0, 0, 170));
  painter.setPen(Qt::white);
  painter.setFont(font_);
  for (int i = 0; i < kLines; ++i) {
    const int top = box.top() + kMargin + i * line_height;
    if (top + line_height > box.bottom() + 1) break;  // a picture too low for every line
    painter.drawStaticText(box.left() + kMargin, top, lines_[i]);
  }
}

// The window's side: which painted peer picture is new, and the overlay over it.
void MainWindow::SetMediaStatistics(MediaStatistics* statistics) {
  statistics_ = statistics;
  stats_overlay_->SetStatistics(statistics);
}

void MainWindow::PaintCallStatistics(QPainter& painter, const QRect& primary) {
  const bool peer_shown = call_flags_.video_active.load(std::memory_order_relaxed) &&
                          !view_flags_.peer_video_paused.load(std::memory_order_relaxed);
  if (peer_shown && statistics_ != nullptr) {
    Picture& picture = pictures_[0];
    std::lock_guard lock(picture.mutex);
    if (picture.valid && picture.serial != picture.painted_serial) {
      picture.painted_serial = picture.serial;
      MediaStatistics::Count(statistics_->frames_painted);
      if (picture.arrival_ms != 0) {
        statistics_->receive_to_paint_ms.store(
            static_cast<int32_t>(TickCountMs() - picture.arrival_ms), std::memory_order_relaxed);
      }
    }
  }
  stats_overlay_->Paint(painter, primary);
}

}  // namespace kestrelio
