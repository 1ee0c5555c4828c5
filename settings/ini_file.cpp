#include "settings/ini_file.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <stdexcept>
#include <system_error>
#include <unistd.h>
#include <utility>

#include "posix/descriptor.h"
#include "settings/safe_write.h"

namespace corvane {
namespace {

// Blanks and control characters: every byte up to and including the space, and DEL.
bool IsStripped(unsigned char c) noexcept { return c <= 0x20 || c == 0x7F; }

bool HasLineBreak(std::string_view s) noexcept { return s.find_first_of("\r\n") != std::string_view::npos; }

}  // namespace

// 0xD7 (multiplication sign) is no letter; 0xDF and 0xFF have no capital in Latin-1 and stay as
// they are.
unsigned char FoldNameByte(unsigned char c) noexcept {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 0x20);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 0x20);
  return c;
}

std::string_view StripBlanks(std::string_view s) noexcept {
  std::size_t begin = 0;
  std::size_t end = s.size();
  while (begin < end && IsStripped(static_cast<unsigned char>(s[begin]))) ++begin;
  while (end > begin && IsStripped(static_cast<unsigned char>(s[end - 1]))) --end;
  return s.substr(begin, end - begin);
}

bool NamesEqualIgnoringCase(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldNameByte(static_cast<unsigned char>(a[i])) != FoldNameByte(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

std::string FoldName(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) c = static_cast<char>(FoldNameByte(static_cast<unsigned char>(c)));
  return folded;
}

IniFile::IniFile(std::string path) : path_(std::move(path)) {
  // O_NONBLOCK: opening a FIFO must not wait for a writer; the type is checked before any read.
  const posix::Descriptor fd(::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd) {
    if (errno == ENOENT || errno == ENOTDIR) return;  // a missing file reads as empty
    posix::ThrowErrno(errno, "Cannot open file", path_);
  }
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) posix::ThrowErrno(errno, "Cannot open file", path_);
  if (!S_ISREG(st.st_mode)) {
    posix::ThrowErrno(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, "Cannot open file (not a regular file)", path_);
  }
  if (static_cast<unsigned long long>(st.st_size) > kMaxSettingsFileSize) {
    posix::ThrowErrno(EFBIG, "Cannot read file (larger than 64 MiB)", path_);
  }
  std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
  std::size_t filled = 0;
  for (;;) {
    // One byte of room beyond the size the file had: a file that grows meanwhile is noticed.
    if (filled == bytes.size()) {
      if (bytes.size() > kMaxSettingsFileSize)
        posix::ThrowErrno(EFBIG, "Cannot read file (larger than 64 MiB)", path_);
      bytes.resize(std::min(kMaxSettingsFileSize + 1, bytes.size() + 65536));
    }
    const ssize_t n = ::read(fd.Get(), bytes.data() + filled, bytes.size() - filled);
    if (n > 0) {
      filled += static_cast<std::size_t>(n);
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      posix::ThrowErrno(errno, "Cannot read file", path_);
    }
  }
  bytes.resize(filled);
  Parse(bytes);
}

IniFile IniFile::FromBytes(std::string_view bytes, std::string path) {
  IniFile file;
  file.path_ = std::move(path);
  file.Parse(bytes);
  return file;
}

void IniFile::Parse(std::string_view bytes) {
  Section* current = nullptr;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    std::size_t end = bytes.find_first_of("\r\n", pos);
    std::size_t next;
    if (end == std::string_view::npos) {
      end = bytes.size();
      next = end;
    } else if (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') {
      next = end + 2;
    } else {
      next = end + 1;
    }
    const std::string_view line = StripBlanks(bytes.substr(pos, end - pos));
    pos = next;

    if (line.empty() || line.front() == ';') continue;
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      AppendSection(std::string(StripBlanks(line.substr(1, line.size() - 2))));
      current = &sections_.back();
      continue;
    }
    if (current == nullptr) continue;  // lines before the first section

    const auto eq = line.find('=');
    if (eq == std::string_view::npos) {
      AppendEntry(*current, Entry{false, {}, std::string(line)});
    } else {
      AppendEntry(*current, Entry{true, std::string(StripBlanks(line.substr(0, eq))),
                                  std::string(StripBlanks(line.substr(eq + 1)))});
    }
  }
}

void IniFile::AppendSection(std::string name) {
  sectionIndex_[FoldName(name)] = sections_.size();
  sections_.push_back(Section{std::move(name), {}, {}});
}

void IniFile::AppendEntry(Section& section, Entry entry) {
  if (entry.isKey) section.keyIndex[FoldName(entry.name)] = section.entries.size();
  section.entries.push_back(std::move(entry));
}

void IniFile::RebuildKeyIndex(Section& section) {
  section.keyIndex.clear();
  for (std::size_t i = 0; i < section.entries.size(); ++i) {
    if (section.entries[i].isKey) section.keyIndex[FoldName(section.entries[i].name)] = i;
  }
}

void IniFile::RebuildSectionIndex() {
  sectionIndex_.clear();
  for (std::size_t i = 0; i < sections_.size(); ++i) sectionIndex_[FoldName(sections_[i].name)] = i;
}

const IniFile::Section* IniFile::FindSection(std::string_view name) const noexcept {
  const auto it = sectionIndex_.find(FoldName(name));
  return it == sectionIndex_.end() ? nullptr : &sections_[it->second];
}

IniFile::Section* IniFile::FindSection(std::string_view name) noexcept {
  return const_cast<Section*>(std::as_const(*this).FindSection(name));
}

const IniFile::Entry* IniFile::FindKey(const Section& section, std::string_view key) noexcept {
  const auto it = section.keyIndex.find(FoldName(key));
  return it == section.keyIndex.end() ? nullptr : &section.entries[it->second];
}

IniFile::Entry* IniFile::FindKey(Section& section, std::string_view key) noexcept {
  return const_cast<Entry*>(FindKey(std::as_const(section), key));
}

std::vector<std::string> IniFile::Sections() const {
  std::vector<std::string> names;
  names.reserve(sections_.size());
  for (const auto& s : sections_) names.push_back(s.name);
  return names;
}

std::vector<std::string> IniFile::Keys(std::string_view section) const {
  std::vector<std::string> names;
  if (const Section* s = FindSection(section)) {
    for (const auto& e : s->entries) {
      if (e.isKey) names.push_back(e.name);
    }
  }
  return names;
}

bool IniFile::SectionExists(std::string_view section) const { return FindSection(section) != nullptr; }

bool IniFile::KeyExists(std::string_view section, std::string_view key) const {
  const Section* s = FindSection(section);
  return s != nullptr && FindKey(*s, key) != nullptr;
}

std::string IniFile::Read(std::string_view section, std::string_view key, std::string_view def) const {
  if (const Section* s = FindSection(section)) {
    if (const Entry* e = FindKey(*s, key)) return e->text;
  }
  return std::string(def);
}

void IniFile::Write(std::string_view section, std::string_view key, std::string_view value) {
  if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) {
    throw std::invalid_argument("A settings section name, key name or value cannot contain a line break");
  }
  Section* s = FindSection(section);
  if (s == nullptr) {
    AppendSection(std::string(section));
    s = &sections_.back();
  }
  if (Entry* e = FindKey(*s, key)) {
    e->name.assign(key);
    e->text.assign(value);
  } else {
    AppendEntry(*s, Entry{true, std::string(key), std::string(value)});
  }
}

void IniFile::DeleteKey(std::string_view section, std::string_view key) {
  Section* s = FindSection(section);
  if (s == nullptr) return;
  if (const Entry* e = FindKey(*s, key)) {
    s->entries.erase(s->entries.begin() + (e - s->entries.data()));
    RebuildKeyIndex(*s);  // a key of the same name before it is found again
  }
}

void IniFile::EraseSection(std::string_view section) {
  if (const Section* s = FindSection(section)) {
    sections_.erase(sections_.begin() + (s - sections_.data()));
    RebuildSectionIndex();
  }
}

std::string IniFile::ToBytes() const {
  std::string out;
  for (const auto& s : sections_) {
    out += '[';
    out += s.name;
    out += "]\r\n";
    for (const auto& e : s.entries) {
      if (e.isKey) {
        out += e.name;
        out += '=';
      }
      out += e.text;
      out += "\r\n";
    }
    out += "\r\n";
  }
  return out;
}

void IniFile::WriteBack() const { WriteBack(path_); }

void IniFile::WriteBack(const std::string& path) const { SafeWriteFile(path, ToBytes()); }

}  // namespace corvane
