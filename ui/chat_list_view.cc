#include "ui/chat_list_view.h"

#include <QEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

namespace kestrelio {

ChatListView::ChatListView(QWidget* parent, size_t max_lines)
    : QAbstractScrollArea(parent), max_lines_(max_lines) {
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setFocusPolicy(Qt::NoFocus);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  row_height_ = std::max(1, fontMetrics().height() + 2);
}

void ChatListView::Append(const QString& line) {
  lines_.push_back(line);
  while (lines_.size() > max_lines_) lines_.pop_front();
  UpdateScrollRange();
  verticalScrollBar()->setValue(verticalScrollBar()->maximum());
  viewport()->update();
}

void ChatListView::Clear() {
  lines_.clear();
  UpdateScrollRange();
  viewport()->update();
}

void ChatListView::UpdateScrollRange() {
  // Scrolling is by whole rows: the scroll bar's value is the first row in view.
  const int visible = std::max(1, viewport()->height() / row_height_);
  const int rows = static_cast<int>(lines_.size());
  verticalScrollBar()->setRange(0, std::max(0, rows - visible));
  verticalScrollBar()->setPageStep(visible);
  verticalScrollBar()->setSingleStep(1);
}

void ChatListView::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(viewport());
  painter.setPen(palette().color(QPalette::Text));
  const int first = verticalScrollBar()->value();
  const int width = viewport()->width();
  const int height = viewport()->height();
  int painted = 0;
  for (int row = first, y = 0; row < static_cast<int>(lines_.size()) && y < height;
       ++row, y += row_height_) {
    painter.drawText(QRect(2, y, width - 4, row_height_), Qt::AlignLeft | Qt::AlignVCenter,
                     lines_[static_cast<size_t>(row)]);
    ++painted;
  }
  last_painted_rows_ = painted;
}

void ChatListView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  const bool at_bottom = verticalScrollBar()->value() == verticalScrollBar()->maximum();
  UpdateScrollRange();
  if (at_bottom) verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void ChatListView::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    row_height_ = std::max(1, fontMetrics().height() + 2);
    UpdateScrollRange();
  }
}

}  // namespace kestrelio
