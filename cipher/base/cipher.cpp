#include "cipher/base/cipher.h"

#include <algorithm>
#include <atomic>
#include <bit>
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
}

void TCipher::NotReady() const {
  throw ECipherException(std::string(ClassName()) + " is not initialized call Init() or InitKey() before.", 3);
}

void CheckCipherMode(TCipherMode mode) {
  if (!IsCipherMode(mode)) throw ECipherException("Unknown cipher mode " + std::to_string(int(mode)) + ".", 4);
}

void TCipher::CheckMode() const { CheckCipherMode(Mode); }

// ---- chaining modes --------------------------------------------------------------------------

void TCipher::EncryptBlocks(std::uint8_t* blocks, std::size_t n) {
  for (const std::size_t b = std::size_t(blockSize_); n != 0; --n, blocks += b) EncryptBlock(blocks);
}

void TCipher::DecryptBlocks(std::uint8_t* blocks, std::size_t n) {
  for (const std::size_t b = std::size_t(blockSize_); n != 0; --n, blocks += b) DecryptBlock(blocks);
}

bool TCipher::EncryptChain(TCipherMode, const std::uint8_t*, std::uint8_t*, std::size_t, std::uint8_t*, std::uint8_t*) {
  return false;
}

namespace {

// Bytes of working memory on the stack for the modes that hand runs of blocks to EncryptBlocks
// or DecryptBlocks (the ciphertext kept for the chaining, or the cmCFB decryption registers).
constexpr std::size_t kRunBytes = 2048;

// Block XOR: dest = a xor b over n bytes (dest may be a or b). With n known at compile time this
// is a few word operations.
inline void XorBlock(const std::uint8_t* a, const std::uint8_t* b, std::size_t n, std::uint8_t* dest) {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t x, y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    x ^= y;
    std::memcpy(dest + i, &x, 8);
  }
  for (; i + 4 <= n; i += 4) {
    std::uint32_t x, y;
    std::memcpy(&x, a + i, 4);
    std::memcpy(&y, b + i, 4);
    x ^= y;
    std::memcpy(dest + i, &x, 4);
  }
  for (; i < n; ++i) dest[i] = std::uint8_t(a[i] ^ b[i]);
}

// The byte-feedback shift of a register of B bytes (B fixed): f[i] = f[i+1], f[B-1] = in. On a
// little-endian machine the bytes are shifted as words; the register is a local array, so it stays
// in registers for the sizes up to 16 bytes.
template <std::size_t B>
inline void ShiftIn(std::uint8_t* f, std::uint8_t in) {
  if constexpr (std::endian::native == std::endian::little && B % 8 == 0) {
    std::uint64_t w[B / 8];
    std::memcpy(w, f, B);
    for (std::size_t k = 0; k + 1 < B / 8; ++k) w[k] = (w[k] >> 8) | (w[k + 1] << 56);
    w[B / 8 - 1] = (w[B / 8 - 1] >> 8) | (std::uint64_t(in) << 56);
    std::memcpy(f, w, B);
  } else if constexpr (std::endian::native == std::endian::little && B % 4 == 0) {
    std::uint32_t w[B / 4];
    std::memcpy(w, f, B);
    for (std::size_t k = 0; k + 1 < B / 4; ++k) w[k] = (w[k] >> 8) | (w[k + 1] << 24);
    w[B / 4 - 1] = (w[B / 4 - 1] >> 8) | (std::uint32_t(in) << 24);
    std::memcpy(f, w, B);
  } else {
    std::memmove(f, f + 1, B - 1);
    f[B - 1] = in;
  }
}

// The byte-feedback loops over a register of b bytes; b is Fixed when Fixed is not 0. The
// register is worked on in a local copy when its size is fixed.
template <std::size_t Fixed, class Step>
inline void ByteFeedback(std::uint8_t* f, std::size_t b, std::size_t size, Step&& step) {
  if constexpr (Fixed != 0) {
    std::uint8_t reg[Fixed];
    std::memcpy(reg, f, Fixed);
    for (std::size_t i = 0; i < size; ++i) ShiftIn<Fixed>(reg, step(reg, i));
    std::memcpy(f, reg, Fixed);
  } else {
    for (std::size_t i = 0; i < size; ++i) {
      const std::uint8_t in = step(f, i);
      std::memmove(f, f + 1, b - 1);
      f[b - 1] = in;
    }
  }
}

}  // namespace

// The tail of cmCTS and cmCBC: S = E(F); out = in xor S; F = F xor S. The tail of cmECB is the
// same keystream but leaves F unchanged. The block MAC modes' tail is F = F xor E(F).
template <std::size_t Fixed>
void TCipher::EncryptIn(TCipherMode mode, const std::uint8_t* source, std::uint8_t* dest, std::size_t size) {
  const std::size_t b = Fixed != 0 ? Fixed : std::size_t(blockSize_);
  std::uint8_t* const f = feedback_.get();
  std::uint8_t* const s = scratch_.get();
  const std::size_t whole = size - size % b;
  auto tail = [&](const std::uint8_t* in, std::uint8_t* out, bool moveRegister) {
    std::memcpy(s, f, b);
    EncryptBlock(s);
    XorBlock(in, s, size - whole, out);
    if (moveRegister) XorBlock(f, s, b, f);
  };
  auto macTail = [&] {
    if (whole == size) return;
    std::memcpy(s, f, b);
    EncryptBlock(s);
    XorBlock(f, s, b, f);
  };
  switch (mode) {
    case TCipherMode::cmCTS:
      if (!EncryptChain(mode, source, dest, whole / b, f, s))
        for (std::size_t i = 0; i < whole; i += b) {
          XorBlock(source + i, f, b, dest + i);
          EncryptBlock(dest + i);
          XorBlock(dest + i, f, b, f);
        }
      if (whole < size) tail(source + whole, dest + whole, true);
      break;
    case TCipherMode::cmCBC:
      if (!EncryptChain(mode, source, dest, whole / b, f, s))
        for (std::size_t i = 0; i < whole; i += b) {
          XorBlock(source + i, f, b, dest + i);
          EncryptBlock(dest + i);
          std::memcpy(f, dest + i, b);
        }
      if (whole < size) tail(source + whole, dest + whole, true);
      break;
    case TCipherMode::cmCFB:
      if (EncryptChain(mode, source, dest, size, f, s)) break;
      ByteFeedback<Fixed>(f, b, size, [&](const std::uint8_t* reg, std::size_t i) {
        std::memcpy(s, reg, b);
        EncryptBlock(s);
        return dest[i] = std::uint8_t(source[i] ^ s[0]);
      });
      break;
    case TCipherMode::cmOFB:
      if (EncryptChain(mode, source, dest, size, f, s)) break;
      ByteFeedback<Fixed>(f, b, size, [&](const std::uint8_t* reg, std::size_t i) {
        std::memcpy(s, reg, b);
        EncryptBlock(s);
        dest[i] = std::uint8_t(source[i] ^ s[0]);
        return s[0];
      });
      break;
    case TCipherMode::cmECB:
      if (source != dest) std::memmove(dest, source, size);
      EncryptBlocks(dest, whole / b);
      if (whole < size) tail(dest + whole, dest + whole, false);
      break;
    case TCipherMode::cmCTSMAC:
      if (!EncryptChain(mode, source, dest, whole / b, f, s))
        for (std::size_t i = 0; i < whole; i += b) {
          XorBlock(source + i, f, b, s);
          EncryptBlock(s);
          XorBlock(f, s, b, f);
        }
      macTail();
      break;
    case TCipherMode::cmCBCMAC:
      if (!EncryptChain(mode, source, dest, whole / b, f, s))
        for (std::size_t i = 0; i < whole; i += b) {
          XorBlock(source + i, f, b, s);
          EncryptBlock(s);
          std::memcpy(f, s, b);
        }
      macTail();
      break;
    case TCipherMode::cmCFBMAC:
      if (EncryptChain(mode, source, dest, size, f, s)) break;
      ByteFeedback<Fixed>(f, b, size, [&](const std::uint8_t* reg, std::size_t i) {
        std::memcpy(s, reg, b);
        EncryptBlock(s);
        return std::uint8_t(source[i] ^ s[0]);
      });
      break;
  }
}

template <std::size_t Fixed>
void TCipher::DecryptIn(TCipherMode mode, const std::uint8_t* source, std::uint8_t* dest, std::size_t size) {
  const std::size_t b = Fixed != 0 ? Fixed : std::size_t(blockSize_);
  std::uint8_t* const f = feedback_.get();
  std::uint8_t* const s = scratch_.get();
  const std::size_t whole = size - size % b;
  const std::size_t run = std::max<std::size_t>(kRunBytes / b, 1);  // blocks per run
  alignas(16) std::uint8_t kept[kRunBytes];
  auto tail = [&](bool moveRegister) {
    std::memcpy(s, f, b);
    EncryptBlock(s);
    XorBlock(dest + whole, s, size - whole, dest + whole);
    if (moveRegister) XorBlock(f, s, b, f);
  };
  switch (mode) {
    case TCipherMode::cmCTS:
    case TCipherMode::cmCBC:
      if (source != dest) std::memmove(dest, source, size);
      if (b > kRunBytes || whole == b) {
        // A block larger than the run memory, or a single block: one block at a time through the
        // scratch block.
        for (std::size_t i = 0; i < whole; i += b) {
          std::memcpy(s, dest + i, b);
          DecryptBlock(dest + i);
          XorBlock(dest + i, f, b, dest + i);
          if (mode == TCipherMode::cmCTS)
            XorBlock(f, s, b, f);
          else
            std::memcpy(f, s, b);
        }
      } else {
        // Runs of blocks decrypted at once; the ciphertext of the run is kept for the chaining:
        // P = D(C) xor F, then F = C (cmCBC) or F = F xor C (cmCTS).
        for (std::size_t i = 0; i < whole;) {
          const std::size_t n = std::min(run, (whole - i) / b);
          std::uint8_t* const blocks = dest + i;
          std::memcpy(kept, blocks, n * b);
          DecryptBlocks(blocks, n);
          for (std::size_t k = 0; k < n; ++k) {
            XorBlock(blocks + k * b, f, b, blocks + k * b);
            if (mode == TCipherMode::cmCTS)
              XorBlock(f, kept + k * b, b, f);
            else
              std::memcpy(f, kept + k * b, b);
          }
          std::memcpy(s, kept + (n - 1) * b, b);  // as the block-at-a-time loop leaves it
          i += n * b;
        }
      }
      if (whole < size) tail(true);
      break;
    case TCipherMode::cmCFB:
      if (b > kRunBytes / 2) {
        ByteFeedback<Fixed>(f, b, size, [&](const std::uint8_t* reg, std::size_t i) {
          std::memcpy(s, reg, b);
          EncryptBlock(s);
          const std::uint8_t c = source[i];
          dest[i] = std::uint8_t(c ^ s[0]);
          return c;
        });
      } else {
        // The register of every byte is known from the ciphertext: the b bytes before it in the
        // stream (the register, then the ciphertext). A run of such registers is encrypted at once.
        // kept holds the window: the register followed by the run's ciphertext bytes; the blocks
        // go into the run memory after it.
        const std::size_t perRun = std::max<std::size_t>((kRunBytes - b) / (b + 1), 1);
        std::uint8_t* const window = kept;
        std::uint8_t* const regs = kept + b + perRun;
        for (std::size_t i = 0; i < size;) {
          const std::size_t n = std::min(perRun, size - i);
          std::memcpy(window, f, b);
          std::memcpy(window + b, source + i, n);
          for (std::size_t k = 0; k < n; ++k) std::memcpy(regs + k * b, window + k, b);
          EncryptBlocks(regs, n);
          for (std::size_t k = 0; k < n; ++k) dest[i + k] = std::uint8_t(window[b + k] ^ regs[k * b]);
          std::memcpy(f, window + n, b);
          std::memcpy(s, regs + (n - 1) * b, b);  // as the byte-at-a-time loop leaves it
          i += n;
        }
      }
      break;
    case TCipherMode::cmOFB:
      EncryptIn<Fixed>(mode, source, dest, size);
      break;
    case TCipherMode::cmECB:
      if (source != dest) std::memmove(dest, source, size);
      DecryptBlocks(dest, whole / b);
      if (whole < size) tail(false);
      break;
    case TCipherMode::cmCTSMAC:
    case TCipherMode::cmCBCMAC:
    case TCipherMode::cmCFBMAC:
      EncryptIn<Fixed>(mode, source, dest, size);
      break;
  }
}

void TCipher::EncryptBuffer(const std::uint8_t* source, std::uint8_t* dest, std::size_t size) {
  if (!Ready()) NotReady();
  CheckMode();
  if (size == 0) return;
  switch (blockSize_) {
    case 8: return EncryptIn<8>(Mode, source, dest, size);
    case 12: return EncryptIn<12>(Mode, source, dest, size);
    case 16: return EncryptIn<16>(Mode, source, dest, size);
    default: return EncryptIn<0>(Mode, source, dest, size);
  }
}

void TCipher::DecryptBuffer(const std::uint8_t* source, std::uint8_t* dest, std::size_t size) {
  if (!Ready()) NotReady();
  CheckMode();
  if (size == 0) return;
  switch (blockSize_) {
    case 8: return DecryptIn<8>(Mode, source, dest, size);
    case 12: return DecryptIn<12>(Mode, source, dest, size);
    case 16: return DecryptIn<16>(Mode, source, dest, size);
    default: return DecryptIn<0>(Mode, source, dest, size);
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
