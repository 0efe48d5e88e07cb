#pragma once

// Ctrl-C (SIGINT). The handler only counts: the driver's abort commands must
// run on the main thread, from the front end's event pass. Outside a task
// there is nothing to keep resumable, so the program leaves at once.

#include <cstdint>

namespace karvo::cli {

inline constexpr int ExitInterrupted = 130;

void InstallInterruptHandler();

// While a task runs, interrupts are counted instead of ending the program.
void SetTaskActive(bool active);

// The interrupts received since the last call.
int32_t TakeInterrupts();

}  // namespace karvo::cli
