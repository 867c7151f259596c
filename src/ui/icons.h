// Toolbar pictures drawn by the program, for desktops without an icon theme.
#pragma once

#include <QIcon>

namespace kamvo::ui {

enum class Picture { Print, Paste, Copy, Settings };

// The theme's icon of that name, or the program's own drawing.
QIcon ToolbarIcon(const char* themeName, Picture fallback);

}  // namespace kamvo::ui
