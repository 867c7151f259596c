// Attachment names: the names found around encoded blocks come from mail
// headers and BEGIN lines, so they may be MIME encoded words, 8-bit names in
// the wrong code page, or hold characters that a file name must not hold.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "decoders/file_list.h"

namespace kamvo {

// The naming pass over the attachment list after the blocks are decoded:
// unnamed text entries are dropped (their text is in the text already),
// named entries get their decoded, code-page-fixed, safe names, and unnamed
// binary entries become file1, file2 and so on. A name that comes out empty,
// "." or ".." counts as no name.
void FinishNames(TFileList& files);

// When the name is an encoded word =?charset?text?= it becomes its decoded
// form and the result is true. Encoded words (B or Q) of a charset the
// program knows (see decoders/mime.h) become their characters in
// Windows-1251. Otherwise the B form is decoded from Base64 (one line of
// at most 76 characters); KOI8-R names are converted to Windows-1251; other
// charsets keep their bytes. A name that starts with "=?" and ends with "?="
// but has no inner "?" loses those markers and gives false.
bool DecodeMimeName(std::string& name);

// The name converted by the conversion pair under which more than half of its
// non-ASCII candidate words are Russian words (the lowest such pair), or the
// name unchanged.
std::string FixNameCodePage(std::string_view name);

// The name with the characters a file name cannot hold (" * / : < > ? \ and
// the control characters) replaced by "_".
std::string SafeFileName(std::string_view name);

// All words of s in order, a word being a longest run of non-delimiters.
std::vector<std::string_view> SplitWords(std::string_view s, std::string_view delimiters);

}  // namespace kamvo
