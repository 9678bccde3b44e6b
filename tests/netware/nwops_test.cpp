#include "netware/nwops.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "filter/dirfilter.h"
#include "platform/clock.h"
#include "platform/textcase.h"
#include "tests/support/nwsim.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

using test::NWSimOp;
using test::SimNetWare;

uint32_t Packed(int y, int mo, int d, int h, int mi, int s) {
  return NWPackDateTime(
      NWDate{.Day = uint8_t(d), .Month = uint8_t(mo), .Year = uint16_t(y)},
      NWTime{.Seconds = uint8_t(s), .Minutes = uint8_t(mi), .Hours = uint16_t(h)});
}

class NetWareOps : public ::testing::Test {
 protected:
  void SetUp() override {
    srv1 = sim.AddServer("SRV1", "ACME");
    srv2 = sim.AddServer("SRV2", "OTHER");
    sim.Mount(tmp / "nw1", "SRV1", "DATA");
    sim.Mount(tmp / "nw2", "SRV2", "VOL1");
    sim.AddObject("SRV1", 0x10, "ADMIN.ACME");
    sim.AddObject("SRV1", 0x11, "GUEST.ACME");
    sim.AddObject("SRV1", 0x12, "OPS.ACME");
    sim.AddObject("SRV2", 0x99, "ADMIN.ACME");
    sim.AddObject("SRV2", 0x98, "OPS.ACME");
    uint32_t table = 0;
    ASSERT_EQ(sim.LoadConversionTable(850, table), 0u);
    nw = NetWareAccess{.Client = &sim, .Available = true, .CodePageTable = table};
  }
  void TearDown() override {
    EXPECT_EQ(sim.OpenDirHandles(), 0);
    EXPECT_EQ(sim.OpenContexts(), 0);
  }
  std::vector<std::string> Copy(const std::string& src, const std::string& dst,
                                NWRightsCopyOptions options = {.CopyTrustees = true}) {
    std::vector<std::string> lines;
    EXPECT_TRUE(CopyNetWareRights(nw, src, dst, options, [&](int32_t level, const std::string& t) {
      EXPECT_EQ(level, 2);
      lines.push_back(t);
    }));
    return lines;
  }

  test::TempDir tmp;
  SimNetWare sim;
  NWConnection srv1 = 0, srv2 = 0;
  NetWareAccess nw;
  std::string src = tmp / "nw1/src/", dst = tmp / "nw1/dst/", other = tmp / "nw2/other/";
};

TEST_F(NetWareOps, WithoutNetWareEverythingAnswersEmpty) {
  auto unavailable = MakeUnavailableNetWareClient();
  for (NetWareAccess off :
       {NetWareAccess{.Client = unavailable.get()},
        NetWareAccess{.Client = &sim, .Available = false, .CodePageTable = 0x850},
        NetWareAccess{}}) {
    EXPECT_EQ(IsNetWarePath(off, src), -1);
    EXPECT_FALSE(SameNetWareServer(off, src, dst));
    NWDeletedScanContext scan;
    EXPECT_TRUE(ScanDeletedFiles(off, src, nullptr, scan).empty());
    EXPECT_EQ(scan.Connection, -1);
    std::vector<TTrustee> t{{.ObjectID = 0x10}};
    std::string log = "x";
    EXPECT_TRUE(GetTrustees(off, src).empty());
    EXPECT_EQ(AddTrustees(off, dst, t, log), 0);
    DateTime value = 1;
    uint8_t mask = 0;
    EXPECT_EQ(NetWareDirDate(off, dst, value, true, log), -1);
    EXPECT_EQ(NetWareInheritedRights(off, dst, mask, true, log), -1);
    EXPECT_EQ(log, "");
    EXPECT_TRUE(CopyNetWareRights(off, src, dst, {.CopyTrustees = true}, nullptr));
  }
  EXPECT_FALSE(CopyNetWareRights(
      nw, src, dst, {.CopyTrustees = true, .Terminated = [] { return true; }}, nullptr));
}

TEST_F(NetWareOps, PathTestsAndServers) {
  EXPECT_EQ(IsNetWarePath(nw, tmp / "nw1/a/b/"), 0);
  EXPECT_EQ(IsNetWarePath(nw, tmp / "nw1x/a"), static_cast<int32_t>(test::kSimNotOnNetWare));
  std::string converted;
  EXPECT_EQ(ToNetWarePath(nw, std::string(300, 'A'), converted), int32_t(test::kSimTooLong));
  EXPECT_EQ(converted, std::string(254, 'A'));
  EXPECT_NE(IsNetWarePath(nw, tmp / ("nw1/" + std::string(300, 'a'))), 0);
  EXPECT_NE(IsNetWarePath(NetWareAccess{.Client = &sim, .Available = true}, src), 0);
  EXPECT_TRUE(SameNetWareServer(nw, src, dst));
  EXPECT_FALSE(SameNetWareServer(nw, src, other));
  EXPECT_FALSE(SameNetWareServer(nw, src, tmp / "local/"));
}

TEST_F(NetWareOps, TrusteesOnOneServerKeepTheirIds) {
  sim.SetTrusteesPerBlock(2);
  sim.SetTrustees(src, {{0x10, 0x1FB}, {0, 0x01}, {0x11, 0x41}, {0x77, 0x01}});
  std::vector<TTrustee> t = GetTrustees(nw, src);
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t[0].Name, "ADMIN.ACME");
  EXPECT_EQ(t[1].Name, "GUEST.ACME");
  EXPECT_EQ(t[2].Name, "");  // unknown object keeps an empty name
  EXPECT_EQ(t[0].Connection, srv1);
  t.pop_back();
  std::string log;
  EXPECT_EQ(AddTrustees(nw, dst, t, log), 2);
  EXPECT_EQ(log, "ADD TRUSTEE: to " + dst);
  const auto added = sim.Trustees(dst);
  ASSERT_EQ(added.size(), 2u);
  EXPECT_EQ(added[0].ObjectID, 0x10u);
  EXPECT_EQ(added[0].Rights, 0x1FB);
  EXPECT_EQ(added[1].ObjectID, 0x11u);
}

TEST_F(NetWareOps, TrusteesAcrossServersAreFoundByName) {
  sim.SetTrustees(src, {{0x10, 0x03}, {0x11, 0x41}, {0x12, 0x01}, {0x77, 0x01}});
  const auto lines = Copy(src, other);
  EXPECT_EQ(lines,
            (std::vector<std::string>{"ADD TRUSTEE: to " + other, "0000 ADMIN.ACME ID=00000010",
                                      "0000 GUEST.ACME ID=00000011", "0000 OPS.ACME ID=00000012",
                                      "0000  ID=00000077"}));
  const auto added = sim.Trustees(other);
  ASSERT_EQ(added.size(), 2u);
  EXPECT_EQ(added[0].ObjectID, 0x99u);
  EXPECT_EQ(added[0].Rights, 0x03);
  EXPECT_EQ(added[1].ObjectID, 0x98u);
}

TEST_F(NetWareOps, FirstFailingAddStops) {
  sim.Fail(NWSimOp::AddTrustee, 0x8C01, 1, 1);
  std::vector<TTrustee> t{{.ObjectID = 0x10, .Connection = srv1},
                          {.ObjectID = 0x11, .Connection = srv1},
                          {.ObjectID = 0x12, .Connection = srv1}};
  std::string log;
  EXPECT_EQ(AddTrustees(nw, dst, t, log), 1);
  EXPECT_EQ(log, "ADD TRUSTEE: to " + dst);
  EXPECT_EQ(t[0].Result, 0);
  EXPECT_EQ(t[1].Result, 0x8C01);
  EXPECT_EQ(t[2].Result, 0);
  EXPECT_EQ(sim.Calls(NWSimOp::AddTrustee), 2);
  EXPECT_EQ(sim.Trustees(dst).size(), 1u);
}

TEST_F(NetWareOps, InheritedRightsMaskRules) {
  struct Case {
    uint16_t source, target;
    bool written;
  };
  for (const Case c : {Case{0xFB, 0x01, false}, Case{0xFF, 0x01, false}, Case{0x1FF, 0x01, false},
                       Case{0x1F, 0x1B, false}, Case{0x13, 0xFF, true}}) {
    SCOPED_TRACE(c.source);
    sim.SetDirInfo(src, {.InheritedRights = c.source});
    sim.SetDirInfo(dst, {.DateTime = 0x1234, .Owner = 7, .InheritedRights = c.target});
    const auto lines = Copy(src, dst);
    EXPECT_EQ(sim.DirInfo(dst).InheritedRights, c.written ? c.source : c.target);
    if (c.written) {
      EXPECT_EQ(lines, std::vector<std::string>{"SET IRM: $13 to " + dst});
      EXPECT_EQ(sim.DirInfo(dst).DateTime, 0x1234u);
      EXPECT_EQ(sim.DirInfo(dst).Owner, 7u);
    } else {
      EXPECT_TRUE(lines.empty());
    }
  }
  uint8_t mask = 0x17;  // differs only in the ignored bit
  std::string log;
  EXPECT_EQ(NetWareInheritedRights(nw, dst, mask, true, log), 1);
  sim.SetTrustees(src, {{0x10, 0x03}});
  sim.SetDirInfo(src, {.InheritedRights = 0x01});
  EXPECT_TRUE(Copy(src, dst, {.CopyTrustees = true, .LogOnly = true}).empty());
  EXPECT_TRUE(Copy(src, dst, {.CopyTrustees = false}).empty());
  EXPECT_TRUE(sim.Trustees(dst).empty());
  EXPECT_EQ(sim.DirInfo(dst).InheritedRights, 0x13);
}

TEST_F(NetWareOps, DeletedFileScanFiltersAndConvertsDates) {
  const std::string dir = tmp / "nw1/sub/";
  const NWDeletedEntry base{.Attributes = 0x20,
                            .Created = Packed(2020, 1, 2, 3, 4, 6),
                            .Modified = Packed(2021, 5, 6, 7, 8, 10),
                            .Size = 42};
  NWDeletedEntry a = base, b = base, c = base;
  a.Name = "a.txt";
  a.Deleted = Packed(2022, 2, 30, 0, 0, 0);  // impossible
  b.Name = "b.doc";
  c.Name = "c.txt";
  const int32_t seqA = sim.AddDeleted(dir, a);
  sim.AddDeleted(dir, b);
  sim.AddDeleted(dir, c);
  TTDirFilter filter("*.txt", "c*", "", "", 8);
  NWDeletedScanContext scan;
  const auto list = ScanDeletedFiles(nw, UpperCase(dir), &filter, scan);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].Name, "a.txt");
  EXPECT_EQ(list[0].Sequence, seqA);
  EXPECT_EQ(list[0].Created, int32_t(Packed(2020, 1, 2, 3, 4, 6)));
  EXPECT_EQ(list[0].Modified, int32_t(Packed(2021, 5, 6, 7, 8, 10)));
  EXPECT_EQ(list[0].Deleted, 0);
  EXPECT_EQ(list[0].Size, 42);
  EXPECT_EQ(list[0].Attributes, 0x20);
  EXPECT_EQ(scan.Connection, srv1);
  EXPECT_EQ(scan.RelativePath, "DATA:SUB");
  EXPECT_EQ(ScanDeletedFiles(nw, dir, nullptr, scan).size(), 3u);

  // The scan context is what a purge needs.
  NWDirHandle h = 0;
  ASSERT_EQ(sim.AllocDirHandle(srv1, scan.DirHandle, scan.RelativePath, h, nullptr), 0u);
  EXPECT_EQ(sim.PurgeDeletedFile(srv1, h, seqA, scan.VolumeNumber, scan.DirBase), 0u);
  sim.DeallocDirHandle(srv1, h);
  EXPECT_EQ(sim.DeletedNames(dir), (std::vector<std::string>{"b.doc", "c.txt"}));

  EXPECT_TRUE(ScanDeletedFiles(nw, tmp / "local/", nullptr, scan).empty());
  EXPECT_EQ(scan.Connection, -1);
  sim.Fail(NWSimOp::AllocDirHandle, test::kSimNoHandles);
  EXPECT_TRUE(ScanDeletedFiles(nw, dir, nullptr, scan).empty());
  EXPECT_EQ(scan.Connection, -1);
}

TEST(NetWareDates, ImpossibleDatesGiveZero) {
  for (uint32_t bad :
       {Packed(2023, 2, 29, 0, 0, 0), Packed(2024, 13, 1, 0, 0, 0), Packed(2024, 4, 31, 0, 0, 0),
        Packed(2024, 1, 0, 0, 0, 0), Packed(2024, 1, 1, 24, 0, 0), Packed(2024, 1, 1, 0, 60, 0),
        Packed(2024, 1, 1, 0, 0, 60), 0u})
    EXPECT_EQ(NetWareDateToFileDate(bad), 0) << std::hex << bad;
  const uint32_t leap = Packed(2024, 2, 29, 23, 59, 58);
  EXPECT_EQ(NetWareDateToFileDate(leap), int32_t(leap));
  EXPECT_EQ(FileDateToNetWareDate(int32_t(leap)), leap);
  EXPECT_EQ(FileDateToNetWareDate(int32_t(Packed(2023, 2, 29, 0, 0, 0))), 0u);
  EXPECT_EQ(FileDateToNetWareDate(0), 0u);
}

TEST_F(NetWareOps, DirectoryDateReadsPlainAndWritesShifted) {
  sim.SetDirInfo(dst,
                 {.DateTime = Packed(2020, 3, 4, 5, 6, 8), .Owner = 9, .InheritedRights = 0x1F3});
  std::string log;
  DateTime value = 0;
  EXPECT_EQ(NetWareDirDate(nw, dst, value, false, log), 0);
  EXPECT_DOUBLE_EQ(
      value,
      EncodeDateTime({.year = 2020, .month = 3, .day = 4, .hour = 5, .minute = 6, .second = 8}));
  // The shift depends on the zone; do not rely on the runner to set it.
  const std::string oldTz = getenv("TZ") ? getenv("TZ") : "";
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  struct Case {
    int month, shift;  // standard offset +1, one less in summer
  };
  for (const Case c : {Case{1, 1}, Case{7, 0}}) {
    SetClockForTesting([&] { return EncodeDateTime({.year = 2024, .month = c.month, .day = 10}); });
    const DateTime written = EncodeDateTime({.year = 2021, .month = 6, .day = 1, .hour = 12});
    value = written;
    EXPECT_EQ(NetWareDirDate(nw, dst, value, true, log), 0);
    EXPECT_EQ(log, "SET DT:  to " + dst);
    EXPECT_DOUBLE_EQ(value, written + c.shift / 24.0);
    EXPECT_EQ(sim.DirInfo(dst).DateTime, Packed(2021, 6, 1, 12 + c.shift, 0, 0));
    EXPECT_EQ(sim.DirInfo(dst).Owner, 9u);
    EXPECT_EQ(sim.DirInfo(dst).InheritedRights, 0xF3);
  }
  SetClockForTesting(nullptr);
  oldTz.empty() ? unsetenv("TZ") : setenv("TZ", oldTz.c_str(), 1);
  tzset();
  sim.Fail(NWSimOp::SetDirInfo, 0x8C01);
  EXPECT_EQ(NetWareDirDate(nw, dst, value, true, log), -1);
  EXPECT_EQ(log, "8C01");
  value = 0;
  EXPECT_EQ(NetWareDirDate(nw, dst, value, true, log), -1);
}

TEST_F(NetWareOps, DirectoryServicesContexts) {
  const NWConnection padded = sim.AddServer("SRV3", "MY_TREE_");
  std::string name;
  EXPECT_EQ(ConnectionTreeName(sim, padded, name), 0u);
  EXPECT_EQ(name, "MY_TREE");
  EXPECT_NE(ConnectionTreeName(sim, 42, name), 0u);
  EXPECT_EQ(name, "");

  NWContext ctx = 0;
  ASSERT_EQ(sim.CreateContext(ctx), 0u);
  for (const auto& [def, expected] : {std::pair{".O=ACME", "O=ACME"}, std::pair{"", "[Root]"}}) {
    sim.SetDefaultNameContext(def);
    EXPECT_EQ(SetContextTree(sim, ctx, "CN=ACME", ""), 0u);
    EXPECT_EQ(ContextTreeName(sim, ctx), "ACME");
    std::string value;
    sim.GetContextValue(ctx, kNWContextNameContext, value);
    EXPECT_EQ(value, expected);
  }
  uint32_t flags = 0;
  EXPECT_EQ(ChangeContextFlags(sim, ctx, "+", 0x0C), 0u);
  EXPECT_EQ(ChangeContextFlags(sim, ctx, "-", 0x08), 0u);
  EXPECT_EQ(ChangeContextFlags(sim, ctx, "?", 0x01), 0u);
  sim.GetContextFlags(ctx, flags);
  EXPECT_EQ(flags, 0x04u);
  sim.FreeContext(ctx);
}

}  // namespace
}  // namespace mv
