// The arithmetic of one test on the loaded fields: the N-1, N+1 and curve
// tests. Each proves the current N prime provided R is.

#include <string_view>

#include "arith/BigMod.h"
#include "arith/BigTempPool.h"
#include "base/Errors.h"
#include "checks/EcCurves.h"
#include "checks/Verifier.h"

namespace karvo {

namespace {

// The blanks around the last "+" are non-breaking spaces (0xA0); the bound
// actually applied adds 6, which is enough to exceed (N^(1/4) + 1)^2.
constexpr const char* TextRBound = "R <= N^(1/2) + 2 N^(1/4)\xA0+\xA0" "10";

// The table of multiples inverts; a non-invertible element there can only
// come from a proper factor of N.
bool IsTableInversionError(const EKV& error) {
  const std::string_view text = error.what();
  return text == "Internal error 1003.3.3" || text == "Internal error 1003.3.4";
}

// EcMultiply that reports a factor of N met in its table as false.
bool MultiplyPoint(BigInt& X, BigInt& Y, BigInt& Z, const BigInt& k, const BigInt& A,
                   const BigInt& N) {
  try {
    EcMultiply(X, Y, Z, k, A, N);
  } catch (const EKV& error) {
    if (!IsTableInversionError(error)) {
      throw;
    }
    return false;
  }
  return true;
}

}  // namespace

bool TVerifier::CheckNMinus1() {
  BigAssign(Work1, B);
  BigPowMod(Work1, S, N);
  BigAssign(Work2, Work1);
  BigDecrement(Work2);
  if (!BigCoprime(Work2, N)) {
    return Fail("gcd(B^S - 1, N) <> 1");
  }
  BigPowMod(Work1, R, N);
  return BigIsOne(Work1) || Fail("(B^(N-1) mod N) <> 1");
}

bool TVerifier::CheckNPlus1() {
  // D = P^2 - 4Q with P in A and Q in B.
  BigSqrTo(Work1, A);
  BigAssign(Work2, B);
  BigShiftLeft(Work2, 2);
  BigSub(Work1, Work2);
  BigMod(Work1, N);
  if (BigJacobi(Work1, N) != -1) {
    return Fail("Jacobi(D,N) <> -1");
  }
  // (N+1)/2 = (S/2) R and V[m n](P, Q) = V[n](V[m](P, Q), Q^m): the ladder
  // over S/2 serves both conditions.
  BigAssign(Work2, S);
  BigShiftRight(Work2, 1);
  BigLucasV(Work1, Work2, A, N, B);
  BigAssign(HalfN, B);
  BigPowMod(HalfN, Work2, N);
  BigLucasV(Work3, R, Work1, N, HalfN);
  if (!BigIsZero(Work3)) {
    return Fail("(V[(N+1)/2] mod N) <> 0");
  }
  return !BigIsZero(Work1) || Fail("(V[S/2] mod N) = 0");
}

bool TVerifier::CheckCurve(int32_t type) {
  if (!BigIsOdd(N) || BigCompareWord(N, 5) < 0 || BigMod3(N) == 0) {
    return Fail("N is not a valid curve modulus");
  }
  BigAssign(HalfN, N);
  BigIsqrt(HalfN);
  BigAssign(Work1, HalfN);
  BigIsqrt(Work1);
  BigShiftLeft(Work1, 1);
  BigAdd(Work1, HalfN);
  BigAddWord(Work1, 6);
  if (BigCompare(R, Work1) <= 0) {
    return Fail(TextRBound);
  }
  if (type == 4) {
    BigAssign(Work1, A);
    EcCurveFromJ(A, B, Work1, N);
  }
  // The point (T u, u^2) lies on the twist of the curve by
  // u = T^3 + A T + B, whose coefficients A u^2 and B u^3 replace A and B.
  BigSqrTo(Work3, T);
  BigAdd(Work3, A);
  BigMul(Work3, T);
  BigAdd(Work3, B);
  BigMod(Work3, N);
  BigMulTo(Work1, T, Work3);
  BigMod(Work1, N);
  BigSqrTo(Work2, Work3);
  BigMod(Work2, N);
  BigMul(A, Work2);
  BigMod(A, N);
  BigMul(B, Work2);
  BigMod(B, N);
  BigMul(B, Work3);
  BigMod(B, N);
  // Non-singular modulo every prime factor, not merely modulo N.
  if (!EcCurveCoprimeDiscriminant(A, B, N)) {
    return Fail("E(A,B)/N is not a valid curve");
  }
  BigInt& Z = HalfN;
  BigSetOne(Z);
  if (!MultiplyPoint(Work1, Work2, Z, S, A, N)) {
    return Fail("Invalid inversion modulo N");
  }
  if (BigIsZero(Z)) {
    return Fail("(X,Y)#S is the identity point");
  }
  if (!EcToAffine(Work1, Work2, Z, N)) {
    return Fail("Invalid inversion modulo N");
  }
  // Z of [R]Q ≡ 0 (mod N) would not do: the Jacobian formulas never invert,
  // so once Z vanishes modulo one prime factor it stays zero there whatever
  // the point really is. [R-1]Q = -Q with an invertible Z is sound: every
  // step was then a true group operation modulo every factor.
  BigAssign(T, Work1);
  BigAssign(Work3, Work2);
  BigTemps temps(1);
  BigInt& rMinus1 = temps[0];
  BigAssign(rMinus1, R);
  BigDecrement(rMinus1);
  if (!MultiplyPoint(Work1, Work2, Z, rMinus1, A, N)) {
    return Fail("Invalid inversion modulo N");
  }
  if (BigIsZero(Z)) {
    return Fail("(X,Y)#(S*R) is not the identity point");
  }
  if (!BigCoprime(Z, N)) {
    return Fail("Invalid inversion modulo N");
  }
  return EcIsNegativeOf(Work1, Work2, Z, T, Work3, N) ||
         Fail("(X,Y)#(S*R) is not the identity point");
}

}  // namespace karvo
