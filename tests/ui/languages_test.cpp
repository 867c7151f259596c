// Every text a user sees in the windows exists in both languages: shown in
// English and in Russian, no text of a window is the same in both, except
// names (code pages, formats, the program's).
#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>
#include <QTableWidget>

#include <map>

#include "ui/dialogs.h"
#include "ui/settings_dialog.h"
#include "ui/translit_dialog.h"
#include "ui/warning_form.h"
#include "ui_test_support.h"

namespace kamvo::testing {
namespace {

using Texts = std::map<QString, QString>;  // where it is shown -> the text

// Every visible text of a window and its children: captions, hints, list
// entries, menus, headings.
Texts Collect(QWidget* root) {
  Texts texts;
  const auto add = [&](const QString& where, const QString& text) {
    if (!text.trimmed().isEmpty()) texts[where] = text;
  };
  QList<QWidget*> widgets = root->findChildren<QWidget*>();
  widgets.prepend(root);
  for (QWidget* w : widgets) {
    const QString name = w->objectName();
    if (name.isEmpty() || name.startsWith("qt_")) continue;
    if (w->isWindow()) add(name + ".title", w->windowTitle());
    add(name + ".hint", w->toolTip());
    if (auto* label = qobject_cast<QLabel*>(w)) add(name + ".text", label->text());
    if (auto* button = qobject_cast<QAbstractButton*>(w)) add(name + ".text", button->text());
    if (auto* box = qobject_cast<QGroupBox*>(w)) add(name + ".title", box->title());
    if (auto* list = qobject_cast<QComboBox*>(w))
      for (int i = 0; i < list->count(); ++i) add(name + ".item" + QString::number(i), list->itemText(i));
    if (auto* menu = qobject_cast<QMenu*>(w)) add(name + ".title", menu->title());
    if (auto* grid = qobject_cast<QTableWidget*>(w))
      for (int c = 0; c < grid->columnCount(); ++c)
        if (grid->item(0, c)) add(name + ".heading" + QString::number(c), grid->item(0, c)->text());
  }
  for (QAction* action : root->findChildren<QAction*>()) {
    if (action->objectName().isEmpty() && action->text().isEmpty()) continue;
    const QString name = action->objectName().isEmpty() ? "action:" + action->text() : action->objectName();
    add(name + ".text", action->text());
    add(name + ".hint", action->toolTip());
  }
  return texts;
}

// Names read the same in every language.
bool IsName(QString text) {
  text.remove('&');
  static const QStringList names = {"KAMVO", "Windows", "Dos", "KOI-8", "ISO 8859-5", "UTF-8", "MacCyrillic", "KOI8-U",
                                    "CP1125", "IBM855", "RTF", "HTML", "OK",
                                    // a language is named in its own
                                    "English", "Русский"};
  return names.contains(text) || !text.contains(QRegularExpression("[A-Za-zА-Яа-яЁё]"));
}

// The texts the same in both languages, as "where: text".
QStringList Untranslated(const Texts& english, const Texts& russian) {
  QStringList same;
  for (const auto& [where, text] : english) {
    const auto other = russian.find(where);
    if (other == russian.end())
      same << where + ": only in English: " + text;
    else if (other->second == text && !IsName(text))
      same << where + ": " + text;
  }
  for (const auto& [where, text] : russian)
    if (!english.count(where)) same << where + ": only in Russian: " + text;
  return same;
}

class LanguagesTest : public WindowTest {};

TEST_F(LanguagesTest, EveryWindowSpeaksBothLanguages) {
  Texts texts[2];
  for (const bool english : {true, false}) {
    TCfg cfg;
    cfg.English = english;
    Open([english](TSettings& s) { s.Cfg.English = english; });
    Texts& all = texts[english ? 0 : 1];
    const auto take = [&](const char* window, QWidget* root) {
      for (const auto& [where, text] : Collect(root)) all[QString(window) + "/" + where] = text;
    };
    take("main", window.get());
    ui::TYesNoForm question(QString::fromUtf8("?"), english, window->font(), nullptr);
    take("question", &question);
    ui::TAboutForm about(cfg, nullptr);
    take("about", &about);
    ui::TCfgForm settings(cfg, nullptr);
    settings.FormShow();
    take("settings", &settings);
    ui::TTranslitForm translit(cfg, nullptr);
    translit.FormShow();
    take("translit", &translit);
    ui::TWarningForm warning("file.txt", cfg, nullptr);
    take("warning", &warning);
    window.reset();
  }
  EXPECT_GT(texts[0].size(), 80u);
  const QStringList same = Untranslated(texts[0], texts[1]);
  EXPECT_TRUE(same.isEmpty()) << same.join("\n").toStdString();
}

}  // namespace
}  // namespace kamvo::testing
