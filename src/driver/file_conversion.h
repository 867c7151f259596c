// Converting one file on disk with one conversion run.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "driver/converter.h"

namespace kamvo {

struct FileReport {
  std::string Text;                // Windows-1251, CR LF after every line; empty after a user break
  bool Failed = false;             // some line reports a failure
  Lines FailureLines;              // the failure lines alone, in order
  Lines SavedAttachments;          // the lines naming each attachment saved, in order
  bool NotText = false;            // the file holds control bytes: left alone, no failure
  std::string NotTextLine;         // the report line saying so
  bool Written = false;            // the result was written
  std::string Backup;              // where the file the result replaced was moved, if any
  std::string BackupLine;          // the report line naming it
  std::size_t Transliterated = 0;  // characters the target cannot hold, spelt out
  std::string TransliteratedLine;  // the report line saying so
  bool Streamed = false;           // converted piece by piece (StreamToUtf8), not held whole
};

// What a conversion does when another conversion is converting the same
// file: wait until it is done (and then see the file it left), or give up
// at once with a report line saying the file is busy.
enum class WhenBusy { Wait, Refuse };

// Reads inName (UTF-16 with a byte order mark is read as UTF-8), leaves it
// alone when it is not text, converts it with the converter's run
// options (Options), writes the result to outName and saves the attachments
// beside it. No file is ever lost: the file the result replaces, the input
// itself when rewritten in place or an existing outName, is first moved to
// its backup name, the first free one of NAME.bak, NAME.1.bak, NAME.2.bak,
// ... (an older backup is never replaced). Every line keeps its own break (a line a stage makes takes the
// break of the line it comes from). When automatic
// detection finds no chain that reaches the limit, the text is taken as the
// decoding stages left it: no guess is ever written. Never throws: every
// outcome is a line of the report, in the interface language; a failure
// line ends with the system's reason. The file's bytes are read once and
// converted as they are held; the run keeps no back copy. A large file
// converted into UTF-8 in place or into a new file may instead be converted
// piece by piece straight into its temporary file (StreamToUtf8), with the
// same result and report.
//
// Files on disk:
// - A link given as inName is followed: the file at its end is read, and in
//   place that file is rewritten in its own folder, with its backup and the
//   attachments beside it; the link stays. An outName that is a link to a
//   regular file writes that file. Anything but a regular file (a folder, a
//   device, a pipe, a socket, a link to one of them or to nothing) is
//   refused as input and as output, and never created, replaced or removed.
// - A file the user may not write is not rewritten, even in a folder the
//   user may write; a rewritten file keeps its mode, its group and, where
//   the system allows, its owner.
// - An attachment never replaces anything: when its name is taken it is
//   saved as "name (1).ext", "name (2).ext", ...
// - Temporary files that a killed conversion left beside the file written
//   are removed.
// - The file is locked from opening to the end of the conversion; a second
//   conversion of it waits (or, with WhenBusy::Refuse, gives up) and then
//   converts the file as the first one left it.
// onWritten, when given, is called the moment the result is in place (with
// SIGINT, SIGTERM and SIGHUP held back), before the attachments are saved.
FileReport ConvertFile(Converter& converter, const std::string& inName, const std::string& outName,
                       WhenBusy whenBusy = WhenBusy::Wait, const std::function<void()>& onWritten = {});

}  // namespace kamvo
