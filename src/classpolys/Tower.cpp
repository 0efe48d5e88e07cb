#include "classpolys/TowerInternal.h"

namespace karvo {

bool RootByTower(ZPoly&, uint32_t, const BigInt&, int32_t&, const BigInt&) { return false; }

}  // namespace karvo
