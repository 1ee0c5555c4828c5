// Throughput of every registered cipher beside the best independent implementation of the same
// block function: Crypto++ 8 and Botan 2 (whose ECB and CBC/CFB decryption run its multi-block
// code). Each case is one cipher, one mode (ECB, CBC, the library's own cmCTS, 8-bit CFB) and one
// direction over a 64 KiB buffer. Ours and every peer run in turns of short batches (a few
// milliseconds each), several rounds, so that a change in the machine's load touches all of them
// alike; a case reports the median rate of each and the median of the per-round ratios ours / best
// peer of that round. cmCTS has no peer: it is set beside the peers' CBC, which has the same shape
// (serial encryption, independent blocks in decryption). After the usual output a table lists
// every case with its ratio, and the machine's load average before and after.
//
// Before that, the short-message table: IDEA, Blowfish and Twofish in CBC at 16 B to 1 MiB with
// the chain reset for every message (as for a stored value), 3-Way and TEA decrypting a few
// blocks, and the program's own road, TCipherManager's EncryptText/DecryptText of 8, 64 and
// 512-byte texts (IDEA in cmCTS and MIME base64) beside Crypto++'s IDEA-CBC of the same bytes
// with base64 (Crypto++'s own, and Botan's). These run interleaved as in bench_report.h, timed in
// the thread's processor time (a pinned run shares its processor with whatever else runs there),
// in several child processes one after the other (--processes=N, 5 by default); the table gives the
// median over the processes of each process's figures, so that a single noisy process cannot
// swing it, and the lowest and highest ratio of the processes beside it.
//
// Options: --processes=N, --rounds=N and --batch-ms=N (the short-message table), --filter=TEXT
// (only the cases whose name holds TEXT, in both tables), --short-only, --long-only.
#include <benchmark/benchmark.h>

#include <botan/base64.h>
#include <botan/block_cipher.h>
#include <botan/cipher_mode.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cryptopp/3way.h>
#include <cryptopp/algparam.h>
#include <cryptopp/argnames.h>
#include <cryptopp/base64.h>
#include <cryptopp/filters.h>
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
#include <tuple>
#include <utility>
#include <vector>

#include "bench_report.h"
#include "cipher/ciphers/blowfish.h"
#include "cipher/base/cipher.h"
#include "cipher/ciphers/gost.h"
#include "cipher/ciphers/idea.h"
#include "cipher/base/managers.h"
#include "cipher/ciphers/q128.h"
#include "cipher/ciphers/safer.h"
#include "cipher/ciphers/scop.h"
#include "cipher/ciphers/shark.h"
#include "cipher/ciphers/square.h"
#include "cipher/ciphers/tea.h"
#include "cipher/ciphers/three_way.h"
#include "cipher/ciphers/twofish.h"
#include "cipher/base/stored_key.h"
#include "cipher/cpu/features.h"

namespace {

constexpr std::size_t kSize = 64 * 1024;
constexpr int kRounds = 9;                             // rounds of turns per case
constexpr std::chrono::microseconds kBatchTime{2500};  // the least time of one batch
const std::uint8_t kKey[32] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16,
                               17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32};
const std::uint8_t kIv[16] = {0xA5, 0x5A, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06,
                              0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E};

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
    if (mode != Mode::ECB)
      params(CryptoPP::Name::IV(), CryptoPP::ConstByteArrayParameter(kIv, C::BLOCKSIZE), false);
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
      {"Blowfish",
       &TCipher_Blowfish::StaticClass(),
       {CryptoPP<CryptoPP::Blowfish>(16), Botan("Blowfish", 16)},
       1.0,
       ""},
      {"Gost",
       &TCipher_Gost::StaticClass(),
       {CryptoPP<CryptoPP::GOST>(32), Botan("GOST-28147-89(R3411_94_TestParam)", 32)},
       1.0,
       ""},
      // The TEA pair runs 16 cycles of its own rounds; no library has them. XTEA (32 cycles of a
      // round of about the same work) stands beside them at twice its rate.
      {"TEA", &TCipher_TEA::StaticClass(), {Botan("XTEA", 16)}, 2.0, "XTEA x2 (32 vs 16 cycles)"},
      {"TEA extended", &TCipher_TEAN::StaticClass(), {Botan("XTEA", 16)}, 2.0, "XTEA x2 (32 vs 16 cycles)"},
      // Crypto++ has no 40-bit SAFER: SAFER K-64 with the same 5 rounds does the same block work.
      {"SAFER-K40", &TCipher_SAFER_K40::StaticClass(), {CryptoPP<CryptoPP::SAFER_K>(8, 5)}, 1.0, "K-64, 5 rounds"},
      {"SAFER-SK40",
       &TCipher_SAFER_SK40::StaticClass(),
       {CryptoPP<CryptoPP::SAFER_SK>(8, 5)},
       1.0,
       "SK-64, 5 rounds"},
      {"SAFER-K64", &TCipher_SAFER_K64::StaticClass(), {CryptoPP<CryptoPP::SAFER_K>(8, 6)}, 1.0, ""},
      {"SAFER-SK64", &TCipher_SAFER_SK64::StaticClass(), {CryptoPP<CryptoPP::SAFER_SK>(8, 6)}, 1.0, ""},
      {"SAFER-K128", &TCipher_SAFER_K128::StaticClass(), {CryptoPP<CryptoPP::SAFER_K>(16, 10)}, 1.0, ""},
      {"SAFER-SK128", &TCipher_SAFER_SK128::StaticClass(), {CryptoPP<CryptoPP::SAFER_SK>(16, 10)}, 1.0, ""},
      {"3Way", &TCipher_3Way::StaticClass(), {CryptoPP<CryptoPP::ThreeWay>(12)}, 1.0, ""},
      {"Twofish",
       &TCipher_Twofish::StaticClass(),
       {CryptoPP<CryptoPP::Twofish>(16), Botan("Twofish", 16)},
       1.0,
       ""},
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
    const auto best =
        std::size_t(std::max_element(bestPeerWins.begin(), bestPeerWins.end()) - bestPeerWins.begin());
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
  std::printf(
      "\nMB/s (10^6 bytes/s) over %zu KiB; ratio = median over %d rounds of ours / best peer of the round\n",
      kSize / 1024, kRounds);
  std::printf("(CTS: the peers' CBC). Load average before: %s, after: %s\n", loadBefore.c_str(),
              LoadAverage().c_str());
  std::printf("%-13s %-5s %-8s %10s %10s %-9s %7s  %s\n", "cipher", "mode", "dir", "ours", "peer", "best peer",
              "ratio", "note");
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
    std::printf("%-13s %-5s %-8s %10.1f %s %-9s %s  %s\n", r.cipher.c_str(), r.mode.c_str(), r.direction.c_str(),
                r.ours, peer, r.peer.c_str(), ratio, r.note.c_str());
  }
  if (compared > 0)
    std::printf(
        "%d cases with a peer of the same work: %d below 1.00, %d below 0.95, lowest %.2f\n"
        "(ratios in parentheses: against a yardstick of other work, scaled; not counted)\n",
        compared, below1, below95, lowest);
}

// ---- short messages ------------------------------------------------------------------------

// A message of `bytes` bytes in CBC with the chain reset first, in place, by ours and its peers.
struct ShortBuffer {
  std::vector<std::uint8_t> bytes;
  explicit ShortBuffer(std::size_t n) : bytes(n, 0x5A) {}
};

bench_report::Contender OursCbcMessage(const corvane::CipherClassInfo& cls, bool decrypt,
                                       std::shared_ptr<ShortBuffer> buf) {
  std::shared_ptr<corvane::TCipher> c(corvane::CreateCipher(cls).release(), corvane::ProtectionDeleter());
  c->Init(kKey, std::min<std::int32_t>(16, cls.maxKeySize), kIv);
  c->Mode = corvane::TCipherMode::cmCBC;
  if (decrypt)
    return {"ours", [c, buf] {
              c->ResetChain();
              c->DecryptBuffer(buf->bytes.data(), buf->bytes.data(), buf->bytes.size());
              benchmark::ClobberMemory();
            }};
  return {"ours", [c, buf] {
            c->ResetChain();
            c->EncryptBuffer(buf->bytes.data(), buf->bytes.data(), buf->bytes.size());
            benchmark::ClobberMemory();
          }};
}

// Ours on the portable code path alone: a reference that shows what the vector lanes bring.
bench_report::Contender OursPortable(bench_report::Contender ours) {
  return {"ref:portable", [run = std::move(ours.run)] {
            const corvane::ScopedCpuFeatures portable(corvane::CpuFeaturesEnabled() &
                                                      ~unsigned(corvane::kCpuSse2 | corvane::kCpuAvx2));
            run();
          }};
}

template <class C>
bench_report::Contender CryptoPPCbcMessage(std::size_t keyLength, bool decrypt, std::shared_ptr<ShortBuffer> buf) {
  std::shared_ptr<CryptoPP::SymmetricCipher> m;
  if (decrypt)
    m.reset(new typename CryptoPP::CBC_Mode<C>::Decryption);
  else
    m.reset(new typename CryptoPP::CBC_Mode<C>::Encryption);
  m->SetKeyWithIV(kKey, keyLength, kIv, C::BLOCKSIZE);
  return {"Crypto++", [m, buf] {
            m->Resynchronize(kIv, int(m->IVSize()));
            m->ProcessData(buf->bytes.data(), buf->bytes.data(), buf->bytes.size());
            benchmark::ClobberMemory();
          }};
}

bench_report::Contender BotanCbcMessage(const std::string& name, std::size_t keyLength, bool decrypt,
                                        std::shared_ptr<ShortBuffer> buf) {
  std::shared_ptr<Botan::Cipher_Mode> m(
      Botan::Cipher_Mode::create_or_throw(name + "/CBC/NoPadding", decrypt ? Botan::DECRYPTION : Botan::ENCRYPTION)
          .release());
  m->set_key(kKey, keyLength);
  return {"Botan", [m, buf] {
            m->start(kIv, m->default_nonce_length());
            m->process(buf->bytes.data(), buf->bytes.size());
            benchmark::ClobberMemory();
          }};
}

// The program's road: a text through TCipherManager (IDEA, cmCTS, the stored values' key) to MIME
// base64 and back; beside it the same bytes through Crypto++'s IDEA-CBC and base64 without line
// breaks (Crypto++'s encoder, or Botan's, the faster of the two counting).
std::vector<bench_report::Case> ProductRoadCases() {
  std::vector<bench_report::Case> cases;
  for (std::size_t n : {8, 64, 512}) {
    const std::string plain = [n] {
      std::string t(n, 'x');
      for (std::size_t i = 0; i < n; ++i) t[i] = char('A' + i % 26);
      return t;
    }();
    auto manager = std::make_shared<corvane::TCipherManager>();
    manager->SetAlgorithm(corvane::kStoredValueAlgorithm);
    manager->SetMode(corvane::TCipherMode::cmCTS);
    manager->InitKey(corvane::StoredValueKeyText(), nullptr);
    const std::string stored = manager->EncryptText(plain);

    auto encryptor = std::make_shared<CryptoPP::CBC_Mode<CryptoPP::IDEA>::Encryption>();
    encryptor->SetKeyWithIV(kKey, 16, kIv, 8);
    auto decryptor = std::make_shared<CryptoPP::CBC_Mode<CryptoPP::IDEA>::Decryption>();
    decryptor->SetKeyWithIV(kKey, 16, kIv, 8);
    auto cbc = [encryptor](std::string& work) {
      encryptor->Resynchronize(kIv, 8);
      auto* p = reinterpret_cast<std::uint8_t*>(work.data());
      encryptor->ProcessData(p, p, work.size());
    };
    std::string peerStored;
    {
      std::string work(plain);
      cbc(work);
      peerStored = Botan::base64_encode(reinterpret_cast<const std::uint8_t*>(work.data()), work.size());
    }
    const std::string size = std::to_string(n) + " B";
    bench_report::Case enc{"EncryptText " + size,
                           n,
                           {"ours", [manager, plain] { benchmark::DoNotOptimize(manager->EncryptText(plain)); }},
                           {},
                           "the peers: IDEA-CBC + base64"};
    enc.peers.push_back({"Crypto++", [cbc, plain] {
                           std::string work(plain);
                           cbc(work);
                           std::string text;
                           CryptoPP::StringSource(
                               reinterpret_cast<const std::uint8_t*>(work.data()), work.size(), true,
                               new CryptoPP::Base64Encoder(new CryptoPP::StringSink(text), false));
                           benchmark::DoNotOptimize(text);
                         }});
    enc.peers.push_back({"Crypto++/Botan b64", [cbc, plain] {
                           std::string work(plain);
                           cbc(work);
                           std::string text = Botan::base64_encode(
                               reinterpret_cast<const std::uint8_t*>(work.data()), work.size());
                           benchmark::DoNotOptimize(text);
                         }});
    cases.push_back(std::move(enc));

    auto cbcDecrypt = [decryptor](std::uint8_t* p, std::size_t len) {
      decryptor->Resynchronize(kIv, 8);
      decryptor->ProcessData(p, p, len);
    };
    bench_report::Case dec{"DecryptText " + size,
                           n,
                           {"ours", [manager, stored] { benchmark::DoNotOptimize(manager->DecryptText(stored)); }},
                           {},
                           "the peers: base64 + IDEA-CBC"};
    dec.peers.push_back({"Crypto++", [cbcDecrypt, peerStored] {
                           std::string bytes;
                           CryptoPP::StringSource(peerStored, true,
                                                  new CryptoPP::Base64Decoder(new CryptoPP::StringSink(bytes)));
                           cbcDecrypt(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size());
                           benchmark::DoNotOptimize(bytes);
                         }});
    dec.peers.push_back({"Crypto++/Botan b64", [cbcDecrypt, peerStored] {
                           Botan::secure_vector<std::uint8_t> raw = Botan::base64_decode(peerStored);
                           cbcDecrypt(raw.data(), raw.size());
                           std::string bytes(reinterpret_cast<const char*>(raw.data()), raw.size());
                           benchmark::DoNotOptimize(bytes);
                         }});
    cases.push_back(std::move(dec));
  }
  return cases;
}

std::vector<bench_report::Case> ShortCases() {
  using namespace corvane;
  std::vector<bench_report::Case> cases = ProductRoadCases();
  struct Cipher {
    std::string name;
    const CipherClassInfo* cls;
    std::function<bench_report::Contender(bool, std::shared_ptr<ShortBuffer>)> cryptopp;
  };
  const std::vector<Cipher> ciphers{
      {"IDEA", &TCipher_IDEA::StaticClass(),
       [](bool d, std::shared_ptr<ShortBuffer> b) {
         return CryptoPPCbcMessage<CryptoPP::IDEA>(16, d, std::move(b));
       }},
      {"Blowfish", &TCipher_Blowfish::StaticClass(),
       [](bool d, std::shared_ptr<ShortBuffer> b) {
         return CryptoPPCbcMessage<CryptoPP::Blowfish>(16, d, std::move(b));
       }},
      {"Twofish", &TCipher_Twofish::StaticClass(),
       [](bool d, std::shared_ptr<ShortBuffer> b) {
         return CryptoPPCbcMessage<CryptoPP::Twofish>(16, d, std::move(b));
       }},
  };
  for (const Cipher& c : ciphers)
    for (std::size_t n :
         {std::size_t(16), std::size_t(64), std::size_t(1024), std::size_t(64 * 1024), std::size_t(1024 * 1024)})
      for (bool decrypt : {false, true}) {
        auto buf = std::make_shared<ShortBuffer>(n);
        const std::string size = n >= 1024 * 1024 ? std::to_string(n >> 20) + " MiB"
                                 : n >= 1024      ? std::to_string(n >> 10) + " KiB"
                                                  : std::to_string(n) + " B";
        bench_report::Case k{c.name + " CBC " + (decrypt ? "dec " : "enc ") + size,
                             n,
                             OursCbcMessage(*c.cls, decrypt, buf),
                             {},
                             ""};
        k.peers.push_back(c.cryptopp(decrypt, buf));
        k.peers.push_back(BotanCbcMessage(c.name, 16, decrypt, buf));
        cases.push_back(std::move(k));
      }
  // The shape of a few blocks that the lanes do not fill: 3-Way and TEA decrypting 1 to 15 blocks,
  // 3-Way beside Crypto++, and both beside their own portable path (a reference: what the lanes
  // bring, or cost, at that count).
  for (std::size_t blocks : {1, 3, 15}) {
    auto buf = std::make_shared<ShortBuffer>(12 * blocks);
    bench_report::Case k{"3Way CBC dec " + std::to_string(blocks) + " blk",
                         12 * blocks,
                         OursCbcMessage(TCipher_3Way::StaticClass(), true, buf),
                         {},
                         ""};
    k.peers.push_back(CryptoPPCbcMessage<CryptoPP::ThreeWay>(12, true, buf));
    cases.push_back(std::move(k));
  }
  for (const auto& [name, cls, b] : {std::tuple{"3Way", &TCipher_3Way::StaticClass(), std::size_t(12)},
                                     std::tuple{"TEA", &TCipher_TEA::StaticClass(), std::size_t(8)}})
    for (std::size_t blocks : {1, 3, 15}) {
      auto buf = std::make_shared<ShortBuffer>(b * blocks);
      bench_report::Case k{std::string(name) + " dec " + std::to_string(blocks) + " blk lanes",
                           b * blocks,
                           OursCbcMessage(*cls, true, buf),
                           {},
                           "beside our portable path"};
      k.peers.push_back(OursPortable(OursCbcMessage(*cls, true, buf)));
      cases.push_back(std::move(k));
    }
  return cases;
}

// Processor time of this thread in seconds: unlike the wall clock it leaves out the time the
// thread waits while another program has the processor, which a pinned benchmark shares with
// whatever else the machine runs there.
double ThreadSeconds() {
  timespec t{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// The interleaved measurement of bench_report.h (batches of each contender in a rotating order,
// round after round; the medians of the rates and of the per-round ratios to the best peer),
// timed in the thread's processor time.
struct ShortResult {
  double ours = -1, peer = -1, ratio = -1;  // MB/s, MB/s of the best peer, median ratio
  std::string peerName;
};
ShortResult MeasureShort(const bench_report::Case& c, const bench_report::Options& o) {
  std::vector<const bench_report::Contender*> all{&c.ours};
  for (const auto& p : c.peers) all.push_back(&p);
  auto time = [](const bench_report::Contender& k, std::int64_t n) {
    const double t0 = ThreadSeconds();
    for (std::int64_t i = 0; i < n; ++i) k.run();
    return ThreadSeconds() - t0;
  };
  std::vector<std::int64_t> count(all.size());
  for (std::size_t i = 0; i < all.size(); ++i) {
    all[i]->run();
    std::int64_t n = 1;
    double t = time(*all[i], n);
    while (t < o.batchSeconds / 8) t = time(*all[i], n *= 4);
    count[i] = std::max<std::int64_t>(1, std::int64_t(double(n) * o.batchSeconds / std::max(t, 1e-9)));
  }
  std::vector<std::vector<double>> rates(all.size());
  for (int r = 0; r < o.rounds; ++r)
    for (std::size_t k = 0; k < all.size(); ++k) {
      const std::size_t i = (k + std::size_t(r)) % all.size();
      rates[i].push_back(double(count[i]) * double(c.bytes) / time(*all[i], count[i]) / 1e6);
    }
  ShortResult res;
  res.ours = Median(rates[0]);
  std::size_t best = 0;
  for (std::size_t i = 1; i < all.size(); ++i)
    if (best == 0 || Median(rates[i]) > Median(rates[best])) best = i;
  if (best != 0) {
    std::vector<double> ratios;
    for (int r = 0; r < o.rounds; ++r) ratios.push_back(rates[0][std::size_t(r)] / rates[best][std::size_t(r)]);
    res.peer = Median(rates[best]);
    res.ratio = Median(ratios);
    res.peerName = all[best]->name;
  }
  return res;
}

// Runs the short-message cases that pass the filter in `processes` child processes one after the
// other and prints the table of the medians over the processes.
int RunShortMessages(const bench_report::Options& o, int processes) {
  const std::vector<bench_report::Case> cases = ShortCases();
  std::vector<std::size_t> chosen;
  for (std::size_t i = 0; i < cases.size(); ++i)
    if (o.filter.empty() || cases[i].name.find(o.filter) != std::string::npos) chosen.push_back(i);
  if (chosen.empty()) return 0;
  // Per case: each process's ns per message of ours and of its best peer, its ratio, the peer's name.
  struct Figures {
    std::vector<double> ours, peer, ratio;
    std::map<std::string, int> bestPeer;
  };
  std::vector<Figures> figures(cases.size());
  std::fprintf(stderr, "short messages: %d processes of %zu cases\n", processes, chosen.size());
  for (int proc = 0; proc < processes; ++proc) {
    int fds[2];
    if (::pipe(fds) != 0) return std::perror("pipe"), 1;
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) return std::perror("fork"), 1;
    if (pid == 0) {
      ::close(fds[0]);
      FILE* out = ::fdopen(fds[1], "w");
      if (out == nullptr) ::_exit(1);
      // A stretch of untimed work first brings the processor to its working clock, so that the
      // first case is not measured on the way up.
      const auto warmEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
      while (std::chrono::steady_clock::now() < warmEnd) {
        cases[chosen.front()].ours.run();
        for (const auto& p : cases[chosen.front()].peers) p.run();
      }
      for (std::size_t i : chosen) {
        const ShortResult r = MeasureShort(cases[i], o);
        const double ours = double(cases[i].bytes) * 1e3 / r.ours;  // ns per message
        const double peer = r.peer < 0 ? -1 : double(cases[i].bytes) * 1e3 / r.peer;
        std::fprintf(out, "%zu %.3f %.3f %.5f %s\n", i, ours, peer, r.ratio,
                     r.peer < 0 ? "-" : r.peerName.c_str());
        std::fflush(out);
      }
      std::fclose(out);
      ::_exit(0);
    }
    ::close(fds[1]);
    FILE* in = ::fdopen(fds[0], "r");
    if (in == nullptr) return 1;
    char line[512];
    while (std::fgets(line, sizeof line, in)) {
      std::size_t i = 0;
      double ours = 0, peer = 0, ratio = 0;
      char name[256] = "";
      if (std::sscanf(line, "%zu %lf %lf %lf %255[^\n]", &i, &ours, &peer, &ratio, name) != 5 || i >= cases.size())
        continue;
      figures[i].ours.push_back(ours);
      if (peer > 0) {
        figures[i].peer.push_back(peer);
        figures[i].ratio.push_back(ratio);
        ++figures[i].bestPeer[name];
      }
    }
    std::fclose(in);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::fprintf(stderr, "a child process failed\n"), 1;
    std::fprintf(stderr, "  process %d of %d done, load %s\n", proc + 1, processes, LoadAverage().c_str());
  }
  std::printf(
      "\nShort messages (the chain reset for each): ns per message of processor time, median over %d\n"
      "processes, each the median of %d interleaved batches of %.0f ms; ratio = median over the processes of ours / best peer\n"
      "(> 1: ours faster), the lowest and highest of the processes beside it. \"ref:\" is not counted.\n",
      processes, o.rounds, o.batchSeconds * 1000);
  std::printf("%-22s %10s %10s  %-19s %7s  %-13s %s\n", "case", "ours ns", "peer ns", "(best peer)", "ratio",
              "(low-high)", "note");
  int compared = 0, below1 = 0, below095 = 0;
  std::string belowNames;
  for (std::size_t i : chosen) {
    const Figures& f = figures[i];
    std::string peerName = "-";
    int wins = 0;
    for (const auto& [name, count] : f.bestPeer)
      if (count > wins) peerName = name, wins = count;
    const double ratio = f.ratio.empty() ? -1 : Median(f.ratio);
    char spread[32] = "";
    if (!f.ratio.empty())
      std::snprintf(spread, sizeof spread, "(%.2f-%.2f)", *std::min_element(f.ratio.begin(), f.ratio.end()),
                    *std::max_element(f.ratio.begin(), f.ratio.end()));
    std::printf("%-22s %10.1f %10.1f  %-19s %7.2f  %-13s %s\n", cases[i].name.c_str(), Median(f.ours),
                f.peer.empty() ? -1.0 : Median(f.peer), peerName.c_str(), ratio, spread, cases[i].note.c_str());
    if (ratio < 0 || peerName.rfind("ref:", 0) == 0) continue;
    ++compared;
    if (ratio < 1.0) {
      ++below1;
      char cell[64];
      std::snprintf(cell, sizeof cell, "%s%s %.2f", belowNames.empty() ? "" : ", ", cases[i].name.c_str(), ratio);
      belowNames += cell;
    }
    below095 += ratio < 0.95;
  }
  std::printf("%d short cases with a peer: %d below 1.00, %d below 0.95%s%s\n", compared, below1, below095,
              belowNames.empty() ? "" : ": ", belowNames.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // This program's own options; the rest goes to Google Benchmark (the 64 KiB table).
  bench_report::Options shortOptions;
  shortOptions.rounds = 11;
  shortOptions.batchSeconds = 0.005;
  int processes = 5;
  bool runShort = true, runLong = true;
  std::vector<char*> rest{argv[0]};
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind("--processes=", 0) == 0) {
      processes = std::max(1, std::atoi(a.c_str() + 12));
    } else if (a.rfind("--rounds=", 0) == 0) {
      shortOptions.rounds = std::max(1, std::atoi(a.c_str() + 9));
    } else if (a.rfind("--batch-ms=", 0) == 0) {
      shortOptions.batchSeconds = std::max(1, std::atoi(a.c_str() + 11)) / 1000.0;
    } else if (a.rfind("--filter=", 0) == 0) {
      shortOptions.filter = a.substr(9);
    } else if (a == "--short-only") {
      runLong = false;
    } else if (a == "--long-only") {
      runShort = false;
    } else {
      rest.push_back(argv[i]);
    }
  }
  int restCount = int(rest.size());
  benchmark::Initialize(&restCount, rest.data());
  if (benchmark::ReportUnrecognizedArguments(restCount, rest.data())) return 1;
  corvane::StartCipherLibrary();
  const std::string loadBefore = LoadAverage();
  if (runShort) {
    std::printf("== short messages, load before: %s\n", loadBefore.c_str());
    if (const int rc = RunShortMessages(shortOptions, processes); rc != 0) return rc;
    std::printf("== load after the short messages: %s\n", LoadAverage().c_str());
  }
  if (!runLong) return 0;
  static const std::vector<Entry> entries = Entries();
  int registered = 0;
  for (const Entry& e : entries)
    for (Mode mode : {Mode::ECB, Mode::CBC, Mode::CTS, Mode::CFB8})
      for (bool decrypt : {false, true}) {
        const std::string name = e.name + "/" + ModeName(mode) + (decrypt ? "/decrypt" : "/encrypt");
        if (!shortOptions.filter.empty() && name.find(shortOptions.filter) == std::string::npos) continue;
        benchmark::RegisterBenchmark(name.c_str(),
                                     [&e, mode, decrypt](benchmark::State& s) { RunCase(s, e, mode, decrypt); })
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
        ++registered;
      }
  if (registered == 0) return 0;
  const std::string loadLong = LoadAverage();
  benchmark::RunSpecifiedBenchmarks();
  PrintTable(loadLong);
  benchmark::Shutdown();
  return 0;
}
