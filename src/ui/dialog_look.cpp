#include "ui/dialog_look.h"

#include <QApplication>
#include <QWidget>

namespace kamvo::ui {

QFont FontOf(const TFontGroup& group, QFont font) {
  if (!group.Name.empty()) font.setFamily(QString::fromStdString(group.Name));
  if (group.Size > 0) font.setPointSize(group.Size);
  font.setBold(group.Style & kFontBold);
  font.setItalic(group.Style & kFontItalic);
  font.setUnderline(group.Style & kFontUnderline);
  font.setStrikeOut(group.Style & kFontStrikeOut);
  return font;
}

TFontGroup GroupOf(const QFont& font, int32_t charSet) {
  TFontGroup group;
  group.Name = font.family().toStdString();
  group.Size = font.pointSize() > 0 ? font.pointSize() : 10;
  group.CharSet = charSet & 0xFF;
  group.Style = static_cast<uint8_t>((font.bold() ? kFontBold : 0) | (font.italic() ? kFontItalic : 0) |
                                     (font.underline() ? kFontUnderline : 0) | (font.strikeOut() ? kFontStrikeOut : 0));
  return group;
}

QFont TextFontOf(const TCfg& cfg) {
  TFontGroup font = DesignedTextFont();
  ApplyTextFont(font, cfg);
  return FontOf(font, QApplication::font());
}

QFont InterfaceFontOf(const TCfg& cfg) {
  TFontGroup font;
  ApplyInterfaceFont(font, cfg);
  return FontOf(font, QApplication::font());
}

void CentreOver(QWidget* widget, const QWidget* owner) {
  if (!owner) return;
  const QRect o = owner->frameGeometry();
  widget->move(o.left() + (o.width() - widget->width()) / 2, o.top() + (o.height() - widget->height()) / 2);
}

}  // namespace kamvo::ui
