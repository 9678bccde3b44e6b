#include "macros/macros.h"

#include <gtest/gtest.h>

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
  return [env](const std::string& n) { return env.contains(n) ? std::optional(env.at(n)) : std::nullopt; };
}

// A fresh resolver over fixed folders and environment, recording its diagnostics.
struct Fixture {
  explicit Fixture(Env env = {}) : resolver(folders, EnvOf(std::move(env))) {
    folders->Set("DESKTOP", "/home/x/Desktop/"), folders->Set("FIRSTCDDRIVE", "/media/cdrom/");
    resolver.SetDiagnosticSink([this](const std::string& t) { log.push_back(t); });
  }
  int Count(const std::string& text) const { return static_cast<int>(std::count(log.begin(), log.end(), text)); }
  std::shared_ptr<FixedShellFolders> folders = std::make_shared<FixedShellFolders>();
  MacroResolver resolver;
  std::vector<std::string> log;
};

TEST(ResolveMacros, Texts) {
  Fixture f(Env{{"DATA", "/srv/data"}, {"EMPTY", ""}, {"A", "%B%"}, {"B", "nested"}});
  const std::vector<std::pair<std::string, std::string>> rows = {
      // Folder values lose their trailing "/", except the CD drive.
      {"%*DESKTOP%/backup", "/home/x/Desktop/backup"}, {"%*FIRSTCDDRIVE%data", "/media/cdrom/data"}, {"100%", "100%"},
      {"%DATA%/in/%DATA%", "/srv/data/in//srv/data"}, {"%UNDEFINED%/x", "%UNDEFINED%/x"}, {"%EMPTY%", "%EMPTY%"},
      {"%*UNKNOWN%", "*UNKNOWN"},
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
    const std::string n = "V" + std::to_string(i);
    env[n] = "v" + std::to_string(i), text += "%" + n + "%-", expected += i <= 16 ? env[n] + "-" : "%" + n + "%-";
  }
  Fixture f(env);
  EXPECT_EQ(f.resolver.ResolveMacros(text + "%V1%end"), expected + "%V1%end");
  EXPECT_EQ(f.Count("!!!FATAL: Macro-Auflösung nach 15 Versuchen beeendet!!!"), 1);
  EXPECT_EQ(f.resolver.Depth(), 0);
  EXPECT_EQ(f.resolver.ResolveMacros("%V17%"), "v17");  // the limit is per text
}

TEST(ResolveMacros, OnlyResolvedSpecialsAreCachedForTheLifeOfTheResolver) {
  Fixture f;
  EXPECT_EQ(f.resolver.ResolveMacros("%*desktop%"), "/home/x/Desktop");
  f.folders->Set("DESKTOP", "/elsewhere");
  EXPECT_EQ(f.resolver.ResolveMacros("%*DeskTop%/a"), "/home/x/Desktop/a");
  EXPECT_EQ(f.resolver.ResolveMacros("%*MSOFFICEVERSIONSHORT%"), "*MSOFFICEVERSIONSHORT");
  f.folders->Set("MSOFFICEVERSIONSHORT", "12.0");
  EXPECT_EQ(f.resolver.ResolveMacros("v%*MSOFFICEVERSIONSHORT%"), "v12.0");
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
  auto has = [](std::vector<std::string> keys) {
    for (std::string& k : keys) k = "\\Software\\Microsoft\\Office\\" + k;
    return [=](const std::string& k) { return std::ranges::count(keys, k) > 0; };
  };
  EXPECT_EQ(OfficeVersionShort(has({"11.0\\Common", "11.0\\Word", "11.0\\Excel", "12.0\\Common", "12.0\\Word",
                                    "12.0\\Excel", "14.0\\Common", "14.0\\Word"})), "12.0");
  EXPECT_EQ(OfficeVersionShort(has({"21.0\\Common", "21.0\\Word", "21.0\\Excel"})), std::nullopt);
}

// The Linux sources of the folder values, from files of a temporary home.
TEST(SystemShellFolders, XdgUserDirsMountTableAndExePath) {
  test::TempDir dir;
  auto in = [&](Env env) { return SystemShellFolders({EnvOf(std::move(env)), dir / "mounts", dir / "exe"}); };
  const std::string home = dir / "home";
  EXPECT_EQ(in({{"HOME", home}}).Value("DESKTOP"), home + "/Desktop");
  EXPECT_EQ(in({}).Value("APPDATA"), "");  // without a home, nothing below "/"
  dir.Write("cfg/user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\nXDG_DOCUMENTS_DIR=\"relative/ignored\"\n"
                                  "XDG_DOCUMENTS_DIR=\"/data/My \\\"Docs\\\"\"\nXDG_DOCUMENTS_DIRX=\"/wrong\"\n");
  SystemShellFolders f = in({{"HOME", home}, {"XDG_CONFIG_HOME", dir / "cfg"}, {"XDG_DATA_HOME", "/d"}});
  EXPECT_EQ(f.Value("DESKTOP"), home + "/Schreibtisch");
  EXPECT_EQ(f.Value("PERSONAL"), "/data/My \"Docs\"");
  EXPECT_EQ(f.Value("FIRSTCDDRIVE"), "");  // no mount table at all
  dir.Write("mounts", "/dev/sda1 / ext4 rw 0 0\n/dev/sr1 /media/My\\040Disc udf ro 0 0\n"
                      "/dev/sr0 /media/cdrom iso9660 ro 0 0\n");
  EXPECT_EQ(f.Value("FIRSTCDDRIVE"), "/media/My Disc/");
  std::filesystem::create_symlink("/opt/mirava/bin/mirava", dir / "exe");
  EXPECT_EQ(f.Value("EXEPATH"), "/opt/mirava/bin");
}

}  // namespace
}  // namespace mv
