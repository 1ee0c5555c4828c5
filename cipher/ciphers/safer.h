// The SAFER family: SAFER K-64 and K-128 with their strengthened key schedules SK-64 and SK-128,
// the 40-bit forms K-40 and SK-40, and TCipher_SAFER, which picks the strengthened form from the
// length of the key. One block routine, one table builder and one key schedule serve them all.
#pragma once

#include <cstdint>

#include "cipher/base/cipher.h"

namespace corvane {

// Variant codes of the family: 1 K-40, 2 K-64, 3 K-128; 5 SK-40, 6 SK-64, 7 SK-128; 4 stands for
// "strengthened, chosen by the key length" and becomes 5, 6 or 7 during Init.
enum : std::uint8_t {
  kSaferK40 = 1,
  kSaferK64 = 2,
  kSaferK128 = 3,
  kSaferSKByKey = 4,
  kSaferSK40 = 5,
  kSaferSK64 = 6,
  kSaferSK128 = 7
};

// Schedule buffer layout: EXP at 0..255, LOG at 256..511, subkey 1 at 512 (8 bytes each).
inline constexpr std::int32_t kSaferExpOffset = 0;
inline constexpr std::int32_t kSaferLogOffset = 256;
inline constexpr std::int32_t kSaferKeyOffset = 512;
inline constexpr std::int32_t kSaferMaxRounds = 13;

class TCipher_SAFER : public TCipher {
  CORVANE_CIPHER_CLASS(TCipher_SAFER)
 public:
  explicit TCipher_SAFER(TProtection* chained = nullptr) : TCipher(StaticClass(), chained) {}

  void EncryptBlock(std::uint8_t* block) override;
  void DecryptBlock(std::uint8_t* block) override;
  void EncryptBlocks(std::uint8_t* blocks, std::size_t n) override;
  void DecryptBlocks(std::uint8_t* blocks, std::size_t n) override;
  bool EncryptChain(TCipherMode mode, const std::uint8_t* source, std::uint8_t* dest, std::size_t n,
                    std::uint8_t* f, std::uint8_t* s) override;

  // The rounds count: 0 in a new object, set by the first Init to the variant's default. Init
  // keeps a count of 4 to 13 and replaces any other one, so SetRounds takes effect at the next
  // Init (a value outside 4..13 then yields the variant's default).
  std::int32_t Rounds() const { return rounds_; }
  void SetRounds(std::int32_t rounds) { rounds_ = rounds; }
  // The variant code that the last Init ran (0 before the first Init).
  std::uint8_t Variant() const { return variant_; }

 protected:
  TCipher_SAFER(const CipherClassInfo& cls, TProtection* chained) : TCipher(cls, chained) {}
  // The strengthened form chosen by the key length.
  void ScheduleKey(const std::uint8_t* key, std::int32_t size) override;
  // The shared key schedule: variant and rounds, tables, subkeys.
  void ScheduleSafer(const std::uint8_t* key, std::int32_t size, std::uint8_t variant);

 private:
  std::int32_t rounds_ = 0;
  std::uint8_t variant_ = 0;
  std::int32_t scheduledRounds_ = 0;  // the rounds the current subkeys were built for
};

// The body of a family member: its constructors and a key schedule that runs the shared one
// with the member's variant code. The protected constructor lets the strengthened form derive
// from it.
#define CORVANE_SAFER_VARIANT(Name, Parent, VariantCode)                            \
  CORVANE_CIPHER_CLASS(Name)                                                        \
 public:                                                                            \
  explicit Name(TProtection* chained = nullptr) : Parent(StaticClass(), chained) {} \
                                                                                    \
 protected:                                                                         \
  Name(const CipherClassInfo& cls, TProtection* chained) : Parent(cls, chained) {}  \
  void ScheduleKey(const std::uint8_t* key, std::int32_t size) override { ScheduleSafer(key, size, VariantCode); }

class TCipher_SAFER_K40 : public TCipher_SAFER {
  CORVANE_SAFER_VARIANT(TCipher_SAFER_K40, TCipher_SAFER, kSaferK40)
};

class TCipher_SAFER_SK40 : public TCipher_SAFER_K40 {
  CORVANE_SAFER_VARIANT(TCipher_SAFER_SK40, TCipher_SAFER_K40, kSaferSK40)
};

class TCipher_SAFER_K64 : public TCipher_SAFER {
  CORVANE_SAFER_VARIANT(TCipher_SAFER_K64, TCipher_SAFER, kSaferK64)
};

class TCipher_SAFER_SK64 : public TCipher_SAFER_K64 {
  CORVANE_SAFER_VARIANT(TCipher_SAFER_SK64, TCipher_SAFER_K64, kSaferSK64)
};

class TCipher_SAFER_K128 : public TCipher_SAFER {
  CORVANE_SAFER_VARIANT(TCipher_SAFER_K128, TCipher_SAFER, kSaferK128)
};

class TCipher_SAFER_SK128 : public TCipher_SAFER_K128 {
  CORVANE_SAFER_VARIANT(TCipher_SAFER_SK128, TCipher_SAFER_K128, kSaferSK128)
};

#undef CORVANE_SAFER_VARIANT

}  // namespace corvane
