// String formats and the format registry.
#include "cipher/formats/formats.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace corvane {

namespace {

using namespace std::string_view_literals;

// Character tables: the symbols in order, then the characters a text may also hold.
constexpr std::string_view kHexAlphabet = "0123456789ABCDEFX$ abcdefhHx()[]{},;:-_/\\*+\"'\t\n\r"sv;
constexpr std::string_view kHexLAlphabet = "0123456789abcdefX$ ABCDEFhHx()[]{},;:-_/\\*+\"'\t\n\r"sv;
constexpr std::string_view kMime64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/= $()[]{},;:-_\\*\"'\t\n\r"sv;
constexpr std::string_view kUUAlphabet =
    "`!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_ \t\n\r"sv;
constexpr std::string_view kXXAlphabet =
    "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz \"()[]'\t\n\r"sv;

constexpr std::size_t kCodingSymbols = 64;  // UU, XX and MIME64 (without "=")
constexpr std::size_t kMaxLineBytes = 45;   // UU and XX

static_assert(kUUAlphabet.size() == kCodingSymbols + 4);
static_assert(kXXAlphabet.size() == kCodingSymbols + 10);
static_assert(kMime64Alphabet.substr(0, 65).back() == '=');

std::string InvalidTextMessage(std::string_view displayName) {
  return "Input is not an valid " + std::string(displayName) + " Format.";
}

std::string RefusedDataMessage(std::string_view displayName) {
  return "Input can not be convert to " + std::string(displayName) + " Format.";
}

std::string UnknownFormatMessage(int formatId) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "String Format \"%d\" not exists.", formatId);
  return buffer;
}

// Position of every byte in the first `count` characters of a table; -1 where absent.
using PositionTable = std::array<int, 256>;
PositionTable MakePositions(std::string_view symbols) {
  PositionTable table;
  table.fill(-1);
  for (std::size_t i = 0; i < symbols.size(); ++i) {
    auto c = static_cast<unsigned char>(symbols[i]);
    if (table[c] < 0) table[c] = static_cast<int>(i);
  }
  return table;
}

inline int PositionOf(const PositionTable& table, char c) { return table[static_cast<unsigned char>(c)]; }

// Shared check of the hexadecimal formats and MIME64: text is valid when each of its characters
// occurs somewhere in the alphabet; bytes are always valid.
bool AllInAlphabet(std::string_view text, const PositionTable& alphabet) {
  return std::all_of(text.begin(), text.end(), [&](char c) { return PositionOf(alphabet, c) >= 0; });
}

// ---- hexadecimal -----------------------------------------------------------------------------

std::string HexEncode(std::string_view data, std::string_view digits) {
  std::string text;
  text.resize(data.size() * 2);
  for (std::size_t i = 0; i < data.size(); ++i) {
    auto b = static_cast<unsigned char>(data[i]);
    text[2 * i] = digits[b >> 4];
    text[2 * i + 1] = digits[b & 0x0F];
  }
  return text;
}

std::string HexDecode(std::string_view text) {
  static const PositionTable symbols = MakePositions(kHexAlphabet.substr(0, 18));
  std::string out;
  out.reserve(text.size() / 2 + 1);
  bool restarted = false;
  bool haveHigh = false;
  unsigned high = 0;
  for (char ch : text) {
    char c = ch;
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    const int value = PositionOf(symbols, c);
    if (value < 0) continue;  // separators and anything else
    if (value >= 16) {        // X or $
      if (!restarted) {
        restarted = true;
        out.clear();
        haveHigh = false;
      }
      continue;
    }
    if (!haveHigh) {
      high = static_cast<unsigned>(value);
      haveHigh = true;
    } else {
      out.push_back(static_cast<char>((high << 4) | static_cast<unsigned>(value)));
      haveHigh = false;
    }
  }
  return out;  // a digit without partner is dropped
}

// ---- MIME base64 -----------------------------------------------------------------------------

std::string Mime64Encode(std::string_view data) {
  const std::string_view symbols = kMime64Alphabet.substr(0, kCodingSymbols);
  std::string text((data.size() + 2) / 3 * 4, '\0');
  char* out = text.data();
  const auto* in = reinterpret_cast<const unsigned char*>(data.data());
  std::size_t i = 0;
  for (; i + 3 <= data.size(); i += 3, out += 4) {
    const std::uint32_t bits =
        (std::uint32_t(in[i]) << 16) | (std::uint32_t(in[i + 1]) << 8) | std::uint32_t(in[i + 2]);
    out[0] = symbols[(bits >> 18) & 63];
    out[1] = symbols[(bits >> 12) & 63];
    out[2] = symbols[(bits >> 6) & 63];
    out[3] = symbols[bits & 63];
  }
  const std::size_t rest = data.size() - i;
  if (rest > 0) {
    std::uint32_t bits = std::uint32_t(in[i]) << 16;
    if (rest == 2) bits |= std::uint32_t(in[i + 1]) << 8;
    out[0] = symbols[(bits >> 18) & 63];
    out[1] = symbols[(bits >> 12) & 63];
    out[2] = rest == 2 ? symbols[(bits >> 6) & 63] : '=';
    out[3] = '=';
  }
  return text;
}

std::string Mime64Decode(std::string_view text) {
  static const PositionTable symbols = MakePositions(kMime64Alphabet.substr(0, kCodingSymbols + 1));
  // Only the 65 symbols count, as 6-bit values, four to three bytes; "=" reads as zero bits and
  // counts as padding, and so does every value missing from the last group of four.
  std::string out((text.size() + 3) / 4 * 3, '\0');
  std::size_t written = 0, values = 0, pads = 0;
  std::uint32_t bits = 0;
  for (char c : text) {
    const int p = PositionOf(symbols, c);
    if (p < 0) continue;
    if (p == static_cast<int>(kCodingSymbols)) {
      ++pads;
      bits <<= 6;
    } else {
      bits = (bits << 6) | static_cast<std::uint32_t>(p);
    }
    if (++values % 4 == 0) {
      out[written] = static_cast<char>(bits >> 16);
      out[written + 1] = static_cast<char>((bits >> 8) & 0xFF);
      out[written + 2] = static_cast<char>(bits & 0xFF);
      written += 3;
      bits = 0;
    }
  }
  if (const std::size_t partial = values % 4; partial != 0) {
    pads += 4 - partial;
    bits <<= 6 * (4 - partial);
    out[written] = static_cast<char>(bits >> 16);
    out[written + 1] = static_cast<char>((bits >> 8) & 0xFF);
    out[written + 2] = static_cast<char>(bits & 0xFF);
    written += 3;
  }
  if (written <= pads) return {};
  out.resize(written - pads);
  return out;
}

// ---- UU and XX -------------------------------------------------------------------------------

std::string LineEncode(std::string_view data, std::string_view alphabet) {
  const std::string_view symbols = alphabet.substr(0, kCodingSymbols);
  std::string text;
  const std::size_t lines = (data.size() + kMaxLineBytes - 1) / kMaxLineBytes;
  text.reserve(lines + (data.size() + 2) / 3 * 4 + lines * 4);
  for (std::size_t start = 0; start < data.size(); start += kMaxLineBytes) {
    const std::size_t count = std::min(kMaxLineBytes, data.size() - start);
    text.push_back(symbols[count]);
    for (std::size_t g = 0; g < count; g += 3) {
      std::uint32_t bits = 0;
      for (std::size_t k = 0; k < 3; ++k) {
        bits <<= 8;
        if (g + k < count) bits |= static_cast<unsigned char>(data[start + g + k]);
      }
      text.push_back(symbols[(bits >> 18) & 63]);
      text.push_back(symbols[(bits >> 12) & 63]);
      text.push_back(symbols[(bits >> 6) & 63]);
      text.push_back(symbols[bits & 63]);
    }
  }
  return text;
}

// Decodes line after line. A line-count character that is no symbol or stands above 45 raises
// EStringFormat; inside a line every non-symbol is skipped; symbols missing at the end of the
// text read as zero bits, so nothing is read beyond the text.
std::string LineDecode(std::string_view text, const PositionTable& symbols, std::string_view displayName) {
  std::string out;
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n) {
    const int count = PositionOf(symbols, text[i]);
    if (count < 0 || count > static_cast<int>(kMaxLineBytes)) throw EStringFormat(InvalidTextMessage(displayName));
    ++i;
    const int groups = (count + 2) / 3;
    for (int g = 0; g < groups; ++g) {
      std::uint32_t bits = 0;
      for (int k = 0; k < 4; ++k) {
        while (i < n && PositionOf(symbols, text[i]) < 0) ++i;
        std::uint32_t v = 0;
        if (i < n) v = static_cast<std::uint32_t>(PositionOf(symbols, text[i++]));
        bits = (bits << 6) | v;
      }
      const int take = (g == groups - 1) ? count - 3 * g : 3;
      for (int k = 0; k < take; ++k) out.push_back(static_cast<char>((bits >> (16 - 8 * k)) & 0xFF));
    }
  }
  return out;
}

// Validity of a UU or XX text: every character in the alphabet; with nothing pending, a
// character at most 45 that sets (4 x position + 2) / 3 symbols pending; a symbol counts one
// down, an accepted non-symbol does not; nothing pending at the end.
bool LineTextValid(std::string_view text, const PositionTable& alphabet) {
  int pending = 0;
  for (char c : text) {
    const int p = PositionOf(alphabet, c);
    if (p < 0) return false;
    if (pending == 0) {
      if (p > static_cast<int>(kMaxLineBytes)) return false;
      pending = (4 * p + 2) / 3;
    } else if (p < static_cast<int>(kCodingSymbols)) {
      --pending;
    }
  }
  return pending == 0;
}

const PositionTable& HexPositions() {
  static const PositionTable t = MakePositions(kHexAlphabet);
  return t;
}
const PositionTable& HexLPositions() {
  static const PositionTable t = MakePositions(kHexLAlphabet);
  return t;
}
const PositionTable& Mime64Positions() {
  static const PositionTable t = MakePositions(kMime64Alphabet);
  return t;
}
const PositionTable& UUPositions() {
  static const PositionTable t = MakePositions(kUUAlphabet);
  return t;
}
const PositionTable& XXPositions() {
  static const PositionTable t = MakePositions(kXXAlphabet);
  return t;
}
const PositionTable& UUSymbols() {
  static const PositionTable t = MakePositions(kUUAlphabet.substr(0, kCodingSymbols));
  return t;
}
const PositionTable& XXSymbols() {
  static const PositionTable t = MakePositions(kXXAlphabet.substr(0, kCodingSymbols));
  return t;
}

}  // namespace

// ---- shared helpers ----------------------------------------------------------------------------

// Reading the default also brings the string formats up, so a caller that starts the library by
// asking for it finds them registered.
int DefaultStringFormat() {
  InitStringFormats();
  return kFormatMIME64;
}

std::string ShortClassName(std::string_view className) {
  const auto pos = className.find('_');
  return std::string(pos == std::string_view::npos ? className : className.substr(pos + 1));
}

std::string_view ByteRun(const void* data, std::ptrdiff_t len) {
  if (data == nullptr) return {};
  const char* p = static_cast<const char*>(data);
  if (len < 0) return std::string_view(p, std::strlen(p));
  return std::string_view(p, static_cast<std::size_t>(len));
}

bool StringFormatClass::InheritsFrom(const StringFormatClass& base) const {
  for (const StringFormatClass* c = this; c != nullptr; c = c->parent) {
    if (c == &base) return true;
  }
  return false;
}

// ---- TStringFormat -----------------------------------------------------------------------------

std::string TStringFormat::TextToBinary(std::string_view text) { return std::string(text); }
std::string TStringFormat::BinaryToText(std::string_view data) { return std::string(data); }
std::string TStringFormat::DisplayName() { return "copy Input to Output"; }
bool TStringFormat::IsValid(std::string_view, bool) { return true; }
const StringFormatClass& TStringFormat::Class() {
  static const StringFormatClass info{"TStringFormat",
                                      nullptr,
                                      [](std::string_view t) { return TStringFormat::TextToBinary(t); },
                                      [](std::string_view d) { return TStringFormat::BinaryToText(d); },
                                      &TStringFormat::DisplayName,
                                      [] { return TStringFormat::FormatId(); },
                                      [](std::string_view d, bool b) { return TStringFormat::IsValid(d, b); },
                                      nullptr};
  return info;
}

// ---- TStringFormat_HEX ---------------------------------------------------------------------------

std::string TStringFormat_HEX::TextToBinary(std::string_view text) { return HexDecode(text); }
std::string TStringFormat_HEX::BinaryToText(std::string_view data) { return HexEncode(data, kHexAlphabet); }
std::string TStringFormat_HEX::DisplayName() { return "Hexadecimal"; }
bool TStringFormat_HEX::IsValid(std::string_view data, bool toBinary) {
  return !toBinary || AllInAlphabet(data, HexPositions());
}
std::string_view TStringFormat_HEX::Alphabet() { return kHexAlphabet; }
const StringFormatClass& TStringFormat_HEX::Class() {
  static const StringFormatClass info{"TStringFormat_HEX",
                                      &TStringFormat::Class(),
                                      [](std::string_view t) { return TStringFormat_HEX::TextToBinary(t); },
                                      [](std::string_view d) { return TStringFormat_HEX::BinaryToText(d); },
                                      &TStringFormat_HEX::DisplayName,
                                      [] { return TStringFormat_HEX::FormatId(); },
                                      &TStringFormat_HEX::IsValid,
                                      &TStringFormat_HEX::Alphabet};
  return info;
}

// ---- TStringFormat_HEXL --------------------------------------------------------------------------

std::string TStringFormat_HEXL::BinaryToText(std::string_view data) { return HexEncode(data, kHexLAlphabet); }
std::string TStringFormat_HEXL::DisplayName() { return "Hexadecimal lowercase"; }
bool TStringFormat_HEXL::IsValid(std::string_view data, bool toBinary) {
  return !toBinary || AllInAlphabet(data, HexLPositions());
}
std::string_view TStringFormat_HEXL::Alphabet() { return kHexLAlphabet; }
const StringFormatClass& TStringFormat_HEXL::Class() {
  static const StringFormatClass info{"TStringFormat_HEXL",
                                      &TStringFormat_HEX::Class(),
                                      [](std::string_view t) { return TStringFormat_HEXL::TextToBinary(t); },
                                      [](std::string_view d) { return TStringFormat_HEXL::BinaryToText(d); },
                                      &TStringFormat_HEXL::DisplayName,
                                      [] { return TStringFormat_HEXL::FormatId(); },
                                      &TStringFormat_HEXL::IsValid,
                                      &TStringFormat_HEXL::Alphabet};
  return info;
}

// ---- TStringFormat_MIME64 ------------------------------------------------------------------------

std::string TStringFormat_MIME64::TextToBinary(std::string_view text) { return Mime64Decode(text); }
std::string TStringFormat_MIME64::BinaryToText(std::string_view data) { return Mime64Encode(data); }
std::string TStringFormat_MIME64::DisplayName() { return "MIME Base 64"; }
bool TStringFormat_MIME64::IsValid(std::string_view data, bool toBinary) {
  return !toBinary || AllInAlphabet(data, Mime64Positions());
}
std::string_view TStringFormat_MIME64::Alphabet() { return kMime64Alphabet; }
const StringFormatClass& TStringFormat_MIME64::Class() {
  static const StringFormatClass info{"TStringFormat_MIME64",
                                      &TStringFormat_HEX::Class(),
                                      [](std::string_view t) { return TStringFormat_MIME64::TextToBinary(t); },
                                      [](std::string_view d) { return TStringFormat_MIME64::BinaryToText(d); },
                                      &TStringFormat_MIME64::DisplayName,
                                      [] { return TStringFormat_MIME64::FormatId(); },
                                      &TStringFormat_MIME64::IsValid,
                                      &TStringFormat_MIME64::Alphabet};
  return info;
}

// ---- TStringFormat_UU ----------------------------------------------------------------------------

std::string TStringFormat_UU::TextToBinary(std::string_view text) {
  return LineDecode(text, UUSymbols(), DisplayName());
}
std::string TStringFormat_UU::BinaryToText(std::string_view data) { return LineEncode(data, kUUAlphabet); }
std::string TStringFormat_UU::DisplayName() { return "UU Coding"; }
bool TStringFormat_UU::IsValid(std::string_view data, bool toBinary) {
  return !toBinary || LineTextValid(data, UUPositions());
}
std::string_view TStringFormat_UU::Alphabet() { return kUUAlphabet; }
const StringFormatClass& TStringFormat_UU::Class() {
  static const StringFormatClass info{"TStringFormat_UU",
                                      &TStringFormat::Class(),
                                      [](std::string_view t) { return TStringFormat_UU::TextToBinary(t); },
                                      [](std::string_view d) { return TStringFormat_UU::BinaryToText(d); },
                                      &TStringFormat_UU::DisplayName,
                                      [] { return TStringFormat_UU::FormatId(); },
                                      &TStringFormat_UU::IsValid,
                                      &TStringFormat_UU::Alphabet};
  return info;
}

// ---- TStringFormat_XX ----------------------------------------------------------------------------

std::string TStringFormat_XX::TextToBinary(std::string_view text) {
  return LineDecode(text, XXSymbols(), DisplayName());
}
std::string TStringFormat_XX::BinaryToText(std::string_view data) { return LineEncode(data, kXXAlphabet); }
std::string TStringFormat_XX::DisplayName() { return "XX Coding"; }
bool TStringFormat_XX::IsValid(std::string_view data, bool toBinary) {
  return !toBinary || LineTextValid(data, XXPositions());
}
std::string_view TStringFormat_XX::Alphabet() { return kXXAlphabet; }
const StringFormatClass& TStringFormat_XX::Class() {
  static const StringFormatClass info{"TStringFormat_XX",
                                      &TStringFormat_UU::Class(),
                                      [](std::string_view t) { return TStringFormat_XX::TextToBinary(t); },
                                      [](std::string_view d) { return TStringFormat_XX::BinaryToText(d); },
                                      &TStringFormat_XX::DisplayName,
                                      [] { return TStringFormat_XX::FormatId(); },
                                      &TStringFormat_XX::IsValid,
                                      &TStringFormat_XX::Alphabet};
  return info;
}

// ---- registry ------------------------------------------------------------------------------------

TStringFormatClass StringFormatRegistry::Find(int id) const {
  if (id == kFormatDefault) id = DefaultStringFormat();
  const List* formats = current_.load(std::memory_order_acquire);
  if (formats == nullptr) return nullptr;
  for (TStringFormatClass f : *formats) {
    if (f->FormatId() == id) return f;
  }
  return nullptr;
}

StringFormatRegistry::List StringFormatRegistry::Current() const {
  const List* formats = current_.load(std::memory_order_acquire);
  return formats ? *formats : List{};
}

void StringFormatRegistry::Publish(List next) {
  // An unchanged list is not published again, so that repeated registrations of the same classes
  // keep no further lists.
  const List* formats = current_.load(std::memory_order_acquire);
  if (formats != nullptr && *formats == next) return;
  lists_.push_back(std::make_unique<const List>(std::move(next)));
  current_.store(lists_.back().get(), std::memory_order_release);
}

void StringFormatRegistry::Register(std::span<const TStringFormatClass> classes) {
  std::lock_guard lock(mutex_);
  List formats = Current();
  for (TStringFormatClass f : classes) {
    if (f == nullptr) continue;
    const int id = f->FormatId();
    if (id == kFormatDefault) continue;
    auto same =
        std::find_if(formats.begin(), formats.end(), [id](TStringFormatClass g) { return g->FormatId() == id; });
    if (same != formats.end()) {
      *same = f;
    } else {
      formats.push_back(f);
    }
  }
  Publish(std::move(formats));
}

void StringFormatRegistry::Unregister(std::span<const TStringFormatClass> classes) {
  std::lock_guard lock(mutex_);
  List formats = Current();
  for (TStringFormatClass f : classes) {
    if (f == nullptr) continue;
    auto last = std::find(formats.rbegin(), formats.rend(), f);
    if (last != formats.rend()) formats.erase(std::next(last).base());
  }
  Publish(std::move(formats));
}

std::vector<TStringFormatClass> StringFormatRegistry::Formats() const { return Current(); }

std::string StringFormatRegistry::ConvertToText(std::string_view data, int formatId) const {
  if (data.empty() || formatId == 0) return {};
  TStringFormatClass f = Find(formatId);
  if (f == nullptr) throw EStringFormat(UnknownFormatMessage(formatId));
  if (!f->IsValid(data, false)) throw EStringFormat(RefusedDataMessage(f->DisplayName()));
  return f->BinaryToText(data);
}

std::string StringFormatRegistry::ConvertFromText(std::string_view text, int formatId) const {
  if (text.empty() || formatId == 0) return {};
  TStringFormatClass f = Find(formatId);
  if (f == nullptr) throw EStringFormat(UnknownFormatMessage(formatId));
  if (!f->IsValid(text, true)) throw EStringFormat(InvalidTextMessage(f->DisplayName()));
  return f->TextToBinary(text);
}

namespace {
StringFormatRegistry& ProcessRegistry() {
  static StringFormatRegistry registry;
  return registry;
}
}  // namespace

void InitStringFormats() {
  // Once for the process (the initialisation of a local static: after the first time one load).
  static const bool registered = [] {
    ProcessRegistry().Register({&TStringFormat::Class(), &TStringFormat_HEX::Class(), &TStringFormat_HEXL::Class(),
                                &TStringFormat_MIME64::Class(), &TStringFormat_UU::Class(),
                                &TStringFormat_XX::Class()});
    return true;
  }();
  (void)registered;
}

StringFormatRegistry& FormatRegistry() {
  InitStringFormats();
  return ProcessRegistry();
}

TStringFormatClass FindStringFormat(int formatId) { return FormatRegistry().Find(formatId); }
void RegisterStringFormats(std::span<const TStringFormatClass> classes) { FormatRegistry().Register(classes); }
void RegisterStringFormats(std::initializer_list<TStringFormatClass> classes) {
  FormatRegistry().Register(classes);
}
void UnregisterStringFormats(std::span<const TStringFormatClass> classes) { FormatRegistry().Unregister(classes); }
void UnregisterStringFormats(std::initializer_list<TStringFormatClass> classes) {
  FormatRegistry().Unregister(classes);
}

std::string ConvertToText(std::string_view data, int formatId) {
  return FormatRegistry().ConvertToText(data, formatId);
}
std::string ConvertToText(std::span<const std::uint8_t> data, int formatId) {
  return FormatRegistry().ConvertToText(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()),
                                        formatId);
}
std::string ConvertToText(const std::uint8_t* data, std::ptrdiff_t len, int formatId) {
  return FormatRegistry().ConvertToText(ByteRun(data, len), formatId);
}
std::string ConvertFromText(std::string_view text, int formatId) {
  return FormatRegistry().ConvertFromText(text, formatId);
}
std::string ConvertFromText(const char* text, std::ptrdiff_t len, int formatId) {
  return FormatRegistry().ConvertFromText(ByteRun(text, len), formatId);
}

}  // namespace corvane
