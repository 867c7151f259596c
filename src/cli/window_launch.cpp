#include "cli/window_launch.h"

#include <dlfcn.h>

#include <filesystem>
#include <iostream>

namespace kamvo {

bool DisplayAvailable(const std::function<std::string(const char*)>& environment) {
  return !environment("DISPLAY").empty() || !environment("WAYLAND_DISPLAY").empty() ||
         !environment("QT_QPA_PLATFORM").empty();
}

std::vector<std::string> WindowModulePlaces(const std::string& programPath) {
  const std::filesystem::path folder = std::filesystem::path(programPath).parent_path();
  return {(folder / "kamvo-window.so").string(),
          (folder / KAMVO_WINDOW_MODULE_DIR / "kamvo-window.so").lexically_normal().string()};
}

int RunWindow(int argc, char** argv, const std::string& programPath) {
  std::string reasons;
  for (const std::string& place : WindowModulePlaces(programPath)) {
    void* module = ::dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
      reasons += std::string("\n  ") + ::dlerror();
      continue;
    }
    using RunWindowFunction = int (*)(int, char**);
    const auto run = reinterpret_cast<RunWindowFunction>(::dlsym(module, "kamvo_run_window"));
    if (run != nullptr) return run(argc, argv);
    reasons += "\n  " + place + ": no window in it";
  }
  std::cerr << "kamvo: the window cannot be opened, its module is missing:" << reasons << "\n";
  return 1;
}

}  // namespace kamvo
