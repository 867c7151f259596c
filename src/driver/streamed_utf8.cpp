#include "driver/streamed_utf8.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "codepages/ascii.h"
#include "codepages/byte_scan.h"
#include "codepages/code_page_unicode.h"
#include "codepages/text.h"
#include "decoders/html.h"
#include "decoders/mime.h"
#include "driver/file_io.h"
#include "driver/target_fit.h"
#include "driver/utf8_output.h"
#include "driver/whole_text_run.h"
#include "recognition/detection.h"
#include "recognition/word_reader.h"

namespace kamvo {

namespace {

constexpr std::uint64_t kThreshold = std::uint64_t{64} << 20;
constexpr std::size_t kPiece = std::size_t{2} << 20;

// The first piece, which decides the run: detection reads at most the first
// 256 KiB of a text's lines (a line's break counted as one byte, so up to
// 512 KiB of the file) and a sample of its words, which must end inside
// the piece; the decoding stages' checks of a whole text look at its first
// lines (a mail's header). The piece is at most this long and, cut at a
// line break, at least a quarter of it.
constexpr std::size_t kFirstPiece = std::size_t{4} << 20;
constexpr std::size_t kShortestFirstPiece = kFirstPiece / 4;

std::uint64_t FromEnvironment(const char* name, std::uint64_t fallback) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return fallback;
  char* end = nullptr;
  const unsigned long long number = std::strtoull(value, &end, 10);
  return *end == '\0' && number > 0 ? number : fallback;
}

// True when the file holds these bytes at offset.
bool HoldsAt(int fd, std::uint64_t offset, std::string_view bytes) {
  std::string piece(std::min<std::size_t>(bytes.size(), std::size_t{1} << 20), '\0');
  for (std::size_t done = 0; done < bytes.size();) {
    const std::size_t want = std::min(piece.size(), bytes.size() - done);
    std::size_t got = 0;
    if (!ReadPieceAt(fd, offset + done, piece.data(), want, got) || got != want) return false;
    if (std::memcmp(piece.data(), bytes.data() + done, want) != 0) return false;
    done += want;
  }
  return true;
}

// True when the run over the first piece decides the whole text's run:
// nothing it looks at as a whole lies beyond the piece.
bool FirstPieceDecides(const Converter& converter, std::string& bytes, bool whole) {
  Text head = Text::FromBytes(std::move(bytes));
  // A mail is read as a whole.
  bool decides = (whole || head.size() >= 2) && !MayBeMail(head);
  if (decides && !whole && converter.Options.Source == 0) {
    // Detection's sample ends inside the piece, and the piece is no UTF-8
    // text (whose layers detection would look for in the whole).
    WordReader reader(head);
    TakeSample(reader);
    decides = !reader.NextWord().empty() && !CheckUtf8Text(head).Valid;
  }
  bytes = head.TakeBytes();
  return decides;
}

// True when the whole file shows HTML as the HTML stage judges a text (its
// markup read over the whole file, mapped for reading); also when it cannot
// be read so.
bool FileShowsHtml(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0 || info.st_size <= 0) return true;
  const auto size = static_cast<std::size_t>(info.st_size);
  void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  if (map == MAP_FAILED) return true;
  ::madvise(map, size, MADV_SEQUENTIAL);
  const bool html = HasHtmlEvidence(std::string_view(static_cast<const char*>(map), size));
  ::munmap(map, size);
  return html;
}

// Judges the stages that ran over a piece and changed nothing there: true
// when they change nothing in the whole text either. A stage acts on a text
// line by line (a group of quoted-printable lines joined by soft breaks at
// most), but for what it finds in the whole: a mail (the first piece is none,
// and a later one is run as no text's start: see StagesLeavePiece), Base64
// blocks that it
// keeps apart (the binary stage acts on none: it never runs here), a soft
// break at a piece's end that joins the next piece's first line, HTML
// markup anywhere in the file (read once over the whole file), and for
// references whether the whole text is UTF-8 (a piece that is not tells the
// whole is not; one that is, holding a "&", is not judged).
class StagesJudge {
 public:
  explicit StagesJudge(int fd) : fd_(fd) {}

  bool ChangeNothing(const Text& piece, const std::vector<std::string_view>& ran) {
    for (const std::string_view stage : ran) {
      if (stage == "escapes") {
        const std::string_view last = piece.empty() ? std::string_view() : piece[piece.size() - 1];
        if (TrimTrailingControls(last).ends_with('=')) return false;
      } else if (stage == "html") {
        if (!htmlRead_) {
          htmlRead_ = true;
          html_ = FileShowsHtml(fd_);
        }
        if (html_) return false;
        if (piece.Bytes().find('&') != std::string_view::npos && IsUtf8Text(piece.Bytes())) return false;
      } else {
        return false;
      }
    }
    return true;
  }

 private:
  int fd_;
  bool htmlRead_ = false, html_ = false;
};

}  // namespace

std::uint64_t StreamedRouteThreshold() { return FromEnvironment("KAMVO_STREAM_BYTES", kThreshold); }

std::size_t EndOfLastLine(const char* data, std::size_t size) {
  std::size_t k = size;
  if (k > 0 && data[k - 1] == '\r') --k;
  while (k > 0 && data[k - 1] != '\n' && data[k - 1] != '\r') --k;
  return k;
}

StreamedFile StreamToUtf8(Converter& converter, int fd, const std::string& target, const struct stat* model) {
  using Outcome = StreamedFile::Outcome;
  StreamedFile streamed;
  const RunOptions& options = converter.Options;
  if (!options.Utf8Target || converter.reporter().HasDisplay()) return streamed;
  const std::size_t pieceSize = FromEnvironment("KAMVO_STREAM_PIECE", kPiece);

  // The first piece goes through the whole-text route, which decides the
  // code page and whether anything but it acts on the text.
  std::string first(kFirstPiece, '\0');
  std::size_t got = 0;
  if (!ReadPieceAt(fd, 0, first.data(), first.size(), got)) return streamed;
  first.resize(got);
  // UTF-16 is told by the size of the whole file.
  if (got >= 2 && ((first[0] == '\xFF' && first[1] == '\xFE') || (first[0] == '\xFE' && first[1] == '\xFF')))
    return streamed;
  const bool whole = got < kFirstPiece;
  if (!whole) first.resize(EndOfLastLine(first.data(), first.size()));
  if ((!whole && first.size() < kShortestFirstPiece) || !FirstPieceDecides(converter, first, whole)) return streamed;
  const WholeTextRun run = RunWholeText(converter, std::move(first));
  converter.TextBuffer.clear();
  if (run.NotText) {
    streamed.Result = Outcome::NotText;
    return streamed;
  }
  if (run.UserBreak) {
    streamed.Result = Outcome::UserBreak;
    return streamed;
  }
  const RunOptions& used = converter.RunInUse();
  const DetectionState& detection = converter.Detection;
  // A stage that acted on the first piece shows in the counters; one that
  // ran and changed nothing is judged again with the pieces below.
  const DecoderCounters& c = converter.Counters;
  const bool decoded = c.QPCount > 0 || c.SevenBitCount > 0 || c.RtfCount > 0 || c.Base64Count > 0 || c.UUECount > 0 ||
                       c.XXECount > 0 || c.HtmlCount > 0 || c.TranslitCount > 0 || !converter.Attachments.Empty();
  if (run.FromUtf16 || decoded || converter.LastInPlaceConversion().Count != 1 ||
      (used.Source == 0 && (!detection.Found || !detection.Layer.Empty())))
    return streamed;
  const int firstUtf8Lines = converter.Counters.Utf8Count;
  const std::array<std::uint32_t, 256> chars = ResultCharacters(converter, kWindows);

  TemporaryFile out;
  if (!out.Create(target, model)) {
    streamed.Result = Outcome::WriteFailed;
    streamed.Error = errno;
    return streamed;
  }
  // The bytes read and not yet converted (a line's start carried over), and
  // the piece converted, in a block with room for its UTF-8 form: both are
  // reused from piece to piece.
  std::size_t capacity = pieceSize, held = 0;
  std::unique_ptr<char[]> read(new char[capacity]);
  std::string block;
  block.reserve(3 * pieceSize);
  std::uint64_t offset = 0, written = 0;
  bool same = true, end = false, startsText = true;
  int utf8Lines = 0;
  StagesJudge judge(fd);
  std::vector<std::string_view> ran;
  while (!end) {
    if (!ReadPieceAt(fd, offset, read.get() + held, capacity - held, got)) return streamed;
    offset += got;
    held += got;
    end = held < capacity;
    std::size_t cut = end ? held : EndOfLastLine(read.get(), held);
    if (cut == 0 && !end) {
      // A line longer than a piece: the piece grows until it holds it.
      std::unique_ptr<char[]> larger(new char[capacity * 2]);
      std::memcpy(larger.get(), read.get(), held);
      read.swap(larger);
      capacity *= 2;
      continue;
    }
    if (cut == 0) break;
    block.assign(read.get(), cut);
    held -= cut;
    std::memmove(read.get(), read.get() + cut, held);
    if (HasControlBytes(block)) {
      streamed.Result = Outcome::NotText;
      return streamed;
    }
    Text piece = Text::FromBytes(std::move(block));
    ran.clear();
    if (!converter.StagesLeavePiece(piece, startsText, ran) || !judge.ChangeNothing(piece, ran)) return streamed;
    const Utf8Lines kept = KeepUtf8Lines(piece);
    utf8Lines += converter.ConvertPiece(piece, startsText);
    // The whole-text route splits a line that came to hold a break, and then
    // writes no line of the input as it came: a whole-text matter.
    if (HasBreakInside(piece)) return streamed;
    ToUtf8Lines(kept, piece, &chars, startsText);
    const std::string_view result = piece.Bytes();
    if (same) same = HoldsAt(fd, written, result);
    if (!out.Write(result.data(), result.size())) {
      streamed.Result = Outcome::WriteFailed;
      streamed.Error = errno;
      return streamed;
    }
    written += result.size();
    block = piece.TakeBytes();
    startsText = false;
    converter.reporter().ProcessEvents();
    if (converter.UserBreak) {
      streamed.Result = Outcome::UserBreak;
      return streamed;
    }
  }
  streamed.Temporary = out.Finish();
  if (streamed.Temporary.empty()) {
    streamed.Result = Outcome::WriteFailed;
    streamed.Error = errno;
    return streamed;
  }
  streamed.Same = same && written == offset;
  streamed.Result = Outcome::Written;
  // The report counts the lines decoded from UTF-8 in the whole text.
  converter.Counters.Utf8Count = utf8Lines;
  if (used.Source != 0 && firstUtf8Lines == 0) converter.WriteUtf8Info();
  return streamed;
}

}  // namespace kamvo
