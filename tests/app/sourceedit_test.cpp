// Macro > Source on real files: connecting the left pane to a definition,
// editing and saving it, and the idle queued jobs that share it.

#include "app/sourceedit.h"

#include <gtest/gtest.h>

#include "app/dirpane.h"
#include "app/jobeditor.h"
#include "app/mvmain.h"
#include "app/prompt.h"
#include "jobs/jobfile.h"
#include "mail/mvmail.h"
#include "platform/profile.h"
#include "tests/support/nodialogs.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

using test::NoDialogs;
using test::TempDir;

// "Select" answers with the next choice; none left means Cancel.
class ScriptedChooser : public SourceChooser {
 public:
  struct Answer {
    std::string Name;
    bool Created;
  };
  std::vector<Answer> Answers;
  bool Choose(const std::vector<std::string>&, std::string& chosen, bool& created) override {
    if (Answers.empty()) return false;
    chosen = Answers.front().Name;
    created = Answers.front().Created;
    Answers.erase(Answers.begin());
    return true;
  }
};

class Sources : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* f : {"src1/old.txt", "src2/a.txt", "src2/b.txt", "src2/c.doc"}) dir.Write(f, "x");
    core.Startup({.Base = dir / "base"});
    definitions = core.Dirs().SourceDefinitionFile;
    editor = std::make_unique<JobEditor>(core, prompt, dialogs, left, right);
    sources = std::make_unique<SourceEditor>(core, prompt, *editor, chooser);
  }
  void TearDown() override {
    EXPECT_TRUE(prompt.Complete()) << testing::PrintToString(prompt.Failures());
    for (int32_t i = 0; i < core.Jobs().Count(); ++i) core.Jobs().JobAt(i)->Thread = nullptr;
    sources.reset();
    editor.reset();
    core.Shutdown();
  }

  // Definition D: the folder src1 and the *.txt files in it.
  void DefineD() {
    ProfileWriteInt(definitions, "D", "actions_count", 1);
    ProfileWriteString(definitions, "D", "actions_sourcepath", dir / "src1/");
    ProfileWriteString(definitions, "D", "actions_source0", "*.*");
    ProfileWriteString(definitions, "D", "filter_includefilenames", "*.txt");
  }

  // A queued job using the definition name, saved to its queue file.
  TTFileThreadControl* Queue(const std::string& name, const std::string& definition) {
    auto job = std::make_unique<TTFileThreadControl>(name, core.ProgramLog(), core.Dirs().QueueDir,
                                                     core.Dirs().ControlDir, core.Mailer());
    job->MacroSource = definition;
    job->AddAction(std::make_unique<TTFileAction>(dir / "src1/", "*.*", dir / ("dst-" + name + "/"), "*.*",
                                                  OPT_OVERWRITE_OLDER | OPT_DIR_TO_TARGET, JOB_COPY));
    job->Schedule->Queued = true;
    SaveToQueue(*job);
    TTFileThreadControl* added = job.get();
    core.Jobs().AddJob(std::move(job));
    return added;
  }

  void ConnectTo(const std::string& name, bool created) {
    chooser.Answers.push_back({name, created});
    sources->Connect();
  }

  TempDir dir;
  MiravaCore core;
  ScriptedPrompt prompt;
  NoDialogs dialogs;
  ScriptedChooser chooser;
  DirPane left{0}, right{1};
  std::unique_ptr<JobEditor> editor;
  std::unique_ptr<SourceEditor> sources;
  std::string definitions;
};

TEST_F(Sources, SavedDefinitionReachesExactlyTheIdleQueuedJobsThatShareIt) {
  DefineD();
  TTFileThreadControl* first = Queue("first", "D");
  TTFileThreadControl* second = Queue("second", "D");
  TTFileThreadControl* running = Queue("running", "D");
  TTFileThreadControl* other = Queue("other", "d");
  // Stands for a worker; nothing here looks behind the pointer.
  running->Thread = reinterpret_cast<TCopyThread*>(running);
  core.Jobs().Select(0);
  const std::string runningFile = TempDir::Read(running->QueueFileName());
  const std::string otherFile = TempDir::Read(other->QueueFileName());

  ConnectTo("D", false);
  EXPECT_EQ(left.GetPath(), dir / "src1/") << "the pane shows the definition's folder";
  EXPECT_EQ(editor->ViewFilter.IncludeFileNames, "*.txt");
  EXPECT_FALSE(editor->UpdateControls().Left.Browse) << "connected: the pane is locked";

  sources->Edit();
  EXPECT_TRUE(editor->UpdateControls().Left.Browse);
  left.SetDirectory(dir / "src2");
  left.SetSelected(left.IndexOfName("a.txt"), true);
  left.SetSelected(left.IndexOfName("b.txt"), true);
  editor->ViewFilter.IncludeFileNames = "*.doc";

  prompt.ExpectYesNoCancel("Save source definition macro \"D\"", PromptAnswer::Yes)
      .ExpectYesNo("Reset source info time?", false)
      .ExpectYesNo("2 jobs share this definition, update now?", true);
  sources->Edit();
  EXPECT_FALSE(editor->SourceEditMode());
  EXPECT_EQ(ProfileReadString(definitions, "D", "actions_sourcepath", ""), dir / "src2/");
  EXPECT_EQ(ProfileReadString(definitions, "D", "actions_source1", ""), "b.txt");
  EXPECT_EQ(ProfileReadString(definitions, "D", "filter_includefilenames", ""), "*.doc");
  EXPECT_EQ(ProfileReadString(definitions, "D", "lasttracked", "none"), "none") << "not reset";
  for (TTFileThreadControl* job : {first, second}) {
    ASSERT_EQ(job->Actions.size(), 2u) << job->Description;
    EXPECT_EQ(job->Actions[1]->Source, "b.txt");
    EXPECT_EQ(job->Filter->IncludeFileNames, "*.doc");
    EXPECT_EQ(job->Actions[0]->TargetPath, dir / ("dst-" + job->Description + "/")) << "own target kept";
    EXPECT_EQ(ProfileReadInt(job->QueueFileName(), "actions", "count", 0), 2);
  }
  EXPECT_EQ(TempDir::Read(running->QueueFileName()), runningFile);
  EXPECT_EQ(TempDir::Read(other->QueueFileName()), otherFile) << "names compare exactly";
}

TEST_F(Sources, NoLeavesTheFileAndCancelStaysInEditing) {
  DefineD();
  Queue("first", "D");
  ConnectTo("D", false);
  const std::string before = TempDir::Read(definitions);
  sources->Edit();
  left.SetDirectory(dir / "src2");

  prompt.ExpectYesNoCancel("Save source definition macro \"D\"", PromptAnswer::Cancel);
  sources->Edit();
  EXPECT_EQ(editor->UpdateControls().BannerText, "Editing source definition: D");

  prompt.ExpectYesNoCancel("Save source definition macro \"D\"", PromptAnswer::No);
  sources->Edit();
  EXPECT_FALSE(editor->SourceEditMode());
  EXPECT_EQ(left.DefinitionName(), "D") << "back to connected";
  EXPECT_EQ(TempDir::Read(definitions), before);

  sources->Disconnect();
  EXPECT_EQ(left.DefinitionName(), "");
  EXPECT_EQ(left.GetPath(), dir / "src2/") << "the pane keeps its folder";
}

TEST_F(Sources, ANewDefinitionTakesThePaneSourceSideBeforeThePaneReloads) {
  left.SetDirectory(dir / "src2");
  left.SetSelected(left.IndexOfName("c.doc"), true);
  editor->ViewFilter.ExcludeFileNames = "*.bak";
  editor->ViewSchedule.PendingJobID = 77;
  editor->ViewSchedule.Queued = true;
  ConnectTo("Fresh", true);
  EXPECT_EQ(ProfileReadString(definitions, "Fresh", "actions_sourcepath", ""), dir / "src2/");
  EXPECT_EQ(ProfileReadString(definitions, "Fresh", "actions_source0", ""), "c.doc");
  EXPECT_EQ(ProfileReadString(definitions, "Fresh", "filter_excludefilenames", ""), "*.bak");
  EXPECT_EQ(left.SelectedNames(), std::vector<std::string>{"c.doc"});
  EXPECT_EQ(ProfileReadString(core.Dirs().BaseDir + kSourceConnectFile, "macro", "source", ""), "Fresh");
  EXPECT_EQ(editor->ViewSchedule.PendingJobID, 77) << "the editor's own job values stay";
}

}  // namespace
}  // namespace mv
