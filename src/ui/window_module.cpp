// The window as a module the command-line program loads only when it opens
// the window, so that converting files never loads the GUI toolkit.
#include "ui/app.h"

extern "C" __attribute__((visibility("default"))) int kamvo_run_window(int argc, char** argv) {
  return kamvo::ui::RunWindowProgram(argc, argv);
}
