#pragma once
// Where the program keeps its data: BaseDir and the folders derived from it.

#include <optional>
#include <string>
#include <vector>

namespace mv {

struct DataDirs {
  std::string BaseDir;      // all paths end in "/"
  std::string ControlDir;   // role locks, job-ID counter, source definitions
  std::string LogDir;       // program log and job logs
  std::string QueueDir;     // one queue file per queued job
  std::string JobDir;       // job files; RUNJOB= names without a path
  std::string TemplateDir;  // templates
  std::string SourceDefinitionFile;  // ControlDir + "SOURCES.MVS"
  std::string SettingsFile;          // BaseDir + "MIRAVA0.MVJ"
  std::string ViewJobFile;           // BaseDir + "MIRAVA.MVJ"
};

DataDirs DeriveDataDirs(const std::string& baseDir);

// BaseDir: the explicit directory when given; else the program's directory
// when it is writable and not a folder named "bin" (a portable install); else
// $XDG_DATA_HOME/mirava/ (default ~/.local/share/mirava/).
std::string ChooseBaseDir(const std::optional<std::string>& explicitBase,
                          const std::string& programDir);

// True when the directory exists. A drive that is not ready counts as missing;
// when the file system says no, a listing of the directory is tried up to five
// times, since a share waking up can answer late.
bool DataDirExists(const std::string& dir);

// Creates the missing data folders (with missing parents) in their fixed
// order. Returns the folders that are missing or not writable afterwards;
// the program goes on without them.
std::vector<std::string> CreateDataDirs(const DataDirs& dirs);

}  // namespace mv
