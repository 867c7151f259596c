#include "driver/target_fit.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <vector>

#include "codepages/code_page_unicode.h"
#include "codepages/unicode.h"
#include "driver/converter.h"
#include "driver/utf8_output.h"

namespace kamvo {

std::string Transliteration(std::uint32_t c) {
  switch (c) {
    case 0x2010:
    case 0x2011:
    case 0x2012:
    case 0x2013:
    case 0x2014:
    case 0x2015:
    case 0x2212:
      return "-";
    case 0x00AB:
      return "<<";
    case 0x00BB:
      return ">>";
    case 0x2018:
    case 0x2019:
    case 0x201B:
    case 0x2032:
      return "'";
    case 0x201A:
      return ",";
    case 0x201C:
    case 0x201D:
    case 0x201F:
    case 0x2033:
      return "\"";
    case 0x201E:
      return ",,";
    case 0x2039:
      return "<";
    case 0x203A:
      return ">";
    case 0x2026:
      return "...";
    case 0x20AC:
      return "EUR";
    case 0x2116:
      return "No";
    case 0x00A9:
      return "(C)";
    case 0x00AE:
      return "(R)";
    case 0x2122:
      return "(TM)";
    case 0x00A0:
    case 0x2002:
    case 0x2003:
    case 0x2009:
    case 0x202F:
      return " ";
    case 0x2022:
    case 0x00B7:
      return "o";
    case 0x00B1:
      return "+-";
    case 0x00D7:
      return "x";
    case 0x00AD:
      return "";
    case 0x2264:
      return "<=";
    case 0x2265:
      return ">=";
    case 0x00F7:
      return "/";
    case 0x00B2:
      return "2";
    case 0x00B5:
      return "u";
    case 0x00A6:
      return "|";
    case 0x00AC:
      return "!";
    case 0x2020:
      return "+";
    // Single box-drawing lines, as iconv spells them; the rest is "?".
    case 0x2500:
      return "-";
    case 0x2502:
      return "|";
    case 0x250C:
    case 0x2510:
    case 0x2514:
    case 0x2518:
    case 0x251C:
    case 0x2524:
    case 0x252C:
    case 0x2534:
    case 0x253C:
      return "+";
    case 0x0401:
      return "E";  // Ё where a target lacks it
    case 0x0451:
      return "e";
    default:
      return "?";
  }
}

void AppendInTarget(std::uint32_t c, int target, std::string& out, std::size_t& spelt) {
  Byte b = 0;
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (UnicodeToCodePage(target, c, b)) {
    out.push_back(static_cast<char>(b));
  } else {
    out += Transliteration(c);
    ++spelt;
  }
}

namespace {

// The code page the run read the text in, when one is known: the chosen
// source, or the start of a chain of at most one pair into Windows-1251.
std::optional<int> SourceOf(const Converter& converter) {
  if (converter.RunInUse().Source != 0) return converter.RunInUse().Source;
  const DetectionState& detection = converter.Detection;
  if (!detection.Layer.Empty()) return std::nullopt;
  int pairs = 0, first = 0;
  for (int pair : detection.BestChain)
    if (pair != 0) {
      if (pairs++ == 0) first = pair;
    }
  if (pairs == 0) return kWindows;
  if (pairs == 1 && PairTo(first) == kWindows) return PairFrom(first);
  return std::nullopt;
}

}  // namespace

std::array<std::uint32_t, 256> ResultCharacters(const Converter& converter, int target) {
  std::array<std::uint32_t, 256> chars{};
  if (const std::optional<int> source = SourceOf(converter)) {
    for (int s = 0; s < 256; ++s) chars[converter.Table[s]] = CodePageToUnicode(*source, static_cast<Byte>(s));
  } else {
    for (int y = 0; y < 256; ++y) chars[y] = WinToUnicode(ConvChar(static_cast<Byte>(y), target, kWindows));
  }
  return chars;
}

namespace {

// The UTF-8 of each byte's character in the code page.
std::array<std::string, 256> Utf8OfBytes(int code) {
  std::array<std::string, 256> table;
  for (int b = 0; b < 256; ++b) AppendUtf8(table[b], CodePageToUnicode(code, static_cast<Byte>(b)));
  return table;
}

// True when `utf8` (after a byte order mark at the text's start) is the
// UTF-8 of `bytes` read by `table`.
bool IsUtf8Of(std::string_view utf8, std::string_view bytes, bool textStart,
              const std::array<std::string, 256>& table) {
  if (textStart && utf8.substr(0, 3) == "\xEF\xBB\xBF") utf8.remove_prefix(3);
  std::size_t at = 0;
  for (const char c : bytes) {
    const std::string& code = table[static_cast<Byte>(c)];
    if (utf8.compare(at, code.size(), code) != 0) return false;
    at += code.size();
  }
  return at == utf8.size();
}

}  // namespace

TargetFit FitSingleByteTarget(Converter& converter, const Utf8Lines& input, int target) {
  if (converter.RunInUse().Source == 0 && !converter.Detection.Found) return {};
  Text& result = converter.TextBuffer;
  // Text taken out of an outer UTF-8 layer keeps no line of the input.
  const bool layered = converter.RunInUse().Source == 0 && !converter.Detection.Layer.Empty();
  const bool paired = !layered && !input.Index.empty() && input.LineCount == result.size();
  std::size_t next = 0;  // the next UTF-8 line of the input
  const CodeTable intoTarget = BuildCodeTable(kWindows, target);
  const std::array<std::string, 256> targetUtf8 = Utf8OfBytes(target);
  const bool utf8Given = converter.RunInUse().Source != 0 && converter.RunInUse().Switches.Utf8;

  // Each byte of the result stands for a character (ResultCharacters):
  // the target's byte of it, or its spelling.
  std::array<std::string, 256> spelling;
  std::array<bool, 256> spelt{};
  std::array<bool, 256> changes{};
  const std::array<std::uint32_t, 256> chars = ResultCharacters(converter, target);
  for (int y = 0x80; y < 256; ++y) {
    std::size_t count = 0;
    AppendInTarget(chars[y], target, spelling[y], count);
    spelt[y] = count > 0;
    changes[y] = spelling[y] != std::string(1, static_cast<char>(y));
  }
  bool anyChange = false;
  for (bool c : changes) anyChange = anyChange || c;

  // The lines that change are found first, their new bytes set aside:
  // only a line the run decoded from UTF-8 or one holding a byte that
  // changes can change, and the bytes that change are looked for across
  // the whole block at once (breaks never change).
  std::size_t total = 0;
  struct Fitted {
    std::size_t Line;
    std::string Bytes;
  };
  std::vector<Fitted> refitted;
  bool sameLengths = true;
  const std::string_view all = result.Bytes();
  auto nextChange = [&](std::size_t from) {
    if (!anyChange) return all.size();
    while (from < all.size() && !changes[static_cast<unsigned char>(all[from])]) ++from;
    return from;
  };
  // The line whose bytes hold the byte at `at` (never a break's byte).
  auto lineAt = [&](std::size_t at) {
    std::size_t low = 0, high = result.size();
    while (low < high) {
      const std::size_t middle = low + (high - low) / 2;
      if (result.ContentEnd(middle) > at) {
        high = middle;
      } else {
        low = middle + 1;
      }
    }
    return low;
  };
  std::size_t changeAt = nextChange(0);
  std::string decoded, line;
  while (true) {
    const std::size_t pairedLine = paired && next < input.Index.size() ? input.Index[next] : result.size();
    const std::size_t changedLine = changeAt < all.size() ? lineAt(changeAt) : result.size();
    const std::size_t i = std::min(pairedLine, changedLine);
    if (i >= result.size()) break;
    const std::string_view now = result[i];
    line.clear();
    bool made = false;
    if (i == pairedLine) {
      // A line the run only decoded from UTF-8: made from its characters.
      const std::string_view original = input.Lines[next++];
      // Most lines hold only characters the target has, each at the byte the
      // run wrote: nothing to make then, at the cost of one table pass.
      const bool asWritten = IsUtf8Of(original, now, i == 0, targetUtf8);
      if (!asWritten) Utf8ToWin(original, decoded, i == 0);
      // With UTF-8 named as the source, a well-formed line is UTF-8 even
      // where most of its characters are ones Windows-1251 lacks (box
      // drawing, Greek) and the UTF-8 step left it as it was.
      if (!asWritten && ((now == ConvertByTable(decoded, intoTarget) && decoded != original) ||
                         (utf8Given && now == ConvertByTable(original, converter.Table)))) {
        std::string_view rest = original;
        if (i == 0 && rest.substr(0, 3) == "\xEF\xBB\xBF") rest.remove_prefix(3);
        std::size_t at = 0;
        while (at < rest.size()) {
          const auto lead = static_cast<unsigned char>(rest[at]);
          const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
          std::uint32_t c = length == 1 ? lead : lead & (0x7F >> length);
          for (int k = 1; k < length; ++k) c = (c << 6) | (static_cast<unsigned char>(rest[at + k]) & 0x3F);
          AppendInTarget(c, target, line, total);
          at += static_cast<std::size_t>(length);
        }
        made = line != now;
      }
    }
    if (!made && i == changedLine) {
      line.clear();
      for (unsigned char y : now) {
        if (changes[y]) {
          line += spelling[y];
          total += spelt[y];
        } else {
          line.push_back(static_cast<char>(y));
        }
      }
      made = true;
    }
    if (made) {
      sameLengths = sameLengths && line.size() == now.size();
      refitted.push_back({i, line});
    }
    if (i == changedLine) changeAt = nextChange(result.ContentEnd(i));
  }
  if (refitted.empty()) return {total, false};
  if (sameLengths) {
    // Spellings of one byte (as "?" for box drawing): the text keeps its
    // block, with no second copy of a large text.
    for (const Fitted& f : refitted) std::memcpy(result.MutableLine(f.Line), f.Bytes.data(), f.Bytes.size());
    return {total, true};
  }
  Text fitted;
  fitted.Reserve(all.size() + all.size() / 8, result.size());
  std::size_t kept = 0;  // the lines before it stay as they are
  for (const Fitted& f : refitted) {
    fitted.AppendLines(result, kept, f.Line);
    fitted.AddLine(f.Bytes, result.End(f.Line));
    kept = f.Line + 1;
  }
  fitted.AppendLines(result, kept, result.size());
  result.swap(fitted);
  return {total, true};
}

}  // namespace kamvo
