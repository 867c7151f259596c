#include "decoders/file_list.h"

#include "codepages/byte_scan.h"

namespace kamvo {

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
