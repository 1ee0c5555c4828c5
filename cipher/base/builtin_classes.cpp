// The library's built-in hash and cipher classes, registered once at start-up in this order.
#include "cipher/base/cipher.h"
#include "cipher/base/hash.h"

#include "cipher/hashes/md4_family.h"
#include "cipher/hashes/haval.h"
#include "cipher/hashes/sapphire.h"
#include "cipher/hashes/snefru.h"
#include "cipher/ciphers/square.h"
#include "cipher/hashes/tiger.h"
#include "cipher/checksums/checksums.h"
#include "cipher/ciphers/three_way.h"
#include "cipher/ciphers/blowfish.h"
#include "cipher/ciphers/gost.h"
#include "cipher/ciphers/idea.h"
#include "cipher/ciphers/q128.h"
#include "cipher/ciphers/safer.h"
#include "cipher/ciphers/scop.h"
#include "cipher/ciphers/shark.h"
#include "cipher/ciphers/tea.h"
#include "cipher/ciphers/twofish.h"

namespace corvane {

void RegisterBuiltinHashes() {
  struct Entry {
    const HashClassInfo* cls;
    const char* name;
    const char* category;
  };
  const Entry entries[] = {
      {&THash_MD4::StaticClass(), "Message Digest 4", "Hash"},
      {&THash_MD5::StaticClass(), "Message Digest 5", "Hash"},
      {&THash_SHA::StaticClass(), "Secure Hash Algorithm", "Hash"},
      {&THash_SHA1::StaticClass(), "Secure Hash Algorithm 1", "Hash"},
      {&THash_RipeMD128::StaticClass(), "Ripe Message Digest 128", "Hash"},
      {&THash_RipeMD160::StaticClass(), "Ripe Message Digest 160", "Hash"},
      {&THash_RipeMD256::StaticClass(), "Ripe Message Digest 256", "Hash"},
      {&THash_RipeMD320::StaticClass(), "Ripe Message Digest 320", "Hash"},
      {&THash_Haval128::StaticClass(), "Haval-128", "Hash"},
      {&THash_Haval160::StaticClass(), "Haval-160", "Hash"},
      {&THash_Haval192::StaticClass(), "Haval-192", "Hash"},
      {&THash_Haval224::StaticClass(), "Haval-224", "Hash"},
      {&THash_Haval256::StaticClass(), "Haval-256", "Hash"},
      {&THash_Sapphire128::StaticClass(), "Sapphire II-128", "Hash"},
      {&THash_Sapphire160::StaticClass(), "Sapphire II-160", "Hash"},
      {&THash_Sapphire192::StaticClass(), "Sapphire II-192", "Hash"},
      {&THash_Sapphire224::StaticClass(), "Sapphire II-224", "Hash"},
      {&THash_Sapphire256::StaticClass(), "Sapphire II-256", "Hash"},
      {&THash_Sapphire288::StaticClass(), "Sapphire II-288", "Hash"},
      {&THash_Sapphire320::StaticClass(), "Sapphire II-320", "Hash"},
      {&THash_Snefru::StaticClass(), "Snefru-256", "Hash"},
      {&THash_Square::StaticClass(), "Square", "Hash"},
      {&THash_Tiger::StaticClass(), "Tiger", "Hash"},
      {&THash_XOR16::StaticClass(), "XOR-16", "Checksum"},
      {&THash_XOR32::StaticClass(), "XOR-32", "Checksum"},
      {&THash_CRC16_CCITT::StaticClass(), "CRC-16 CCITT", "Checksum"},
      {&Thash_CRC16_Standard::StaticClass(), "CRC-16 Standard", "Checksum"},
      {&THash_CRC32::StaticClass(), "CRC-32", "Checksum"},
  };
  for (const auto& e : entries) RegisterHash(e.cls, e.name, e.category);
}

void RegisterBuiltinCiphers() {
  struct Entry {
    const CipherClassInfo* cls;
    const char* name;
    const char* description;
  };
  const Entry entries[] = {
      {&TCipher_3Way::StaticClass(), "", ""},
      {&TCipher_Blowfish::StaticClass(), "", ""},
      {&TCipher_Gost::StaticClass(), "", ""},
      {&TCipher_IDEA::StaticClass(), "", "free for non-commercial"},
      {&TCipher_Q128::StaticClass(), "", ""},
      {&TCipher_SAFER_K40::StaticClass(), "SAFER-K40", ""},
      {&TCipher_SAFER_SK40::StaticClass(), "SAFER-SK40", "Keyscheduling"},
      {&TCipher_SAFER_K64::StaticClass(), "SAFER-K64", ""},
      {&TCipher_SAFER_SK64::StaticClass(), "SAFER-SK64", "Keyscheduling"},
      {&TCipher_SAFER_K128::StaticClass(), "SAFER-K128", ""},
      {&TCipher_SAFER_SK128::StaticClass(), "SAFER-SK128", "Keyscheduling"},
      {&TCipher_SCOP::StaticClass(), "", ""},
      {&TCipher_Shark::StaticClass(), "", ""},
      {&TCipher_Square::StaticClass(), "", ""},
      {&TCipher_TEA::StaticClass(), "TEA", ""},
      {&TCipher_TEAN::StaticClass(), "TEA extended", ""},
      {&TCipher_Twofish::StaticClass(), "", ""},
  };
  for (const auto& e : entries) RegisterCipher(e.cls, e.name, e.description);
}

const HashClassInfo& DefaultHashClass() { return THash_RipeMD256::StaticClass(); }

const CipherClassInfo& DefaultCipherClass() { return TCipher_Blowfish::StaticClass(); }

}  // namespace corvane
