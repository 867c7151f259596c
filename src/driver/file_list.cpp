#include "driver/file_list.h"

#include <cstdint>
#include <cstring>

namespace kamvo {

namespace {

bool IsControlByte(unsigned char b) { return b < 0x20 && b != 0x09 && b != 0x0A && b != 0x0D; }

}  // namespace

bool HasControlBytes(std::string_view bytes) {
  // Every file is tested before it is converted, so the test runs over 64
  // bytes at a time (with the compiler's vector types) and looks at single
  // bytes only in the tail.
  using Block = unsigned char __attribute__((vector_size(16)));
  const char* data = bytes.data();
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  for (; i + 64 <= n; i += 64) {
    Block found{};
    for (std::size_t k = 0; k < 64; k += 16) {
      Block b;
      std::memcpy(&b, data + i + k, 16);
      found |= (b < 0x20) & (b != 0x09) & (b != 0x0A) & (b != 0x0D);
    }
    std::uint64_t words[2];
    std::memcpy(words, &found, 16);
    if ((words[0] | words[1]) != 0) return true;
  }
  for (; i < n; ++i)
    if (IsControlByte(static_cast<unsigned char>(data[i]))) return true;
  return false;
}

FileBytes ExamineFileBytes(std::string_view bytes) {
  // Like HasControlBytes, 64 bytes at a time; the three findings are
  // gathered over the whole file and looked at once at the end, so that the
  // loop holds no branch.
  using Block = unsigned char __attribute__((vector_size(16)));
  const char* data = bytes.data();
  const std::size_t n = bytes.size();
  Block control{}, cr{}, lf{};
  std::size_t i = 0;
  for (; i + 64 <= n; i += 64) {
    for (std::size_t k = 0; k < 64; k += 16) {
      Block b;
      std::memcpy(&b, data + i + k, 16);
      control |= (b < 0x20) & (b != 0x09) & (b != 0x0A) & (b != 0x0D);
      cr |= b == 0x0D;
      lf |= b == 0x0A;
    }
  }
  const auto any = [](Block mask) {
    std::uint64_t words[2];
    std::memcpy(words, &mask, 16);
    return (words[0] | words[1]) != 0;
  };
  FileBytes found{any(control), any(cr), any(lf)};
  for (; i < n; ++i) {
    const auto b = static_cast<unsigned char>(data[i]);
    found.Control |= IsControlByte(b);
    found.Cr |= b == 0x0D;
    found.Lf |= b == 0x0A;
  }
  return found;
}

void TFileList::AddFile(std::string name) { entries_.push_back(TFileRec{std::move(name), {}}); }

void TFileList::AddData(std::string_view bytes) {
  if (entries_.empty()) AddFile({});
  entries_.back().Stream.append(bytes);
}

bool TFileList::IsBinary(long index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= entries_.size()) return false;
  return HasControlBytes(entries_[static_cast<std::size_t>(index)].Stream);
}

}  // namespace kamvo
