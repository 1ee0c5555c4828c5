// String formats: the conversions between byte runs and text (plain copy, hexadecimal in both
// letter cases, MIME base64, UU and XX coding), and the registry that finds a format by its id.
//
// Every format is a stateless class: all its operations are static and no instance is ever made.
// Each class also has a descriptor (StringFormatClass) that carries its operations as plain
// function pointers; the registry holds these descriptors, which stands in for holding the
// classes themselves. Texts and byte runs are 8-bit: std::string / std::string_view used as bytes.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

class EStringFormat : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr int kFormatCopy = 1;
inline constexpr int kFormatHEX = 16;
inline constexpr int kFormatHEXL = 1016;
inline constexpr int kFormatMIME64 = 4196;
inline constexpr int kFormatUU = 21845;
inline constexpr int kFormatXX = 22616;
// The id that stands for the default format in every conversion and look-up.
inline constexpr int kFormatDefault = -1;

// The id that -1 stands for: MIME base64. Starts the string formats (InitStringFormats) first.
int DefaultStringFormat();

// The class name with everything up to and including its first "_" removed; a name without "_"
// stays whole ("TStringFormat_MIME64" -> "MIME64").
std::string ShortClassName(std::string_view className);

// Descriptor of one string format class: its name, its parent and its operations.
// A null displayName means the class shows its short class name; a null alphabet means the class
// has no character table.
struct StringFormatClass {
  const char* name;
  const StringFormatClass* parent;
  std::string (*textToBinary)(std::string_view text);
  std::string (*binaryToText)(std::string_view data);
  std::string (*displayName)();
  int (*formatId)();
  bool (*isValid)(std::string_view data, bool toBinary);
  std::string_view (*alphabet)();

  std::string TextToBinary(std::string_view text) const { return textToBinary(text); }
  std::string BinaryToText(std::string_view data) const { return binaryToText(data); }
  std::string DisplayName() const { return displayName ? displayName() : ShortClassName(name); }
  int FormatId() const { return formatId(); }
  bool IsValid(std::string_view data, bool toBinary) const { return isValid(data, toBinary); }
  bool HasAlphabet() const { return alphabet != nullptr; }
  std::string_view Alphabet() const { return alphabet ? alphabet() : std::string_view{}; }
  std::string ShortName() const { return ShortClassName(name); }
  // True when this class is base or derives from it.
  bool InheritsFrom(const StringFormatClass& base) const;
};
using TStringFormatClass = const StringFormatClass*;

// Resolves a caller's pointer and length: a null pointer is an empty run, a negative length
// means "up to the first zero byte".
std::string_view ByteRun(const void* data, std::ptrdiff_t len);

// The plain copy: the bytes unchanged, both ways; every input is valid.
class TStringFormat {
 public:
  TStringFormat() = delete;
  static std::string TextToBinary(std::string_view text);
  static std::string TextToBinary(const char* text, std::ptrdiff_t len) {
    return TextToBinary(ByteRun(text, len));
  }
  static std::string BinaryToText(std::string_view data);
  static std::string BinaryToText(const std::uint8_t* data, std::ptrdiff_t len) {
    return BinaryToText(ByteRun(data, len));
  }
  static std::string DisplayName();  // "copy Input to Output"
  static int FormatId() { return kFormatCopy; }
  static bool IsValid(std::string_view data, bool toBinary);
  static const StringFormatClass& Class();
};

// Hexadecimal with upper-case digits: two characters per byte, high nibble first.
// Decoding reads both letter cases, skips separators, and restarts at the first X or $.
class TStringFormat_HEX : public TStringFormat {
 public:
  static std::string TextToBinary(std::string_view text);
  static std::string TextToBinary(const char* text, std::ptrdiff_t len) {
    return TextToBinary(ByteRun(text, len));
  }
  static std::string BinaryToText(std::string_view data);
  static std::string BinaryToText(const std::uint8_t* data, std::ptrdiff_t len) {
    return BinaryToText(ByteRun(data, len));
  }
  static std::string DisplayName();  // "Hexadecimal"
  static int FormatId() { return kFormatHEX; }
  // Text is valid when each of its characters occurs in Alphabet(); bytes are always valid.
  static bool IsValid(std::string_view data, bool toBinary);
  // The 18 symbols 0-9 A-F X $, then the characters that a text may hold and decoding skips.
  static std::string_view Alphabet();
  static const StringFormatClass& Class();
};

// Hexadecimal with lower-case digits; decodes exactly as TStringFormat_HEX.
class TStringFormat_HEXL : public TStringFormat_HEX {
 public:
  static std::string BinaryToText(std::string_view data);
  static std::string BinaryToText(const std::uint8_t* data, std::ptrdiff_t len) {
    return BinaryToText(ByteRun(data, len));
  }
  static std::string DisplayName();  // "Hexadecimal lowercase"
  static int FormatId() { return kFormatHEXL; }
  static bool IsValid(std::string_view data, bool toBinary);
  static std::string_view Alphabet();
  static const StringFormatClass& Class();
};

// MIME base64 (RFC 2045) with "=" padding and no line breaks; decoding drops every character
// that is not one of the 65 symbols and counts every "=" as padding.
class TStringFormat_MIME64 : public TStringFormat_HEX {
 public:
  static std::string TextToBinary(std::string_view text);
  static std::string TextToBinary(const char* text, std::ptrdiff_t len) {
    return TextToBinary(ByteRun(text, len));
  }
  static std::string BinaryToText(std::string_view data);
  static std::string BinaryToText(const std::uint8_t* data, std::ptrdiff_t len) {
    return BinaryToText(ByteRun(data, len));
  }
  static std::string DisplayName();  // "MIME Base 64"
  static int FormatId() { return kFormatMIME64; }
  static bool IsValid(std::string_view data, bool toBinary);
  static std::string_view Alphabet();
  static const StringFormatClass& Class();
};

// UU coding: lines of up to 45 bytes, each a count symbol and four symbols per three bytes,
// written one after another without line terminators.
class TStringFormat_UU : public TStringFormat {
 public:
  // Raises EStringFormat for a line-count character that is no symbol or stands above 45.
  // Symbols missing at the end of the text read as zero bits.
  static std::string TextToBinary(std::string_view text);
  static std::string TextToBinary(const char* text, std::ptrdiff_t len) {
    return TextToBinary(ByteRun(text, len));
  }
  static std::string BinaryToText(std::string_view data);
  static std::string BinaryToText(const std::uint8_t* data, std::ptrdiff_t len) {
    return BinaryToText(ByteRun(data, len));
  }
  static std::string DisplayName();  // "UU Coding"
  static int FormatId() { return kFormatUU; }
  static bool IsValid(std::string_view data, bool toBinary);
  // The 64 symbols (backquote, then 0x21 to 0x5F), then the characters skipped inside a line.
  static std::string_view Alphabet();
  static const StringFormatClass& Class();
};

// XX coding: as UU with its own alphabet.
class TStringFormat_XX : public TStringFormat_UU {
 public:
  static std::string TextToBinary(std::string_view text);
  static std::string TextToBinary(const char* text, std::ptrdiff_t len) {
    return TextToBinary(ByteRun(text, len));
  }
  static std::string BinaryToText(std::string_view data);
  static std::string BinaryToText(const std::uint8_t* data, std::ptrdiff_t len) {
    return BinaryToText(ByteRun(data, len));
  }
  static std::string DisplayName();  // "XX Coding"
  static int FormatId() { return kFormatXX; }
  static bool IsValid(std::string_view data, bool toBinary);
  static std::string_view Alphabet();
  static const StringFormatClass& Class();
};

// An ordered list of format classes. The library keeps one for the process (FormatRegistry());
// separate instances serve tests and tools. Thread-safe; in practice filled once at start-up and
// only read afterwards. A lookup takes no lock: every change publishes a new list and keeps the
// earlier ones until the registry ends, since a reader may still be going through one.
class StringFormatRegistry {
 public:
  StringFormatRegistry() = default;
  StringFormatRegistry(const StringFormatRegistry&) = delete;
  StringFormatRegistry& operator=(const StringFormatRegistry&) = delete;

  // -1 stands for DefaultStringFormat(); the first class with that id in registration order, or
  // null when none matches.
  TStringFormatClass Find(int id) const;
  // Appends each present class whose id is not -1; a class whose id is already registered takes
  // the place of the registered one instead.
  void Register(std::span<const TStringFormatClass> classes);
  void Register(std::initializer_list<TStringFormatClass> classes) {
    Register(std::span<const TStringFormatClass>(classes.begin(), classes.size()));
  }
  // Removes each given class, searching from the end (a module's classes on its unload).
  void Unregister(std::span<const TStringFormatClass> classes);
  void Unregister(std::initializer_list<TStringFormatClass> classes) {
    Unregister(std::span<const TStringFormatClass>(classes.begin(), classes.size()));
  }
  std::vector<TStringFormatClass> Formats() const;

  // The conversions below, against this registry's classes.
  std::string ConvertToText(std::string_view data, int formatId) const;
  std::string ConvertFromText(std::string_view text, int formatId) const;

 private:
  using List = std::vector<TStringFormatClass>;
  // The list published last (empty before the first).
  List Current() const;
  void Publish(List next);

  std::mutex mutex_;                                // one change at a time
  std::vector<std::unique_ptr<const List>> lists_;  // every list published, the current one last
  std::atomic<const List*> current_{nullptr};
};

// Registers the six library formats in the registry of the process, once; later calls do nothing.
// Every function below calls it first, so the formats are there whoever comes first.
void InitStringFormats();
// The registry of the process, with the library formats registered.
StringFormatRegistry& FormatRegistry();
TStringFormatClass FindStringFormat(int formatId);
void RegisterStringFormats(std::span<const TStringFormatClass> classes);
void RegisterStringFormats(std::initializer_list<TStringFormatClass> classes);
void UnregisterStringFormats(std::span<const TStringFormatClass> classes);
void UnregisterStringFormats(std::initializer_list<TStringFormatClass> classes);

// Bytes to text. Empty for empty data or format id 0 (without any check); otherwise raises
// EStringFormat "String Format "<id>" not exists." for an unknown id and
// "Input can not be convert to <name> Format." for data the format refuses.
std::string ConvertToText(std::string_view data, int formatId);
std::string ConvertToText(std::span<const std::uint8_t> data, int formatId);
// Pointer forms: a null pointer is absent (empty result), a negative length means "up to the
// first zero byte".
std::string ConvertToText(const std::uint8_t* data, std::ptrdiff_t len, int formatId);

// Text to bytes, as ConvertToText; a text the format does not accept raises
// "Input is not an valid <name> Format.".
std::string ConvertFromText(std::string_view text, int formatId);
std::string ConvertFromText(const char* text, std::ptrdiff_t len, int formatId);

}  // namespace corvane
