#include "macros/macros.h"

#include <gtest/gtest.h>
#include <unistd.h>

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
    if (it == env.end()) return std::nullopt;
    return it->second;
  };
}

// A fresh resolver over fixed folders and environment, recording its diagnostics.
struct Fixture {
  explicit Fixture(Env env = {}) : folders(std::make_shared<FixedShellFolders>()), resolver(folders, EnvOf(std::move(env))) {
    folders->Set("DESKTOP", "/home/x/Desktop/");
    folders->Set("FIRSTCDDRIVE", "/media/cdrom/");
    folders->Set("TEMPDIR", "/tmp");
    resolver.SetDiagnosticSink([this](const std::string& t) { log.push_back(t); });
  }
  int Count(const std::string& text) const {
    int n = 0;
    for (const auto& l : log) n += l == text;
    return n;
  }
  std::shared_ptr<FixedShellFolders> folders;
  MacroResolver resolver;
  std::vector<std::string> log;
};

const std::string kDepthFatal = "!!!FATAL: Macro-Auflösung nach 15 Versuchen beeendet!!!";
const std::string kStopFatal = "!!!FATAL: Stop (notwendige Auflösung fehlgeschlagen)!!!";

TEST(ResolveMacros, FolderValuesLoseTrailingDelimiterExceptCdDrive) {
  Fixture f;
  EXPECT_EQ(f.resolver.ResolveMacros("%*DESKTOP%/backup"), "/home/x/Desktop/backup");
  EXPECT_EQ(f.resolver.ResolveMacros("%*FIRSTCDDRIVE%data"), "/media/cdrom/data");
  EXPECT_EQ(f.resolver.ResolveMacros("a %*tempdir% b"), "a /tmp b");
  EXPECT_TRUE(f.log.empty());
}

TEST(ResolveMacros, TextsWithoutAPairOfPercentSignsStayAsWritten) {
  Fixture f(Env{{"", "never"}});
  EXPECT_EQ(f.resolver.ResolveMacros("100%"), "100%");
  EXPECT_EQ(f.resolver.ResolveMacros("a%b"), "a%b");
  EXPECT_EQ(f.resolver.ResolveMacros(""), "");
  EXPECT_EQ(f.resolver.ResolveMacros("plain/path"), "plain/path");
  // The process environment has no variable with an empty name either.
  MacroResolver real(std::make_shared<FixedShellFolders>());
  EXPECT_EQ(real.ResolveMacros("%%"), "%%");
  EXPECT_EQ(real.ResolveMacros("x%%y%"), "x%%y%");
}

TEST(ResolveMacros, EnvironmentVariablesAndUnknownNames) {
  Fixture f(Env{{"DATA", "/srv/data"}, {"EMPTY", ""}, {"A", "%B%"}, {"B", "nested"}});
  EXPECT_EQ(f.resolver.ResolveMacros("%DATA%/in/%DATA%"), "/srv/data/in//srv/data");
  EXPECT_EQ(f.resolver.ResolveMacros("%UNDEFINED%/x"), "%UNDEFINED%/x");
  EXPECT_EQ(f.resolver.ResolveMacros("%EMPTY%"), "%EMPTY%");
  EXPECT_EQ(f.resolver.ResolveMacros("%*UNKNOWN%"), "*UNKNOWN");
  EXPECT_EQ(f.resolver.ResolveMacros("%*%"), "*");
  // An inserted value is never scanned again.
  EXPECT_EQ(f.resolver.ResolveMacros("%A%"), "%B%");
  // Names are used as written: environment lookups keep their case.
  EXPECT_EQ(f.resolver.ResolveMacros("%data%"), "%data%");
}

TEST(ResolveMacros, ProcessEnvironmentByDefault) {
  ::setenv("MIRAVA_MACRO_TEST_VAR", "/from/env", 1);
  MacroResolver r(std::make_shared<FixedShellFolders>());
  EXPECT_EQ(r.ResolveMacros("%MIRAVA_MACRO_TEST_VAR%/x"), "/from/env/x");
  ::unsetenv("MIRAVA_MACRO_TEST_VAR");
  EXPECT_EQ(r.ResolveMacros("%MIRAVA_MACRO_TEST_VAR%"), "%MIRAVA_MACRO_TEST_VAR%");
}

TEST(ResolveMacros, HaltStopsThisAndEveryLaterResolution) {
  Fixture f(Env{{"PATH", "/bin"}, {"V", "v"}});
  EXPECT_EQ(f.resolver.ResolveMacros("%*halt%x%PATH%"), "x%PATH%");
  EXPECT_TRUE(f.resolver.Stopped());
  EXPECT_EQ(f.Count("MACRO PROCESS STOPPED"), 1);
  EXPECT_EQ(f.Count(kStopFatal), 1);
  EXPECT_EQ(f.resolver.ResolveMacros("%V%/%*DESKTOP%"), "%V%/%*DESKTOP%");
  EXPECT_EQ(f.resolver.ResolveMacros("no macro"), "no macro");
  EXPECT_EQ(f.Count(kStopFatal), 2);
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
  text += "%V1%end";
  expected += "%V1%end";
  Fixture f(env);
  EXPECT_EQ(f.resolver.ResolveMacros(text), expected);
  EXPECT_EQ(f.Count(kDepthFatal), 1);
  EXPECT_EQ(f.resolver.Depth(), 0);
  // The limit is per text, not for the life of the resolver.
  EXPECT_EQ(f.resolver.ResolveMacros("%V17%"), "v17");
}

TEST(ResolveMacros, SpecialValuesAreCachedForTheLifeOfTheResolver) {
  Fixture f;
  f.resolver.SetTrace(true);
  EXPECT_EQ(f.resolver.ResolveMacros("%*desktop%"), "/home/x/Desktop");
  f.folders->Set("DESKTOP", "/elsewhere");
  EXPECT_EQ(f.resolver.ResolveMacros("%*DeskTop%/a"), "/home/x/Desktop/a");
  EXPECT_EQ(f.Count("     dbg--  Macro resolved from cache: *DeskTop=/home/x/Desktop"), 1);
  std::string value;
  EXPECT_TRUE(f.resolver.SolveSpecial("*DESKTOP", value));
  EXPECT_EQ(value, "/home/x/Desktop");
  EXPECT_EQ(f.Count("     dbg--  Macro resolved from cache (SPECIAL): /home/x/Desktop"), 1);
  EXPECT_EQ(f.Count("     dbg--  MACRO solved (DESKTOP=/home/x/Desktop)"), 1);

  // A fresh resolver has its own cache.
  MacroResolver other(f.folders, EnvOf({}));
  EXPECT_EQ(other.ResolveMacros("%*DESKTOP%"), "/elsewhere");
}

TEST(ResolveMacros, UnresolvedSpecialsAreNotCached) {
  Fixture f;
  EXPECT_EQ(f.resolver.ResolveMacros("%*MSOFFICEVERSIONSHORT%"), "*MSOFFICEVERSIONSHORT");
  EXPECT_EQ(f.resolver.ResolveMacros("%*COOKIES%"), "*COOKIES");
  f.folders->Set("MSOFFICEVERSIONSHORT", "12.0");
  f.folders->Set("COOKIES", "");
  EXPECT_EQ(f.resolver.ResolveMacros("v%*MSOFFICEVERSIONSHORT%"), "v12.0");
  EXPECT_EQ(f.resolver.ResolveMacros("[%*COOKIES%]"), "[]");
  // A substitute cannot invent specials that are not in the table.
  f.folders->Set("NOTINTABLE", "x");
  EXPECT_EQ(f.resolver.ResolveMacros("%*NOTINTABLE%"), "*NOTINTABLE");
}

TEST(ResolveMacros, TraceTextsAndSilenceWithoutTrace) {
  Fixture f(Env{{"X", "1"}});
  EXPECT_EQ(f.resolver.ResolveMacros("a%X%b"), "a1b");
  EXPECT_TRUE(f.log.empty());
  f.resolver.SetTrace(true);
  EXPECT_EQ(f.resolver.ResolveMacros("a%X%b"), "a1b");
  EXPECT_EQ(f.Count("     dbg--  Macro resolve watcher 1"), 1);
  EXPECT_EQ(f.Count("     dbg--  Macro parse solve: \"a\"+SOLVE(X)+\"b\""), 1);
}

TEST(ResolveMacros, ThrowingSinkDoesNotInterruptResolution) {
  Fixture f(Env{{"V", "v"}});
  f.resolver.SetDiagnosticSink([](const std::string&) { throw std::runtime_error("log full"); });
  f.resolver.SetTrace(true);
  EXPECT_EQ(f.resolver.ResolveMacros("%V%%*halt%%V%"), "v%V%");
  EXPECT_EQ(f.resolver.Depth(), 0);
}

TEST(SolveSpecial, OnlyNamesWithAStarAreSpecial) {
  Fixture f;
  std::string value = "untouched";
  EXPECT_FALSE(f.resolver.SolveSpecial("DESKTOP", value));
  EXPECT_EQ(value, "untouched");
  EXPECT_TRUE(f.resolver.SolveSpecial("*nope", value));
  EXPECT_EQ(value, "*nope");
  EXPECT_TRUE(f.resolver.SolveSpecial("*Desktop", value));
  EXPECT_EQ(value, "/home/x/Desktop");
}

TEST(OfficeVersionShort, HighestVersionWithAllThreeKeys) {
  auto keys = [](std::vector<std::string> present) {
    return [present](const std::string& k) {
      for (const auto& p : present)
        if (p == k) return true;
      return false;
    };
  };
  const std::string o = "\\Software\\Microsoft\\Office\\";
  EXPECT_EQ(OfficeVersionShort(keys({o + "11.0\\Common", o + "11.0\\Word", o + "11.0\\Excel", o + "12.0\\Common",
                                     o + "12.0\\Word", o + "12.0\\Excel", o + "14.0\\Common", o + "14.0\\Word"})),
            "12.0");
  EXPECT_EQ(OfficeVersionShort(keys({o + "21.0\\Common", o + "21.0\\Word", o + "21.0\\Excel"})), std::nullopt);
  EXPECT_EQ(OfficeVersionShort(keys({})), std::nullopt);
}

// The Linux sources of the folder values, from files of a temporary home.
class SystemShellFoldersTest : public ::testing::Test {
 protected:
  SystemShellFolders Folders(Env env) {
    SystemShellFolders::Sources s;
    s.env = EnvOf(std::move(env));
    s.mountTable = dir / "mounts";
    s.exeLink = dir / "exe";
    return SystemShellFolders(s);
  }
  std::string Home() { return dir.path() + "home"; }
  test::TempDir dir;
};

TEST_F(SystemShellFoldersTest, XdgUserDirsWithHomeExpansionAndDefaults) {
  SystemShellFolders noFile = Folders({{"HOME", Home()}});
  EXPECT_EQ(noFile.Value("DESKTOP"), Home() + "/Desktop");
  EXPECT_EQ(noFile.Value("PERSONAL"), Home());

  dir.Write("home/.config/user-dirs.dirs",
            "# written by xdg-user-dirs-update\n"
            "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
            "XDG_DOCUMENTS_DIR=\"relative/ignored\"\n"
            "XDG_DOCUMENTS_DIR=\"/data/My \\\"Docs\\\"\"\n"
            "XDG_DOCUMENTS_DIRX=\"/wrong\"\n");
  SystemShellFolders f = Folders({{"HOME", Home()}});
  EXPECT_EQ(f.Value("DESKTOP"), Home() + "/Schreibtisch");
  EXPECT_EQ(f.Value("PERSONAL"), "/data/My \"Docs\"");

  // XDG_CONFIG_HOME moves the file.
  dir.Write("cfg/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME\"\n");
  SystemShellFolders moved = Folders({{"HOME", Home()}, {"XDG_CONFIG_HOME", dir / "cfg"}});
  EXPECT_EQ(moved.Value("DESKTOP"), Home());
  EXPECT_EQ(moved.Value("APPDATA"), dir / "cfg");
}

TEST_F(SystemShellFoldersTest, EnvironmentFolders) {
  SystemShellFolders f = Folders({{"HOME", Home()}});
  EXPECT_EQ(f.Value("APPDATA"), Home() + "/.config");
  EXPECT_EQ(f.Value("STARTMENU"), Home() + "/.local/share/applications");
  EXPECT_EQ(f.Value("TEMPDIR"), "/tmp");
  SystemShellFolders g = Folders({{"HOME", Home()}, {"TMPDIR", "/var/tmp/"}, {"XDG_DATA_HOME", "/d"}});
  EXPECT_EQ(g.Value("TEMPDIR"), "/var/tmp/");
  EXPECT_EQ(g.Value("STARTMENU"), "/d/applications");
  // Without a home there is no folder below it, rather than one below "/".
  SystemShellFolders homeless = Folders({});
  EXPECT_EQ(homeless.Value("APPDATA"), "");
  EXPECT_EQ(homeless.Value("DESKTOP"), "");
}

TEST_F(SystemShellFoldersTest, WindowsOnlyNamesAreEmptyAndOfficeHasNoVersion) {
  SystemShellFolders f = Folders({});
  for (const char* n : {"COOKIES", "FAVORITES", "SENDTO", "PROGRAMFILES", "WINDIR", "WINSYSDIR"})
    EXPECT_EQ(f.Value(n), "") << n;
  EXPECT_EQ(f.Value("MSOFFICEVERSIONSHORT"), std::nullopt);
  EXPECT_EQ(f.Value("HALT"), std::nullopt);
  EXPECT_EQ(f.Value("desktop"), std::nullopt);
}

TEST_F(SystemShellFoldersTest, FirstCdDriveFromTheMountTable) {
  SystemShellFolders f = Folders({});
  EXPECT_EQ(f.Value("FIRSTCDDRIVE"), "");  // no mount table at all
  dir.Write("mounts",
            "/dev/sda1 / ext4 rw 0 0\n"
            "/dev/sr1 /media/My\\040Disc udf ro 0 0\n"
            "/dev/sr0 /media/cdrom iso9660 ro 0 0\n");
  EXPECT_EQ(f.Value("FIRSTCDDRIVE"), "/media/My Disc/");
  dir.Write("mounts", "/dev/sda1 / ext4 rw 0 0\nproc /proc proc rw 0 0\n");
  EXPECT_EQ(f.Value("FIRSTCDDRIVE"), "");

  auto sys = std::make_shared<SystemShellFolders>(f);
  MacroResolver resolver(sys, EnvOf({}));
  dir.Write("mounts", "/dev/sr0 /media/cdrom iso9660 ro 0 0\n");
  EXPECT_EQ(resolver.ResolveMacros("%*FIRSTCDDRIVE%data"), "/media/cdrom/data");
}

TEST_F(SystemShellFoldersTest, ExePathIsTheProgramsDirectory) {
  ASSERT_EQ(::symlink("/opt/mirava/bin/mirava", (dir / "exe").c_str()), 0);
  SystemShellFolders f = Folders({});
  EXPECT_EQ(f.Value("EXEPATH"), "/opt/mirava/bin");

  SystemShellFolders real;
  EXPECT_EQ(real.Value("EXEPATH"), std::filesystem::read_symlink("/proc/self/exe").parent_path().string());
}

TEST(ProcessMacroResolver, OneInstanceBehindTheFreeFunctions) {
  EXPECT_EQ(&ProcessMacroResolver(), &ProcessMacroResolver());
  std::string exeDir = std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
  EXPECT_EQ(ResolveMacros("%*EXEPATH%/x"), exeDir + "/x");
  std::string value;
  EXPECT_TRUE(SolveSpecial("*exepath", value));
  EXPECT_EQ(value, exeDir);
}

}  // namespace
}  // namespace mv
