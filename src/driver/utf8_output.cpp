#include "driver/utf8_output.h"

#include "codepages/unicode.h"
#include "driver/converter.h"

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

bool ToUtf8Lines(const Text& input, Text& result) {
  const bool paired = input.size() == result.size();
  bool allKept = paired;
  Text converted;
  converted.Reserve(result.Bytes().size() + result.Bytes().size() / 2, result.size());
  std::string decoded;
  for (std::size_t i = 0; i < result.size(); ++i) {
    const std::string_view line = result[i];
    if (paired && IsWellFormedUtf8(input[i])) {
      if (line == input[i]) {
        converted.AddLine(line, result.End(i));
        continue;
      }
      Utf8ToWin(input[i], decoded, i == 0);
      if (line == decoded) {
        converted.AddLine(input[i], result.End(i));
        continue;
      }
    }
    converted.AddLine(Utf8FromWin(line), result.End(i));
    allKept = false;
  }
  result.swap(converted);
  return allKept;
}

bool FinishUtf8Target(Converter& converter, const Text& input) {
  if (converter.FromIndex == 0 && !converter.Detection.Found) return false;
  return ToUtf8Lines(input, converter.TextBuffer);
}

}  // namespace kamvo
