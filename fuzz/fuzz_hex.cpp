// Fuzzes the hexadecimal decoders (upper- and lower-case formats) and their validity check.
// Decoding never reads outside the text; whatever it gives, the encoder's text of those bytes
// decodes back to exactly them, and the output is never longer than half the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cipher/formats/formats.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const std::string bytes = TStringFormat_HEX::TextToBinary(text);
  if (bytes != TStringFormat_HEXL::TextToBinary(text)) std::abort();  // both read the same way
  if (bytes.size() > size / 2) std::abort();

  for (const std::string& encoded :
       {TStringFormat_HEX::BinaryToText(bytes), TStringFormat_HEXL::BinaryToText(bytes)}) {
    if (encoded.size() != 2 * bytes.size()) std::abort();
    if (!TStringFormat_HEX::IsValid(encoded, true) || !TStringFormat_HEXL::IsValid(encoded, true)) std::abort();
    if (TStringFormat_HEX::TextToBinary(encoded) != bytes) std::abort();
  }

  // The raw input taken as bytes survives a round trip too.
  if (TStringFormat_HEX::TextToBinary(TStringFormat_HEXL::BinaryToText(text)) != text) std::abort();

  (void)TStringFormat_HEX::IsValid(text, true);
  (void)TStringFormat_HEXL::IsValid(text, true);
  return 0;
}
