#include "driver/utf8_output.h"

#include <array>
#include <cstring>
#include <vector>

#include "codepages/unicode.h"
#include "driver/converter.h"
#include "driver/target_fit.h"

namespace kamvo {

bool IsWellFormedUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    int length = 0;
    std::uint32_t c = 0;
    if (b >= 0xC2 && b <= 0xDF) {
      length = 2;
      c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      length = 3;
      c = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      length = 4;
      c = b & 0x07;
    } else {
      return false;
    }
    if (text.size() - i < static_cast<std::size_t>(length)) return false;
    for (int k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      c = (c << 6) | (next & 0x3F);
    }
    if ((length == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) || (length == 4 && (c < 0x10000 || c > 0x10FFFF)))
      return false;
    i += length;
  }
  return true;
}

Utf8Lines KeepUtf8Lines(const Text& text) {
  Utf8Lines kept;
  kept.LineCount = text.size();
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::string_view line = text[i];
    bool high = false;
    for (char c : line)
      if (static_cast<unsigned char>(c) >= 0x80) {
        high = true;
        break;
      }
    if (!high || !IsWellFormedUtf8(line)) continue;
    kept.Index.push_back(i);
    kept.Lines.AddLine(line, LineEnd::Lf);
  }
  return kept;
}

namespace {

// The UTF-8 form of each Windows-1251 byte, for turning whole texts into
// UTF-8 without a call per character.
struct Utf8Form {
  unsigned char Length = 0;
  char Bytes[3] = {};
};

using Utf8Forms = std::array<Utf8Form, 256>;

Utf8Forms FormsOf(const std::array<std::uint32_t, 256>& chars) {
  Utf8Forms table{};
  for (int b = 0; b < 256; ++b) {
    std::string form;
    AppendUtf8(form, chars[b]);
    table[b].Length = static_cast<unsigned char>(form.size());
    std::memcpy(table[b].Bytes, form.data(), form.size());
  }
  return table;
}

const Utf8Forms& WindowsForms() {
  static const Utf8Forms forms = [] {
    std::array<std::uint32_t, 256> chars{};
    for (int b = 0; b < 256; ++b) chars[b] = WinToUnicode(static_cast<Byte>(b));
    return FormsOf(chars);
  }();
  return forms;
}

std::size_t Utf8Length(std::string_view win, const Utf8Forms& forms) {
  std::size_t length = 0;
  for (unsigned char c : win) length += forms[c].Length;
  return length;
}

// The UTF-8 form of a line, in `out` (its memory reused).
void Utf8OfLine(std::string_view win, std::string& out, const Utf8Forms& forms) {
  out.resize(Utf8Length(win, forms));
  char* p = out.data();
  for (unsigned char c : win) {
    const Utf8Form& form = forms[c];
    if (form.Length == 1) {
      *p++ = static_cast<char>(c);
    } else {
      std::memcpy(p, form.Bytes, form.Length);
      p += form.Length;
    }
  }
}

// True when a line that was UTF-8 in the input keeps its input bytes: the
// run left it as it was, or decoded its UTF-8 into just what it holds now.
bool KeepsItsBytes(std::string_view line, std::string_view original, bool textStart, std::string& decoded) {
  if (line == original) return true;
  Utf8ToWin(original, decoded, textStart);
  return line == decoded;
}

}  // namespace

void ToUtf8Lines(const Utf8Lines& input, Text& result, const std::array<std::uint32_t, 256>* chars, bool startsText) {
  Utf8Forms own;
  if (chars != nullptr) own = FormsOf(*chars);
  const Utf8Forms& forms = chars != nullptr ? own : WindowsForms();
  const bool paired = input.LineCount == result.size();
  if ((!paired || input.Index.empty()) && result.LineOpen()) {
    std::string block;
    Utf8OfLine(result.Bytes(), block, forms);
    result.clear();
    result = Text::FromBytes(std::move(block));
    return;
  }
  // The lines kept as the input had them.
  std::vector<Text::LineBytes> kept;
  std::string decoded, line8;
  bool growsInPlace = !result.LineOpen();
  for (std::size_t k = 0; paired && growsInPlace && k < input.Index.size(); ++k) {
    const std::size_t i = input.Index[k];
    const std::string_view line = result[i];
    const std::string_view original = input.Lines[k];
    if (!KeepsItsBytes(line, original, i == 0 && startsText, decoded)) continue;
    kept.push_back({i, original});
    growsInPlace = original.size() >= line.size();
  }
  if (growsInPlace) {
    // The whole block grows into its UTF-8 form in place, breaks and all
    // (they are ASCII), the kept lines taking their own bytes.
    std::array<std::uint32_t, 256> packed{};
    std::array<std::uint8_t, 256> lengths{};
    for (int b = 0; b < 256; ++b) {
      lengths[b] = forms[b].Length;
      for (int k = 0; k < forms[b].Length; ++k)
        packed[b] |= static_cast<std::uint32_t>(static_cast<unsigned char>(forms[b].Bytes[k])) << (8 * k);
    }
    result.Expand(packed, lengths, kept);
    return;
  }
  Text converted;
  // Room for the whole result at once, so that the text is never copied
  // while it grows: every line converted, plus the kept lines.
  converted.Reserve(Utf8Length(result.Bytes(), forms) + input.Lines.Bytes().size(), result.size());
  std::size_t next = 0;  // the next kept line
  for (std::size_t i = 0; i < result.size(); ++i) {
    const std::string_view line = result[i];
    if (paired && next < input.Index.size() && input.Index[next] == i) {
      const std::string_view original = input.Lines[next++];
      if (KeepsItsBytes(line, original, i == 0 && startsText, decoded)) {
        converted.AddLine(original, result.End(i));
        continue;
      }
    }
    Utf8OfLine(line, line8, forms);
    converted.AddLine(line8, result.End(i));
  }
  result.swap(converted);
}

void FinishUtf8Target(Converter& converter, const Utf8Lines& input) {
  if (converter.RunInUse().Source == 0 && !converter.Detection.Found) return;
  const std::array<std::uint32_t, 256> chars = ResultCharacters(converter, kWindows);
  // Text taken out of an outer UTF-8 layer has no line of the input left
  // in it: every line is written from the conversion.
  const bool layered = converter.RunInUse().Source == 0 && !converter.Detection.Layer.Empty();
  ToUtf8Lines(layered ? Utf8Lines() : input, converter.TextBuffer, &chars);
}

bool ToUtf8Lines(const Text& input, Text& result) {
  const bool paired = input.size() == result.size();
  ToUtf8Lines(KeepUtf8Lines(input), result);
  return paired && result.Bytes() == input.Bytes();
}

}  // namespace kamvo
