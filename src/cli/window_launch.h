// Opening the window from the command-line program: the window lives in a
// module of its own (kamvo-window.so), loaded only when it is needed, so a
// conversion on the command line never loads the GUI toolkit.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace kamvo {

// True when there is a display the window can open on: DISPLAY,
// WAYLAND_DISPLAY or QT_QPA_PLATFORM is set.
bool DisplayAvailable(const std::function<std::string(const char*)>& environment);

// The places the window module is looked for, in order: beside the program
// (the build folder), then where it is installed relative to the program.
std::vector<std::string> WindowModulePlaces(const std::string& programPath);

// Loads the window module and runs the window; its exit status. When no
// module can be loaded, says why on standard error and returns 1.
int RunWindow(int argc, char** argv, const std::string& programPath);

}  // namespace kamvo
