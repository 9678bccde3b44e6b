#pragma once
// What "Global Options" shows and what its OK changes, without widgets.

#include <cstdint>
#include <string>
#include <vector>

#include "app/settings.h"
#include "mail/mvmail.h"

namespace mv {

// Resume switches of OptionsEnabled; OK keeps every other bit set.
inline constexpr uint32_t kOptionsEnabledBase = 0xFFCFFFFF;
inline constexpr uint32_t kOptionResumeSourcePath = 0x100000;
inline constexpr uint32_t kOptionResumeSourceFile = 0x200000;

// The "Speed unit" choices, in radio order (the index is dspSpeedUnit).
inline constexpr const char* kSpeedUnitCaptions[] = {"auto",  "KBit/s", "KB/s",
                                                     "MBit/s", "MB/s",  "MB/min"};
inline constexpr int kSpeedUnitCount = 6;

// The ways the SMTP connection is secured, as the settings file names them.
inline constexpr const char* kMailSecurityNames[] = {"none", "starttls", "tls"};

struct ProgramOptions {
  // Page "SMTP".
  std::string Host;
  std::string User;
  std::string Security;  // "none", "starttls", "tls"; another text is kept as it is
  std::string Login;     // empty: no login
  std::string PasswordFile;
  std::string PasswordEnv;
  std::string CaFile;
  // Page "Misc".
  int SpeedUnit = 0;  // 0 auto ... 5 MB/min; a value outside shows no choice and is kept
  bool ResumeSourcePath = false;
  bool ResumeSourceFile = false;
};

// What the dialog shows: the program-wide mail settings and the settings.
ProgramOptions ReadProgramOptions(const ProgramSettings& settings, const TMVMail& mailSettings);

// 0xFFCFFFFF plus the two resume bits as checked.
uint32_t OptionsEnabledOf(bool resumeSourcePath, bool resumeSourceFile);

// OK: writes the dialog's values into the mail settings and the settings
// (blanks around the texts dropped). Returns the two Log lines: the SMTP user
// as the mail settings now hold it, and OptionsEnabled as 8 hexadecimal digits.
std::vector<std::string> ApplyProgramOptions(const ProgramOptions& options,
                                             ProgramSettings& settings, TMVMail& mailSettings);

class MiravaCore;

// The same on a running program: what File > Options shows, and its OK (the
// mail settings handed to the mail thread, the two Log lines added, the
// settings applied and saved). False when the settings file could not be written.
ProgramOptions ReadProgramOptions(MiravaCore& core);
bool ApplyProgramOptions(MiravaCore& core, const ProgramOptions& options);

}  // namespace mv
