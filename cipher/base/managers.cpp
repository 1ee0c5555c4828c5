#include "cipher/base/managers.h"

#include <algorithm>

#include "cipher/formats/formats.h"
#include "cipher/base/support.h"

namespace corvane {

namespace {
std::string AfterFirstEquals(const std::string& line) {
  const auto p = line.find('=');
  return std::string(Trim(p == std::string::npos ? std::string_view() : std::string_view(line).substr(p + 1)));
}
}  // namespace

// ---- THashManager -----------------------------------------------------------------------

THashManager::~THashManager() {
  for (TCipherManager* m : listeners_) m->hashManager_ = nullptr;
}

const HashClassInfo& THashManager::HashClass() {
  if (hashClass_ == nullptr) hashClass_ = &DefaultHashClass();
  return *hashClass_;
}

std::string THashManager::Algorithm() { return HashClassName(&HashClass()); }

void THashManager::SetAlgorithm(std::string_view name) {
  const HashClassInfo* found = FindHashClass(name);
  hashClass_ = found ? found : &DefaultHashClass();
}

std::string THashManager::Description() {
  std::string text = AfterFirstEquals(std::string(Trim(HashRegistryLine(&HashClass()))));
  if (!text.empty()) text += ", ";
  return text + std::to_string(HashClass().digestSize * 8) + "bit Digestsize";
}

void THashManager::ReadStoredHash(std::string_view className) {
  for (const HashClassInfo* cls : HashClasses())
    if (className == cls->name) {
      hashClass_ = cls;
      return;
    }
}

std::string THashManager::StoredHash() const { return hashClass_ ? hashClass_->name : ""; }

// ---- TCipherManager -----------------------------------------------------------------------

TCipherManager::~TCipherManager() { SetHashManager(nullptr); }

const CipherClassInfo& TCipherManager::CipherClass() {
  std::lock_guard lock(mutex_);
  return ClassLocked();
}

const CipherClassInfo& TCipherManager::ClassLocked() {
  if (cipherClass_ == nullptr) cipherClass_ = &DefaultCipherClass();
  return *cipherClass_;
}

TCipher& TCipherManager::CipherObject() {
  std::lock_guard lock(mutex_);
  return CipherLocked();
}

TCipher& TCipherManager::CipherLocked() {
  if (!cipher_) {
    cipher_ = CreateCipher(ClassLocked());
    cipher_->Mode = mode_;
  }
  return *cipher_;
}

std::string TCipherManager::Algorithm() {
  std::lock_guard lock(mutex_);
  return CipherClassName(&CipherClass());
}

void TCipherManager::SetAlgorithm(std::string_view name) {
  std::lock_guard lock(mutex_);
  const CipherClassInfo* found = FindCipherClass(name);
  const CipherClassInfo* current = cipherClass_ ? cipherClass_ : &DefaultCipherClass();
  if (found == current) return;
  cipher_.reset();
  cipherClass_ = found;
}

std::string TCipherManager::Description() {
  std::lock_guard lock(mutex_);
  const CipherClassInfo& cls = CipherClass();
  std::string text = AfterFirstEquals(std::string(Trim(CipherRegistryLine(&cls))));
  if (!text.empty()) text += ", ";
  return text + std::to_string(ClassMaxKeySize(&cls) * 8) + "bit Key";
}

void TCipherManager::SetMode(TCipherMode mode) {
  CheckCipherMode(mode);
  std::lock_guard lock(mutex_);
  mode_ = mode;
  if (cipher_) cipher_->Mode = mode;
}

void TCipherManager::SetHashManager(THashManager* manager) {
  std::lock_guard lock(mutex_);
  if (manager == hashManager_) return;
  if (hashManager_) {
    auto& l = hashManager_->listeners_;
    l.erase(std::remove(l.begin(), l.end(), this), l.end());
  }
  hashManager_ = manager;
  if (manager) manager->listeners_.push_back(this);
}

TCipher& TCipherManager::CipherWithKeyHash() {
  TCipher& cipher = CipherObject();
  if (hashManager_) cipher.SetKeyHashClass(&hashManager_->HashClass());
  return cipher;
}

void TCipherManager::InitKey(std::string_view keyText, const std::uint8_t* iv) {
  std::lock_guard lock(mutex_);
  CipherWithKeyHash().InitKey(keyText, iv);
}

void TCipherManager::InitKey(std::string_view keyText, std::span<const std::uint8_t> iv) {
  std::lock_guard lock(mutex_);
  CipherWithKeyHash().InitKey(keyText, iv);
}

std::string TCipherManager::EncryptText(std::string_view text) {
  std::lock_guard lock(mutex_);
  if (text.empty()) return {};
  return CipherLocked().ProcessText(text, TProtectionAction::Encrypt, -1);
}

std::string TCipherManager::DecryptText(std::string_view text) {
  std::lock_guard lock(mutex_);
  if (text.empty()) return {};
  return CipherLocked().ProcessText(text, TProtectionAction::Decrypt, -1);
}

void TCipherManager::ReadStoredCipher(std::string_view className) {
  std::lock_guard lock(mutex_);
  for (const CipherClassInfo* cls : CipherClasses())
    if (className == cls->name) {
      if (cls != cipherClass_) {
        cipher_.reset();
        cipherClass_ = cls;
      }
      return;
    }
}

std::string TCipherManager::StoredCipher() const {
  std::lock_guard lock(mutex_);
  return cipherClass_ ? cipherClass_->name : "";
}

}  // namespace corvane
