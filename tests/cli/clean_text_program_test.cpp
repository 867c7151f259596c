// The real program leaves correct text alone: typography, other Cyrillic
// languages, capitals, emoji and box drawing come out byte for byte, while
// text in a wrong code page is still restored.
#include <gtest/gtest.h>

#include "support/iconv.h"
#include "support/run_kamvo.h"
#include "support/temp_dir.h"

namespace kamvo {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// UTF-8 text in the named code page, by the system's iconv.
std::string Encode(const std::string& utf8, const char* code) {
  std::string out;
  return testing::Iconv(utf8, "UTF-8", code, out) ? out : std::string();
}

struct Case {
  const char* text;      // UTF-8
  const char* code;      // the code page the file is written in
  const char* target;    // --to
  const char* expected;  // UTF-8 text the output must hold, in the target; null: the text itself
  // Conversions by iconv that damaged the file, "FROM>TO" each, in order:
  // the text read in the wrong code page FROM and saved in TO.
  const char* misread = nullptr;
};

const Case kCases[] = {
    {"Стоимость билета — 500 рублей, скидка 10 %.\n", "UTF-8", "utf-8", nullptr},
    {"Привет, «ёлка» и всё.\n", "UTF-8", "utf-8", nullptr},
    {"Цена 5 €, доставка — бесплатно.\n", "UTF-8", "utf-8", nullptr},
    {"-- Лопе де Вега\n", "UTF-8", "utf-8", nullptr},
    {"карманные книжки в двадцать су.\n", "UTF-8", "utf-8", nullptr},
    {"Привет! 😀 Формула: α+β ≤ γ, цена 5 €…\n", "UTF-8", "utf-8", nullptr},
    {"Письмо от John Smith пришло вчера вечером.\n", "UTF-8", "utf-8", nullptr},
    {"Привет, «ёлка» и всё… Дело № 12.\n", "UTF-8", "utf-8", nullptr},
    {"#include <stdio.h> // вывод на экран\n", "UTF-8", "utf-8", nullptr},
    {"From: Иван Петров <ivan@example.ru>\n", "UTF-8", "utf-8", nullptr},
    {"Ми зустрілися біля старої школи, де колись навчалися разом.\n", "UTF-8", "utf-8", nullptr},
    {"Ми зустрілися біля річки, і вона сказала, що все буде добре.\nЇї брат навіть не знав.\n", "UTF-8", "utf-8",
     nullptr},
    {"Ми зустрілися біля річки, і вона сказала, що все буде добре.\nЇї брат навіть не знав.\n", "CP1251", "cp1251",
     nullptr},
    {"Срещнахме се до реката и тя каза, че всичко ще бъде наред.\n", "CP1251", "cp1251", nullptr},
    {"Љубав и пријатељство су најважније ствари у животу.\n", "UTF-8", "utf-8", nullptr},
    {"ЧЁРНЫЙ КОТ\n", "CP1251", "cp1251", nullptr},
    {"ВНИМАНИЕ! ВАЖНОЕ СООБЩЕНИЕ\nЗавтра — «день открытых дверей», № 5.\n", "CP1251", "cp1251", nullptr},
    {"Таблица по русскому языку\r\n┌──────────┬──────┐\r\n│ полюбили │  705 │\r\n└──────────┴──────┘\r\n", "CP866",
     "cp866", nullptr},
    {"Таблица по русскому языку\r\n┌──────────┬──────┐\r\n│ полюбили │  705 │\r\n└──────────┴──────┘\r\n", "CP866",
     "utf-8", nullptr},
    // Text in a wrong code page is still restored.
    {"Привет, как дела? Всё хорошо, спасибо.\n", "KOI8-R", "utf-8", "Привет, как дела? Всё хорошо, спасибо.\n"},
    {"Сегодня хорошая погода, мы идём гулять в парк.\n", "CP866", "cp1251", nullptr},
    // Text damaged by real converters through the upper rows of the code
    // pages is restored.
    {"Мы встретились у старой школы, где когда-то учились вместе. С тех пор прошло 15 лет.\n", "CP1251", "utf-8",
     "Мы встретились у старой школы, где когда-то учились вместе. С тех пор прошло 15 лет.\n", "ISO-8859-5>CP1251"},
    {"мы встретились у старой школы, где когда-то учились вместе. с тех пор прошло 15 лет.\n", "CP866", "utf-8",
     "мы встретились у старой школы, где когда-то учились вместе. с тех пор прошло 15 лет.\n", "KOI8-R>CP866"},
};

TEST(CleanTextProgram, CorrectTextComesOutAsItWentIn) {
  TempDir dir;
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.text) + " in " + c.code);
    std::string bytes = Encode(c.text, c.code);
    ASSERT_FALSE(bytes.empty());
    for (std::string_view steps = c.misread ? c.misread : ""; !steps.empty();) {
      const std::string step(steps.substr(0, steps.find(' ')));
      steps.remove_prefix(std::min(steps.size(), step.size() + 1));
      const std::string from = step.substr(0, step.find('>')), to = step.substr(step.find('>') + 1);
      std::string misread;
      ASSERT_TRUE(testing::Iconv(bytes, from.c_str(), to.c_str(), misread)) << step;
      bytes = misread;
    }
    WriteFile(dir / "in.txt", bytes);
    const testing::ProgramRun run =
        testing::RunKamvo(dir, {"--stdout", std::string("--to=") + c.target, dir / "in.txt"});
    const char* targetCode = std::string_view(c.target) == "utf-8"    ? "UTF-8"
                             : std::string_view(c.target) == "cp1251" ? "CP1251"
                                                                      : "CP866";
    const std::string expected = c.expected
                                     ? Encode(c.expected, targetCode)
                                     : (std::string_view(c.code) == targetCode ? bytes : Encode(c.text, targetCode));
    EXPECT_EQ(run.Out, expected) << run.Err;
  }
}

}  // namespace
}  // namespace kamvo
