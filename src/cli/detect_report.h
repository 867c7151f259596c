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

// The way the run found and wrote the text, in English: "KOI8-R -> UTF-8",
// "Windows-1251 read as KOI8-R, saved as UTF-8 -> UTF-8" (WayReport), with
// the arrow given.
std::string DescribeWay(const Converter& converter, std::string_view arrow);

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
