#include "console/core/output_text.h"

#include <cstddef>
#include <string>

namespace corvane {

namespace {

enum class Utf8 { kValid, kCutAtEnd, kInvalid };

// The length of the valid UTF-8 sequence at the start of `s` (RFC 3629, table 3-7 of the Unicode
// standard), 0 when it is invalid, or -1 when `s` ends inside a sequence that is valid so far.
int SequenceLength(std::string_view s) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  int length = 0;
  unsigned char low = 0x80;  // the range of the second byte
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong below U+0800
    if (lead == 0xED) high = 0x9F;  // the surrogates U+D800..U+DFFF
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong below U+10000
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return 0;  // a continuation byte, C0/C1 (overlong ASCII) or F5..FF
  }
  for (int i = 1; i < length; ++i) {
    if (static_cast<std::size_t>(i) >= s.size()) return -1;
    const unsigned char b = byte(static_cast<std::size_t>(i));
    const unsigned char from = i == 1 ? low : 0x80;
    const unsigned char to = i == 1 ? high : 0xBF;
    if (b < from || b > to) return 0;
  }
  return length;
}

// Whether `line` is valid UTF-8; kCutAtEnd when it is so up to a started sequence at its end.
Utf8 Classify(std::string_view line, std::size_t* validLength) {
  std::size_t i = 0;
  while (i < line.size()) {
    const int n = SequenceLength(line.substr(i));
    if (n == 0) return Utf8::kInvalid;
    if (n < 0) {
      *validLength = i;
      return Utf8::kCutAtEnd;
    }
    i += static_cast<std::size_t>(n);
  }
  *validLength = i;
  return Utf8::kValid;
}

void AppendLine(QString& out, std::string_view line, bool cutHere) {
  std::size_t valid = 0;
  const Utf8 kind = Classify(line, &valid);
  if (kind == Utf8::kValid) {
    out += QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
  } else if (kind == Utf8::kCutAtEnd && cutHere) {
    out += QString::fromUtf8(line.data(), static_cast<qsizetype>(valid));
    out += QChar(QChar::ReplacementCharacter);
  } else {
    out += QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size()));
  }
}

}  // namespace

QString OutputText(std::string_view bytes, bool cutAtEnd) {
  QString out;
  out.reserve(static_cast<qsizetype>(bytes.size()));
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < bytes.size()) {
    const char c = bytes[i];
    if (c != '\r' && c != '\n') {
      ++i;
      continue;
    }
    AppendLine(out, bytes.substr(start, i - start), false);
    out += QChar(u'\n');
    if (c == '\r') {
      std::size_t j = i;
      while (j < bytes.size() && bytes[j] == '\r') ++j;
      // CRs followed by LF (CR LF, CR CR LF) are one line break; a CR without one is one each.
      i = (j < bytes.size() && bytes[j] == '\n') ? j + 1 : i + 1;
    } else {
      ++i;
    }
    start = i;
  }
  AppendLine(out, bytes.substr(start), cutAtEnd);
  return out;
}

}  // namespace corvane
