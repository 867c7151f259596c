// What a run found in a text, as words for people and as fields for
// scripts: `kamvo --detect`, and the one line per file of a run over many
// files.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/cli_run.h"

namespace kamvo {

// The iconv name of a code number: "cp1251", "cp866", "koi8-r",
// "iso-8859-5", "utf-8".
std::string IconvName(int code);

// The source as found by the run: the code page of a one-pair chain (with
// "UTF-8" when the UTF-8 step was needed), "UTF-8" for UTF-8 text that
// needed no pair, "Windows" for text already in Windows-1251, or the pairs
// of a longer chain; with a chosen source, its name.
std::string DescribeSource(const Converter& converter);

// The decoders that changed the text, in the order they run: "qp",
// "7bit", "rtf", "base64", "uue", "xxe", "html", "translit".
std::vector<std::string> DecodersUsed(const DecoderCounters& counters);

// Prints one line per file (or one JSON object per line) naming what was
// found, and writes nothing; a file that is no text is skipped. A name "-"
// is standard input. Returns the exit status: 1 when some file could not be
// read, else 3 when some text was not recognised (Russian words met, no
// chain reached the limit, as a conversion decides), else 0.
int DetectFiles(const std::vector<std::string>& names, bool recursive, bool json, const RunChoices& choices,
                const TCfg& cfg, std::ostream& out, std::ostream& err);

}  // namespace kamvo
