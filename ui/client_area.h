// The main window's client area: the child controls sit on it at absolute positions,
// and it paints the background, the placeholders and the video pictures.
#pragma once

#include <QWidget>

namespace kestrelio {

class MainWindow;

class ClientArea : public QWidget {
 public:
  ClientArea(MainWindow& owner, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  MainWindow& owner_;
};

}  // namespace kestrelio
