// Renders the dialogs and the attachment view into PNG files:
//   kamvo_dialog_screenshots FOLDER english|russian SUFFIX
// writes FOLDER/attachments-SUFFIX.png (the window after converting a mail
// with two attachments), word-report-SUFFIX.png (the pop-up held open over
// the window), settings-SUFFIX.png, translit-SUFFIX.png and
// open-warning-SUFFIX.png, about-SUFFIX.png, question-SUFFIX.png and
// menu-SUFFIX.png (the window with its Edit menu open). Run it on the offscreen platform with its own
// config folder (see scripts/screenshots).
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QToolButton>
#include <QtTest/QTest>

#include <cstdio>
#include <string>

#include "codepages/code_tables.h"
#include "codepages/lines.h"
#include "codepages/unicode.h"
#include "settings/settings.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"
#include "ui/settings_dialog.h"
#include "ui/translit_dialog.h"
#include "ui/warning_form.h"
#include "ui/word_report.h"

namespace {

using namespace kamvo;

// A KOI-8 letter with a document and a picture attached in Base64.
Lines Mail() {
  Lines mail;
  for (const char* line :
       {"Здравствуй, дорогой друг!", "", "Посылаю тебе отчёт за прошлый месяц и фотографию нашего нового офиса.",
        "Напиши, пожалуйста, что ты думаешь о цифрах в таблице.", "", "Твой Андрей"})
    mail.push_back(ConvertByPair(WinFromUtf8(line), 2));
  const std::pair<const char*, QByteArray> files[] = {
      {"отчёт за май.pdf", QByteArray("%PDF-1.4\n\x01\x02", 11) + QByteArray(300, 'p')},
      {"офис.jpg", QByteArray("\xFF\xD8\xFF\xE0\x00\x10JFIF", 10) + QByteArray(500, 'j')}};
  for (const auto& [name, bytes] : files) {
    mail.push_back("");
    mail.push_back("Content-Disposition: attachment; filename=\"" + WinFromUtf8(name) + "\"");
    mail.push_back("");
    const QByteArray encoded = bytes.toBase64();
    for (qsizetype i = 0; i < encoded.size(); i += 76) mail.push_back(encoded.mid(i, 76).toStdString());
  }
  return mail;
}

bool Save(QWidget* widget, const QString& file) {
  widget->show();
  if (!QTest::qWaitForWindowExposed(widget)) return false;
  QTest::qWait(100);
  return widget->grab().save(file, "PNG");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: kamvo_dialog_screenshots FOLDER english|russian SUFFIX\n");
    return 2;
  }
  const bool english = std::string(argv[2]) != "russian";
  const QString out = QString::fromLocal8Bit(argv[1]) + "/";
  const QString suffix = QString::fromLocal8Bit(argv[3]) + ".png";
  QApplication app(argc, argv);

  TSettings settings;
  ReadCfg(settings);
  settings.Cfg.English = english;
  settings.Cfg.ConvertOnStart = false;
  WriteCfg(settings.Cfg);
  ClearFirstRun(settings);

  ui::TMainWindow window;
  window.TrayClick();
  if (!QTest::qWaitForWindowActive(&window)) return 1;
  for (QToolButton* button : window.findChildren<QToolButton*>()) {
    button->setAttribute(Qt::WA_UnderMouse, false);
    button->update();
  }
  window.Replace(ui::ToQString(JoinLines(Mail(), "\n")));
  window.Start();
  if (!QTest::qWaitFor([&] { return !window.Running(); }, 30000)) return 1;
  QTest::qWait(200);
  bool ok = window.grab().save(out + "attachments-" + suffix, "PNG");

  // The word report, held open over the window.
  QLabel* pane = window.findChild<QLabel*>("infoPane");
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), pane->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(pane, &press);
  if (auto* popup = window.findChild<ui::TInfoForm*>("TInfoForm")) {
    if (!QTest::qWaitForWindowExposed(popup)) return 1;
    QTest::qWait(100);
    QPixmap shot = window.grab();
    QPainter painter(&shot);
    painter.drawPixmap(popup->geometry().topLeft() - window.geometry().topLeft(), popup->grab());
    painter.end();
    ok = shot.save(out + "word-report-" + suffix, "PNG") && ok;
  } else {
    ok = false;
  }
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), pane->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(pane, &release);

  ui::TCfgForm form(window.Settings().Cfg, &window);
  ok = Save(&form, out + "settings-" + suffix) && ok;
  ui::TTranslitForm translit(window.Settings().Cfg, &form);
  ok = Save(&translit, out + "translit-" + suffix) && ok;
  ui::TWarningForm warning(WinFromUtf8("отчёт за май.pdf"), window.Settings().Cfg, &window);
  ok = Save(&warning, out + "open-warning-" + suffix) && ok;
  ui::TAboutForm about(window.Settings().Cfg, &window);
  ok = Save(&about, out + "about-" + suffix) && ok;
  const std::string question =
      english ? "Convert 3 file(s) and 1 folder(s)\r\nfrom Auto to UTF-8 ?"
              : WinFromUtf8("Перекодировать 3 файла и 1 директорию\r\nиз кодировки Авто в UTF-8 ?");
  ui::TYesNoForm ask(ui::ToQString(question), english, window.font(), &window);
  ok = Save(&ask, out + "question-" + suffix) && ok;

  // The Edit menu, open over the window.
  QMenu* edit = window.findChild<QMenu*>("editMenu");
  QAction* entry = edit->menuAction();
  const QRect at = window.menuBar()->actionGeometry(entry);
  edit->popup(window.menuBar()->mapToGlobal(at.bottomLeft()));
  if (QTest::qWaitForWindowExposed(edit)) {
    QTest::qWait(100);
    QPixmap shot = window.grab();
    QPainter painter(&shot);
    painter.drawPixmap(edit->geometry().topLeft() - window.geometry().topLeft(), edit->grab());
    painter.end();
    ok = shot.save(out + "menu-" + suffix, "PNG") && ok;
  } else {
    ok = false;
  }
  edit->hide();
  return ok ? 0 : 1;
}
