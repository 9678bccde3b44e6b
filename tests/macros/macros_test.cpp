#include "macros/macros.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/tempdir.h"

namespace mv {
namespace {

using Env = std::map<std::string, std::string>;

MacroResolver::EnvFn EnvOf(Env env) {
  return [env = std::move(env)](const std::string& name) -> std::optional<std::string> {
    auto it = env.find(name);
    return it == env.end() ? std::nullopt : std::optional<std::string>(it->second);
  };
}

// A fresh resolver over fixed folders and environment, recording its diagnostics.
struct Fixture {
  explicit Fixture(Env env = {})
      : folders(std::make_shared<FixedShellFolders>()), resolver(folders, EnvOf(std::move(env))) {
    folders->Set("DESKTOP", "/home/x/Desktop/");
    folders->Set("FIRSTCDDRIVE", "/media/cdrom/");
    folders->Set("TEMPDIR", "/tmp");
    resolver.SetDiagnosticSink([this](const std::string& t) { log.push_back(t); });
  }
  int Count(const std::string& text) const { return static_cast<int>(std::count(log.begin(), log.end(), text)); }
  std::shared_ptr<FixedShellFolders> folders;
  MacroResolver resolver;
  std::vector<std::string> log;
};

TEST(ResolveMacros, Texts) {
  Fixture f(Env{{"DATA", "/srv/data"}, {"EMPTY", ""}, {"A", "%B%"}, {"B", "nested"}});
  const std::vector<std::pair<std::string, std::string>> rows = {
      // Folder values lose their trailing "/", except the CD drive.
      {"%*DESKTOP%/backup", "/home/x/Desktop/backup"}, {"%*FIRSTCDDRIVE%data", "/media/cdrom/data"},
      {"a %*tempdir% b", "a /tmp b"}, {"100%", "100%"}, {"a%b", "a%b"}, {"", ""},
      {"%DATA%/in/%DATA%", "/srv/data/in//srv/data"}, {"%UNDEFINED%/x", "%UNDEFINED%/x"},
      {"%EMPTY%", "%EMPTY%"}, {"%*UNKNOWN%", "*UNKNOWN"}, {"%*%", "*"},
      {"%A%", "%B%"},        // an inserted value is never scanned again
      {"%data%", "%data%"},  // environment names keep their case
  };
  for (const auto& [in, out] : rows) EXPECT_EQ(f.resolver.ResolveMacros(in), out) << in;
  EXPECT_TRUE(f.log.empty());
}

TEST(ResolveMacros, HaltStopsThisAndEveryLaterResolution) {
  Fixture f(Env{{"PATH", "/bin"}, {"V", "v"}});
  EXPECT_EQ(f.resolver.ResolveMacros("%*halt%x%PATH%"), "x%PATH%");
  EXPECT_EQ(f.Count("MACRO PROCESS STOPPED"), 1);
  EXPECT_EQ(f.resolver.ResolveMacros("%V%/%*DESKTOP%"), "%V%/%*DESKTOP%");
  EXPECT_EQ(f.Count("!!!FATAL: Stop (notwendige Auflösung fehlgeschlagen)!!!"), 2);
  EXPECT_EQ(f.resolver.Depth(), 0);
}

TEST(ResolveMacros, SixteenMacrosPerTextThenTheRestStaysAsWritten) {
  Env env;
  std::string text, expected;
  for (int i = 1; i <= 17; ++i) {
    std::string n = "V" + std::to_string(i);
    env[n] = "v" + std::to_string(i);
    text += "%" + n + "%-";
    expected += i <= 16 ? env[n] + "-" : "%" + n + "%-";
  }
  Fixture f(env);
  EXPECT_EQ(f.resolver.ResolveMacros(text + "%V1%end"), expected + "%V1%end");
  EXPECT_EQ(f.Count("!!!FATAL: Macro-Auflösung nach 15 Versuchen beeendet!!!"), 1);
  EXPECT_EQ(f.resolver.Depth(), 0);
  EXPECT_EQ(f.resolver.ResolveMacros("%V17%"), "v17");  // the limit is per text
}

TEST(ResolveMacros, OnlyResolvedSpecialsAreCachedForTheLifeOfTheResolver) {
  Fixture f;
  f.resolver.SetTrace(true);
  EXPECT_EQ(f.resolver.ResolveMacros("%*desktop%"), "/home/x/Desktop");
  f.folders->Set("DESKTOP", "/elsewhere");
  EXPECT_EQ(f.resolver.ResolveMacros("%*DeskTop%/a"), "/home/x/Desktop/a");
  EXPECT_EQ(f.Count("     dbg--  Macro resolved from cache: *DeskTop=/home/x/Desktop"), 1);
  EXPECT_EQ(f.Count("     dbg--  MACRO solved (DESKTOP=/home/x/Desktop)"), 1);
  EXPECT_EQ(MacroResolver(f.folders, EnvOf({})).ResolveMacros("%*DESKTOP%"), "/elsewhere");

  EXPECT_EQ(f.resolver.ResolveMacros("%*MSOFFICEVERSIONSHORT%"), "*MSOFFICEVERSIONSHORT");
  f.folders->Set("MSOFFICEVERSIONSHORT", "12.0");
  f.folders->Set("COOKIES", "");
  f.folders->Set("NOTINTABLE", "x");  // folders cannot invent specials
  EXPECT_EQ(f.resolver.ResolveMacros("v%*MSOFFICEVERSIONSHORT%"), "v12.0");
  EXPECT_EQ(f.resolver.ResolveMacros("[%*COOKIES%]"), "[]");
  EXPECT_EQ(f.resolver.ResolveMacros("%*NOTINTABLE%"), "*NOTINTABLE");

  std::string value = "untouched";
  EXPECT_FALSE(f.resolver.SolveSpecial("DESKTOP", value));
  EXPECT_EQ(value, "untouched");
}

TEST(ResolveMacros, TraceTextsAndAThrowingSink) {
  Fixture f(Env{{"V", "v"}});
  f.resolver.SetTrace(true);
  EXPECT_EQ(f.resolver.ResolveMacros("a%V%b"), "avb");
  EXPECT_EQ(f.Count("     dbg--  Macro resolve watcher 1"), 1);
  EXPECT_EQ(f.Count("     dbg--  Macro parse solve: \"a\"+SOLVE(V)+\"b\""), 1);
  f.resolver.SetDiagnosticSink([](const std::string&) { throw std::runtime_error("log full"); });
  EXPECT_EQ(f.resolver.ResolveMacros("%V%%*halt%%V%"), "v%V%");
  EXPECT_EQ(f.resolver.Depth(), 0);
}

TEST(OfficeVersionShort, HighestVersionWithAllThreeKeys) {
  const std::string o = "\\Software\\Microsoft\\Office\\";
  auto has = [](std::vector<std::string> keys) {
    return [keys](const std::string& k) { return std::find(keys.begin(), keys.end(), k) != keys.end(); };
  };
  EXPECT_EQ(OfficeVersionShort(has({o + "11.0\\Common", o + "11.0\\Word", o + "11.0\\Excel", o + "12.0\\Common",
                                    o + "12.0\\Word", o + "12.0\\Excel", o + "14.0\\Common", o + "14.0\\Word"})),
            "12.0");
  EXPECT_EQ(OfficeVersionShort(has({o + "21.0\\Common", o + "21.0\\Word", o + "21.0\\Excel"})), std::nullopt);
}

// The Linux sources of the folder values, from files of a temporary home.
SystemShellFolders FoldersIn(const test::TempDir& dir, Env env) {
  return SystemShellFolders({EnvOf(std::move(env)), dir / "mounts", dir / "exe"});
}

TEST(SystemShellFolders, XdgUserDirsAndEnvironmentFolders) {
  test::TempDir dir;
  const std::string home = dir / "home";
  SystemShellFolders noFile = FoldersIn(dir, {{"HOME", home}, {"TMPDIR", "/var/tmp/"}});
  EXPECT_EQ(noFile.Value("DESKTOP"), home + "/Desktop");
  EXPECT_EQ(noFile.Value("PERSONAL"), home);
  EXPECT_EQ(noFile.Value("STARTMENU"), home + "/.local/share/applications");
  EXPECT_EQ(noFile.Value("TEMPDIR"), "/var/tmp/");
  EXPECT_EQ(FoldersIn(dir, {}).Value("APPDATA"), "");  // without a home, nothing below "/"

  dir.Write("cfg/user-dirs.dirs",
            "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
            "XDG_DOCUMENTS_DIR=\"relative/ignored\"\n"
            "XDG_DOCUMENTS_DIR=\"/data/My \\\"Docs\\\"\"\n"
            "XDG_DOCUMENTS_DIRX=\"/wrong\"\n");
  SystemShellFolders f = FoldersIn(dir, {{"HOME", home}, {"XDG_CONFIG_HOME", dir / "cfg"}, {"XDG_DATA_HOME", "/d"}});
  EXPECT_EQ(f.Value("DESKTOP"), home + "/Schreibtisch");
  EXPECT_EQ(f.Value("PERSONAL"), "/data/My \"Docs\"");
  EXPECT_EQ(f.Value("APPDATA"), dir / "cfg");
  EXPECT_EQ(f.Value("STARTMENU"), "/d/applications");
  EXPECT_EQ(f.Value("TEMPDIR"), "/tmp");
}

TEST(SystemShellFolders, CdDriveExePathAndWindowsOnlyNames) {
  test::TempDir dir;
  SystemShellFolders f = FoldersIn(dir, {});
  EXPECT_EQ(f.Value("FIRSTCDDRIVE"), "");  // no mount table at all
  dir.Write("mounts",
            "/dev/sda1 / ext4 rw 0 0\n"
            "/dev/sr1 /media/My\\040Disc udf ro 0 0\n"
            "/dev/sr0 /media/cdrom iso9660 ro 0 0\n");
  EXPECT_EQ(f.Value("FIRSTCDDRIVE"), "/media/My Disc/");
  ASSERT_EQ(::symlink("/opt/mirava/bin/mirava", (dir / "exe").c_str()), 0);
  EXPECT_EQ(f.Value("EXEPATH"), "/opt/mirava/bin");
  for (const char* n : {"COOKIES", "FAVORITES", "SENDTO", "PROGRAMFILES", "WINDIR", "WINSYSDIR"})
    EXPECT_EQ(f.Value(n), "") << n;
  EXPECT_EQ(f.Value("MSOFFICEVERSIONSHORT"), std::nullopt);
  EXPECT_EQ(f.Value("desktop"), std::nullopt);
}

TEST(ProcessMacroResolver, SystemFoldersAndProcessEnvironment) {
  EXPECT_EQ(&ProcessMacroResolver(), &ProcessMacroResolver());
  const std::string exeDir = std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
  EXPECT_EQ(ResolveMacros("%*EXEPATH%/x"), exeDir + "/x");
  std::string value;
  EXPECT_TRUE(SolveSpecial("*exepath", value));
  EXPECT_EQ(value, exeDir);
  EXPECT_EQ(ResolveMacros("%%"), "%%");  // no variable has an empty name
  EXPECT_EQ(ResolveMacros("x%%y%"), "x%%y%");
  ::setenv("MIRAVA_MACRO_TEST_VAR", "/from/env", 1);
  EXPECT_EQ(ResolveMacros("%MIRAVA_MACRO_TEST_VAR%/x"), "/from/env/x");
  ::unsetenv("MIRAVA_MACRO_TEST_VAR");
  EXPECT_EQ(ResolveMacros("%MIRAVA_MACRO_TEST_VAR%"), "%MIRAVA_MACRO_TEST_VAR%");
}

}  // namespace
}  // namespace mv
