#include "settings/settings_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <numeric>

#include "codepages/ascii.h"
#include "codepages/file_reader.h"

namespace kamvo {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kRoot = "HKEY_CURRENT_USER\\SOFTWARE\\KAMVO";

// A store file larger than this is not a settings file; it is treated as
// unreadable (and therefore never written over) rather than loaded.
constexpr std::size_t kMaxStoreSize = 16 * 1024 * 1024;

std::string_view Trim(std::string_view s) { return TrimBytes(s, IsSpaceOrTab); }

// Parses "..." starting at s[pos] == '"'. Returns the position after the
// closing quote, or npos when the string is not closed. Escapes: \\ \" \r
// \n \t \xHH; any other backslash is taken literally, as registry exports
// of hand-made files have it.
size_t ParseQuoted(std::string_view s, size_t pos, std::string& out) {
  out.clear();
  ++pos;
  while (pos < s.size()) {
    const char c = s[pos];
    if (c == '"') return pos + 1;
    if (c == '\\' && pos + 1 < s.size()) {
      const char e = s[pos + 1];
      char plain = 0;
      switch (e) {
        case '\\':
          plain = '\\';
          break;
        case '"':
          plain = '"';
          break;
        case 'r':
          plain = '\r';
          break;
        case 'n':
          plain = '\n';
          break;
        case 't':
          plain = '\t';
          break;
        case 'x':
          if (pos + 3 < s.size() && HexDigitValue(s[pos + 2]) >= 0 && HexDigitValue(s[pos + 3]) >= 0) {
            out += static_cast<char>(HexDigitValue(s[pos + 2]) * 16 + HexDigitValue(s[pos + 3]));
            pos += 4;
            continue;
          }
          break;
        default:
          break;
      }
      if (plain != 0) {
        out += plain;
        pos += 2;
        continue;
      }
    }
    out += c;
    ++pos;
  }
  return std::string_view::npos;
}

// "01,ab,ff" (possibly empty) into bytes; every item exactly two hex digits.
bool ParseHexList(std::string_view s, std::string& out) {
  out.clear();
  s = Trim(s);
  if (s.empty()) return true;
  while (true) {
    const size_t comma = s.find(',');
    const std::string_view item = Trim(s.substr(0, comma));
    if (item.size() != 2 || HexDigitValue(item[0]) < 0 || HexDigitValue(item[1]) < 0) return false;
    out += static_cast<char>(HexDigitValue(item[0]) * 16 + HexDigitValue(item[1]));
    if (comma == std::string_view::npos) return true;
    s.remove_prefix(comma + 1);
  }
}

bool ParseHexNumber(std::string_view s, uint32_t& value) {
  if (s.empty() || s.size() > 8) return false;
  value = 0;
  for (char c : s) {
    const int d = HexDigitValue(c);
    if (d < 0) return false;
    value = value * 16 + static_cast<uint32_t>(d);
  }
  return true;
}

std::string HexList(std::string_view bytes) {
  std::string out;
  char buf[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%s%02x", i ? "," : "", static_cast<unsigned char>(bytes[i]));
    out += buf;
  }
  return out;
}

std::string FormatValue(const TRegValue& v) {
  char buf[32];
  if (v.Type == kRegSz) return QuoteRegString(v.Data);
  if (v.Type == kRegDword && v.Data.size() == 4) {
    uint32_t d = 0;
    for (int i = 3; i >= 0; --i) d = d << 8 | static_cast<unsigned char>(v.Data[i]);
    std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(d));
    return buf;
  }
  if (v.Type == kRegBinary) return "hex:" + HexList(v.Data);
  std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(v.Type));
  return buf + HexList(v.Data);
}

struct Line {
  std::string_view text;
  bool terminated;  // followed by a line break
};

std::vector<Line> SplitAtLf(std::string_view text) {
  std::vector<Line> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t lf = text.find('\n', start);
    if (lf == std::string_view::npos) {
      lines.push_back({text.substr(start), false});
      break;
    }
    std::string_view l = text.substr(start, lf - start);
    if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
    lines.push_back({l, true});
    start = lf + 1;
  }
  return lines;
}

// Closes a file descriptor when it goes out of scope.
struct Fd {
  int fd = -1;
  explicit Fd(int f) : fd(f) {}
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
};

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Replaces `path` by `content` atomically: a temporary file in the same
// folder is written, flushed to disk and renamed over it, so a reader sees
// either the old or the new file, never a part of one.
bool WriteAtomically(const fs::path& path, std::string_view content, mode_t mode) {
  std::string tmp = path.string() + ".XXXXXX";
  const int raw = ::mkostemp(tmp.data(), O_CLOEXEC);
  if (raw < 0) return false;
  bool ok;
  {
    Fd f(raw);
    ok = WriteAll(f.fd, content) && ::fchmod(f.fd, mode) == 0 && ::fsync(f.fd) == 0;
    ok = ::close(f.fd) == 0 && ok;
    f.fd = -1;
  }
  if (ok) ok = ::rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(tmp.c_str());
    return false;
  }
  // Make the rename itself durable.
  Fd dir(::open(path.parent_path().empty() ? "." : path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.fd >= 0) ::fsync(dir.fd);
  return true;
}

}  // namespace

// --- values -----------------------------------------------------------------

TRegValue TRegValue::String(std::string_view s) { return {kRegSz, std::string(s)}; }

TRegValue TRegValue::Dword(uint32_t v) {
  std::string d(4, '\0');
  for (int i = 0; i < 4; ++i) d[i] = static_cast<char>(v >> (8 * i) & 0xFF);
  return {kRegDword, d};
}

TRegValue TRegValue::Binary(std::string_view bytes) { return {kRegBinary, std::string(bytes)}; }

std::string QuoteRegString(std::string_view s) {
  std::string out = "\"";
  char buf[8];
  for (const char c : s) {
    const auto b = static_cast<unsigned char>(c);
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (b < 0x20 || b == 0x7F) {
          std::snprintf(buf, sizeof buf, "\\x%02x", b);
          out += buf;
        } else {
          out += c;
        }
    }
  }
  out += '"';
  return out;
}

// --- parsed file ------------------------------------------------------------

TRegData::Key* TRegData::FindKey(std::string_view key) {
  const auto it = index_.find(AsciiUpper(key));
  return it == index_.end() ? nullptr : &keys_[it->second];
}

const TRegData::Key* TRegData::FindKey(std::string_view key) const {
  const auto it = index_.find(AsciiUpper(key));
  return it == index_.end() ? nullptr : &keys_[it->second];
}

TRegData::Key& TRegData::AddKey(std::string_view key) {
  if (Key* k = FindKey(key)) return *k;
  index_.emplace(AsciiUpper(key), keys_.size());
  keys_.push_back(Key{std::string(key), {}, {}});
  return keys_.back();
}

const TRegValue* TRegData::Find(std::string_view key, std::string_view name) const {
  const Key* k = FindKey(key);
  if (!k) return nullptr;
  const auto it = k->index.find(AsciiUpper(name));
  return it == k->index.end() ? nullptr : &k->values[it->second].second;
}

bool TRegData::Set(std::string_view key, std::string_view name, TRegValue value) {
  Key& k = AddKey(key);
  const std::string folded = AsciiUpper(name);
  const auto it = k.index.find(folded);
  if (it == k.index.end()) {
    k.index.emplace(folded, k.values.size());
    k.values.emplace_back(std::string(name), std::move(value));
    return true;
  }
  TRegValue& old = k.values[it->second].second;
  if (old == value) return false;
  old = std::move(value);
  return true;
}

std::string TRegData::Serialize() const {
  std::vector<size_t> order(keys_.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::vector<std::string> folded;
  folded.reserve(keys_.size());
  for (const Key& k : keys_) folded.push_back(AsciiUpper(k.name));
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return folded[a] < folded[b]; });

  std::string out = "REGEDIT4\n";
  for (const size_t i : order) {
    const Key& k = keys_[i];
    out += "\n[" + k.name + "]\n";
    for (const auto& [name, value] : k.values) {
      out += name.empty() ? std::string("@") : QuoteRegString(name);
      out += '=';
      out += FormatValue(value);
      out += '\n';
    }
  }
  return out;
}

TRegData TRegData::Parse(std::string_view text, size_t* badLines) {
  TRegData data;
  size_t bad = 0;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  const std::vector<Line> lines = SplitAtLf(text);

  bool first = true;
  std::string key;
  bool haveKey = false;
  std::string name, str;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string_view line = Trim(lines[i].text);
    if (line.empty()) continue;
    const bool header = line == "REGEDIT4" || line.starts_with("Windows Registry Editor Version");
    if (first && header) {
      first = false;
      continue;
    }
    first = false;
    if (line[0] == ';') continue;
    // A last line without a line break may have been cut short; only forms
    // whose end cannot be faked by a cut are taken from it.
    const bool maybeCut = !lines[i].terminated;

    if (line[0] == '[') {
      haveKey = line.size() > 2 && line.back() == ']' && line[1] != '-';
      if (haveKey) {
        key = std::string(line.substr(1, line.size() - 2));
        data.AddKey(key);
      } else {
        ++bad;
      }
      continue;
    }
    if (!haveKey) {
      ++bad;
      continue;
    }

    size_t pos;
    if (line[0] == '@') {
      name.clear();
      pos = 1;
    } else if (line[0] == '"') {
      pos = ParseQuoted(line, 0, name);
    } else {
      pos = std::string_view::npos;
    }
    if (pos != std::string_view::npos) {
      while (pos < line.size() && IsSpaceOrTab(line[pos])) ++pos;
      if (pos < line.size() && line[pos] == '=') {
        ++pos;
      } else {
        pos = std::string_view::npos;
      }
    }
    if (pos == std::string_view::npos) {
      ++bad;
      continue;
    }
    const std::string_view rest = Trim(line.substr(pos));

    std::optional<TRegValue> value;
    if (rest.starts_with('"')) {
      const size_t end = ParseQuoted(rest, 0, str);
      if (end == rest.size()) value = TRegValue::String(str);
    } else if (rest.starts_with("dword:")) {
      const std::string_view digits = rest.substr(6);
      uint32_t d;
      if (ParseHexNumber(digits, d) && (!maybeCut || digits.size() == 8)) value = TRegValue::Dword(d);
    } else if (rest.starts_with("hex")) {
      uint32_t type = kRegBinary;
      std::string_view list = rest.substr(3);
      bool ok = true;
      if (list.starts_with('(')) {
        const size_t close = list.find(')');
        ok = close != std::string_view::npos && ParseHexNumber(list.substr(1, close - 1), type);
        if (ok) list.remove_prefix(close + 1);
      }
      ok = ok && list.starts_with(':');
      if (ok) {
        // Long hex lists are continued on the next lines with a trailing
        // backslash; every line of the value must be complete. The list is
        // only ever trimmed at its end, so a value of many lines is joined
        // in time linear in its size.
        std::string joined(Trim(list.substr(1)));
        bool complete = !maybeCut;
        for (;;) {
          while (!joined.empty() && IsSpaceOrTab(joined.back())) joined.pop_back();
          if (!complete || joined.empty() || joined.back() != '\\') break;
          joined.pop_back();
          if (i + 1 >= lines.size()) {
            complete = false;
            break;
          }
          ++i;
          joined += Trim(lines[i].text);
          complete = lines[i].terminated;
        }
        if (complete && ParseHexList(joined, str)) value = TRegValue{type, str};
      }
    }
    if (value) {
      data.Set(key, name, std::move(*value));
    } else {
      ++bad;
    }
  }
  if (badLines) *badLines = bad;
  return data;
}

// --- where the store lives --------------------------------------------------

EnvLookup ProcessEnv() {
  return [](const char* name) {
    const char* v = std::getenv(name);
    return std::string(v ? v : "");
  };
}

fs::path DefaultStorePath(const EnvLookup& env) {
  const std::string xdg = env("XDG_CONFIG_HOME");
  // Relative values are invalid by the XDG rules and are ignored.
  if (!xdg.empty() && xdg[0] == '/') return fs::path(xdg) / "kamvo" / "kamvo.reg";
  std::string home = env("HOME");
  if (home.empty()) {
    struct passwd pw, *found = nullptr;
    char buf[4096];
    if (::getpwuid_r(::getuid(), &pw, buf, sizeof buf, &found) == 0 && found && found->pw_dir) home = found->pw_dir;
  }
  if (home.empty()) return {};
  return fs::path(home) / ".config" / "kamvo" / "kamvo.reg";
}

std::string RegKeyPath(std::string_view subKey) {
  std::string path(kRoot);
  if (!subKey.empty()) {
    path += '\\';
    path += subKey;
  }
  return path;
}

// --- one access ---------------------------------------------------------------

TRegSession::TRegSession(fs::path storeFile) : file_(std::move(storeFile)) {}

TRegSession::~TRegSession() { Flush(); }

void TRegSession::Load() {
  if (loaded_) return;
  loaded_ = true;
  if (file_.empty()) return;
  std::string text;
  ++fileReads_;
  switch (ReadRegularFile(file_.string(), text, kMaxStoreSize)) {
    case FileRead::Ok:
      data_ = TRegData::Parse(text);
      available_ = true;
      break;
    case FileRead::Missing:
      available_ = true;
      break;
    case FileRead::Failed:
      break;
  }
  for (const Pending& p : pending_) data_.Set(p.key, p.name, p.value);
}

bool TRegSession::Available() {
  Load();
  return available_;
}

const TRegValue* TRegSession::Get(std::string_view subKey, std::string_view name) {
  Load();
  return available_ ? data_.Find(RegKeyPath(subKey), name) : nullptr;
}

void TRegSession::Put(std::string_view subKey, std::string_view name, TRegValue value) {
  // No read is needed for a plain write: the commit reads the current file.
  std::string key = RegKeyPath(subKey);
  if (loaded_) data_.Set(key, name, value);
  pending_.push_back({std::move(key), std::string(name), std::move(value), false, std::nullopt});
}

void TRegSession::PutBack(std::string_view subKey, std::string_view name, TRegValue value) {
  Load();
  if (!available_) return;
  std::string key = RegKeyPath(subKey);
  std::optional<TRegValue> expected;
  if (const TRegValue* now = data_.Find(key, name)) expected = *now;
  data_.Set(key, name, value);
  pending_.push_back({std::move(key), std::string(name), std::move(value), true, std::move(expected)});
}

void TRegSession::Flush() {
  if (pending_.empty()) return;
  try {
    Commit();
  } catch (...) {
    // Settings writes never fail visibly.
  }
  pending_.clear();
}

void TRegSession::Commit() {
  if (file_.empty()) return;
  std::error_code ec;
  // A store that is a symbolic link (a managed dotfile) is written through
  // the link, so the link stays in place.
  fs::path target = file_;
  if (fs::is_symlink(file_, ec)) {
    target = fs::weakly_canonical(file_, ec);
    if (ec) return;
  }
  fs::create_directories(file_.parent_path(), ec);
  if (ec) return;
  fs::create_directories(target.parent_path(), ec);
  if (ec) return;

  const fs::path lockPath = file_.string() + ".lock";
  Fd lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (lock.fd < 0) return;
  while (::flock(lock.fd, LOCK_EX) != 0)
    if (errno != EINTR) return;

  std::string text;
  mode_t mode = 0600;
  const FileRead state = ReadRegularFile(target.string(), text, kMaxStoreSize, &mode);
  if (state == FileRead::Failed) return;  // never write over what we cannot read
  size_t bad = 0;
  TRegData current = state == FileRead::Ok ? TRegData::Parse(text, &bad) : TRegData{};

  bool changed = false;
  for (const Pending& p : pending_) {
    if (p.conditional) {
      const TRegValue* now = current.Find(p.key, p.name);
      const bool unchanged = now ? p.expected && *now == *p.expected : !p.expected;
      if (!unchanged) continue;
    }
    changed = current.Set(p.key, p.name, p.value) || changed;
  }
  if (!changed) return;
  // The rewrite drops the lines that did not parse; keep the file as it was
  // beside it first, and do not rewrite when that fails.
  if (bad > 0 && !WriteAtomically(target.string() + ".damaged", text, mode)) return;
  WriteAtomically(target, current.Serialize(), mode);
}

// --- value routines ---------------------------------------------------------

namespace {

std::optional<uint32_t> AsDword(const TRegValue* v) {
  if (!v || v->Type != kRegDword || v->Data.size() != 4) return std::nullopt;
  uint32_t d = 0;
  for (int i = 3; i >= 0; --i) d = d << 8 | static_cast<unsigned char>(v->Data[i]);
  return d;
}

}  // namespace

// Boolean and integer: a 4-byte dword is taken; absent, another type or
// another size: the default is taken and written back.
void ReadBool(TRegSession& reg, std::string_view key, std::string_view name, bool& field, bool def) {
  if (!reg.Available()) return;
  if (const auto d = AsDword(reg.Get(key, name))) {
    field = *d != 0;
    return;
  }
  field = def;
  reg.PutBack(key, name, TRegValue::Dword(def ? 1 : 0));
}

void ReadInteger(TRegSession& reg, std::string_view key, std::string_view name, int32_t& field, int32_t def) {
  if (!reg.Available()) return;
  if (const auto d = AsDword(reg.Get(key, name))) {
    field = static_cast<int32_t>(*d);
    return;
  }
  field = def;
  reg.PutBack(key, name, TRegValue::Dword(static_cast<uint32_t>(def)));
}

// String: a plain or expandable string is taken up to its first NUL; absent:
// the field becomes empty and nothing is written; another type: the default
// is taken and written back.
void ReadString(TRegSession& reg, std::string_view key, std::string_view name, std::string& field,
                std::string_view def) {
  if (!reg.Available()) return;
  const TRegValue* v = reg.Get(key, name);
  if (!v) {
    field.clear();
    return;
  }
  if (v->Type == kRegSz || v->Type == kRegExpandSz) {
    field = v->Data.substr(0, v->Data.find('\0'));
    return;
  }
  field = std::string(def);
  reg.PutBack(key, name, TRegValue::String(def));
}

// One-byte binary: a binary value of at most one byte is taken (an empty one
// holds no byte, so the field keeps its value); absent: the field keeps its
// value and nothing is written; another type or a longer value: the default
// is taken and written back as one byte.
void ReadBinary(TRegSession& reg, std::string_view key, std::string_view name, uint8_t& field, uint8_t def) {
  if (!reg.Available()) return;
  const TRegValue* v = reg.Get(key, name);
  if (!v) return;
  if (v->Type == kRegBinary && v->Data.size() <= 1) {
    if (!v->Data.empty()) field = static_cast<uint8_t>(v->Data[0]);
    return;
  }
  field = def;
  reg.PutBack(key, name, TRegValue::Binary(std::string(1, static_cast<char>(def))));
}

void WriteBool(TRegSession& reg, std::string_view key, std::string_view name, bool value) {
  reg.Put(key, name, TRegValue::Dword(value ? 1 : 0));
}

void WriteInteger(TRegSession& reg, std::string_view key, std::string_view name, int32_t value) {
  reg.Put(key, name, TRegValue::Dword(static_cast<uint32_t>(value)));
}

void WriteString(TRegSession& reg, std::string_view key, std::string_view name, std::string_view value) {
  reg.Put(key, name, TRegValue::String(value));
}

void WriteBinary(TRegSession& reg, std::string_view key, std::string_view name, uint8_t value) {
  reg.Put(key, name, TRegValue::Binary(std::string(1, static_cast<char>(value))));
}

}  // namespace kamvo
