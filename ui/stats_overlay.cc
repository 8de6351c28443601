#include "ui/stats_overlay.h"

#include <QAction>
#include <QFontMetrics>
#include <QImage>
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
}

void StatsOverlay::BindMenuAction(QAction* action) {
  action_ = action;
  action->setCheckable(true);
  action->setChecked(view_.call_statistics.load(std::memory_order_relaxed));
}

void StatsOverlay::Refresh() {
  if (statistics_ == nullptr || peer_size_.isEmpty()) return;
  const MediaStatistics& s = *statistics_;
  const uint32_t now = TickCountMs();
  auto count = [](const std::atomic<uint32_t>& value) {
    return QString::number(value.load(std::memory_order_relaxed));
  };
  // Short lines: the peer picture may be no wider than 160 pixels.
  const QString texts[kLines] = {
      QStringLiteral("Tx %1 fr, %2 kbit/s")
          .arg(count(s.frames_sent), QString::number(s.sent.KbitPerSecond(now))),
      QStringLiteral("Rx %1 fr, %2 kbit/s")
          .arg(count(s.frames_received), QString::number(s.received.KbitPerSecond(now))),
      QStringLiteral("Decoded %1").arg(count(s.frames_decoded)),
      QStringLiteral("Painted %1").arg(count(s.frames_painted)),
      QStringLiteral("Dropped %1").arg(count(s.frames_dropped)),
      QStringLiteral("Lost packets %1").arg(count(s.packets_lost)),
      QStringLiteral("Round trip %1")
          .arg(Milliseconds(s.last_rtt_ms.load(std::memory_order_relaxed))),
      QStringLiteral("Arrival to paint %1")
          .arg(Milliseconds(s.receive_to_paint_ms.load(std::memory_order_relaxed))),
  };
  const QFontMetrics metrics(font_);
  int text_width = 0;
  for (const QString& text : texts)
    text_width = std::max(text_width, metrics.horizontalAdvance(text));
  const int line_height = metrics.lineSpacing();
  // The box is drawn here, twice a second, into an image that painting only copies: text
  // laid out at every paint would allocate for each picture.
  const QSize size(std::min(peer_size_.width(), text_width + 2 * kMargin),
                   std::min(peer_size_.height(), kLines * line_height + 2 * kMargin));
  if (box_.size() != size) box_ = QImage(size, QImage::Format_ARGB32_Premultiplied);
  box_.fill(QColor(0, 0, 0, 170));
  QPainter painter(&box_);
  painter.setPen(Qt::white);
  painter.setFont(font_);
  for (int i = 0; i < kLines; ++i) {
    painter.drawText(kMargin, kMargin + i * line_height + metrics.ascent(), texts[i]);
  }
}

void StatsOverlay::FitFont(const QRect& peer) {
  if (peer.size() == peer_size_) return;
  peer_size_ = peer.size();
  // The lines fill about half of the picture's height, never below the smallest size.
  font_.setPixelSize(std::max(kMinimumFontPixels, peer.height() / (2 * kLines + 2)));
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
    peer_size_ = QSize();  // figures of now, at the size of now
    timer_.start();
  }
  if (peer.isEmpty()) return;
  FitFont(peer);
  if (!box_.isNull()) painter.drawImage(peer.topLeft(), box_);
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
