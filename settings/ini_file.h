// In-memory copy of one settings file of INI form.
//
// Every rule for reading and writing the settings files lives in this class, so the console and
// the remote library can never disagree on a byte. Names and values are 8-bit bytes (std::string
// used as a byte string); no character set is applied.
//
// Reading (bytes in):
//   - CR LF, a lone CR or a lone LF ends a line;
//   - each line is stripped of leading and trailing blanks and control characters;
//   - empty lines and lines starting with ";" are skipped;
//   - "[" ... "]" opens a section whose name is the text between the brackets, stripped again;
//   - lines before the first section are dropped;
//   - any other line is split at its first "=" into a stripped name and a stripped value;
//     a line without "=" stays in its section, is written back unchanged, but names no key.
// Lookups compare names without regard to letter case (ASCII and Latin-1 letters); with
// duplicate sections or keys every lookup finds the last of them.
//
// Writing (bytes out): per section "[name]" CR LF, one "key=value" CR LF per entry, then an empty
// line (CR LF). Nothing else; an object without sections gives 0 bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace corvane {

// The byte with an ASCII or Latin-1 capital letter folded to its small form; every other byte as
// it is. Names compare equal when their bytes fold alike.
unsigned char FoldNameByte(unsigned char c) noexcept;
// The text without the leading and trailing blanks and control characters (every byte up to and
// including the space, and DEL) that reading strips from lines, names and values.
std::string_view StripBlanks(std::string_view s) noexcept;

// True when the two names are equal after folding ASCII and Latin-1 letters to one case.
bool NamesEqualIgnoringCase(std::string_view a, std::string_view b) noexcept;
// The name with ASCII and Latin-1 letters folded to one case: equal folds mean equal names.
std::string FoldName(std::string_view name);

// The largest settings file that is read; a larger one is refused with an error.
inline constexpr std::size_t kMaxSettingsFileSize = 64 * 1024 * 1024;

class IniFile {
 public:
  // An empty object with no file behind it (WriteBack() needs a path then).
  IniFile() = default;

  // Reads the whole file at `path`. A missing file gives an empty object; a file that exists but
  // cannot be read throws std::system_error (reading it as empty would let the next write wipe it).
  // Only a regular file is read: anything else (a FIFO, a device, a directory) is refused without
  // waiting on it, and so is a file larger than kMaxSettingsFileSize.
  explicit IniFile(std::string path);

  // Builds an object from the bytes of a file, as if read from `path`.
  static IniFile FromBytes(std::string_view bytes, std::string path = {});

  const std::string& Path() const noexcept { return path_; }

  // All section names in file order (duplicates included).
  std::vector<std::string> Sections() const;
  // Key names of a section in order (the last section of that name); empty when it is missing.
  // Lines without "=" name no key and are not listed.
  std::vector<std::string> Keys(std::string_view section) const;

  bool SectionExists(std::string_view section) const;
  bool KeyExists(std::string_view section, std::string_view key) const;

  // The value, or `def` when the section or the key is missing. A present key with an empty
  // value reads as empty.
  std::string Read(std::string_view section, std::string_view key, std::string_view def = {}) const;

  // Overwrites the key in place (the line then carries `key` as spelled here) or appends it at
  // the end of its section; appends the section at the end when it is missing.
  // Throws std::invalid_argument when the section name, key name or value holds a CR or LF byte,
  // since such a byte would forge lines of its own in the file.
  void Write(std::string_view section, std::string_view key, std::string_view value);

  // Removes the key; nothing when the section or key is missing.
  void DeleteKey(std::string_view section, std::string_view key);
  // Removes the section with all its lines; nothing when it is missing.
  void EraseSection(std::string_view section);

  // The written form of the whole object.
  std::string ToBytes() const;

  // Rewrites the whole file at Path() through SafeWriteFile (temporary file, fsync, rename).
  // Throws std::system_error on failure; the old file then stays as it was.
  void WriteBack() const;
  // Same, to another path.
  void WriteBack(const std::string& path) const;

 private:
  struct Entry {
    bool isKey = false;  // false: a line without "=", kept verbatim in `text`
    std::string name;    // key name (isKey only)
    std::string text;    // value, or the whole line when !isKey
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
    // Folded key name -> index of the last entry of that name, so that a lookup costs the same
    // whatever the number of keys.
    std::unordered_map<std::string, std::size_t> keyIndex;
  };

  void Parse(std::string_view bytes);
  void AppendSection(std::string name);
  static void AppendEntry(Section& section, Entry entry);
  static void RebuildKeyIndex(Section& section);
  void RebuildSectionIndex();
  const Section* FindSection(std::string_view name) const noexcept;
  Section* FindSection(std::string_view name) noexcept;
  static const Entry* FindKey(const Section& section, std::string_view key) noexcept;
  static Entry* FindKey(Section& section, std::string_view key) noexcept;

  std::string path_;
  std::vector<Section> sections_;
  // Folded section name -> index of the last section of that name.
  std::unordered_map<std::string, std::size_t> sectionIndex_;
};

}  // namespace corvane
