// The progress line of `mirava --run-job`: on a terminal one line rewritten in
// place; into a pipe not one byte of it.

#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/progressline.h"
#include "tests/support/childprocess.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

using test::ChildProcess;
using test::TempDir;

std::size_t Chars(const std::string& s) {
  std::size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

TEST(ProgressLine, ShorterLineBlanksWhatTheLongerLeft) {
  std::ostringstream out;
  TerminalProgress p(out, 80, std::chrono::milliseconds(250));
  const auto t0 = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
  p.Show({.FilesDone = 1, .FilesKnown = 1, .Bytes = 0, .Rate = "1 KB/s", .CurrentFile = "/a/bb"}, t0);
  p.Show({.FilesDone = 2, .FilesKnown = 2, .Bytes = 0, .Rate = "1 KB/s"}, t0 + std::chrono::milliseconds(100));
  p.Show({.FilesDone = 3, .FilesKnown = 3, .Bytes = 0, .Rate = "1 KB/s"}, t0 + std::chrono::milliseconds(250));
  p.Clear();
  EXPECT_EQ(out.str(),
            "\r1/1 files  0 B  1 KB/s  /a/bb"
            "\r3/3 files  0 B  1 KB/s       "  // the second came too soon
            "\r                      \r");
}

class RunJobOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    // Every entry redraws the line, so the count of lines does not hang on
    // how fast the disk is.
    ::setenv("MIRAVA_PROGRESS_MS", "0", 1);
    for (int i = 0; i < 12; ++i) dir.Write(kDeep + "f" + std::to_string(i) + ".txt", std::string(5000, 'x'));
    job = dir.Write("COPY.MVJ", "[job]\ndescription=copy\noptions=259\n[actions]\ncount=1\nsourcepath=" +
                                    dir.path() + "src/\ntargetpath=" + dir.path() + "dst/\nsource0=*.*\n"
                                    "target0=*.*\n");
  }
  void TearDown() override { ::unsetenv("MIRAVA_PROGRESS_MS"); }

  // The run on a 60-column pseudo-terminal that passes bytes as they are.
  std::string OnTerminal(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {MIRAVA_BINARY, "--run-job", job, "--base", dir / "base"};
    args.insert(args.end(), extra.begin(), extra.end());
    int master = -1;
    winsize ws{.ws_row = 24, .ws_col = 60, .ws_xpixel = 0, .ws_ypixel = 0};
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, &ws);
    if (pid == 0) {
      termios t{};
      ::tcgetattr(STDOUT_FILENO, &t);
      ::cfmakeraw(&t);
      ::tcsetattr(STDOUT_FILENO, TCSANOW, &t);
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    EXPECT_GT(pid, 0);
    std::string output;
    char buf[4096];
    // Linux answers EIO once the child's side is closed.
    for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;) output.append(buf, static_cast<std::size_t>(n));
    ::close(master);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
    return output;
  }

  std::string ThroughPipe(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {MIRAVA_BINARY, "--run-job", job, "--base", dir / "base"};
    args.insert(args.end(), extra.begin(), extra.end());
    std::filesystem::remove(dir / "pipe.txt");
    ChildProcess p(args, dir / "pipe.txt");
    EXPECT_EQ(p.Wait(60000), 0);
    return TempDir::Read(dir / "pipe.txt");
  }

  const std::string kDeep = "src/a-folder-name-long-enough-to-be-shortened/";
  TempDir dir;
  std::string job;
};

// What a terminal shows once every line is drawn: the text after the last CR.
std::vector<std::string> Settled(const std::string& output) {
  std::vector<std::string> lines;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) lines.push_back(line.substr(line.rfind('\r') + 1));
  return lines;
}

TEST_F(RunJobOutput, TerminalShowsOneLineUpdatingInPlace) {
  const std::string out = OnTerminal();
  std::vector<std::string> drawn;
  std::istringstream in(out);
  for (std::string part; std::getline(in, part, '\r');)
    if (part.find(" files  ") != std::string::npos) drawn.push_back(part.substr(0, part.find('\n')));
  ASSERT_GE(drawn.size(), 12u) << out;
  for (const std::string& line : drawn) {
    EXPECT_LE(Chars(line), 59u) << line;
    EXPECT_EQ(line.find('\n'), std::string::npos);
  }
  EXPECT_NE(out.find("/12 files  "), std::string::npos) << "the count grows to every file";
  EXPECT_NE(out.find("...") , std::string::npos) << "the long path is shortened";

  // Once settled, the screen holds what a pipe gets: the progress line is
  // blanked before every line of text, and at the end. Only the rate differs.
  std::filesystem::remove_all(dir / "dst");
  const std::vector<std::string> screen = Settled(out);
  const std::vector<std::string> piped = Settled(ThroughPipe());
  ASSERT_EQ(screen.size(), piped.size()) << out;
  for (std::size_t i = 0; i < screen.size(); ++i)
    if (!piped[i].starts_with("Speed")) {
      EXPECT_EQ(screen[i], piped[i]) << i;
    }
}

TEST_F(RunJobOutput, PipeGetsNoProgressAndQuietOnlyTheResults) {
  const std::string piped = ThroughPipe();
  EXPECT_EQ(piped.find('\r'), std::string::npos);
  EXPECT_EQ(piped.find(" files  "), std::string::npos);
  EXPECT_NE(piped.find("Source : "), std::string::npos) << piped;

  std::filesystem::remove_all(dir / "dst");
  const std::vector<std::string> full = Settled(piped);
  const std::vector<std::string> quiet = Settled(ThroughPipe({"--quiet"}));
  ASSERT_FALSE(quiet.empty());
  EXPECT_EQ(quiet.front(), "Total files : 12") << "no parameter lines";
  const std::size_t results = full.size() - quiet.size();
  ASSERT_LT(results, full.size());
  for (std::size_t i = 0; i < quiet.size(); ++i)
    if (!quiet[i].starts_with("Speed")) {
      EXPECT_EQ(quiet[i], full[results + i]) << i;
    }
  EXPECT_EQ(OnTerminal({"--quiet"}).find(" files  "), std::string::npos) << "no progress line either";
}

}  // namespace
}  // namespace mv
