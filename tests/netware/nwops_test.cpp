#include "netware/nwops.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <sstream>
#include <tuple>

#include "filter/dirfilter.h"
#include "platform/clock.h"
#include "platform/textcase.h"
#include "tests/support/nwsim.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

using test::NWSimOp;
using Lines = std::vector<std::string>;

uint32_t Packed(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return NWPackDateTime(NWDate{.Day = uint8_t(d), .Month = uint8_t(mo), .Year = uint16_t(y)},
                        NWTime{.Seconds = uint8_t(s), .Minutes = uint8_t(mi), .Hours = uint16_t(h)});
}

class NetWareOps : public ::testing::Test {
 protected:
  void SetUp() override {
    sim.AddServer("SRV1", "ACME"), sim.AddServer("SRV2", "OTHER");
    sim.Mount(tmp / "nw1", "SRV1", "DATA"), sim.Mount(tmp / "nw2", "SRV2", "VOL1");
    for (auto [server, id, name] : {std::tuple{"SRV1", 0x10u, "ADMIN"}, {"SRV1", 0x11u, "GUEST"}, {"SRV1", 0x12u, "OPS"},
                                    {"SRV2", 0x99u, "ADMIN"}, {"SRV2", 0x98u, "OPS"}})
      sim.AddObject(server, id, name + std::string(".ACME"));
    ASSERT_EQ(sim.LoadConversionTable(850, nw.CodePageTable), 0u);
  }
  void TearDown() override { EXPECT_EQ(sim.OpenDirHandles() + sim.OpenContexts(), 0); }  // all released
  Lines Copy(const std::string& to, NWRightsCopyOptions options = {.CopyTrustees = true}) {
    Lines lines;  // a line at any level but 2 shows as "?"
    EXPECT_TRUE(CopyNetWareRights(nw, src, to, options, [&](int32_t l, auto& t) { lines.push_back(l == 2 ? t : "?"); }));
    return lines;
  }
  std::string Trustees(const std::string& dir) {  // "ID:RIGHTS ..." in hexadecimal
    std::ostringstream out;
    for (const NWTrusteeEntry& t : sim.Dir(dir).Trustees) out << std::hex << std::uppercase << t.ObjectID << ':' << t.Rights << ' ';
    return out.str();
  }

  test::TempDir tmp;
  test::SimNetWare sim;
  NetWareAccess nw{.Client = &sim, .Available = true};
  std::string src = tmp / "nw1/src/", dst = tmp / "nw1/dst/", other = tmp / "nw2/other/";
};

TEST_F(NetWareOps, PathTestsAndServersAndWithoutNetWareEverythingAnswersEmpty) {
  EXPECT_EQ(IsNetWarePath(nw, tmp / "nw1x/a"), int32_t(test::kSimNotOnNetWare));
  std::string converted;
  EXPECT_EQ(ToNetWarePath(nw, std::string(300, 'A'), converted), int32_t(test::kSimTooLong));
  EXPECT_EQ(converted, std::string(254, 'A'));
  EXPECT_NE(IsNetWarePath(nw, tmp / ("nw1/" + std::string(300, 'a'))), 0);
  EXPECT_EQ(std::tuple(SameNetWareServer(nw, src, dst), SameNetWareServer(nw, src, other), SameNetWareServer(nw, src, tmp / "x/")),
            std::tuple(true, false, false));
  for (auto unavailable = MakeUnavailableNetWareClient(); NetWareAccess off : {NetWareAccess{.Client = unavailable.get()},
                            NetWareAccess{.Client = &sim, .Available = false, .CodePageTable = 0x850}, NetWareAccess{}}) {
    NWDeletedScanContext scan;
    std::vector<TTrustee> t{{.ObjectID = 0x10}};
    std::string log = "x";
    DateTime value = 1;
    uint8_t mask = 0;
    EXPECT_EQ(std::tuple(IsNetWarePath(off, src), SameNetWareServer(off, src, dst), GetTrustees(off, src).size()),
              std::tuple(-1, false, 0u));
    EXPECT_TRUE(ScanDeletedFiles(off, src, nullptr, scan).empty() && scan.Connection == -1);
    EXPECT_EQ(std::tuple(AddTrustees(off, dst, t, log), NetWareDirDate(off, dst, value, true, log),
                         NetWareInheritedRights(off, dst, mask, true, log)), std::tuple(0, -1, -1));
    EXPECT_EQ(log, "");
    EXPECT_TRUE(CopyNetWareRights(off, src, dst, {.CopyTrustees = true}, nullptr));
  }
  EXPECT_FALSE(CopyNetWareRights(nw, src, dst, {.CopyTrustees = true, .Terminated = [] { return true; }}, nullptr));
}

TEST_F(NetWareOps, TrusteesKeepTheirIdsOnOneServerAreFoundByNameAcrossAndTheFirstFailingAddStops) {
  sim.SetTrusteesPerBlock(2);
  sim.Dir(src).Trustees = {{0x10, 0x1FB}, {0, 0x01}, {0x11, 0x41}, {0x12, 0x01}, {0x77, 0x01}};
  std::vector<TTrustee> t = GetTrustees(nw, src);
  ASSERT_EQ(t.size(), 4u);
  EXPECT_EQ(t[0].Name + "|" + t[1].Name + "|" + t[3].Name, "ADMIN.ACME|GUEST.ACME|");
  t.pop_back();
  std::string log;
  EXPECT_EQ(AddTrustees(nw, dst, t, log), 3);
  EXPECT_EQ(log, "ADD TRUSTEE: to " + dst);
  EXPECT_EQ(Trustees(dst), "10:1FB 11:41 12:1 ");
  sim.Fail(NWSimOp::AddTrustee, 0x8C01, 1, 1);
  EXPECT_EQ(AddTrustees(nw, tmp / "nw1/third/", t, log), 1);
  EXPECT_EQ(t[1].Result, 0x8C01);
  EXPECT_EQ(sim.Calls(NWSimOp::AddTrustee), 3 + 2);
  EXPECT_EQ(Trustees(tmp / "nw1/third/"), "10:1FB ");
  sim.Dir(src).Trustees = {{0x10, 0x03}, {0x11, 0x41}, {0x12, 0x01}, {0x77, 0x01}};
  EXPECT_EQ(Copy(other), (Lines{"ADD TRUSTEE: to " + other, "0000 ADMIN.ACME ID=00000010", "0000 GUEST.ACME ID=00000011",
                                "0000 OPS.ACME ID=00000012", "0000  ID=00000077"}));
  EXPECT_EQ(Trustees(other), "99:3 98:1 ");  // GUEST is unknown there
}

TEST_F(NetWareOps, InheritedRightsMaskRulesAndLogOnlyChangesNothing) {
  struct Case { uint16_t source, target; bool written; };
  for (const Case c : {Case{0xFB, 0x01, false}, Case{0x1FF, 0x01, false}, Case{0x1F, 0x1B, false}, Case{0x13, 0xFF, true}}) {
    SCOPED_TRACE(c.source);
    sim.Dir(src).Info = {.InheritedRights = c.source}, sim.Dir(dst).Info = {0x1234, 7, c.target};
    EXPECT_EQ(Copy(dst), c.written ? Lines{"SET IRM: $13 to " + dst} : Lines{});
    const NWDirInfo a = sim.Dir(dst).Info;
    EXPECT_EQ(std::tuple(a.InheritedRights, a.DateTime, a.Owner), std::tuple(c.written ? c.source : c.target, 0x1234u, 7u));
  }
  sim.Dir(src).Info = {.InheritedRights = 0x01}, sim.Dir(src).Trustees = {{0x10, 0x03}};
  EXPECT_TRUE(Copy(dst, {.CopyTrustees = true, .LogOnly = true}).empty());
  EXPECT_EQ(std::pair(Trustees(dst), sim.Dir(dst).Info.InheritedRights), std::pair(std::string(), uint16_t(0x13)));
}

TEST_F(NetWareOps, DeletedFileScanFiltersAndConvertsDates) {
  const std::string dir = tmp / "nw1/sub/";
  NWDeletedEntry e{.Attributes = 0x20, .Name = "a.txt", .Created = Packed(2020, 1, 2, 3, 4, 6),
                   .Modified = Packed(2021, 5, 6, 7, 8, 10), .Deleted = Packed(2022, 2, 30), .Size = 42};
  const int32_t seqA = sim.AddDeleted(dir, e);
  for (const char* name : {"b.doc", "c.txt"}) sim.AddDeleted(dir, {.Name = name});
  TTDirFilter filter("*.txt", "c*", "", "", 8);
  NWDeletedScanContext scan;
  const auto list = ScanDeletedFiles(nw, UpperCase(dir), &filter, scan);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(std::tuple(list[0].Sequence, list[0].Created, list[0].Modified, list[0].Size, list[0].Attributes, list[0].Deleted),
            std::tuple(seqA, int32_t(e.Created), int32_t(e.Modified), 42, 0x20, 0));  // deleted: impossible date
  EXPECT_EQ(scan.RelativePath, "DATA:SUB");
}

// The written date is shifted by the zone's standard offset, one hour less
// while summer time is in force; the zone is set here, not left to the runner.
TEST_F(NetWareOps, ImpossibleDatesGiveZeroAndDirectoryDateReadsPlainAndWritesShifted) {
  for (uint32_t bad : {Packed(2023, 2, 29), Packed(2024, 4, 31), Packed(2024, 1, 1, 24), 0u})
    EXPECT_EQ(NetWareDateToFileDate(bad), 0) << std::hex << bad;
  const uint32_t leap = Packed(2024, 2, 29, 23, 59, 58);
  EXPECT_EQ(std::pair(NetWareDateToFileDate(leap), FileDateToNetWareDate(int32_t(leap))), std::pair(int32_t(leap), leap));
  EXPECT_EQ(FileDateToNetWareDate(int32_t(Packed(2023, 2, 29))), 0u);
  setenv("TZ", "Europe/Berlin", 1), tzset();
  sim.Dir(dst).Info = {.DateTime = Packed(2020, 3, 4, 5, 6, 8), .Owner = 9, .InheritedRights = 0x1F3};
  std::string log;
  DateTime value = 0;
  EXPECT_EQ(NetWareDirDate(nw, dst, value, false, log), 0);
  EXPECT_DOUBLE_EQ(value, EncodeDateTime({2020, 3, 4, 5, 6, 8}));
  const DateTime written = EncodeDateTime({.year = 2021, .month = 6, .day = 1, .hour = 12});
  for (const auto& [month, shift] : {std::pair{1, 1}, std::pair{7, 0}}) {
    SetClockForTesting([month] { return EncodeDateTime({.year = 2024, .month = month, .day = 10}); });
    EXPECT_EQ(NetWareDirDate(nw, dst, value = written, true, log), 0);
    EXPECT_EQ(log, "SET DT:  to " + dst);
    EXPECT_DOUBLE_EQ(value, written + shift / 24.0);
    const NWDirInfo a = sim.Dir(dst).Info;
    EXPECT_EQ(std::tuple(a.DateTime, a.Owner, a.InheritedRights), std::tuple(Packed(2021, 6, 1, 12 + shift), 9u, uint16_t(0xF3)));
  }
  SetClockForTesting(nullptr);
}

}  // namespace
}  // namespace mv
