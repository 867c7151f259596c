#include "driver/file_list.h"

#include <algorithm>

namespace kamvo {

bool HasControlBytes(std::string_view bytes) {
  return std::any_of(bytes.begin(), bytes.end(), [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 && b != 0x09 && b != 0x0A && b != 0x0D;
  });
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
