#include "app/settings.h"

#include "platform/profile.h"

namespace mv {

ProgramSettings LoadSettings(const std::string& settingsFile) {
  ProgramSettings s;
  const ProfileSnapshot file(settingsFile);
  s.OptionsEnabled = static_cast<uint32_t>(file.ReadInt("job", "OptionsEnabled", -1));
  // Kept as a byte, as the value always was.
  s.dspSpeedUnit = static_cast<uint8_t>(file.ReadInt("misc", "dspSpeedUnit", 0));
  s.SyncFiles = file.ReadInt("misc", "syncfiles", 1) != 0;
  return s;
}

bool SaveSettings(const std::string& settingsFile, const ProgramSettings& settings) {
  bool ok = ProfileWriteInt(settingsFile, "misc", "dspSpeedUnit", settings.dspSpeedUnit);
  ok = ProfileWriteInt(settingsFile, "job", "OptionsEnabled",
                       static_cast<int32_t>(settings.OptionsEnabled)) && ok;
  return ok;
}

}  // namespace mv
