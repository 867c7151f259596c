// What every dialog shares: the fonts of the settings as Qt fonts, and
// the place over the window that opens it.
#pragma once

#include <QFont>
#include <QString>

#include "settings/settings.h"

class QWidget;

namespace kamvo::ui {

// The font with the group applied: the face only when the group names one,
// then size and style.
QFont FontOf(const TFontGroup& group, QFont font);

// The group of a chosen font. Qt fonts carry no character set: the given
// one is kept.
TFontGroup GroupOf(const QFont& font, int32_t charSet);

// The text font and the interface font of a record, applied over the
// designed text font and the application's font.
QFont TextFontOf(const TCfg& cfg);
QFont InterfaceFontOf(const TCfg& cfg);

// Centres the widget (at its current size) over the owner's frame: left =
// owner left + (owner width - width) / 2, and likewise for the top.
void CentreOver(QWidget* widget, const QWidget* owner);

// One text in both languages (UTF-8).
struct LangText {
  const char* English;
  const char* Russian;
  QString In(bool english) const { return QString::fromUtf8(english ? English : Russian); }
};

}  // namespace kamvo::ui
