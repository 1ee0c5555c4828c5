// Stored values: every value of the settings files is kept encrypted, as the MIME base64 text of
// the value's bytes encrypted with IDEA in cmCTS under the fixed key text (no initialisation
// vector). The empty value is stored as the empty text. Section and key names stay plain.
#pragma once

#include <string>
#include <string_view>

#include "cipher/base/managers.h"
#include "settings/ini_file.h"

namespace corvane {

// The three settings files, in the program's directory (the remote library's DataDir).
inline constexpr std::string_view kEnvironmentFileName = "CorvaneEnv.ini";
inline constexpr std::string_view kJobFileName = "CorvaneJob.ini";
inline constexpr std::string_view kScheduleFileName = "CorvaneSchd.ini";

// The directory and the file name joined with "/".
std::string SettingsFilePath(std::string_view directory, std::string_view fileName);

// Makes `manager` the manager of stored values: selects IDEA, cmCTS, and keys it with the fixed
// key text and no initialisation vector. Throws std::logic_error when IDEA is not registered.
void InitStoredValueManager(TCipherManager& manager);

// Reads and writes the values of a settings object through a cipher manager that
// InitStoredValueManager prepared. The manager is borrowed and must outlive this object; it may
// be shared with other threads (the manager serialises its own operations).
class StoredValues {
 public:
  explicit StoredValues(TCipherManager& manager) noexcept : manager_(&manager) {}

  // The stored text of a plain value; "" stays "".
  std::string Encrypt(std::string_view plain) const;
  // The plain value of a stored text; "" stays "". Throws EStringFormat when the text holds a
  // character outside the MIME base64 alphabet.
  std::string Decrypt(std::string_view stored) const;

  // The decrypted value of a key; a missing section or key reads as `storedDefault` decrypted
  // (the empty text unless given).
  std::string Read(const IniFile& file, std::string_view section, std::string_view key,
                   std::string_view storedDefault = {}) const;
  // Writes the stored text of `plain` under the key (IniFile::Write rules).
  void Write(IniFile& file, std::string_view section, std::string_view key, std::string_view plain) const;

 private:
  TCipherManager* manager_;
};

}  // namespace corvane
