#include "checks/Signature.h"

#include <bit>

#include "arith/BigTempPool.h"
#include "base/Clock.h"
#include "checks/Hash.h"

namespace karvo {

namespace {

constexpr int32_t ChainBits = 160;

void AppendLittle16(uint8_t*& p, uint16_t v) {
  *p++ = static_cast<uint8_t>(v);
  *p++ = static_cast<uint8_t>(v >> 8);
}

// One value v into the chain, old being the chain before the step:
// chain := hash(((2·c·2^bits(i) + i)·2 + neg(v))·2^bits(v) + abs(v)) xor old,
// c being the chain or 2^160 for a zero chain; a zero i or v adds nothing.
void FeedValue(BigInt& chain, const BigInt& old, uint32_t testNumber, const BigInt& v) {
  if (BigIsZero(chain)) {
    BigSetBit(chain, ChainBits);
  }
  if (testNumber != 0) {
    BigShiftLeft(chain, 1 + std::bit_width(testNumber));
    BigAddWord(chain, testNumber);
    BigShiftLeft(chain, 1);
  } else {
    BigShiftLeft(chain, 2);
  }
  if (!BigIsZero(v)) {
    if (BigIsNegative(v)) {
      BigIncrement(chain);
    }
    BigShiftLeft(chain, BigBitSize(v));
    // The low bits are zero, so adding |v| only fills them in; subtracting a
    // negative v adds its magnitude without a copy.
    if (BigIsNegative(v)) {
      BigSub(chain, v);
    } else {
      BigAdd(chain, v);
    }
  }
  HashBigInt(chain);
  BigXor(chain, old);
}

}  // namespace

void SignatureSeed(BigInt& x) {
  const TDateTimeFields now = UtcNow();
  uint8_t bytes[16];
  uint8_t* p = bytes;
  for (const uint16_t field : {now.Year, now.Month, now.DayOfWeek, now.Day, now.Hour, now.Minute,
                               now.Second, now.Millisecond}) {
    AppendLittle16(p, field);
  }
  BigSetFromBytes(x, bytes, sizeof(bytes));
  HashBigInt(x);
}

void SignatureUpdate(BigInt& chain, uint32_t testNumber, std::span<const BigInt* const> values) {
  BigTemps temps(1);
  BigInt& old = temps[0];
  for (const BigInt* v : values) {
    BigAssign(old, chain);
    // A value that is the chain itself is fed as it was before the step.
    FeedValue(chain, old, testNumber, v == &chain ? old : *v);
  }
}

void SignatureUpdate(BigInt& chain, uint32_t testNumber, std::initializer_list<const BigInt*> values) {
  SignatureUpdate(chain, testNumber, std::span<const BigInt* const>(values.begin(), values.size()));
}

std::string SignatureText(const BigInt& chain) { return BigToHex(chain, 40, true, false); }

void SignatureFromText(BigInt& chain, std::string_view text) {
  if (text.empty()) {
    BigSetZero(chain);
  } else {
    BigFromString(chain, text, 16);
  }
}

bool SignatureMatches(const BigInt& chain, std::string_view stored) {
  return SignatureText(chain) == stored;
}

}  // namespace karvo
