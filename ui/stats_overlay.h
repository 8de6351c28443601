// The call statistics overlay: a dark, half-transparent box with white text over the
// peer's picture, showing the running call's media figures. File menu item "Call
// statistics" turns it on and off (ViewFlags::call_statistics); while it shows, a timer
// reads the figures twice a second and draws the box with its text into an image, so
// painting a picture only copies that image.
#pragma once

#include <QFont>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QTimer>

#include "base/state/media_statistics.h"
#include "base/state/view_flags.h"

class QAction;
class QPainter;
class QWidget;

namespace kestrelio {

class StatsOverlay : public QObject {
 public:
  static constexpr int kRefreshMs = 500;
  static constexpr int kLines = 8;

  // `area` is repainted at each refresh.
  StatsOverlay(QWidget& area, const ViewFlags& view);

  void SetStatistics(const MediaStatistics* statistics) { statistics_ = statistics; }
  // The checkable File menu entry that mirrors the flag.
  void BindMenuAction(QAction* action);
  // GUI thread, after the pictures: draws the box over `peer` while the flag is set,
  // and starts or stops the refresh timer to follow the flag.
  void Paint(QPainter& painter, const QRect& peer);

  bool shown() const { return timer_.isActive(); }

 private:
  void Refresh();
  void FitFont(const QRect& peer);

  QWidget& area_;
  const ViewFlags& view_;
  const MediaStatistics* statistics_ = nullptr;
  QPointer<QAction> action_;
  QTimer timer_;
  QFont font_;
  QSize peer_size_;  // the picture size the font and the box were made for
  QImage box_;       // the box with its text, drawn at each refresh
};

}  // namespace kestrelio
