#include "dialogs/optionsstate.h"

#include "app/mvmain.h"
#include "mail/mailer.h"
#include "platform/hextext.h"

namespace mv {
namespace {

std::string Trimmed(const std::string& s) {
  const size_t first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

}  // namespace

ProgramOptions ReadProgramOptions(const ProgramSettings& settings, const TMVMail& mailSettings) {
  ProgramOptions o;
  o.Host = mailSettings.Host;
  o.User = mailSettings.User;
  o.Security = mailSettings.Security.empty() ? "none" : mailSettings.Security;
  o.Login = mailSettings.Login;
  o.PasswordFile = mailSettings.PasswordFile;
  o.PasswordEnv = mailSettings.PasswordEnv;
  o.CaFile = mailSettings.CaFile;
  o.SpeedUnit = settings.dspSpeedUnit;
  o.ResumeSourcePath = (settings.OptionsEnabled & kOptionResumeSourcePath) != 0;
  o.ResumeSourceFile = (settings.OptionsEnabled & kOptionResumeSourceFile) != 0;
  return o;
}

uint32_t OptionsEnabledOf(bool resumeSourcePath, bool resumeSourceFile) {
  uint32_t mask = kOptionsEnabledBase;
  if (resumeSourcePath) mask |= kOptionResumeSourcePath;
  if (resumeSourceFile) mask |= kOptionResumeSourceFile;
  return mask;
}

std::vector<std::string> ApplyProgramOptions(const ProgramOptions& options,
                                             ProgramSettings& settings, TMVMail& mailSettings) {
  mailSettings.Host = Trimmed(options.Host);
  mailSettings.User = Trimmed(options.User);
  // "none" is what no setting means: a file without the key stays without it.
  const std::string security = Trimmed(options.Security);
  if (!(security == "none" && mailSettings.Security.empty())) mailSettings.Security = security;
  mailSettings.Login = Trimmed(options.Login);
  mailSettings.PasswordFile = Trimmed(options.PasswordFile);
  mailSettings.PasswordEnv = Trimmed(options.PasswordEnv);
  mailSettings.CaFile = Trimmed(options.CaFile);
  settings.dspSpeedUnit = static_cast<uint8_t>(options.SpeedUnit);
  settings.OptionsEnabled = OptionsEnabledOf(options.ResumeSourcePath, options.ResumeSourceFile);
  return {mailSettings.User, HexText(settings.OptionsEnabled, 8)};
}

ProgramOptions ReadProgramOptions(MiravaCore& core) {
  TMVMailer* mailer = core.Mailer();
  if (mailer == nullptr || !mailer->DefaultMail) {
    const TMVMail none(nullptr);
    return ReadProgramOptions(core.Settings(), none);
  }
  return ReadProgramOptions(core.Settings(), *mailer->DefaultMail);
}

bool ApplyProgramOptions(MiravaCore& core, const ProgramOptions& options) {
  ProgramSettings settings = core.Settings();
  TMVMailer* mailer = core.Mailer();
  TMVMail scratch(nullptr);
  TMVMail& mail = mailer != nullptr && mailer->DefaultMail ? *mailer->DefaultMail : scratch;
  const std::vector<std::string> lines = ApplyProgramOptions(options, settings, mail);
  // The mail thread owns the client: it takes the new settings before its next mail.
  if (mailer != nullptr) mailer->ConfigureClient();
  for (const std::string& line : lines) core.AddLogLine(line);
  return core.ApplySettings(settings);
}

}  // namespace mv
