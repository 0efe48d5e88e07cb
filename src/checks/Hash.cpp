#include "checks/Hash.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace karvo {

namespace {

inline uint32_t LoadLittle32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

inline void StoreLittle32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

struct RoundChoose {
  static constexpr uint32_t K = 0x93C467E3u;
  static uint32_t F(uint32_t b, uint32_t c, uint32_t d) { return (b & c) | (~b & d); }
};

struct RoundOrNot {
  static constexpr uint32_t K = 0x7DB0C7A4u;
  static uint32_t F(uint32_t b, uint32_t c, uint32_t d) { return b ^ (c | ~d); }
};

struct RoundMajority {
  static constexpr uint32_t K = 0xD1BE3F81u;
  static uint32_t F(uint32_t b, uint32_t c, uint32_t d) { return (b & c) | (b & d) | (c & d); }
};

struct RoundParity {
  static constexpr uint32_t K = 0x0152CB56u;
  static uint32_t F(uint32_t b, uint32_t c, uint32_t d) { return b ^ c ^ d; }
};

struct State {
  uint32_t a, b, c, d, e;
};

// The twenty steps of one round function; w points at their first word.
template <typename Round>
inline void Steps(State& s, const uint32_t* w) {
  for (int t = 0; t < 20; ++t) {
    const uint32_t temp = std::rotl(s.a, 5) + Round::F(s.b, s.c, s.d) + s.e + w[t] + Round::K;
    s.e = s.d;
    s.d = s.c;
    s.c = std::rotl(s.b, 30);
    s.b = s.a;
    s.a = temp;
  }
}

// One 64-byte block into h. Taking the block by pointer lets HashUpdate
// compress whole blocks straight from the caller's bytes.
void CompressBlock(uint32_t (&h)[5], const uint8_t* block) {
  uint32_t w[80];
  for (int t = 0; t < 16; ++t) {
    w[t] = LoadLittle32(block + 4 * t);
  }
  for (int t = 16; t < 80; ++t) {
    w[t] = std::rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
  }
  State s{h[0], h[1], h[2], h[3], h[4]};
  Steps<RoundChoose>(s, w);
  Steps<RoundOrNot>(s, w + 20);
  Steps<RoundMajority>(s, w + 40);
  Steps<RoundParity>(s, w + 60);
  h[0] += s.a;
  h[1] += s.b;
  h[2] += s.c;
  h[3] += s.d;
  h[4] += s.e;
}

}  // namespace

void HashInit(THashContext& context) {
  context = THashContext{};
  context.H[0] = 0x67452301u;
  context.H[1] = 0xEFCDAB89u;
  context.H[2] = 0x98BADCFEu;
  context.H[3] = 0x10325476u;
  context.H[4] = 0xC3D2E1F0u;
}

void HashCompress(THashContext& context) { CompressBlock(context.H, context.Buffer); }

void HashUpdate(THashContext& context, const uint8_t* bytes, int64_t bits) {
  // BitCount follows the stated length as given; only a positive one feeds bytes.
  context.BitCount += static_cast<uint64_t>(bits);
  if (bits < 1) {
    return;
  }
  uint64_t left = (static_cast<uint64_t>(bits) + 7) / 8;
  while (left > 0) {
    if (context.Fill == 0 && left >= 64) {
      // Same result as copying into Buffer first; whole blocks skip the copy.
      CompressBlock(context.H, bytes);
      bytes += 64;
      left -= 64;
      continue;
    }
    const auto room = static_cast<uint64_t>(64 - context.Fill);
    const auto take = static_cast<int32_t>(std::min(left, room));
    std::memcpy(context.Buffer + context.Fill, bytes, static_cast<size_t>(take));
    context.Fill += take;
    bytes += take;
    left -= static_cast<uint64_t>(take);
    if (context.Fill == 64) {
      HashCompress(context);
      context.Fill = 0;
    }
  }
}

void HashFinal(THashContext& context, THashDigest& digest) {
  context.Buffer[context.Fill++] = 0x80;
  if (context.Fill > 56) {
    std::memset(context.Buffer + context.Fill, 0, static_cast<size_t>(64 - context.Fill));
    HashCompress(context);
    context.Fill = 0;
  }
  std::memset(context.Buffer + context.Fill, 0, static_cast<size_t>(56 - context.Fill));
  StoreLittle32(context.Buffer + 56, static_cast<uint32_t>(context.BitCount));
  StoreLittle32(context.Buffer + 60, static_cast<uint32_t>(context.BitCount >> 32));
  HashCompress(context);
  for (int k = 0; k < 5; ++k) {
    StoreLittle32(digest.data() + 4 * k, context.H[k]);
  }
}

void HashBigInt(BigInt& x) {
  THashContext context;
  HashInit(context);
  // The magnitude goes through a stack block of whole hash blocks, written
  // byte by byte so the order does not depend on the host; whole blocks are
  // then compressed straight from it, only the tail waits in Buffer.
  uint8_t chunk[256];
  constexpr int32_t chunkWords = sizeof(chunk) / 4;
  int64_t bitsLeft = BigBitSize(x);
  for (int32_t word = 0; bitsLeft > 0; word += chunkWords) {
    const int64_t bits = std::min<int64_t>(bitsLeft, 8 * sizeof(chunk));
    const auto words = static_cast<int32_t>((bits + 31) / 32);
    for (int32_t k = 0; k < words; ++k) {
      StoreLittle32(chunk + 4 * k, x.Words[word + k]);
    }
    HashUpdate(context, chunk, bits);
    bitsLeft -= bits;
  }
  THashDigest digest;
  HashFinal(context, digest);
  BigSetFromBytes(x, digest.data(), HashDigestBytes);
}

}  // namespace karvo
