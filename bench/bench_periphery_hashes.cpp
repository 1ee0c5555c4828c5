// Throughput of the Haval, Snefru, Tiger, Square, Sapphire and checksum classes on 64 KiB
// buffers, next to mhash, RHash and Crypto++ where they have the same function.
#include <benchmark/benchmark.h>
#include <mhash.h>
#include <rhash.h>

#include <cryptopp/crc.h>
#include <cryptopp/tiger.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "cipher/checksums.h"
#include "cipher/haval.h"
#include "cipher/sapphire.h"
#include "cipher/snefru.h"
#include "cipher/square.h"
#include "cipher/tiger.h"

extern "C" {
int havalInit(void* context, int passes, int hashLength);
int havalUpdate(void* context, const std::uint8_t* data, std::uint32_t length);
int havalFinal(void* context, std::uint8_t* digest);
}

namespace {

constexpr std::size_t kSize = 64 * 1024;

const std::vector<std::uint8_t>& Buffer() {
  static const std::vector<std::uint8_t> data = [] {
    std::vector<std::uint8_t> d(kSize);
    for (std::size_t i = 0; i < d.size(); ++i) d[i] = std::uint8_t(i * 131 + 7);
    return d;
  }();
  return data;
}

template <class T>
void BM_Corvane(benchmark::State& state) {
  const auto& data = Buffer();
  auto h = corvane::Make<T>();
  for (auto _ : state) {
    h->Start();
    h->Update(data.data(), data.size());
    h->Finish();
    benchmark::DoNotOptimize(h->DigestBytes()[0]);
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kSize));
}

BENCHMARK_TEMPLATE(BM_Corvane, corvane::THash_Haval128);
BENCHMARK_TEMPLATE(BM_Corvane, corvane::THash_Haval160);
BENCHMARK_TEMPLATE(BM_Corvane, corvane::THash_Haval192);
BENCHMARK_TEMPLATE(BM_Corvane, corvane::THash_Haval224);
BENCHMARK_TEMPLATE(BM_Corvane, corvane::THash_Haval256);
BENCHMARK_TEMPLATE(BM_Corvane, corvane::THash_Snefru);
BENCHMARK_TEMPLATE(BM_Corvane, corvane::THash_Tiger);
BENCHMARK_TEMPLATE(BM_Corvane, corvane::THash_Square);
BENCHMARK_TEMPLATE(BM_Corvane, corvane::THash_Sapphire128);
BENCHMARK_TEMPLATE(BM_Corvane, corvane::THash_Sapphire160);
BENCHMARK_TEMPLATE(BM_Corvane, corvane::THash_Sapphire192);
BENCHMARK_TEMPLATE(BM_Corvane, corvane::THash_Sapphire224);
BENCHMARK_TEMPLATE(BM_Corvane, corvane::THash_Sapphire256);
BENCHMARK_TEMPLATE(BM_Corvane, corvane::THash_Sapphire288);
BENCHMARK_TEMPLATE(BM_Corvane, corvane::THash_Sapphire320);
BENCHMARK_TEMPLATE(BM_Corvane, corvane::THash_XOR16);
BENCHMARK_TEMPLATE(BM_Corvane, corvane::THash_XOR32);
BENCHMARK_TEMPLATE(BM_Corvane, corvane::THash_CRC16_CCITT);
BENCHMARK_TEMPLATE(BM_Corvane, corvane::Thash_CRC16_Standard);
BENCHMARK_TEMPLATE(BM_Corvane, corvane::THash_CRC32);

// mhash's HAVAL with the pass count of the matching class (3 up to 160 bits, 4 for 192 and 224,
// 5 for 256).
void BM_MhashHaval(benchmark::State& state) {
  const auto& data = Buffer();
  const int bits = int(state.range(0)), passes = int(state.range(1));
  alignas(16) std::uint8_t context[1024];
  std::uint8_t digest[32];
  for (auto _ : state) {
    havalInit(context, passes, bits);
    havalUpdate(context, data.data(), std::uint32_t(data.size()));
    havalFinal(context, digest);
    benchmark::DoNotOptimize(digest[0]);
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kSize));
}
BENCHMARK(BM_MhashHaval)->Args({128, 3})->Args({160, 3})->Args({192, 4})->Args({224, 4})->Args({256, 5});

void BM_Mhash(benchmark::State& state) {
  const auto& data = Buffer();
  const auto type = hashid(state.range(0));
  for (auto _ : state) {
    MHASH m = mhash_init(type);
    mhash(m, data.data(), std::uint32_t(data.size()));
    void* digest = mhash_end(m);
    benchmark::DoNotOptimize(digest);
    std::free(digest);
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kSize));
}
BENCHMARK(BM_Mhash)->Arg(MHASH_SNEFRU256)->ArgName("snefru256");
BENCHMARK(BM_Mhash)->Arg(MHASH_TIGER192)->ArgName("tiger");
BENCHMARK(BM_Mhash)->Arg(MHASH_CRC32B)->ArgName("crc32");

void BM_Rhash(benchmark::State& state) {
  rhash_library_init();
  const auto& data = Buffer();
  std::uint8_t digest[64];
  for (auto _ : state) {
    rhash_msg(unsigned(state.range(0)), data.data(), data.size(), digest);
    benchmark::DoNotOptimize(digest[0]);
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kSize));
}
BENCHMARK(BM_Rhash)->Arg(RHASH_SNEFRU256)->ArgName("snefru256");
BENCHMARK(BM_Rhash)->Arg(RHASH_TIGER)->ArgName("tiger");
BENCHMARK(BM_Rhash)->Arg(RHASH_CRC32)->ArgName("crc32");

template <class H>
void BM_Cryptopp(benchmark::State& state) {
  const auto& data = Buffer();
  H h;
  std::uint8_t digest[H::DIGESTSIZE];
  for (auto _ : state) {
    h.CalculateDigest(digest, data.data(), data.size());
    benchmark::DoNotOptimize(digest[0]);
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kSize));
}
BENCHMARK_TEMPLATE(BM_Cryptopp, CryptoPP::Tiger);
BENCHMARK_TEMPLATE(BM_Cryptopp, CryptoPP::CRC32);

}  // namespace
