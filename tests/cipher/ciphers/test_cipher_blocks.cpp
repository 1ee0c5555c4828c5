// The multi-block routines of every registered cipher, on every code path the processor offers
// (portable, 128-bit lanes, 256-bit lanes): the same results as the block routine one block at a
// time, the known answers decrypted back, and every mode that hands runs of blocks to them equal
// across the paths.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "cipher/base/cipher.h"
#include "cipher/base/support.h"
#include "cipher/cpu/features.h"
#include "cipher/cpu/lanes.h"
#include "cipher/cipher_test_util.h"

using namespace corvane;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& x : b) x = std::uint8_t(rng());
  return b;
}

// The features of a lane width: those detected, without the wider lanes'.
unsigned LaneMask(LaneWidth width) {
  unsigned mask = CpuFeaturesDetected();
  if (width < LaneWidth::k256) mask &= ~unsigned(kCpuAvx2);
  if (width < LaneWidth::k128) mask &= ~unsigned(kCpuSse2);
  return mask;
}

// Every path from the portable one up to the best this processor has.
std::vector<LaneWidth> Paths() {
  const ScopedCpuFeatures all(kCpuAllFeatures);
  std::vector<LaneWidth> paths;
  for (int p = 0; p <= int(WidestLanes()); ++p) paths.push_back(LaneWidth(p));
  return paths;
}

// Narrows the features to one lane width for one scope, and checks that the lanes follow.
class PathLimit {
 public:
  explicit PathLimit(LaneWidth path) : only_(LaneMask(path)) { EXPECT_EQ(int(WidestLanes()), int(path)); }

 private:
  ScopedCpuFeatures only_;
};

Owned<TCipher> Keyed(const CipherClassInfo& cls) {
  Owned<TCipher> c = CreateCipher(cls);
  c->Init(std::string_view(cls.name));
  return c;
}

// Block counts around every lane group (1, 2, 3, 4, 8 and 16 blocks) and their remainders.
constexpr std::size_t kCounts[] = {1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 32, 33, 47, 64, 67};

}  // namespace

TEST(CipherBlocksTest, EveryPathMatchesTheBlockRoutine) {
  for (const CipherClassInfo* cls : CipherClasses())
    for (LaneWidth path : Paths()) {
      SCOPED_TRACE(testing::Message() << cls->name << " path " << int(path));
      const PathLimit limit(path);
      const std::size_t b = std::size_t(cls->blockSize);
      for (std::size_t n : kCounts) {
        SCOPED_TRACE(n);
        const Bytes plain = RandomBytes(n * b, unsigned(n * 7 + b));
        // Fresh objects for each side: SCOP's block routine moves its keystream state.
        Bytes many = plain, one = plain;
        Keyed(*cls)->EncryptBlocks(many.data(), n);
        auto single = Keyed(*cls);
        for (std::size_t i = 0; i < n; ++i) single->EncryptBlock(one.data() + i * b);
        ASSERT_EQ(many, one);
        ASSERT_NE(many, plain);
        Keyed(*cls)->DecryptBlocks(many.data(), n);
        ASSERT_EQ(many, plain);
        auto singleBack = Keyed(*cls);
        for (std::size_t i = 0; i < n; ++i) singleBack->DecryptBlock(one.data() + i * b);
        ASSERT_EQ(one, plain);
      }
      // cmCTS decryption runs the multi-block routine: the known answer decrypts to the input.
      if (cls->knownAnswer != nullptr) {
        Bytes data(cls->knownAnswer, cls->knownAnswer + 32);
        Keyed(*cls)->DecryptBuffer(data.data(), data.data(), data.size());
        const auto input = SharedTestInput();
        EXPECT_EQ(data, Bytes(input.begin(), input.end()));
      }
    }
}

// The modes that hand runs of blocks over (cmECB both ways, cmCBC, cmCTS and cmCFB decryption)
// over a buffer of several runs, with a tail: every path gives the portable path's bytes and
// register, and decryption gives the input back.
TEST(CipherBlocksTest, ModesAgreeAcrossPaths) {
  const TCipherMode modes[] = {TCipherMode::cmECB, TCipherMode::cmCBC, TCipherMode::cmCTS, TCipherMode::cmCFB};
  for (const CipherClassInfo* cls : CipherClasses()) {
    const std::size_t size = 7 * 1024 + std::size_t(cls->blockSize) / 2 + 3;
    const Bytes plain = RandomBytes(size, unsigned(cls->blockSize));
    for (TCipherMode mode : modes) {
      SCOPED_TRACE(testing::Message() << cls->name << " mode " << int(mode));
      Bytes portableCipher, portablePlain, portableRegister;
      for (LaneWidth path : Paths()) {
        SCOPED_TRACE(int(path));
        const PathLimit limit(path);
        auto enc = Keyed(*cls);
        enc->Mode = mode;
        Bytes cipher(size);
        enc->EncryptBuffer(plain.data(), cipher.data(), size);
        // In place, continuing the chain from the encrypted text's register.
        auto dec = Keyed(*cls);
        dec->Mode = mode;
        Bytes back = cipher;
        dec->DecryptBuffer(back.data(), back.data(), size);
        ASSERT_EQ(back, plain);
        const Bytes reg(dec->FeedbackBytes().begin(), dec->FeedbackBytes().end());
        // Decrypting the cipher text once more, out of place, continues from that register.
        Bytes again(size);
        dec->DecryptBuffer(cipher.data(), again.data(), size);
        if (path == LaneWidth::kPortable) {
          portableCipher = cipher, portablePlain = again, portableRegister = reg;
        } else {
          EXPECT_EQ(cipher, portableCipher);
          EXPECT_EQ(again, portablePlain);
          EXPECT_EQ(reg, portableRegister);
        }
      }
    }
  }
}

// Every class in all eight modes, both directions, against the modes written out from their
// definitions over the class's own block routine (a second object with the same key, so that
// SCOP's keystream runs alike): the classes' own mode paths (multi-block runs, the serial chains
// over inlined block routines) give the same bytes and leave the same register. Two calls each,
// the second continuing the chain; the length crosses several runs and ends in a tail.
TEST(CipherBlocksTest, EveryClassMatchesTheModeReference) {
  for (const CipherClassInfo* cls : CipherClasses()) {
    const std::size_t b = std::size_t(cls->blockSize);
    const std::size_t size = 2 * 1024 + 5 * b + b / 2 + 1;
    for (int m = 0; m < 8; ++m)
      for (bool decrypt : {false, true}) {
        const auto mode = TCipherMode(m);
        SCOPED_TRACE(testing::Message() << cls->name << " mode " << m << (decrypt ? " decrypt" : " encrypt"));
        auto c = Keyed(*cls);
        c->Mode = mode;
        auto blockRoutine = Keyed(*cls);
        cvtest::ModeReference ref{*blockRoutine, Bytes(c->FeedbackBytes().begin(), c->FeedbackBytes().end())};
        for (int call = 0; call < 2; ++call) {
          const Bytes in = RandomBytes(size, unsigned(m * 2 + call + b));
          Bytes out(size, 0xEE);
          const Bytes expected = ref.Run(mode, decrypt, in, out);
          decrypt ? c->DecryptBuffer(in.data(), out.data(), size) : c->EncryptBuffer(in.data(), out.data(), size);
          ASSERT_EQ(out, expected) << "call " << call;
          ASSERT_EQ(Bytes(c->FeedbackBytes().begin(), c->FeedbackBytes().end()), ref.f) << "call " << call;
        }
      }
  }
}
