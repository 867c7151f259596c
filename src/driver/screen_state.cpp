#include "driver/screen_state.h"

#include <string>

#include "codepages/byte_scan.h"
#include "codepages/unicode.h"

namespace kamvo {

namespace {

// Events run once per this many lines of a conversion: often enough for a
// responsive window, rarely enough to cost nothing beside the conversion.
constexpr std::size_t kLinesPerPump = 4096;

// Converts a text through a code table. Bytes below 0x80 keep their values
// in every code table the program builds, so a line without a byte from 0x80
// up is left as it is (when the tables at hand keep them, which is checked):
// it has no UTF-8 sequence to decode either. Without the UTF-8 step and an
// outer layer the whole block goes through the table at once.
//
// With the UTF-8 step a line goes into Windows-1251 first, is decoded from
// UTF-8 when it looks like UTF-8, and then goes out to the target, so that
// the characters the UTF-8 step gives are the ones converted to the target.
// A line that does not look like UTF-8 gets the whole table, as without
// the step.
//
// An outer UTF-8 layer comes before all of it: the line is taken out of
// UTF-8 into the layer's code pages first.
class TextConverter {
 public:
  // startsText: the text's first line is the first of the whole text (a
  // byte order mark there only marks UTF-8); false for a later piece of it.
  TextConverter(const CodeTable& table, const CodeTable& intoWindows, const CodeTable& fromWindows, bool utf8Step,
                const OuterLayer& layer, bool startsText = true)
      : table_(table), intoWindows_(intoWindows), utf8Step_(utf8Step), layer_(layer), startsText_(startsText) {
    for (int b = 0; b < 0x80; ++b)
      lowKept_ &= table[b] == b && (!utf8Step || (intoWindows[b] == b && fromWindows[b] == b));
    // A table that keeps every byte (the usual way into and out of
    // Windows-1251 of a UTF-8 text) is not applied at all.
    const CodeTable identity = IdentityCodeTable();
    intoStep_ = intoWindows == identity ? nullptr : &intoWindows;
    fromStep_ = fromWindows == identity ? nullptr : &fromWindows;
    directUtf8_ = utf8Step && layer.Empty() && intoStep_ == nullptr;
  }

  // Converts the text in place, letting the window's events run now and
  // then; true when some byte changed. A line that holds a break afterwards
  // is left whole (the caller splits it).
  bool Convert(Text& text, RunReporter& window) {
    if (!utf8Step_ && layer_.Empty()) return text.Translate(table_);
    bool changed = false;
    std::size_t first = 0;  // the first line that changes its length
    if (layer_.Empty()) {
      // A line that is not UTF-8 gets the whole table, in place; the text
      // is built anew only from the first line that decodes.
      for (; first < text.size(); ++first) {
        if (first % kLinesPerPump == 0) window.ProcessEvents();
        const std::string_view source = text[first];
        if (lowKept_ && !HasHighByte(source)) continue;
        if (!MayHoldUtf8(source, intoWindows_)) {
          changed = TranslateBytes(text.MutableLine(first), source.size(), table_.data()) || changed;
          continue;
        }
        line_.assign(source);
        Translate(line_, intoStep_);
        if (Utf8ToWin(line_, decoded_, first == 0 && startsText_)) break;
        changed = TranslateBytes(text.MutableLine(first), source.size(), table_.data()) || changed;
      }
      if (first == text.size()) return changed;
    }
    // The UTF-8 step and the outer layer only shorten lines: the text is
    // rewritten where it lies.
    Text::Rewriter rewriter(text);
    rewriter.Keep(first);
    std::string& out = line_;
    for (std::size_t i = first; i < text.size(); ++i) {
      if (i % kLinesPerPump == 0) window.ProcessEvents();
      const std::string_view source = rewriter.Next();
      if (lowKept_ && !HasHighByte(source)) {
        rewriter.Keep(1);
        continue;
      }
      if (directUtf8_) {
        // The UTF-8 step straight from the line's bytes: nothing to do on
        // the way into Windows-1251, and no outer layer.
        if (Utf8ToWin(source, out, i == 0 && startsText_))
          ++Utf8Count;
        else
          out.assign(source);
        Translate(out, fromStep_);
      } else {
        out.assign(source);
        ConvertLine(out, i == 0 && startsText_);
      }
      changed = changed || out != source;
      const LineEnd end = text.End(i);
      rewriter.Drop(1);
      rewriter.Add(out, end);
    }
    rewriter.Finish();
    return changed;
  }

  int Utf8Count = 0;

 private:
  void ConvertLine(std::string& line, bool textStart) {
    // A line taken out of UTF-8 by the outer layer counts as decoded, once.
    const bool layered = !layer_.Empty() && ApplyOuterLayer(line, layer_, decoded_, textStart);
    if (layered) ++Utf8Count;
    if (utf8Step_) {
      Translate(line, intoStep_);
      const bool decoded = Utf8ToWin(line, decoded_, textStart);
      if (decoded) {
        line.swap(decoded_);
        if (!layered) ++Utf8Count;
      }
      Translate(line, fromStep_);
    } else {
      Translate(line, &table_);
    }
  }

  // True when the bytes taken through the table hold a byte that may
  // start a UTF-8 sequence followed by one that may continue it: without
  // such a pair no UTF-8 character (nor a byte order mark) is there.
  static bool MayHoldUtf8(std::string_view bytes, const CodeTable& table) {
    bool lead = false;
    for (const char c : bytes) {
      const Byte b = table[static_cast<Byte>(c)];
      if (lead && b >= 0x80 && b <= 0xBF) return true;
      lead = b >= 0xC2 && b <= 0xF4;
    }
    return false;
  }

  // The line through the table; none: the line stays.
  static void Translate(std::string& line, const CodeTable* table) {
    if (table != nullptr) TranslateBytes(line.data(), line.size(), table->data());
  }

  const CodeTable& table_;
  const CodeTable& intoWindows_;
  const bool utf8Step_;
  const OuterLayer layer_;
  const bool startsText_;
  bool lowKept_ = true;
  const CodeTable* intoStep_ = nullptr;  // intoWindows_, unless it keeps every byte
  const CodeTable* fromStep_ = nullptr;  // the way out to the target likewise
  bool directUtf8_ = false;
  std::string line_;
  std::string decoded_;
};

}  // namespace

void ScreenState::SetPending(const BufferConversion& conversion) {
  pending_ = conversion;
  source_ = Source::Pending;
  // A text shown earlier is superseded.
  own_.clear();
}

void ScreenState::Flush() {
  const Text converted = Converted();
  window_.ShowText(converted);
  source_ = Source::Window;
}

Text ScreenState::Converted() {
  window_.ProcessEvents();
  Text converted = buffer_;
  TextConverter convert(pending_.Table, pending_.IntoWindows, pending_.FromWindows, pending_.Utf8, pending_.Layer);
  convert.Convert(converted, window_);
  utf8Count_ = convert.Utf8Count;
  return converted;
}

int ScreenState::ConvertLikeLast(Text& text, bool startsText) {
  TextConverter convert(applied_.Table, applied_.IntoWindows, applied_.FromWindows, applied_.Utf8, applied_.Layer,
                        startsText);
  convert.Convert(text, window_);
  return convert.Utf8Count;
}

void ScreenState::ConvertBufferInPlace() {
  ++lastInPlace_.Count;
  applied_ = pending_;
  lastInPlace_.Table = pending_.Table;
  lastInPlace_.Utf8 = pending_.Utf8 || !pending_.Layer.Empty();
  window_.ProcessEvents();
  TextConverter convert(pending_.Table, pending_.IntoWindows, pending_.FromWindows, pending_.Utf8, pending_.Layer);
  lastInPlace_.Changed = convert.Convert(buffer_, window_) || lastInPlace_.Changed;
  utf8Count_ = convert.Utf8Count;
  // The editor splits lines that hold a break (left by a decoding stage or
  // made by the conversion).
  buffer_ = Resplit(std::move(buffer_));
}

void ScreenState::Show(const Text& text) {
  const bool isBuffer = &text == &buffer_;
  if (window_.HasDisplay()) {
    window_.ShowText(text);
    source_ = Source::Window;
    own_.clear();
  } else if (isBuffer) {
    source_ = Source::TextBuffer;
    own_.clear();
  } else {
    own_ = Resplit(text);
    source_ = Source::Own;
  }
}

void ScreenState::Read(Text& text, bool edited) {
  const bool isBuffer = &text == &buffer_;
  const bool display = window_.HasDisplay();
  if (source_ == Source::Pending) {
    // The waiting conversion is what the editor shows (it replaced any edit).
    if (isBuffer) {
      ConvertBufferInPlace();
    } else {
      text = Resplit(Converted());
    }
    if (display) {
      window_.ShowText(text);
      source_ = Source::Window;
    } else if (isBuffer) {
      source_ = Source::TextBuffer;
    } else {
      own_ = text;
      source_ = Source::Own;
    }
  } else if (edited || source_ == Source::Window) {
    text = window_.ReadText();
  } else if (source_ == Source::Own) {
    if (isBuffer) {
      text = std::move(own_);
      own_.clear();
      source_ = Source::TextBuffer;
    } else {
      text = own_;
    }
  } else if (source_ == Source::BackCopy) {
    text = Resplit(backCopy_);
    if (isBuffer) source_ = Source::TextBuffer;
  } else {  // Source::TextBuffer
    text = Resplit(isBuffer ? std::move(buffer_) : Text(buffer_));
  }
}

}  // namespace kamvo
