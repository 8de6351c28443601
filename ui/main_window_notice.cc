// The passing notice of the main window: a word-wrapped line over the top of the client
// area that hides itself after its time, for what would be a desktop bubble when no
// notification service runs.
#include <QLabel>
#include <QTimer>

#include "ui/client_area.h"
#include "ui/main_window.h"

namespace kestrelio {

void MainWindow::ShowNotice(std::string_view text, int duration_ms) {
  {
    std::lock_guard lock(state_mutex_);
    notice_text_ = std::string(text);
  }
  QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  PostToGui([this, shown, duration_ms] { ApplyNotice(shown, duration_ms); });
}

void MainWindow::ApplyNotice(const QString& text, int duration_ms) {
  if (notice_ == nullptr) {
    notice_ = new QLabel(client_);
    notice_->setWordWrap(true);
    notice_->setAlignment(Qt::AlignCenter);
    notice_->setMargin(3);
    notice_->setFrameShape(QFrame::Box);
    notice_->setAutoFillBackground(true);
    // Clicks go to whatever lies below: the notice is only to be read.
    notice_->setAttribute(Qt::WA_TransparentForMouseEvents);
    QPalette palette = notice_->palette();
    palette.setColor(QPalette::Window, QColor(255, 255, 225));
    palette.setColor(QPalette::WindowText, Qt::black);
    notice_->setPalette(palette);
    notice_timer_ = new QTimer(this);
    notice_timer_->setSingleShot(true);
    connect(notice_timer_, &QTimer::timeout, this, [this] {
      notice_->hide();
      std::lock_guard lock(state_mutex_);
      notice_text_.clear();
    });
  }
  notice_->setText(text);
  PlaceNotice();
  notice_->show();
  notice_->raise();
  notice_timer_->start(duration_ms < 0 ? 0 : duration_ms);
}

void MainWindow::PlaceNotice() {
  if (notice_ == nullptr) return;
  const int width = client_->width();
  notice_->setGeometry(0, 0, width, notice_->heightForWidth(width));
}

}  // namespace kestrelio
