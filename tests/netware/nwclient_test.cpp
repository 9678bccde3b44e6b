#include "netware/nwclient.h"

#include <gtest/gtest.h>

namespace mv {
namespace {

TEST(NetWareClient, LinuxClientIsNotAvailableAndListsNothing) {
  auto client = MakeUnavailableNetWareClient();
  EXPECT_NE(client->Initialize(), 0u);
  NWConnection conn = 7;
  NWDirHandle handle = 7;
  std::string rel = "x";
  EXPECT_NE(client->ParsePath("/srv/data", conn, handle, rel), 0u);
  EXPECT_EQ(conn, 0u);
  EXPECT_TRUE(rel.empty());
  int32_t seq = -1;
  uint32_t volume = 0, base = 0;
  NWDeletedEntry entry;
  EXPECT_EQ(client->ScanDeletedFile(0, 0, seq, volume, base, entry), kNWNoMoreEntries);
  std::vector<NWTrusteeEntry> block{{1, 2}};
  uint32_t iteration = 0;
  EXPECT_NE(client->ScanTrustees(0, 0, "", iteration, block), 0u);
  EXPECT_TRUE(block.empty());
}

TEST(NetWareClient, PackedDateTimeRoundTrips) {
  const NWDate date{.Day = 29, .Month = 2, .Year = 2024};
  const NWTime time{.Seconds = 58, .Minutes = 59, .Hours = 23};
  NWDate d;
  NWTime t;
  NWUnpackDateTime(NWPackDateTime(date, time), d, t);
  EXPECT_EQ(d.Day, 29);
  EXPECT_EQ(d.Month, 2);
  EXPECT_EQ(d.Year, 2024);
  EXPECT_EQ(t.Seconds, 58);
  EXPECT_EQ(t.Minutes, 59);
  EXPECT_EQ(t.Hours, 23);
}

}  // namespace
}  // namespace mv
