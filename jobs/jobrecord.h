#pragma once
// The job record: actions, filter, schedule, mail settings, resume state and
// the statistics of the last run.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "filter/dirfilter.h"
#include "jobs/jobtypes.h"
#include "jobs/schedule.h"
#include "mail/mvmail.h"
#include "platform/datetime.h"
#include "platform/finddata.h"

namespace mv {

class TCopyThread;
class TTErrorMsgList;
class TMVMailer;

// One action of a job; not changed after construction.
struct TTFileAction {
  TTFileAction(std::string sourcePath, std::string source, std::string targetPath,
               std::string target, uint32_t options, int32_t jobType)
      : SourcePath(std::move(sourcePath)),
        Source(std::move(source)),
        TargetPath(std::move(targetPath)),
        Target(std::move(target)),
        Options(options),
        JobType(jobType) {}

  std::string SourcePath;  // source directory
  std::string Source;      // name or mask within SourcePath ("*.*", a name, or empty)
  std::string TargetPath;  // target directory
  std::string Target;      // name or mask within TargetPath
  uint32_t Options;        // options word
  int32_t JobType;         // job type code
};

// A transfer-rate measuring window.
struct TransferSample {
  int64_t Bytes = 0;
  DateTime Start = 0;
  DateTime Latest = 0;
};

// Program-wide values a new job record copies.
struct JobDefaults {
  int32_t SpeedUnit = 0;  // dspSpeedUnit of the settings
  bool DrawId = true;     // false: JobID stays 0 and the counter is not touched
};

class TTFileThreadControl {
 public:
  // Draws a fresh ID from the counter in controlDir (-1 when it cannot),
  // unless defaults.DrawId is false (a look at a file that changes nothing).
  TTFileThreadControl(std::string description, TTErrorMsgList* logList, std::string queueDir,
                      std::string controlDir, TMVMailer* mailer, JobDefaults defaults = {});
  ~TTFileThreadControl();
  TTFileThreadControl(const TTFileThreadControl&) = delete;
  TTFileThreadControl& operator=(const TTFileThreadControl&) = delete;

  void AddAction(std::unique_ptr<TTFileAction> action);
  // First action's job type, or -1 without actions.
  int32_t FirstJobType() const;
  // First action's options word, or 0 without actions.
  uint32_t FirstOptions() const;
  // "COPY JOB 0000002A (Daily) " - ends in a blank.
  std::string JobCaption() const;
  // ID as at least 8 upper-case hexadecimal digits.
  std::string IdText() const;
  // QueueDir + IdText() + ".MVQ".
  std::string QueueFileName() const;
  // Deletes the queue file when the job is queued; a missing file is fine.
  void RemoveQueueFile() const;

  // Job file format: -1 failure, 0 ok, 1 loaded without description.
  int Load(const std::string& fileName);
  // Always 0; failures end the writing where they happen.
  int Save(const std::string& fileName, bool writeId);

  std::string Description;
  TCopyThread* Thread = nullptr;
  std::vector<std::unique_ptr<TTFileAction>> Actions;
  DateTime tFinished = 0;
  DateTime tStarted = 0;
  int32_t ErrorCode = 0;
  int64_t JobID = -1;
  TTErrorMsgList* LogList = nullptr;
  DateTime Modified = 0;
  std::string ControlDir;
  std::unique_ptr<TMVMail> Mail;
  bool Terminated = false;
  std::unique_ptr<TTSchedule> Schedule;
  double Speed = 0;
  int32_t cTotal = 0, cSkipped = 0, cError = 0, cSuccess = 0, cDeleted = 0;
  std::unique_ptr<TTDirFilter> Filter;
  int64_t BytesDone = 0;
  TransferSample RateSample;
  TransferSample PrevRateSample;
  int32_t SecondsSinceTracked = -1;
  int64_t SourceSignature = 0;
  std::string MacroSource;
  std::string ResumePath;
  FindData ResumeFile;
  int64_t ResumeFilePos = 0;
  std::string RemoteSource;
  std::string RemoteTarget;
  int32_t SpeedUnit = 0;
  std::string QueueDir;
  std::string CurSourceText;
  std::string CurTargetText;
};

// ID as at least 8 upper-case hexadecimal digits (more when the value needs them).
std::string JobIdText(int64_t id);

// The ID of a job file without a stored ID when it is run straight from the
// file (--run-job, RUNJOB=): the same for every run of that file, so a later
// run knows its own partial copies. Above every counter ID (those fit 32
// bits): 0x1 and 8 hex digits of a hash of the file's full path.
int64_t JobIdForFile(const std::string& path);

}  // namespace mv
