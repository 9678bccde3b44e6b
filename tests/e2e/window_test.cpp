// The real program with its main window on a virtual X server: the window
// appears by its title, runs jobs as headless does, and SIGTERM ends it
// through the normal shutdown. Without a display it refuses in one line.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>

#include "app/rolelock.h"
#include "tests/support/childprocess.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

using test::ChildProcess;
using test::TempDir;
using test::WaitFor;

constexpr int kTimeoutMs = 30000;
constexpr const char* kXvfb = "/usr/bin/Xvfb";
constexpr const char* kXwininfo = "/usr/bin/xwininfo";

bool Executable(const char* path) { return ::access(path, X_OK) == 0; }

// Xvfb -displayfd writes the number of the display it took as a line of its own.
std::string DisplayNumber(const std::string& output) {
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);)
    if (!line.empty() && std::all_of(line.begin(), line.end(), [](unsigned char c) { return std::isdigit(c); }))
      return line;
  return "";
}

// The top-level window titles of the display, as xwininfo lists them.
std::string WindowTree(const TempDir& dir) {
  const std::string out = dir / "tree.txt";
  std::filesystem::remove(out);
  ChildProcess tree({kXwininfo, "-root", "-tree"}, out);
  tree.Wait(kTimeoutMs);
  return TempDir::Read(out);
}

class WindowEndToEnd : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const char* v : {"DISPLAY", "MIRAVA_JOB_TIMER_MS"}) unsetenv(v);
  }
  // Starts a virtual X server for this test and points DISPLAY at it; false
  // (with why in skipReason) when there is none.
  bool StartDisplay() {
    if (!Executable(kXvfb)) return Skip("Xvfb is not installed (Debian package xvfb)");
    if (!Executable(kXwininfo)) return Skip("xwininfo is not installed (Debian package x11-utils)");
    // -noreset: each xwininfo that looks for the window is the server's last
    // client when it leaves, and a server resetting then refuses the program
    // connecting at that moment.
    xvfb = std::make_unique<ChildProcess>(
        std::vector<std::string>{kXvfb, "-displayfd", "1", "-noreset", "-screen", "0", "1024x768x24", "-nolisten",
                                 "tcp"},
        dir / "xvfb.txt");
    std::string display;
    WaitFor([&] { return !(display = DisplayNumber(TempDir::Read(dir / "xvfb.txt"))).empty() ||
                         xvfb->Wait(0).has_value(); },
            kTimeoutMs);
    if (display.empty()) return Skip("Xvfb did not start: " + TempDir::Read(dir / "xvfb.txt"));
    setenv("DISPLAY", (":" + display).c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("QT_QPA_PLATFORM");
    setenv("MIRAVA_JOB_TIMER_MS", "200", 1);
    return true;
  }
  bool Skip(const std::string& why) {
    skipReason = why;
    return false;
  }
  bool WindowShown() { return WindowTree(dir).find("\"Mirava 1.109.047\"") != std::string::npos; }

  TempDir dir;
  // Stopped by its pid when the test ends, also when it fails.
  std::unique_ptr<ChildProcess> xvfb;
  std::string skipReason;
};

TEST_F(WindowEndToEnd, OpensByTitleRunsAJobAndShutsDownInOrderOnSigterm) {
  if (!StartDisplay()) GTEST_SKIP() << skipReason;
  const std::string base = dir / "base/";
  dir.Write("src/a.txt", "alpha");
  dir.Write("base/MVJ/NIGHTLY.MVJ",
            "[job]\r\ndescription=nightly\r\njobtype=0\r\noptions=259\r\n[actions]\r\ncount=1\r\n"
            "sourcepath=" + dir.path() + "src/\r\ntargetpath=" + dir.path() + "dst/\r\n"
            "source0=*.*\r\ntarget0=*.*\r\n");
  ChildProcess program({MIRAVA_BINARY, "--base", base, "RUNJOB=nightly"}, dir / "out.txt");
  ASSERT_TRUE(WaitFor([&] { return WindowShown(); }, kTimeoutMs))
      << WindowTree(dir) << TempDir::Read(dir / "out.txt");
  ASSERT_TRUE(WaitFor([&] { return TempDir::Read(dir / "dst/a.txt") == "alpha"; }, kTimeoutMs))
      << "the window's run queue runs the job";
  ASSERT_TRUE(RoleLockHeld(base + "CTRL/", kServerLockName));

  program.Signal(SIGTERM);
  EXPECT_EQ(program.Wait(kTimeoutMs), 0) << TempDir::Read(dir / "out.txt");
  EXPECT_FALSE(std::filesystem::exists(base + "CTRL/MVSERVER.MVF")) << "role lock released";
  const std::string log = TempDir::Read(base + "LOGS/MIRAVA.LOG");
  EXPECT_NE(log.find("JOB FINISHED (nightly)"), std::string::npos) << "program log flushed:\n" << log;
  EXPECT_TRUE(std::filesystem::exists(base + "MIRAVA.MVJ")) << "the editor's state is saved";
  EXPECT_FALSE(WindowShown());
}

TEST_F(WindowEndToEnd, WithoutADisplayItSaysSoInOneLineAndNamesHeadless) {
  for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) unsetenv(v);
  ChildProcess program({MIRAVA_BINARY, "--base", dir / "base"}, dir / "out.txt");
  EXPECT_EQ(program.Wait(kTimeoutMs), 2);
  const std::string out = TempDir::Read(dir / "out.txt");
  EXPECT_NE(out.find("--headless"), std::string::npos) << out;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
  EXPECT_FALSE(std::filesystem::exists(dir / "base/CTRL")) << "nothing is started";
}

}  // namespace
}  // namespace mv
