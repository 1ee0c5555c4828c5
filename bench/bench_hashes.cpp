// Throughput of every registered hash and checksum beside the best independent implementations
// of the same function, 64 KiB per operation (a whole Start/Update/Finish). Peers: Crypto++ (with
// its SHA-instruction path where the processor has one), Botan 2, RHash, mhash, and zlib for
// CRC-32. Ours and the peers of a case run interleaved in short batches (bench_report.h) and the
// ratio table gives ours / best peer. With --portable every processor-specific path is off, ours
// and the peers', so the table compares portable code.
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
#include <string>
#include <vector>

#include "bench_report.h"
#include "cipher/hash.h"
#include "cipher/support.h"

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

const std::vector<std::uint8_t>& Buffer() {
  static const std::vector<std::uint8_t> data = [] {
    std::vector<std::uint8_t> d(kSize);
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

Contender Ours(const corvane::HashClassInfo& cls) {
  std::shared_ptr<corvane::THash> h(corvane::CreateHash(cls));
  return {"ours", [h] {
            h->Start();
            h->Update(Buffer().data(), kSize);
            h->Finish();
            gSink = h->DigestBytes()[0];
          }};
}

template <class H>
Contender CryptoPP(std::string name = "Crypto++") {
  auto h = std::make_shared<H>();
  return {name, [h] {
            std::uint8_t d[H::DIGESTSIZE];
            h->CalculateDigest(d, Buffer().data(), kSize);
            gSink = d[0];
          }};
}

Contender Botan(const std::string& algo) {
  std::shared_ptr<Botan::HashFunction> h(Botan::HashFunction::create_or_throw(algo));
  return {"Botan", [h] {
            std::uint8_t d[64];
            h->update(Buffer().data(), kSize);
            h->final(d);
            gSink = d[0];
          }};
}

Contender Rhash(unsigned id) {
  return {"RHash", [id] {
            std::uint8_t d[64];
            rhash_msg(id, Buffer().data(), kSize, d);
            gSink = d[0];
          }};
}

Contender Mhash(hashid id) {
  return {"mhash", [id] {
            std::uint8_t d[64];
            MHASH m = mhash_init(id);
            mhash(m, Buffer().data(), mutils_word32(kSize));
            mhash_deinit(m, d);
            gSink = d[0];
          }};
}

Contender MhashHaval(int bits, int passes) {
  return {"mhash", [bits, passes] {
            alignas(16) std::uint8_t context[1024];
            std::uint8_t d[32];
            havalInit(context, passes, bits);
            havalUpdate(context, Buffer().data(), std::uint32_t(kSize));
            havalFinal(context, d);
            gSink = d[0];
          }};
}

Contender Zlib() {
  return {"zlib", [] { gSink = std::uint8_t(crc32(0, Buffer().data(), uInt(kSize))); }};
}

Contender Ref(Contender c) {
  c.name = "ref:" + c.name;
  return c;
}

// The peers of each registered class, by class name.
std::map<std::string, std::vector<Contender>> Peers() {
  using namespace CryptoPP;
  std::map<std::string, std::vector<Contender>> p;
  p["THash_MD4"] = {CryptoPP<Weak::MD4>(), Botan("MD4"), Rhash(RHASH_MD4), Mhash(MHASH_MD4)};
  p["THash_MD5"] = {CryptoPP<Weak::MD5>(), Botan("MD5"), Rhash(RHASH_MD5), Mhash(MHASH_MD5)};
  p["THash_SHA1"] = {CryptoPP<SHA1>(), Botan("SHA-160"), Rhash(RHASH_SHA1), Mhash(MHASH_SHA1)};
  p["THash_SHA"] = {Ref(CryptoPP<SHA1>()), Ref(Botan("SHA-160")), Ref(Rhash(RHASH_SHA1))};
  p["THash_RipeMD128"] = {CryptoPP<RIPEMD128>(), Mhash(MHASH_RIPEMD128)};
  p["THash_RipeMD160"] = {CryptoPP<RIPEMD160>(), Botan("RIPEMD-160"), Rhash(RHASH_RIPEMD160), Mhash(MHASH_RIPEMD160)};
  p["THash_RipeMD256"] = {CryptoPP<RIPEMD256>(), Mhash(MHASH_RIPEMD256)};
  p["THash_RipeMD320"] = {CryptoPP<RIPEMD320>(), Mhash(MHASH_RIPEMD320)};
  p["THash_Haval128"] = {MhashHaval(128, 3)};
  p["THash_Haval160"] = {MhashHaval(160, 3)};
  p["THash_Haval192"] = {MhashHaval(192, 4)};
  p["THash_Haval224"] = {MhashHaval(224, 4)};
  p["THash_Haval256"] = {MhashHaval(256, 5)};
  p["THash_Snefru"] = {Rhash(RHASH_SNEFRU256), Mhash(MHASH_SNEFRU256)};
  p["THash_Tiger"] = {CryptoPP<Tiger>(), Botan("Tiger"), Rhash(RHASH_TIGER), Mhash(MHASH_TIGER192)};
  p["THash_CRC32"] = {Zlib(), CryptoPP<CRC32>(), Botan("CRC32"), Rhash(RHASH_CRC32), Mhash(MHASH_CRC32B)};
  p["THash_CRC16_CCITT"] = {Ref(Zlib())};
  p["Thash_CRC16_Standard"] = {Ref(Zlib())};
  return p;
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
  if (options.portable) {
    corvane::SetCpuFeaturesEnabled(0);
#if CRYPTOPP_BOOL_X86 || CRYPTOPP_BOOL_X64
    (void)CryptoPP::HasSHA();  // detection first, so that it does not undo the switch
    CryptoPP::g_hasSHA = false;
    CryptoPP::g_hasCLMUL = false;
#endif
    Botan::CPUID::clear_cpuid_bit(Botan::CPUID::CPUID_SHA_BIT);
    Botan::CPUID::clear_cpuid_bit(Botan::CPUID::CPUID_CLMUL_BIT);
  }
  auto peers = Peers();
  std::vector<Case> cases;
  for (const corvane::HashClassInfo* cls : corvane::HashClasses()) {
    Case c;
    c.name = corvane::HashClassName(cls);
    c.bytes = kSize;
    c.ours = Ours(*cls);
    if (auto it = peers.find(cls->name); it != peers.end()) c.peers = it->second;
    c.note = Note(cls->name);
    if (c.peers.empty() && c.note.empty()) c.note = "no peer has this function";
    cases.push_back(std::move(c));
  }
  const unsigned features = corvane::CpuFeaturesEnabled();
  std::printf("processor paths in use: %s%s%s%s\n", features & corvane::kCpuSha ? "sha " : "",
              features & corvane::kCpuPclmul ? "pclmul " : "", features ? "" : "portable only",
              options.portable ? " (--portable: the peers' SHA and carry-less multiply paths off too)" : "");
  bench_report::RunAndReport(cases, options, "Hashes and checksums, 64 KiB per operation");
  return 0;
}
