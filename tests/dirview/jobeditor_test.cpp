// The job editor without widgets, on real folders and a real program core:
// panes to job and back, the submit rules, editing listed jobs, job files,
// templates, the editor's state across a restart.

#include "app/jobeditor.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <tuple>

#include "app/dirpane.h"
#include "app/mvmain.h"
#include "app/prompt.h"
#include "engine/copythread.h"
#include "jobs/jobfile.h"
#include "mail/mvmail.h"
#include "platform/profile.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

using std::tuple;
using test::TempDir;
using NamePairs = std::vector<std::pair<std::string, std::string>>;

// Scripted dialogs: each call takes the next answer of its kind; a call
// without one is counted as unexpected and cancelled.
class ScriptedDialogs : public EditorDialogs {
 public:
  std::deque<std::function<bool(TTSchedule&)>> Schedules;
  std::deque<std::string> Files;  // open and save answers; "" = cancel
  std::deque<std::string> Templates;
  int Unexpected = 0;
  int ScheduleCalls = 0;

  bool EditSchedule(TTSchedule& s) override {
    ++ScheduleCalls;
    if (Schedules.empty()) return ++Unexpected, false;
    auto f = Schedules.front();
    Schedules.pop_front();
    return f(s);
  }
  bool OpenJobFile(const std::string&, int, std::string& path) override { return Take(Files, path); }
  bool SaveJobFile(const std::string&, std::string& path) override { return Take(Files, path); }
  bool ChooseTemplate(const std::string&, std::string& path) override { return Take(Templates, path); }
  bool JobOptions(JobEditor&) override { return ++Unexpected, false; }
  bool BrowseFolder(const std::string&, std::string&) override { return ++Unexpected, false; }

 private:
  bool Take(std::deque<std::string>& from, std::string& out) {
    if (from.empty()) return ++Unexpected, false;
    out = from.front();
    from.pop_front();
    return !out.empty();
  }
};

// What the schedule dialog's OK stores for a queued hourly job.
bool QueuedHourly(TTSchedule& s) {
  s.Queued = true;
  s.Hours = 1;
  s.NextRun = 50000;
  return true;
}

// Source and target name of each action.
NamePairs Names(const TTFileThreadControl& job) {
  NamePairs names;
  for (const auto& a : job.Actions) names.emplace_back(a->Source, a->Target);
  return names;
}

class Editor : public testing::Test {
 protected:
  void SetUp() override { Start(); }
  void TearDown() override {
    EXPECT_TRUE(prompt.Complete()) << testing::PrintToString(prompt.Failures());
    EXPECT_EQ(dialogs.Unexpected, 0);
    Stop();
  }

  void Start(std::vector<std::string> words = {}) {
    core = std::make_unique<MiravaCore>();
    StartOptions o;
    o.Base = dir / "base";
    o.Words = std::move(words);
    core->Startup(std::move(o));
    left = std::make_unique<DirPane>(0);
    right = std::make_unique<DirPane>(1);
    editor = std::make_unique<JobEditor>(*core, prompt, dialogs, *left, *right);
  }
  void Stop() {
    editor.reset();
    left.reset();
    right.reset();
    if (core) core->Shutdown();
    core.reset();
  }

  // Source folder with a few entries, an empty target folder.
  void Folders() {
    for (const char* f : {"src/a.txt", "src/b.txt", "src/sub/c.txt"}) dir.Write(f, "x");
    std::filesystem::create_directories(dir / "dst");
    left->SetDirectory(dir / "src");
    right->SetDirectory(dir / "dst");
  }

  // A listed job made through the editor.
  TTFileThreadControl* SubmitNew(const std::string& name) {
    editor->SetDescription(name);
    dialogs.Schedules.push_back(QueuedHourly);
    EXPECT_EQ(editor->Submit(), SubmitOutcome::Submitted);
    return core->Jobs().FindJobByName(name);
  }

  TempDir dir;
  ScriptedPrompt prompt;
  ScriptedDialogs dialogs;
  std::unique_ptr<MiravaCore> core;
  std::unique_ptr<DirPane> left, right;
  std::unique_ptr<JobEditor> editor;
};

TEST_F(Editor, ViewToJobBuildsOneActionPerSelectedEntryOrOneWholeAction) {
  Folders();
  auto whole = editor->ViewToJob("Whole");
  ASSERT_TRUE(whole);
  EXPECT_EQ(Names(*whole), (NamePairs{{"*.*", "*.*"}}));

  left->SetSelected(left->IndexOfExactName("b.txt"), true);
  left->SetSelected(left->IndexOfExactName("a.txt"), true);
  left->SetSelected(0, true);  // ".." never becomes an action
  std::filesystem::create_directories(dir / "dst/t");
  right->Reload();
  right->SetSelected(right->IndexOfExactName("t"), true);
  auto some = editor->ViewToJob("Some");
  ASSERT_TRUE(some);
  EXPECT_EQ(Names(*some), (NamePairs{{"a.txt", ""}, {"b.txt", ""}, {"", "t"}}));

  // Only "..": no job, and the editor keeps the ID it edits.
  left->UnselectAll();
  right->UnselectAll();
  left->SetSelected(0, true);
  editor->ViewSchedule.PendingJobID = 77;
  EXPECT_FALSE(editor->ViewToJob("None"));
  EXPECT_EQ(editor->ViewSchedule.PendingJobID, 77);
}

TEST_F(Editor, JobToViewShowsTheJobAndAddsAVanishedSourceEntrySelected) {
  Folders();
  auto job = editor->ViewToJob("Shown");
  job->Actions.clear();
  const uint32_t options = OPT_OVERWRITE_ALL | OPT_DIR_TO_SOURCE | OPT_CLEAR_ARCHIVE | OPT_RESUME_FILE;
  job->AddAction(std::make_unique<TTFileAction>(dir / "src/", "A.TXT", dir / "dst/", "", options, JOB_ANALYZE));
  job->AddAction(std::make_unique<TTFileAction>(dir / "src/", "old.txt", dir / "dst/", "", options, JOB_ANALYZE));
  job->AddAction(std::make_unique<TTFileAction>(dir / "src/", "", dir / "dst/", "nothere", options, JOB_ANALYZE));
  job->Filter->ExcludeFileNames = "*.tmp";
  job->Schedule->RunAfterSuccess = "Next";
  job->Schedule->RunAfterSuccessEnabled = true;
  left->SetDirectory("");
  right->SetDirectory("");

  editor->JobToView(*job);
  EXPECT_EQ(tuple(left->GetPath(), right->GetPath(), editor->Description(),
                  editor->ViewSchedule.PendingJobID),
            tuple(dir / "src/", dir / "dst/", "Shown", job->JobID));
  EXPECT_EQ(tuple(editor->ViewJobType, editor->ViewConflictChoice, editor->ViewDirection,
                  editor->ViewFlags, editor->ViewFilter.ExcludeFileNames),
            tuple(JOB_ANALYZE, 2, OPT_DIR_TO_SOURCE, OPT_CLEAR_ARCHIVE | OPT_RESUME_FILE, "*.tmp"));
  // "A.TXT" finds a.txt (letter case aside); old.txt is shown with image 4.
  EXPECT_EQ(left->SelectedNames(), (std::vector<std::string>{"a.txt", "old.txt"}));
  EXPECT_EQ(left->StateImage(left->IndexOfExactName("old.txt")), kImageAdded);
  // Nothing is added on the right.
  EXPECT_EQ(tuple(right->SelectedCount(), right->IndexOfExactName("nothere")), tuple(0, -1));

  // Back again: the same actions and the chain.
  auto again = editor->ViewToJob("Shown");
  ASSERT_EQ(again->Actions.size(), 2u);
  EXPECT_EQ(tuple(again->Actions[1]->Source, again->Actions[0]->Options, again->JobID,
                  again->Schedule->RunAfterSuccess, again->Schedule->RunAfterSuccessEnabled),
            tuple("old.txt", options, job->JobID, "Next", true));
}

TEST_F(Editor, DeleteJobWarnsBeforeAnythingElseAndNoChangesNothing) {
  Folders();
  editor->ViewJobType = JOB_DELETE;
  editor->SetDescription("Cleaner");
  prompt.ExpectYesNo(kDeleteWarning, false);
  EXPECT_EQ(editor->Submit(), SubmitOutcome::Cancelled);
  EXPECT_EQ(tuple(dialogs.ScheduleCalls, core->Jobs().Count(), left->GetPath()),
            tuple(0, 0, dir / "src/"));

  prompt.ExpectYesNo(kDeleteWarning, true);
  EXPECT_TRUE(SubmitNew("Cleaner"));
}

TEST_F(Editor, EditedJobWithScheduleIsResubmittedInPlaceWithoutTheScheduleDialog) {
  Folders();
  TTFileThreadControl* job = SubmitNew("Daily");
  const int64_t id = job->JobID;
  prompt.ExpectYesNo("EDIT job in directory view?", true);
  ASSERT_TRUE(editor->EditJob(core->Jobs().IndexOfJob(job)));
  EXPECT_TRUE(job->Schedule->Flags & SCHED_EDIT_HOLD);

  left->SetSelected(left->IndexOfExactName("a.txt"), true);
  prompt.ExpectYesNo("RESUBMIT job?", true);
  EXPECT_EQ(editor->Submit(), SubmitOutcome::Submitted);
  EXPECT_EQ(dialogs.ScheduleCalls, 1);  // only for the first submit
  ASSERT_EQ(core->Jobs().Count(), 1);
  TTFileThreadControl* replaced = core->Jobs().JobAt(0);
  EXPECT_EQ(tuple(replaced->JobID, Names(*replaced)), tuple(id, NamePairs{{"a.txt", ""}}));
  EXPECT_FALSE(replaced->Schedule->Flags & SCHED_EDIT_HOLD);

  // "No" to the edit question clears the mark again.
  prompt.ExpectYesNo("EDIT job in directory view?", false);
  EXPECT_FALSE(editor->EditJob(0));
  EXPECT_FALSE(replaced->Schedule->Flags & SCHED_EDIT_HOLD);
}

TEST_F(Editor, RenamingOnResubmitRewritesTheChainsAndQueueFilesOfOtherJobs) {
  Folders();
  TTFileThreadControl* first = SubmitNew("First");
  editor->SetDescription("Second");
  editor->ViewSchedule.RunAfterSuccess = "Other|First";
  TTFileThreadControl* second = SubmitNew("Second");
  ASSERT_TRUE(first && second);
  ASSERT_EQ(ProfileReadString(second->QueueFileName(), "schedule", "runaftersuccess", ""), "Other|First");

  prompt.ExpectYesNo("EDIT job in directory view?", true);
  ASSERT_TRUE(editor->EditJob(core->Jobs().IndexOfJob(first)));
  editor->SetDescription("Renamed");
  prompt.ExpectYesNo("RESUBMIT job?", true);
  ASSERT_EQ(editor->Submit(), SubmitOutcome::Submitted);
  EXPECT_EQ(second->Schedule->RunAfterSuccess, "Other|Renamed");
  EXPECT_EQ(ProfileReadString(second->QueueFileName(), "schedule", "runaftersuccess", ""), "Other|Renamed");
}

TEST_F(Editor, SubmitNeedsLeftPaneNameAndRightPaneUnlessSourceOnly) {
  Folders();
  editor->SetDescription("Job");
  right->SetDirectory("");
  EXPECT_FALSE(editor->UpdateControls().Submit) << "a COPY job needs its target";
  editor->ViewJobType = JOB_ANALYZE;
  EXPECT_TRUE(editor->UpdateControls().Submit);
  editor->SetDescription("");
  EXPECT_FALSE(editor->UpdateControls().Submit);
  editor->SetDescription("Job");
  left->SetDirectory("");
  EXPECT_FALSE(editor->UpdateControls().Submit);
}

TEST_F(Editor, DuplicateNameOfAnotherListedJobDisablesSubmit) {
  Folders();
  SubmitNew("Taken");
  editor->SetDescription("Taken");
  EXPECT_FALSE(editor->UpdateControls().Submit);
  editor->SetDescription("taken");  // names are exact
  EXPECT_TRUE(editor->UpdateControls().Submit);
}

TEST_F(Editor, EditACopyAddsASecondJob) {
  Folders();
  TTFileThreadControl* job = SubmitNew("Base");
  const int64_t id = job->JobID;
  ASSERT_TRUE(editor->EditCopyOfJob(0));
  EXPECT_EQ(tuple(editor->Description(), editor->ViewSchedule.PendingJobID), tuple("(change)Base", 0));
  dialogs.Schedules.push_back(QueuedHourly);  // a copy without pending ID asks for its schedule
  ASSERT_EQ(editor->Submit(), SubmitOutcome::Submitted);
  ASSERT_EQ(core->Jobs().Count(), 2);
  EXPECT_TRUE(core->Jobs().FindJobById(id));
}

TEST_F(Editor, RunningJobIsNeverReplacedNorMovedIntoTheEditor) {
  Folders();
  TTFileThreadControl* job = SubmitNew("Busy");
  const int64_t id = job->JobID;
  prompt.ExpectYesNo("EDIT job in directory view?", true);
  ASSERT_TRUE(editor->EditJob(0));
  // A run request starts it while it is in the editor. Its worker waits for
  // the main thread (not pumped here), so it stays running.
  ASSERT_TRUE(core->Queue()->StartJob(*job));
  ASSERT_TRUE(job->Thread);
  EXPECT_FALSE(editor->UpdateControls().JoblistEdit);

  left->SetSelected(left->IndexOfExactName("a.txt"), true);
  prompt.ExpectError("Job is active");
  EXPECT_EQ(editor->Submit(), SubmitOutcome::JobActive);
  EXPECT_EQ(tuple(core->Jobs().JobAt(0), job->Actions[0]->Source, editor->ViewSchedule.PendingJobID,
                  editor->UpdateControls().ViewMode),
            tuple(job, "*.*", id, 2));

  prompt.ExpectError("Job is active");
  EXPECT_FALSE(editor->EditJob(0));

  core->Sync().RunUntil([&] { return core->Queue()->Running() == 0; }, std::chrono::seconds(60));
  core->Queue()->ReapFinished();
  EXPECT_FALSE(job->Thread);
}

TEST_F(Editor, NothingTakesThePanesWhileOneReadsItsFolder) {
  Folders();
  SubmitNew("Listed");
  editor->SetDescription("Other");
  editor->SaveViewAs(dir / "saved.MVJ");
  bool asked = false;
  left->SetReadRunner([&](const std::function<void()>& work) {
    // What the window's event loop can deliver while the read runs.
    asked = true;
    const EditorControls c = editor->UpdateControls();
    EXPECT_EQ(tuple(editor->Reading(), c.Submit, c.JoblistEdit), tuple(true, false, false));
    EXPECT_EQ(editor->Submit(), SubmitOutcome::Cancelled);
    EXPECT_FALSE(editor->EditJob(0));
    EXPECT_FALSE(editor->EditCopyOfJob(0));
    EXPECT_FALSE(editor->LoadViewFrom(dir / "saved.MVJ"));
    editor->JobOpen();           // no dialog is shown (it would count as unexpected)
    editor->JobApplyTemplate();
    work();
  });
  left->SetDirectory(dir / "src/sub");
  EXPECT_TRUE(asked);
  EXPECT_EQ(core->Jobs().Count(), 1);
  EXPECT_FALSE(core->Jobs().JobAt(0)->Schedule->Flags & SCHED_EDIT_HOLD);
  EXPECT_EQ(tuple(left->GetPath(), editor->Description(), editor->UpdateControls().Submit),
            tuple(dir / "src/sub/", "Other", true));
}

TEST_F(Editor, JobFilesOpenSaveAndLoadToJoblist) {
  Folders();
  left->SetSelected(left->IndexOfExactName("b.txt"), true);
  editor->SetDescription("Saved");
  editor->ViewSchedule.PendingJobID = 0x42;
  dialogs.Files.push_back(dir / "saved.MVJ");
  editor->JobSaveAs(true);
  EXPECT_EQ(tuple(editor->ViewSchedule.PendingJobID,
                  ProfileReadString(dir / "saved.MVJ", "schedule", "jobID", "none"),
                  ProfileReadString(dir / "saved.MVJ", "actions", "source0", "")),
            tuple(0x42, "none", "b.txt"));

  // Open into a clean editor.
  left->SetDirectory("");
  editor->SetDescription("other");
  dialogs.Files.push_back(dir / "saved.MVJ");
  editor->JobOpen();
  EXPECT_EQ(tuple(editor->Description(), left->SelectedNames()),
            tuple("Saved", std::vector<std::string>{"b.txt"}));

  // An unreadable file leaves the editor unchanged.
  dir.Write("broken.MVJ", "[job]\r\n");
  dialogs.Files.push_back(dir / "broken.MVJ");
  editor->JobOpen();
  EXPECT_EQ(editor->Description(), "Saved");

  dialogs.Files.push_back(dir / "saved.MVJ");
  editor->JobLoadToJoblist();
  ASSERT_EQ(core->Jobs().Count(), 1);
  EXPECT_TRUE(core->Jobs().JobAt(0)->Schedule->IsHold());
}

TEST_F(Editor, RoundTripThroughShutdownAndQueueLoad) {
  Folders();
  left->SetSelected(left->IndexOfExactName("sub"), true);
  left->SetSelected(left->IndexOfExactName("a.txt"), true);
  editor->SetDescription("Round trip");
  editor->ViewConflictChoice = 2;
  editor->ViewFlags = OPT_MIRROR;
  editor->ViewFilter.IncludeFileNames = "*.txt|*.doc";
  editor->ViewFilter.ExcludeDirNames = "tmp";
  editor->ViewMail->AddRecipient("admin@example.org", 0x3);
  dialogs.Schedules.push_back([](TTSchedule& s) {
    QueuedHourly(s);
    s.Weekdays = 0x3E;
    s.RunAfterSuccessEnabled = true;
    s.RunAfterSuccess = "Then";
    return true;
  });
  ASSERT_EQ(editor->Submit(), SubmitOutcome::Submitted);
  TTFileThreadControl* job = core->Jobs().FindJobByName("Round trip");
  ASSERT_TRUE(job);
  const int64_t id = job->JobID;
  const std::vector<std::string> leftSelected = left->SelectedNames();
  editor->SaveState();
  Stop();

  Start({"QLOAD"});
  editor->RestoreState();
  ASSERT_EQ(core->Jobs().Count(), 1);
  TTFileThreadControl* back = core->Jobs().JobAt(0);
  EXPECT_EQ(tuple(back->JobID, back->Description, Names(*back)),
            tuple(id, "Round trip", NamePairs{{"sub", ""}, {"a.txt", ""}}));
  const TTFileAction& a = *back->Actions[0];
  EXPECT_EQ(tuple(a.SourcePath, a.TargetPath, a.Options),
            tuple(dir / "src/", dir / "dst/", OPT_OVERWRITE_ALL | OPT_DIR_TO_TARGET | OPT_MIRROR));
  EXPECT_EQ(tuple(back->Filter->IncludeFileNames, back->Filter->ExcludeDirNames),
            tuple("*.txt|*.doc", "tmp"));
  const TTSchedule& s = *back->Schedule;
  EXPECT_EQ(tuple(s.Hours, s.Weekdays, s.RunAfterSuccess, s.RunAfterSuccessEnabled),
            tuple(1, 0x3E, "Then", true));
  ASSERT_EQ(back->Mail->Message.ToAddress.size(), 1u);
  EXPECT_EQ(tuple(back->Mail->Message.ToAddress[0].Address, back->Mail->Message.ToAddress[0].Flags),
            tuple("admin@example.org", 0x3u));

  // The editor shows what it showed.
  EXPECT_EQ(tuple(left->GetPath(), right->GetPath(), left->SelectedNames(), editor->Description()),
            tuple(dir / "src/", dir / "dst/", leftSelected, "Round trip"));
  EXPECT_EQ(tuple(editor->ViewConflictChoice, editor->ViewFlags,
                  editor->ViewFilter.IncludeFileNames,
                  editor->ViewMail->HasRecipient("admin@example.org")),
            tuple(2, OPT_MIRROR, "*.txt|*.doc", true));
}

TEST_F(Editor, MissingOrBrokenStateFileLeavesTheEditorEmpty) {
  editor->RestoreState();
  EXPECT_FALSE(left->HasDirectory());
  EXPECT_EQ(editor->Description(), kInitialDescription);
  dir.Write("base/MIRAVA.MVJ", "garbage");
  editor->RestoreState();
  EXPECT_FALSE(left->HasDirectory());
}

}  // namespace
}  // namespace mv
