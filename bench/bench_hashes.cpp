// Throughput of the library's hashes beside independent implementations of the same functions
// (Crypto++ and mhash), over buffers of 64 B, 1 KiB, 64 KiB and 16 MiB. Every iteration is a
// whole Start/Update/Finish (or the library's one-call equivalent). After the usual output a
// summary table gives MB/s side by side and the ratio of ours to Crypto++.
//
// Crypto++ runs SHA-1 with the processor's SHA instructions where present; it is measured a
// second time with those switched off ("cryptopp-portable"), and the ratio uses that figure.
// Other families add their algorithms to the table below.
#include <benchmark/benchmark.h>

#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1
#include <cryptopp/cpu.h>
#include <cryptopp/md4.h>
#include <cryptopp/md5.h>
#include <cryptopp/ripemd.h>
#include <cryptopp/sha.h>
#include <mhash.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "bench_report.h"
#include "cipher/hash.h"
#include "cipher/md4_family.h"

namespace {

const std::vector<std::int64_t> kSizes = {64, 1024, 64 * 1024, 16 * 1024 * 1024};

const std::vector<std::uint8_t>& Buffer() {
  static const std::vector<std::uint8_t> buffer = [] {
    std::vector<std::uint8_t> b(std::size_t(kSizes.back()));
    std::uint32_t x = 0x12345678u;
    for (auto& v : b) {
      x = x * 1103515245u + 12345u;
      v = std::uint8_t(x >> 24);
    }
    return b;
  }();
  return buffer;
}

void Ours(benchmark::State& state, const corvane::HashClassInfo* cls) {
  auto h = corvane::CreateHash(*cls);
  const auto& buf = Buffer();
  const auto n = std::size_t(state.range(0));
  for (auto _ : state) {
    h->Start();
    h->Update(buf.data(), n);
    h->Finish();
    benchmark::DoNotOptimize(h->DigestBytes()[0]);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

template <class H>
void CryptoPP(benchmark::State& state, bool portable) {
  H h;
  std::uint8_t digest[H::DIGESTSIZE];
  const auto& buf = Buffer();
  const auto n = std::size_t(state.range(0));
#if CRYPTOPP_BOOL_X86 || CRYPTOPP_BOOL_X64
  const bool hadSha = CryptoPP::HasSHA();
  if (portable) CryptoPP::g_hasSHA = false;
#else
  (void)portable;
#endif
  for (auto _ : state) {
    h.CalculateDigest(digest, buf.data(), n);
    benchmark::DoNotOptimize(digest[0]);
  }
#if CRYPTOPP_BOOL_X86 || CRYPTOPP_BOOL_X64
  CryptoPP::g_hasSHA = hadSha;
#endif
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void Mhash(benchmark::State& state, hashid id) {
  const auto& buf = Buffer();
  const auto n = std::size_t(state.range(0));
  std::uint8_t digest[64];
  for (auto _ : state) {
    MHASH td = mhash_init(id);
    if (td == MHASH_FAILED) {
      state.SkipWithError("mhash_init failed");
      return;
    }
    mhash(td, buf.data(), mutils_word32(n));
    mhash_deinit(td, digest);
    benchmark::DoNotOptimize(digest[0]);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

struct Entry {
  std::string name;
  const corvane::HashClassInfo* ours;
  std::function<void(benchmark::State&)> cryptopp;           // empty: none
  std::function<void(benchmark::State&)> cryptoppPortable;   // empty: cryptopp is portable
  int mhashId;                                                // -1: none
};

std::vector<Entry> Entries() {
  using namespace corvane;
  return {
      {"MD4", &THash_MD4::StaticClass(), [](auto& s) { CryptoPP<CryptoPP::Weak::MD4>(s, false); }, nullptr, MHASH_MD4},
      {"MD5", &THash_MD5::StaticClass(), [](auto& s) { CryptoPP<CryptoPP::Weak::MD5>(s, false); }, nullptr, MHASH_MD5},
      {"SHA", &THash_SHA::StaticClass(), nullptr, nullptr, -1},
      {"SHA1", &THash_SHA1::StaticClass(), [](auto& s) { CryptoPP<CryptoPP::SHA1>(s, false); },
       [](auto& s) { CryptoPP<CryptoPP::SHA1>(s, true); }, MHASH_SHA1},
      {"RipeMD128", &THash_RipeMD128::StaticClass(), [](auto& s) { CryptoPP<CryptoPP::RIPEMD128>(s, false); }, nullptr,
       MHASH_RIPEMD128},
      {"RipeMD160", &THash_RipeMD160::StaticClass(), [](auto& s) { CryptoPP<CryptoPP::RIPEMD160>(s, false); }, nullptr,
       MHASH_RIPEMD160},
      {"RipeMD256", &THash_RipeMD256::StaticClass(), [](auto& s) { CryptoPP<CryptoPP::RIPEMD256>(s, false); }, nullptr,
       MHASH_RIPEMD256},
      {"RipeMD320", &THash_RipeMD320::StaticClass(), [](auto& s) { CryptoPP<CryptoPP::RIPEMD320>(s, false); }, nullptr,
       MHASH_RIPEMD320},
  };
}

void Register(const std::string& name, std::function<void(benchmark::State&)> fn) {
  auto* b = benchmark::RegisterBenchmark(name.c_str(), std::move(fn));
  for (auto size : kSizes) b->Arg(size);
}

void PrintSummary(const std::vector<Entry>& entries, const bench_report::SummaryReporter& reporter) {
  auto rate = [&](const std::string& name) { return reporter.Rate(name); };
  auto cell = [](double v) { return bench_report::RateCell(v, 12); };
  std::printf("\nMB/s (10^6 bytes per second); ratio = ours / Crypto++ (portable code)\n");
  std::printf("%-10s %9s %12s %12s %12s %12s %7s\n", "hash", "bytes", "ours", "Crypto++", "Crypto++ pt",
              "mhash", "ratio");
  for (const auto& e : entries) {
    for (auto size : kSizes) {
      const std::string suffix = "/" + std::to_string(size);
      const double ours = rate(e.name + "/ours" + suffix);
      const double cpp = rate(e.name + "/cryptopp" + suffix);
      const double portable = rate(e.name + "/cryptopp-portable" + suffix);
      const double mh = rate(e.name + "/mhash" + suffix);
      const double reference = portable >= 0 ? portable : cpp;
      std::printf("%-10s %9lld %s %s %s %s %s\n", e.name.c_str(), static_cast<long long>(size), cell(ours).c_str(),
                  cell(cpp).c_str(), cell(portable).c_str(), cell(mh).c_str(),
                  bench_report::RatioCell(ours, reference).c_str());
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  corvane::StartCipherLibrary();
  const auto entries = Entries();
  for (const auto& e : entries) {
    const auto* cls = e.ours;
    Register(e.name + "/ours", [cls](benchmark::State& s) { Ours(s, cls); });
    if (e.cryptopp) Register(e.name + "/cryptopp", e.cryptopp);
    if (e.cryptoppPortable) Register(e.name + "/cryptopp-portable", e.cryptoppPortable);
    if (e.mhashId >= 0) {
      const auto id = static_cast<hashid>(e.mhashId);
      Register(e.name + "/mhash", [id](benchmark::State& s) { Mhash(s, id); });
    }
  }
  bench_report::SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintSummary(entries, reporter);
  benchmark::Shutdown();
  return 0;
}
