// The main window on a desktop: opening at a whole multiple of the phone's size,
// remembering where it was, scaling icons and fonts with the window, fitting the status
// line, and the ring attention of the incoming-call prompt.
#include <QAction>
#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QMoveEvent>
#include <QResizeEvent>
#include <QScreen>
#include <QTimer>
#include <QToolBar>
#include <algorithm>
#include <cmath>
#include <vector>

#include "base/window/ids.h"
#include "resources/bitmaps.h"
#include "ui/client_area.h"
#include "ui/dialog_host.h"
#include "ui/main_window.h"
#include "ui/ring_attention.h"
#include "ui/status_fit.h"

namespace kestrelio {
namespace {

constexpr int kSoftKeyIconPx = 16;
// A drag sends many moves; the place is written once it has rested this long.
constexpr int kPlacementSettleMs = 1000;

ScreenRect ToScreenRect(const QRect& r) { return {r.x(), r.y(), r.width(), r.height()}; }

}  // namespace

int MainWindow::LayoutScale() const {
  return ScaleForWindow(width(), height(), kPhoneClientWidth,
                        kPhoneClientHeight + bar_base_height_);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  ApplyScale(LayoutScale());
  PlacementChanged();
}

void MainWindow::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  PlacementChanged();
}

void MainWindow::PlacementChanged() {
  if (!isVisible() || !placement_listener_) return;
  if (placement_timer_ == nullptr) {
    placement_timer_ = new QTimer(this);
    placement_timer_->setSingleShot(true);
    placement_timer_->setInterval(kPlacementSettleMs);
    connect(placement_timer_, &QTimer::timeout, this, [this] {
      if (placement_listener_) placement_listener_(Placement());
    });
  }
  placement_timer_->start();
}

void MainWindow::PlaceAtOpening(const std::optional<ScreenRect>& saved) {
  const int phone_width = kPhoneClientWidth;
  const int phone_height = kPhoneClientHeight + bar_base_height_;
  if (saved) {
    std::vector<ScreenRect> screens;
    for (const QScreen* screen : QGuiApplication::screens()) {
      screens.push_back(ToScreenRect(screen->availableGeometry()));
    }
    if (PlacementFits(*saved, screens, phone_width, phone_height)) {
      setGeometry(saved->x, saved->y, saved->width, saved->height);
      return;
    }
  }
  const QScreen* screen = QGuiApplication::primaryScreen();
  const int scale = screen == nullptr ? 1
                                      : OpeningScale(phone_width, phone_height,
                                                     ToScreenRect(screen->availableGeometry()));
  resize(phone_width * scale, phone_height * scale);
}

ScreenRect MainWindow::Placement() const { return ToScreenRect(geometry()); }

QPixmap MainWindow::SoftKeyPixmap(int image_index) const {
  // Whole-pixel blocks: the 16-pixel bitmaps stay sharp at any whole scale. On a screen
  // with whole device pixels per logical pixel the blocks are made in device pixels, so
  // Qt shows the pixmap 1:1 instead of stretching it again.
  const QImage image = SoftKeyImage(image_index);
  if (image.isNull()) return {};
  const int device_ratio = std::max(1, static_cast<int>(std::lround(devicePixelRatioF())));
  const int factor = scale_ * device_ratio;
  QPixmap pixmap = QPixmap::fromImage(image.scaled(image.width() * factor, image.height() * factor,
                                                   Qt::IgnoreAspectRatio, Qt::FastTransformation));
  pixmap.setDevicePixelRatio(device_ratio);
  return pixmap;
}

void MainWindow::ApplyScale(int scale) {
  if (scale == scale_) return;
  scale_ = scale;
  // Dialogs and boxes this window owns are drawn at its scale.
  setProperty(kLayoutScaleProperty, scale);
  bar_->setIconSize(QSize(kSoftKeyIconPx * scale, kSoftKeyIconPx * scale));
  bar_->setFixedHeight(bar_base_height_ * scale);
  for (auto& [id, action] : soft_keys_) action->setIcon(QIcon(SoftKeyPixmap(button_images_[id])));
  QFont font = QApplication::font();
  font.setPixelSize(base_font_px_ * scale);
  client_->setFont(font);
  bar_->setFont(font);
  // The client's resize lays out again; the status line fits itself to its new width.
}

void MainWindow::FitStatusLine() {
  auto* label = static_cast<QLabel*>(controls_[kControlStatusLine]);
  const QString text = label->text();
  label->setToolTip(text);
  const QMargins margins = label->contentsMargins();
  const int available = label->width() - margins.left() - margins.right() - 2 * label->margin() - 2;
  QFont font = client_->font();
  const StatusFit fit =
      FitStatusFont(available, StatusMaxPixelSize(scale_), kStatusMinPixelSize, [&](int px) {
        font.setPixelSize(px);
        return QFontMetrics(font).horizontalAdvance(text);
      });
  font.setPixelSize(fit.pixel_size);
  if (label->font() != font) label->setFont(font);
}

void MainWindow::SetSmoothPictures(bool on) {
  if (smooth_action_ != nullptr && smooth_action_->isChecked() != on) {
    smooth_action_->setChecked(on);  // comes back here through toggled
    return;
  }
  if (smooth_pictures_ == on) return;
  smooth_pictures_ = on;
  SetShownPictureSizes();
  client_->update();
  if (smooth_listener_) smooth_listener_(on);
}

void MainWindow::WatchIncomingPrompt(QMessageBox* box, const OpenBoxInfo& info) {
  std::optional<IncomingCaller> caller = ParseIncomingPrompt(info.caption, info.text);
  if (!caller) return;
  RingAttention* ring = ring_.get();
  ring->PromptOpened(*caller);
  // The ring object is the connections' context: they go with it.
  connect(box, &QMessageBox::finished, ring, [ring] { ring->PromptClosed(); });
  connect(box, &QObject::destroyed, ring, [ring] { ring->PromptClosed(); });
}

}  // namespace kestrelio
