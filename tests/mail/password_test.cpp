#include "mail/password.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <tuple>

#include "tests/support/tempdir.h"

namespace mv {
namespace {

TEST(Password, OnlyAnOwnerOnlyFileOrAVariableGivesIt) {
  test::TempDir dir;
  struct Case {
    const char* name;
    std::string content;
    mode_t mode;
    bool ok;
    std::string result;  // the password, or the reason
  };
  const std::string big(kMaxPasswordFile + 1, 'p');
  const std::vector<Case> cases = {
      {"good", "pa ss\r\nsecond line", 0600, true, "pa ss"},
      {"readonly", "pw", 0400, true, "pw"},
      {"group", "Zq9-secret", 0640, false, " may be read or written by others"},
      {"others", "Zq9-secret", 0604, false, " may be read or written by others"},
      {"empty", "\n", 0600, false, ""},
      {"big", big, 0600, false, ""}};
  for (const Case& c : cases) {
    const std::string file = dir.Write(c.name, c.content);
    ASSERT_EQ(::chmod(file.c_str(), c.mode), 0);
    std::string password = "old", error;
    EXPECT_EQ(ReadPassword(file, "", password, error), c.ok) << c.name;
    if (c.ok) {
      EXPECT_EQ(password, c.result);
    } else {
      EXPECT_TRUE(password.empty()) << c.name;
      EXPECT_NE(error.find(c.result), std::string::npos) << error;
      EXPECT_EQ(error.find("Zq9"), std::string::npos) << error;  // never the password itself
    }
  }
  ::setenv("MIRAVA_TEST_PW", "from-env", 1);
  const std::vector<std::tuple<std::string, const char*, bool, std::string>> exact = {
      {dir / "group", "", false, "Password File Unsafe: " + dir / "group" + " may be read or written by others"},
      {dir / "empty", "", false, "Password File Empty: " + dir / "empty"},
      {dir / "big", "", false, "Password File Too Long: " + dir / "big"},
      {dir / "missing", "", false, "Password File Not Found: " + dir / "missing"},
      {dir.path(), "", false, "Password File Not Readable: " + dir.path()},  // a folder
      {"", "MIRAVA_TEST_PW", true, "from-env"},
      {dir / "good", "MIRAVA_TEST_PW", true, "pa ss"},  // the file wins over the variable
      {"", "", false, "No Password Source"}};
  std::string password, error;
  for (const auto& [file, variable, ok, result] : exact) {
    EXPECT_EQ(ReadPassword(file, variable, password, error), ok) << file << variable;
    EXPECT_EQ(ok ? password : error, result);
  }
  ::unsetenv("MIRAVA_TEST_PW");
  EXPECT_FALSE(ReadPassword("", "MIRAVA_TEST_PW", password, error));
  EXPECT_EQ(error, "Password Variable Not Set: MIRAVA_TEST_PW");
}

TEST(Password, AFileOfAnotherUserIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "giving a file to another user needs root";
  test::TempDir dir;
  const std::string file = dir.Write("pw", "secret");
  ASSERT_EQ(::chmod(file.c_str(), 0600), 0);
  ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
  std::string password, error;
  EXPECT_FALSE(ReadPassword(file, "", password, error));
  EXPECT_EQ(error, "Password File Not Owned: " + file);
}

}  // namespace
}  // namespace mv
