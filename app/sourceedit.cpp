#include "app/sourceedit.h"

#include <algorithm>
#include <filesystem>

#include "app/dirpane.h"
#include "app/jobeditor.h"
#include "app/mvmain.h"
#include "app/prompt.h"
#include "jobs/jobfile.h"
#include "platform/profile.h"

namespace mv {

namespace {

bool NameCharacter(char c) {
  return c == ' ' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

std::string NewSourceNameError(const std::string& name, const std::vector<std::string>& names) {
  if (name.size() > kMaxSourceNameLength || !std::all_of(name.begin(), name.end(), NameCharacter))
    return "Invalid characters";
  if (std::find(names.begin(), names.end(), name) != names.end()) return "Duplicate entry";
  return {};
}

std::vector<std::string> SourceDefinitionNames(const std::string& file) { return ProfileSections(file); }

const char* SourceEditCaption(bool sourceEditMode) { return sourceEditMode ? "Quit Edit" : "Edit"; }

SourceEditor::SourceEditor(MiravaCore& core, Prompt& prompt, JobEditor& editor, SourceChooser& chooser)
    : core_(core), prompt_(prompt), editor_(editor), chooser_(chooser) {}

void SourceEditor::Connect() {
  if (editor_.SourceEditMode()) return;
  std::string chosen;
  bool created = false;
  if (!chooser_.Choose(SourceDefinitionNames(core_.Dirs().SourceDefinitionFile), chosen, created) ||
      chosen.empty())
    return;
  editor_.Left().SetDefinitionName(chosen);
  if (created) SaveViewSourceDefinition(false);
  // The saved file names the definition, so reading it back brings the
  // definition's folder, entries and filter into the left pane.
  const int64_t pending = editor_.ViewSchedule.PendingJobID;
  const bool queued = editor_.ViewSchedule.Queued;
  const std::string file = core_.Dirs().BaseDir + kSourceConnectFile;
  editor_.SaveViewAs(file);
  editor_.LoadViewFrom(file);
  editor_.ViewSchedule.PendingJobID = pending;
  editor_.ViewSchedule.Queued = queued;
  editor_.UpdateControls();
}

void SourceEditor::Edit() {
  const std::string name = editor_.Left().DefinitionName();
  if (name.empty()) return;
  if (!editor_.SourceEditMode()) {
    editor_.SetSourceEditMode(true);
    editor_.UpdateControls();
    return;
  }
  const PromptAnswer save =
      prompt_.YesNoCancel(kPromptTitle, "Save source definition macro \"" + name + "\"");
  if (save == PromptAnswer::Cancel) return;
  if (save == PromptAnswer::Yes) {
    SaveViewSourceDefinition(prompt_.YesNo(kPromptTitle, "Reset source info time?"));
    const int32_t n = RefreshJobsUsingSource(name, true);
    if (n > 0 && prompt_.YesNo(kPromptTitle, std::to_string(n) + " jobs share this definition, update now?"))
      RefreshJobsUsingSource(name, false);
  }
  editor_.SetSourceEditMode(false);
  editor_.UpdateControls();
}

void SourceEditor::Disconnect() {
  DirPane& left = editor_.Left();
  if (!left.HasDirectory() || left.DefinitionName().empty() || editor_.SourceEditMode()) return;
  editor_.SetSourceEditMode(false);
  left.SetDefinitionName("");
  left.Reload();
  editor_.UpdateControls();
}

void SourceEditor::SaveViewSourceDefinition(bool resetTracking) {
  const int64_t pending = editor_.ViewSchedule.PendingJobID;
  if (auto job = editor_.ViewToJob(editor_.Description())) SaveSourceDefinition(*job, resetTracking);
  editor_.ViewSchedule.PendingJobID = pending;
}

int32_t SourceEditor::RefreshJobsUsingSource(const std::string& name, bool countOnly) {
  int32_t count = 0;
  JobList& jobs = core_.Jobs();
  for (int32_t i = 0; i < jobs.Count(); ++i) {
    TTFileThreadControl* job = jobs.JobAt(i);
    if (job->Thread || !job->Schedule->Queued || job->MacroSource != name) continue;
    ++count;
    if (countOnly) continue;
    const std::string file = job->QueueFileName();
    // Without its file the job would be loaded as an empty record.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) continue;
    job->Load(file);
    job->Save(file, true);
    jobs.NotifyChanged(job);
  }
  return count;
}

}  // namespace mv
