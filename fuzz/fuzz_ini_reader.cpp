// Fuzzes the settings-file reader: any bytes read without a crash or an out-of-bounds access,
// and a file the writer produced reads back to exactly the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "settings/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const corvane::IniFile first = corvane::IniFile::FromBytes(bytes);
  for (const auto& section : first.Sections())
    for (const auto& key : first.Keys(section)) (void)first.Read(section, key);
  const std::string written = first.ToBytes();
  const std::string again = corvane::IniFile::FromBytes(written).ToBytes();
  if (again != written) std::abort();
  return 0;
}
