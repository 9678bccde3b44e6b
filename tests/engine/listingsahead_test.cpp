// Folders listed ahead of the walk: what is taken is what a listing
// made at that moment would hold, in the walk's order, and a run that finds
// its listings ready copies exactly what a walk without them would.

#include "engine/listingsahead.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/copythread.h"
#include "engine/walks.h"
#include "jobs/jobrecord.h"
#include "jobs/jobtypes.h"
#include "tests/support/tempdir.h"
#include "tests/support/tree.h"

namespace mv {
namespace {

using test::MakeTree, test::RenderTree;

std::vector<std::string> Names(const TTDirList& list) {
  std::vector<std::string> names;
  for (int32_t i = 0; i < list.Count(); ++i) names.push_back(list[i].Name);
  return names;
}

std::vector<std::string> ReadNow(const std::string& dir) {
  TTDirList list;
  list.Read(dir);
  return Names(list);
}

TEST(ListingsAhead, WhatIsTakenIsTheFolderInTheWalksOrder) {
  test::TempDir tmp;
  MakeTree(tmp.path(), {{"a/one", "1"}, {"a/x/deep", "d"}, {"b/two", "2"}, {"c/three", "3"}});
  const std::string a = tmp / "a/", ax = tmp / "a/x/", b = tmp / "b/", c = tmp / "c/";
  for (int round = 0; round < 200; ++round) {
    ListingsAhead ahead;
    ahead.Ahead({a, b, c}, TTDirFilter(), "*.*");
    TTDirList got;
    int32_t read = -1;
    // Either ready (then exactly the folder) or not begun (then the walk lists it).
    if (ahead.Take(a, got, read)) {
      EXPECT_EQ(read, 0);
      EXPECT_EQ(Names(got), ReadNow(a));
    }
    // The walk goes depth first: a's subfolder comes before b.
    ahead.Ahead({ax}, TTDirFilter(), "*.*");
    if (ahead.Take(ax, got, read)) {
      EXPECT_EQ(Names(got), ReadNow(ax));
    }
    // b skipped (filtered, say): c is still there, b is gone.
    if (ahead.Take(c, got, read)) {
      EXPECT_EQ(Names(got), ReadNow(c));
    }
    EXPECT_FALSE(ahead.Take(b, got, read));
    EXPECT_FALSE(ahead.Take(tmp / "never/", got, read));
  }
}

TEST(ListingsAhead, ClearDropsEverythingQueued) {
  test::TempDir tmp;
  MakeTree(tmp.path(), {{"a/one", "1"}, {"b/two", "2"}});
  ListingsAhead ahead;
  ahead.Ahead({tmp / "a/", tmp / "b/"}, TTDirFilter(), "*.*");
  ahead.Clear();
  TTDirList got;
  int32_t read = 0;
  EXPECT_FALSE(ahead.Take(tmp / "a/", got, read));
  EXPECT_FALSE(ahead.Take(tmp / "b/", got, read));
}

// Folders enough for the helper to run ahead and to be dropped, changes at
// every depth between runs, and empty folders made just before the walk
// enters them: the target always ends up as the source.
TEST(TargetListingsInAWalk, EveryRunLeavesTheTargetAsTheSource) {
  test::TempDir tmp;
  const std::string src = tmp / "src/", dst = tmp / "dst/";
  std::vector<test::TreeEntry> files;
  for (int i = 0; i < 6; ++i)
    for (int j = 0; j < 6; ++j)
      for (int k = 0; k < 3; ++k)
        files.push_back({"d" + std::to_string(i) + "/e" + std::to_string(j) + "/f" + std::to_string(k), "x"});
  MakeTree(src, files);
  const auto run = [&](uint32_t extra, const TTDirFilter& filter = TTDirFilter()) {
    TTFileThreadControl job("ahead", nullptr, tmp.path(), tmp.path(), nullptr, JobDefaults{.DrawId = false});
    job.AddAction(std::make_unique<TTFileAction>(src, "*.*", dst, "*.*",
                                                 OPT_DIR_TO_TARGET | OPT_OVERWRITE_OLDER | extra, JOB_COPY));
    TCopyThread thread(job, CopyThreadContext{});
    thread.Filter.Assign(&filter);
    RunCopyAction(thread, *job.Actions.front());
    return thread.cError;
  };
  EXPECT_EQ(run(0), 0);
  EXPECT_EQ(RenderTree(dst), RenderTree(src));
  const int64_t later = test::kTreeTime + 3600;
  MakeTree(src, {{"d0/e0/f0", "changed", later}, {"d3/e5/new", "n", later}, {"d5/e2/f1", "changed", later},
                 {"d2/empty/", ""}, {"d2/empty/inner/", ""}});
  std::filesystem::remove(dst + "d4/e4/f2");
  EXPECT_EQ(run(OPT_EMPTY_DIRS), 0);
  EXPECT_EQ(RenderTree(dst), RenderTree(src));
  // Sources listed ahead go through the filter as the walk's own listings do.
  MakeTree(src, {{"d1/e1/x.skip", "s", later}, {"d5/e5/y.skip", "s", later}, {"d5/e5/z", "z", later}});
  EXPECT_EQ(run(0, TTDirFilter("", "*.skip", "", "", kDefaultIncludeDirLevel)), 0);
  EXPECT_FALSE(std::filesystem::exists(dst + "d1/e1/x.skip"));
  EXPECT_FALSE(std::filesystem::exists(dst + "d5/e5/y.skip"));
  EXPECT_EQ(test::TempDir::Read(dst + "d5/e5/z"), "z");
}

}  // namespace
}  // namespace mv
