#include "polys/InvariantToJ.h"

#include <cstddef>
#include <initializer_list>

#include "arith/BigMod.h"
#include "arith/BigTempPool.h"
#include "base/Errors.h"
#include "base/Globals.h"
#include "polys/PolysInternal.h"
#include "polys/ZPolyRoots.h"

namespace karvo {

namespace {

using TCoefficients = std::initializer_list<const char*>;

// The relation polynomials in x, coefficients from x^0 upward.
const TCoefficients A17 = {"4913", "-8730057090", "5170904888984217", "-1020930937750503845680",
    "1674871156833326914740", "-782798617139667376440", "25265814014664728452",
    "29822585665567020720", "3930522394593478542", "274068816038694900", "12417332467452654",
    "396142696578480", "9242645403716", "160172066760", "2058738420", "19248080", "125001", "510",
    "1"};
const TCoefficients B17 = {"0", "567877726", "249471554573688", "527256473998693500",
    "3208047335393719960", "1855481229180865218", "249498731117744880", "15050663748715720",
    "512956753613040", "10935992495298", "149639194520", "1273189500", "6027384", "10846"};
const TCoefficients C17 = {"0", "-2547081", "281395910081", "-30176599785714", "57276026369631",
    "-12771700921226", "582813995247", "-6334200306", "13895953", "-2601"};
const TCoefficients D17 = {"0", "2982", "13396068", "14192620", "304164", "102"};
const TCoefficients A19 = {"361", "37507528", "1299029281420", "14998237694760268",
    "37717059200889382", "21913915458273064", "-6236737094541574", "-2792663674453360",
    "1951802961922337", "-570206255492636", "107820178372660", "-14818816436876",
    "1555736163737", "-127757600560", "8284685786", "-423717176", "16884502", "-509732", "11020",
    "-152", "1"};
const TCoefficients B19 = {"0", "-1075910", "24879503032", "-5786452184639", "37088471763616",
    "-46304956732366", "20685669251624", "-4417019896714", "516859448264", "-35139121246",
    "1393783456", "-30558479", "316312", "-950"};
const TCoefficients C19 = {"0", "2236", "6707323", "52948896", "32293274", "3153696", "52003",
    "76"};
const TCoefficients A37 = {"37", "37185766", "12457728941119", "1391276123624654484",
    "27015683552857755663", "127005727208358860046", "-202886274707963972251",
    "-964509517660111192192", "4057439288686298695382", "-7883727665747688475692",
    "10281484152303245260818", "-10118560675839787909320", "7970399984056882856582",
    "-5209071338378851654084", "2894505306278890999418", "-1391871588081328894176",
    "586950056678008174767", "-219285278035079647566", "73158453942129216101",
    "-21930159274875768340", "5934737012925361097", "-1455089762721554526",
    "324046151692822851", "-65652295038031584", "12109774297290146", "-2033326533306724",
    "310467691158446", "-43022415314760", "5393759970426", "-609089044812", "61576674206",
    "-5527234048", "435578393", "-29669634", "1708179", "-80364", "2923", "-74", "1"};
const TCoefficients B37 = {"0", "-1072931", "241622699732", "-553028681237980",
    "31256403287705908", "-297211336623010373", "912542762491193356", "-1382543441496469628",
    "1304897459560425980", "-873344562301680274", "446168350452578004", "-182138971323872252",
    "61189771760924884", "-17250429949760481", "4132343374686052", "-847581143086748",
    "149337243921348", "-22594430462194", "2922082721900", "-320070266972", "29231986012",
    "-2168974373", "125423044", "-5202940", "132164", "-851"};
const TCoefficients C37 = {"0", "2234", "67749405", "6950541020", "81172957603", "258140132876",
    "312684193809", "168955781020", "43765830693", "5517967916", "325849639", "8050460", "63825",
    "74"};

// v := the polynomial at x modulo N (Horner).
void EvalText(BigInt& v, const TCoefficients& coefficients, const BigInt& x, const BigInt& N) {
  BigTemps t(1);
  BigSetZero(v);
  for (auto it = std::rbegin(coefficients); it != std::rend(coefficients); ++it) {
    BigFromString(t[0], *it, 10);
    MulMod(v, x, N);
    BigAdd(v, t[0]);
    BigMod(v, N);
  }
}

void EvalSmall(BigInt& v, std::initializer_list<int32_t> coefficients, const BigInt& x,
               const BigInt& N) {
  BigSetZero(v);
  for (auto it = std::rbegin(coefficients); it != std::rend(coefficients); ++it) {
    MulMod(v, x, N);
    BigAddWord(v, static_cast<Word>(*it));
    BigMod(v, N);
  }
}

// slots[0] := P(x)^3·Q(x)/x; false when x ≡ 0.
bool Formula(BigInt* slots, const BigInt& N, std::initializer_list<int32_t> p,
             std::initializer_list<int32_t> q) {
  BigTemps t(2);
  BigInt& x = slots[0];
  BigMod(x, N);
  BigAssign(t[0], x);
  if (!BigInvMod(t[0], N)) {
    return false;
  }
  EvalSmall(t[1], q, x, N);
  MulMod(t[0], t[1], N);
  EvalSmall(t[1], p, x, N);
  BigAssign(x, t[1]);
  BigSqr(x);
  MulMod(x, t[1], N);
  MulMod(x, t[0], N);
  return true;
}

// The roots of A + B·T + C·T^2 (+ D·T^3) - x·T^degree, all in the slots.
int32_t Relation(BigInt* slots, const BigInt& N, const BigInt& c,
                 std::initializer_list<const TCoefficients*> parts) {
  const auto degree = static_cast<int32_t>(parts.size());
  CurrentDegree = degree;
  DegreeChanged = true;
  ZPolyTemps polys(1);
  ZPoly& r = polys[0];
  ZPolySetZeroDegree(r, degree);
  BigInt& x = slots[0];
  BigMod(x, N);
  if (BigIsZero(x)) {
    return 0;
  }
  int32_t i = 0;
  for (const TCoefficients* part : parts) {
    EvalText(r.Coeffs[static_cast<size_t>(i++)], *part, x, N);
  }
  BigSubTo(r.Coeffs[static_cast<size_t>(degree)], N, x);
  ZPolyReduce(r, N);
  if (r.Degree < 1 || !ZPolyRootPart(r, N) || r.Degree < 1) {
    return 0;
  }
  return ZPolyAllRoots(slots, 4, r, c, N);
}

}  // namespace

int32_t InvariantToJ(BigInt* slots, const BigInt& N, const BigInt& c, int32_t code, bool negate) {
  BigInt& x = slots[0];
  if (code == 9 || code == 15 || code == 51) {
    BigTemps t(1);
    BigAssign(t[0], x);
    BigSqr(x);
    MulMod(x, t[0], N);
  }
  switch (code) {
    case 17:
    case 51:
      return Relation(slots, N, c, {&A17, &B17, &C17, &D17});
    case 19:
      return Relation(slots, N, c, {&A19, &B19, &C19});
    case 37:
      return Relation(slots, N, c, {&A37, &B37, &C37});
    default:
      break;
  }
  CurrentDegree = 1;
  DegreeChanged = true;
  bool ok = true;
  switch (code) {
    case -12:
    case -6:
    case -4:
    case -3:
    case -2:
    case -1: {
      struct TWeber {
        int32_t Code, Power, Shift;
      };
      static constexpr TWeber Weber[] = {{-12, 2, 6}, {-6, 4, 6}, {-4, 6, 6},
                                         {-3, 8, 12}, {-2, 12, 6}, {-1, 24, 12}};
      for (const TWeber& w : Weber) {
        if (w.Code == code) {
          BigPowModWord(x, static_cast<Word>(w.Power), N);
          BigShiftLeft(x, w.Shift);
        }
      }
      if (negate) {
        BigNegate(x);
      }
      ok = Formula(slots, N, {16, 1}, {1});
      break;
    }
    case 2:
      BigShiftLeft(x, 5);
      BigMod(x, N);
      BigPowModWord(x, 3, N);
      break;
    case 3:
    case 9:
      ok = Formula(slots, N, {3, 1}, {27, 1});
      break;
    case 5:
    case 15:
      ok = Formula(slots, N, {5, 10, 1}, {1});
      break;
    case 7:
      ok = Formula(slots, N, {1, 5, 1}, {49, 13, 1});
      break;
    case 13:
      ok = Formula(slots, N, {1, 19, 20, 7, 1}, {13, 5, 1});
      break;
    default:
      InternalError(12, 4, 1);
  }
  return ok ? 1 : 0;
}

}  // namespace karvo
