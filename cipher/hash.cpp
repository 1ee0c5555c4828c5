#include "cipher/hash.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "cipher/formats.h"
#include "cipher/support.h"

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

void THash::Update(const std::uint8_t*, std::size_t) {}

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
  if (action != TProtectionAction::Decrypt) TProtection::ProcessBlock(data, size, action);
  if (data == nullptr) return;
  if (InSet(Actions, action)) {
    const std::size_t d = std::size_t(DigestSize());
    switch (action) {
      case TProtectionAction::Digest:
        Update(data, size);
        break;
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
  if (cls.create == nullptr) throw EProtection(std::string("Cannot create an object of the abstract class ") + cls.name);
  return cls.create(chained);
}

std::string DigestText(const HashClassInfo& cls, std::string_view text, TProtection* chained, int formatId) {
  Owned<THash> hash = CreateHash(cls, chained);
  hash->Start();
  hash->Update(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  hash->Finish();
  return ConvertToText(std::string_view(reinterpret_cast<const char*>(hash->DigestBytes()), std::size_t(hash->DigestSize())),
                       formatId);
}

// ---- registry -----------------------------------------------------------------------------

namespace {
struct HashEntry {
  const HashClassInfo* cls;
  std::string line;
};
std::vector<HashEntry>& HashRegistry() {
  static std::vector<HashEntry> registry;
  return registry;
}
std::string_view AfterFirstUnderscore(std::string_view name) {
  const auto p = name.find('_');
  return p == std::string_view::npos ? name : name.substr(p + 1);
}
std::string_view NamePart(const std::string& line) {
  return std::string_view(line).substr(0, line.find('='));
}
}  // namespace

bool RegisterHash(const HashClassInfo* cls, std::string_view name, std::string_view category) {
  StartCipherLibrary();
  if (cls == nullptr) return false;
  std::string display(Trim(name));
  if (display.empty()) {
    std::string_view n = cls->name;
    if (!n.empty() && n.front() == 'T') n.remove_prefix(1);
    const auto p = n.find('_');
    if (p != std::string_view::npos) n.remove_prefix(p + 1);
    display = n;
  }
  std::string line = display + "=" + std::string(category);
  auto& reg = HashRegistry();
  for (auto& e : reg)
    if (e.cls == cls) {
      e.line = std::move(line);
      return true;
    }
  reg.push_back({cls, std::move(line)});
  return true;
}

const HashClassInfo* FindHashClass(std::string_view name) {
  StartCipherLibrary();
  const std::string_view reduced = AfterFirstUnderscore(name);
  const auto& reg = HashRegistry();
  for (const auto& e : reg)
    if (SameText(ShortClassName(e.cls->name), reduced)) return e.cls;
  for (const auto& e : reg)
    if (SameText(NamePart(e.line), reduced)) return e.cls;
  return nullptr;
}

std::string HashClassName(const HashClassInfo* cls) {
  if (cls == nullptr) return {};
  StartCipherLibrary();
  for (const auto& e : HashRegistry())
    if (e.cls == cls) return std::string(NamePart(e.line));
  return ShortClassName(cls->name);
}

std::string HashRegistryLine(const HashClassInfo* cls) {
  StartCipherLibrary();
  for (const auto& e : HashRegistry())
    if (e.cls == cls) return e.line;
  return {};
}

std::vector<std::string> HashList() {
  StartCipherLibrary();
  std::vector<std::string> lines;
  for (const auto& e : HashRegistry()) lines.push_back(e.line);
  return lines;
}

std::vector<const HashClassInfo*> HashClasses() {
  StartCipherLibrary();
  std::vector<const HashClassInfo*> classes;
  for (const auto& e : HashRegistry()) classes.push_back(e.cls);
  return classes;
}

}  // namespace corvane
