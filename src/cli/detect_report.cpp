#include "cli/detect_report.h"
#include "codepages/code_page_list.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ostream>

#include "cli/command_line.h"
#include "cli/long_options.h"
#include "cli/many_files.h"
#include "codepages/lines.h"
#include "driver/text_conversion.h"
#include "driver/utf8_output.h"

namespace kamvo {

namespace {

// What --detect reads of a file at most.
constexpr std::size_t kDetectBytes = std::size_t{4} << 20;

// The pairs of the best chain, in order (the empty chain has none).
std::vector<int> ChainPairs(const Chain& chain) {
  std::vector<int> pairs;
  for (int pair : chain)
    if (pair != 0) pairs.push_back(pair);
  return pairs;
}

// A JSON string. A name that is not UTF-8 has its bytes from 0x80 up
// written as the characters U+0080..U+00FF, so the line stays valid JSON.
std::string JsonString(std::string_view text) {
  const bool utf8 = IsWellFormedUtf8(text);
  std::string quoted = "\"";
  for (unsigned char c : text) {
    if (c >= 0x80 && !utf8) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      quoted += escape;
    } else if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += static_cast<char>(c);
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      quoted += escape;
    } else {
      quoted += static_cast<char>(c);
    }
  }
  return quoted + "\"";
}

// What one text was found to be.
struct Finding {
  std::string Error;           // the file could not be examined
  bool NotText = false;        // control bytes: skipped
  bool NotRecognised = false;  // Russian words met, no chain reached the limit
  std::string Charset;         // iconv name, "ascii", "chain" or "unknown"
  int Percent = 0;
  bool Recognised = false;
  bool Utf8 = false;
  std::vector<std::string> Decoders;
  std::vector<std::pair<std::string, std::string>> Chain;
  // For a text recognised as Cyrillic, what a conversion into the chosen
  // target would do ("KOI8-R -> UTF-8") and the text's language.
  std::string Way;
  std::string Language = "ru";
};

// The ISO 639-1 code of a language.
std::string_view LanguageCode(TextLanguage language) {
  switch (language) {
    case TextLanguage::Ukrainian:
      return "uk";
    case TextLanguage::Belarusian:
      return "be";
    case TextLanguage::Serbian:
      return "sr";
    case TextLanguage::Macedonian:
      return "mk";
    case TextLanguage::Russian:
      break;
  }
  return "ru";
}

Finding Examine(const std::string& name, const RunChoices& choices, const TCfg& cfg) {
  Finding finding;
  std::string bytes;
  const int fd = name == "-" ? STDIN_FILENO : ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  bool more = false;
  const bool read = fd >= 0 && ReadAllFrom(fd, bytes, kDetectBytes, &more);
  const int error = errno;
  if (fd > STDIN_FILENO) ::close(fd);
  if (!read) {
    finding.Error = std::strerror(error);
    return finding;
  }
  // A few megabytes decide what a text is: a larger one is judged by its
  // first kDetectBytes, ending at the last whole line.
  if (more) {
    const std::size_t lastBreak = bytes.find_last_of("\n\r");
    if (lastBreak != std::string::npos && lastBreak > 0) bytes.resize(lastBreak + 1);
  }
  const bool high = HasHighByte(bytes);
  const char bytesStart = bytes.empty() ? '\0' : bytes[0];
  RunChoices detect = choices;
  detect.FromCode = 0;
  detect.ToCode = kWindows;
  CliConversion run(detect, cfg);
  const TextConversion result = ConvertText(run.Conv, std::move(bytes));
  if (result.NotText) {
    finding.NotText = true;
    return finding;
  }
  const DetectionState& state = run.Conv.Detection;
  const bool utf16 = result.FromUtf16;
  finding.Percent = state.BestPercent;
  finding.Recognised = state.Found;
  // The same rule as a conversion's: only a text with words that might be
  // Russian can fail to be recognised.
  finding.NotRecognised = TextNotRecognised(run.Conv);
  finding.Utf8 = state.DetectedUtf8;
  finding.Decoders = DecodersUsed(run.Conv.Counters);
  const std::vector<int> pairs = ChainPairs(state.BestChain);
  // An outer layer comes first: UTF-8 taken back into the code page it was
  // read in.
  for (const int code : state.Layer.Codes)
    if (code != 0)
      finding.Chain.emplace_back(IconvName(kUtf8Code), code == kWindows1252 ? "windows-1252" : IconvName(code));
  for (int pair : pairs) finding.Chain.emplace_back(IconvName(PairFrom(pair)), IconvName(PairTo(pair)));
  if (!state.Layer.Empty() && state.Found) {
    finding.Charset = "chain";
  } else if (state.SampleWords.Count == 0) {
    finding.Charset = high ? "unknown" : "ascii";
    finding.Recognised = !high;
    finding.Percent = high ? 0 : 100;
  } else if (!state.Found) {
    finding.Charset = "unknown";
  } else if (pairs.empty()) {
    finding.Charset = state.DetectedUtf8 ? IconvName(kUtf8Code) : IconvName(kWindows);
  } else if (pairs.size() == 1 && !state.DetectedUtf8) {
    finding.Charset = IconvName(PairFrom(pairs[0]));
  } else {
    finding.Charset = "chain";
  }
  finding.Language = LanguageCode(state.Language);
  if (finding.Recognised && (state.SampleWords.Count > 0 || state.ReadsAsItStands))
    finding.Way = WayReport(state.Layer, state.BestChain, state.DetectedUtf8, choices.ToCode, true);
  // UTF-16 is read as UTF-8: what the file is, is UTF-16.
  if (utf16 && finding.Charset == IconvName(kUtf8Code))
    finding.Charset = bytesStart == '\xFF' ? "utf-16le" : "utf-16be";
  return finding;
}

std::string Join(const std::vector<std::string>& items, std::string_view separator) {
  std::string joined;
  for (const auto& item : items) joined += (joined.empty() ? "" : std::string(separator)) + item;
  return joined;
}

}  // namespace

std::string IconvName(int code) {
  const CodePageInfo* page = FindCodePage(code);
  return page ? std::string(page->Iconv) : "unknown";
}

std::string DescribeWay(const Converter& converter, std::string_view arrow) {
  const int chosen = converter.RunInUse().Source;
  if (chosen != 0)
    return ConversionReport(converter.Counters.Utf8Count > 0 ? kUtf8Code : chosen, converter.WrittenCode(), true,
                            arrow);
  const DetectionState& state = converter.Detection;
  return WayReport(state.Layer, state.BestChain, state.DetectedUtf8, converter.WrittenCode(), true, arrow);
}

std::vector<std::string> DecodersUsed(const DecoderCounters& counters) {
  std::vector<std::string> used;
  const std::pair<int, const char*> rows[] = {{counters.QPCount, "qp"},     {counters.SevenBitCount, "7bit"},
                                              {counters.RtfCount, "rtf"},   {counters.Base64Count, "base64"},
                                              {counters.UUECount, "uue"},   {counters.XXECount, "xxe"},
                                              {counters.HtmlCount, "html"}, {counters.TranslitCount, "translit"}};
  for (const auto& [count, name] : rows)
    if (count > 0) used.emplace_back(name);
  return used;
}

int DetectFiles(const std::vector<std::string>& names, bool recursive, bool json, const RunChoices& choices,
                const TCfg& cfg, std::ostream& out, std::ostream& err) {
  FileListing listing = ListFiles(names, recursive);
  int status = kExitOk;
  for (const auto& problem : listing.Problems) {
    err << "kamvo: " << problem << '\n';
    status = kExitConversionFailed;
  }
  bool unrecognised = false;
  for (const std::string& name : listing.Files) {
    const Finding f = Examine(name, choices, cfg);
    if (!f.Error.empty())
      status = kExitConversionFailed;
    else if (f.NotRecognised)
      unrecognised = true;
    if (json) {
      out << "{\"file\":" << JsonString(name);
      if (f.NotText) {
        out << ",\"skipped\":\"not text\"}\n";
        continue;
      }
      if (!f.Error.empty()) {
        out << ",\"error\":" << JsonString(f.Error) << "}\n";
        continue;
      }
      out << ",\"charset\":" << JsonString(f.Charset) << ",\"percent\":" << f.Percent
          << ",\"recognised\":" << (f.Recognised ? "true" : "false") << ",\"utf8\":" << (f.Utf8 ? "true" : "false")
          << ",\"decoders\":[";
      for (std::size_t i = 0; i < f.Decoders.size(); ++i) out << (i ? "," : "") << JsonString(f.Decoders[i]);
      out << "],\"chain\":[";
      for (std::size_t i = 0; i < f.Chain.size(); ++i)
        out << (i ? "," : "") << "[" << JsonString(f.Chain[i].first) << "," << JsonString(f.Chain[i].second) << "]";
      out << "]";
      if (!f.Way.empty()) out << ",\"language\":" << JsonString(f.Language) << ",\"way\":" << JsonString(f.Way);
      out << "}\n";
      continue;
    }
    if (!f.Error.empty()) {
      out << name << ": error=" << f.Error << '\n';
      continue;
    }
    if (f.NotText) {
      out << name << ": skipped=not-text\n";
      continue;
    }
    std::vector<std::string> chain;
    for (const auto& [from, to] : f.Chain) chain.push_back(from + ">" + to);
    out << name << ": charset=" << f.Charset << " percent=" << f.Percent
        << " recognised=" << (f.Recognised ? "yes" : "no") << " utf8=" << (f.Utf8 ? "yes" : "no")
        << " decoders=" << (f.Decoders.empty() ? "none" : Join(f.Decoders, ","))
        << " chain=" << (chain.empty() ? "none" : Join(chain, ","));
    if (!f.Way.empty()) out << " language=" << f.Language << " way=\"" << f.Way << '"';
    out << '\n';
  }
  out.flush();
  if (status == kExitOk && unrecognised) status = kExitNotRecognised;
  return status;
}

}  // namespace kamvo
