#include "settings/stored_values.h"

#include <stdexcept>

#include "cipher/base/cipher.h"
#include "cipher/base/stored_key.h"

namespace corvane {

std::string SettingsFilePath(std::string_view directory, std::string_view fileName) {
  std::string path(directory);
  path += '/';
  path += fileName;
  return path;
}

void InitStoredValueManager(TCipherManager& manager) {
  const CipherClassInfo* idea = FindCipherClass(kStoredValueAlgorithm);
  if (idea == nullptr) throw std::logic_error("The IDEA cipher is not registered");
  manager.SetAlgorithm(kStoredValueAlgorithm);
  if (&manager.CipherClass() != idea) throw std::logic_error("The IDEA cipher could not be selected");
  manager.SetMode(TCipherMode::cmCTS);
  manager.InitKey(StoredValueKeyText(), nullptr);
}

std::string StoredValues::Encrypt(std::string_view plain) const {
  if (plain.empty()) return {};
  return manager_->EncryptText(plain);
}

std::string StoredValues::Decrypt(std::string_view stored) const {
  if (stored.empty()) return {};
  return manager_->DecryptText(stored);
}

std::string StoredValues::Read(const IniFile& file, std::string_view section, std::string_view key,
                               std::string_view storedDefault) const {
  return Decrypt(file.Read(section, key, storedDefault));
}

void StoredValues::Write(IniFile& file, std::string_view section, std::string_view key,
                         std::string_view plain) const {
  file.Write(section, key, Encrypt(plain));
}

}  // namespace corvane
