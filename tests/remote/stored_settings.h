// Test helpers for the library's run exports: a temporary data directory and settings files
// written through the settings library with the real cipher manager, as the program writes them.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "cipher/base/managers.h"
#include "settings/ini_file.h"
#include "settings/stored_values.h"

namespace corvane::test {

using KeyValues = std::vector<std::pair<std::string, std::string>>;

class TempDataDir {
 public:
  TempDataDir() {
    char pattern[] = "/tmp/corvane-dll-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDataDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDataDir(const TempDataDir&) = delete;
  TempDataDir& operator=(const TempDataDir&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Adds the values to a section of a settings file, each encrypted as a stored value.
inline void WriteStored(const std::string& path, const std::string& section, const KeyValues& values) {
  TCipherManager manager;
  InitStoredValueManager(manager);
  const StoredValues stored(manager);
  IniFile ini(path);
  for (const auto& [key, value] : values) stored.Write(ini, section, key, value);
  ini.WriteBack();
}

// Writes a value exactly as given (no encryption), e.g. a corrupt stored value.
inline void WriteRaw(const std::string& path, const std::string& section, const std::string& key,
                     const std::string& stored) {
  IniFile ini(path);
  ini.Write(section, key, stored);
  ini.WriteBack();
}

inline void WriteEnvironment(const TempDataDir& dir, const std::string& name, const KeyValues& values) {
  WriteStored(dir.File("CorvaneEnv.ini"), name, values);
}

inline void WriteJob(const TempDataDir& dir, const std::string& name, const KeyValues& values) {
  WriteStored(dir.File("CorvaneJob.ini"), name, values);
}

inline std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

inline std::size_t CountOf(const std::string& text, std::string_view what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++count;
  return count;
}

// The end of every output block.
inline constexpr std::string_view kBlockEnd = "\r\n*************************************\r\n\r\n";

// Waits (bounded) until the file holds at least `blocks` whole blocks; returns its content.
inline std::string WaitForBlocks(const std::string& path, std::size_t blocks,
                                 std::chrono::seconds limit = std::chrono::seconds(120)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    std::string content = ReadWholeFile(path).value_or("");
    if (CountOf(content, kBlockEnd) >= blocks || std::chrono::steady_clock::now() > deadline) return content;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// Splits an output file into its blocks (each ending with kBlockEnd).
inline std::vector<std::string> SplitBlocks(const std::string& content) {
  std::vector<std::string> blocks;
  std::size_t begin = 0;
  for (std::size_t at = content.find(kBlockEnd); at != std::string::npos; at = content.find(kBlockEnd, begin)) {
    blocks.push_back(content.substr(begin, at + kBlockEnd.size() - begin));
    begin = at + kBlockEnd.size();
  }
  if (begin != content.size()) blocks.push_back(content.substr(begin));  // a torn tail shows up
  return blocks;
}

}  // namespace corvane::test
