// The call statistics overlay: a dark, half-transparent box with white text over the
// peer's picture, showing the running call's media figures. File menu item "Call
// statistics" turns it on and off (ViewFlags::call_statistics); while it shows, a timer
// reads the figures twice a second and prepares the text, so painting a picture draws
// already laid-out lines and allocates nothing for it.
#pragma once

#include <QFont>
#include <QObject>
#include <QPointer>
#include <QStaticText>
#include <QTimer>
#include <array>

#include "base/state/media_statistics.h"
#include "base/state/view_flags.h"

class QAction;
class QPainter;
class QWidget;

namespace kestrelio {

class StatsOverlay : public QObject {
 public:
  static constexpr int kRefreshMs = 500;
  static constexpr int kLines = 6;
  static constexpr int kMinimumLineHeight = 14;

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
  int font_for_height_ = -1;  // the peer height the font was sized for
  int line_height_ = kMinimumLineHeight;
  std::array<QStaticText, kLines> lines_;
  std::array<int, kLines> line_widths_{};
};

}  // namespace kestrelio
