#include "app/commandline.h"

#include "platform/paths.h"
#include "platform/textcase.h"

namespace mv {

CommandWords ParseCommandWords(const std::vector<std::string>& params, const std::string& jobDir) {
  CommandWords words;
  for (const std::string& param : params) {
    const std::string upper = UpperCase(param);
    if (upper.starts_with("CLOSE")) {
      words.ModeFlags |= MODE_CLOSE_WHEN_IDLE;
    } else if (upper.starts_with("CONTROL")) {
      words.ModeFlags |= MODE_CONTROL;
    } else if (upper.starts_with("QLOAD")) {
      words.ModeFlags |= MODE_QLOAD;
    } else if (upper.starts_with("RUNJOB=")) {
      const std::string value = param.substr(param.find('=') + 1);
      const std::string dir = ExtractFilePath(value);
      const std::string name = UpperCase(ExtractFileName(value)) + ".MVJ";
      words.PendingRunJob = (dir.empty() ? jobDir : dir) + name;
    }
  }
  return words;
}

ProgramArguments ParseProgramArguments(const std::vector<std::string>& args) {
  ProgramArguments out;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::optional<std::string>& target, const std::string& name) {
      const std::string prefix = name + "=";
      if (a.starts_with(prefix)) {
        target = a.substr(prefix.size());
      } else if (i + 1 < args.size()) {
        target = args[++i];
      } else {
        out.Error = name + " needs a value";
      }
    };
    if (a == "--headless") {
      out.Headless = true;
    } else if (a == "--help" || a == "-h") {
      out.Help = true;
    } else if (a == "--version" || a == "-V") {
      out.Version = true;
    } else if (a == "--quiet" || a == "-q") {
      out.Quiet = true;
    } else if (a == "--base" || a.starts_with("--base=")) {
      value(out.Base, "--base");
    } else if (a == "--check-job" || a.starts_with("--check-job=")) {
      value(out.CheckJob, "--check-job");
    } else if (a == "--run-job" || a.starts_with("--run-job=")) {
      value(out.RunJob, "--run-job");
    } else if (a == "--remote-server") {
      out.RemoteServer = "";
    } else if (a.starts_with("--remote-server=")) {
      out.RemoteServer = a.substr(std::string("--remote-server=").size());
    } else if (a.starts_with("--")) {
      out.Error = "unknown option " + a;
    } else {
      out.Words.push_back(a);
    }
    if (out.Base && out.Base->empty()) out.Error = "--base needs a directory";
  }
  return out;
}

}  // namespace mv
