// Fuzzes the XX decoder and its validity check. Decoding never reads outside the text, even for
// texts that end inside a line; a bad line-count character raises EStringFormat and nothing else.
// Whatever decodes, the encoder's text of those bytes is valid and decodes back to exactly them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cipher/formats/formats.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  (void)TStringFormat_XX::IsValid(text, true);

  std::string bytes;
  try {
    bytes = TStringFormat_XX::TextToBinary(text);
  } catch (const EStringFormat& e) {
    if (std::string_view(e.what()) != "Input is not an valid " + TStringFormat_XX::DisplayName() + " Format.")
      std::abort();
    return 0;
  }
  if (bytes.size() > 45 * size) std::abort();

  const std::string encoded = TStringFormat_XX::BinaryToText(bytes);
  if (!TStringFormat_XX::IsValid(encoded, true)) std::abort();
  if (TStringFormat_XX::TextToBinary(encoded) != bytes) std::abort();

  // The raw input taken as bytes survives a round trip too.
  if (TStringFormat_XX::TextToBinary(TStringFormat_XX::BinaryToText(text)) != text) std::abort();
  return 0;
}
