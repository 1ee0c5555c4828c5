#include "cipher/base/cipher.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "cipher/base/class_registry.h"
#include "cipher/formats/formats.h"
#include "cipher/base/support.h"

namespace corvane {

namespace {
std::atomic<bool> gStrictKeySize{false};
constexpr std::align_val_t kAlign{16};
}  // namespace

void SetStrictKeySize(bool on) { gStrictKeySize.store(on); }
bool StrictKeySize() { return gStrictKeySize.load(); }

const CipherClassInfo& TCipher::StaticClass() {
  static const CipherClassInfo info{{"TCipher", &TProtection::StaticClass()}, 0, 0, 0, nullptr, nullptr};
  return info;
}

void TCipher::AlignedFree::operator()(std::uint8_t* p) const { ::operator delete[](p, kAlign); }

TCipher::Block TCipher::Allocate(std::int32_t size) {
  const std::size_t n = std::size_t(std::max<std::int32_t>(size, 1));
  auto* p = static_cast<std::uint8_t*>(::operator new[](n, kAlign));
  std::memset(p, 0, n);
  return Block(p);
}

TCipher::TCipher(const CipherClassInfo& cls, TProtection* chained)
    : TProtection(chained),
      blockSize_(cls.blockSize),
      maxKeySize_(cls.maxKeySize),
      scheduleSize_(cls.scheduleSize),
      keyHashClass_(&DefaultHashClass()),
      vector_(Allocate(blockSize_)),
      feedback_(Allocate(blockSize_)),
      scratch_(Allocate(blockSize_)),
      schedule_(Allocate(scheduleSize_)) {
  TCipher::EraseState();
}

TCipher::~TCipher() { TCipher::EraseState(); }

void TCipher::SetFlag(CipherFlag flag, bool on) {
  flags_ = on ? (flags_ | FlagBit(flag)) : (flags_ & ~FlagBit(flag));
}

void TCipher::EraseState() {
  SetFlag(CipherFlag::KeyFromText, false);
  SetFlag(CipherFlag::Ready, false);
  const std::size_t b = std::size_t(blockSize_), s = std::size_t(scheduleSize_);
  for (std::uint8_t pass : {std::uint8_t(0xAA), std::uint8_t(0x55)}) {
    SecureWipe(vector_.get(), b, pass);
    SecureWipe(feedback_.get(), b, pass);
    SecureWipe(scratch_.get(), b, pass);
    SecureWipe(schedule_.get(), s, pass);
  }
  SecureWipe(vector_.get(), b, 0xFF);
  SecureWipe(feedback_.get(), b, 0xFF);
  SecureWipe(scratch_.get(), b, 0x00);
  SecureWipe(schedule_.get(), s, 0x00);
}

void TCipher::CheckKeySize(std::int32_t& size) {
  SetFlag(CipherFlag::Ready, false);
  EraseState();
  if (size < 0) size = 0;
  if (size > maxKeySize_) {
    if (StrictKeySize()) {
      char text[256];
      std::snprintf(text, sizeof text,
                    "Length from Encryptionkey is invalid.\r\nKeysize for %s must be to %d-%d bytes", ClassName(),
                    0, int(maxKeySize_));
      throw ECipherException(text, 2);
    }
    size = maxKeySize_;
  }
}

void TCipher::StartVector(const std::uint8_t* iv) {
  if (iv != nullptr)
    std::memmove(vector_.get(), iv, std::size_t(blockSize_));
  else
    EncryptBlock(vector_.get());
  std::memcpy(feedback_.get(), vector_.get(), std::size_t(blockSize_));
  SetFlag(CipherFlag::Ready, true);
}

const std::uint8_t* TCipher::CheckedVector(std::span<const std::uint8_t> iv) const {
  if (iv.empty()) return nullptr;
  if (iv.size() != std::size_t(blockSize_)) {
    char text[160];
    std::snprintf(text, sizeof text, "Initialization vector for %s must be %d bytes, not %zu.", ClassName(),
                  int(blockSize_), iv.size());
    throw ECipherException(text, 5);
  }
  return iv.data();
}

void TCipher::StartVector(std::span<const std::uint8_t> iv) { StartVector(CheckedVector(iv)); }

void TCipher::Init(const std::uint8_t* key, std::int32_t size, const std::uint8_t* iv) {
  CheckKeySize(size);
  ScheduleKey(key, size);
  StartVector(iv);
  InitDone();
}

void TCipher::Init(std::span<const std::uint8_t> key, std::span<const std::uint8_t> iv) {
  const std::uint8_t* checked = CheckedVector(iv);
  const auto size = std::int32_t(std::min<std::size_t>(key.size(), std::size_t(INT32_MAX)));
  Init(key.data(), size, checked);
}

void TCipher::InitKey(std::string_view keyText, std::span<const std::uint8_t> iv) {
  InitKey(keyText, CheckedVector(iv));
}

THash& TCipher::KeyHash() {
  if (!keyHash_) keyHash_ = CreateHash(*keyHashClass_, nullptr);
  return *keyHash_;
}

void TCipher::SetKeyHashClass(const HashClassInfo* cls) {
  if (cls == nullptr) cls = &DefaultHashClass();
  if (cls == keyHashClass_) return;
  keyHash_.reset();
  keyHashClass_ = cls;
}

void TCipher::InitKey(std::string_view keyText, const std::uint8_t* iv) {
  CheckMode();  // the digest is encrypted in Mode below
  THash& hash = KeyHash();
  hash.Start();
  hash.Update(reinterpret_cast<const std::uint8_t*>(keyText.data()), keyText.size());
  hash.Finish();
  const std::int32_t digestSize = hash.DigestSize();
  const std::int32_t n = std::min(digestSize, maxKeySize_);
  Init(hash.DigestBytes(), n, iv);
  EncryptBuffer(hash.DigestBytes(), hash.DigestBytes(), std::size_t(digestSize));
  // The MAC modes write no output, which would leave the plain digest (the key) in the hash.
  if (Mode >= TCipherMode::cmCTSMAC) SecureWipe(hash.DigestBytes(), std::size_t(digestSize));
  ResetChain();
  SetFlag(CipherFlag::KeyFromText, true);
}

namespace {
// Whether two blocks differ; the common block sizes are compared as a few words in line.
inline bool BlocksDiffer(const std::uint8_t* a, const std::uint8_t* b, std::size_t n) {
  switch (n) {
    case 8: return std::memcmp(a, b, 8) != 0;
    case 16: return std::memcmp(a, b, 16) != 0;
    default: return std::memcmp(a, b, n) != 0;
  }
}
}  // namespace

void TCipher::ResetChain() {
  const std::size_t b = std::size_t(blockSize_);
  if (BlocksDiffer(feedback_.get(), vector_.get(), b)) {
    std::memcpy(scratch_.get(), feedback_.get(), b);
    std::memcpy(feedback_.get(), vector_.get(), b);
  }
  ChainReset();
}

void TCipher::NotReady() const {
  throw ECipherException(std::string(ClassName()) + " is not initialized call Init() or InitKey() before.", 3);
}

void CheckCipherMode(TCipherMode mode) {
  if (!IsCipherMode(mode)) throw ECipherException("Unknown cipher mode " + std::to_string(int(mode)) + ".", 4);
}

void TCipher::CheckMode() const { CheckCipherMode(Mode); }


void TCipher::BeginAction(TProtectionAction action) {
  if (!Ready()) NotReady();
  if (action == TProtectionAction::Erase)
    RandomFill(TimeSeed(), feedback_.get(), blockSize_);
  else if (action != TProtectionAction::Digest)
    ResetChain();
  TProtection::BeginAction(action);
}

void TCipher::EndAction(TProtectionAction action) {
  TProtection::EndAction(action);
  if (action == TProtectionAction::Erase)
    RandomFill(TimeSeed(), feedback_.get(), blockSize_);
  else if (action != TProtectionAction::Digest)
    ResetChain();
}

void TCipher::ProcessBlock(std::uint8_t* data, std::size_t size, TProtectionAction action) {
  if (action == TProtectionAction::Decrypt) {
    if (InSet(Actions, action)) DecryptBuffer(data, data, size);
    TProtection::ProcessBlock(data, size, action);
  } else {
    TProtection::ProcessBlock(data, size, action);
    if (InSet(Actions, action)) EncryptBuffer(data, data, size);
  }
}

Owned<TCipher> CreateCipher(const CipherClassInfo& cls, std::string_view keyText, TProtection* chained) {
  if (cls.create == nullptr)
    throw EProtection(std::string("Cannot create an object of the abstract class ") + cls.name);
  Owned<TCipher> c = cls.create(chained);
  if (!keyText.empty()) c->InitKey(keyText, nullptr);
  return c;
}

// ---- registry -----------------------------------------------------------------------------

namespace {
ClassRegistry<CipherClassInfo>& CipherRegistry() {
  static ClassRegistry<CipherClassInfo> registry;
  return registry;
}
}  // namespace

bool RegisterCipher(const CipherClassInfo* cls, std::string_view name, std::string_view description) {
  StartCipherLibrary();
  return CipherRegistry().Register(cls, name, description);
}

const CipherClassInfo* FindCipherClass(std::string_view name) {
  StartCipherLibrary();
  return CipherRegistry().Find(name);
}

std::string CipherClassName(const CipherClassInfo* cls) {
  StartCipherLibrary();
  return CipherRegistry().NameOf(cls);
}

std::string CipherRegistryLine(const CipherClassInfo* cls) {
  StartCipherLibrary();
  return CipherRegistry().LineOf(cls);
}

std::vector<std::string> CipherList() {
  StartCipherLibrary();
  return CipherRegistry().Lines();
}

std::vector<const CipherClassInfo*> CipherClasses() {
  StartCipherLibrary();
  return CipherRegistry().Classes();
}

std::int32_t ClassMaxKeySize(const CipherClassInfo* cls) { return cls ? cls->maxKeySize : 0; }

}  // namespace corvane
