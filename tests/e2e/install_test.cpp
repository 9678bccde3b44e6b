// `cmake --install` and the Debian package: the installed tree, its desktop
// entry, unit and manual page as the system's own tools see them, and the
// installed program running a job with its data in the user's XDG folder.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>

#include "tests/support/tempdir.h"

namespace mv {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

struct Ran {
  int exitCode = -1;
  std::string output;  // standard output and error
};

// Runs a shell command line; every path given to it comes from a TempDir or
// the build, so none needs quoting beyond what the callers do.
Ran Shell(const std::string& command) {
  Ran r;
  std::FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.output.append(buf, n);
  const int status = ::pclose(p);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

bool HaveTool(const std::string& name) { return Shell("command -v " + name).exitCode == 0; }

// cmake --install and cpack write their manifest and the unit into the build
// folder; a user who does not own it (CI's unprivileged run) cannot install.
bool MayWrite(const std::string& path) { return ::access(path.c_str(), W_OK) == 0 || !fs::exists(path); }
bool BuildFolderWritable() {
  const std::string build = MIRAVA_BUILD_DIR;
  return ::access(build.c_str(), W_OK) == 0 && ::access((build + "/dist").c_str(), W_OK) == 0 &&
         MayWrite(build + "/install_manifest.txt") && MayWrite(build + "/dist/unit");
}
#define SKIP_UNLESS_BUILD_FOLDER_WRITABLE() \
  if (!BuildFolderWritable()) GTEST_SKIP() << "installing writes into " MIRAVA_BUILD_DIR ", which this user may not write"

// Installs the build into a fresh DESTDIR with prefix /usr, once per test.
class Installed : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_UNLESS_BUILD_FOLDER_WRITABLE();
    const Ran r = Shell("DESTDIR=" + dir.path() + "root '" MIRAVA_CMAKE "' --install '" MIRAVA_BUILD_DIR
                        "' --prefix /usr");
    ASSERT_EQ(r.exitCode, 0) << r.output;
  }
  std::string Usr(const std::string& rel) const { return dir / ("root/usr/" + rel); }
  TempDir dir;
};

TEST_F(Installed, TreeHoldsProgramEntryIconManualUnitAndHelp) {
  for (const char* rel :
       {"bin/mirava", "share/applications/mirava.desktop", "share/icons/hicolor/scalable/apps/mirava.svg",
        "share/man/man1/mirava.1", "lib/systemd/user/mirava.service", "share/mirava/help/context-2.html",
        "share/mirava/help/help.css"})
    EXPECT_TRUE(fs::is_regular_file(Usr(rel))) << rel;
  EXPECT_EQ(::access(Usr("bin/mirava").c_str(), X_OK), 0);
  const std::string unit = TempDir::Read(Usr("lib/systemd/user/mirava.service"));
  EXPECT_NE(unit.find("\nExecStart=/usr/bin/mirava --headless QLOAD\n"), std::string::npos) << unit;
  EXPECT_NE(TempDir::Read(Usr("share/man/man1/mirava.1")).find("Mirava 1.109.047"), std::string::npos);
}

TEST_F(Installed, DesktopEntryValidates) {
  if (!HaveTool("desktop-file-validate")) GTEST_SKIP() << "desktop-file-validate missing (desktop-file-utils)";
  const Ran r = Shell("desktop-file-validate " + Usr("share/applications/mirava.desktop"));
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(r.output, "") << "no hints either";
}

TEST_F(Installed, ManualRendersWithoutWarnings) {
  if (!HaveTool("groff") || !HaveTool("man")) GTEST_SKIP() << "groff or man missing (groff-base, man-db)";
  const std::string page = Usr("share/man/man1/mirava.1");
  const Ran groff = Shell("LC_ALL=C groff -ww -man -Tutf8 -z " + page);
  EXPECT_EQ(groff.exitCode, 0);
  EXPECT_EQ(groff.output, "");
  const Ran man = Shell("LC_ALL=C MANWIDTH=80 man -l " + page + " 2>&1 >/dev/null");
  EXPECT_EQ(man.output, "");
  const Ran text = Shell("LC_ALL=C MANWIDTH=80 man -l " + page + " | cat");
  for (const char* word : {"--headless", "--base", "--remote-server", "--run-job", "--check-job", "--quiet",
                           "--help", "--version", "CLOSE", "CONTROL", "QLOAD", "RUNJOB=", "EXIT STATUS",
                           "MIRAVA_REMOTE_PORT", "MIRAVA_JOB_TIMER_MS", "XDG_DATA_HOME", "[actions]"})
    EXPECT_NE(text.output.find(word), std::string::npos) << word;
}

TEST_F(Installed, UnitPassesSystemdVerify) {
  if (!HaveTool("systemd-analyze")) GTEST_SKIP() << "systemd-analyze missing (systemd)";
  // verify wants the program where ExecStart says; point it into DESTDIR.
  std::string unit = TempDir::Read(Usr("lib/systemd/user/mirava.service"));
  unit = std::regex_replace(unit, std::regex("ExecStart=/usr/bin/"), "ExecStart=" + Usr("bin/"));
  const std::string copy = dir.Write("units/mirava.service", unit);
  const std::string probe = dir.Write("units/probe.service", "[Service]\nExecStart=/bin/true\n");
  // A user manager wants a runtime folder; the Documentation= line is
  // checked against the installed manual page.
  fs::create_directory(dir / "run");
  fs::permissions(dir / "run", fs::perms::owner_all);
  const std::string verify = "MANPATH=" + Usr("share/man") + " XDG_RUNTIME_DIR=" + dir.path() +
                             "run systemd-analyze --user verify ";
  const Ran baseline = Shell(verify + probe);
  if (baseline.exitCode != 0 || !baseline.output.empty())
    GTEST_SKIP() << "systemd-analyze cannot verify units here: " << baseline.output;
  const Ran r = Shell(verify + copy);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(r.output, "") << "not even a warning";
}

TEST_F(Installed, ProgramRunsAJobWithItsDataInTheXdgFolder) {
  const std::string bin = Usr("bin/mirava");
  EXPECT_EQ(Shell(bin + " --version").output, "Mirava 1.109.047\n");
  dir.Write("src/a.txt", "alpha");
  const std::string job = dir.Write(
      "COPY.MVJ", "[job]\ndescription=copy\noptions=259\n[actions]\ncount=1\nsourcepath=" + dir.path() +
                      "src/\ntargetpath=" + dir.path() + "dst/\nsource0=*.*\ntarget0=*.*\n");
  // Writable as the program's folder is here (and /usr/bin is for root), a
  // "bin" folder never gets the data.
  const Ran r = Shell("env -u XDG_DATA_HOME HOME=" + dir.path() + "home " + bin + " --run-job " + job);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(TempDir::Read(dir / "dst/a.txt"), "alpha");
  EXPECT_TRUE(fs::is_regular_file(dir / "home/.local/share/mirava/LOGS/MIRAVA.LOG"));
  EXPECT_FALSE(fs::exists(Usr("bin/LOGS")));
  EXPECT_FALSE(fs::exists(Usr("bin/CTRL")));
}

TEST(DebianPackage, BuildsAndListsTheInstalledFiles) {
  if (!HaveTool("cpack") || !HaveTool("dpkg-deb") || !HaveTool("dpkg-shlibdeps"))
    GTEST_SKIP() << "cpack, dpkg-deb or dpkg-shlibdeps missing (cmake, dpkg-dev)";
  SKIP_UNLESS_BUILD_FOLDER_WRITABLE();
  TempDir dir;
  const Ran built = Shell("MIRAVA_PACKAGE_NO_BUILD=1 MIRAVA_BUILD_DIR='" MIRAVA_BUILD_DIR "' '" MIRAVA_SOURCE_DIR
                          "/tools/package' " + dir.path() + "out");
  ASSERT_EQ(built.exitCode, 0) << built.output;
  std::string deb;
  for (const auto& e : fs::directory_iterator(dir / "out"))
    if (e.path().extension() == ".deb") deb = e.path().string();
  ASSERT_NE(deb.find("/mirava_1.109.047_"), std::string::npos) << built.output;
  const std::string list = Shell("dpkg-deb -c " + deb).output;
  for (const char* path : {"./usr/bin/mirava", "./usr/share/applications/mirava.desktop",
                           "./usr/share/icons/hicolor/scalable/apps/mirava.svg", "./usr/share/man/man1/mirava.1",
                           "./usr/lib/systemd/user/mirava.service", "./usr/share/mirava/help/context-1.html"})
    EXPECT_NE(list.find(path), std::string::npos) << path << "\n" << list;
  EXPECT_NE(list.find("root/root"), std::string::npos) << "files belong to root";
  const std::string depends = Shell("dpkg-deb -f " + deb + " Depends").output;
  for (const char* package : {"libqt6core6", "libqt6svg6"})
    EXPECT_NE(depends.find(package), std::string::npos) << depends;
}

}  // namespace
}  // namespace mv
