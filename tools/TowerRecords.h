#pragma once

// Class-group records for the tower: for one key, the record bytes the
// readers of classpolys/DataFiles.h decode, found and validated here, or
// the reason there is none.

#include <cstdint>
#include <string>
#include <vector>

namespace karvo {

struct TTowerOutcome {
  std::vector<uint8_t> Bytes;  // empty: no record
  std::string Note;            // the chain and precision, or why none
};

// Deterministic: the outcome depends on m and this code only.
TTowerOutcome FindTowerRecord(uint32_t m);

// One line of the progress file: "m<TAB>hex bytes or -<TAB>note".
std::string TowerLine(uint32_t m, const TTowerOutcome& outcome);
// The key and bytes of such a line; false for a line that is not one.
bool ParseTowerLine(const std::string& line, uint32_t& m, std::vector<uint8_t>& bytes);

}  // namespace karvo
