#include "resources/bitmaps.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>

namespace kestrelio {
namespace {

constexpr int kSoftKeySize = 16;

QImage Blank(int width, int height, QColor fill) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(fill);
  return image;
}

// An open hand, palm centre at `c`, `s` the palm width.
void DrawHand(QPainter& p, QPointF c, double s, QColor color, double tilt_degrees) {
  p.save();
  p.translate(c);
  p.rotate(tilt_degrees);
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  p.drawRoundedRect(QRectF(-s / 2, -s / 2, s, s * 0.9), s * 0.2, s * 0.2);
  const double finger_w = s / 4.6;
  for (int i = 0; i < 4; ++i) {
    const double len = s * (i == 1 || i == 2 ? 0.75 : 0.6);
    const double x = -s / 2 + finger_w * 0.15 + i * (s / 4.0);
    p.drawRoundedRect(QRectF(x, -s / 2 - len + s * 0.1, finger_w, len), finger_w / 2, finger_w / 2);
  }
  p.save();
  p.translate(-s / 2, 0);
  p.rotate(-40);
  p.drawRoundedRect(QRectF(-finger_w, -s * 0.45, finger_w, s * 0.5), finger_w / 2, finger_w / 2);
  p.restore();
  p.restore();
}

// A person from the waist up, head at top.
void DrawPerson(QPainter& p, QRectF box, QColor color) {
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  const double head = box.width() * 0.32;
  p.drawEllipse(QRectF(box.center().x() - head / 2, box.top(), head, head));
  QPainterPath body;
  body.moveTo(box.left(), box.bottom());
  body.cubicTo(box.left(), box.top() + head * 1.2, box.right(), box.top() + head * 1.2, box.right(),
               box.bottom());
  body.closeSubpath();
  p.drawPath(body);
}

QImage DrawIdle() {
  QImage image = Blank(320, 240, QColor(24, 40, 64));
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  // Two phones facing each other, each showing a signing person.
  for (int side = 0; side < 2; ++side) {
    const double x = side == 0 ? 30 : 190;
    p.setPen(QPen(QColor(200, 210, 220), 3));
    p.setBrush(QColor(40, 44, 52));
    p.drawRoundedRect(QRectF(x, 30, 100, 140), 12, 12);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(90, 150, 210));
    p.drawRect(QRectF(x + 10, 45, 80, 100));
    DrawPerson(p, QRectF(x + 25, 60, 50, 85), QColor(250, 220, 180));
    DrawHand(p, QPointF(x + (side == 0 ? 28 : 72), 92), 16, QColor(255, 235, 200),
             side == 0 ? -20 : 20);
    p.setBrush(QColor(30, 30, 30));
    p.drawEllipse(QRectF(x + 45, 34, 8, 8));  // the front camera
  }
  // The link between them.
  p.setPen(QPen(QColor(255, 200, 60), 3, Qt::DashLine));
  p.drawLine(QPointF(135, 100), QPointF(185, 100));
  p.setPen(QColor(255, 255, 255));
  QFont title("Sans", 20, QFont::Bold);
  p.setFont(title);
  p.drawText(QRectF(0, 176, 320, 32), Qt::AlignCenter, "Kestrelio");
  QFont line("Sans", 10);
  p.setFont(line);
  p.drawText(QRectF(0, 208, 320, 20), Qt::AlignCenter, "Sign language video phone");
  return image;
}

QImage DrawOwnPlaceholder() {
  QImage image = Blank(220, 240, QColor(50, 56, 64));
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  DrawPerson(p, QRectF(50, 40, 120, 170), QColor(120, 130, 145));
  p.setPen(QColor(230, 230, 230));
  p.setFont(QFont("Sans", 14, QFont::Bold));
  p.drawText(QRectF(0, 205, 220, 30), Qt::AlignCenter, "Your picture");
  return image;
}

QImage DrawPaused() {
  QImage image = Blank(220, 240, QColor(40, 40, 40));
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(240, 180, 40));
  p.drawEllipse(QRectF(50, 40, 120, 120));
  p.setBrush(QColor(40, 40, 40));
  p.drawRect(QRectF(85, 70, 18, 60));
  p.drawRect(QRectF(117, 70, 18, 60));
  p.setPen(QColor(240, 240, 240));
  p.setFont(QFont("Sans", 18, QFont::Bold));
  p.drawText(QRectF(0, 175, 220, 40), Qt::AlignCenter, "Paused");
  return image;
}

enum class ContactState { kOnline, kBusy, kOffline };

// The contact icons differ by shape as well as colour, so that a user who cannot tell
// the colours apart still sees the state: online a filled green disc, busy an orange
// square with a white bar across it, offline a hollow grey ring.
QImage DrawContactIcon(ContactState state) {
  QImage image = Blank(12, 12, Qt::white);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  switch (state) {
    case ContactState::kOnline:
      p.setPen(QPen(QColor(0, 120, 0), 1));
      p.setBrush(QColor(0, 190, 0));
      p.drawEllipse(QRectF(1.5, 1.5, 9, 9));
      break;
    case ContactState::kBusy:
      p.setPen(QPen(QColor(150, 70, 0), 1));
      p.setBrush(QColor(230, 120, 0));
      p.drawRect(QRectF(1.5, 1.5, 9, 9));
      p.setPen(Qt::NoPen);
      p.setBrush(Qt::white);
      p.drawRect(QRectF(3, 5, 6, 2));
      break;
    case ContactState::kOffline:
      p.setPen(QPen(QColor(130, 130, 130), 2));
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(QRectF(2, 2, 8, 8));
      break;
  }
  return image;
}

enum class Arrow { kIn, kOut, kMissed };

QImage DrawHistoryIcon(Arrow arrow) {
  QImage image = Blank(13, 13, Qt::white);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor color = arrow == Arrow::kIn    ? QColor(0, 140, 0)
                       : arrow == Arrow::kOut ? QColor(0, 70, 200)
                                              : QColor(210, 0, 0);
  p.setPen(QPen(color, 2, Qt::SolidLine, Qt::RoundCap));
  if (arrow == Arrow::kOut) {  // pointing up-right, away
    p.drawLine(QPointF(2.5, 10.5), QPointF(10.5, 2.5));
    p.drawLine(QPointF(10.5, 2.5), QPointF(5, 2.5));
    p.drawLine(QPointF(10.5, 2.5), QPointF(10.5, 8));
  } else {  // pointing down-left, towards
    p.drawLine(QPointF(10.5, 2.5), QPointF(2.5, 10.5));
    p.drawLine(QPointF(2.5, 10.5), QPointF(8, 10.5));
    p.drawLine(QPointF(2.5, 10.5), QPointF(2.5, 5));
  }
  if (arrow == Arrow::kMissed) {
    p.setPen(QPen(QColor(210, 0, 0), 1.5));
    p.drawLine(QPointF(8, 6), QPointF(12, 10));
    p.drawLine(QPointF(12, 6), QPointF(8, 10));
  }
  return image;
}

void DrawHandset(QPainter& p, QColor color, bool down) {
  p.save();
  p.translate(8, 8);
  p.rotate(down ? 135 : -45);
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  p.drawRoundedRect(QRectF(-2, -7, 4, 14), 1.5, 1.5);
  p.drawRoundedRect(QRectF(-4, -7, 6, 4), 1.5, 1.5);
  p.drawRoundedRect(QRectF(-4, 3, 6, 4), 1.5, 1.5);
  p.restore();
}

void DrawViewIcon(QPainter& p, int view_mode) {
  p.setPen(QPen(QColor(40, 40, 40), 1));
  p.setBrush(QColor(90, 150, 210));
  switch (view_mode) {
    case 0:
      p.drawRect(QRectF(1.5, 2.5, 13, 11));
      break;
    case 1:
      p.drawRect(QRectF(1.5, 2.5, 9, 8));
      p.setBrush(QColor(250, 200, 80));
      p.drawRect(QRectF(10.5, 9.5, 4, 4));
      break;
    case 2:
      p.drawRect(QRectF(1.5, 2.5, 9, 11));
      p.setBrush(QColor(250, 200, 80));
      p.drawRect(QRectF(10.5, 7.5, 4, 6));
      break;
    default:
      p.drawRect(QRectF(2.5, 1.5, 11, 6));
      p.setBrush(QColor(250, 200, 80));
      p.drawRect(QRectF(2.5, 8.5, 11, 6));
      break;
  }
}

void DrawBubble(QPainter& p, QColor color) {
  p.setPen(QPen(QColor(40, 40, 40), 1));
  p.setBrush(color);
  QPainterPath path;
  path.addRoundedRect(QRectF(1.5, 2.5, 13, 9), 3, 3);
  path.moveTo(4, 11);
  path.lineTo(3, 14.5);
  path.lineTo(8, 11);
  p.drawPath(path.simplified());
}

}  // namespace

QImage SoftKeyImage(int image_index) {
  if (image_index < 0 || image_index >= kSoftKeyImageCount) return {};
  QImage image(kSoftKeySize, kSoftKeySize, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  switch (image_index) {
    case 0:
      DrawHandset(p, QColor(0, 150, 0), false);
      break;
    case 1:
      DrawHandset(p, QColor(210, 0, 0), true);
      break;
    case 2:
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(60, 60, 60));
      p.drawRect(QRectF(4, 3, 3, 10));
      p.drawRect(QRectF(9, 3, 3, 10));
      break;
    case 3:
      DrawBubble(p, Qt::white);
      break;
    case 4:
      p.setPen(QPen(QColor(60, 60, 60), 1));
      p.setBrush(Qt::white);
      p.drawRect(QRectF(1.5, 1.5, 13, 13));
      p.setBrush(QColor(60, 60, 60));
      p.drawRect(QRectF(1.5, 11.5, 13, 3));
      break;
    case 5:
      DrawViewIcon(p, 0);
      break;
    case 6:
      DrawViewIcon(p, 1);
      break;
    case 7:
      DrawViewIcon(p, 3);
      break;
    case 8:
      DrawViewIcon(p, 2);
      break;
    case 9:
      DrawBubble(p, QColor(255, 170, 0));
      break;
    case 10:  // contacts
      DrawPerson(p, QRectF(3, 2, 10, 13), QColor(60, 60, 60));
      break;
    default: {  // 11: history, a clock
      p.setPen(QPen(QColor(60, 60, 60), 1.5));
      p.setBrush(Qt::white);
      p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
      p.drawLine(QPointF(8, 8), QPointF(8, 4));
      p.drawLine(QPointF(8, 8), QPointF(11, 9.5));
      break;
    }
  }
  return image;
}

QImage DrawBitmap(int bitmap_id) {
  switch (bitmap_id) {
    case 132: {
      QImage strip(kSoftKeySize * kSoftKeyImageCount, kSoftKeySize, QImage::Format_ARGB32);
      strip.fill(Qt::transparent);
      QPainter p(&strip);
      for (int i = 0; i < kSoftKeyImageCount; ++i) {
        p.drawImage(i * kSoftKeySize, 0, SoftKeyImage(i));
      }
      return strip;
    }
    case 133:
      return DrawIdle();
    case 135:
      return DrawOwnPlaceholder();
    case 153:
      return DrawPaused();
    case 148:
      return DrawContactIcon(ContactState::kOnline);
    case 149:
      return DrawContactIcon(ContactState::kBusy);
    case 1000:
      return DrawContactIcon(ContactState::kOffline);
    case 150:
      return DrawHistoryIcon(Arrow::kIn);
    case 151:
      return DrawHistoryIcon(Arrow::kOut);
    case 152:
      return DrawHistoryIcon(Arrow::kMissed);
    default:
      return {};
  }
}

QImage DrawAppIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 64.0, size / 64.0);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(30, 90, 170));
  p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
  DrawHand(p, QPointF(28, 40), 20, Qt::white, -12);
  // The camera: a lens in the top right corner.
  p.setBrush(QColor(20, 20, 20));
  p.drawEllipse(QRectF(42, 8, 14, 14));
  p.setBrush(QColor(220, 40, 40));
  p.drawEllipse(QRectF(46, 12, 6, 6));
  return image;
}

}  // namespace kestrelio
