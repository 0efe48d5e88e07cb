#pragma once

// The 160-bit hash of the certificate signature. It is built like SHA-1 but
// with its own round constants, its own second round function and
// little-endian byte order, so a stock SHA-1 never gives its values.

#include <array>
#include <cstdint>

#include "arith/BigInt.h"

namespace karvo {

inline constexpr int32_t HashDigestBytes = 20;
using THashDigest = std::array<uint8_t, HashDigestBytes>;

struct THashContext {
  uint32_t H[5] = {};       // chaining state H0..H4
  uint64_t BitCount = 0;    // message bits fed so far
  int32_t Fill = 0;         // bytes waiting in Buffer, 0..63
  uint8_t Buffer[64] = {};  // the block being filled
};

// Clears the context and loads the initial state.
void HashInit(THashContext& context);
// Feeds ceil(bits/8) bytes and counts bits (not bytes) into BitCount; bits < 1
// feeds nothing.
void HashUpdate(THashContext& context, const uint8_t* bytes, int64_t bits);
// Pads with 0x80, zeros and the 64-bit bit count (least significant byte
// first), compresses, and writes H0..H4, each least significant byte first.
void HashFinal(THashContext& context, THashDigest& digest);
// Compresses Buffer into H; Fill is the caller's business.
void HashCompress(THashContext& context);

// x := the digest of |x| (its bytes least significant first, bit length of
// |x| as the length), read as a non-negative integer least significant byte
// first. The sign is not hashed; zero hashes the empty message.
void HashBigInt(BigInt& x);

}  // namespace karvo
