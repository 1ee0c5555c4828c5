// Throughput of every registered hash and checksum beside the best independent implementations
// of the same function, 64 KiB per operation (a whole Start/Update/Finish, one message per call
// as a real caller hashes it); then SHA-1, MD5, RIPEMD-160 and CRC-32 from 16 bytes to 1 MiB per
// message. Peers: Crypto++ (with its SHA-instruction path where the processor has one), Botan 2,
// RHash, mhash, and zlib for CRC-32. Ours and the peers of a case run interleaved in short
// batches (bench_report.h), in several processes one after the other, and the ratio table gives
// ours / best peer. With --portable every processor-specific path is off, ours and the peers',
// so the table compares portable code.
//
// Where no library has the same function, a case has no peer, or a reference that does the
// same work marked "ref:" (SHA: the SHA-1 peers, whose steps are the same; CRC-16: the CRC-32
// peers), and the ratio is left out of the count below 1.0.
#include <botan/cpuid.h>
#include <botan/hash.h>
#include <mhash.h>
#include <rhash.h>
#include <zlib.h>

#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1
#include <cryptopp/cpu.h>
#include <cryptopp/crc.h>
#include <cryptopp/md4.h>
#include <cryptopp/md5.h>
#include <cryptopp/ripemd.h>
#include <cryptopp/sha.h>
#include <cryptopp/tiger.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench_report.h"
#include "cipher/base/hash.h"
#include "cipher/base/support.h"
#include "cipher/cpu/features.h"

extern "C" {
// mhash's HAVAL with an explicit pass count (its public ids fix the passes per size).
int havalInit(void* context, int passes, int hashLength);
int havalUpdate(void* context, const std::uint8_t* data, std::uint32_t length);
int havalFinal(void* context, std::uint8_t* digest);
}

namespace {

using bench_report::Case;
using bench_report::Contender;

constexpr std::size_t kSize = 64 * 1024;
// The message sizes of the second table.
constexpr std::size_t kSizes[] = {16, 64, 1024, 64 * 1024, 1024 * 1024};

const std::vector<std::uint8_t>& Buffer() {
  static const std::vector<std::uint8_t> data = [] {
    std::vector<std::uint8_t> d(1024 * 1024);
    std::uint32_t x = 0x12345678u;
    for (auto& v : d) {
      x = x * 1103515245u + 12345u;
      v = std::uint8_t(x >> 24);
    }
    return d;
  }();
  return data;
}

volatile std::uint8_t gSink;

// Each contender hashes the first n bytes of the buffer as one message.
Contender Ours(const corvane::HashClassInfo& cls, std::size_t n) {
  std::shared_ptr<corvane::THash> h(corvane::CreateHash(cls));
  return {"ours", [h, n] {
            h->Start();
            h->Update(Buffer().data(), n);
            h->Finish();
            gSink = h->DigestBytes()[0];
          }};
}

template <class H>
Contender CryptoPP(std::size_t n) {
  auto h = std::make_shared<H>();
  return {"Crypto++", [h, n] {
            std::uint8_t d[H::DIGESTSIZE];
            h->CalculateDigest(d, Buffer().data(), n);
            gSink = d[0];
          }};
}

Contender Botan(const std::string& algo, std::size_t n) {
  std::shared_ptr<Botan::HashFunction> h(Botan::HashFunction::create_or_throw(algo));
  return {"Botan", [h, n] {
            std::uint8_t d[64];
            h->update(Buffer().data(), n);
            h->final(d);
            gSink = d[0];
          }};
}

Contender Rhash(unsigned id, std::size_t n) {
  return {"RHash", [id, n] {
            std::uint8_t d[64];
            rhash_msg(id, Buffer().data(), n, d);
            gSink = d[0];
          }};
}

Contender Mhash(hashid id, std::size_t n) {
  return {"mhash", [id, n] {
            std::uint8_t d[64];
            MHASH m = mhash_init(id);
            mhash(m, Buffer().data(), mutils_word32(n));
            mhash_deinit(m, d);
            gSink = d[0];
          }};
}

Contender MhashHaval(int bits, int passes, std::size_t n) {
  return {"mhash", [bits, passes, n] {
            alignas(16) std::uint8_t context[1024];
            std::uint8_t d[32];
            havalInit(context, passes, bits);
            havalUpdate(context, Buffer().data(), std::uint32_t(n));
            havalFinal(context, d);
            gSink = d[0];
          }};
}

Contender Zlib(std::size_t n) {
  return {"zlib", [n] { gSink = std::uint8_t(crc32(0, Buffer().data(), uInt(n))); }};
}

Contender Ref(Contender c) {
  c.name = "ref:" + c.name;
  return c;
}

// The peers of each registered class, by class name, for messages of n bytes.
std::map<std::string, std::vector<Contender>> Peers(std::size_t n) {
  using namespace CryptoPP;
  std::map<std::string, std::vector<Contender>> p;
  p["THash_MD4"] = {CryptoPP<Weak::MD4>(n), Botan("MD4", n), Rhash(RHASH_MD4, n), Mhash(MHASH_MD4, n)};
  p["THash_MD5"] = {CryptoPP<Weak::MD5>(n), Botan("MD5", n), Rhash(RHASH_MD5, n), Mhash(MHASH_MD5, n)};
  p["THash_SHA1"] = {CryptoPP<SHA1>(n), Botan("SHA-160", n), Rhash(RHASH_SHA1, n), Mhash(MHASH_SHA1, n)};
  p["THash_SHA"] = {Ref(CryptoPP<SHA1>(n)), Ref(Botan("SHA-160", n)), Ref(Rhash(RHASH_SHA1, n))};
  p["THash_RipeMD128"] = {CryptoPP<RIPEMD128>(n), Mhash(MHASH_RIPEMD128, n)};
  p["THash_RipeMD160"] = {CryptoPP<RIPEMD160>(n), Botan("RIPEMD-160", n), Rhash(RHASH_RIPEMD160, n),
                          Mhash(MHASH_RIPEMD160, n)};
  p["THash_RipeMD256"] = {CryptoPP<RIPEMD256>(n), Mhash(MHASH_RIPEMD256, n)};
  p["THash_RipeMD320"] = {CryptoPP<RIPEMD320>(n), Mhash(MHASH_RIPEMD320, n)};
  p["THash_Haval128"] = {MhashHaval(128, 3, n)};
  p["THash_Haval160"] = {MhashHaval(160, 3, n)};
  p["THash_Haval192"] = {MhashHaval(192, 4, n)};
  p["THash_Haval224"] = {MhashHaval(224, 4, n)};
  p["THash_Haval256"] = {MhashHaval(256, 5, n)};
  p["THash_Snefru"] = {Rhash(RHASH_SNEFRU256, n), Mhash(MHASH_SNEFRU256, n)};
  p["THash_Tiger"] = {CryptoPP<Tiger>(n), Botan("Tiger", n), Rhash(RHASH_TIGER, n), Mhash(MHASH_TIGER192, n)};
  p["THash_CRC32"] = {Zlib(n), CryptoPP<CRC32>(n), Botan("CRC32", n), Rhash(RHASH_CRC32, n),
                      Mhash(MHASH_CRC32B, n)};
  p["THash_CRC16_CCITT"] = {Ref(Zlib(n))};
  p["Thash_CRC16_Standard"] = {Ref(Zlib(n))};
  return p;
}

// "16 B", "1 KiB", "1 MiB".
std::string SizeText(std::size_t n) {
  if (n >= 1024 * 1024) return std::to_string(n / (1024 * 1024)) + " MiB";
  if (n >= 1024) return std::to_string(n / 1024) + " KiB";
  return std::to_string(n) + " B";
}

std::string Note(const std::string& cls) {
  if (cls == "THash_Snefru") return "the peers' Snefru-256 differs in word order and padding, same work";
  if (cls == "THash_SHA") return "no library has SHA-0";
  if (cls.find("CRC16") != std::string::npos) return "no library has this CRC-16; ref is CRC-32";
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  bench_report::Options options;
  if (!bench_report::ParseOptions(argc, argv, options)) return 2;
  rhash_library_init();
  corvane::StartCipherLibrary();
  std::optional<corvane::ScopedCpuFeatures> portable;
  if (options.portable) {
    portable.emplace(0u);
#if CRYPTOPP_BOOL_X86 || CRYPTOPP_BOOL_X64
    (void)CryptoPP::HasSHA();  // detection first, so that it does not undo the switch
    CryptoPP::g_hasSHA = false;
    CryptoPP::g_hasCLMUL = false;
#endif
    Botan::CPUID::clear_cpuid_bit(Botan::CPUID::CPUID_SHA_BIT);
    Botan::CPUID::clear_cpuid_bit(Botan::CPUID::CPUID_CLMUL_BIT);
  }
  bench_report::Table whole{"Hashes and checksums, 64 KiB per operation", {}};
  auto peers = Peers(kSize);
  for (const corvane::HashClassInfo* cls : corvane::HashClasses()) {
    Case c;
    c.name = corvane::HashClassName(cls);
    c.bytes = kSize;
    c.ours = Ours(*cls, kSize);
    if (auto it = peers.find(cls->name); it != peers.end()) c.peers = it->second;
    c.note = Note(cls->name);
    if (c.peers.empty() && c.note.empty()) c.note = "no peer has this function";
    whole.cases.push_back(std::move(c));
  }
  // The hashes a caller meets most, one message of each size per operation.
  bench_report::Table bySize{"SHA-1, MD5, RIPEMD-160 and CRC-32 by message size, one message per operation", {}};
  for (const char* name : {"THash_SHA1", "THash_MD5", "THash_RipeMD160", "THash_CRC32"})
    for (const std::size_t n : kSizes) {
      const corvane::HashClassInfo* cls = corvane::FindHashClass(name);
      Case c;
      c.name = std::string(name + 6) + " " + SizeText(n);
      c.bytes = n;
      c.ours = Ours(*cls, n);
      c.peers = Peers(n)[name];
      bySize.cases.push_back(std::move(c));
    }
  const unsigned features = corvane::CpuFeaturesEnabled();
  if (!options.worker)
    std::printf("processor paths in use: %s%s%s%s\n", features & corvane::kCpuSha ? "sha " : "",
                features & corvane::kCpuPclmul ? "pclmul " : "",
                features & (corvane::kCpuSha | corvane::kCpuPclmul) ? "" : "portable only",
                options.portable ? " (--portable: the peers' SHA and carry-less multiply paths off too)" : "");
  bench_report::RunAndReport({whole, bySize}, options, argv);
  return 0;
}
