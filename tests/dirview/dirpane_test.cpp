// A pane of the editor on real folders: order, selection across reloads, the
// name label, and the pop-up commands with awkward names.

#include "app/dirpane.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <tuple>

#include "app/prompt.h"
#include "tests/support/remoteserver.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

using std::tuple;
using test::TempDir;
using Strings = std::vector<std::string>;

std::vector<std::string> Names(const DirPane& pane) {
  std::vector<std::string> names;
  for (int32_t r = 0; r < pane.Count(); ++r) names.push_back(pane.NameAt(r));
  return names;
}

std::vector<int> Images(const DirPane& pane) {
  std::vector<int> images;
  for (int32_t r = 0; r < pane.Count(); ++r) images.push_back(pane.StateImage(r));
  return images;
}

// What the pane's label reports after a read.
tuple<int32_t, int32_t, PaneLabelColour> ReadOutcome(const DirPane& pane) {
  return {pane.LastResult(), pane.Count(), pane.LabelColour()};
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
  EXPECT_EQ(tuple(pane.GetPath(), b.GetPath(), Names(b)),
            tuple(dir / "x/", dir / "x/", Names(pane)));
  EXPECT_EQ(tuple(pane.LabelText(), pane.LabelColour()),
            tuple("() " + dir / "x/" + " [0]", PaneLabelColour::Black));
}

TEST_F(Pane, ParentFirstFoldersBeforeFilesUpperCasedNamesNeverEqual) {
  Show({"a.txt", "A.TXT", "B.txt", ".hidden", "zz/f", "b/f", ".cfg/f"});
  EXPECT_EQ(Names(pane), (Strings{"..", ".cfg", "b", "zz", ".hidden", "A.TXT", "a.txt", "B.txt"}));
  // Hidden entries take the image after their kind's.
  const int d = kImageDirectory, f = kImageFile;
  EXPECT_EQ(Images(pane), (std::vector<int>{d, d + 1, d, d, f + 1, f, f, f}));
  // IndexOfName: letter case aside, the first.
  EXPECT_EQ(tuple(pane.IndexOfName("a.txt"), pane.IndexOfExactName("a.txt"),
                  pane.IndexOfName("missing")),
            tuple(5, 6, -1));

  // A name no longer on disk: image 4, sorted in with the files.
  const int32_t row = pane.AddMissingEntry("old.txt");
  EXPECT_EQ(tuple(row, pane.NameAt(row), pane.StateImage(row)), tuple(8, "old.txt", kImageAdded));
}

TEST_F(Pane, ReloadKeepsTheSelectionByExactName) {
  Show({"a.txt", "A.TXT", "keep/f", "gone.txt"});
  pane.SetSelected(pane.IndexOfExactName("A.TXT"), true);
  pane.SetSelected(pane.IndexOfExactName("keep"), true);
  pane.SetSelected(pane.IndexOfExactName("gone.txt"), true);
  std::filesystem::remove(dir / "x/gone.txt");
  dir.Write("x/new.txt", "1");
  pane.Reload();
  EXPECT_EQ(tuple(pane.SelectedNames(), pane.SelectedCount()), tuple(Strings{"keep", "A.TXT"}, 2));
  pane.UnselectAll();
  EXPECT_EQ(tuple(pane.SelectedCount(), pane.Current()), tuple(0, -1));
}

TEST_F(Pane, UnreadableFolderShowsRedLabelWithNegativeResultAndNoEntries) {
  pane.SetDirectory(dir / "missing");
  EXPECT_LT(pane.LastResult(), 0);
  EXPECT_EQ(ReadOutcome(pane), tuple(pane.LastResult(), 0, PaneLabelColour::Red));
  EXPECT_EQ(pane.LabelText(),
            "() " + dir / "missing/" + " [" + std::to_string(pane.LastResult()) + "]");
  EXPECT_FALSE(pane.CanCreateFolder());

  if (geteuid() == 0) GTEST_SKIP() << "root reads folders without read permission";
  dir.Write("locked/f.txt", "1");
  chmod((dir / "locked").c_str(), 0);
  pane.SetDirectory(dir / "locked");
  chmod((dir / "locked").c_str(), 0755);
  EXPECT_EQ(ReadOutcome(pane), tuple(-5, 0, PaneLabelColour::Red));
}

TEST_F(Pane, DeleteRemovesFilesAndCountsTheNonEmptyFolder) {
  Show({"one.txt", "two.txt", "full/inner.txt", "stay.txt"});
  for (const char* n : {"..", "one.txt", "two.txt", "full"}) pane.SetSelected(pane.IndexOfExactName(n), true);
  ScriptedPrompt prompt;
  prompt.ExpectYesNo("Delete 3 entries?", true).ExpectError("0 file(s) and 1 folder(s) not deleted!");
  pane.DeleteSelected(prompt);
  AllAsked(prompt);
  EXPECT_EQ(tuple(Exists(dir / "x/one.txt"), Exists(dir / "x/two.txt"),
                  Exists(dir / "x/full/inner.txt")),
            tuple(false, false, true));
  EXPECT_EQ(tuple(Names(pane), pane.SelectedNames()),
            tuple(Strings{"..", "full", "stay.txt"}, Strings{"full"}));

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
  EXPECT_EQ(tuple(Exists(dir / "x/REPORT.TXT"), Exists(dir / "x/report.txt")), tuple(true, false));
  EXPECT_EQ(tuple(pane.SelectedNames(), pane.NameAt(pane.Current())),
            tuple(Strings{"REPORT.TXT"}, "REPORT.TXT"));
}

TEST_F(Pane, FailuresAreReportedAndTheFolderReadAgain) {
  Show({"a.txt", "b.txt"});
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
}

TEST_F(Pane, PaneOnARemoteInstanceListsWhatALocalPaneLists) {
  Show({"a.txt", "B.TXT", "sub/f", ".hidden", "Ä ü.txt"});
  test::RemoteServerInstance server(MIRAVA_BINARY, dir / "serverbase", dir / "server.txt");
  ASSERT_TRUE(server.Ready());

  DirPane remote(1);
  remote.SetRemotePort(server.Port());
  remote.SetRemoteServerName("127.0.0.1");
  remote.SetDirectory(dir / "x");
  EXPECT_EQ(ReadOutcome(remote), tuple(0, pane.Count(), PaneLabelColour::Blue));
  EXPECT_EQ(tuple(Names(remote), Images(remote)), tuple(Names(pane), Images(pane)));
  ASSERT_EQ(remote.Count(), pane.Count());
  for (int32_t r = 0; r < pane.Count(); ++r)
    EXPECT_EQ(remote.EntryAt(r)->SizeKBText(), pane.EntryAt(r)->SizeKBText()) << pane.NameAt(r);

  // The instance goes away: the next read fails instead of hanging.
  server.Process().Signal(SIGTERM);
  EXPECT_EQ(server.Process().Wait(30000), 0);
  remote.Reload();
  EXPECT_EQ(ReadOutcome(remote), tuple(kDirListNotConnected, 0, PaneLabelColour::Red));
}

}  // namespace
}  // namespace mv
