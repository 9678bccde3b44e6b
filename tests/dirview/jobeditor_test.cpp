// The job editor without widgets, on real folders and a real program core:
// panes to job and back, the submit flow, editing listed jobs, job files,
// templates, the editor's state across a restart.

#include "app/jobeditor.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>

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

using test::TempDir;

// Scripted dialogs: each call takes the next answer of its kind; a call
// without one is counted as unexpected and cancelled.
class ScriptedDialogs : public EditorDialogs {
 public:
  std::deque<std::function<bool(TTSchedule&)>> Schedules;
  std::deque<std::string> Files;  // open and save answers; "" = cancel
  std::deque<std::string> Templates;
  std::deque<std::string> Folders;
  std::vector<int> HelpContexts;
  std::vector<std::string> BrowseStarts;
  int Unexpected = 0;
  int ScheduleCalls = 0;

  bool EditSchedule(TTSchedule& s) override {
    ++ScheduleCalls;
    if (Schedules.empty()) return ++Unexpected, false;
    auto f = Schedules.front();
    Schedules.pop_front();
    return f(s);
  }
  bool OpenJobFile(const std::string&, int helpContext, std::string& path) override {
    HelpContexts.push_back(helpContext);
    return Take(Files, path);
  }
  bool SaveJobFile(const std::string&, std::string& path) override { return Take(Files, path); }
  bool ChooseTemplate(const std::string&, std::string& path) override { return Take(Templates, path); }
  bool JobOptions(JobEditor&) override { return ++Unexpected, false; }
  bool BrowseFolder(const std::string& start, std::string& path) override {
    BrowseStarts.push_back(start);
    return Take(Folders, path);
  }

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
  editor->ViewConflictChoice = 1;
  editor->ViewDirection = OPT_DIR_BOTH;
  editor->ViewFlags = OPT_MIRROR;
  editor->ViewFilter.IncludeFileNames = "*.txt";
  editor->ViewMail->AddRecipient("ops@example.org", 0x11);

  auto whole = editor->ViewToJob("Whole");
  ASSERT_TRUE(whole);
  ASSERT_EQ(whole->Actions.size(), 1u);
  const TTFileAction& a = *whole->Actions[0];
  EXPECT_EQ(a.SourcePath, dir / "src/");
  EXPECT_EQ(a.TargetPath, dir / "dst/");
  EXPECT_EQ(a.Source, "*.*");
  EXPECT_EQ(a.Target, "*.*");
  EXPECT_EQ(a.Options, OPT_SKIP_EXISTING | OPT_DIR_BOTH | OPT_MIRROR);
  EXPECT_EQ(a.JobType, JOB_COPY);
  EXPECT_EQ(whole->Filter->IncludeFileNames, "*.txt");
  EXPECT_TRUE(whole->Mail->HasRecipient("ops@example.org"));
  EXPECT_GT(whole->JobID, 0);

  left->SetSelected(left->IndexOfExactName("b.txt"), true);
  left->SetSelected(left->IndexOfExactName("a.txt"), true);
  left->SetSelected(0, true);  // ".." never becomes an action
  std::filesystem::create_directories(dir / "dst/t");
  right->Reload();
  right->SetSelected(right->IndexOfExactName("t"), true);
  auto some = editor->ViewToJob("Some");
  ASSERT_TRUE(some);
  ASSERT_EQ(some->Actions.size(), 3u);
  EXPECT_EQ(some->Actions[0]->Source, "a.txt");
  EXPECT_EQ(some->Actions[0]->Target, "");
  EXPECT_EQ(some->Actions[1]->Source, "b.txt");
  EXPECT_EQ(some->Actions[2]->Source, "");
  EXPECT_EQ(some->Actions[2]->Target, "t");

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
  EXPECT_EQ(left->GetPath(), dir / "src/");
  EXPECT_EQ(right->GetPath(), dir / "dst/");
  EXPECT_EQ(editor->Description(), "Shown");
  EXPECT_EQ(editor->ViewSchedule.PendingJobID, job->JobID);
  EXPECT_EQ(editor->ViewJobType, JOB_ANALYZE);
  EXPECT_EQ(editor->ViewConflictChoice, 2);
  EXPECT_EQ(editor->ViewDirection, OPT_DIR_TO_SOURCE);
  EXPECT_EQ(editor->ViewFlags, OPT_CLEAR_ARCHIVE | OPT_RESUME_FILE);
  EXPECT_EQ(editor->ViewFilter.ExcludeFileNames, "*.tmp");
  // "A.TXT" finds a.txt (letter case aside); old.txt is shown with image 4.
  EXPECT_EQ(left->SelectedNames(), (std::vector<std::string>{"a.txt", "old.txt"}));
  EXPECT_EQ(left->StateImage(left->IndexOfExactName("old.txt")), kImageAdded);
  EXPECT_EQ(right->SelectedCount(), 0);  // nothing is added on the right
  EXPECT_EQ(right->IndexOfExactName("nothere"), -1);

  // Back again: the same actions and the chain.
  auto again = editor->ViewToJob("Shown");
  ASSERT_EQ(again->Actions.size(), 2u);
  EXPECT_EQ(again->Actions[1]->Source, "old.txt");
  EXPECT_EQ(again->Actions[0]->Options, options);
  EXPECT_EQ(again->JobID, job->JobID);
  EXPECT_EQ(again->Schedule->RunAfterSuccess, "Next");
  EXPECT_TRUE(again->Schedule->RunAfterSuccessEnabled);
}

TEST_F(Editor, DeleteJobWarnsBeforeAnythingElseAndNoChangesNothing) {
  Folders();
  editor->ViewJobType = JOB_DELETE;
  editor->SetDescription("Cleaner");
  prompt.ExpectYesNo(kDeleteWarning, false);
  EXPECT_EQ(editor->Submit(), SubmitOutcome::Cancelled);
  EXPECT_EQ(dialogs.ScheduleCalls, 0);
  EXPECT_EQ(core->Jobs().Count(), 0);
  EXPECT_EQ(left->GetPath(), dir / "src/");

  prompt.ExpectYesNo(kDeleteWarning, true);
  EXPECT_TRUE(SubmitNew("Cleaner"));
  EXPECT_EQ(core->Jobs().Count(), 1);
}

TEST_F(Editor, NewJobGoesThroughTheScheduleDialogIntoTheListAndItsQueueFile) {
  Folders();
  EXPECT_EQ(editor->UpdateControls().BannerText, "New job");
  editor->SetDescription("Nightly");
  dialogs.Schedules.push_back([](TTSchedule&) { return false; });
  EXPECT_EQ(editor->Submit(), SubmitOutcome::Cancelled);
  EXPECT_EQ(core->Jobs().Count(), 0);

  TTFileThreadControl* job = SubmitNew("Nightly");
  ASSERT_TRUE(job);
  EXPECT_EQ(core->Jobs().Selected(), core->Jobs().IndexOfJob(job));
  EXPECT_TRUE(std::filesystem::exists(job->QueueFileName()));
  EXPECT_EQ(job->Schedule->Hours, 1);
  // The editor now holds a new job of the same name: SUBMIT waits for a new name.
  EXPECT_EQ(editor->ViewSchedule.PendingJobID, 0);
  const EditorControls c = editor->UpdateControls();
  EXPECT_EQ(c.ViewMode, 1);
  EXPECT_FALSE(c.Submit);
}

TEST_F(Editor, EditedJobWithScheduleIsResubmittedInPlaceWithoutTheScheduleDialog) {
  Folders();
  TTFileThreadControl* job = SubmitNew("Daily");
  const int64_t id = job->JobID;
  editor->UpdateControls();

  prompt.ExpectYesNo("EDIT job in directory view?", true);
  ASSERT_TRUE(editor->EditJob(core->Jobs().IndexOfJob(job)));
  EXPECT_TRUE(job->Schedule->Flags & SCHED_EDIT_HOLD);
  EditorControls c = editor->UpdateControls();
  EXPECT_EQ(c.ViewMode, 2);
  EXPECT_EQ(c.BannerText, "Editing existing job");
  EXPECT_EQ(c.Banner, BannerColour::Yellow);
  EXPECT_FALSE(editor->UpdateControls().BannerChanged);  // repainted once only
  EXPECT_TRUE(c.Submit);

  left->SetSelected(left->IndexOfExactName("a.txt"), true);
  prompt.ExpectYesNo("RESUBMIT job?", true);
  EXPECT_EQ(editor->Submit(), SubmitOutcome::Submitted);
  EXPECT_EQ(dialogs.ScheduleCalls, 1);  // only for the first submit
  ASSERT_EQ(core->Jobs().Count(), 1);
  TTFileThreadControl* replaced = core->Jobs().JobAt(0);
  EXPECT_EQ(replaced->JobID, id);
  ASSERT_EQ(replaced->Actions.size(), 1u);
  EXPECT_EQ(replaced->Actions[0]->Source, "a.txt");
  EXPECT_FALSE(replaced->Schedule->Flags & SCHED_EDIT_HOLD);

  // "No" to the edit question clears the mark again.
  prompt.ExpectYesNo("EDIT job in directory view?", false);
  EXPECT_FALSE(editor->EditJob(0));
  EXPECT_FALSE(replaced->Schedule->Flags & SCHED_EDIT_HOLD);
}

TEST_F(Editor, EditedJobWithoutScheduleGetsTheScheduleDialog) {
  Folders();
  editor->SetDescription("Manual");
  dialogs.Schedules.push_back([](TTSchedule& s) { return s.Queued = true; });
  ASSERT_EQ(editor->Submit(), SubmitOutcome::Submitted);
  prompt.ExpectYesNo("EDIT job in directory view?", true);
  ASSERT_TRUE(editor->EditJob(0));
  dialogs.Schedules.push_back(QueuedHourly);
  EXPECT_EQ(editor->Submit(), SubmitOutcome::Submitted);
  EXPECT_EQ(dialogs.ScheduleCalls, 2);
  EXPECT_EQ(core->Jobs().Count(), 1);
  EXPECT_EQ(core->Jobs().JobAt(0)->Schedule->Hours, 1);
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
  ASSERT_TRUE(core->Jobs().FindJobByName("Renamed"));
  EXPECT_FALSE(core->Jobs().FindJobByName("First"));
  EXPECT_EQ(core->Jobs().Count(), 2);
}

TEST_F(Editor, SubmitNeedsLeftPaneNameAndRightPaneUnlessSourceOnly) {
  Folders();
  editor->SetDescription("Job");
  right->SetDirectory("");
  struct Case { int32_t type; bool submit; };
  for (const Case& c : {Case{JOB_COPY, false}, Case{JOB_ANALYZE, true}, Case{JOB_NETWARE_PURGE, true},
                        Case{JOB_DELETE, true}}) {
    editor->ViewJobType = c.type;
    EXPECT_EQ(editor->UpdateControls().Submit, c.submit) << c.type;
  }
  EXPECT_EQ(editor->UpdateControls().JobTypeCaption, "DELETE");
  editor->ViewJobType = JOB_ANALYZE;
  editor->SetDescription("");
  EXPECT_FALSE(editor->UpdateControls().Submit);
  editor->SetDescription("Job");
  left->SetDirectory("");
  EXPECT_FALSE(editor->UpdateControls().Submit);
  EditorControls c = editor->UpdateControls();
  EXPECT_FALSE(c.Left.Hide);
  EXPECT_FALSE(c.Right.Refresh);
  EXPECT_TRUE(c.Left.Browse);
  EXPECT_FALSE(c.New);
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
  EXPECT_EQ(editor->Description(), "(change)Base");
  EXPECT_EQ(editor->ViewSchedule.PendingJobID, 0);
  EXPECT_FALSE(job->Schedule->Flags & SCHED_EDIT_HOLD);
  EXPECT_EQ(editor->UpdateControls().ViewMode, 1);
  dialogs.Schedules.push_back(QueuedHourly);  // a copy without pending ID asks for its schedule
  ASSERT_EQ(editor->Submit(), SubmitOutcome::Submitted);
  ASSERT_EQ(core->Jobs().Count(), 2);
  TTFileThreadControl* copy = core->Jobs().FindJobByName("(change)Base");
  ASSERT_TRUE(copy);
  EXPECT_NE(copy->JobID, id);
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
  EXPECT_EQ(core->Jobs().JobAt(0), job);
  EXPECT_EQ(job->Actions[0]->Source, "*.*");
  EXPECT_EQ(editor->ViewSchedule.PendingJobID, id);
  EXPECT_EQ(editor->UpdateControls().ViewMode, 2);

  // Handing the record over directly is refused the same way.
  prompt.ExpectError("Job is active");
  auto direct = editor->ViewToJob("Busy");
  EXPECT_FALSE(editor->SubmitJob(std::move(direct), false));
  EXPECT_EQ(core->Jobs().JobAt(0), job);
  EXPECT_EQ(editor->ViewSchedule.PendingJobID, id);

  prompt.ExpectError("Job is active");
  EXPECT_FALSE(editor->EditCopyOfJob(0));
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
    EXPECT_TRUE(editor->Reading());
    const EditorControls c = editor->UpdateControls();
    EXPECT_FALSE(c.Submit);
    EXPECT_FALSE(c.JoblistEdit);
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
  EXPECT_EQ(left->GetPath(), dir / "src/sub/");
  EXPECT_EQ(editor->Description(), "Other");
  EXPECT_TRUE(editor->UpdateControls().Submit);
}

TEST_F(Editor, JobFilesOpenSaveLoadToJoblistAndTemplates) {
  Folders();
  left->SetSelected(left->IndexOfExactName("b.txt"), true);
  editor->SetDescription("Saved");
  editor->ViewSchedule.PendingJobID = 0x42;
  dialogs.Files.push_back(dir / "saved.MVJ");
  editor->JobSaveAs(true);
  EXPECT_EQ(editor->ViewSchedule.PendingJobID, 0x42);
  EXPECT_EQ(ProfileReadString(dir / "saved.MVJ", "schedule", "jobID", "none"), "none");
  EXPECT_EQ(ProfileReadString(dir / "saved.MVJ", "actions", "source0", ""), "b.txt");

  // Open into a clean editor.
  left->SetDirectory("");
  editor->SetDescription("other");
  dialogs.Files.push_back(dir / "saved.MVJ");
  editor->JobOpen();
  EXPECT_EQ(editor->Description(), "Saved");
  EXPECT_EQ(left->SelectedNames(), std::vector<std::string>{"b.txt"});
  EXPECT_EQ(dialogs.HelpContexts.back(), kHelpContextOpen);

  // An unreadable file leaves the editor unchanged; Cancel too.
  dir.Write("broken.MVJ", "[job]\r\n");
  dialogs.Files.push_back(dir / "broken.MVJ");
  editor->JobOpen();
  dialogs.Files.push_back("");
  editor->JobOpen();
  EXPECT_EQ(editor->Description(), "Saved");

  dialogs.Files.push_back(dir / "saved.MVJ");
  editor->JobLoadToJoblist();
  EXPECT_EQ(dialogs.HelpContexts.back(), kHelpContextLoadToJoblist);
  ASSERT_EQ(core->Jobs().Count(), 1);
  EXPECT_TRUE(core->Jobs().JobAt(0)->Schedule->IsHold());

  // Save As on the Joblist page saves the selected job without its ID.
  core->Jobs().Select(0);
  dialogs.Files.push_back(dir / "listed.MVJ");
  editor->JobSaveAs(false);
  EXPECT_EQ(ProfileReadString(dir / "listed.MVJ", "job", "description", ""), "Saved");
  EXPECT_EQ(ProfileReadString(dir / "listed.MVJ", "schedule", "jobID", "none"), "none");

  // A template changes what it names.
  dir.Write("base/MVT/t.MVT", "[job]\r\ndescription=From template\r\njobtype=1\r\n"
                              "[template]\r\ndescription=T\r\n[filter]\r\nincludefilenames=*.doc\r\n");
  dialogs.Templates.push_back(dir / "base/MVT/t.MVT");
  editor->JobApplyTemplate();
  EXPECT_EQ(editor->Description(), "From template");
  EXPECT_EQ(editor->ViewJobType, JOB_ANALYZE);
  EXPECT_EQ(editor->ViewFilter.IncludeFileNames, "*.doc");
  EXPECT_EQ(left->GetPath(), dir / "src/");
}

TEST_F(Editor, PaneButtonsAskTheRightQuestions) {
  Folders();
  dialogs.Folders.push_back(dir / "dst");
  editor->Browse(*left);
  EXPECT_EQ(left->GetPath(), dir / "dst/");
  EXPECT_EQ(dialogs.BrowseStarts.back(), dir / "src/");

  right->SetRemotePort(1);
  right->SetRemoteServerName("127.0.0.1");
  prompt.ExpectInput("Select Directory", dir / "src");
  editor->Browse(*right);
  EXPECT_EQ(right->GetPath(), dir / "src/");
  EXPECT_EQ(prompt.Asked().size(), 1u);

  prompt.ExpectInput("Enter Directory Name (@127.0.0.1)", dir / "dst");
  editor->EnterDirectoryName(*right);
  EXPECT_EQ(right->GetPath(), dir / "dst/");
  prompt.ExpectInput("Enter Directory Name (@)", "", true);
  editor->EnterDirectoryName(*left);
  EXPECT_EQ(left->GetPath(), dir / "dst/");

  prompt.ExpectYesNo("Close left directory view", false).ExpectYesNo("Close right directory view", true);
  editor->HideView(*left);
  editor->HideView(*right);
  EXPECT_TRUE(left->HasDirectory());
  EXPECT_FALSE(right->HasDirectory());
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
  EXPECT_EQ(back->JobID, id);
  EXPECT_EQ(back->Description, "Round trip");
  ASSERT_EQ(back->Actions.size(), 2u);
  EXPECT_EQ(back->Actions[0]->Source, "sub");
  EXPECT_EQ(back->Actions[1]->Source, "a.txt");
  EXPECT_EQ(back->Actions[0]->SourcePath, dir / "src/");
  EXPECT_EQ(back->Actions[0]->TargetPath, dir / "dst/");
  EXPECT_EQ(back->Actions[0]->Options, OPT_OVERWRITE_ALL | OPT_DIR_TO_TARGET | OPT_MIRROR);
  EXPECT_EQ(back->Filter->IncludeFileNames, "*.txt|*.doc");
  EXPECT_EQ(back->Filter->ExcludeDirNames, "tmp");
  EXPECT_EQ(back->Schedule->Hours, 1);
  EXPECT_EQ(back->Schedule->Weekdays, 0x3E);
  EXPECT_EQ(back->Schedule->RunAfterSuccess, "Then");
  EXPECT_TRUE(back->Schedule->RunAfterSuccessEnabled);
  ASSERT_EQ(back->Mail->Message.ToAddress.size(), 1u);
  EXPECT_EQ(back->Mail->Message.ToAddress[0].Address, "admin@example.org");
  EXPECT_EQ(back->Mail->Message.ToAddress[0].Flags, 0x3u);

  // The editor shows what it showed.
  EXPECT_EQ(left->GetPath(), dir / "src/");
  EXPECT_EQ(right->GetPath(), dir / "dst/");
  EXPECT_EQ(left->SelectedNames(), leftSelected);
  EXPECT_EQ(editor->Description(), "Round trip");
  EXPECT_EQ(editor->ViewConflictChoice, 2);
  EXPECT_EQ(editor->ViewFlags, OPT_MIRROR);
  EXPECT_EQ(editor->ViewFilter.IncludeFileNames, "*.txt|*.doc");
  EXPECT_TRUE(editor->ViewMail->HasRecipient("admin@example.org"));
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
