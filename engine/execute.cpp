// The run of one job on its worker: every action in order, then the resume
// state for the next run.

#include <exception>
#include <string>

#include "engine/analyzewalk.h"
#include "engine/copythread.h"
#include "engine/dirlist.h"
#include "engine/folderlock.h"
#include "engine/walks.h"
#include "jobs/errmsg.h"
#include "jobs/jobfile.h"
#include "jobs/jobtext.h"
#include "jobs/jobtypes.h"
#include "platform/clock.h"
#include "platform/paths.h"

namespace mv {

void TCopyThread::Execute() {
  // Whatever ends the run, it ends: a listing or copy that throws (memory,
  // a failed listing task) becomes an aborted run that the report sees.
  try {
    RunActions();
    return;
  } catch (const std::exception& e) {
    EndByException(e.what());
  } catch (...) {
    EndByException("unknown exception");
  }
}

void TCopyThread::EndByException(const char* what) noexcept {
  // Every step on its own: one that fails again must not skip the others.
  const auto attempt = [](auto&& step) {
    try {
      step();
    } catch (...) {
    }
  };
  attempt([this] { SourceHandle.Close(); });
  attempt([this] { WorkHandle.Close(); });
  LastResult = MC_ABORTED;
  attempt([this, what] { Log(LVL_ERROR, MC_ABORTED, std::string("Run ended by an error: ") + what); });
  attempt([this] {
    CopyBuffer.clear();
    CopyBuffer.shrink_to_fit();
  });
  attempt([this] {
    for (DirListRemote* remote : {SourceRemote.get(), TargetRemote.get()})
      if (remote) remote->Disconnect();
  });
  attempt([this] { FolderLock(*this, ""); });
  Tag = TAG_GENERAL;
  // The job keeps the resume state it had before this run.
  attempt([this] { DisplayRefresh(); });
}

void TCopyThread::RunActions() {
  Tomorrow = DateTimeToDos(Now() + 1.0);
  SameServerState = SourceFileSystem = TargetFileSystem = kUndecided;
  BytesSinceRateSample = 0;
  // A stored resume folder only counts when resuming is wanted (and allowed).
  if ((Options & OPT_RESUME_FOLDER) == 0) ResumeMode = kResumeNone;

  Synchronize([this] {
    Job->RateSample = {};
    Job->PrevRateSample = {};
    Job->Terminated = true;
    LoadTracking(*Job);
    Job->tStarted = Now();
    if (Job->Mail) {
      Job->Mail->Created = Job->tStarted;
      Job->Mail->Message.Attachments.clear();
    }
  });
  if (TTErrorMsgList* log = context_.ProgramLog ? context_.ProgramLog : Job->LogList)
    log->DeleteAttachmentLog(Job->JobID);
  DisplayRefresh();

  Messages.AddMsg(TAG_GENERAL, LVL_JOB, EV_START, Job->Description);
  ReportJobParameters(*Job, [this](const std::string& text, uint32_t mailFlags) {
    ReportLine(text, mailFlags);
  });
  Messages.AddMsg(Job->FirstJobType(), LVL_JOB, EV_TEXT, std::string(41, '_'));
  DisplayRefresh();

  CompletedBytes = 0;
  CopyBuffer.assign(static_cast<size_t>(BufferSize), 0);
  for (DirListRemote* remote : {SourceRemote.get(), TargetRemote.get()})
    if (remote && remote->Active()) remote->Connect();

  const auto& actions = *Actions;
  for (size_t i = 0; i < actions.size(); ++i) {
    if (CheckTerminate()) {
      Messages.AddMsg(TAG_GENERAL, LVL_JOB, MC_TERMINATED, "");
      break;
    }
    const TTFileAction& action = *actions[i];
    CurrentActionIndex = static_cast<int32_t>(i);
    Options = action.Options & context_.OptionsEnabled;
    JobType = action.JobType;
    Tag = JobType;
    const std::string source = IncludeTrailingDelim(action.SourcePath);
    // An empty mask selects nothing, as in every walk.
    const std::string& mask = action.Source;
    switch (JobType) {
      case JOB_COPY:
        RunCopyAction(*this, action);
        break;
      case JOB_ANALYZE:
        LastResult = RunAnalyzeAction(*this, action);
        break;
      case JOB_NETWARE_PURGE:
        LastResult = PurgeDir(*this, source, mask, Filter.SubdirDepth(), 0);
        break;
      case JOB_DELETE:
        LastResult = DeleteDir(*this, source, mask, Filter.SubdirDepth(), 0);
        break;
      default:
        break;
    }
    FolderLock(*this, "");
    DisplayRefresh();
  }
  Tag = TAG_GENERAL;

  for (DirListRemote* remote : {SourceRemote.get(), TargetRemote.get()})
    if (remote) remote->Disconnect();
  CopyBuffer.clear();
  CopyBuffer.shrink_to_fit();

  const bool terminated = TerminateRequested();
  Synchronize([this, terminated] {
    if (!terminated) {
      Job->Terminated = false;
      Job->ResumePath.clear();
      Job->ResumeFile.Name.clear();
    } else {
      Job->ResumePath = CurrentFolder;
      Job->ResumeFile = ResumeFile;
      Job->ResumeFilePos = ResumeFilePos;
    }
  });
  DisplayRefresh();
}

}  // namespace mv
