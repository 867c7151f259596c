// The attachment list: files decoded from the text, each a name and its bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kamvo {

struct TFileRec {
  std::string Name;    // Windows-1251; empty while no name is known
  std::string Stream;  // the decoded bytes
};

class TFileList {
 public:
  void Clear() { entries_.clear(); }
  // Appends an entry with the given name and no data.
  void AddFile(std::string name);
  // Appends the bytes to the last entry, first creating an unnamed entry
  // when the list is empty.
  void AddData(std::string_view bytes);
  // False for an index outside the list; otherwise whether the entry's
  // data holds control bytes.
  bool IsBinary(long index) const;

  std::size_t Count() const { return entries_.size(); }
  bool Empty() const { return entries_.empty(); }
  TFileRec& operator[](std::size_t i) { return entries_[i]; }
  const TFileRec& operator[](std::size_t i) const { return entries_[i]; }
  auto begin() const { return entries_.begin(); }
  auto end() const { return entries_.end(); }

 private:
  std::vector<TFileRec> entries_;
};

}  // namespace kamvo
