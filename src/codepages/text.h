// A text as the program holds it: all its bytes in one block, line breaks
// included, and for each line where its bytes end and which break ends it.
// Lines are read as views into the block, so a text of any size costs one
// allocation for its bytes and one for its line index, never one per line,
// and a text read from a file is written back byte for byte with every
// line's own break (CR LF, LF, CR, or none after the last line).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "codepages/code_tables.h"
#include "codepages/lines.h"

namespace kamvo {

// The bytes of a break: "", "\n", "\r\n" or "\r". Inline: it is asked
// for every line read.
inline std::string_view BreakBytes(LineEnd end) {
  constexpr std::string_view kBreaks[] = {"", "\n", "\r\n", "\r"};
  return kBreaks[static_cast<unsigned char>(end) & 3];
}

// The break given to the lines made out of one line (split at breaks it
// came to hold): its own; for a last line without one, the break of the
// line before it (`previous`, None when there is none), since only the last
// line of all goes without; LF when that is none too.
constexpr LineEnd BreakOfPieces(LineEnd own, LineEnd previous) {
  if (own != LineEnd::None) return own;
  return previous != LineEnd::None ? previous : LineEnd::Lf;
}

class Text {
 public:
  Text() = default;
  // Lines each ended by LF (small texts, mostly in tests).
  Text(std::initializer_list<std::string_view> lines);

  // The text of these bytes, split at CR LF, LF and CR as SplitLines
  // splits them: a break at the very end starts no extra line.
  static Text FromBytes(std::string bytes);
  // Lines each ended by `end`.
  static Text FromLines(const Lines& lines, LineEnd end = LineEnd::Lf);

  // The lines.
  std::size_t size() const { return index_.size(); }
  bool empty() const { return index_.empty(); }
  // A line's bytes without its break.
  std::string_view operator[](std::size_t i) const {
    const std::size_t begin = Begin(i);
    return std::string_view(bytes_).substr(begin, ContentEnd(i) - begin);
  }
  // The break that ends a line.
  LineEnd End(std::size_t i) const { return static_cast<LineEnd>(index_[i] & 3); }
  // Where a line's bytes begin and end in Bytes() (its break follows).
  std::size_t Begin(std::size_t i) const { return i == 0 ? 0 : ContentEnd(i - 1) + BreakBytes(End(i - 1)).size(); }
  std::size_t ContentEnd(std::size_t i) const { return static_cast<std::size_t>(index_[i] >> 2); }

  // All the bytes, breaks included: what a file of this text holds.
  std::string_view Bytes() const { return bytes_; }
  // The bytes, leaving the text empty.
  std::string TakeBytes();
  // A line's bytes for changes that keep its length.
  char* MutableLine(std::size_t i) { return bytes_.data() + Begin(i); }

  // Building a text line by line: bytes are appended to the line being
  // built and EndLine closes it. A line closed with LineEnd::None that
  // another line follows takes an LF, so that the bytes keep the lines
  // apart; only the last line of a text goes without a break.
  void Reserve(std::size_t bytes, std::size_t lines);
  void Append(std::string_view bytes) {
    OpenLine();
    bytes_.append(bytes);
  }
  void Append(char byte) {
    OpenLine();
    bytes_.push_back(byte);
  }
  void EndLine(LineEnd end);
  void AddLine(std::string_view line, LineEnd end) {
    Append(line);
    EndLine(end);
  }
  // Appends lines first..last (last excluded) of another text with their
  // breaks, as AddLine would one by one, but with one copy of their bytes
  // and one pass over their index entries.
  void AppendLines(const Text& other, std::size_t first, std::size_t last);
  // Rewrites a text in place, front to back, for a pass that deletes more
  // than it adds: the lines are read in order, each run either kept (moved
  // down to where the writing stands) or dropped, and new lines are added
  // where the dropped ones were. The writing never passes the reading: the
  // lines added since the last Keep must fit into the lines dropped since,
  // breaks included (only the last line of all goes without a break). The
  // bytes and index entries of the lines not yet read stay as they were,
  // but a line's Begin reads the entry of the line before it: take the
  // begins of lines still to be read before the writing reaches them.
  class Rewriter {
   public:
    explicit Rewriter(Text& text) : text_(text) {}
    // The next line to be read, not yet kept or dropped.
    std::string_view Next() const {
      return std::string_view(text_.bytes_).substr(readByte_, text_.ContentEnd(readLine_) - readByte_);
    }
    // The next `count` lines stay.
    void Keep(std::size_t count);
    // The next `count` lines go.
    void Drop(std::size_t count);
    // A new line after those written so far.
    void Add(std::string_view line, LineEnd end);
    // The lines not read stay; the text is what was written and them.
    void Finish();

   private:
    void Read(std::size_t count);
    // A line written without a break that another follows takes an LF.
    void BreakLastWritten();
    Text& text_;
    std::size_t readLine_ = 0, readByte_ = 0;    // the next line to read and where it begins
    std::size_t writeLine_ = 0, writeByte_ = 0;  // where the next line written goes
  };
  // Bytes appended and not yet closed by EndLine.
  bool LineOpen() const { return open_; }
  // Drops the last line (and its break), or the bytes of an open one.
  void PopLine();
  void clear();
  void swap(Text& other) noexcept;

  // Converts every line's bytes through the table; the breaks stay as they
  // are. True when some byte changed.
  bool Translate(const CodeTable& table);

  // Replaces every byte b of the lines by the lengths[b] bytes of forms[b]
  // (1 to 4, the first in the lowest byte), in place from the end, so that
  // a text whose block has room for the result (Reserve) needs no second
  // one; the line index follows. Breaks stay as they are: forms of CR and
  // LF must be themselves. The text must have no open line.
  void Expand(const std::array<std::uint32_t, 256>& forms, const std::array<std::uint8_t, 256>& lengths);
  // A line that Expand gives other bytes, at least as long as the line.
  struct LineBytes {
    std::size_t Line;
    std::string_view Bytes;
  };
  // Expand, with the listed lines (in line order) given their own bytes
  // instead of their forms.
  void Expand(const std::array<std::uint32_t, 256>& forms, const std::array<std::uint8_t, 256>& lengths,
              std::span<const LineBytes> replaced);

  // Reading the lines in order.
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = std::string_view;
    const_iterator() = default;
    const_iterator(const Text* text, std::size_t i) : text_(text), i_(i) {}
    std::string_view operator*() const { return (*text_)[i_]; }
    const_iterator& operator++() {
      ++i_;
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator old = *this;
      ++i_;
      return old;
    }
    bool operator==(const const_iterator& other) const { return i_ == other.i_; }

   private:
    const Text* text_ = nullptr;
    std::size_t i_ = 0;
  };
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size()}; }

  friend bool operator==(const Text& a, const Text& b) { return a.index_ == b.index_ && a.bytes_ == b.bytes_; }

 private:
  void OpenLine();
  // Where the last closed line's break ends.
  std::size_t ClosedEnd() const;

  std::string bytes_;
  // Per line: where its bytes end, shifted left by two, and its LineEnd.
  std::vector<std::uint64_t> index_;
  bool open_ = false;  // bytes appended after the last closed line
};

// The lines as separate strings, without their breaks.
Lines ToLines(const Text& text);

// The break of every line, in order.
std::vector<LineEnd> BreaksOf(const Text& text);

// Gives the lines the breaks `ends` (one per line, as BreaksOf gives them):
// each line its own while there are as many as lines; otherwise every line
// takes the first break (LF when that is none), and the last line keeps no
// break when the last of `ends` is none. (For lines that came back from an
// editor, which knows only its own breaks.)
void SetBreaks(Text& text, const std::vector<LineEnd>& ends);

// The lines joined with `lineBreak` after every line (also after the last
// one), whatever their own breaks.
std::string JoinLines(const Text& text, std::string_view lineBreak);

// True when some line holds a CR or an LF in its bytes (a line a stage
// built from decoded bytes).
bool HasBreakInside(const Text& text);

// Splits the lines that hold a CR or LF, as an editor would after loading
// them with a break after every line (a break at the very end of such a
// line leaves an empty line behind it). Each part takes the break of the
// line it comes from; the parts of a last line without a break take the
// break of the line before it. A text without such a line is given back
// as it is.
Text Resplit(Text text);

}  // namespace kamvo
