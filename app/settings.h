#pragma once
// Program settings in MIRAVA0.MVJ beside the data folders.

#include <cstdint>
#include <string>

namespace mv {

struct ProgramSettings {
  // Mask ANDed with each job's options when its run starts.
  uint32_t OptionsEnabled = 0xFFFFFFFF;
  // Transfer-rate unit: 0 automatic, 1 KBit/s, 2 KB/s, 3 MBit/s, 4 MB/s, 5 MB/min.
  uint8_t dspSpeedUnit = 0;
  // Copied files are flushed to disk before they replace the target.
  bool SyncFiles = true;
};

// Reads [job] OptionsEnabled, [misc] dspSpeedUnit and [misc] syncfiles; a
// missing file or key gives the defaults.
ProgramSettings LoadSettings(const std::string& settingsFile);

// Writes dspSpeedUnit, then OptionsEnabled; syncfiles is only ever set by
// hand. False when the file cannot be written.
bool SaveSettings(const std::string& settingsFile, const ProgramSettings& settings);

}  // namespace mv
