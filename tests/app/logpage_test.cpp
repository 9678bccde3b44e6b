#include "app/logpage.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>
#include <tuple>

#include "app/mvmain.h"
#include "remote/mvtcp.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

std::vector<std::string> JobCells(const LogPage& page) {
  std::vector<std::string> cells;
  for (int i = 0; i < page.Count(); ++i) cells.push_back(page.At(i)->Job);
  return cells;
}

TEST(LogPage, ConsecutiveLinesOfOneJobShowItsNameOnce) {
  LogPage page;
  for (int i = 0; i < 10; ++i) page.AddLogLine("@0000002A;05.12.2026 18:30:00;;line " + std::to_string(i));
  page.AddLogLine("Program initialized");
  page.AddLogLine("@0000002A;05.12.2026 18:31:00;5;after; a plain line");
  page.AddLogLine("@0000002B;05.12.2026 18:31:00;;other job");
  std::vector<std::string> expected{"0000002A"};
  expected.resize(10);
  expected.insert(expected.end(), {"0", "0000002A", "0000002B"});
  EXPECT_EQ(JobCells(page), expected);
  const auto cells = [&page](int i) {
    return std::tuple(page.At(i)->Time, page.At(i)->Error, page.At(i)->Text);
  };
  EXPECT_EQ(cells(10), std::tuple("(time)", "", "Program initialized"));
  EXPECT_EQ(cells(11), std::tuple("05.12.2026 18:31:00", "5", "after; a plain line"))
      << "the message keeps its own \";\"";
}

TEST(LogPage, OverTheBudgetEachAddedLineRemovesExactlyOne) {
  LogPage page;
  EXPECT_EQ(page.StatusText(0), "<no message>");
  // Cells of a plain line: "0" + "(time)" + 93 characters = 100.
  const std::string text(93, 'x');
  for (int i = 0; i < 640; ++i) page.AddLogLine(text);
  EXPECT_EQ(page.Count(), 640);
  EXPECT_EQ(page.Chars(), 64000) << "exactly at the budget nothing goes";
  page.AddLogLine(text);
  EXPECT_EQ(page.Count(), 640);
  // A long line takes the place of one short line only: the total stays above.
  page.AddLogLine(std::string(993, 'y'));
  EXPECT_EQ(std::tuple(page.Count(), page.Chars(), page.At(639)->Text.size()),
            std::tuple(640, 64900, 993u));
  page.AddLogLine(text);
  EXPECT_EQ(page.Count(), 640);
  EXPECT_EQ(page.StatusText(7), " Log Lines: 640 Log Chars: 64900 Error list items: 7");
}

TEST(LogPage, CellsCountCharactersNotBytes) {
  EXPECT_EQ(CellLength("Grüße"), 5);
  const LogLine broken = SplitLogLine("@only-a-job", nullptr);
  EXPECT_EQ(broken.Job, "only-a-job");
  EXPECT_EQ(broken.Time + broken.Error + broken.Text, "");
}

// A port nobody listens on right now (the kernel's choice).
int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  close(fd);
  return ntohs(a.sin_port);
}

struct ThreadRecorder : CoreObserver {
  std::vector<std::thread::id> threads;
  void LogLineAdded(const std::string&) override { threads.push_back(std::this_thread::get_id()); }
};

TEST(LogPage, RemoteServerLinesArriveOnTheMainThread) {
  const int port = FreePort();
  setenv("MIRAVA_REMOTE_PORT", std::to_string(port).c_str(), 1);
  test::TempDir tmp;
  MiravaCore core;
  LogPage page;
  ThreadRecorder recorder;
  core.AddObserver(&page);
  core.AddObserver(&recorder);
  StartOptions o;
  o.Base = tmp.path();
  o.RemoteServer = "";
  o.LogPage = [](const std::string&) {};
  core.Startup(std::move(o));
  unsetenv("MIRAVA_REMOTE_PORT");
  std::thread client([port] {
    TMVIPCLient c("127.0.0.1", static_cast<uint16_t>(port));
    c.Connect();
    c.Disconnect();
  });
  const auto disconnected = [&page] {
    return page.Count() > 0 && page.At(page.Count() - 1)->Text.find("disconnected") != std::string::npos;
  };
  const bool seen = core.Sync().RunUntil(disconnected, std::chrono::seconds(30));
  client.join();
  ASSERT_TRUE(seen);
  for (const std::thread::id& id : recorder.threads) EXPECT_EQ(id, std::this_thread::get_id());
  core.Shutdown();
}

}  // namespace
}  // namespace mv
