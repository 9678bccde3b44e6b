// A pane of the editor on real folders: order, navigation, selection across
// reloads, the name label, and the pop-up commands with awkward names.

#include "app/dirpane.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "app/prompt.h"
#include "platform/datetime.h"
#include "tests/support/nwsim.h"
#include "tests/support/remoteserver.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

using test::TempDir;

std::vector<std::string> Names(const DirPane& pane) {
  std::vector<std::string> names;
  for (int32_t r = 0; r < pane.Count(); ++r) names.push_back(pane.NameAt(r));
  return names;
}

bool Exists(const std::string& path) { return std::filesystem::exists(std::filesystem::u8path(path)); }

// Every question expected came, and nothing else.
void AllAsked(const ScriptedPrompt& prompt) {
  EXPECT_TRUE(prompt.Complete()) << testing::PrintToString(prompt.Failures());
}

// A pane on the folder x/ of a fresh temporary directory.
class Pane : public testing::Test {
 protected:
  // Files below x/ ("sub/f" makes the folder sub), then the pane shows x/.
  void Show(std::initializer_list<const char*> files) {
    for (const char* f : files) dir.Write(std::string("x/") + f, "1");
    std::filesystem::create_directories(dir / "x");
    pane.SetDirectory(dir / "x");
  }

  TempDir dir;
  DirPane pane{0};
};

TEST_F(Pane, PathWithAndWithoutTrailingSlashIsOneFolder) {
  Show({"a.txt"});
  DirPane b(0);
  b.SetDirectory(dir / "x/");
  EXPECT_EQ(pane.GetPath(), dir / "x/");
  EXPECT_EQ(pane.GetPath(), b.GetPath());
  EXPECT_EQ(Names(pane), Names(b));
  EXPECT_EQ(pane.LabelText(), "() " + dir / "x/" + " [0]");
  EXPECT_EQ(pane.LabelColour(), PaneLabelColour::Black);
}

TEST_F(Pane, ParentFirstFoldersBeforeFilesUpperCasedNamesNeverEqual) {
  Show({"a.txt", "A.TXT", "B.txt", ".hidden", "zz/f", "b/f", ".cfg/f"});
  EXPECT_EQ(Names(pane), (std::vector<std::string>{"..", ".cfg", "b", "zz", ".hidden", "A.TXT",
                                                   "a.txt", "B.txt"}));
  EXPECT_EQ(pane.StateImage(0), kImageDirectory);
  EXPECT_EQ(pane.StateImage(1), kImageDirectory + 1);
  EXPECT_EQ(pane.StateImage(2), kImageDirectory);
  EXPECT_EQ(pane.StateImage(4), kImageFile + 1);
  EXPECT_EQ(pane.StateImage(5), kImageFile);
  EXPECT_TRUE(pane.IsDirAt(2));
  EXPECT_FALSE(pane.IsDirAt(5));
  EXPECT_EQ(pane.NameAt(99), "");
  EXPECT_FALSE(pane.IsDirAt(-1));
  EXPECT_EQ(pane.IndexOfName("a.txt"), 5);  // letter case aside: the first
  EXPECT_EQ(pane.IndexOfExactName("a.txt"), 6);
  EXPECT_EQ(pane.IndexOfName("missing"), -1);

  // A name no longer on disk: image 4, sorted in with the files.
  const int32_t row = pane.AddMissingEntry("old.txt");
  EXPECT_EQ(pane.NameAt(row), "old.txt");
  EXPECT_EQ(pane.StateImage(row), kImageAdded);
  EXPECT_EQ(row, 8);
}

TEST_F(Pane, DoubleClickGoesIntoFoldersAndUpThroughParent) {
  Show({"sub/f.txt"});
  pane.SetDirectory(dir / "x/sub");
  ASSERT_EQ(pane.NameAt(0), "..");
  EXPECT_TRUE(pane.Open(0));
  EXPECT_EQ(pane.GetPath(), dir / "x/");
  const int32_t sub = pane.IndexOfExactName("sub");
  EXPECT_TRUE(pane.Open(sub));
  EXPECT_EQ(pane.GetPath(), dir / "x/sub/");
  EXPECT_FALSE(pane.Open(pane.IndexOfExactName("f.txt")));
  EXPECT_EQ(pane.GetPath(), dir / "x/sub/");
}

TEST_F(Pane, ReloadKeepsTheSelectionByExactName) {
  Show({"a.txt", "A.TXT", "keep/f", "gone.txt"});
  pane.SetSelected(pane.IndexOfExactName("A.TXT"), true);
  pane.SetSelected(pane.IndexOfExactName("keep"), true);
  pane.SetSelected(pane.IndexOfExactName("gone.txt"), true);
  std::filesystem::remove(dir / "x/gone.txt");
  dir.Write("x/new.txt", "1");
  pane.Reload();
  EXPECT_EQ(pane.SelectedNames(), (std::vector<std::string>{"keep", "A.TXT"}));
  EXPECT_EQ(pane.SelectedCount(), 2);
  pane.UnselectAll();
  EXPECT_EQ(pane.SelectedCount(), 0);
  EXPECT_EQ(pane.Current(), -1);
}

TEST_F(Pane, UnreadableFolderShowsRedLabelWithNegativeResultAndNoEntries) {
  pane.SetDirectory(dir / "missing");
  EXPECT_EQ(pane.Count(), 0);
  EXPECT_LT(pane.LastResult(), 0);
  EXPECT_EQ(pane.LabelColour(), PaneLabelColour::Red);
  EXPECT_EQ(pane.LabelText(), "() " + dir / "missing/" + " [" + std::to_string(pane.LastResult()) + "]");
  EXPECT_FALSE(pane.CanCreateFolder());

  if (geteuid() == 0) GTEST_SKIP() << "root reads folders without read permission";
  dir.Write("locked/f.txt", "1");
  chmod((dir / "locked").c_str(), 0);
  pane.SetDirectory(dir / "locked");
  chmod((dir / "locked").c_str(), 0755);
  EXPECT_EQ(pane.Count(), 0);
  EXPECT_EQ(pane.LastResult(), -5);
  EXPECT_EQ(pane.LabelColour(), PaneLabelColour::Red);
}

TEST_F(Pane, LabelColourFollowsRemoteDefinitionAndError) {
  pane.SetRemotePort(1);  // nothing answers there
  pane.SetDirectory(dir.path());
  pane.SetDefinitionName("Daily");
  EXPECT_EQ(pane.LabelColour(), PaneLabelColour::Green);
  EXPECT_EQ(pane.LabelText(), "(Daily) " + dir.path() + " [0]");
  pane.SetDefinitionName("");
  pane.SetRemoteServerName("127.0.0.1");
  EXPECT_EQ(pane.LabelColour(), PaneLabelColour::Blue);
  // The remote instance is not there: a failed read, never a hang.
  pane.Reload();
  EXPECT_EQ(pane.LastResult(), kDirListNotConnected);
  EXPECT_EQ(pane.Count(), 0);
  EXPECT_EQ(pane.LabelColour(), PaneLabelColour::Red);
  EXPECT_EQ(pane.LabelText(), "() " + dir.path() + " [-257](127.0.0.1)");
  pane.SetRemoteServerName("");
  pane.Reload();
  EXPECT_EQ(pane.LastResult(), 0);
  EXPECT_EQ(pane.LabelColour(), PaneLabelColour::Black);
}

TEST_F(Pane, DeletedFilesOfANetWareFolderShowWithTheirImages) {
  dir.Write("nw/x/here.txt", "1");
  test::SimNetWare sim;
  sim.AddServer("SRV1", "TREE");
  sim.Mount(dir / "nw", "SRV1", "DATA");
  const uint32_t when = FileDateToNetWareDate(static_cast<int32_t>(DateTimeToDos(45000.5)));
  sim.AddDeleted(dir / "nw/x/", {.Name = "gone.txt", .Deleted = when, .Size = 2048});
  sim.AddDeleted(dir / "nw/x/", {.Attributes = kAttrHidden, .Name = "secret", .Deleted = when});
  sim.AddDeleted(dir / "nw/x/", {.Attributes = kAttrDirectory, .Name = "olddir", .Deleted = when});
  uint32_t table = 0;
  ASSERT_EQ(sim.LoadConversionTable(850, table), 0u);

  for (const bool available : {true, false}) {
    SCOPED_TRACE(available);
    DirPane nwPane(0);
    nwPane.SetNetWare(PaneDeletedFiles({&sim, available, table}));
    nwPane.SetDirectory(dir / "nw/x");
    EXPECT_EQ(Names(nwPane), (std::vector<std::string>{"..", "here.txt"}));
    nwPane.SetShowDeleted(true);
    EXPECT_TRUE(nwPane.ShowDeleted());
    // The deleted-files view keeps the folders on disk and adds the deleted entries.
    if (!available) {
      EXPECT_EQ(Names(nwPane), std::vector<std::string>{".."});
      continue;
    }
    ASSERT_EQ(Names(nwPane), (std::vector<std::string>{"..", "olddir", "gone.txt", "secret"}));
    EXPECT_EQ(nwPane.StateImage(1), kImageDeletedDirectory);
    EXPECT_EQ(nwPane.StateImage(2), kImageDeletedFile);
    EXPECT_EQ(nwPane.StateImage(3), kImageDeletedFile + 1);
    EXPECT_EQ(nwPane.EntryAt(2)->SizeKBText(), "2");
    nwPane.SetShowDeleted(false);
    EXPECT_EQ(Names(nwPane), (std::vector<std::string>{"..", "here.txt"}));
  }
}

TEST_F(Pane, DeleteRemovesFilesAndCountsTheNonEmptyFolder) {
  Show({"one.txt", "two.txt", "full/inner.txt", "stay.txt"});
  for (const char* n : {"..", "one.txt", "two.txt", "full"}) pane.SetSelected(pane.IndexOfExactName(n), true);
  ScriptedPrompt prompt;
  prompt.ExpectYesNo("Delete 3 entries?", true).ExpectError("0 file(s) and 1 folder(s) not deleted!");
  pane.DeleteSelected(prompt);
  AllAsked(prompt);
  EXPECT_FALSE(Exists(dir / "x/one.txt"));
  EXPECT_FALSE(Exists(dir / "x/two.txt"));
  EXPECT_TRUE(Exists(dir / "x/full/inner.txt"));
  EXPECT_EQ(Names(pane), (std::vector<std::string>{"..", "full", "stay.txt"}));
  EXPECT_EQ(pane.SelectedNames(), (std::vector<std::string>{"full"}));

  // No: nothing is deleted.
  ScriptedPrompt no;
  no.ExpectYesNo("Delete 1 entries?", false);
  pane.DeleteSelected(no);
  AllAsked(no);
  EXPECT_TRUE(Exists(dir / "x/full/inner.txt"));
}

TEST_F(Pane, RenameThatOnlyChangesCaseRenamesTheEntry) {
  Show({"report.txt"});
  pane.SetCurrent(pane.IndexOfExactName("report.txt"), false);
  ScriptedPrompt prompt;
  prompt.ExpectInput("Enter name", "REPORT.TXT");
  pane.RenameCurrent(prompt);
  AllAsked(prompt);
  EXPECT_TRUE(Exists(dir / "x/REPORT.TXT"));
  EXPECT_FALSE(Exists(dir / "x/report.txt"));
  EXPECT_EQ(pane.SelectedNames(), (std::vector<std::string>{"REPORT.TXT"}));
  EXPECT_EQ(pane.NameAt(pane.Current()), "REPORT.TXT");
}

TEST_F(Pane, AwkwardNamesWorkInEveryCommand) {
  Show({"keep.txt"});
  for (const std::string name : {"with space", "-leading dash", "quo\"te's", "Ärger ü"}) {
    SCOPED_TRACE(name);

    ScriptedPrompt create;
    create.ExpectInput("Enter name", name);
    ASSERT_TRUE(pane.CanCreateFolder());
    pane.CreateFolder(create);
    AllAsked(create);
    ASSERT_TRUE(Exists(dir / "x/" + name));
    EXPECT_EQ(pane.SelectedNames(), std::vector<std::string>{name});

    ScriptedPrompt rename;
    rename.ExpectInput("Enter name", name + " 2");
    ASSERT_TRUE(pane.CanRename());
    pane.RenameCurrent(rename);
    AllAsked(rename);
    ASSERT_TRUE(Exists(dir / "x/" + name + " 2"));
    EXPECT_EQ(rename.Asked().size(), 1u);

    ScriptedPrompt del;
    del.ExpectYesNo("Delete 1 entries?", true);
    ASSERT_TRUE(pane.CanDelete());
    pane.DeleteSelected(del);
    AllAsked(del);
    EXPECT_FALSE(Exists(dir / "x/" + name + " 2"));
    EXPECT_EQ(Names(pane), (std::vector<std::string>{"..", "keep.txt"}));
  }
}

TEST_F(Pane, FailuresAreReportedAndTheFolderReadAgain) {
  Show({"taken", "a.txt", "b.txt"});

  ScriptedPrompt create;
  create.ExpectInput("Enter name", "taken").ExpectError("Error creating folder [File exists]");
  pane.CreateFolder(create);
  AllAsked(create);

  pane.SetCurrent(pane.IndexOfExactName("a.txt"), false);
  ScriptedPrompt rename;
  rename.ExpectInput("Enter name", "b.txt").ExpectError("Error renaming [File exists]");
  pane.RenameCurrent(rename);
  AllAsked(rename);
  EXPECT_EQ(TempDir::Read(dir / "x/b.txt"), "1");
  EXPECT_TRUE(Exists(dir / "x/a.txt"));

  // A name with a folder in it would move the entry elsewhere.
  pane.SetCurrent(pane.IndexOfExactName("a.txt"), false);
  ScriptedPrompt moved;
  moved.ExpectInput("Enter name", "../a.txt").ExpectError("Error renaming [Invalid name]");
  pane.RenameCurrent(moved);
  AllAsked(moved);
  EXPECT_TRUE(Exists(dir / "x/a.txt"));
}

TEST_F(Pane, PopupEnableRules) {
  EXPECT_FALSE(pane.CanCreateFolder());  // nothing shown
  Show({".cfg/f", ".hidden", "file"});
  EXPECT_TRUE(pane.CanCreateFolder());
  EXPECT_FALSE(pane.CanDelete());
  EXPECT_FALSE(pane.CanRename());
  struct Case { const char* name; bool rename; };
  for (const Case& c : {Case{"..", false}, Case{".cfg", false}, Case{".hidden", true}, Case{"file", true}}) {
    pane.SetCurrent(pane.IndexOfExactName(c.name), false);
    EXPECT_EQ(pane.CanRename(), c.rename) << c.name;
  }
  pane.SetSelected(0, true);
  EXPECT_TRUE(pane.CanDelete());
  // Cancelled input changes nothing.
  pane.SetCurrent(pane.IndexOfExactName("file"), false);
  ScriptedPrompt cancel;
  cancel.ExpectInput("Enter name", "", true);
  pane.RenameCurrent(cancel);
  EXPECT_TRUE(Exists(dir / "x/file"));
}

TEST_F(Pane, PaneOnARemoteInstanceListsWhatALocalPaneLists) {
  Show({"a.txt", "B.TXT", "sub/f", ".hidden", "Ä ü.txt"});
  test::RemoteServerInstance server(MIRAVA_BINARY, dir / "serverbase", dir / "server.txt");
  ASSERT_TRUE(server.Ready());

  DirPane remote(1);
  remote.SetRemotePort(server.Port());
  remote.SetRemoteServerName("127.0.0.1");
  remote.SetDirectory(dir / "x");
  EXPECT_EQ(remote.LastResult(), 0);
  EXPECT_EQ(Names(remote), Names(pane));
  ASSERT_EQ(remote.Count(), pane.Count());
  for (int32_t r = 0; r < pane.Count(); ++r) {
    EXPECT_EQ(remote.StateImage(r), pane.StateImage(r)) << pane.NameAt(r);
    EXPECT_EQ(remote.EntryAt(r)->SizeKBText(), pane.EntryAt(r)->SizeKBText());
  }
  EXPECT_EQ(remote.LabelColour(), PaneLabelColour::Blue);
  EXPECT_EQ(remote.LabelText(), "() " + dir / "x/" + " [0](127.0.0.1)");

  // The instance goes away: the next read fails instead of hanging.
  server.Process().Signal(SIGTERM);
  EXPECT_EQ(server.Process().Wait(30000), 0);
  remote.Reload();
  EXPECT_EQ(remote.LastResult(), kDirListNotConnected);
  EXPECT_EQ(remote.Count(), 0);
  EXPECT_EQ(remote.LabelColour(), PaneLabelColour::Red);
}

}  // namespace
}  // namespace mv
