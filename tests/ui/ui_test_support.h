// Shared pieces of the window's tests: a fresh window over a prepared
// settings store, its controls by name, and modal dialogs answered from a
// timer.
#pragma once

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "settings/settings.h"
#include "ui/main_window.h"

namespace kamvo::testing {

// Stores settings as a user would have them before the window starts.
// Stores the default settings with the given changes. The sample of the
// first run is not shown (the store says it was).
inline void StoreSettings(const std::function<void(TSettings&)>& change) {
  TSettings s;
  s.Cfg.ConvertOnStart = false;
  s.Cfg.WordWrapOn = false;
  s.Cfg.Target = "cp1251";  // the target the tests were written for, whatever the locale
  change(s);
  WriteCfg(s.Cfg);
  ClearFirstRun(s);
}

// Calls act with the next modal dialog as soon as it is open.
inline void AnswerNextDialog(std::function<void(QWidget*)> act) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    if (QWidget* dialog = QApplication::activeModalWidget()) {
      timer->stop();
      timer->deleteLater();
      act(dialog);
    }
  });
  timer->start();
}

class WindowTest : public ::testing::Test {
 protected:
  // Opens the window as the program does and waits for its first
  // activation to have run.
  // With a program path the store is set up as after installing the program
  // there: the next start is the first.
  void Open(
      const std::function<void(TSettings&)>& change = [](TSettings&) {}, const std::string& installedProgram = {}) {
    StoreSettings(change);
    if (!installedProgram.empty()) {
      TSettings s;
      SetupFirstRun(s, installedProgram);
    }
    window = std::make_unique<ui::TMainWindow>();
    window->TrayClick();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QCoreApplication::processEvents();
  }

  template <typename T>
  T* Find(const char* name) const {
    T* widget = window->findChild<T*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  QPlainTextEdit* Editor() const { return Find<QPlainTextEdit>("editor"); }
  QString EditorText() const { return Editor()->toPlainText(); }
  QString Pane() const { return Find<QLabel>("infoPane")->text(); }
  QAction* Tool(const char* name) const { return Find<QAction>(name); }
  QComboBox* FromList() const { return Find<QComboBox>("fromList"); }
  QComboBox* ToList() const { return Find<QComboBox>("toList"); }
  void ChooseFrom(const char* name) const { FromList()->setCurrentIndex(FromList()->findText(name)); }
  void ChooseTo(const char* name) const { ToList()->setCurrentIndex(ToList()->findText(name)); }

  // Puts a text in the editor as the program does.
  void SetText(const QString& text) { window->Replace(text); }
  // Runs a conversion to its end.
  void Convert() {
    Find<QPushButton>("convertButton")->click();
    WaitIdle();
  }
  void WaitIdle() {
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->Running(); }, 30000));
    QCoreApplication::processEvents();
  }

  std::unique_ptr<ui::TMainWindow> window;
};

}  // namespace kamvo::testing
