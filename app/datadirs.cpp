#include "app/datadirs.h"

#include <unistd.h>

#include <cstdlib>

#include "platform/fileio.h"
#include "platform/findfile.h"
#include "platform/oserror.h"
#include "platform/paths.h"

namespace mv {

DataDirs DeriveDataDirs(const std::string& baseDir) {
  DataDirs d;
  d.BaseDir = IncludeTrailingDelim(baseDir);
  d.ControlDir = d.BaseDir + "CTRL/";
  d.LogDir = d.BaseDir + "LOGS/";
  d.QueueDir = d.BaseDir + "MVQ/";
  d.JobDir = d.BaseDir + "MVJ/";
  d.TemplateDir = d.BaseDir + "MVT/";
  d.SourceDefinitionFile = d.ControlDir + "SOURCES.MVS";
  d.SettingsFile = d.BaseDir + "MIRAVA0.MVJ";
  d.ViewJobFile = d.BaseDir + "MIRAVA.MVJ";
  return d;
}

std::string ChooseBaseDir(const std::optional<std::string>& explicitBase,
                          const std::string& programDir) {
  if (explicitBase) return IncludeTrailingDelim(*explicitBase);
  // A program in a "bin" folder is installed, even where its user (root in
  // /usr/bin) may write there: its data never goes beside other programs.
  const bool installed = ExtractFileName(ExcludeTrailingDelim(programDir)) == "bin";
  if (!programDir.empty() && !installed && ::access(programDir.c_str(), W_OK | X_OK) == 0)
    return IncludeTrailingDelim(programDir);
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/')
    return IncludeTrailingDelim(xdg) + "mirava/";
  const char* home = std::getenv("HOME");
  return IncludeTrailingDelim(home && *home ? home : "/tmp") + ".local/share/mirava/";
}

bool DataDirExists(const std::string& dir) {
  if (!DriveReady(dir)) return false;
  bool isDir = false;
  if (PathExists(ExcludeTrailingDelim(dir), &isDir) == Exists::Yes && isDir) return true;
  for (int attempt = 0; attempt < 5; ++attempt) {
    FindHandle h;
    FindData fd;
    const uint32_t rc = FindFirst(IncludeTrailingDelim(dir) + "*.*", kAttrAny, fd, h);
    if (rc == 0 || rc == ERROR_NO_MORE_FILES) return true;
  }
  return false;
}

std::vector<std::string> CreateDataDirs(const DataDirs& dirs) {
  std::vector<std::string> unusable;
  for (const std::string* dir :
       {&dirs.ControlDir, &dirs.LogDir, &dirs.QueueDir, &dirs.JobDir, &dirs.TemplateDir}) {
    if (!DataDirExists(*dir)) ForceDirectories(*dir);
    if (::access(dirs.BaseDir.c_str(), F_OK) != 0 || ::access(dir->c_str(), W_OK | X_OK) != 0)
      unusable.push_back(*dir);
  }
  return unusable;
}

}  // namespace mv
