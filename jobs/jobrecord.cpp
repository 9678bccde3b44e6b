#include "jobs/jobrecord.h"

#include <filesystem>
#include <system_error>

#include "jobs/jobid.h"
#include "platform/fileio.h"
#include "platform/hextext.h"

namespace mv {

std::string JobIdText(int64_t id) { return HexText(static_cast<uint64_t>(id), 8); }

int64_t JobIdForFile(const std::string& path) {
  std::error_code ec;
  std::string full = std::filesystem::weakly_canonical(std::filesystem::absolute(path, ec), ec).string();
  if (ec || full.empty()) full = path;
  uint32_t hash = 2166136261u;  // FNV-1a
  for (unsigned char c : full) hash = (hash ^ c) * 16777619u;
  return (int64_t(1) << 32) | hash;
}

TTFileThreadControl::TTFileThreadControl(std::string description, TTErrorMsgList* logList,
                                         std::string queueDir, std::string controlDir,
                                         TMVMailer* mailer, JobDefaults defaults)
    : Description(std::move(description)),
      LogList(logList),
      ControlDir(std::move(controlDir)),
      SpeedUnit(defaults.SpeedUnit),
      QueueDir(std::move(queueDir)) {
  JobID = defaults.DrawId ? NewJobId(ControlDir) : 0;
  Filter = std::make_unique<TTDirFilter>();
  Schedule = std::make_unique<TTSchedule>();
  Mail = std::make_unique<TMVMail>(mailer);
}

TTFileThreadControl::~TTFileThreadControl() = default;

void TTFileThreadControl::AddAction(std::unique_ptr<TTFileAction> action) {
  if (action) Actions.push_back(std::move(action));
}

int32_t TTFileThreadControl::FirstJobType() const {
  return Actions.empty() ? -1 : Actions.front()->JobType;
}

uint32_t TTFileThreadControl::FirstOptions() const {
  return Actions.empty() ? 0 : Actions.front()->Options;
}

std::string TTFileThreadControl::IdText() const { return JobIdText(JobID); }

std::string TTFileThreadControl::JobCaption() const {
  return JobTypeName(FirstJobType()) + " JOB " + IdText() + " (" + Description + ") ";
}

std::string TTFileThreadControl::QueueFileName() const { return QueueDir + IdText() + ".MVQ"; }

void TTFileThreadControl::RemoveQueueFile() const {
  if (Schedule && Schedule->Queued) DeleteFile(QueueFileName());
}

}  // namespace mv
