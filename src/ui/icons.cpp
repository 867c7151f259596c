#include "ui/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

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
  for (qreal y = r.top() + 4; y < r.bottom() - 2; y += 3.5) p.drawLine(QPointF(r.left() + 3, y), QPointF(r.right() - 3, y));
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
      QFont font("DejaVu Sans");
      font.setPixelSize(22);
      p.setFont(font);
      p.setPen(kInk);
      p.drawText(QRect(0, 0, 24, 24), Qt::AlignCenter, QString(QChar(0x2699)));
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
