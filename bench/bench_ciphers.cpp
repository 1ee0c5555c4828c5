// Throughput of the library's ciphers beside Crypto++'s implementation of the same block
// functions: raw blocks (ECB) over 64 KiB, and the library's own feedback mode cmCTS (the mode of
// every stored value), with Crypto++'s CBC as the nearest comparable chaining.
#include <benchmark/benchmark.h>

#include <cryptopp/blowfish.h>
#include <cryptopp/gost.h>
#include <cryptopp/idea.h>
#include <cryptopp/modes.h>
#include <cryptopp/safer.h>
#include <cryptopp/shark.h>
#include <cryptopp/square.h>
#include <cryptopp/tea.h>
#include <cryptopp/3way.h>
#include <cryptopp/twofish.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "cipher/blowfish.h"
#include "cipher/cipher.h"
#include "cipher/gost.h"
#include "cipher/idea.h"
#include "cipher/q128.h"
#include "cipher/safer.h"
#include "cipher/scop.h"
#include "cipher/shark.h"
#include "cipher/square.h"
#include "cipher/tea.h"
#include "cipher/three_way.h"
#include "cipher/twofish.h"

namespace {

constexpr std::size_t kSize = 64 * 1024;
const std::uint8_t kKey[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

template <class C>
void Ours(benchmark::State& state, corvane::TCipherMode mode) {
  auto c = corvane::Make<C>();
  c->Init(kKey, std::min<std::int32_t>(16, c->MaxKeySize()), nullptr);
  c->Mode = mode;
  std::vector<std::uint8_t> buf(kSize, 0x5A);
  for (auto _ : state) {
    c->EncryptBuffer(buf.data(), buf.data(), buf.size());
    benchmark::DoNotOptimize(buf[0]);
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kSize));
}

template <class Cipher>
void CryptoPPEcb(benchmark::State& state) {
  typename CryptoPP::ECB_Mode<Cipher>::Encryption e;
  e.SetKey(kKey, 16 <= Cipher::MAX_KEYLENGTH ? 16 : Cipher::MAX_KEYLENGTH);
  std::vector<std::uint8_t> buf(kSize, 0x5A);
  for (auto _ : state) {
    e.ProcessData(buf.data(), buf.data(), buf.size());
    benchmark::DoNotOptimize(buf[0]);
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kSize));
}

template <class Cipher>
void CryptoPPCbc(benchmark::State& state) {
  std::uint8_t iv[Cipher::BLOCKSIZE] = {};
  typename CryptoPP::CBC_Mode<Cipher>::Encryption e(kKey, 16 <= Cipher::MAX_KEYLENGTH ? 16 : Cipher::MAX_KEYLENGTH, iv);
  std::vector<std::uint8_t> buf(kSize, 0x5A);
  for (auto _ : state) {
    e.ProcessData(buf.data(), buf.data(), buf.size());
    benchmark::DoNotOptimize(buf[0]);
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kSize));
}

}  // namespace

const bool kRegistered = [] {
  using namespace corvane;
  benchmark::RegisterBenchmark("ours/IDEA_ecb", Ours<TCipher_IDEA>, TCipherMode::cmECB);
  benchmark::RegisterBenchmark("cryptopp/IDEA_ecb", CryptoPPEcb<CryptoPP::IDEA>);
  benchmark::RegisterBenchmark("ours/IDEA_cts", Ours<TCipher_IDEA>, TCipherMode::cmCTS);
  benchmark::RegisterBenchmark("cryptopp/IDEA_cbc", CryptoPPCbc<CryptoPP::IDEA>);
  benchmark::RegisterBenchmark("ours/Blowfish_ecb", Ours<TCipher_Blowfish>, TCipherMode::cmECB);
  benchmark::RegisterBenchmark("cryptopp/Blowfish_ecb", CryptoPPEcb<CryptoPP::Blowfish>);
  benchmark::RegisterBenchmark("ours/Blowfish_cts", Ours<TCipher_Blowfish>, TCipherMode::cmCTS);
  benchmark::RegisterBenchmark("cryptopp/Blowfish_cbc", CryptoPPCbc<CryptoPP::Blowfish>);
  benchmark::RegisterBenchmark("ours/Gost_ecb", Ours<TCipher_Gost>, TCipherMode::cmECB);
  benchmark::RegisterBenchmark("cryptopp/GOST_ecb", CryptoPPEcb<CryptoPP::GOST>);
  benchmark::RegisterBenchmark("ours/Gost_cts", Ours<TCipher_Gost>, TCipherMode::cmCTS);
  benchmark::RegisterBenchmark("ours/TEA_ecb", Ours<TCipher_TEA>, TCipherMode::cmECB);
  benchmark::RegisterBenchmark("cryptopp/TEA_ecb", CryptoPPEcb<CryptoPP::TEA>);
  benchmark::RegisterBenchmark("ours/TEAN_ecb", Ours<TCipher_TEAN>, TCipherMode::cmECB);
  benchmark::RegisterBenchmark("ours/SAFER-SK128_ecb", Ours<TCipher_SAFER_SK128>, TCipherMode::cmECB);
  benchmark::RegisterBenchmark("cryptopp/SAFER-SK128_ecb", CryptoPPEcb<CryptoPP::SAFER_SK>);
  benchmark::RegisterBenchmark("ours/3Way_ecb", Ours<TCipher_3Way>, TCipherMode::cmECB);
  benchmark::RegisterBenchmark("cryptopp/3Way_ecb", CryptoPPEcb<CryptoPP::ThreeWay>);
  benchmark::RegisterBenchmark("ours/Twofish_ecb", Ours<TCipher_Twofish>, TCipherMode::cmECB);
  benchmark::RegisterBenchmark("cryptopp/Twofish_ecb", CryptoPPEcb<CryptoPP::Twofish>);
  benchmark::RegisterBenchmark("ours/Square_ecb", Ours<TCipher_Square>, TCipherMode::cmECB);
  benchmark::RegisterBenchmark("cryptopp/Square_ecb", CryptoPPEcb<CryptoPP::Square>);
  benchmark::RegisterBenchmark("ours/Shark_ecb", Ours<TCipher_Shark>, TCipherMode::cmECB);
  benchmark::RegisterBenchmark("cryptopp/Shark_ecb", CryptoPPEcb<CryptoPP::SHARK>);
  benchmark::RegisterBenchmark("ours/Q128_ecb", Ours<TCipher_Q128>, TCipherMode::cmECB);
  benchmark::RegisterBenchmark("ours/SCOP_ecb", Ours<TCipher_SCOP>, TCipherMode::cmECB);
  return true;
}();
