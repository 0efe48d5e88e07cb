#pragma once

namespace karvo {

// The front end's periodic save request: while enabled it sets SaveRequested
// now and then (every 360 s in the programs); the engine and the verifier
// switch it on for long computations and read the flag between steps.
class TSaveTimer {
 public:
  virtual ~TSaveTimer() = default;
  virtual void SetEnabled(bool enabled) = 0;
};

}  // namespace karvo
