// Painting of the client area: background, placeholders and the video pictures that
// the display thread hands over with DrawPicture.
#include <QPainter>
#include <QResizeEvent>

#include "ui/client_area.h"
#include "ui/main_window.h"
#include "ui/ring_attention.h"

namespace kestrelio {
namespace {

QRect ToQRect(const VideoRect& r) { return QRect(r.left, r.top, r.Width(), r.Height()); }

}  // namespace

ClientArea::ClientArea(MainWindow& owner, QWidget* parent) : QWidget(parent), owner_(owner) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void ClientArea::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  owner_.PaintClient(painter);
}

void ClientArea::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  owner_.OnClientResized(event->size().width(), event->size().height());
}

void MainWindow::PaintClient(QPainter& painter) {
  painter.fillRect(client_->rect(), QColor(20, 20, 20));
  painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth_pictures_);
  const bool video_active = call_flags_.video_active.load(std::memory_order_relaxed);
  const bool own_paused = view_flags_.own_video_paused.load(std::memory_order_relaxed);
  const bool peer_paused = view_flags_.peer_video_paused.load(std::memory_order_relaxed);
  const int view_mode = view_flags_.view_mode.load(std::memory_order_relaxed);
  const QRect primary = ToQRect(layout_.primary);
  const QRect secondary = ToQRect(layout_.secondary);
  auto draw_picture = [&](int index, const QRect& target) {
    Picture& picture = pictures_[index];
    std::lock_guard lock(picture.mutex);
    if (picture.valid) painter.drawImage(target, picture.image);
  };

  if (!video_active) {
    painter.drawImage(primary, idle_bitmap_);
  } else if (!peer_paused) {
    draw_picture(0, primary);
  }
  if (peer_paused) painter.drawImage(primary, paused_bitmap_);
  ring_->PaintFlash(painter, primary);
  if (view_mode != 0) {
    if (own_paused) {
      painter.drawImage(secondary, paused_bitmap_);
    } else if (video_active) {
      draw_picture(1, secondary);
    } else {
      painter.drawImage(secondary, own_bitmap_);
    }
  }
  PaintCallStatistics(painter, primary);
}

void MainWindow::DrawPicture(VideoTarget target, const BgrPicture& picture) {
  if (picture.bytes == nullptr || picture.width <= 0 || picture.height <= 0 ||
      picture.width > 4096 || picture.height > 4096 || picture.stride < picture.width * 3) {
    return;
  }
  Picture& slot = pictures_[target == VideoTarget::kPrimary ? 0 : 1];
  {
    std::lock_guard lock(slot.mutex);
    // RGB32 is what the raster painter scales from directly; any other format would be
    // converted into a new image at every paint.
    if (slot.image.width() != picture.width || slot.image.height() != picture.height) {
      slot.image = QImage(picture.width, picture.height, QImage::Format_RGB32);
    }
    for (int row = 0; row < picture.height; ++row) {
      // A bottom-up picture's first row is the bottom line on screen.
      const int source_row = picture.bottom_up ? picture.height - 1 - row : row;
      const uint8_t* in = picture.bytes + static_cast<ptrdiff_t>(source_row) * picture.stride;
      auto* out = reinterpret_cast<QRgb*>(slot.image.scanLine(row));
      for (int x = 0; x < picture.width; ++x, in += 3) out[x] = qRgb(in[2], in[1], in[0]);
    }
    if (target == VideoTarget::kPrimary) {
      // A peer picture replaced before any paint showed it never reached the screen.
      if (statistics_ != nullptr && slot.valid && slot.serial != slot.painted_serial) {
        MediaStatistics::Count(statistics_->frames_dropped);
      }
      ++slot.serial;
      slot.arrival_ms = picture.arrival_ms;
    }
    slot.valid = true;
  }
  Invalidate();
}

}  // namespace kestrelio
