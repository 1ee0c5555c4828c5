// The block cipher base: buffers, key setup from a key text through a hash, the initialisation
// vector, the eight chaining modes, the protection hooks, state wiping, and the cipher registry.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "cipher/base/hash.h"
#include "cipher/base/protection.h"
#include "cipher/base/support.h"

namespace corvane {

enum class TCipherMode : std::uint8_t {
  cmCTS = 0,
  cmCBC = 1,
  cmCFB = 2,
  cmOFB = 3,
  cmECB = 4,
  cmCTSMAC = 5,
  cmCBCMAC = 6,
  cmCFBMAC = 7
};

// Codes of ECipherException: 2 key length refused, 3 not initialised, 4 unknown chaining mode,
// 5 initialisation vector of the wrong length.
class ECipherException : public std::runtime_error {
 public:
  ECipherException(const std::string& message, std::int32_t code) : std::runtime_error(message), Code(code) {}
  std::int32_t Code;
};

class TCipher;

// Descriptor of a cipher class: name, parent, sizes in bytes, the 32 known-answer bytes and a
// factory (nullptr for abstract classes).
struct CipherClassInfo : ClassInfo {
  std::int32_t blockSize;
  std::int32_t maxKeySize;
  std::int32_t scheduleSize;
  const std::uint8_t* knownAnswer;  // 32 bytes, or nullptr
  Owned<TCipher> (*create)(TProtection* chained);
};

#define CORVANE_CIPHER_CLASS(Name)                        \
 public:                                                  \
  static const ::corvane::CipherClassInfo& StaticClass(); \
  const ::corvane::CipherClassInfo& Class() const override { return StaticClass(); }

#define CORVANE_DEFINE_CIPHER_CLASS(Name, Parent, Block, MaxKey, Schedule, KnownAnswer) \
  const ::corvane::CipherClassInfo& Name::StaticClass() {                               \
    static const ::corvane::CipherClassInfo info{                                       \
        {#Name, &Parent::StaticClass()},                                                \
        Block,                                                                          \
        MaxKey,                                                                         \
        Schedule,                                                                       \
        KnownAnswer,                                                                    \
        [](::corvane::TProtection* chained) -> ::corvane::Owned<::corvane::TCipher> {   \
          return ::corvane::Owned<::corvane::TCipher>(new Name(chained));               \
        }};                                                                             \
    return info;                                                                        \
  }

// Process-wide switch: an over-long key raises code 2 instead of being cut (off by default).
void SetStrictKeySize(bool on);
bool StrictKeySize();

// The state flags of a cipher, each the number of its bit in TCipher::Flags().
enum class CipherFlag : unsigned {
  KeyFromText = 0,  // the key came through InitKey
  Ready = 1,        // a key schedule and a start vector are in place: the cipher may run
};

// A concrete class supplies its key schedule (ScheduleKey) and its block routines; the base
// runs everything around them. Init always checks the key size first, then runs the schedule,
// then sets the start vector, so no class can skip a step or reorder them.
class TCipher : public TProtection {
 public:
  // Concrete classes pass their own descriptor: the sizes come from it.
  TCipher(const CipherClassInfo& cls, TProtection* chained);
  ~TCipher() override;

  static const CipherClassInfo& StaticClass();
  const CipherClassInfo& Class() const override { return StaticClass(); }

  TCipherMode Mode = TCipherMode::cmCTS;

  std::int32_t BlockSize() const { return blockSize_; }
  std::int32_t MaxKeySize() const { return maxKeySize_; }
  std::int32_t ScheduleSize() const { return scheduleSize_; }
  const std::uint8_t* KnownAnswer() const { return Class().knownAnswer; }

  void SetFlag(CipherFlag flag, bool on);
  bool HasFlag(CipherFlag flag) const { return (flags_ & FlagBit(flag)) != 0; }
  std::uint32_t Flags() const { return flags_; }
  bool Ready() const { return HasFlag(CipherFlag::Ready); }
  void StartVector(const std::uint8_t* iv);
  // The same with the vector's length checked: empty is no vector, any other length than
  // BlockSize() is refused with code 5 before anything changes.
  void StartVector(std::span<const std::uint8_t> iv);

  // Keys the cipher with size raw key bytes: CheckKeySize, the class's key schedule,
  // StartVector(iv).
  void Init(const std::uint8_t* key, std::int32_t size, const std::uint8_t* iv);
  void Init(std::string_view key, const std::uint8_t* iv = nullptr) {
    Init(reinterpret_cast<const std::uint8_t*>(key.data()), std::int32_t(key.size()), iv);
  }
  // Init with the vector's length checked as by StartVector(span).
  void Init(std::span<const std::uint8_t> key, std::span<const std::uint8_t> iv);
  // Hashes the key text with the key hash class and keys the cipher with the digest.
  void InitKey(std::string_view keyText, const std::uint8_t* iv = nullptr);
  void InitKey(std::string_view keyText, std::span<const std::uint8_t> iv);
  void CheckKeySize(std::int32_t& size);

  // Both refuse a Mode outside the eight modes with code 4 (nothing is written or changed).
  void EncryptBuffer(const std::uint8_t* source, std::uint8_t* dest, std::size_t size);
  void DecryptBuffer(const std::uint8_t* source, std::uint8_t* dest, std::size_t size);
  void ResetChain();
  void EraseState();

  // The key hash object (created from KeyHashClass on first use).
  THash& KeyHash();
  const HashClassInfo& KeyHashClass() const { return *keyHashClass_; }
  void SetKeyHashClass(const HashClassInfo* cls);  // nullptr stands for DefaultHashClass

  void BeginAction(TProtectionAction action) override;
  void EndAction(TProtectionAction action) override;
  void ProcessBlock(std::uint8_t* data, std::size_t size, TProtectionAction action) override;

  // Read access to the chaining state (tests, MAC modes).
  std::span<const std::uint8_t> VectorBytes() const { return {vector_.get(), std::size_t(blockSize_)}; }
  std::span<const std::uint8_t> FeedbackBytes() const { return {feedback_.get(), std::size_t(blockSize_)}; }
  std::span<const std::uint8_t> ScratchBytes() const { return {scratch_.get(), std::size_t(blockSize_)}; }
  std::span<const std::uint8_t> ScheduleBytes() const { return {schedule_.get(), std::size_t(scheduleSize_)}; }

  // Block routines of the class, in place on BlockSize() bytes.
  virtual void EncryptBlock(std::uint8_t* block) = 0;
  virtual void DecryptBlock(std::uint8_t* block) = 0;
  // n consecutive blocks in place, in order; the same as the block routine over each of them.
  // The modes whose blocks do not depend on each other (cmECB, cmCBC and cmCTS decryption, cmCFB
  // decryption) hand whole runs of blocks to these; a class overrides them to work on several
  // blocks at once.
  virtual void EncryptBlocks(std::uint8_t* blocks, std::size_t n);
  virtual void DecryptBlocks(std::uint8_t* blocks, std::size_t n);
  // The serial encrypting modes from the register f, as the mode loops define them: the n whole
  // blocks of cmCTS, cmCBC, cmCTSMAC and cmCBCMAC, or the n bytes of cmCFB, cmOFB and cmCFBMAC
  // encryption. The scratch block s receives the last encrypted block of a MAC or byte mode. A
  // class overrides this with ChainEncrypt over its inlined block routine, so that the block and
  // the register stay in registers from block to block; false (the default) leaves the work to
  // the mode loops over EncryptBlock.
  virtual bool EncryptChain(TCipherMode mode, const std::uint8_t* source, std::uint8_t* dest, std::size_t n,
                            std::uint8_t* f, std::uint8_t* s);

 protected:
  // The class's key schedule from size raw key bytes into the schedule buffer, which is all zero
  // bytes when it starts. Init has already checked size: it lies in 0..MaxKeySize().
  virtual void ScheduleKey(const std::uint8_t* key, std::int32_t size) = 0;
  // The end of every Init, after the start vector: a class whose block routine moves state of its
  // own (SCOP's keystream) keeps the state it starts from here.
  virtual void InitDone() {}
  // The end of every ResetChain: such a class returns to the state InitDone kept.
  virtual void ChainReset() {}

  // The schedule buffer (ScheduleSize() bytes, 16-byte aligned); its layout is the class's.
  std::uint8_t* Schedule() { return schedule_.get(); }
  template <class W>
  W* ScheduleAs() {
    return reinterpret_cast<W*>(schedule_.get());
  }
  std::uint8_t* Vector() { return vector_.get(); }
  std::uint8_t* Feedback() { return feedback_.get(); }
  std::uint8_t* Scratch() { return scratch_.get(); }

 private:
  struct AlignedFree {
    void operator()(std::uint8_t* p) const;
  };
  using Block = std::unique_ptr<std::uint8_t[], AlignedFree>;
  static Block Allocate(std::int32_t size);
  static constexpr std::uint32_t FlagBit(CipherFlag flag) { return 1u << unsigned(flag); }
  void NotReady() const;
  void CheckMode() const;
  const std::uint8_t* CheckedVector(std::span<const std::uint8_t> iv) const;

  std::int32_t blockSize_, maxKeySize_, scheduleSize_;
  std::uint32_t flags_ = 0;
  const HashClassInfo* keyHashClass_;
  Owned<THash> keyHash_;
  Block vector_, feedback_, scratch_, schedule_;
};

// For the multi-block routines: kernel(lanes, p) works on `lanes` consecutive blocks at p, with
// lanes a std::integral_constant; n blocks of b bytes are handed over in groups of Lanes, and the
// rest one at a time.
template <int Lanes, class Kernel>
inline void ForBlockGroups(std::uint8_t* blocks, std::size_t n, std::size_t b, Kernel&& kernel) {
  for (; n >= std::size_t(Lanes); n -= std::size_t(Lanes), blocks += std::size_t(Lanes) * b)
    kernel(std::integral_constant<int, Lanes>{}, blocks);
  for (; n != 0; --n, blocks += b) kernel(std::integral_constant<int, 1>{}, blocks);
}

// How a class's serial chain holds one block in registers (see TCipher::EncryptChain): the
// value type, its loading and storing from the block's bytes, byte 0 of the block, and the
// byte-feedback shift (byte 0 leaves, a new byte enters at the end).
struct ChainBlockLE64 {  // 8 bytes as one little-endian word
  using Block = std::uint64_t;
  static Block Load(const std::uint8_t* p) { return LoadLE64(p); }
  static void Store(std::uint8_t* p, Block v) { StoreLE64(p, v); }
  static std::uint8_t First(Block v) { return std::uint8_t(v); }
  static Block ShiftIn(Block v, std::uint8_t in) { return (v >> 8) | (std::uint64_t(in) << 56); }
};
struct ChainBlockBE64 {  // 8 bytes as one big-endian word
  using Block = std::uint64_t;
  static Block Load(const std::uint8_t* p) { return (std::uint64_t(LoadBE32(p)) << 32) | LoadBE32(p + 4); }
  static void Store(std::uint8_t* p, Block v) {
    StoreBE32(p, std::uint32_t(v >> 32));
    StoreBE32(p + 4, std::uint32_t(v));
  }
  static std::uint8_t First(Block v) { return std::uint8_t(v >> 56); }
  static Block ShiftIn(Block v, std::uint8_t in) { return (v << 8) | in; }
};
struct ChainBlockLE128 {  // 16 bytes as four little-endian words
  struct Block {
    std::uint32_t w0, w1, w2, w3;
    friend Block operator^(Block a, Block b) { return {a.w0 ^ b.w0, a.w1 ^ b.w1, a.w2 ^ b.w2, a.w3 ^ b.w3}; }
  };
  static Block Load(const std::uint8_t* p) {
    return {LoadLE32(p), LoadLE32(p + 4), LoadLE32(p + 8), LoadLE32(p + 12)};
  }
  static void Store(std::uint8_t* p, Block v) {
    StoreLE32(p, v.w0);
    StoreLE32(p + 4, v.w1);
    StoreLE32(p + 8, v.w2);
    StoreLE32(p + 12, v.w3);
  }
  static std::uint8_t First(Block v) { return std::uint8_t(v.w0); }
  static Block ShiftIn(Block v, std::uint8_t in) {
    return {(v.w0 >> 8) | (v.w1 << 24), (v.w1 >> 8) | (v.w2 << 24), (v.w2 >> 8) | (v.w3 << 24),
            (v.w3 >> 8) | (std::uint32_t(in) << 24)};
  }
};

// The serial encrypting modes over n whole blocks (n bytes in the byte modes) with an inlined
// block routine encrypt(Block) -> Block on the block held as Chain::Block (see
// TCipher::EncryptChain). The register and the block stay in registers throughout.
template <class Chain, class Encrypt>
inline bool ChainEncrypt(TCipherMode mode, const std::uint8_t* source, std::uint8_t* dest, std::size_t n,
                         std::uint8_t* f, std::uint8_t* s, Encrypt&& encrypt) {
  using Block = typename Chain::Block;
  constexpr std::size_t B = sizeof(Block);
  Block reg = Chain::Load(f), e{};
  switch (mode) {
    case TCipherMode::cmCTS:  // C = E(P xor F); F = F xor C
      for (; n != 0; --n, source += B, dest += B) {
        e = encrypt(Chain::Load(source) ^ reg);
        Chain::Store(dest, e);
        reg = reg ^ e;
      }
      break;
    case TCipherMode::cmCBC:  // C = E(P xor F); F = C
      for (; n != 0; --n, source += B, dest += B) {
        reg = encrypt(Chain::Load(source) ^ reg);
        Chain::Store(dest, reg);
      }
      break;
    case TCipherMode::cmCTSMAC:  // F = E(P xor F) xor F, no output
    case TCipherMode::cmCBCMAC:  // F = E(P xor F), no output
      if (n == 0) break;
      for (; n != 0; --n, source += B) {
        e = encrypt(Chain::Load(source) ^ reg);
        reg = mode == TCipherMode::cmCTSMAC ? reg ^ e : e;
      }
      Chain::Store(s, e);
      break;
    case TCipherMode::cmCFB:     // out = in xor E(F)[0]; F shifts in out
    case TCipherMode::cmOFB:     // out = in xor E(F)[0]; F shifts in E(F)[0]
    case TCipherMode::cmCFBMAC:  // F shifts in in xor E(F)[0], no output
      if (n == 0) break;
      for (std::size_t i = 0; i < n; ++i) {
        e = encrypt(reg);
        const std::uint8_t first = Chain::First(e), out = std::uint8_t(source[i] ^ first);
        if (mode != TCipherMode::cmCFBMAC) dest[i] = out;
        reg = Chain::ShiftIn(reg, mode == TCipherMode::cmOFB ? first : out);
      }
      Chain::Store(s, e);
      break;
    default: return false;
  }
  Chain::Store(f, reg);
  return true;
}

template <class T>
Owned<T> MakeCipher(std::string_view keyText = {}, TProtection* chained = nullptr) {
  Owned<T> c(new T(chained));
  if (!keyText.empty()) c->InitKey(keyText, nullptr);
  return c;
}
Owned<TCipher> CreateCipher(const CipherClassInfo& cls, std::string_view keyText = {},
                            TProtection* chained = nullptr);

// The cipher registry: lines "name=description" in registration order.
bool RegisterCipher(const CipherClassInfo* cls, std::string_view name, std::string_view description);
const CipherClassInfo* FindCipherClass(std::string_view name);
std::string CipherClassName(const CipherClassInfo* cls);
std::vector<std::string> CipherList();
std::vector<const CipherClassInfo*> CipherClasses();
std::string CipherRegistryLine(const CipherClassInfo* cls);  // "" when not registered
std::int32_t ClassMaxKeySize(const CipherClassInfo* cls);
const CipherClassInfo& DefaultCipherClass();  // TCipher_Blowfish

// True for the eight modes of TCipherMode; false for any other value the byte can hold.
constexpr bool IsCipherMode(TCipherMode mode) { return std::uint8_t(mode) <= std::uint8_t(TCipherMode::cmCFBMAC); }
// Raises code 4 for a value outside the eight modes.
void CheckCipherMode(TCipherMode mode);

}  // namespace corvane
