#include "settings/settings_edit.h"

#include <limits>

namespace kamvo {

bool ParseWholeNumber(std::string_view text, int32_t& value) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  }
  if (i == text.size()) return false;
  int64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return false;
    magnitude = magnitude * base + digit;
    if (magnitude > int64_t{std::numeric_limits<int32_t>::max()} + 1) return false;
  }
  const int64_t signed_value = negative ? -magnitude : magnitude;
  if (signed_value > std::numeric_limits<int32_t>::max()) return false;
  value = static_cast<int32_t>(signed_value);
  return true;
}

bool DetectionLimitAllowed(std::string_view text) {
  int32_t value = 0;
  return ParseWholeNumber(text, value) && value >= kMinDetectionLimit && value <= kMaxDetectionLimit;
}

int32_t DetectionLimitFromText(std::string_view text) {
  int32_t value = 0;
  return ParseWholeNumber(text, value) ? value : kDefaultDetectionLimit;
}

std::string JoinTranslitTable(const std::array<std::string, kTranslitLetters>& spellings) {
  std::string table;
  for (const std::string& spelling : spellings) {
    table += spelling;
    table += "\r\n";
  }
  return table;
}

Byte FilterTranslitKey(Byte typed) {
  const Byte upper = UpperRus(typed);
  if (upper == 8 || upper == 9 || upper == 27 || (upper >= 'A' && upper <= 'Z')) return upper;
  return 0;
}

}  // namespace kamvo
