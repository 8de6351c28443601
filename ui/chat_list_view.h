// The chat history list (control 123): one text line a row, newest at the bottom, at
// most kChatListMaxLines rows.
//
// A chat flood must not cost more per line as the list grows. The rows have one fixed
// height, so appending a line only moves the scroll range and repaints; nothing is
// measured or laid out again, and a paint touches only the rows in view.
#pragma once

#include <QAbstractScrollArea>
#include <QString>
#include <cstddef>
#include <deque>

namespace kestrelio {

class ChatListView : public QAbstractScrollArea {
 public:
  explicit ChatListView(QWidget* parent = nullptr, size_t max_lines = 500);

  // Adds a line at the bottom (dropping the oldest beyond the limit) and scrolls to it.
  void Append(const QString& line);
  void Clear();

  size_t count() const { return lines_.size(); }
  const QString& line(size_t index) const { return lines_[index]; }
  int row_height() const { return row_height_; }
  // Rows the last paint drew: only those in view, however long the list is.
  int last_painted_rows() const { return last_painted_rows_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void UpdateScrollRange();

  size_t max_lines_;
  std::deque<QString> lines_;
  int row_height_ = 1;
  int last_painted_rows_ = 0;
};

}  // namespace kestrelio
