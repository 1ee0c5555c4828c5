// The hash registry after library start-up: all 28 classes in their fixed order, with display
// names, categories and digest sizes; lookups by short, class and display name; and every
// registered class reproducing its known answer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cipher/base/hash.h"
#include "cipher/base/support.h"

namespace {

using namespace corvane;

struct Expected {
  const char* className;
  const char* line;
  int digestSize;
};

const Expected kRegistry[] = {
    {"THash_MD4", "Message Digest 4=Hash", 16},
    {"THash_MD5", "Message Digest 5=Hash", 16},
    {"THash_SHA", "Secure Hash Algorithm=Hash", 20},
    {"THash_SHA1", "Secure Hash Algorithm 1=Hash", 20},
    {"THash_RipeMD128", "Ripe Message Digest 128=Hash", 16},
    {"THash_RipeMD160", "Ripe Message Digest 160=Hash", 20},
    {"THash_RipeMD256", "Ripe Message Digest 256=Hash", 32},
    {"THash_RipeMD320", "Ripe Message Digest 320=Hash", 40},
    {"THash_Haval128", "Haval-128=Hash", 16},
    {"THash_Haval160", "Haval-160=Hash", 20},
    {"THash_Haval192", "Haval-192=Hash", 24},
    {"THash_Haval224", "Haval-224=Hash", 28},
    {"THash_Haval256", "Haval-256=Hash", 32},
    {"THash_Sapphire128", "Sapphire II-128=Hash", 16},
    {"THash_Sapphire160", "Sapphire II-160=Hash", 20},
    {"THash_Sapphire192", "Sapphire II-192=Hash", 24},
    {"THash_Sapphire224", "Sapphire II-224=Hash", 28},
    {"THash_Sapphire256", "Sapphire II-256=Hash", 32},
    {"THash_Sapphire288", "Sapphire II-288=Hash", 36},
    {"THash_Sapphire320", "Sapphire II-320=Hash", 40},
    {"THash_Snefru", "Snefru-256=Hash", 32},
    {"THash_Square", "Square=Hash", 16},
    {"THash_Tiger", "Tiger=Hash", 24},
    {"THash_XOR16", "XOR-16=Checksum", 2},
    {"THash_XOR32", "XOR-32=Checksum", 4},
    {"THash_CRC16_CCITT", "CRC-16 CCITT=Checksum", 2},
    {"Thash_CRC16_Standard", "CRC-16 Standard=Checksum", 2},
    {"THash_CRC32", "CRC-32=Checksum", 4},
};

TEST(HashRegistry, OrderDisplayNamesCategoriesAndSizes) {
  const std::vector<std::string> lines = HashList();
  const std::vector<const HashClassInfo*> classes = HashClasses();
  ASSERT_EQ(lines.size(), std::size(kRegistry));
  ASSERT_EQ(classes.size(), std::size(kRegistry));
  for (std::size_t i = 0; i < std::size(kRegistry); ++i) {
    SCOPED_TRACE(kRegistry[i].className);
    EXPECT_EQ(lines[i], kRegistry[i].line);
    EXPECT_STREQ(classes[i]->name, kRegistry[i].className);
    EXPECT_EQ(classes[i]->digestSize, kRegistry[i].digestSize);
    const bool checksum = std::string(kRegistry[i].line).ends_with("=Checksum");
    EXPECT_EQ(InheritsFrom(classes[i], TChecksum::StaticClass()), checksum);
  }
  EXPECT_EQ(lines.front(), "Message Digest 4=Hash");
}

TEST(HashRegistry, EveryClassReproducesItsKnownAnswer) {
  const auto input = SharedTestInput();
  for (const HashClassInfo* cls : HashClasses()) {
    SCOPED_TRACE(cls->name);
    auto h = CreateHash(*cls);
    h->Start();
    h->Update(input.data(), input.size());
    h->Finish();
    ASSERT_NE(cls->knownAnswer, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(h->DigestBytes()), std::size_t(cls->digestSize)),
              std::string(reinterpret_cast<const char*>(cls->knownAnswer), std::size_t(cls->digestSize)));
  }
}

// A negative length passed to Update or to the processing entry points takes nothing: the
// digest stays that of the input before, and the buffer is neither read past nor written.
TEST(HashRegistry, NegativeLengthsTakeNothing) {
  const auto input = SharedTestInput();
  for (const HashClassInfo* cls : HashClasses()) {
    SCOPED_TRACE(cls->name);
    auto h = CreateHash(*cls);
    std::uint8_t small[3] = {7, 8, 9};
    h->Start();
    h->Update(input.data(), 16);
    h->Update(small, -1);
    h->Update(small, -64);
    h->Update(input.data() + 16, 16);
    h->Finish();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(h->DigestBytes()), std::size_t(cls->digestSize)),
              std::string(reinterpret_cast<const char*>(cls->knownAnswer), std::size_t(cls->digestSize)));
    for (auto action : {TProtectionAction::Encrypt, TProtectionAction::Obscure, TProtectionAction::Digest}) {
      EXPECT_EQ(h->ProcessBuffer(small, std::size_t(-1), action), 0u);
      EXPECT_EQ(small[0] + small[1] + small[2], 24);
    }
  }
}

TEST(HashRegistry, LookupsOfTheFamilyNames) {
  struct Case {
    const char* name;
    const char* className;  // nullptr: nothing found
  };
  const Case cases[] = {
      {"Tiger", "THash_Tiger"},
      {"tiger", "THash_Tiger"},
      {"THash_Haval224", "THash_Haval224"},
      {"Haval-224", "THash_Haval224"},
      {"sapphire ii-288", "THash_Sapphire288"},
      {"Snefru-256", "THash_Snefru"},
      {"Snefru", "THash_Snefru"},
      {"THash_CRC16_CCITT", "THash_CRC16_CCITT"},
      {"CRC16_CCITT", nullptr},  // reduced to CCITT
      {"Thash_CRC16_Standard", "Thash_CRC16_Standard"},
      {"CRC-16 Standard", "Thash_CRC16_Standard"},
      {"crc-32", "THash_CRC32"},
      {"XOR32", "THash_XOR32"},
      {"Haval", nullptr},
  };
  for (const Case& c : cases) {
    const HashClassInfo* found = FindHashClass(c.name);
    if (c.className == nullptr) {
      EXPECT_EQ(found, nullptr) << c.name;
    } else {
      ASSERT_NE(found, nullptr) << c.name;
      EXPECT_STREQ(found->name, c.className) << c.name;
    }
  }
  const HashClassInfo* standard = FindHashClass("Thash_CRC16_Standard");
  ASSERT_NE(standard, nullptr);
  EXPECT_EQ(HashClassName(standard), "CRC-16 Standard");
}

}  // namespace
