// The manager components: the face of the cipher and hash library towards the rest of the
// system. A TCipherManager selects a cipher by name, holds the chaining mode, takes a key text
// once and encrypts/decrypts whole texts in MIME base64; a THashManager selects a hash by name
// and can lend its hash class to a cipher manager as the key hash.
// One cipher manager may be shared by several threads: every operation holds the manager's lock,
// so that interleaved texts never share a chaining register half-way.
#pragma once

#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cipher/base/cipher.h"
#include "cipher/base/hash.h"

namespace corvane {

class TCipherManager;

class THashManager {
 public:
  THashManager() = default;
  ~THashManager();
  THashManager(const THashManager&) = delete;
  THashManager& operator=(const THashManager&) = delete;

  // The selected class; reading it with none selected selects DefaultHashClass and keeps it.
  const HashClassInfo& HashClass();
  std::string Algorithm();
  void SetAlgorithm(std::string_view name);
  std::string Description();
  void SetDescription(std::string_view) {}
  TProgressEvent OnProgress;

  // Stored-form property "Hash": the class name (exact, case-sensitive match on reading).
  void ReadStoredHash(std::string_view className);
  std::string StoredHash() const;  // "" when no class is held

 private:
  friend class TCipherManager;
  const HashClassInfo* hashClass_ = nullptr;
  std::vector<TCipherManager*> listeners_;
};

class TCipherManager {
 public:
  TCipherManager() = default;
  ~TCipherManager();
  TCipherManager(const TCipherManager&) = delete;
  TCipherManager& operator=(const TCipherManager&) = delete;

  // The selected class; reading it with none selected selects DefaultCipherClass and keeps it.
  const CipherClassInfo& CipherClass();
  // The cipher instance, created on first use; freed when the class changes.
  TCipher& CipherObject();

  std::string Algorithm();
  void SetAlgorithm(std::string_view name);
  std::string Description();
  void SetDescription(std::string_view) {}

  TCipherMode Mode() const { return mode_; }
  // A value outside the eight modes is refused (ECipherException code 4); the mode stays.
  void SetMode(TCipherMode mode);

  THashManager* HashManager() const { return hashManager_; }
  void SetHashManager(THashManager* manager);

  TProgressEvent OnProgress;

  void InitKey(std::string_view keyText, const std::uint8_t* iv = nullptr);
  // The vector's length is checked against the cipher's block size (code 5).
  void InitKey(std::string_view keyText, std::span<const std::uint8_t> iv);
  // Empty gives empty; otherwise the bytes encrypted in Mode as one message, as MIME base64.
  std::string EncryptText(std::string_view text);
  // Empty gives empty; otherwise MIME base64 text decrypted in Mode.
  std::string DecryptText(std::string_view text);

  // Stored-form property "Cipher": the class name (exact, case-sensitive match on reading).
  void ReadStoredCipher(std::string_view className);
  std::string StoredCipher() const;

 private:
  friend class THashManager;
  TCipher& CipherWithKeyHash();  // the cipher object with the hash manager's class as key hash
  // CipherClass() and CipherObject() for a caller that holds the lock already.
  const CipherClassInfo& ClassLocked();
  TCipher& CipherLocked();
  mutable std::recursive_mutex mutex_;
  const CipherClassInfo* cipherClass_ = nullptr;
  Owned<TCipher> cipher_;
  TCipherMode mode_ = TCipherMode::cmCTS;
  THashManager* hashManager_ = nullptr;
};

}  // namespace corvane
