// The hash base: one life cycle (Start, Update, Finish, read the digest) for every hash and
// checksum, the protection hooks that let a hash digest data, overwrite it with digests or run a
// keystream of its own digests over it, the password-keyed TMAC, and the hash registry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cipher/base/protection.h"

namespace corvane {

class THash;

// Descriptor of a hash class: name, parent, digest size, known answer (the digest of the shared
// test input) and a factory.
struct HashClassInfo : ClassInfo {
  std::int32_t digestSize;
  const std::uint8_t* knownAnswer;  // digestSize bytes
  Owned<THash> (*create)(TProtection* chained);
};

// Declares the class descriptor of a hash class (inside the class body).
#define CORVANE_HASH_CLASS(Name)                        \
 public:                                                \
  static const ::corvane::HashClassInfo& StaticClass(); \
  const ::corvane::HashClassInfo& Class() const override { return StaticClass(); }

// Defines it (in the .cpp). KnownAnswer is an array of DigestSize bytes (or nullptr for an
// abstract class).
#define CORVANE_DEFINE_HASH_CLASS(Name, Parent, DigestSize, KnownAnswer)            \
  const ::corvane::HashClassInfo& Name::StaticClass() {                             \
    static const ::corvane::HashClassInfo info{                                     \
        {#Name, &Parent::StaticClass()},                                            \
        DigestSize,                                                                 \
        KnownAnswer,                                                                \
        [](::corvane::TProtection* chained) -> ::corvane::Owned<::corvane::THash> { \
          return ::corvane::Owned<::corvane::THash>(new Name(chained));             \
        }};                                                                         \
    return info;                                                                    \
  }

class THash : public TProtection {
 public:
  using TProtection::TProtection;

  static const HashClassInfo& StaticClass();
  const HashClassInfo& Class() const override { return StaticClass(); }

  // Resets the algorithm, then runs the start hook (a chained TMAC keys the fresh state).
  void Start();
  // Takes size more bytes; no data, or a size of 0 or less (NoBytes), takes nothing. The input
  // may be the object's own digest buffer: implementations read it as they go and never take a
  // snapshot.
  void Update(const std::uint8_t* data, std::size_t size) {
    if (data != nullptr && !NoBytes(size)) DoUpdate(data, size);
  }
  // Completes the digest into the digest buffer, then runs the finish hook (a chained TMAC
  // protects the digest; any other chained protection obscures it in place).
  void Finish();
  // The digest buffer inside the object, valid for DigestSize() bytes.
  virtual std::uint8_t* DigestBytes();
  std::int32_t DigestSize() const { return Class().digestSize; }
  const std::uint8_t* KnownAnswer() const { return Class().knownAnswer; }
  std::string DigestString() const;  // the current digest bytes as a byte string

  void BeginAction(TProtectionAction action) override;
  void EndAction(TProtectionAction action) override;
  void ProcessBlock(std::uint8_t* data, std::size_t size, TProtectionAction action) override;

 protected:
  // The algorithm's own reset, update and completion; Start, Update and Finish wrap them with
  // the checks and hooks, so DoUpdate always gets data and at least one byte. Concrete classes
  // wipe their state and digest in their own destructors (SecureWipe).
  virtual void DoStart() {}
  virtual void DoUpdate(const std::uint8_t* data, std::size_t size);
  virtual void DoFinish() {}
};

// Checksums are hashes with a category of their own in the registry.
class TChecksum : public THash {
 public:
  using THash::THash;
  static const HashClassInfo& StaticClass();
  const HashClassInfo& Class() const override { return StaticClass(); }
};

// A password-keyed MAC, chained to a hash: keys the hash's start value with the digest of the
// password and hands the finished digest to its own chained protection.
class TMAC : public TProtection {
 public:
  using TProtection::TProtection;
  ~TMAC() override;
  static const ClassInfo& StaticClass();
  const ClassInfo& Class() const override { return StaticClass(); }

  std::string Password;

  virtual void PrepareHash(THash& hash);
  virtual void ProtectDigest(THash& hash);
};

Owned<THash> CreateHash(const HashClassInfo& cls, TProtection* chained = nullptr);

// Hashes text in one call and gives the digest in the given string format (1: raw bytes).
std::string DigestText(const HashClassInfo& cls, std::string_view text, TProtection* chained, int formatId);

// The hash registry: lines "display name=category" in registration order.
bool RegisterHash(const HashClassInfo* cls, std::string_view name, std::string_view category);
const HashClassInfo* FindHashClass(std::string_view name);
std::string HashClassName(const HashClassInfo* cls);
std::vector<std::string> HashList();
std::vector<const HashClassInfo*> HashClasses();
// The registry line of a class ("" when not registered).
std::string HashRegistryLine(const HashClassInfo* cls);
const HashClassInfo& DefaultHashClass();  // THash_RipeMD256

// Library start-up (string formats, hash registry, cipher registry); runs once, on first use.
void StartCipherLibrary();

}  // namespace corvane
