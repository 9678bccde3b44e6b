#pragma once
// The program's arguments: our own "--" options, and the classic command words
// (CLOSE, CONTROL, QLOAD, RUNJOB=) that set the mode flags.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mv {

// Mode flags of the application.
inline constexpr uint16_t MODE_QLOAD = 0x0001;
inline constexpr uint16_t MODE_CONTROL = 0x0002;
inline constexpr uint16_t MODE_CLOSE_WHEN_IDLE = 0x0004;
inline constexpr uint16_t MODE_QUEUE_DISABLED = 0x0008;
inline constexpr uint16_t MODE_SOURCE_EDIT = 0x1000;

struct CommandWords {
  uint16_t ModeFlags = 0;
  // Job file named by the last RUNJOB=, empty when none.
  std::string PendingRunJob;
};

// Applies the command words: each parameter is upper-cased and must start with
// a word (no leading "/" or "-"). RUNJOB=name gives the name upper-cased with
// ".MVJ" appended, and jobDir in front when it has no directory part. A
// directory part keeps its case, since POSIX paths are case-sensitive.
CommandWords ParseCommandWords(const std::vector<std::string>& params, const std::string& jobDir);

struct ProgramArguments {
  bool Headless = false;
  std::optional<std::string> Base;   // --base DIR
  std::optional<std::string> CheckJob;  // --check-job FILE
  std::optional<std::string> RunJob;    // --run-job FILE
  // --remote-server[=ADDRESS]: serve listings; empty address = loopback only.
  std::optional<std::string> RemoteServer;
  bool Help = false;     // --help, -h
  bool Version = false;  // --version, -V
  bool Quiet = false;    // --quiet, -q: --run-job prints only the results
  std::vector<std::string> Words;    // everything else, for ParseCommandWords
  std::string Error;                 // not empty: the arguments cannot be used
};

// Splits argv (without the program name) into our options and the command words.
ProgramArguments ParseProgramArguments(const std::vector<std::string>& args);

}  // namespace mv
