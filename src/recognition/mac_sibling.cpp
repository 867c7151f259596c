#include "recognition/mac_sibling.h"

#include "codepages/code_tables.h"

namespace kamvo {

namespace {

constexpr std::size_t kMarkBytes = 256 * 1024;

// Small letters а..ю, the same bytes in both code pages (я differs).
bool IsSharedSmall(Byte b) { return b >= 0xE0 && b <= 0xFE; }
bool IsMacCapitalRow(Byte b) { return b >= 0x80 && b <= 0x9F; }
// Windows-1251 А..Ю (Mac puts signs, ё and я there: 0xDE and 0xDF left out).
bool IsWindowsCapital(Byte b) { return b >= 0xC0 && b <= 0xDD; }
bool IsLetterByte(Byte b) { return ((b | 0x20) >= 'a' && (b | 0x20) <= 'z') || b >= 0x80; }

}  // namespace

MacMarks CountMacMarks(const Text& text) {
  MacMarks marks;
  std::size_t bytes = 0;
  for (std::size_t l = 0; l < text.size() && bytes < kMarkBytes; ++l) {
    const std::string_view line = text[l];
    bytes += line.size() + 1;
    for (std::size_t i = 0; i + 1 < line.size(); ++i) {
      const auto b = static_cast<Byte>(line[i]);
      const auto next = static_cast<Byte>(line[i + 1]);
      const bool opens = i == 0 || !IsLetterByte(static_cast<Byte>(line[i - 1]));
      if (opens && IsSharedSmall(next)) {
        marks.Mac += IsMacCapitalRow(b);
        marks.Windows += IsWindowsCapital(b);
      }
      // After a small letter: я (Mac's 0xDF, Windows-1251's Я); Ukrainian
      // і and є (Mac's 0xB4 and 0xB9, Windows-1251's ґ and №) against
      // Windows-1251's і, ї and є (Mac's ≥, ѕ and ·).
      if (i > 0 && IsSharedSmall(static_cast<Byte>(line[i - 1]))) {
        marks.Mac += b == 0xDF || b == 0xB4 || b == 0xB9;
        marks.Windows += b == 0xB3 || b == 0xBF || b == 0xBA;
      }
    }
  }
  return marks;
}

}  // namespace kamvo
