#include "jobs/jobfile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstdio>

#include "jobs/jobrecord.h"
#include "macros/macros.h"
#include "platform/clock.h"
#include "platform/profile.h"

namespace mv {
namespace {

const char* const kJob = "job";
const char* const kMacro = "macro";
const char* const kFlow = "flow";
const char* const kSchedule = "schedule";
const char* const kResult = "result_last";
const char* const kActions = "actions";

std::string SourceDefinitionPath(const TTFileThreadControl& job) {
  return job.ControlDir + kSourceDefinitionFile;
}

std::string CurrentDirWithDelim() {
  char buf[PATH_MAX];
  std::string dir = ::getcwd(buf, sizeof buf) ? buf : "/";
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

// The universal last-write time is stored as a packed date-time.
timespec UtcDosToUnix(uint32_t dos) {
  const DateParts p = DecodeDateTime(DosToDateTime(dos));
  tm t{};
  t.tm_year = p.year - 1900;
  t.tm_mon = p.month - 1;
  t.tm_mday = p.day;
  t.tm_hour = p.hour;
  t.tm_min = p.minute;
  t.tm_sec = p.second;
  return timespec{timegm(&t), 0};
}

bool IsCopyJob(const TTFileThreadControl& job) { return job.FirstJobType() == 0; }

std::function<void(const std::string&)>& WaitIndicator() {
  static std::function<void(const std::string&)> indicator;
  return indicator;
}

// Shows the load on the wait indicator for its lifetime.
class LoadingShown {
 public:
  explicit LoadingShown(const std::string& file) {
    if (WaitIndicator()) WaitIndicator()("Loading " + file);
  }
  ~LoadingShown() {
    if (WaitIndicator()) WaitIndicator()("");
  }
  LoadingShown(const LoadingShown&) = delete;
  LoadingShown& operator=(const LoadingShown&) = delete;
};

}  // namespace

void SetJobFileWaitIndicator(std::function<void(const std::string&)> indicator) {
  WaitIndicator() = std::move(indicator);
}

int TTFileThreadControl::Load(const std::string& fileName) {
  const std::string& f = fileName;
  const LoadingShown shown(f);
  int result = -1;
  if (Mail) Mail->Load(f);
  // One read of each file: a long action list would otherwise parse the file
  // once per key.
  const ProfileSnapshot file(f);

  RemoteSource = file.ReadString(kJob, "remotesource", "");
  RemoteTarget = file.ReadString(kJob, "remotetarget", "");
  Description = file.ReadString(kJob, "description", "");
  Modified = file.ReadDouble(kJob, "modified", 0);
  MacroSource = file.ReadString(kMacro, "source", "");

  const std::string sources = SourceDefinitionPath(*this);
  const ProfileSnapshot definitions(MacroSource.empty() ? std::string() : sources);
  if (!MacroSource.empty())
    Filter->Load(sources, MacroSource);
  else
    Filter->Load(f, "");

  const int32_t storedId = file.ReadInt(kSchedule, "jobID", 0);
  if (storedId > 0) {
    JobID = storedId;
    Schedule->Queued = true;
  }
  Schedule->Load(f);

  const uint32_t options = static_cast<uint32_t>(file.ReadInt(kJob, "options", 0));
  const int32_t jobType = file.ReadInt(kJob, "jobtype", 0);

  Terminated = file.ReadInt(kFlow, "terminated", 0) != 0;
  if (Terminated) {
    ResumePath = file.ReadString(kFlow, "resumepath", "");
    ResumeFile.Name = file.ReadString(kFlow, "resumefile", "");
    ResumeFile.Size = file.ReadInt64(kFlow, "resumefilesize", 0);
    ResumeFilePos = file.ReadInt64(kFlow, "resumefilepos", 0);
    ResumeFile.Time = static_cast<uint32_t>(file.ReadInt(kFlow, "resumefiledatetime", 0));
    ResumeFile.WriteTime = UtcDosToUnix(
        static_cast<uint32_t>(file.ReadInt(kFlow, "resumefiledatetimewritten", 0)));
  }

  tStarted = file.ReadDouble(kResult, "tStarted", 0);
  tFinished = file.ReadDouble(kResult, "tFinished", 0);
  ErrorCode = file.ReadInt(kResult, "errorcode", 0);
  cTotal = file.ReadInt(kResult, "cTotal", 0);
  cSkipped = file.ReadInt(kResult, "cSkipped", 0);
  cError = file.ReadInt(kResult, "cError", 0);
  cSuccess = file.ReadInt(kResult, "cSuccess", 0);
  cDeleted = file.ReadInt(kResult, "cDeleted", 0);

  int32_t n = file.ReadInt(kActions, "count", 0);
  if (!MacroSource.empty()) n = std::max(n, definitions.ReadInt(MacroSource, "actions_count", 0));
  Actions.clear();
  if (n > kMaxJobActions) return result;
  if (n == 0) {
    const std::string here = CurrentDirWithDelim();
    AddAction(std::make_unique<TTFileAction>(here, "*.*", here, "*.*", 0, 0));
  }
  const std::string targetPath = file.ReadString(kActions, "targetpath", "");
  const std::string sourcePath = MacroSource.empty()
                                     ? file.ReadString(kActions, "sourcepath", "")
                                     : definitions.ReadString(MacroSource, "actions_sourcepath", "");
  for (int32_t i = 0; i < n; ++i) {
    const std::string index = std::to_string(i);
    const std::string source =
        MacroSource.empty() ? file.ReadString(kActions, "source" + index, "")
                            : definitions.ReadString(MacroSource, "actions_source" + index, "");
    AddAction(std::make_unique<TTFileAction>(sourcePath, source, targetPath,
                                             file.ReadString(kActions, "target" + index, ""),
                                             options, jobType));
  }
  result = Description.empty() ? 1 : 0;
  return result;
}

int TTFileThreadControl::Save(const std::string& fileName, bool writeId) {
  const std::string& f = fileName;
  // The whole job lands in one write of the file: a crash leaves the old or
  // the new job, never sections of two different saves. A write that cannot
  // succeed leaves the file as it was.
  try {
    ProfileBatch out(f);
    if (Mail && Mail->Save(out, f) != 0) return 0;
    out.WriteString(kJob, "remotesource", RemoteSource);
    out.WriteString(kJob, "remotetarget", RemoteTarget);
    out.WriteString(kJob, "description", Description);
    Modified = Now();
    out.WriteDouble(kJob, "modified", Modified);
    out.WriteString(kMacro, "source", MacroSource);
    out.WriteInt(kJob, "jobtype", FirstJobType());
    out.WriteInt(kJob, "options", static_cast<int32_t>(FirstOptions()));
    out.EraseSection(kFlow);
    out.WriteInt(kFlow, "terminated", Terminated ? 1 : 0);
    out.WriteString(kFlow, "resumepath", ResumePath);
    if (!ResumeFile.Name.empty() && ResumeFilePos > 0) {
      out.WriteString(kFlow, "resumefile", ResumeFile.Name);
      out.WriteInt(kFlow, "resumefilesize", ResumeFile.Size);
      out.WriteInt(kFlow, "resumefiledatetimewritten",
                   static_cast<int32_t>(UnixToDosUtc(ResumeFile.WriteTime)));
      out.WriteInt(kFlow, "resumefilepos", ResumeFilePos);
      out.WriteInt(kFlow, "resumefiledatetime", static_cast<int32_t>(ResumeFile.Time));
    }
    if (MacroSource.empty() && !Filter->Save(out, "")) return 0;
    if (writeId && Schedule->Queued &&
        !out.WriteInt(kSchedule, "jobID",
                      static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(JobID)))))
      return 0;
    if (Schedule->Save(out, false) != 0) return 0;

    out.EraseSection(kResult);
    out.WriteDouble(kResult, "tStarted", tStarted);
    out.WriteDouble(kResult, "tFinished", tFinished);
    out.WriteInt(kResult, "errorcode", ErrorCode);
    out.WriteInt(kResult, "cTotal", cTotal);
    out.WriteInt(kResult, "cSkipped", cSkipped);
    out.WriteInt(kResult, "cError", cError);
    out.WriteInt(kResult, "cSuccess", cSuccess);
    out.WriteInt(kResult, "cDeleted", cDeleted);
    out.EraseSection(kActions);
    for (std::size_t i = 0; i < Actions.size(); ++i) {
      const TTFileAction& a = *Actions[i];
      const std::string index = std::to_string(i);
      if (i == 0) {
        out.WriteInt(kActions, "count", static_cast<int64_t>(Actions.size()));
        if (MacroSource.empty()) out.WriteString(kActions, "sourcepath", a.SourcePath);
        out.WriteString(kActions, "targetpath", a.TargetPath);
      }
      if (MacroSource.empty()) out.WriteString(kActions, "source" + index, a.Source);
      out.WriteString(kActions, "target" + index, a.Target);
    }
    out.Commit();
  } catch (...) {
    // Saves swallow every failure; the file keeps its last whole state.
  }
  return 0;
}

JobFileProblem FindJobFileProblem(const std::string& fileName, int loadResult,
                                  const TTFileThreadControl& job) {
  if (loadResult == 0 && !job.Actions.empty()) return {};
  struct stat st {};
  if (::stat(fileName.c_str(), &st) != 0)
    return {0, errno == ENOENT ? "the file does not exist" : "the file cannot be reached"};
  if (!S_ISREG(st.st_mode)) return {0, "not a regular file"};
  if (static_cast<unsigned long long>(st.st_size) > kProfileFileMax)
    return {0, "the file is larger than 16 MiB"};
  if (::access(fileName.c_str(), R_OK) != 0) return {0, "the file cannot be read"};

  const ProfileSnapshot file(fileName);
  const int countLine = file.KeyLine(kActions, "count");
  const int32_t count = file.ReadInt(kActions, "count", 0);
  const std::string countText = "count=" + std::to_string(count);
  const int sourceLine = file.KeyLine(kMacro, "source");
  if (loadResult < 0) {
    if (count > kMaxJobActions)
      return {countLine, countText + ": a job may have at most " + std::to_string(kMaxJobActions) +
                             " actions"};
    return {sourceLine, "source definition " + job.MacroSource + " has more than " +
                            std::to_string(kMaxJobActions) + " actions"};
  }
  if (loadResult == 1) {
    if (const int line = file.KeyLine(kJob, "description")) return {line, "the description is empty"};
    return {0, "no description= line in section [job]"};
  }
  if (!job.MacroSource.empty() && count <= 0)
    return {sourceLine, "source definition " + job.MacroSource + " has no actions"};
  return {countLine, countText + ": the job has no actions"};
}

std::vector<JobFileProblem> FindIgnoredLines(const std::string& fileName) {
  using Ignored = ProfileSnapshot::IgnoredLine;
  std::vector<JobFileProblem> problems;
  const ProfileSnapshot file(fileName);
  for (const Ignored& l : file.IgnoredLines()) {
    const std::string first = std::to_string(l.FirstLine);
    switch (l.Why) {
      case Ignored::kNotAKeyLine:
        problems.push_back({l.Line, "not a [section] or key=value line; ignored"});
        break;
      case Ignored::kOutsideSection:
        problems.push_back({l.Line, l.Name + "= before the first [section]; ignored"});
        break;
      case Ignored::kRepeatedSection:
        problems.push_back(
            {l.Line, "section [" + l.Name + "] begins at line " + first + " already; its keys are ignored"});
        break;
      case Ignored::kRepeatedKey:
        problems.push_back({l.Line, l.Name + "= is given at line " + first + " already; ignored"});
        break;
    }
  }
  return problems;
}

std::string JobFileProblemMessage(const std::string& fileName, const JobFileProblem& problem) {
  return fileName + (problem.Line > 0 ? ":" + std::to_string(problem.Line) : "") + ": " +
         problem.Text;
}

int ApplyTemplate(TTFileThreadControl& job, const std::string& fileName) {
  const std::string& f = fileName;
  if (job.Mail) job.Mail->LoadOver(f);
  const ProfileSnapshot in(f);
  job.RemoteSource = in.ReadString(kJob, "remotesource", job.RemoteSource);
  job.RemoteTarget = in.ReadString(kJob, "remotetarget", job.RemoteTarget);
  job.Description = in.ReadString(kJob, "description", job.Description);
  job.Filter->LoadTemplate(f);
  job.Schedule->LoadTemplate(f);
  const uint32_t options = static_cast<uint32_t>(in.ReadInt(kJob, "options", static_cast<int32_t>(job.FirstOptions())));
  const int32_t jobType = in.ReadInt(kJob, "jobtype", job.FirstJobType());

  const int32_t n = in.ReadInt(kActions, "count", 0);
  if (n > kMaxJobActions) return -1;
  if (n > 0) {
    const std::string sourcePath = ResolveMacros(in.ReadString(kActions, "sourcepath", ""));
    const std::string targetPath = in.ReadString(kActions, "targetpath", "");
    job.Actions.clear();
    for (int32_t i = 0; i < n; ++i) {
      const std::string index = std::to_string(i);
      job.AddAction(std::make_unique<TTFileAction>(
          sourcePath, in.ReadString(kActions, "source" + index, ""), targetPath,
          in.ReadString(kActions, "target" + index, ""), options, jobType));
    }
  } else {
    for (auto& a : job.Actions)
      a = std::make_unique<TTFileAction>(a->SourcePath, a->Source, a->TargetPath, a->Target,
                                         options, jobType);
  }
  return job.Description.empty() ? 1 : 0;
}

void SaveSourceDefinition(TTFileThreadControl& job, bool resetTracking) {
  if (job.MacroSource.empty()) return;
  const std::string f = SourceDefinitionPath(job);
  const std::string& s = job.MacroSource;
  if (!job.Filter->Save(f, s)) return;
  if (resetTracking && !ProfileWriteDouble(f, s, "lasttracked", 0)) return;
  if (!ProfileWriteInt(f, s, "actions_count", static_cast<int64_t>(job.Actions.size()))) return;
  if (!ProfileWriteString(f, s, "actions_sourcepath",
                          job.Actions.empty() ? "" : job.Actions.front()->SourcePath))
    return;
  for (std::size_t i = 0; i < job.Actions.size(); ++i)
    if (!ProfileWriteString(f, s, "actions_source" + std::to_string(i), job.Actions[i]->Source))
      return;
}

void SaveToQueue(TTFileThreadControl& job) {
  if (job.Schedule->Queued) job.Save(job.QueueFileName(), true);
}

void LoadTracking(TTFileThreadControl& job) {
  if (job.MacroSource.empty() || !IsCopyJob(job)) return;
  const std::string f = SourceDefinitionPath(job);
  const DateTime now = Now();
  const DateTime lastTracked = ProfileReadDouble(f, job.MacroSource, "lasttracked", 0);
  const DateTime lastChange = ProfileReadDouble(f, job.MacroSource, "lastchange", now + 1);
  if (lastChange > job.Schedule->LastRunComplete) return;
  // A reset (lasttracked 0) lies more than a century back; the seconds no
  // longer fit, and the value must then force a look at the source.
  const double seconds = std::round((now - lastTracked) * kSecondsPerDay);
  job.SecondsSinceTracked =
      (seconds >= 0 && seconds <= INT32_MAX && lastTracked != 0) ? static_cast<int32_t>(seconds) : -1;
}

void SaveTracking(TTFileThreadControl& job) {
  if (job.SourceSignature == 0 || job.MacroSource.empty() || !IsCopyJob(job)) return;
  const std::string f = SourceDefinitionPath(job);
  const std::string& s = job.MacroSource;
  const int64_t stored = ProfileReadInt64(f, s, "sourceCRC", 0);
  const DateTime now = Now();
  ProfileWriteDouble(f, s, "lasttracked", now);
  if (stored != job.SourceSignature) {
    ProfileWriteDouble(f, s, "lastchange", now);
    char crc[20];
    std::snprintf(crc, sizeof crc, "$%016" PRIX64, static_cast<uint64_t>(job.SourceSignature));
    ProfileWriteString(f, s, "sourceCRC", crc);
  }
}

}  // namespace mv
