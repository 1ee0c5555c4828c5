#include "cipher/base/hash.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "cipher/base/class_registry.h"
#include "cipher/formats/formats.h"
#include "cipher/base/support.h"

namespace corvane {

void RegisterBuiltinHashes();
void RegisterBuiltinCiphers();

void StartCipherLibrary() {
  static std::recursive_mutex mutex;
  static std::atomic<bool> done{false};
  static bool running = false;
  if (done.load(std::memory_order_acquire)) return;
  std::lock_guard lock(mutex);
  if (done.load() || running) return;  // a registration during start-up re-enters here
  running = true;
  (void)DefaultStringFormat();  // the string formats start first
  RegisterBuiltinHashes();
  RegisterBuiltinCiphers();
  done.store(true, std::memory_order_release);
}

// ---- THash ------------------------------------------------------------------------------

const HashClassInfo& THash::StaticClass() {
  static const HashClassInfo info{{"THash", &TProtection::StaticClass()}, 0, nullptr, nullptr};
  return info;
}

const HashClassInfo& TChecksum::StaticClass() {
  static const HashClassInfo info{{"TChecksum", &THash::StaticClass()}, 0, nullptr, nullptr};
  return info;
}

// Out of line, so that callers do not test for it before calling the algorithm's own.
void THash::DoUpdate(const std::uint8_t*, std::size_t) {}

std::uint8_t* THash::DigestBytes() {
  // The abstract base has no digest: it shows a private copy of the shared test input.
  static thread_local std::uint8_t copy[32];
  std::memcpy(copy, SharedTestInput().data(), sizeof copy);
  return copy;
}

std::string THash::DigestString() const {
  auto* self = const_cast<THash*>(this);
  return std::string(reinterpret_cast<const char*>(self->DigestBytes()), std::size_t(DigestSize()));
}

void THash::Start() {
  DoStart();
  if (TProtection* chained = ChainedProtection(); chained && chained->IsA(TMAC::StaticClass()))
    static_cast<TMAC*>(chained)->PrepareHash(*this);
}

void THash::Finish() {
  DoFinish();
  TProtection* chained = ChainedProtection();
  if (chained == nullptr) return;
  if (chained->IsA(TMAC::StaticClass()))
    static_cast<TMAC*>(chained)->ProtectDigest(*this);
  else
    chained->ProcessBuffer(DigestBytes(), std::size_t(DigestSize()), TProtectionAction::Obscure);
}

void THash::BeginAction(TProtectionAction action) {
  Start();
  if (action == TProtectionAction::Erase) RandomFill(TimeSeed(), DigestBytes(), DigestSize());
  TProtection::BeginAction(action);
}

void THash::EndAction(TProtectionAction action) {
  TProtection::EndAction(action);
  if (action == TProtectionAction::Digest)
    Finish();
  else
    Start();
}

void THash::ProcessBlock(std::uint8_t* data, std::size_t size, TProtectionAction action) {
  if (NoBytes(size)) size = 0;
  if (action != TProtectionAction::Decrypt) TProtection::ProcessBlock(data, size, action);
  if (data == nullptr) return;
  if (InSet(Actions, action)) {
    const std::size_t d = std::size_t(DigestSize());
    switch (action) {
      case TProtectionAction::Digest: Update(data, size); break;
      case TProtectionAction::Obscure:
      case TProtectionAction::Erase:
        for (std::size_t pos = 0; d > 0 && pos < size; pos += d) {
          const std::size_t n = std::min(d, size - pos);
          Update(data + pos, n);
          Finish();
          std::memcpy(data + pos, DigestBytes(), n);
        }
        break;
      case TProtectionAction::Encrypt:
      case TProtectionAction::Decrypt:
        for (std::size_t pos = 0; d > 0 && pos < size; pos += d) {
          const std::size_t n = std::min(d, size - pos);
          Update(DigestBytes(), d);
          Finish();
          XorInto(data + pos, DigestBytes(), n, data + pos);
        }
        break;
    }
  }
  if (action == TProtectionAction::Decrypt) TProtection::ProcessBlock(data, size, action);
}

// ---- TMAC -------------------------------------------------------------------------------

const ClassInfo& TMAC::StaticClass() {
  static const ClassInfo info{"TMAC", &TProtection::StaticClass()};
  return info;
}

TMAC::~TMAC() {
  if (!Password.empty()) SecureWipeThrice(Password.data(), Password.size(), 0);
  Password.clear();
}

void TMAC::PrepareHash(THash& hash) {
  if (Password.empty()) return;
  std::string p = DigestText(hash.Class(), Password, ChainedProtection(), 1);
  const std::size_t n = std::min(p.size(), std::size_t(hash.DigestSize()));
  XorInto(hash.DigestBytes(), p.data(), n, hash.DigestBytes());
  SecureWipeThrice(p.data(), p.size(), 0);
}

void TMAC::ProtectDigest(THash& hash) {
  if (TProtection* chained = ChainedProtection())
    chained->ProcessBuffer(hash.DigestBytes(), std::size_t(hash.DigestSize()), TProtectionAction::Obscure);
}

// ---- one-call digest ----------------------------------------------------------------------

Owned<THash> CreateHash(const HashClassInfo& cls, TProtection* chained) {
  if (cls.create == nullptr)
    throw EProtection(std::string("Cannot create an object of the abstract class ") + cls.name);
  return cls.create(chained);
}

std::string DigestText(const HashClassInfo& cls, std::string_view text, TProtection* chained, int formatId) {
  Owned<THash> hash = CreateHash(cls, chained);
  hash->Start();
  hash->Update(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  hash->Finish();
  return ConvertToText(
      std::string_view(reinterpret_cast<const char*>(hash->DigestBytes()), std::size_t(hash->DigestSize())),
      formatId);
}

// ---- registry -----------------------------------------------------------------------------

namespace {
ClassRegistry<HashClassInfo>& HashRegistry() {
  static ClassRegistry<HashClassInfo> registry;
  return registry;
}
}  // namespace

bool RegisterHash(const HashClassInfo* cls, std::string_view name, std::string_view category) {
  StartCipherLibrary();
  return HashRegistry().Register(cls, name, category);
}

const HashClassInfo* FindHashClass(std::string_view name) {
  StartCipherLibrary();
  return HashRegistry().Find(name);
}

std::string HashClassName(const HashClassInfo* cls) {
  StartCipherLibrary();
  return HashRegistry().NameOf(cls);
}

std::string HashRegistryLine(const HashClassInfo* cls) {
  StartCipherLibrary();
  return HashRegistry().LineOf(cls);
}

std::vector<std::string> HashList() {
  StartCipherLibrary();
  return HashRegistry().Lines();
}

std::vector<const HashClassInfo*> HashClasses() {
  StartCipherLibrary();
  return HashRegistry().Classes();
}

}  // namespace corvane
