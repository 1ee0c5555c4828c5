// String formats and the format registry: worked examples, decoder rules, exact messages, round
// trips over random byte runs, and MIME base64 / hexadecimal against Crypto++ as an independent
// implementation.
#include "cipher/formats/formats.h"

#include <gtest/gtest.h>

#include <cryptopp/base64.h>
#include <cryptopp/filters.h>
#include <cryptopp/hex.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace corvane {
namespace {

using namespace std::string_literals;

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

std::string RandomBytes(std::mt19937& rng, std::size_t n) {
  std::uniform_int_distribution<int> byte(0, 255);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(byte(rng));
  return s;
}

// Runs f and gives the EStringFormat message it raised; fails the test when nothing was raised.
std::string MessageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EStringFormat& e) {
    return e.what();
  }
  ADD_FAILURE() << "no EStringFormat raised";
  return {};
}

const std::vector<int> kAllIds = {kFormatCopy, kFormatHEX, kFormatHEXL, kFormatMIME64, kFormatUU, kFormatXX};

// ---- worked examples ------------------------------------------------------------------------------

struct EncodeCase {
  int id;
  std::string bytes;
  std::string text;
};

TEST(StringFormats, EncodesWorkedExamples) {
  const std::vector<EncodeCase> cases = {
      {kFormatCopy, "A\0\xFF"s, "A\0\xFF"s},
      {kFormatHEX, "ABC", "414243"},
      {kFormatHEXL, "ABC", "414243"},
      {kFormatHEX, "\xAF", "AF"},
      {kFormatHEXL, "\xAF", "af"},
      {kFormatHEX, Bytes({0x00, 0x0F, 0xF0, 0xFF}), "000FF0FF"},
      {kFormatMIME64, "A", "QQ=="},
      {kFormatMIME64, "AB", "QUI="},
      {kFormatMIME64, "ABC", "QUJD"},
      {kFormatDefault, "ABC", "QUJD"},
      {kFormatMIME64, Bytes({0xFB, 0xFF}), "+/8="},
      // UU agrees with the common uuencode using a backquote for zero (Python's binascii).
      {kFormatUU, "Cat", "#0V%T"},
      {kFormatXX, "Cat", "1Eq3o"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "id " << c.id << " text " << c.text);
    EXPECT_EQ(ConvertToText(c.bytes, c.id), c.text);
    EXPECT_EQ(ConvertFromText(c.text, c.id), c.bytes);
  }
}

TEST(StringFormats, UUMatchesIndependentEncoderOverSeveralLines) {
  // 200 bytes: 0..99 then 255 down to 156; lines of 45, 45, 45, 45 and 20 bytes, written without
  // line terminators. Expected text from Python's binascii.b2a_uu(backtick=True), per line.
  std::string data;
  for (int i = 0; i < 100; ++i) data.push_back(static_cast<char>(i));
  for (int i = 255; i > 155; --i) data.push_back(static_cast<char>(i));
  const std::string expected =
      "M``$\"`P0%!@<(\"0H+#`T.#Q`1$A,4%187&!D:&QP='A\\@(2(C)\"4F)R@I*BLLM+2XO,#$R,S0U-C<X.3H[/#T^"
      "/T!!0D-$149'2$E*2TQ-3D]045)35%565UA9M6EM<75Y?8&%B8__^_?S[^OGX]_;U]//R\\?#O[NWLZ^KIZ.?FY>3C"
      "XN'@W][=MW-O:V=C7UM74T]+1T,_.S<S+RLG(Q\\;%Q,/\"P<\"_OKV\\N[JYN+>VM;2SLK&P4KZZMK*NJJ:BGIJ6D"
      "HZ*AH)^>G9P`";
  EXPECT_EQ(ConvertToText(data, kFormatUU), expected);
  EXPECT_EQ(ConvertFromText(expected, kFormatUU), data);
}

TEST(StringFormats, XXIsUUWithItsOwnAlphabet) {
  // Symbol for symbol, the XX text is the UU text mapped through the two alphabets.
  const std::string_view uu = TStringFormat_UU::Alphabet().substr(0, 64);
  const std::string_view xx = TStringFormat_XX::Alphabet().substr(0, 64);
  std::mt19937 rng(7);
  for (std::size_t n : {1u, 2u, 3u, 44u, 45u, 46u, 90u, 91u, 200u}) {
    const std::string data = RandomBytes(rng, n);
    std::string mapped = ConvertToText(data, kFormatUU);
    for (auto& c : mapped) c = xx[uu.find(c)];
    EXPECT_EQ(ConvertToText(data, kFormatXX), mapped) << n;
  }
}

TEST(StringFormats, UUAndXXLineLayout) {
  const std::string line45(45, 'z');
  for (auto [id, first, one] : {std::tuple{kFormatUU, 'M', '!'}, std::tuple{kFormatXX, 'h', '-'}}) {
    SCOPED_TRACE(id);
    const std::string t45 = ConvertToText(line45, id);
    EXPECT_EQ(t45.size(), 61u);
    EXPECT_EQ(t45.front(), first);
    const std::string t46 = ConvertToText(line45 + "z", id);
    ASSERT_EQ(t46.size(), 61u + 5u);
    EXPECT_EQ(t46.substr(0, 61), t45);
    EXPECT_EQ(t46[61], one);  // the count symbol for 1, then four symbols
    EXPECT_EQ(t46.find_first_of("\r\n"), std::string::npos);
  }
}

struct DecodeCase {
  int id;
  std::string text;
  std::string bytes;
};

TEST(StringFormats, DecodesByTheFormatRules) {
  const std::vector<DecodeCase> cases = {
      // hexadecimal: separators skipped, both letter cases, X/$ restart once, lone digit dropped
      {kFormatHEX, "0x1F", "\x1F"},
      {kFormatHEX, "$1F", "\x1F"},
      {kFormatHEX, "1f", "\x1F"},
      {kFormatHEX, "1F h", "\x1F"},
      {kFormatHEX, "12 34", "\x12\x34"},
      {kFormatHEX, "0x0A", "\x0A"},
      {kFormatHEXL, "0x0A", "\x0A"},
      {kFormatHEXL, "1F", "\x1F"},
      {kFormatHEX, "ABC", "\xAB"},
      {kFormatHEX, "12X34", "\x34"},
      {kFormatHEX, "1X23", "\x23"},               // the pending nibble goes with the restart
      {kFormatHEX, "X12$34x56", "\x12\x34\x56"},  // only the first X or $ restarts
      // the first x restarts; the second is skipped and does not break the pair "0" "3"
      {kFormatHEX, "{0x12, 0x34}", "\x12\x03"},
      {kFormatHEX, "[de:ad-BE_EF]", "\xDE\xAD\xBE\xEF"},
      {kFormatHEX, "7", ""},
      // MIME base64: non-symbols dropped anywhere, missing padding added, every "=" shortens
      {kFormatMIME64, "QUJD\r\nREVG", "ABCDEF"},
      {kFormatMIME64, "QUI", "AB"},
      {kFormatMIME64, "QQ", "A"},
      {kFormatMIME64, "Q", ""},
      {kFormatMIME64, "====", ""},
      {kFormatMIME64, "QQ==QUI=", Bytes({0x41, 0x00, 0x00})},
      {kFormatMIME64, " Q U J D ", "ABC"},
      {kFormatMIME64, "(QUJD)", "ABC"},
      // UU and XX: non-symbols inside a line are skipped
      {kFormatUU, "#0V %T", "Cat"},
      {kFormatUU, "`", ""},  // an empty line
      {kFormatXX, "1Eq\r\n3o", "Cat"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "id " << c.id << " text " << c.text);
    EXPECT_EQ(ConvertFromText(c.text, c.id), c.bytes);
  }
}

TEST(StringFormats, LineDecodersNeverReadPastTheText) {
  // Texts that end inside a line: the missing symbols read as zero bits. "!!!" passes the
  // validity check (a count of 1 asks for two symbols), but the line's group wants four.
  ASSERT_TRUE(TStringFormat_UU::IsValid("!!!", true));
  EXPECT_EQ(ConvertFromText("!!!", kFormatUU), Bytes({0x04}));
  EXPECT_EQ(TStringFormat_UU::TextToBinary("#0V"), "C`\0"s);
  EXPECT_EQ(TStringFormat_XX::TextToBinary("1Eq"), "C`\0"s);
  EXPECT_EQ(TStringFormat_UU::TextToBinary("\""), "\0\0"s);
  // The decoder reads exactly the given length, not up to a terminator.
  const std::string text = "#0V%T#0V%T";
  EXPECT_EQ(TStringFormat_UU::TextToBinary(text.data(), 5), "Cat");
}

TEST(StringFormats, ValidityOfLineTexts) {
  struct Case {
    std::string text;
    bool valid;
  };
  const std::vector<Case> uu = {
      {"", true},         {"#0V%T", true},   {"#0V %T", true},
      {"!!!", true},      {"`", true},       {"!!", false},
      {"N", false},       {" #0V%T", false}, {"#0V%T\r\n#0V%T", false},
      {"#0V%T\n", false}, {"#0V~T", false},
  };
  for (const auto& c : uu) EXPECT_EQ(TStringFormat_UU::IsValid(c.text, true), c.valid) << c.text;
  EXPECT_TRUE(TStringFormat_XX::IsValid("1Eq3o", true));
  EXPECT_FALSE(TStringFormat_XX::IsValid("1Eq3o\r\n1Eq3o", true));
  EXPECT_FALSE(TStringFormat_XX::IsValid("i", true));  // position 46
  EXPECT_FALSE(TStringFormat_XX::IsValid("1Eq`o", true));
  // Bytes are always valid for every format.
  for (int id : kAllIds) EXPECT_TRUE(FindStringFormat(id)->IsValid("\x00\xFF."s, false)) << id;
}

TEST(StringFormats, ValidityOfHexAndMimeTexts) {
  EXPECT_TRUE(TStringFormat_HEX::IsValid("", true));
  EXPECT_TRUE(TStringFormat_HEX::IsValid("0x1f, $AB; {h} [\"'] \t\r\n/\\*+-_:", true));
  EXPECT_FALSE(TStringFormat_HEX::IsValid("g", true));
  EXPECT_FALSE(TStringFormat_HEX::IsValid("12.34", true));
  EXPECT_TRUE(TStringFormat_HEXL::IsValid("0X1F abcdef ABCDEF", true));
  EXPECT_FALSE(TStringFormat_HEXL::IsValid("G", true));
  EXPECT_TRUE(TStringFormat_MIME64::IsValid("QUJD\r\n$REVG==", true));
  EXPECT_FALSE(TStringFormat_MIME64::IsValid("QUJD.", true));
  EXPECT_FALSE(TStringFormat_MIME64::IsValid("QUJD\x80", true));
  EXPECT_TRUE(TStringFormat::IsValid("\x80 anything.", true));
}

// ---- messages and the rules around the conversions ----------------------------------------------

TEST(StringFormats, ExactErrorMessages) {
  EXPECT_EQ(MessageOf([] { ConvertFromText("QUJD.", kFormatMIME64); }),
            "Input is not an valid MIME Base 64 Format.");
  EXPECT_EQ(MessageOf([] { ConvertFromText("QUJD.", kFormatDefault); }),
            "Input is not an valid MIME Base 64 Format.");
  EXPECT_EQ(MessageOf([] { ConvertFromText("g", kFormatHEX); }), "Input is not an valid Hexadecimal Format.");
  EXPECT_EQ(MessageOf([] { ConvertFromText("g", kFormatHEXL); }),
            "Input is not an valid Hexadecimal lowercase Format.");
  EXPECT_EQ(MessageOf([] { ConvertFromText("#0V%T\r\n#0V%T", kFormatUU); }),
            "Input is not an valid UU Coding Format.");
  EXPECT_EQ(MessageOf([] { ConvertFromText("1Eq3o\r\n1Eq3o", kFormatXX); }),
            "Input is not an valid XX Coding Format.");
  // The line decoders check each count character themselves, without a prior validity check.
  EXPECT_EQ(MessageOf([] { TStringFormat_UU::TextToBinary("#0V%T\r\n#0V%T"); }),
            "Input is not an valid UU Coding Format.");
  EXPECT_EQ(MessageOf([] { TStringFormat_UU::TextToBinary("N"); }), "Input is not an valid UU Coding Format.");
  EXPECT_EQ(MessageOf([] { TStringFormat_XX::TextToBinary("i"); }), "Input is not an valid XX Coding Format.");
  EXPECT_EQ(MessageOf([] { ConvertToText("A", 7); }), "String Format \"7\" not exists.");
  EXPECT_EQ(MessageOf([] { ConvertFromText("A", -42); }), "String Format \"-42\" not exists.");
  EXPECT_EQ(MessageOf([] { ConvertFromText("A", 2147483647); }), "String Format \"2147483647\" not exists.");
}

TEST(StringFormats, EmptyInputOrIdZeroGivesEmptyWithoutCheck) {
  for (int id : {0, 7, kFormatDefault, kFormatHEX, kFormatUU}) {
    EXPECT_EQ(ConvertToText(std::string_view{}, id), "") << id;
    EXPECT_EQ(ConvertFromText(std::string_view{}, id), "") << id;
    EXPECT_EQ(ConvertToText(nullptr, 5, id), "") << id;
    EXPECT_EQ(ConvertFromText(nullptr, 5, id), "") << id;
  }
  EXPECT_EQ(ConvertFromText("not valid . anywhere", 0), "");
  EXPECT_EQ(ConvertToText("ABC", 0), "");
}

TEST(StringFormats, PointerFormsHonourLengthAndZeroTerminator) {
  const std::uint8_t data[] = {'A', 'B', 0, 'C'};
  EXPECT_EQ(ConvertToText(data, -1, kFormatHEX), "4142");
  EXPECT_EQ(ConvertToText(data, 4, kFormatHEX), "41420043");
  EXPECT_EQ(ConvertToText(data, 0, kFormatHEX), "");
  EXPECT_EQ(ConvertToText(std::span<const std::uint8_t>(data), kFormatHEX), "41420043");
  const char text[] = "QUJD\0REVG";
  EXPECT_EQ(ConvertFromText(text, -1, kFormatMIME64), "ABC");
  EXPECT_EQ(ConvertFromText(text, 2, kFormatMIME64), "A");
  EXPECT_EQ(TStringFormat_HEX::TextToBinary("4142\0"
                                            "43",
                                            -1),
            "AB");
  EXPECT_EQ(TStringFormat_MIME64::BinaryToText(nullptr, 3), "");
  EXPECT_EQ(TStringFormat_UU::TextToBinary(nullptr, -1), "");
  // A text with a zero byte inside is taken whole when its length is given.
  EXPECT_EQ(ConvertToText("\0A"s, kFormatMIME64), "AEE=");
  EXPECT_EQ(ConvertFromText("AEE=", kFormatMIME64), "\0A"s);
}

// ---- round trips and independent implementations -------------------------------------------------

std::size_t ExpectedTextLength(int id, std::size_t n) {
  switch (id) {
    case kFormatCopy: return n;
    case kFormatHEX:
    case kFormatHEXL: return 2 * n;
    case kFormatMIME64: return (n + 2) / 3 * 4;
    default: {
      std::size_t total = 0;
      for (std::size_t done = 0; done < n; done += 45)
        total += 1 + (std::min<std::size_t>(45, n - done) + 2) / 3 * 4;
      return total;
    }
  }
}

TEST(StringFormats, RoundTripsRandomRunsInEveryFormat) {
  std::mt19937 rng(20240521);
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n <= 150; ++n) lengths.push_back(n);
  for (std::size_t n : {255u, 256u, 1000u, 4095u, 4096u, 4097u, 10007u}) lengths.push_back(n);
  for (int id : kAllIds) {
    for (std::size_t n : lengths) {
      std::string data = RandomBytes(rng, n);
      if (n >= 3) {  // make sure zero bytes and high bytes are in the run
        data[0] = '\0';
        data[n / 2] = '\x80';
        data[n - 1] = '\xFF';
      }
      const std::string text = ConvertToText(data, id);
      ASSERT_EQ(text.size(), ExpectedTextLength(id, n)) << "id " << id << " n " << n;
      ASSERT_TRUE(FindStringFormat(id)->IsValid(text, true)) << "id " << id << " n " << n;
      ASSERT_EQ(ConvertFromText(text, id), data) << "id " << id << " n " << n;
    }
  }
}

TEST(StringFormats, MimeAndHexAgreeWithCryptoPP) {
  std::mt19937 rng(99);
  for (std::size_t n = 0; n <= 200; ++n) {
    const std::string data = RandomBytes(rng, n);
    std::string base64, hex, hexLower;
    CryptoPP::StringSource(data, true, new CryptoPP::Base64Encoder(new CryptoPP::StringSink(base64), false));
    CryptoPP::StringSource(data, true, new CryptoPP::HexEncoder(new CryptoPP::StringSink(hex), true));
    CryptoPP::StringSource(data, true, new CryptoPP::HexEncoder(new CryptoPP::StringSink(hexLower), false));
    EXPECT_EQ(TStringFormat_MIME64::BinaryToText(data), base64) << n;
    EXPECT_EQ(TStringFormat_MIME64::TextToBinary(base64), data) << n;
    EXPECT_EQ(TStringFormat_HEX::BinaryToText(data), hex) << n;
    EXPECT_EQ(TStringFormat_HEXL::BinaryToText(data), hexLower) << n;
    EXPECT_EQ(TStringFormat_HEX::TextToBinary(hexLower), data) << n;
  }
  // Crypto++ with its line breaks: ours skips the LFs.
  const std::string data = RandomBytes(rng, 500);
  std::string wrapped;
  CryptoPP::StringSource(data, true, new CryptoPP::Base64Encoder(new CryptoPP::StringSink(wrapped), true, 72));
  ASSERT_NE(wrapped.find('\n'), std::string::npos);
  EXPECT_EQ(ConvertFromText(wrapped, kFormatMIME64), data);
}

// ---- class descriptors and the registry ----------------------------------------------------------

TEST(StringFormatClasses, NamesIdsAndFamily) {
  struct Case {
    const StringFormatClass* cls;
    const char* name;
    int id;
    const char* display;
    const StringFormatClass* parent;
    bool hasAlphabet;
  };
  const std::vector<Case> cases = {
      {&TStringFormat::Class(), "TStringFormat", 1, "copy Input to Output", nullptr, false},
      {&TStringFormat_HEX::Class(), "TStringFormat_HEX", 16, "Hexadecimal", &TStringFormat::Class(), true},
      {&TStringFormat_HEXL::Class(), "TStringFormat_HEXL", 1016, "Hexadecimal lowercase",
       &TStringFormat_HEX::Class(), true},
      {&TStringFormat_MIME64::Class(), "TStringFormat_MIME64", 4196, "MIME Base 64", &TStringFormat_HEX::Class(),
       true},
      {&TStringFormat_UU::Class(), "TStringFormat_UU", 21845, "UU Coding", &TStringFormat::Class(), true},
      {&TStringFormat_XX::Class(), "TStringFormat_XX", 22616, "XX Coding", &TStringFormat_UU::Class(), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_STREQ(c.cls->name, c.name);
    EXPECT_EQ(c.cls->FormatId(), c.id);
    EXPECT_EQ(c.cls->DisplayName(), c.display);
    EXPECT_EQ(c.cls->parent, c.parent);
    EXPECT_EQ(c.cls->HasAlphabet(), c.hasAlphabet);
    EXPECT_TRUE(c.cls->InheritsFrom(TStringFormat::Class()));
  }
  EXPECT_TRUE(TStringFormat_MIME64::Class().InheritsFrom(TStringFormat_HEX::Class()));
  EXPECT_FALSE(TStringFormat_MIME64::Class().InheritsFrom(TStringFormat_HEXL::Class()));
  EXPECT_FALSE(TStringFormat_XX::Class().InheritsFrom(TStringFormat_HEX::Class()));
  EXPECT_EQ(DefaultStringFormat(), 4196);
}

TEST(StringFormatClasses, Alphabets) {
  EXPECT_EQ(TStringFormat_HEX::Alphabet().substr(0, 18), "0123456789ABCDEFX$");
  EXPECT_EQ(TStringFormat_HEXL::Alphabet().substr(0, 18), "0123456789abcdefX$");
  EXPECT_EQ(TStringFormat_MIME64::Alphabet().substr(0, 65),
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=");
  EXPECT_EQ(TStringFormat_XX::Alphabet().substr(0, 64),
            "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  const std::string_view uu = TStringFormat_UU::Alphabet();
  ASSERT_GE(uu.size(), 64u);
  EXPECT_EQ(uu[0], '`');
  for (int i = 1; i < 64; ++i) EXPECT_EQ(uu[i], static_cast<char>(0x20 + i)) << i;
  // The accepted characters after the symbols.
  EXPECT_EQ(TStringFormat_HEX::Alphabet().substr(18), " abcdefhHx()[]{},;:-_/\\*+\"'\t\n\r");
  EXPECT_EQ(TStringFormat_HEXL::Alphabet().substr(18), " ABCDEFhHx()[]{},;:-_/\\*+\"'\t\n\r");
  EXPECT_EQ(TStringFormat_MIME64::Alphabet().substr(65), " $()[]{},;:-_\\*\"'\t\n\r");
  EXPECT_EQ(uu.substr(64), " \t\n\r");
  EXPECT_EQ(TStringFormat_XX::Alphabet().substr(64), " \"()[]'\t\n\r");
}

TEST(StringFormatClasses, ShortClassName) {
  EXPECT_EQ(ShortClassName("TStringFormat_MIME64"), "MIME64");
  EXPECT_EQ(ShortClassName("TStringFormat"), "TStringFormat");
  EXPECT_EQ(ShortClassName("THash_SHA_1"), "SHA_1");
  EXPECT_EQ(ShortClassName("T_"), "");
  EXPECT_EQ(ShortClassName(""), "");
}

TEST(FormatRegistry, HoldsTheSixFormatsInStartUpOrder) {
  const std::vector<TStringFormatClass> expected = {&TStringFormat::Class(),      &TStringFormat_HEX::Class(),
                                                    &TStringFormat_HEXL::Class(), &TStringFormat_MIME64::Class(),
                                                    &TStringFormat_UU::Class(),   &TStringFormat_XX::Class()};
  InitStringFormats();  // a second start-up registers nothing twice
  EXPECT_EQ(FormatRegistry().Formats(), expected);
  for (TStringFormatClass f : expected) EXPECT_EQ(FindStringFormat(f->FormatId()), f);
  EXPECT_EQ(FindStringFormat(-1), &TStringFormat_MIME64::Class());
  EXPECT_EQ(FindStringFormat(0), nullptr);
  EXPECT_EQ(FindStringFormat(17), nullptr);
}

// Formats made up for the registry rules, each a distinct class with its own id.
std::string Same(std::string_view s) { return std::string(s); }
int Id16() { return 16; }
int IdMinus1() { return -1; }
int Id500() { return 500; }
bool Refuse(std::string_view, bool) { return false; }
bool Accept(std::string_view, bool) { return true; }
const StringFormatClass kOtherHex{
    "TStringFormat_OtherHex", &TStringFormat::Class(), Same, Same, nullptr, Id16, Accept, nullptr};
const StringFormatClass kNoId{
    "TStringFormat_NoId", &TStringFormat::Class(), Same, Same, nullptr, IdMinus1, Accept, nullptr};
const StringFormatClass kRefuser{
    "TStringFormat_Refuser", &TStringFormat::Class(), Same, Same, nullptr, Id500, Refuse, nullptr};

TEST(FormatRegistry, ReplacesInPlaceAndSkipsAbsentAndMinusOne) {
  StringFormatRegistry registry;
  EXPECT_EQ(registry.Find(16), nullptr);
  EXPECT_EQ(registry.Find(-1), nullptr);
  registry.Register(
      {&TStringFormat::Class(), nullptr, &TStringFormat_HEX::Class(), &kNoId, &TStringFormat_MIME64::Class()});
  EXPECT_EQ(registry.Formats(),
            (std::vector<TStringFormatClass>{&TStringFormat::Class(), &TStringFormat_HEX::Class(),
                                             &TStringFormat_MIME64::Class()}));
  registry.Register({&kOtherHex, &kRefuser});
  EXPECT_EQ(registry.Formats(), (std::vector<TStringFormatClass>{&TStringFormat::Class(), &kOtherHex,
                                                                 &TStringFormat_MIME64::Class(), &kRefuser}));
  EXPECT_EQ(registry.Find(16), &kOtherHex);
  EXPECT_EQ(registry.ConvertToText("AB", 16), "AB");  // the replacement is what the id finds now
  // A class without a display name of its own shows its short class name.
  EXPECT_EQ(MessageOf([&] { registry.ConvertToText("AB", 500); }), "Input can not be convert to Refuser Format.");
  EXPECT_EQ(MessageOf([&] { registry.ConvertFromText("AB", 500); }), "Input is not an valid Refuser Format.");
  // The process registry is untouched.
  EXPECT_EQ(FindStringFormat(16), &TStringFormat_HEX::Class());
}

TEST(FormatRegistry, UnregisterRemovesFromTheEndAndMinusOneNeedsTheDefault) {
  StringFormatRegistry registry;
  registry.Register({&TStringFormat::Class(), &TStringFormat_HEX::Class(), &TStringFormat_MIME64::Class()});
  EXPECT_EQ(registry.ConvertToText("ABC", -1), "QUJD");
  registry.Unregister({&TStringFormat_MIME64::Class(), &TStringFormat_UU::Class()});
  EXPECT_EQ(registry.Formats(),
            (std::vector<TStringFormatClass>{&TStringFormat::Class(), &TStringFormat_HEX::Class()}));
  // With no default registered, the message names the id as the caller gave it.
  EXPECT_EQ(MessageOf([&] { registry.ConvertToText("ABC", -1); }), "String Format \"-1\" not exists.");
  EXPECT_EQ(MessageOf([&] { registry.ConvertFromText("QUJD", kFormatMIME64); }),
            "String Format \"4196\" not exists.");
  EXPECT_EQ(registry.ConvertToText("ABC", 16), "414243");
}

}  // namespace
}  // namespace corvane
