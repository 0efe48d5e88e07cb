#pragma once

#include <cstdint>

namespace karvo {

// User choices (section "Setup") and tuning parameters ("Setup+", "System").
// Boolean fields hold 0 or 1. The defaults are those of a program without a
// settings file.
struct TSettings {
  int32_t CertificationReports = 1;
  int32_t CheckSignaturesOnly = 1;
  int32_t DoubleFileManagement = 0;
  int32_t IdlePriority = 1;
  int32_t BT1 = 12;
  int32_t BT2 = 24;
  int32_t BT3 = 48;
  int32_t BT4 = 96;
  int32_t BT5 = 192;
  int32_t MRF = 8;
  int32_t MSC = 23;
  int32_t CPC = 100;
  int32_t QAV = 0;
  int32_t NM1 = 1;
  int32_t NP1 = 1;
  int32_t BHB = 0;
};

inline TSettings Settings;

}  // namespace karvo
