// Throughput of every registered cipher beside the best independent implementation of the same
// block function: Crypto++ 8 and Botan 2 (whose ECB and CBC/CFB decryption run its multi-block
// code). Each case is one cipher, one mode (ECB, CBC, the library's own cmCTS, 8-bit CFB) and one
// direction over a 64 KiB buffer. Ours and every peer run in turns of short batches (a few
// milliseconds each), several rounds, so that a change in the machine's load touches all of them
// alike; a case reports the median rate of each and the median of the per-round ratios ours / best
// peer of that round. cmCTS has no peer: it is set beside the peers' CBC, which has the same shape
// (serial encryption, independent blocks in decryption). After the usual output a table lists
// every case with its ratio, and the machine's load average before and after.
#include <benchmark/benchmark.h>

#include <botan/block_cipher.h>
#include <botan/cipher_mode.h>

#include <cryptopp/3way.h>
#include <cryptopp/algparam.h>
#include <cryptopp/argnames.h>
#include <cryptopp/blowfish.h>
#include <cryptopp/gost.h>
#include <cryptopp/idea.h>
#include <cryptopp/modes.h>
#include <cryptopp/safer.h>
#include <cryptopp/shark.h>
#include <cryptopp/square.h>
#include <cryptopp/twofish.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
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
constexpr int kRounds = 9;                                   // rounds of turns per case
constexpr std::chrono::microseconds kBatchTime{2500};        // the least time of one batch
const std::uint8_t kKey[32] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16,
                               17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32};
const std::uint8_t kIv[16] = {0xA5, 0x5A, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E};

enum class Mode { ECB, CBC, CTS, CFB8 };
const char* ModeName(Mode m) {
  switch (m) {
    case Mode::ECB: return "ECB";
    case Mode::CBC: return "CBC";
    case Mode::CTS: return "CTS";
    case Mode::CFB8: return "CFB8";
  }
  return "?";
}

// One contestant of a case: processes a buffer in place once per call (the chain runs on).
struct Runner {
  std::string name;
  std::function<void(std::uint8_t*, std::size_t)> run;
};

// A peer for one cipher: the runner for a mode and direction, or none where the peer lacks it.
using Peer = std::function<std::optional<Runner>(Mode, bool decrypt)>;

Runner Ours(const corvane::CipherClassInfo& cls, Mode mode, bool decrypt) {
  std::shared_ptr<corvane::TCipher> c(corvane::CreateCipher(cls).release(), corvane::ProtectionDeleter());
  c->Init(kKey, std::min<std::int32_t>(16, cls.maxKeySize), nullptr);
  using M = corvane::TCipherMode;
  c->Mode = mode == Mode::ECB ? M::cmECB : mode == Mode::CBC ? M::cmCBC : mode == Mode::CTS ? M::cmCTS : M::cmCFB;
  if (decrypt) return {"ours", [c](std::uint8_t* p, std::size_t n) { c->DecryptBuffer(p, p, n); }};
  return {"ours", [c](std::uint8_t* p, std::size_t n) { c->EncryptBuffer(p, p, n); }};
}

// Crypto++'s ECB, CBC and CFB with 8-bit feedback (cmCTS beside its CBC); rounds 0: the default.
template <class C>
Peer CryptoPP(std::size_t keyLength, int rounds = 0) {
  return [keyLength, rounds](Mode mode, bool decrypt) -> std::optional<Runner> {
    std::shared_ptr<CryptoPP::SymmetricCipher> m;
    switch (mode) {
      case Mode::ECB:
        m = decrypt ? std::shared_ptr<CryptoPP::SymmetricCipher>(new typename CryptoPP::ECB_Mode<C>::Decryption)
                    : std::shared_ptr<CryptoPP::SymmetricCipher>(new typename CryptoPP::ECB_Mode<C>::Encryption);
        break;
      case Mode::CBC:
      case Mode::CTS:
        m = decrypt ? std::shared_ptr<CryptoPP::SymmetricCipher>(new typename CryptoPP::CBC_Mode<C>::Decryption)
                    : std::shared_ptr<CryptoPP::SymmetricCipher>(new typename CryptoPP::CBC_Mode<C>::Encryption);
        break;
      case Mode::CFB8:
        m = decrypt ? std::shared_ptr<CryptoPP::SymmetricCipher>(new typename CryptoPP::CFB_Mode<C>::Decryption)
                    : std::shared_ptr<CryptoPP::SymmetricCipher>(new typename CryptoPP::CFB_Mode<C>::Encryption);
        break;
    }
    CryptoPP::AlgorithmParameters params = CryptoPP::MakeParameters(CryptoPP::Name::FeedbackSize(), 1, false);
    if (mode != Mode::ECB) params(CryptoPP::Name::IV(), CryptoPP::ConstByteArrayParameter(kIv, C::BLOCKSIZE), false);
    if (rounds > 0) params(CryptoPP::Name::Rounds(), rounds, false);
    m->SetKey(kKey, keyLength, params);
    return Runner{"Crypto++", [m](std::uint8_t* p, std::size_t n) { m->ProcessData(p, p, n); }};
  };
}

// Botan 2: ECB through the block cipher's multi-block entry, CBC and CFB(8) through its modes.
Peer Botan(std::string name, std::size_t keyLength) {
  return [name, keyLength](Mode mode, bool decrypt) -> std::optional<Runner> {
    if (mode == Mode::ECB) {
      std::shared_ptr<Botan::BlockCipher> bc = Botan::BlockCipher::create(name);
      if (!bc) return std::nullopt;
      bc->set_key(kKey, keyLength);
      const std::size_t b = bc->block_size();
      if (decrypt) return Runner{"Botan", [bc, b](std::uint8_t* p, std::size_t n) { bc->decrypt_n(p, p, n / b); }};
      return Runner{"Botan", [bc, b](std::uint8_t* p, std::size_t n) { bc->encrypt_n(p, p, n / b); }};
    }
    const std::string modeName = name + (mode == Mode::CFB8 ? "/CFB(8)" : "/CBC/NoPadding");
    std::shared_ptr<Botan::Cipher_Mode> m(
        Botan::Cipher_Mode::create(modeName, decrypt ? Botan::DECRYPTION : Botan::ENCRYPTION).release());
    if (!m) return std::nullopt;
    m->set_key(kKey, keyLength);
    m->start(kIv, m->default_nonce_length());
    return Runner{"Botan", [m](std::uint8_t* p, std::size_t n) { m->process(p, n); }};
  };
}

// One cipher: our class and its peers.
struct Entry {
  std::string name;
  const corvane::CipherClassInfo* cls;
  std::vector<Peer> peers;
  double peerScale = 1.0;  // the peers' rate is multiplied by this (other rounds count)
  std::string note;
};

std::vector<Entry> Entries() {
  using namespace corvane;
  auto k = [](std::size_t minLen, std::size_t maxLen) { return std::clamp<std::size_t>(16, minLen, maxLen); };
  return {
      {"IDEA", &TCipher_IDEA::StaticClass(), {CryptoPP<CryptoPP::IDEA>(16), Botan("IDEA", 16)}, 1.0, ""},
      {"Blowfish", &TCipher_Blowfish::StaticClass(), {CryptoPP<CryptoPP::Blowfish>(16), Botan("Blowfish", 16)}, 1.0, ""},
      {"Gost", &TCipher_Gost::StaticClass(),
       {CryptoPP<CryptoPP::GOST>(32), Botan("GOST-28147-89(R3411_94_TestParam)", 32)}, 1.0, ""},
      // The TEA pair runs 16 cycles of its own rounds; no library has them. XTEA (32 cycles of a
      // round of about the same work) stands beside them at twice its rate.
      {"TEA", &TCipher_TEA::StaticClass(), {Botan("XTEA", 16)}, 2.0, "XTEA x2 (32 vs 16 cycles)"},
      {"TEA extended", &TCipher_TEAN::StaticClass(), {Botan("XTEA", 16)}, 2.0, "XTEA x2 (32 vs 16 cycles)"},
      // Crypto++ has no 40-bit SAFER: SAFER K-64 with the same 5 rounds does the same block work.
      {"SAFER-K40", &TCipher_SAFER_K40::StaticClass(), {CryptoPP<CryptoPP::SAFER_K>(8, 5)}, 1.0, "K-64, 5 rounds"},
      {"SAFER-SK40", &TCipher_SAFER_SK40::StaticClass(), {CryptoPP<CryptoPP::SAFER_SK>(8, 5)}, 1.0, "SK-64, 5 rounds"},
      {"SAFER-K64", &TCipher_SAFER_K64::StaticClass(), {CryptoPP<CryptoPP::SAFER_K>(8, 6)}, 1.0, ""},
      {"SAFER-SK64", &TCipher_SAFER_SK64::StaticClass(), {CryptoPP<CryptoPP::SAFER_SK>(8, 6)}, 1.0, ""},
      {"SAFER-K128", &TCipher_SAFER_K128::StaticClass(), {CryptoPP<CryptoPP::SAFER_K>(16, 10)}, 1.0, ""},
      {"SAFER-SK128", &TCipher_SAFER_SK128::StaticClass(), {CryptoPP<CryptoPP::SAFER_SK>(16, 10)}, 1.0, ""},
      {"3Way", &TCipher_3Way::StaticClass(), {CryptoPP<CryptoPP::ThreeWay>(12)}, 1.0, ""},
      {"Twofish", &TCipher_Twofish::StaticClass(), {CryptoPP<CryptoPP::Twofish>(16), Botan("Twofish", 16)}, 1.0, ""},
      {"Square", &TCipher_Square::StaticClass(), {CryptoPP<CryptoPP::Square>(16)}, 1.0, ""},
      {"Shark", &TCipher_Shark::StaticClass(), {CryptoPP<CryptoPP::SHARK>(k(1, 16))}, 1.0, ""},
      {"Q128", &TCipher_Q128::StaticClass(), {}, 1.0, "no peer"},
      {"SCOP", &TCipher_SCOP::StaticClass(), {}, 1.0, "no peer"},
  };
}

double Median(std::vector<double> v) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Result {
  std::string cipher, mode, direction, peer, note;
  double ours = -1, best = -1, ratio = -1;  // MB/s, MB/s, median of the per-round ratios
  bool yardstick = false;                   // the peer does other work: its rate is scaled
};
std::vector<Result>& Results() {
  static std::vector<Result> results;
  return results;
}

// Seconds for `reps` calls on the buffer.
double Time(const Runner& r, std::vector<std::uint8_t>& buf, int reps) {
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < reps; ++i) r.run(buf.data(), buf.size());
  benchmark::DoNotOptimize(buf.data());
  benchmark::ClobberMemory();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void RunCase(benchmark::State& state, const Entry& e, Mode mode, bool decrypt) {
  std::vector<Runner> runners{Ours(*e.cls, mode, decrypt)};
  for (const Peer& p : e.peers)
    if (auto r = p(mode, decrypt)) runners.push_back(std::move(*r));
  std::vector<std::uint8_t> buf(kSize, 0x5A);
  // Calls per batch for each runner, from a first timed call (which also warms it up).
  std::vector<int> reps;
  for (const Runner& r : runners) {
    const double once = std::max(Time(r, buf, 1), 1e-7);
    reps.push_back(std::max(1, int(std::chrono::duration<double>(kBatchTime).count() / once + 0.5)));
  }
  std::vector<std::vector<double>> rates(runners.size());
  std::vector<double> ratios;
  std::vector<int> bestPeerWins(runners.size(), 0);
  double oursSeconds = 0;
  for (auto _ : state) {
    for (int round = 0; round < kRounds; ++round) {
      double bestPeer = -1;
      std::size_t bestIndex = 0;
      for (std::size_t i = 0; i < runners.size(); ++i) {
        const double s = Time(runners[i], buf, reps[i]);
        double rate = double(kSize) * reps[i] / s / 1e6;
        if (i == 0) {
          oursSeconds += s;
        } else {
          rate *= e.peerScale;
          if (rate > bestPeer) bestPeer = rate, bestIndex = i;
        }
        rates[i].push_back(rate);
      }
      if (bestPeer > 0) {
        ratios.push_back(rates[0].back() / bestPeer);
        ++bestPeerWins[bestIndex];
      }
    }
    state.SetIterationTime(oursSeconds);
  }
  Result r{e.name, ModeName(mode), decrypt ? "decrypt" : "encrypt", "", e.note};
  r.yardstick = e.peerScale != 1.0;
  r.ours = Median(rates[0]);
  if (runners.size() > 1) {
    const auto best = std::size_t(std::max_element(bestPeerWins.begin(), bestPeerWins.end()) - bestPeerWins.begin());
    r.peer = runners[best].name;
    r.best = Median(rates[best]);
    r.ratio = Median(ratios);
    state.counters["peer_MBps"] = r.best;
    state.counters["ratio"] = r.ratio;
  }
  state.counters["ours_MBps"] = r.ours;
  Results().push_back(r);
}

std::string LoadAverage() {
  std::ifstream f("/proc/loadavg");
  std::string a, b, c;
  f >> a >> b >> c;
  return a + " " + b + " " + c;
}

void PrintTable(const std::string& loadBefore) {
  std::printf("\nMB/s (10^6 bytes/s) over %zu KiB; ratio = median over %d rounds of ours / best peer of the round\n",
              kSize / 1024, kRounds);
  std::printf("(CTS: the peers' CBC). Load average before: %s, after: %s\n", loadBefore.c_str(), LoadAverage().c_str());
  std::printf("%-13s %-5s %-8s %10s %10s %-9s %7s  %s\n", "cipher", "mode", "dir", "ours", "peer", "best peer", "ratio",
              "note");
  int below1 = 0, below95 = 0, compared = 0;
  double lowest = 1e9;
  for (const Result& r : Results()) {
    char peer[16] = "         -", ratio[16] = "      -";
    if (r.best > 0) std::snprintf(peer, sizeof peer, "%10.1f", r.best);
    if (r.ratio > 0 && r.yardstick) {
      std::snprintf(ratio, sizeof ratio, "(%5.2f)", r.ratio);
    } else if (r.ratio > 0) {
      std::snprintf(ratio, sizeof ratio, "%7.2f", r.ratio);
      ++compared;
      below1 += r.ratio < 1.0;
      below95 += r.ratio < 0.95;
      lowest = std::min(lowest, r.ratio);
    }
    std::printf("%-13s %-5s %-8s %10.1f %s %-9s %s  %s\n", r.cipher.c_str(), r.mode.c_str(), r.direction.c_str(), r.ours,
                peer, r.peer.c_str(), ratio, r.note.c_str());
  }
  if (compared > 0)
    std::printf("%d cases with a peer of the same work: %d below 1.00, %d below 0.95, lowest %.2f\n"
                "(ratios in parentheses: against a yardstick of other work, scaled; not counted)\n",
                compared, below1, below95, lowest);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  corvane::StartCipherLibrary();
  const std::string loadBefore = LoadAverage();
  static const std::vector<Entry> entries = Entries();
  for (const Entry& e : entries)
    for (Mode mode : {Mode::ECB, Mode::CBC, Mode::CTS, Mode::CFB8})
      for (bool decrypt : {false, true}) {
        const std::string name = e.name + "/" + ModeName(mode) + (decrypt ? "/decrypt" : "/encrypt");
        benchmark::RegisterBenchmark(name.c_str(), [&e, mode, decrypt](benchmark::State& s) { RunCase(s, e, mode, decrypt); })
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
      }
  benchmark::RunSpecifiedBenchmarks();
  PrintTable(loadBefore);
  benchmark::Shutdown();
  return 0;
}
