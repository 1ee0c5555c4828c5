// Fuzzes the MIME base64 decoder and its validity check. Decoding never reads outside the text;
// whatever it gives, the encoder's text of those bytes (4 characters per started 3 bytes) decodes
// back to exactly them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cipher/formats/formats.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const std::string bytes = TStringFormat_MIME64::TextToBinary(text);
  if (bytes.size() > (size + 3) / 4 * 3) std::abort();

  const std::string encoded = TStringFormat_MIME64::BinaryToText(bytes);
  if (encoded.size() != (bytes.size() + 2) / 3 * 4) std::abort();
  if (!TStringFormat_MIME64::IsValid(encoded, true)) std::abort();
  if (TStringFormat_MIME64::TextToBinary(encoded) != bytes) std::abort();

  // The raw input taken as bytes survives a round trip too.
  if (TStringFormat_MIME64::TextToBinary(TStringFormat_MIME64::BinaryToText(text)) != text) std::abort();

  (void)TStringFormat_MIME64::IsValid(text, true);
  return 0;
}
