// The per-user settings store: a file in the text format of a registry
// export, holding the same keys, value names and value types that the
// program would keep in the registry of the current user.
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\SOFTWARE\KAMVO]
//   "FirstRun"=dword:00000001
//
//   [HKEY_CURRENT_USER\SOFTWARE\KAMVO\Settings]
//   "Detection limit"=dword:00000050
//   "Translit Table"="A\r\nB\r\n..."
//
//   [HKEY_CURRENT_USER\SOFTWARE\KAMVO\Settings\Font]
//   "Style"=hex:01
//
// The file lives at $XDG_CONFIG_HOME/kamvo/kamvo.reg (default
// ~/.config/kamvo/kamvo.reg). Writes are atomic and serialised between
// processes; a damaged file is read as far as it parses. Nothing here
// reports an error: a store that cannot be read or written is left alone.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kamvo {

// Registry value type numbers, as written in hex(N): of an export.
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;

// One value: its type and its raw bytes. A dword is 4 bytes, little-endian;
// a string holds its bytes without a terminator (it may hold a NUL when it
// came from a hex(1): or hex(2): line; readers cut it there).
struct TRegValue {
  uint32_t Type = kRegSz;
  std::string Data;

  static TRegValue String(std::string_view s);
  static TRegValue Dword(uint32_t v);
  static TRegValue Binary(std::string_view bytes);

  bool operator==(const TRegValue&) const = default;
};

// The parsed content of a store file: keys (full paths such as
// "HKEY_CURRENT_USER\SOFTWARE\KAMVO\Settings") with their values. Key and
// value names compare without regard to ASCII case, as in the registry.
class TRegData {
 public:
  const TRegValue* Find(std::string_view key, std::string_view name) const;
  // Sets a value, creating the key when it is missing. Returns true when
  // the content changed.
  bool Set(std::string_view key, std::string_view name, TRegValue value);
  bool Empty() const { return keys_.empty(); }

  // The export text: a "REGEDIT4" header, then the keys sorted by name,
  // each with its values in the order they were first set.
  std::string Serialize() const;

  // Parses an export text. Lines that do not parse are skipped and counted
  // in *badLines; values below a damaged section header are skipped too, so
  // they never land in the wrong key. A last line without a line break may
  // be cut short, so it is only taken when it is certainly complete.
  static TRegData Parse(std::string_view text, size_t* badLines = nullptr);

 private:
  struct Key {
    std::string name;
    std::vector<std::pair<std::string, TRegValue>> values;
    std::unordered_map<std::string, size_t> index;  // folded name -> values
  };
  Key* FindKey(std::string_view key);
  const Key* FindKey(std::string_view key) const;
  Key& AddKey(std::string_view key);

  std::vector<Key> keys_;
  std::unordered_map<std::string, size_t> index_;  // folded name -> keys_
};

// Escaping of names and string values in the file: "..." with \\ \" \r \n
// \t and \xHH for every other control byte. Exact for all 256 byte values.
std::string QuoteRegString(std::string_view s);

// The environment as the settings see it: the value of a variable, or ""
// when it is not set. Tests pass their own.
using EnvLookup = std::function<std::string(const char* name)>;
EnvLookup ProcessEnv();

// $XDG_CONFIG_HOME/kamvo/kamvo.reg when XDG_CONFIG_HOME is an absolute
// path, otherwise $HOME/.config/kamvo/kamvo.reg (the password database's home
// folder when HOME is unset); an empty path when there is no home at all.
std::filesystem::path DefaultStorePath(const EnvLookup& env);

// One access to the store, used for all values of one settings routine.
// The file is read once, at the first value read; writes are collected and
// committed together in one atomic write by Flush() (or the destructor).
//
// A commit is read-modify-write under an advisory lock (flock on
// "kamvo.reg.lock" beside the file): the current file is read again under
// the lock and only the collected values are changed in it, so two
// processes writing different values lose nothing. The new content goes to a
// temporary file in the same folder, is fsync'ed and renamed over the store.
//
// Damage handling: when the current file has lines that do not parse, its
// exact bytes are first kept as "kamvo.reg.damaged" (replacing an older copy),
// and the rewrite goes ahead only when that copy was written; so a rewrite
// never throws away anything that the parser could not read. A file that
// exists but cannot be read is never written over.
class TRegSession {
 public:
  explicit TRegSession(std::filesystem::path storeFile);
  ~TRegSession();
  TRegSession(const TRegSession&) = delete;
  TRegSession& operator=(const TRegSession&) = delete;

  // False when the store exists but cannot be read (or has no path): the
  // value routines then do nothing at all.
  bool Available();

  // The value as read at the first access, with this session's own writes
  // applied; nullptr when absent. `subKey` is below SOFTWARE\KAMVO ("" for
  // the key itself).
  const TRegValue* Get(std::string_view subKey, std::string_view name);

  // Writes a value.
  void Put(std::string_view subKey, std::string_view name, TRegValue value);
  // Writes a default back in place of an absent or unusable value. The
  // write is dropped when another process changed that value after this
  // session read it, so a late write-back never overwrites a newer value.
  void PutBack(std::string_view subKey, std::string_view name, TRegValue value);

  // Commits the collected writes (nothing when there are none). Failures
  // are ignored.
  void Flush();

  // Number of times this session read the store file (for tests: reading
  // the settings reads the file once).
  int FileReads() const { return fileReads_; }

 private:
  struct Pending {
    std::string key, name;
    TRegValue value;
    bool conditional;
    std::optional<TRegValue> expected;  // for conditional writes
  };
  void Load();
  void Commit();

  std::filesystem::path file_;
  bool loaded_ = false;
  bool available_ = false;
  TRegData data_;
  std::vector<Pending> pending_;
  int fileReads_ = 0;
};

// The full key path for a key below SOFTWARE\KAMVO ("" for the key itself).
std::string RegKeyPath(std::string_view subKey);

// The value routines, one value each. Reading: a present, usable value is
// taken; otherwise the rules of each type apply (see settings_store.cpp).
// When the session is not available they do nothing at all.
void ReadBool(TRegSession& reg, std::string_view key, std::string_view name, bool& field, bool def);
void ReadInteger(TRegSession& reg, std::string_view key, std::string_view name, int32_t& field, int32_t def);
void ReadString(TRegSession& reg, std::string_view key, std::string_view name, std::string& field,
                std::string_view def);
void ReadBinary(TRegSession& reg, std::string_view key, std::string_view name, uint8_t& field, uint8_t def);

void WriteBool(TRegSession& reg, std::string_view key, std::string_view name, bool value);
void WriteInteger(TRegSession& reg, std::string_view key, std::string_view name, int32_t value);
void WriteString(TRegSession& reg, std::string_view key, std::string_view name, std::string_view value);
void WriteBinary(TRegSession& reg, std::string_view key, std::string_view name, uint8_t value);

}  // namespace kamvo
