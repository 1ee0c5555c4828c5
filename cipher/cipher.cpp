#include "cipher/cipher.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "cipher/class_registry.h"
#include "cipher/formats.h"
#include "cipher/support.h"

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

void TCipher::SetFlag(int bit, bool on) {
  const std::uint32_t mask = 1u << unsigned(bit & 31);
  flags_ = on ? (flags_ | mask) : (flags_ & ~mask);
}

void TCipher::EraseState() {
  SetFlag(0, false);
  SetFlag(1, false);
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
  SetFlag(1, false);
  EraseState();
  if (size < 0) size = 0;
  if (size > maxKeySize_) {
    if (StrictKeySize()) {
      char text[256];
      std::snprintf(text, sizeof text, "Length from Encryptionkey is invalid.\r\nKeysize for %s must be to %d-%d bytes",
                    ClassName(), 0, int(maxKeySize_));
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
  SetFlag(1, true);
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
  SetFlag(0, true);
}

void TCipher::ResetChain() {
  const std::size_t b = std::size_t(blockSize_);
  if (std::memcmp(feedback_.get(), vector_.get(), b) != 0) {
    std::memcpy(scratch_.get(), feedback_.get(), b);
    std::memcpy(feedback_.get(), vector_.get(), b);
  }
}

void TCipher::NotReady() const {
  throw ECipherException(std::string(ClassName()) + " is not initialized call Init() or InitKey() before.", 3);
}

void CheckCipherMode(TCipherMode mode) {
  if (!IsCipherMode(mode)) throw ECipherException("Unknown cipher mode " + std::to_string(int(mode)) + ".", 4);
}

void TCipher::CheckMode() const { CheckCipherMode(Mode); }

namespace {
// Block XOR for the mode loops: dest = a xor b over n bytes (dest may be a or b).
inline void XorBlock(const std::uint8_t* a, const std::uint8_t* b, std::size_t n, std::uint8_t* dest) {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t x, y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    x ^= y;
    std::memcpy(dest + i, &x, 8);
  }
  for (; i < n; ++i) dest[i] = std::uint8_t(a[i] ^ b[i]);
}

// The tail of cmCTS and cmCBC: S = E(F); out = in xor S; F = F xor S. The tail of cmECB is the
// same keystream but leaves F unchanged.
template <class Encrypt>
void Tail(Encrypt&& encrypt, std::uint8_t* f, std::uint8_t* s, std::size_t b, const std::uint8_t* in, std::uint8_t* out,
          std::size_t n, bool moveRegister = true) {
  std::memcpy(s, f, b);
  encrypt(s);
  XorBlock(in, s, n, out);
  if (moveRegister) XorBlock(f, s, b, f);
}
}  // namespace

void TCipher::EncryptBuffer(const std::uint8_t* source, std::uint8_t* dest, std::size_t size) {
  if (!Ready()) NotReady();
  CheckMode();
  if (size == 0) return;
  const std::size_t b = std::size_t(blockSize_);
  std::uint8_t* f = feedback_.get();
  std::uint8_t* s = scratch_.get();
  auto enc = [this](std::uint8_t* blk) { EncryptBlock(blk); };
  const std::size_t whole = size - size % b;
  switch (Mode) {
    case TCipherMode::cmCTS:
      for (std::size_t i = 0; i < whole; i += b) {
        XorBlock(source + i, f, b, dest + i);
        EncryptBlock(dest + i);
        XorBlock(dest + i, f, b, f);
      }
      if (whole < size) Tail(enc, f, s, b, source + whole, dest + whole, size - whole);
      break;
    case TCipherMode::cmCBC:
      for (std::size_t i = 0; i < whole; i += b) {
        XorBlock(source + i, f, b, dest + i);
        EncryptBlock(dest + i);
        std::memcpy(f, dest + i, b);
      }
      if (whole < size) Tail(enc, f, s, b, source + whole, dest + whole, size - whole);
      break;
    case TCipherMode::cmCFB:
      for (std::size_t i = 0; i < size; ++i) {
        std::memcpy(s, f, b);
        EncryptBlock(s);
        const std::uint8_t c = std::uint8_t(source[i] ^ s[0]);
        std::memmove(f, f + 1, b - 1);
        f[b - 1] = c;
        dest[i] = c;
      }
      break;
    case TCipherMode::cmOFB:
      for (std::size_t i = 0; i < size; ++i) {
        std::memcpy(s, f, b);
        EncryptBlock(s);
        dest[i] = std::uint8_t(source[i] ^ s[0]);
        std::memmove(f, f + 1, b - 1);
        f[b - 1] = s[0];
      }
      break;
    case TCipherMode::cmECB:
      if (source != dest) std::memmove(dest, source, size);
      for (std::size_t i = 0; i < whole; i += b) EncryptBlock(dest + i);
      if (whole < size) Tail(enc, f, s, b, dest + whole, dest + whole, size - whole, false);
      break;
    case TCipherMode::cmCTSMAC:
      for (std::size_t i = 0; i < whole; i += b) {
        XorBlock(source + i, f, b, s);
        EncryptBlock(s);
        XorBlock(f, s, b, f);
      }
      if (whole < size) {
        std::memcpy(s, f, b);
        EncryptBlock(s);
        XorBlock(f, s, b, f);
      }
      break;
    case TCipherMode::cmCBCMAC:
      for (std::size_t i = 0; i < whole; i += b) {
        XorBlock(source + i, f, b, s);
        EncryptBlock(s);
        std::memcpy(f, s, b);
      }
      if (whole < size) {
        std::memcpy(s, f, b);
        EncryptBlock(s);
        XorBlock(f, s, b, f);
      }
      break;
    case TCipherMode::cmCFBMAC:
      for (std::size_t i = 0; i < size; ++i) {
        std::memcpy(s, f, b);
        EncryptBlock(s);
        std::memmove(f, f + 1, b - 1);
        f[b - 1] = std::uint8_t(source[i] ^ s[0]);
      }
      break;
  }
}

void TCipher::DecryptBuffer(const std::uint8_t* source, std::uint8_t* dest, std::size_t size) {
  if (!Ready()) NotReady();
  CheckMode();
  if (size == 0) return;
  const std::size_t b = std::size_t(blockSize_);
  std::uint8_t* f = feedback_.get();
  std::uint8_t* s = scratch_.get();
  auto enc = [this](std::uint8_t* blk) { EncryptBlock(blk); };
  const std::size_t whole = size - size % b;
  switch (Mode) {
    case TCipherMode::cmCTS:
      if (source != dest) std::memmove(dest, source, size);
      for (std::size_t i = 0; i < whole; i += b) {
        std::memcpy(s, dest + i, b);  // keep C: the block is decrypted in place
        DecryptBlock(dest + i);
        XorBlock(dest + i, f, b, dest + i);
        XorBlock(f, s, b, f);
      }
      if (whole < size) Tail(enc, f, s, b, dest + whole, dest + whole, size - whole);
      break;
    case TCipherMode::cmCBC:
      if (source != dest) std::memmove(dest, source, size);
      for (std::size_t i = 0; i < whole; i += b) {
        std::memcpy(s, dest + i, b);
        DecryptBlock(dest + i);
        XorBlock(dest + i, f, b, dest + i);
        std::memcpy(f, s, b);
      }
      if (whole < size) Tail(enc, f, s, b, dest + whole, dest + whole, size - whole);
      break;
    case TCipherMode::cmCFB:
      for (std::size_t i = 0; i < size; ++i) {
        std::memcpy(s, f, b);
        EncryptBlock(s);
        const std::uint8_t c = source[i];
        std::memmove(f, f + 1, b - 1);
        f[b - 1] = c;
        dest[i] = std::uint8_t(c ^ s[0]);
      }
      break;
    case TCipherMode::cmOFB:
      EncryptBuffer(source, dest, size);
      break;
    case TCipherMode::cmECB:
      if (source != dest) std::memmove(dest, source, size);
      for (std::size_t i = 0; i < whole; i += b) DecryptBlock(dest + i);
      if (whole < size) Tail(enc, f, s, b, dest + whole, dest + whole, size - whole, false);
      break;
    case TCipherMode::cmCTSMAC:
    case TCipherMode::cmCBCMAC:
    case TCipherMode::cmCFBMAC:
      EncryptBuffer(source, dest, size);
      break;
  }
}

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
  if (cls.create == nullptr) throw EProtection(std::string("Cannot create an object of the abstract class ") + cls.name);
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
