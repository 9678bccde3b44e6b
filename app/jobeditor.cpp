#include "app/jobeditor.h"

#include "app/dirpane.h"
#include "app/joblistpage.h"
#include "app/mvmain.h"
#include "app/prompt.h"
#include "jobs/jobfile.h"
#include "jobs/jobtypes.h"
#include "mail/mvmail.h"
#include "platform/worker.h"

namespace mv {

namespace {

constexpr const char* kBoxTitle = "Mirava";

bool IsWholeMask(const std::string& mask) { return mask.empty() || mask == "*.*"; }

// The follow-up chains travel with the schedule through the editor; a plain
// schedule Assign keeps the receiver's own chains.
void CopyChains(TTSchedule& to, const TTSchedule& from) {
  to.RunAfterSuccessEnabled = from.RunAfterSuccessEnabled;
  to.RunAfterSuccess = from.RunAfterSuccess;
  to.RunAfterSuccessWEnabled = from.RunAfterSuccessWEnabled;
  to.RunAfterSuccessW = from.RunAfterSuccessW;
}

}  // namespace

uint32_t ConflictCodeOfChoice(int32_t choice) {
  switch (choice) {
    case 1: return OPT_SKIP_EXISTING;
    case 2: return OPT_OVERWRITE_ALL;
    default: return OPT_OVERWRITE_OLDER;
  }
}

int32_t ConflictChoiceOfCode(uint32_t code) {
  switch (code & OPT_CONFLICT_MASK) {
    case OPT_OVERWRITE_ALL: return 2;
    case OPT_SKIP_EXISTING: return 1;
    default: return 0;
  }
}

JobEditor::JobEditor(MiravaCore& core, Prompt& prompt, EditorDialogs& dialogs, DirPane& left,
                     DirPane& right)
    : ViewMail(std::make_unique<TMVMail>(core.Mailer())),
      core_(core),
      prompt_(prompt),
      dialogs_(dialogs),
      left_(left),
      right_(right) {}

JobEditor::~JobEditor() = default;

// --- View and job --------------------------------------------------------------

std::unique_ptr<TTFileThreadControl> JobEditor::MakeJob(const std::string& description,
                                                        bool drawId) {
  JobDefaults defaults;
  defaults.SpeedUnit = core_.Settings().dspSpeedUnit;
  defaults.DrawId = drawId;
  return std::make_unique<TTFileThreadControl>(description, core_.ProgramLog(),
                                               core_.Dirs().QueueDir, core_.Dirs().ControlDir,
                                               core_.Mailer(), defaults);
}

std::unique_ptr<TTFileThreadControl> JobEditor::BuildJob(const std::string& description,
                                                         bool drawId) {
  const uint32_t options = ConflictCodeOfChoice(ViewConflictChoice) | ViewFlags | ViewDirection;
  const std::string sourcePath = left_.GetPath();
  const std::string targetPath = right_.GetPath();

  // The actions first: a view that gives none leaves the editor as it is,
  // pending ID included, and draws no ID.
  std::vector<std::unique_ptr<TTFileAction>> actions;
  if (left_.SelectedCount() == 0 && right_.SelectedCount() == 0) {
    actions.push_back(std::make_unique<TTFileAction>(sourcePath, "*.*", targetPath, "*.*",
                                                     options, ViewJobType));
  } else {
    for (const std::string& name : left_.SelectedNames())
      if (name != "..")
        actions.push_back(std::make_unique<TTFileAction>(sourcePath, name, targetPath, "",
                                                         options, ViewJobType));
    for (const std::string& name : right_.SelectedNames())
      if (name != "..")
        actions.push_back(std::make_unique<TTFileAction>(sourcePath, "", targetPath, name,
                                                         options, ViewJobType));
  }
  if (actions.empty()) return nullptr;

  auto job = MakeJob(description, drawId);
  job->RemoteSource = left_.RemoteServerName();
  job->RemoteTarget = right_.RemoteServerName();
  job->MacroSource = left_.DefinitionName();
  job->Filter->Assign(&ViewFilter);
  job->Filter->DeletedFiles = ViewFilter.DeletedFiles;
  job->Filter->DeletedDateLimit = ViewFilter.DeletedDateLimit;
  if (ViewMail) job->Mail->Assign(*ViewMail);
  AssignSchedule(*job, ViewSchedule);
  CopyChains(*job->Schedule, ViewSchedule);
  job->Schedule->SetEditHold(false);
  for (auto& a : actions) job->AddAction(std::move(a));
  return job;
}

std::unique_ptr<TTFileThreadControl> JobEditor::ViewToJob(const std::string& description) {
  return BuildJob(description, true);
}

void JobEditor::JobToView(const TTFileThreadControl& job) {
  left_.SetRemoteServerName(job.RemoteSource);
  left_.SetDefinitionName(job.MacroSource);
  right_.SetRemoteServerName(job.RemoteTarget);

  if (job.Filter) {
    ViewFilter.Assign(job.Filter.get());
    ViewFilter.DeletedFiles = job.Filter->DeletedFiles;
    ViewFilter.DeletedDateLimit = job.Filter->DeletedDateLimit;
  }
  if (job.Mail && ViewMail) ViewMail->Assign(*job.Mail);
  if (job.Schedule) {
    ViewSchedule.Assign(*job.Schedule);
    CopyChains(ViewSchedule, *job.Schedule);
  }
  ViewSchedule.PendingJobID = job.JobID;
  description_ = job.Description;

  bool first = true;
  for (const auto& a : job.Actions) {
    if (first) {
      first = false;
      ViewJobType = a->JobType;
      left_.SetDirectory(a->SourcePath);
      right_.SetDirectory(a->TargetPath);
      ViewConflictChoice = ConflictChoiceOfCode(a->Options);
      ViewDirection = a->Options & OPT_DIR_MASK;
      ViewFlags = a->Options & 0x3F00F8u;
    }
    if (!IsWholeMask(a->Source)) {
      int32_t row = left_.IndexOfName(a->Source);
      if (row < 0) row = left_.AddMissingEntry(a->Source);
      left_.SetSelected(row, true);
    }
    if (!IsWholeMask(a->Target)) {
      const int32_t row = right_.IndexOfName(a->Target);
      if (row >= 0) right_.SetSelected(row, true);
    }
  }
  UpdateControls();
}

// --- Submit ----------------------------------------------------------------------

SubmitOutcome JobEditor::Submit() {
  if (Reading()) return SubmitOutcome::Cancelled;
  if (ViewJobType == JOB_DELETE && !prompt_.YesNo(kBoxTitle, kDeleteWarning))
    return SubmitOutcome::Cancelled;
  TTFileThreadControl* existing =
      ViewSchedule.PendingJobID != 0 ? core_.Jobs().FindJobById(ViewSchedule.PendingJobID)
                                     : nullptr;
  // A running job cannot be replaced: its worker uses the record.
  if (existing && existing->Thread) {
    prompt_.Error(kBoxTitle, "Job is active");
    return SubmitOutcome::JobActive;
  }
  if (existing && ViewSchedule.HasSchedule()) {
    if (!prompt_.YesNo(kBoxTitle, "RESUBMIT job?")) return SubmitOutcome::Cancelled;
  } else if (!dialogs_.EditSchedule(ViewSchedule)) {
    return SubmitOutcome::Cancelled;
  }
  auto job = ViewToJob(description_);
  SubmitOutcome outcome = SubmitOutcome::NoJob;
  if (job) outcome = SubmitJob(std::move(job), runNow_) ? SubmitOutcome::Submitted
                                                        : SubmitOutcome::JobActive;
  UpdateControls();
  return outcome;
}

bool JobEditor::SubmitJob(std::unique_ptr<TTFileThreadControl> job, bool runNow) {
  if (!job) return false;
  JobList& list = core_.Jobs();
  if (TTFileThreadControl* old = list.FindJobById(job->JobID)) {
    if (old->Thread) {
      // Nothing changes: the editor keeps the ID it came with.
      ViewSchedule.PendingJobID = job->JobID;
      prompt_.Error(kBoxTitle, "Job is active");
      return false;
    }
    if (old->Description != job->Description)
      for (int32_t i = 0; i < list.Count(); ++i) {
        TTFileThreadControl* other = list.JobAt(i);
        if (other != old && other->Schedule->RenameInChain(old->Description, job->Description) == 1)
          SaveToQueue(*other);
      }
    const int32_t index = list.IndexOfJob(old);
    old->RemoveQueueFile();
    list.RemoveAt(index);
    list.Select(index < list.Count() ? index : index - 1);
  }
  SaveToQueue(*job);
  TTFileThreadControl* added = job.get();
  list.AddJob(std::move(job));
  list.Sort();
  list.Select(list.IndexOfJob(added));
  if (runNow && core_.Queue()) core_.Queue()->StartJob(*added);
  return true;
}

// --- Controls ---------------------------------------------------------------------

bool JobEditor::Reading() const { return left_.Busy() || right_.Busy(); }

int JobEditor::ViewMode() const {
  if (sourceEditMode_) return 3;
  if (ViewSchedule.PendingJobID != 0 && core_.Jobs().FindJobById(ViewSchedule.PendingJobID))
    return 2;
  return 1;
}

EditorControls JobEditor::UpdateControls() {
  EditorControls c;
  const bool leftHas = left_.HasDirectory();
  const bool rightHas = right_.HasDirectory();
  const bool locked = leftHas && !left_.DefinitionName().empty() && !sourceEditMode_;
  c.JobTypeCaption = JobTypeName(ViewJobType);
  c.ViewMode = ViewMode();
  c.MacroEdit = !left_.DefinitionName().empty();
  c.MacroConnect = c.ViewMode != 3;
  c.MacroDisconnect = locked;
  c.Left.Browse = c.Left.EnterName = c.Left.UnselectAll = c.Left.View = !locked;
  c.Left.Hide = c.Left.Refresh = leftHas;
  c.Right.Browse = c.Right.EnterName = c.Right.UnselectAll = c.Right.View = true;
  c.Right.Hide = c.Right.Refresh = rightHas;
  c.Submit = leftHas && !description_.empty() && (rightHas || IsSourceOnlyType(ViewJobType)) &&
             core_.Jobs().IsNameFreeFor(description_, ViewSchedule.PendingJobID) && !Reading();
  const TTFileThreadControl* selected = core_.Jobs().JobAt(core_.Jobs().Selected());
  c.SaveAs = onDirViewPage_ || selected != nullptr;
  c.Options = onDirViewPage_;
  c.ApplyTemplate = onDirViewPage_ && left_.DefinitionName().empty();
  c.QueueLoad = core_.Queue() && !core_.Queue()->QueueLoaded();
  switch (c.ViewMode) {
    case 3:
      c.BannerText = "Editing source definition: " + left_.DefinitionName();
      c.Banner = BannerColour::Aqua;
      break;
    case 2:
      c.BannerText = "Editing existing job";
      c.Banner = BannerColour::Yellow;
      break;
    default:
      c.BannerText = "New job";
      c.Banner = BannerColour::ButtonFace;
  }
  c.BannerChanged = c.ViewMode != lastViewMode_;
  lastViewMode_ = c.ViewMode;
  c.JoblistEdit = selected != nullptr && ButtonsFor(selected)[JobButton::Edit] && !Reading();
  return c;
}

// --- Files --------------------------------------------------------------------------

void JobEditor::SaveViewAs(const std::string& path) {
  const int64_t pending = ViewSchedule.PendingJobID;
  // The file carries no ID, so none is drawn for it.
  if (auto job = BuildJob(description_, false)) job->Save(path, false);
  ViewSchedule.PendingJobID = pending;
}

bool JobEditor::LoadViewFrom(const std::string& path) {
  if (!core_.Queue() || Reading()) return false;
  auto job = core_.Queue()->LoadJobFile(path);
  if (!job) return false;
  JobToView(*job);
  UpdateControls();
  return true;
}

void JobEditor::RestoreState() { LoadViewFrom(core_.Dirs().BaseDir + kEditorStateFile); }

void JobEditor::SaveState() { SaveViewAs(core_.Dirs().BaseDir + kEditorStateFile); }

// --- Into the editor ----------------------------------------------------------------

bool JobEditor::EditJob(int32_t index) {
  TTFileThreadControl* job = core_.Jobs().JobAt(index);
  if (!job || Reading()) return false;
  if (job->Thread) {
    prompt_.Error(kBoxTitle, "Job is active");
    return false;
  }
  job->Schedule->SetEditHold(true);
  if (!prompt_.YesNo(kBoxTitle, "EDIT job in directory view?")) {
    job->Schedule->SetEditHold(false);
    return false;
  }
  JobToView(*job);
  UpdateControls();
  return true;
}

bool JobEditor::EditCopyOfJob(int32_t index) {
  TTFileThreadControl* job = core_.Jobs().JobAt(index);
  if (!job || Reading()) return false;
  if (job->Thread) {
    prompt_.Error(kBoxTitle, "Job is active");
    return false;
  }
  JobToView(*job);
  // The copy carries the listed job's schedule but not its hold for editing.
  ViewSchedule.SetEditHold(false);
  ViewSchedule.PendingJobID = 0;
  description_ = "(change)" + job->Description;
  UpdateControls();
  return true;
}

// --- Job menu ----------------------------------------------------------------------------

void JobEditor::JobOpen() {
  if (Reading()) return;
  std::string path;
  if (dialogs_.OpenJobFile(core_.Dirs().JobDir, kHelpContextOpen, path) && !path.empty())
    LoadViewFrom(path);
}

void JobEditor::JobLoadToJoblist() {
  std::string path;
  if (dialogs_.OpenJobFile(core_.Dirs().JobDir, kHelpContextLoadToJoblist, path) &&
      !path.empty() && core_.Queue())
    core_.Queue()->LoadJobToList(path, true);
  UpdateControls();
}

void JobEditor::JobSaveAs(bool onDirViewPage) {
  TTFileThreadControl* selected = core_.Jobs().JobAt(core_.Jobs().Selected());
  if (!onDirViewPage && !selected) return;
  std::string path;
  if (!dialogs_.SaveJobFile(core_.Dirs().JobDir, path) || path.empty()) return;
  if (onDirViewPage)
    SaveViewAs(path);
  else
    selected->Save(path, false);
}

void JobEditor::JobOptions() {
  if (dialogs_.JobOptions(*this)) UpdateControls();
}

void JobEditor::JobApplyTemplate() {
  if (Reading()) return;
  std::string path;
  if (!dialogs_.ChooseTemplate(core_.Dirs().TemplateDir, path) || path.empty()) return;
  auto job = ViewToJob(description_);
  if (!job) return;
  ApplyTemplate(*job, path);
  JobToView(*job);
}

// --- Pane buttons -------------------------------------------------------------------------

void JobEditor::Browse(DirPane& pane) {
  std::string start = pane.HasDirectory() ? pane.GetPath() : core_.Dirs().BaseDir;
  std::string chosen = start;
  const bool ok = pane.RemoteServerName().empty()
                      ? dialogs_.BrowseFolder(start, chosen)
                      : prompt_.Input("Remote Server", "Select Directory", chosen);
  if (ok && !chosen.empty()) pane.SetDirectory(chosen);
  UpdateControls();
}

void JobEditor::EnterDirectoryName(DirPane& pane) {
  std::string path = pane.GetPath();
  if (prompt_.Input("Change Directory",
                    "Enter Directory Name (@" + pane.RemoteServerName() + ")", path) &&
      !path.empty())
    pane.SetDirectory(path);
  UpdateControls();
}

void JobEditor::Refresh(DirPane& pane) {
  pane.Reload();
  UpdateControls();
}

void JobEditor::UnselectAll(DirPane& pane) {
  pane.UnselectAll();
  UpdateControls();
}

void JobEditor::HideView(DirPane& pane) {
  const char* text = pane.Number() == 0 ? "Close left directory view" : "Close right directory view";
  if (prompt_.YesNo(kBoxTitle, text)) pane.SetDirectory("");
  UpdateControls();
}

}  // namespace mv
