#include "ui/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>

#include <cmath>

namespace kamvo::ui {

namespace {

const QColor kInk(0x33, 0x3b, 0x48);
const QColor kPaper(0xfa, 0xfa, 0xfa);
const QColor kAccent(0x1f, 0x4e, 0x9a);

void Page(QPainter& p, const QRectF& r) {
  p.setPen(QPen(kInk, 1.5));
  p.setBrush(kPaper);
  p.drawRect(r);
  p.setPen(QPen(kAccent, 1.2));
  for (qreal y = r.top() + 4; y < r.bottom() - 2; y += 3.5)
    p.drawLine(QPointF(r.left() + 3, y), QPointF(r.right() - 3, y));
}

QPixmap Draw(Picture picture) {
  QPixmap pixmap(24, 24);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  switch (picture) {
    case Picture::Print:
      Page(p, QRectF(6.5, 2.5, 11, 8));
      p.setPen(QPen(kInk, 1.5));
      p.setBrush(QColor(0xb8, 0xc0, 0xcc));
      p.drawRoundedRect(QRectF(2.5, 9.5, 19, 9), 2, 2);
      p.setBrush(kPaper);
      p.drawRect(QRectF(6.5, 15.5, 11, 6));
      break;
    case Picture::Paste:
      p.setPen(QPen(kInk, 1.5));
      p.setBrush(QColor(0xc8, 0x9b, 0x5a));
      p.drawRoundedRect(QRectF(3.5, 4.5, 14, 17), 2, 2);
      p.setBrush(QColor(0xb8, 0xc0, 0xcc));
      p.drawRoundedRect(QRectF(7.5, 2.5, 6, 4), 1, 1);
      Page(p, QRectF(10.5, 9.5, 11, 13));
      break;
    case Picture::Copy:
      Page(p, QRectF(3.5, 2.5, 11, 14));
      Page(p, QRectF(9.5, 7.5, 11, 14));
      break;
    case Picture::Settings: {
      // A light gear with a dark outline reads on light and dark toolbars.
      QFont font("DejaVu Sans");
      font.setPixelSize(24);
      QPainterPath gear;
      gear.addText(0, 0, font, QString(QChar(0x2699)));
      const QRectF box = gear.boundingRect();
      gear.translate(12 - box.center().x(), 12 - box.center().y());
      p.setPen(QPen(kInk, 1.2));
      p.setBrush(QColor(0xb8, 0xc0, 0xcc));
      p.drawPath(gear);
      break;
    }
    case Picture::Open:
      p.setPen(QPen(kInk, 1.5));
      p.setBrush(QColor(0xe8, 0xb8, 0x4a));
      p.drawRoundedRect(QRectF(2.5, 5.5, 19, 15), 1.5, 1.5);
      p.setBrush(QColor(0xf6, 0xd3, 0x7a));
      p.drawPolygon(QPolygonF({QPointF(2.5, 20.5), QPointF(6.5, 10.5), QPointF(22.5, 10.5), QPointF(18.5, 20.5)}));
      break;
    case Picture::Save:
      p.setPen(QPen(kInk, 1.5));
      p.setBrush(kAccent.lighter(150));
      p.drawRoundedRect(QRectF(3.5, 3.5, 17, 17), 2, 2);
      p.setBrush(kPaper);
      p.drawRect(QRectF(7.5, 3.5, 9, 6));
      p.drawRect(QRectF(6.5, 13.5, 11, 7));
      break;
    case Picture::Back: {
      QPainterPath arrow;
      arrow.moveTo(3, 10);
      arrow.lineTo(10, 3.5);
      arrow.lineTo(10, 7.5);
      arrow.cubicTo(17, 7.5, 21, 11, 21, 20);
      arrow.cubicTo(18.5, 15, 15, 13, 10, 13);
      arrow.lineTo(10, 16.5);
      arrow.closeSubpath();
      p.setPen(QPen(kInk, 1.3));
      p.setBrush(QColor(0x6f, 0xa8, 0xe8));
      p.drawPath(arrow);
      break;
    }
    case Picture::Stop: {
      QPolygonF octagon;
      for (int k = 0; k < 8; ++k) {
        const qreal angle = (k * 45 + 22.5) * 3.14159265 / 180;
        octagon << QPointF(12 + 9.5 * std::cos(angle), 12 + 9.5 * std::sin(angle));
      }
      p.setPen(QPen(kInk, 1.3));
      p.setBrush(QColor(0xd9, 0x4a, 0x3d));
      p.drawPolygon(octagon);
      p.setPen(QPen(Qt::white, 2.2));
      p.drawLine(QPointF(8, 12), QPointF(16, 12));
      break;
    }
  }
  return pixmap;
}

}  // namespace

QIcon ToolbarIcon(const char* themeName, Picture fallback) {
  return QIcon::fromTheme(themeName, QIcon(Draw(fallback)));
}

}  // namespace kamvo::ui
