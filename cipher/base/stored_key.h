// The fixed key text under which every stored value of the settings files is encrypted.
// Both deliverables use exactly these 16 raw bytes; changing them makes every stored file unreadable.
#pragma once

#include <string_view>

namespace corvane {

inline constexpr char kStoredValueKeyText[16] = {'\x8C', '\x1F', '\x03', '\xD5', '\x92', '\x9A', '\x0E', '\xB7',
                                                 '\xC1', '\xF0', '\x1D', '\x96', '\x9B', '\x05', '\xE8', '\xBA'};

// None of the bytes is a printable character.
constexpr std::string_view StoredValueKeyText() { return std::string_view(kStoredValueKeyText, 16); }

// The cipher of stored values, selected by name in the cipher manager.
inline constexpr std::string_view kStoredValueAlgorithm = "IDEA";

}  // namespace corvane
