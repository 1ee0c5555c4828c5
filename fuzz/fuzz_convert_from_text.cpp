// Fuzzes ConvertFromText with every format id (and ids that name no format), through both the
// length-counted and the zero-terminated entry. The first input byte picks the id, the rest is the
// text. Failures must be EStringFormat with one of the fixed messages; where a conversion
// succeeds, the text ConvertToText makes of the bytes converts back to exactly them.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cipher/formats/formats.h"

using namespace corvane;

namespace {

constexpr std::array<int, 10> kIds = {0,         kFormatCopy, kFormatHEX,     kFormatHEXL, kFormatMIME64,
                                      kFormatUU, kFormatXX,   kFormatDefault, 7,           -2147483647 - 1};

bool KnownMessage(std::string_view message, int id) {
  if (TStringFormatClass f = FindStringFormat(id)) {
    return message == "Input is not an valid " + f->DisplayName() + " Format.";
  }
  return message == "String Format \"" + std::to_string(id) + "\" not exists.";
}

std::optional<std::string> TryConvert(std::string_view text, int id, bool zeroTerminated) {
  try {
    if (!zeroTerminated) return ConvertFromText(text, id);
    // An exactly sized copy with its terminator, so reading past the zero would be caught.
    std::vector<char> copy(text.begin(), text.end());
    copy.push_back('\0');
    return ConvertFromText(copy.data(), -1, id);
  } catch (const EStringFormat& e) {
    if (!KnownMessage(e.what(), id)) std::abort();
    return std::nullopt;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const int id = kIds[data[0] % kIds.size()];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  const std::optional<std::string> bytes = TryConvert(text, id, false);
  // Up to the first zero byte, the terminated entry must agree with the counted one.
  const std::string_view head = text.substr(0, std::min(text.size(), text.find('\0')));
  const std::optional<std::string> viaTerminator = TryConvert(head, id, true);
  if (head.size() == text.size() && viaTerminator != bytes) std::abort();

  if (text.empty() || id == 0) {
    if (!bytes || !bytes->empty()) std::abort();
    return 0;
  }
  if (!bytes) return 0;
  if (FindStringFormat(id) == nullptr) std::abort();  // an unknown id must have raised

  const std::string encoded = ConvertToText(*bytes, id);
  if (ConvertFromText(encoded, id) != *bytes) std::abort();
  return 0;
}
