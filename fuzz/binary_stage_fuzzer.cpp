// The Base64, UUE and XXE stage with its attachment names. Whatever the text,
// every attachment that survives the naming pass must have a name that is
// safe to create beside the converted file, a break must leave the text as it
// was, the name helpers must agree with each other, and any bytes sent as a
// Base64 attachment must come back whole.
//
// Input: a flag byte (bit 0 lines split at LF only, bits 4-7 the event at
// which Stop is pressed, 0 for never), then the text.
#include <algorithm>

#include "decoders/attachment_names.h"
#include "decoders/binary.h"
#include "decoders/binary_encoders.h"
#include "decoders/quoted_printable.h"
#include "driver/converter.h"
#include "driver/stages.h"
#include "fuzz_common.h"
#include "settings/settings.h"
#include "stopped_run.h"
#include "support/headless_window.h"
#include "support/plain_helpers.h"

using namespace kamvo;
using namespace kamvo::fuzz;
using kamvo::testing::CountWords;
using kamvo::testing::NthWord;

namespace {

void CheckSafeNames(const TFileList& files) {
  for (const TFileRec& file : files) {
    FUZZ_CHECK(!file.Name.empty());
    FUZZ_CHECK(file.Name != "." && file.Name != "..");
    FUZZ_CHECK(SafeFileName(file.Name) == file.Name);
    FUZZ_CHECK(file.Name.find('/') == std::string::npos);
    FUZZ_CHECK(file.Name.find('\0') == std::string::npos);
  }
}

// The input's bytes as a Base64 attachment of a mail decode back to exactly
// those bytes under the attachment's name.
void CheckBase64RoundTrip(std::string_view bytes) {
  // A block starts with a line of more than 20 characters.
  if (bytes.size() < 16) return;
  Lines text = {"Content-Type: application/octet-stream", "Content-Disposition: attachment; filename=\"data.bin\"", ""};
  for (std::string& line : testing::Base64Lines(bytes)) text.push_back(std::move(line));
  text.push_back("");
  text.push_back("--boundary--");
  TFileList files;
  Text buffer = Text::FromLines(text, LineEnd::CrLf);
  const BinaryScan scan = DecodeBinaryBlocks(buffer, files);
  FUZZ_CHECK(scan.Base64);
  FinishNames(files);
  FUZZ_CHECK(files.Count() == 1);
  FUZZ_CHECK(files[0].Name == "data.bin");
  FUZZ_CHECK(files[0].Stream == bytes);
}

// Any bytes sent as a Base64 part of a mail, after a quoted-printable part,
// come back whole under the part's name, through both stages in their order.
void CheckMailRoundTrip(std::string_view bytes) {
  Lines text = {"From: a@example.ru",
                "Subject: =?utf-8?B?0J/RgNC4?=",
                "MIME-Version: 1.0",
                "Content-Type: multipart/mixed; boundary=\"b\"",
                "",
                "--b",
                "Content-Type: text/plain; charset=utf-8",
                "Content-Transfer-Encoding: quoted-printable",
                "",
                "=D0=9F=D1=80=D0=B8=",
                "",
                "--b",
                "Content-Type: application/octet-stream",
                "Content-Transfer-Encoding: base64",
                "Content-Disposition: attachment; filename=\"data.bin\"",
                ""};
  for (std::string& line : testing::Base64Lines(bytes)) text.push_back(std::move(line));
  text.push_back("");
  text.push_back("--b--");
  Text buffer = Text::FromLines(text, LineEnd::CrLf);
  Text decoded;
  EscapeCounters counters;
  const EscapeResult escapes = DecodeEscapedLines(buffer, decoded, EscapeSwitches{}, counters);
  FUZZ_CHECK(escapes.Converted);
  TFileList files;
  DecodeBinaryBlocks(decoded, files);
  FinishNames(files);
  FUZZ_CHECK(files.Count() == (bytes.empty() ? 0u : 1u));
  if (bytes.empty()) return;
  FUZZ_CHECK(files[0].Name == "data.bin");
  FUZZ_CHECK(files[0].Stream == bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Flagged input = TakeFlags(data, size);
  const Lines source = InputLines(input.text, input.Bit(0));

  Text text = Text::FromLines(source, LineEnd::CrLf);
  TFileList files;
  const BinaryScan scan = DecodeBinaryBlocks(text, files);
  FUZZ_CHECK(!scan.Broken);
  if (!scan.Any()) FUZZ_CHECK(ToLines(text) == source);
  FinishNames(files);
  CheckSafeNames(files);

  CheckBase64RoundTrip(input.text);
  CheckMailRoundTrip(input.text);

  // The name helpers on every line, as a name found in a header would be.
  for (const std::string& line : source) {
    std::string name = line;
    DecodeMimeName(name);
    const std::string fixed = FixNameCodePage(name);
    FUZZ_CHECK(fixed.size() == name.size());
    const std::string safe = SafeFileName(fixed);
    FUZZ_CHECK(safe.size() == fixed.size());
    FUZZ_CHECK(SafeFileName(safe) == safe);
    std::string pending = "x";
    DetectFileName(line, pending);
    std::string stream;
    DecodeBase64Line(line, stream);
    DecodeUULine(line, stream);
    DecodeXXLine(line, stream);
  }
  if (!source.empty()) {
    const std::string& line = source.front();
    const std::string_view delimiters = " .,;-_\t";
    const std::vector<std::string_view> words = SplitWords(line, delimiters);
    FUZZ_CHECK(static_cast<int>(words.size()) == CountWords(line, delimiters));
    for (std::size_t i = 0; i < std::min<std::size_t>(words.size(), 8); ++i)
      FUZZ_CHECK(NthWord(static_cast<int>(i + 1), line, delimiters) == words[i]);
    FUZZ_CHECK(NthWord(static_cast<int>(words.size() + 1), line, delimiters).empty());
  }

  // The stage inside a conversion, with Stop pressed at some event.
  StoppedRun run(source, input.flags >> 4);
  Converter& converter = run.converter;
  const bool seen = converter.RunStage(StandardStage("binary"));
  CheckSafeNames(converter.Attachments);
  if (converter.UserBreak) {
    // Stop is seen after a line that stays in the text; pressed during the
    // last block it comes too late and the stage finishes.
    FUZZ_CHECK(ToLines(converter.TextBuffer) == source || ToLines(converter.TextBuffer) == ToLines(text));
  } else {
    FUZZ_CHECK(seen == scan.Any());
    FUZZ_CHECK(ToLines(converter.TextBuffer) == ToLines(text));
    FUZZ_CHECK(converter.Attachments.Count() == files.Count());
  }
  return 0;
}
