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
  const qreal ratio = client_->devicePixelRatioF();
  auto draw_picture = [&](int index, const QRect& target) {
    Picture& picture = pictures_[index];
    std::lock_guard lock(picture.mutex);
    if (!picture.valid) return;
    // Made at the shown size: a plain copy. Until the next picture after a resize, the
    // old one is scaled here.
    if (picture.image.width() == picture.shown_width &&
        picture.image.height() == picture.shown_height && ratio == 1.0) {
      painter.drawImage(target.topLeft(), picture.image);
    } else {
      painter.drawImage(target, picture.image);
    }
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
    // Before the first layout the picture keeps its own size.
    const int width = slot.shown_width > 0 ? slot.shown_width : picture.width;
    const int height = slot.shown_height > 0 ? slot.shown_height : picture.height;
    if (!slot.scaler.Matches(picture.width, picture.height, width, height, slot.smooth) &&
        !slot.scaler.Configure(picture.width, picture.height, width, height, slot.smooth)) {
      return;
    }
    // RGB32 is what the raster painter copies directly.
    if (slot.image.width() != width || slot.image.height() != height) {
      slot.image = QImage(width, height, QImage::Format_RGB32);
      if (slot.image.isNull()) return;
    }
    slot.scaler.Scale(picture, slot.image.bits(), static_cast<int>(slot.image.bytesPerLine()));
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
  MarkDirty(target == VideoTarget::kPrimary ? kDirtyPrimary : kDirtySecondary);
}

void MainWindow::SetShownPictureSizes() {
  const qreal ratio = client_ != nullptr ? client_->devicePixelRatioF() : 1.0;
  for (int i = 0; i < 2; ++i) {
    Picture& picture = pictures_[i];
    std::lock_guard lock(picture.mutex);
    picture.shown_width = static_cast<int>(PictureRect(i).Width() * ratio + 0.5);
    picture.shown_height = static_cast<int>(PictureRect(i).Height() * ratio + 0.5);
    picture.smooth = smooth_pictures_;
  }
}

}  // namespace kestrelio
