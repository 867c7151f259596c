// The window's tests run on the offscreen platform, each process with its
// own runtime, config, data and home folders.
#include <stdlib.h>
#include <sys/stat.h>

#include <QApplication>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  char folder[] = "/tmp/kamvo-ui-test-XXXXXX";
  if (!mkdtemp(folder)) return 2;
  chmod(folder, 0700);
  const std::string root = folder;
  for (const char* sub : {"/config", "/data", "/home"}) std::filesystem::create_directories(root + sub);
  setenv("XDG_RUNTIME_DIR", root.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
  setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
  setenv("HOME", (root + "/home").c_str(), 1);
  setenv("TMPDIR", root.c_str(), 1);  // attachments opened or dragged land here
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  setenv("LANG", "C.UTF-8", 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);

  int status = 0;
  {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    status = RUN_ALL_TESTS();
  }
  std::error_code error;
  std::filesystem::remove_all(root, error);
  return status;
}
