// The eight chaining modes of the block cipher base, one small function per mode and direction,
// and the default multi-block routines they call. Every mode keeps its output at the input's
// length and pads nothing; the whole blocks are handed to the class's routines, the tail (the 1 to
// B-1 bytes after them) is covered by a keystream block E(F).
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "cipher/base/cipher.h"

namespace corvane {

void TCipher::EncryptBlocks(std::uint8_t* blocks, std::size_t n) {
  for (const std::size_t b = std::size_t(blockSize_); n != 0; --n, blocks += b) EncryptBlock(blocks);
}

void TCipher::DecryptBlocks(std::uint8_t* blocks, std::size_t n) {
  for (const std::size_t b = std::size_t(blockSize_); n != 0; --n, blocks += b) DecryptBlock(blocks);
}

bool TCipher::EncryptChain(TCipherMode, const std::uint8_t*, std::uint8_t*, std::size_t, std::uint8_t*,
                           std::uint8_t*) {
  return false;
}

namespace {

// Bytes of working memory on the stack for the modes that hand runs of blocks to EncryptBlocks
// or DecryptBlocks (the ciphertext kept for the chaining, or the cmCFB decryption registers).
constexpr std::size_t kRunBytes = 2048;

// Block XOR: dest = a xor b over n bytes (dest may be a or b). With n known at compile time this
// is a few word operations.
inline void XorBlock(const std::uint8_t* a, const std::uint8_t* b, std::size_t n, std::uint8_t* dest) {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t x, y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    x ^= y;
    std::memcpy(dest + i, &x, 8);
  }
  for (; i + 4 <= n; i += 4) {
    std::uint32_t x, y;
    std::memcpy(&x, a + i, 4);
    std::memcpy(&y, b + i, 4);
    x ^= y;
    std::memcpy(dest + i, &x, 4);
  }
  for (; i < n; ++i) dest[i] = std::uint8_t(a[i] ^ b[i]);
}

// The byte-feedback shift of a register of B bytes (B fixed): f[i] = f[i+1], f[B-1] = in. On a
// little-endian machine the bytes are shifted as words; the register is a local array, so it stays
// in registers for the sizes up to 16 bytes.
template <std::size_t B>
inline void ShiftIn(std::uint8_t* f, std::uint8_t in) {
  if constexpr (std::endian::native == std::endian::little && B % 8 == 0) {
    std::uint64_t w[B / 8];
    std::memcpy(w, f, B);
    for (std::size_t k = 0; k + 1 < B / 8; ++k) w[k] = (w[k] >> 8) | (w[k + 1] << 56);
    w[B / 8 - 1] = (w[B / 8 - 1] >> 8) | (std::uint64_t(in) << 56);
    std::memcpy(f, w, B);
  } else if constexpr (std::endian::native == std::endian::little && B % 4 == 0) {
    std::uint32_t w[B / 4];
    std::memcpy(w, f, B);
    for (std::size_t k = 0; k + 1 < B / 4; ++k) w[k] = (w[k] >> 8) | (w[k + 1] << 24);
    w[B / 4 - 1] = (w[B / 4 - 1] >> 8) | (std::uint32_t(in) << 24);
    std::memcpy(f, w, B);
  } else {
    std::memmove(f, f + 1, B - 1);
    f[B - 1] = in;
  }
}

// What a mode works on: the cipher's block routines, its feedback register F and scratch block
// S, and the block size B, fixed at compile time for the common sizes (Fixed 0: any size). The
// mode functions are inlined into the one function per block size that chooses among them, where
// the view lives in registers, as the per-block work of a short message needs.
template <std::size_t Fixed>
struct Chain {
  TCipher& cipher;
  std::uint8_t* const f;
  std::uint8_t* const s;
  const std::size_t anySize;  // the block size when it is not fixed

  Chain(TCipher& c, std::uint8_t* feedback, std::uint8_t* scratch)
      : cipher(c), f(feedback), s(scratch), anySize(std::size_t(c.BlockSize())) {}

  // B: a constant for the fixed sizes, whether or not the mode function is inlined.
  std::size_t B() const { return Fixed != 0 ? Fixed : anySize; }

  // S = E(F): the keystream block of a tail and of the byte modes.
  [[gnu::always_inline]] void EncryptRegister() const {
    std::memcpy(s, f, B());
    cipher.EncryptBlock(s);
  }
  // The tail of the block modes: out = in xor S with S = E(F), over the tail's bytes; the
  // register then moves on to F xor S when moveRegister is set.
  [[gnu::always_inline]] void KeystreamTail(const std::uint8_t* in, std::uint8_t* out, std::size_t n,
                                            bool moveRegister) const {
    EncryptRegister();
    XorBlock(in, s, n, out);
    if (moveRegister) XorBlock(f, s, B(), f);
  }
  // The tail of the block MAC modes does not enter the register: F = F xor E(F).
  [[gnu::always_inline]] void MacTail(std::size_t n) const {
    if (n == 0) return;
    EncryptRegister();
    XorBlock(f, s, B(), f);
  }
  // The byte-feedback loop over size bytes: step(reg, i) handles byte i from the register reg
  // and gives the byte that is shifted in. With a fixed size the register is worked on in a
  // local copy.
  template <class Step>
  [[gnu::always_inline]] void ByteFeedback(std::size_t size, Step&& step) const {
    if constexpr (Fixed != 0) {
      std::uint8_t reg[Fixed];
      std::memcpy(reg, f, Fixed);
      for (std::size_t i = 0; i < size; ++i) ShiftIn<Fixed>(reg, step(reg, i));
      std::memcpy(f, reg, Fixed);
    } else {
      for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t in = step(f, i);
        std::memmove(f, f + 1, B() - 1);
        f[B() - 1] = in;
      }
    }
  }
  // S = E(reg), the keystream block of one byte of a byte mode.
  [[gnu::always_inline]] std::uint8_t KeystreamByte(const std::uint8_t* reg) const {
    std::memcpy(s, reg, B());
    cipher.EncryptBlock(s);
    return s[0];
  }
};

// cmCTS encryption: C = E(P xor F), then F = F xor C; the tail as KeystreamTail.
template <std::size_t Fixed>
[[gnu::always_inline]] inline void EncryptCts(const Chain<Fixed>& c, const std::uint8_t* source,
                                              std::uint8_t* dest, std::size_t size) {
  const std::size_t b = c.B(), whole = size - size % b;
  if (!c.cipher.EncryptChain(TCipherMode::cmCTS, source, dest, whole / b, c.f, c.s))
    for (std::size_t i = 0; i < whole; i += b) {
      XorBlock(source + i, c.f, b, dest + i);
      c.cipher.EncryptBlock(dest + i);
      XorBlock(dest + i, c.f, b, c.f);
    }
  if (whole < size) c.KeystreamTail(source + whole, dest + whole, size - whole, true);
}

// cmCBC encryption: C = E(P xor F), then F = C; the tail as KeystreamTail.
template <std::size_t Fixed>
[[gnu::always_inline]] inline void EncryptCbc(const Chain<Fixed>& c, const std::uint8_t* source,
                                              std::uint8_t* dest, std::size_t size) {
  const std::size_t b = c.B(), whole = size - size % b;
  if (!c.cipher.EncryptChain(TCipherMode::cmCBC, source, dest, whole / b, c.f, c.s))
    for (std::size_t i = 0; i < whole; i += b) {
      XorBlock(source + i, c.f, b, dest + i);
      c.cipher.EncryptBlock(dest + i);
      std::memcpy(c.f, dest + i, b);
    }
  if (whole < size) c.KeystreamTail(source + whole, dest + whole, size - whole, true);
}

// cmCFB encryption, byte by byte: out = in xor E(F)[0]; F shifts in the output byte.
template <std::size_t Fixed>
[[gnu::always_inline]] inline void EncryptCfb(const Chain<Fixed>& c, const std::uint8_t* source,
                                              std::uint8_t* dest, std::size_t size) {
  if (c.cipher.EncryptChain(TCipherMode::cmCFB, source, dest, size, c.f, c.s)) return;
  c.ByteFeedback(size, [&](const std::uint8_t* reg, std::size_t i) {
    return dest[i] = std::uint8_t(source[i] ^ c.KeystreamByte(reg));
  });
}

// cmOFB, the same in both directions: out = in xor E(F)[0]; F shifts in E(F)[0].
template <std::size_t Fixed>
[[gnu::always_inline]] inline void CryptOfb(const Chain<Fixed>& c, const std::uint8_t* source, std::uint8_t* dest,
                                            std::size_t size) {
  if (c.cipher.EncryptChain(TCipherMode::cmOFB, source, dest, size, c.f, c.s)) return;
  c.ByteFeedback(size, [&](const std::uint8_t* reg, std::size_t i) {
    const std::uint8_t key = c.KeystreamByte(reg);
    dest[i] = std::uint8_t(source[i] ^ key);
    return key;
  });
}

// cmECB: each whole block through E (decrypt: D) in place in the output; a tail gets the
// keystream E(F), which leaves F as it is.
template <std::size_t Fixed, bool Decrypt>
[[gnu::always_inline]] inline void CryptEcb(const Chain<Fixed>& c, const std::uint8_t* source, std::uint8_t* dest,
                                            std::size_t size) {
  const std::size_t b = c.B(), whole = size - size % b;
  if (source != dest) std::memmove(dest, source, size);
  if constexpr (Decrypt)
    c.cipher.DecryptBlocks(dest, whole / b);
  else
    c.cipher.EncryptBlocks(dest, whole / b);
  if (whole < size) c.KeystreamTail(dest + whole, dest + whole, size - whole, false);
}

// cmCTSMAC: no output; F = E(P xor F) xor F for each whole block, then the MAC tail.
template <std::size_t Fixed>
[[gnu::always_inline]] inline void MacCts(const Chain<Fixed>& c, const std::uint8_t* source, std::uint8_t* dest,
                                          std::size_t size) {
  const std::size_t b = c.B(), whole = size - size % b;
  if (!c.cipher.EncryptChain(TCipherMode::cmCTSMAC, source, dest, whole / b, c.f, c.s))
    for (std::size_t i = 0; i < whole; i += b) {
      XorBlock(source + i, c.f, b, c.s);
      c.cipher.EncryptBlock(c.s);
      XorBlock(c.f, c.s, b, c.f);
    }
  c.MacTail(size - whole);
}

// cmCBCMAC: no output; F = E(P xor F) for each whole block, then the MAC tail.
template <std::size_t Fixed>
[[gnu::always_inline]] inline void MacCbc(const Chain<Fixed>& c, const std::uint8_t* source, std::uint8_t* dest,
                                          std::size_t size) {
  const std::size_t b = c.B(), whole = size - size % b;
  if (!c.cipher.EncryptChain(TCipherMode::cmCBCMAC, source, dest, whole / b, c.f, c.s))
    for (std::size_t i = 0; i < whole; i += b) {
      XorBlock(source + i, c.f, b, c.s);
      c.cipher.EncryptBlock(c.s);
      std::memcpy(c.f, c.s, b);
    }
  c.MacTail(size - whole);
}

// cmCFBMAC: no output; byte by byte F shifts in in xor E(F)[0].
template <std::size_t Fixed>
[[gnu::always_inline]] inline void MacCfb(const Chain<Fixed>& c, const std::uint8_t* source, std::uint8_t* dest,
                                          std::size_t size) {
  if (c.cipher.EncryptChain(TCipherMode::cmCFBMAC, source, dest, size, c.f, c.s)) return;
  c.ByteFeedback(size, [&](const std::uint8_t* reg, std::size_t i) {
    return std::uint8_t(source[i] ^ c.KeystreamByte(reg));
  });
}

// cmCTS (Cts) and cmCBC decryption in place in the output: P = D(C) xor F, then F = F xor C
// (cmCTS) or F = C (cmCBC); the tail as KeystreamTail.
template <std::size_t Fixed, bool Cts>
[[gnu::always_inline]] inline void DecryptFeedbackBlocks(const Chain<Fixed>& c, const std::uint8_t* source,
                                                         std::uint8_t* dest, std::size_t size) {
  const std::size_t b = c.B(), whole = size - size % b;
  // For the fixed sizes the register is worked on in a local copy, which stays in registers: each
  // block then neither waits for the register's last store nor reads it back in other pieces than
  // it was written in.
  alignas(16) std::uint8_t local[Fixed != 0 ? Fixed : 1];
  std::uint8_t* const f = Fixed != 0 ? local : c.f;
  if constexpr (Fixed != 0) std::memcpy(local, c.f, Fixed);
  auto chainIn = [&](const std::uint8_t* ciphertext) {
    if constexpr (Cts)
      XorBlock(f, ciphertext, b, f);
    else
      std::memcpy(f, ciphertext, b);
  };
  if (source != dest) std::memmove(dest, source, size);
  if (b > kRunBytes || whole == b) {
    // A block larger than the run memory, or a single block: one block at a time, the ciphertext
    // kept in the scratch block.
    for (std::size_t i = 0; i < whole; i += b) {
      std::memcpy(c.s, dest + i, b);
      c.cipher.DecryptBlock(dest + i);
      XorBlock(dest + i, f, b, dest + i);
      chainIn(c.s);
    }
  } else {
    // Runs of blocks decrypted at once; the ciphertext of the run is kept for the chaining.
    const std::size_t run = std::max<std::size_t>(kRunBytes / b, 1);  // blocks per run
    alignas(16) std::uint8_t kept[kRunBytes];
    for (std::size_t i = 0; i < whole;) {
      const std::size_t n = std::min(run, (whole - i) / b);
      std::uint8_t* const blocks = dest + i;
      std::memcpy(kept, blocks, n * b);
      c.cipher.DecryptBlocks(blocks, n);
      for (std::size_t k = 0; k < n; ++k) {
        XorBlock(blocks + k * b, f, b, blocks + k * b);
        chainIn(kept + k * b);
      }
      std::memcpy(c.s, kept + (n - 1) * b, b);  // as the block-at-a-time loop leaves it
      i += n * b;
    }
  }
  if constexpr (Fixed != 0) std::memcpy(c.f, local, Fixed);
  if (whole < size) c.KeystreamTail(dest + whole, dest + whole, size - whole, true);
}

// cmCFB decryption, byte by byte: out = in xor E(F)[0]; F shifts in the input byte.
template <std::size_t Fixed>
[[gnu::always_inline]] inline void DecryptCfb(const Chain<Fixed>& c, const std::uint8_t* source,
                                              std::uint8_t* dest, std::size_t size) {
  const std::size_t b = c.B();
  if (b > kRunBytes / 2) {
    c.ByteFeedback(size, [&](const std::uint8_t* reg, std::size_t i) {
      const std::uint8_t in = source[i];
      dest[i] = std::uint8_t(in ^ c.KeystreamByte(reg));
      return in;
    });
    return;
  }
  // The register of every byte is known from the ciphertext: the b bytes before it in the stream
  // (the register, then the ciphertext). A run of such registers is encrypted at once. The window
  // holds the register followed by the run's ciphertext bytes; the registers follow it.
  const std::size_t perRun = std::max<std::size_t>((kRunBytes - b) / (b + 1), 1);
  alignas(16) std::uint8_t kept[kRunBytes];
  std::uint8_t* const window = kept;
  std::uint8_t* const regs = kept + b + perRun;
  for (std::size_t i = 0; i < size;) {
    const std::size_t n = std::min(perRun, size - i);
    std::memcpy(window, c.f, b);
    std::memcpy(window + b, source + i, n);
    for (std::size_t k = 0; k < n; ++k) std::memcpy(regs + k * b, window + k, b);
    c.cipher.EncryptBlocks(regs, n);
    for (std::size_t k = 0; k < n; ++k) dest[i + k] = std::uint8_t(window[b + k] ^ regs[k * b]);
    std::memcpy(c.f, window + n, b);
    std::memcpy(c.s, regs + (n - 1) * b, b);  // as the byte-at-a-time loop leaves it
    i += n;
  }
}

// The mode functions for one block size, chosen by the cipher's Mode (already checked).
template <std::size_t Fixed>
void Encrypt(TCipher& cipher, std::uint8_t* f, std::uint8_t* s, const std::uint8_t* source, std::uint8_t* dest,
             std::size_t size) {
  const Chain<Fixed> c(cipher, f, s);
  switch (cipher.Mode) {
    case TCipherMode::cmCTS: return EncryptCts(c, source, dest, size);
    case TCipherMode::cmCBC: return EncryptCbc(c, source, dest, size);
    case TCipherMode::cmCFB: return EncryptCfb(c, source, dest, size);
    case TCipherMode::cmOFB: return CryptOfb(c, source, dest, size);
    case TCipherMode::cmECB: return CryptEcb<Fixed, false>(c, source, dest, size);
    case TCipherMode::cmCTSMAC: return MacCts(c, source, dest, size);
    case TCipherMode::cmCBCMAC: return MacCbc(c, source, dest, size);
    case TCipherMode::cmCFBMAC: return MacCfb(c, source, dest, size);
  }
}

// Decryption in the MAC modes computes the same register as encryption.
template <std::size_t Fixed>
void Decrypt(TCipher& cipher, std::uint8_t* f, std::uint8_t* s, const std::uint8_t* source, std::uint8_t* dest,
             std::size_t size) {
  const Chain<Fixed> c(cipher, f, s);
  switch (cipher.Mode) {
    case TCipherMode::cmCTS: return DecryptFeedbackBlocks<Fixed, true>(c, source, dest, size);
    case TCipherMode::cmCBC: return DecryptFeedbackBlocks<Fixed, false>(c, source, dest, size);
    case TCipherMode::cmCFB: return DecryptCfb(c, source, dest, size);
    case TCipherMode::cmECB: return CryptEcb<Fixed, true>(c, source, dest, size);
    case TCipherMode::cmOFB:
    case TCipherMode::cmCTSMAC:
    case TCipherMode::cmCBCMAC:
    case TCipherMode::cmCFBMAC: return Encrypt<Fixed>(cipher, f, s, source, dest, size);
  }
}

}  // namespace

void TCipher::EncryptBuffer(const std::uint8_t* source, std::uint8_t* dest, std::size_t size) {
  if (!Ready()) NotReady();
  if (!IsCipherMode(Mode)) CheckMode();
  if (size == 0) return;
  std::uint8_t* const f = feedback_.get();
  std::uint8_t* const s = scratch_.get();
  switch (blockSize_) {
    case 8: return Encrypt<8>(*this, f, s, source, dest, size);
    case 12: return Encrypt<12>(*this, f, s, source, dest, size);
    case 16: return Encrypt<16>(*this, f, s, source, dest, size);
    default: return Encrypt<0>(*this, f, s, source, dest, size);
  }
}

void TCipher::DecryptBuffer(const std::uint8_t* source, std::uint8_t* dest, std::size_t size) {
  if (!Ready()) NotReady();
  if (!IsCipherMode(Mode)) CheckMode();
  if (size == 0) return;
  std::uint8_t* const f = feedback_.get();
  std::uint8_t* const s = scratch_.get();
  switch (blockSize_) {
    case 8: return Decrypt<8>(*this, f, s, source, dest, size);
    case 12: return Decrypt<12>(*this, f, s, source, dest, size);
    case 16: return Decrypt<16>(*this, f, s, source, dest, size);
    default: return Decrypt<0>(*this, f, s, source, dest, size);
  }
}

}  // namespace corvane
