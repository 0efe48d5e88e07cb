#pragma once

// The certificate signature: a chain of 160-bit hashes over every number of
// every test, started from a seed that the certificate stores in "1$", with
// the running value in "2$". It has no key, so it guards against careless
// edits, not against someone who re-runs the chain.

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "arith/BigInt.h"

namespace karvo {

// x := a fresh seed below 2^160: the hash of the current UTC time (UtcNow),
// its eight 16-bit fields laid out least significant byte first.
void SignatureSeed(BigInt& x);

// Feeds one test's signed values, in order, into the chain. testNumber is the
// test's section number (1 for the first test); a zero chain starts from
// 2^160. The result is non-negative, and below 2^160 when the chain was.
void SignatureUpdate(BigInt& chain, uint32_t testNumber, std::span<const BigInt* const> values);
void SignatureUpdate(BigInt& chain, uint32_t testNumber, std::initializer_list<const BigInt*> values);

// The text stored in "1$" and "2$": 40 upper-case hexadecimal digits with
// leading zeros, no sign.
std::string SignatureText(const BigInt& chain);

// Reads a stored "1$" or "2$"; an empty value is zero. Text that is not
// hexadecimal raises the parser's internal error (BigFromString).
void SignatureFromText(BigInt& chain, std::string_view text);

// Whether the chain's text equals the stored "2$", compared as plain strings.
bool SignatureMatches(const BigInt& chain, std::string_view stored);

}  // namespace karvo
