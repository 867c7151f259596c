// Toolbar pictures drawn by the program, for desktops without an icon
// theme: light shapes with a dark outline, which read on light and dark
// palettes alike.
#pragma once

#include <QIcon>

namespace kamvo::ui {

enum class Picture { Open, Save, Print, Paste, Copy, Back, Stop, Settings };

// The theme's icon of that name, or the program's own drawing.
QIcon ToolbarIcon(const char* themeName, Picture fallback);

}  // namespace kamvo::ui
