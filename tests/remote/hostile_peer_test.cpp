// Runs against a remote instance that lies: names that are paths, folders
// without end. Nothing outside the job's trees may be read, written or
// deleted, the run ends with a clear log line, and the process lives on.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>

#include "engine/copythread.h"
#include "engine/walks.h"
#include "jobs/errmsg.h"
#include "jobs/jobtypes.h"
#include "remote/mvtcp.h"
#include "tests/remote/remote_support.h"
#include "tests/support/tempdir.h"
#include "tests/support/tree.h"

namespace mv {
namespace {

using namespace std::chrono_literals;
using test::HostilePeer, test::MakeTree, test::RenderTree, test::TempDir;

constexpr int32_t kDir = 0x10, kFile = 0x20;

ReplyEntry Entry(const std::string& name, int32_t attr) {
  return {.Time = 0x5A8C6000, .Size = 1, .Attr = attr, .Name = name};
}

class HostilePeerRun : public ::testing::Test {
 protected:
  HostilePeerRun() {
    // Victims beside the job's trees, where "../" names would reach.
    MakeTree(tmp.path(), {{"a/src/good.txt", "good"}, {"b/c/dst/keep.txt", "keep"}, {"b/c/dst/extra.txt", "x"},
                          {"b/c/victimT/a.txt", "v"}, {"b/victimT2/b.txt", "v"}, {"b/c/victimD/c.txt", "v"},
                          {"planted.txt", "planted"}});
  }

  // A thread of the job whose source or target side is the peer.
  TCopyThread& Make(const HostilePeer& peer, bool remoteTarget, uint32_t options) {
    job.RemoteSource.clear(), job.RemoteTarget.clear();
    (remoteTarget ? job.RemoteTarget : job.RemoteSource) = "127.0.0.1";
    const uint16_t port = peer.Port();
    thread = std::make_unique<TCopyThread>(
        job, CopyThreadContext{.MakeRemote = [port](const std::string& host) -> std::unique_ptr<DirListRemote> {
          auto client = std::make_unique<TMVIPCLient>(host, port);
          client->SetTimeout(20s);
          return client;
        }});
    thread->Options = options;
    DirListRemote* side = remoteTarget ? thread->TargetRemote.get() : thread->SourceRemote.get();
    side->Connect();
    EXPECT_TRUE(static_cast<TMVIPCLient*>(side)->Connected());
    return *thread;
  }
  int Lines(const std::string& text) const {
    int n = 0;
    for (const TTErrorMsg& m : thread->Messages.Snapshot())
      n += m.Level == LVL_ERROR && m.Text.find(text) != std::string::npos;
    return n;
  }

  TempDir tmp;
  const std::string src = tmp / "a/src/", dst = tmp / "b/c/dst/";
  TTFileThreadControl job{"hostile", nullptr, tmp.path(), tmp.path(), nullptr, {.DrawId = false}};
  std::unique_ptr<TCopyThread> thread;
};

// Each bad name comes with an entry a mirror would delete and a copy would
// copy: the listing is refused as a whole, as an unreadable folder.
TEST_F(HostilePeerRun, NamesThatAreNoPlainNamesRefuseTheWholeListing) {
  struct Case { std::string name; int32_t attr; const char* why; };
  const Case cases[] = {
      {"../../victimT2/b.txt", kFile, "\"/\""},   {"real/../../victimD", kDir, "\"/\""},
      {"", kDir, "an empty name"},                {".", kDir, "\".\""},
      {"..", kFile, "\"..\" for a file"},         {std::string("a\0b", 3), kFile, "NUL byte"},
      {std::string(300, 'n'), kFile, "longer than 255"},
  };
  for (const bool mirror : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name + (mirror ? " mirror" : " copy"));
      const std::string before = RenderTree(tmp.path());
      const std::string listed = mirror ? dst : src;
      HostilePeer peer([&](TcpSocket& s, const ListRequest& request) {
        std::vector<ReplyEntry> entries{Entry("..", kDir)};
        if (request.Path == listed)
          entries.insert(entries.end(), {Entry(mirror ? "extra.txt" : "good.txt", kFile), Entry(c.name, c.attr)});
        HostilePeer::SendReply(s, entries);
      });
      TCopyThread& t = Make(peer, mirror, OPT_OVERWRITE_OLDER | OPT_DIR_TO_TARGET | OPT_MIRROR);
      int64_t sum = 0;
      if (mirror)
        CleanDir(t, dst, src, "*.*", 0);
      else
        CopyWalk(t, src, dst, sum, 8, 0, "*.*");
      EXPECT_EQ(RenderTree(tmp.path()), before);
      EXPECT_EQ(Lines("Remote listing of " + listed + " refused: the remote instance sent"), 1);
      EXPECT_EQ(Lines(c.why), 1);
      EXPECT_GE(t.cError, 1);
      EXPECT_EQ(t.cDeleted + t.cSuccess, 0);
    }
  }
}

// A peer that shows one more subfolder in every folder: the walks stop at
// their depth bound, or where the path would grow too long, and say so.
TEST_F(HostilePeerRun, FoldersWithoutEndStopAtTheDepthOrPathBound) {
  struct Case { bool mirror; std::string name; const char* why; int32_t levels; };
  const Case cases[] = {
      {true, "deeper", "nested more than 512 levels deep", 0},
      {true, std::string(200, 'd'), "path longer than 4095 bytes", 0},
      {false, std::string(200, 'd'), "path longer than 4095 bytes", 255},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    const std::string outside = RenderTree(tmp.path(), {"b/c/dst"});
    HostilePeer peer([&](TcpSocket& s, const ListRequest&) {
      HostilePeer::SendReply(s, {Entry("..", kDir), Entry(c.name, kDir)});
    });
    TCopyThread& t = Make(peer, c.mirror, OPT_OVERWRITE_OLDER | OPT_DIR_TO_TARGET);
    int64_t sum = 0;
    if (c.mirror)
      CleanDir(t, dst, src, "*.*", 0);
    else
      CopyWalk(t, src, dst, sum, c.levels, 0, "*.*");
    EXPECT_EQ(Lines(std::string("Folder not entered (") + c.why + "): "), 1);
    EXPECT_EQ(RenderTree(tmp.path(), {"b/c/dst"}), outside);
    EXPECT_EQ(t.cDeleted, 0);
    EXPECT_LT(peer.Requests(), 600);
  }
}

// Levels below dst in a listing request.
int Depth(const std::string& path, const std::string& top) {
  return path.size() <= top.size() ? 0 : static_cast<int>(std::count(path.begin() + top.size(), path.end(), '/'));
}

// The parent keeps only what the walk still needs while it descends, and the
// listings of a walk together stay inside their budget, else the run ends.
TEST_F(HostilePeerRun, ListingsOfAWalkStayInsideTheirMemoryBudget) {
  const int64_t perLevel = 20'000 * EntryCost("f00000");
  std::vector<ReplyEntry> files{Entry("..", kDir)};
  for (int i = 0; i < 20'000; ++i) files.push_back(Entry("f" + std::to_string(100'000 + i), kFile));
  files.push_back(Entry("g", kDir));
  {
    HostilePeer peer([&](TcpSocket& s, const ListRequest& request) {
      // Files and then one folder per level, four levels deep.
      const int depth = Depth(request.Path, dst);
      HostilePeer::SendReply(s, depth < 3 ? files : std::vector<ReplyEntry>(files.begin(), files.end() - 1));
    });
    TCopyThread& t = Make(peer, true, OPT_OVERWRITE_OLDER | OPT_DIR_TO_TARGET | OPT_MIRROR);
    static_cast<TMVIPCLient*>(t.TargetRemote.get())->SetListingBudget(perLevel * 3 / 2);
    const std::string before = RenderTree(tmp.path());
    EXPECT_EQ(CleanDir(t, dst, src, "*.*", 0) & RC_ABORT, 0);
    EXPECT_EQ(Lines("of memory"), 0);
    EXPECT_EQ(t.cDeleted, 4 * 20'000);  // names only the peer has: nothing on disk goes
    EXPECT_EQ(RenderTree(tmp.path()), before);
  }
  std::vector<ReplyEntry> folders{Entry("..", kDir)};
  for (int i = 0; i < 3'000; ++i) folders.push_back(Entry("d" + std::to_string(10'000 + i), kDir));
  for (const bool mirror : {true, false}) {
    SCOPED_TRACE(mirror ? "mirror" : "copy");
    HostilePeer peer([&](TcpSocket& s, const ListRequest&) { HostilePeer::SendReply(s, folders); });
    TCopyThread& t = Make(peer, mirror, OPT_OVERWRITE_OLDER | OPT_DIR_TO_TARGET | OPT_MIRROR);
    DirListRemote* side = mirror ? t.TargetRemote.get() : t.SourceRemote.get();
    static_cast<TMVIPCLient*>(side)->SetListingBudget(int64_t{1} << 20);
    int64_t sum = 0;
    const int32_t r = mirror ? CleanDir(t, dst, src, "*.*", 0) : CopyWalk(t, src, dst, sum, 8, 0, "*.*");
    EXPECT_NE(r & RC_ABORT, 0);
    EXPECT_EQ(Lines("Remote listings of this run would hold more than 1 MiB of memory at "), 1);
    EXPECT_LE(peer.Requests(), 3);
    EXPECT_EQ(side->Budget()->Used(), 0);  // every listing has given its share back
  }
}

}  // namespace
}  // namespace mv
