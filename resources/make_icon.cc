// Build-time tool: writes the program icon as a PNG for the desktop entry.
#include <QGuiApplication>
#include <cstdio>

#include "resources/bitmaps.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s OUTPUT.png SIZE\n", argv[0]);
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const int size = std::atoi(argv[2]);
  if (size < 16 || size > 1024) {
    std::fprintf(stderr, "size must be 16..1024\n");
    return 2;
  }
  return kestrelio::DrawAppIcon(size).save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
