#pragma once

// karvo.ini (SettingsFileName): the user's four choices in "Setup", tuning
// parameters in "Setup+" and "System" that only a hand edit changes.

namespace karvo {

// Reads the file into Settings. A missing file leaves the defaults; a file
// that cannot be read shows "Cannot read karvo.ini" and keeps what was set.
// Settings.MSC is clamped to the sizes the prime table supports, so
// WantedPrimeTableSize() follows it.
void LoadSettings();

// Writes the four "Setup" choices, keeping every other section and key of
// the current file; a failure shows "Cannot write karvo.ini".
void SaveSettings();

}  // namespace karvo
