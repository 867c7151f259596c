// MacCyrillic and Windows-1251 put the small letters but я in the same
// places, so a Mac text reads almost well as Windows-1251: only its capitals
// (which Windows-1251 shows as signs and Serbian letters: ‚ …сли, Њужики)
// and я (which it shows as Я: хочетсЯ) go wrong. The bytes themselves tell
// the two apart where word reading can hardly: a Mac text has those marks
// and no Windows-1251 capital before a small letter, a Windows-1251 text
// has such capitals at the start of nearly every sentence.
#pragma once

#include "codepages/text.h"

namespace kamvo {

struct MacMarks {
  int Mac = 0;      // a byte 0x80..0x9F opening a word of small letters, or 0xDF, 0xB4, 0xB9 after one
  int Windows = 0;  // a capital А..Ю of Windows-1251 opening a word of small letters, or 0xB3, 0xBF, 0xBA after one
};

// Counts the marks in the first lines of the text (a few hundred kilobytes).
MacMarks CountMacMarks(const Text& text);

// True when the marks show a Mac text: one of its own at least, none of
// Windows-1251. Whether the text then reads well through MacCyrillic decides.
inline bool LooksLikeMac(const MacMarks& marks) { return marks.Mac >= 1 && marks.Windows == 0; }

}  // namespace kamvo
