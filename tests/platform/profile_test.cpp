#include "platform/profile.h"

#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/tempdir.h"

namespace mv {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using namespace std::string_literals;

class ProfileTest : public ::testing::Test {
 protected:
  std::string Put(const std::string& content) { return dir_.Write("a.ini", content); }
  std::string Content() const { return TempDir::Read(file_); }
  std::string Get(const std::string& section, const std::string& key) const {
    return ProfileReadString(file_, section, key, "<def>");
  }
  // Names in the directory other than the profile itself (temporary leftovers).
  std::vector<std::string> Strays() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir_.path()))
      if (e.path().filename() != "a.ini") out.push_back(e.path().filename().string());
    return out;
  }

  TempDir dir_;
  std::string file_ = dir_ / "a.ini";
};

// --- text format ---------------------------------------------------------

using ProfileFormatTest = ProfileTest;

TEST_F(ProfileFormatTest, SectionsAndKeysIgnoreCase) {
  Put("[Job]\r\nRemoteSource=abc\r\n[Ärger]\r\nk=ä\r\n[Łódź]\r\nk=1\r\n");
  EXPECT_EQ(Get("job", "remotesource"), "abc");
  EXPECT_EQ(Get("JOB", "REMOTESOURCE"), "abc");
  EXPECT_EQ(Get("ärger", "K"), "ä");
  EXPECT_EQ(Get("łÓDŹ", "k"), "1");
  EXPECT_EQ(Get("job", "remote"), "<def>");
}

TEST_F(ProfileFormatTest, TrimsBlanksAndStripsOnePairOfQuotes) {
  Put("  [ s ]  \r\n"
      "  key  =  value with  inner blanks \t\r\n"
      "dq=\"  padded  \"\r\n"
      "sq='x'\r\n"
      "twice=\"\"x\"\"\r\n"
      "mixed=\"x'\r\n"
      "lone=\"\r\n"
      "empty=\r\n");
  EXPECT_EQ(Get("s", "key"), "value with  inner blanks");
  EXPECT_EQ(Get("s", "dq"), "  padded  ");
  EXPECT_EQ(Get("s", "sq"), "x");
  EXPECT_EQ(Get("s", "twice"), "\"x\"");
  EXPECT_EQ(Get("s", "mixed"), "\"x'");
  EXPECT_EQ(Get("s", "lone"), "\"");
  EXPECT_EQ(Get("s", "empty"), "");
  EXPECT_EQ(Get(" s ", " key "), "value with  inner blanks");
}

TEST_F(ProfileFormatTest, FirstMatchWinsForDuplicates) {
  Put("[a]\r\nk=first\r\nK=second\r\n[A]\r\nk=other\r\nonly=later\r\n");
  EXPECT_EQ(Get("a", "k"), "first");
  EXPECT_EQ(Get("a", "only"), "<def>");  // the second [A] is shadowed
  ASSERT_TRUE(ProfileWriteString(file_, "a", "k", "new"));
  EXPECT_EQ(Content(), "[a]\r\nk=new\r\nK=second\r\n[A]\r\nk=other\r\nonly=later\r\n");
  EXPECT_EQ(ProfileSections(file_), (std::vector<std::string>{"a"}));
  EXPECT_EQ(ProfileKeys(file_, "A"), (std::vector<std::string>{"k"}));
}

TEST_F(ProfileFormatTest, ExistingKeyReplacedInPlaceKeepingItsSpelling) {
  Put("[S]\r\n  FooBar = old \r\nz=1\r\n");
  ASSERT_TRUE(ProfileWriteString(file_, "s", "foobar", "new"));
  EXPECT_EQ(Content(), "[S]\r\nFooBar=new\r\nz=1\r\n");
}

TEST_F(ProfileFormatTest, NewKeyGoesAfterTheLastKeyOfItsSection) {
  Put("[a]\r\nx=1\r\n; about b\r\n\r\n[b]\r\ny=2\r\n");
  ASSERT_TRUE(ProfileWriteString(file_, "A", "New", "3"));
  EXPECT_EQ(Content(), "[a]\r\nx=1\r\nNew=3\r\n; about b\r\n\r\n[b]\r\ny=2\r\n");
  ASSERT_TRUE(ProfileWriteString(file_, "b", "z", "4"));
  EXPECT_EQ(Content(), "[a]\r\nx=1\r\nNew=3\r\n; about b\r\n\r\n[b]\r\ny=2\r\nz=4\r\n");
}

TEST_F(ProfileFormatTest, NewKeyInSectionWithoutKeysGoesBelowHeader) {
  Put("[a]\r\n\r\n[b]");
  ASSERT_TRUE(ProfileWriteString(file_, "a", "k", "1"));
  ASSERT_TRUE(ProfileWriteString(file_, "b", "k", "2"));
  EXPECT_EQ(Content(), "[a]\r\nk=1\r\n\r\n[b]\r\nk=2\r\n");
}

TEST_F(ProfileFormatTest, NewSectionAppendedAtEndWithoutBlankLine) {
  Put("[a]\r\nx=1\r\n");
  ASSERT_TRUE(ProfileWriteString(file_, "New", "k", "v"));
  EXPECT_EQ(Content(), "[a]\r\nx=1\r\n[New]\r\nk=v\r\n");

  Put("[a]\nx=1");  // last line without terminator
  ASSERT_TRUE(ProfileWriteString(file_, "b", "k", "v"));
  EXPECT_EQ(Content(), "[a]\nx=1\r\n[b]\r\nk=v\r\n");
  ASSERT_TRUE(ProfileWriteString(file_, "a", "y", "2"));
  EXPECT_EQ(Content(), "[a]\nx=1\r\ny=2\r\n[b]\r\nk=v\r\n");
}

TEST_F(ProfileFormatTest, MissingFileReadsEmptyAndFirstWriteCreatesIt) {
  EXPECT_EQ(Get("a", "k"), "<def>");
  EXPECT_EQ(ProfileReadInt(file_, "a", "k", 7), 7);
  EXPECT_TRUE(ProfileSections(file_).empty());
  EXPECT_TRUE(ProfileDeleteKey(file_, "a", "k"));
  EXPECT_TRUE(ProfileEraseSection(file_, "a"));
  EXPECT_FALSE(fs::exists(file_));  // nothing to delete creates nothing
  ASSERT_TRUE(ProfileWriteString(file_, "job", "description", "Nightly"));
  EXPECT_EQ(Content(), "[job]\r\ndescription=Nightly\r\n");
  EXPECT_FALSE(ProfileWriteString(dir_ / "no/such/dir.ini", "a", "k", "v"));
}

TEST_F(ProfileFormatTest, EraseSectionRemovesAllOfItAndNothingElse) {
  Put("; top\r\n[a]\r\nx=1\r\n[B]\r\ny=2\r\n; inside b\r\n\r\n[c]\r\nz=3\r\n[b]\r\nw=4\r\n");
  ASSERT_TRUE(ProfileEraseSection(file_, "b"));
  EXPECT_EQ(Content(), "; top\r\n[a]\r\nx=1\r\n[c]\r\nz=3\r\n");
  EXPECT_TRUE(ProfileEraseSection(file_, "missing"));
  EXPECT_EQ(Content(), "; top\r\n[a]\r\nx=1\r\n[c]\r\nz=3\r\n");
}

TEST_F(ProfileFormatTest, DeletingLastKeyKeepsHeader) {
  Put("[a]\r\nk=1\r\n[b]\r\nj=2\r\n");
  ASSERT_TRUE(ProfileDeleteKey(file_, "A", "K"));
  EXPECT_EQ(Content(), "[a]\r\n[b]\r\nj=2\r\n");
  EXPECT_EQ(ProfileSections(file_), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(ProfileDeleteKey(file_, "a", "k"));  // already gone
}

TEST_F(ProfileFormatTest, DeleteRemovesDuplicatesSoNoOldValueResurfaces) {
  Put("[a]\r\nk=1\r\nx=2\r\nk=3\r\n");
  ASSERT_TRUE(ProfileDeleteKey(file_, "a", "k"));
  EXPECT_EQ(Content(), "[a]\r\nx=2\r\n");
  EXPECT_EQ(Get("a", "k"), "<def>");
}

TEST_F(ProfileFormatTest, ValuesCutAt2047Characters) {
  std::string longv(3000, 'x');
  longv[2046] = 'L';
  longv[2047] = 'C';
  ASSERT_TRUE(ProfileWriteString(file_, "a", "k", longv));
  std::string got = Get("a", "k");
  EXPECT_EQ(got.size(), kProfileValueMax);
  EXPECT_EQ(got.back(), 'L');
  EXPECT_NE(Content().find(longv), std::string::npos);  // the file keeps it whole
}

TEST_F(ProfileFormatTest, ReadsCrLfLfAndLoneCr) {
  for (const char* text : {"[a]\r\nx=1\r\ny=2\r\n", "[a]\nx=1\ny=2\n", "[a]\rx=1\ry=2\r", "[a]\r\nx=1\ry=2"}) {
    SCOPED_TRACE(::testing::PrintToString(std::string(text)));
    Put(text);
    EXPECT_EQ(Get("a", "x"), "1");
    EXPECT_EQ(Get("a", "y"), "2");
    EXPECT_EQ(ProfileKeys(file_, "a"), (std::vector<std::string>{"x", "y"}));
  }
}

TEST_F(ProfileFormatTest, CommentsAndUnrelatedLinesKeptByteForByte) {
  const std::string before =
      "; written by hand\n"
      "stray line before sections\n"
      "[a]   \t\n"
      "  ; k=commented out\n"
      "x = 1   \n"
      "not a key\r"
      "\n"
      "[b]\n"
      "y=2\n";
  Put(before);
  EXPECT_EQ(Get("a", "k"), "<def>");
  EXPECT_EQ(Get("a", "; k"), "<def>");
  EXPECT_EQ(Get("a", "not a key"), "<def>");
  EXPECT_EQ(ProfileKeys(file_, "a"), (std::vector<std::string>{"x"}));
  ASSERT_TRUE(ProfileWriteString(file_, "b", "y", "3"));
  EXPECT_EQ(Content(),
            "; written by hand\nstray line before sections\n[a]   \t\n  ; k=commented out\n"
            "x = 1   \nnot a key\r\n[b]\ny=3\r\n");
}

TEST_F(ProfileFormatTest, ValueWithLineBreakIsCutAtTheFirst) {
  ASSERT_TRUE(ProfileWriteString(file_, "a", "k", "one\rtwo\nthree"));
  ASSERT_TRUE(ProfileWriteString(file_, "a", "j", "x\ny"));
  EXPECT_EQ(Content(), "[a]\r\nk=one\r\nj=x\r\n");
}

TEST_F(ProfileFormatTest, OuterBlanksAndQuotesSurviveAWriteReadCycle) {
  for (const std::string v : {"  lead", "trail\t", "\"quoted\"", "'single'", " \"both\" ", "\"", "a\"b"}) {
    SCOPED_TRACE(v);
    ASSERT_TRUE(ProfileWriteString(file_, "a", "k", v));
    EXPECT_EQ(Get("a", "k"), v);
  }
  ASSERT_TRUE(ProfileWriteString(file_, "a", "k", "plain value"));
  EXPECT_EQ(Content(), "[a]\r\nk=plain value\r\n");
}

TEST_F(ProfileFormatTest, NamesThatWouldBreakTheFileAreRefused) {
  Put("[a]\r\nk=1\r\n");
  EXPECT_FALSE(ProfileWriteString(file_, "", "k", "v"));
  EXPECT_FALSE(ProfileWriteString(file_, "a]b", "k", "v"));
  EXPECT_FALSE(ProfileWriteString(file_, "a\nb", "k", "v"));
  EXPECT_FALSE(ProfileWriteString(file_, "a", "", "v"));
  EXPECT_FALSE(ProfileWriteString(file_, "a", "k=j", "v"));
  EXPECT_FALSE(ProfileWriteString(file_, "a", ";k", "v"));
  EXPECT_FALSE(ProfileWriteString(file_, "a", "[k", "v"));
  EXPECT_FALSE(ProfileWriteString(file_, "a", "k\r", "v"));
  EXPECT_EQ(Content(), "[a]\r\nk=1\r\n");
}

TEST_F(ProfileFormatTest, ListsSectionsAndKeysInFileOrder) {
  Put("[Zeta]\r\nb=1\r\na=2\r\n=nameless\r\n[alpha]\r\nB=3\r\n");
  EXPECT_EQ(ProfileSections(file_), (std::vector<std::string>{"Zeta", "alpha"}));
  EXPECT_EQ(ProfileKeys(file_, "zeta"), (std::vector<std::string>{"b", "a"}));
  EXPECT_EQ(ProfileKeys(file_, "ALPHA"), (std::vector<std::string>{"B"}));
  EXPECT_TRUE(ProfileKeys(file_, "none").empty());
}

// --- numbers -------------------------------------------------------------

using ProfileNumberTest = ProfileTest;

TEST_F(ProfileNumberTest, IntegerForms) {
  Put("[n]\r\na=42\r\nb=-17\r\nc=+5\r\nd=$1F\r\ne=0x1f\r\nf=0XFF\r\ng=$FFFFFFFF\r\n"
      "h=2147483647\r\ni=-2147483648\r\nj=\"12\"\r\nk=007\r\nl=-$10\r\n");
  const std::vector<std::pair<const char*, int32_t>> want = {
      {"a", 42}, {"b", -17}, {"c", 5}, {"d", 31}, {"e", 31}, {"f", 255}, {"g", -1},
      {"h", INT32_MAX}, {"i", INT32_MIN}, {"j", 12}, {"k", 7}, {"l", -16}};
  for (const auto& [key, value] : want) EXPECT_EQ(ProfileReadInt(file_, "n", key, 99), value) << key;
}

TEST_F(ProfileNumberTest, MalformedOrOutOfRangeIntegerGivesDefault) {
  Put("[n]\r\na=\r\nb=abc\r\nc=12abc\r\nd=1 2\r\ne=$\r\nf=0x\r\ng=$G1\r\nh=1.5\r\n"
      "i=2147483648\r\nj=-2147483649\r\nk=$100000000\r\nl=--1\r\nm=x10\r\n");
  for (const char* key : {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m", "missing"})
    EXPECT_EQ(ProfileReadInt(file_, "n", key, 99), 99) << key;
}

TEST_F(ProfileNumberTest, Int64FormsAndLimits) {
  Put("[n]\r\na=9223372036854775807\r\nb=-9223372036854775808\r\nc=9223372036854775808\r\n"
      "d=$7FFFFFFFFFFFFFFF\r\ne=0x100000000\r\nf=12x\r\ng=4294967296\r\n");
  EXPECT_EQ(ProfileReadInt64(file_, "n", "a", 1), INT64_MAX);
  EXPECT_EQ(ProfileReadInt64(file_, "n", "b", 1), INT64_MIN);
  EXPECT_EQ(ProfileReadInt64(file_, "n", "c", 1), 1);
  EXPECT_EQ(ProfileReadInt64(file_, "n", "d", 1), INT64_MAX);
  EXPECT_EQ(ProfileReadInt64(file_, "n", "e", 1), int64_t{1} << 32);
  EXPECT_EQ(ProfileReadInt64(file_, "n", "f", 1), 1);
  EXPECT_EQ(ProfileReadInt64(file_, "n", "g", 1), int64_t{1} << 32);
  EXPECT_EQ(ProfileReadInt(file_, "n", "g", 1), 1);  // too wide for 32 bits
}

TEST_F(ProfileNumberTest, IntegersWrittenInDecimal) {
  ASSERT_TRUE(ProfileWriteInt(file_, "n", "a", -5));
  ASSERT_TRUE(ProfileWriteInt(file_, "n", "b", INT64_MIN));
  EXPECT_EQ(Content(), "[n]\r\na=-5\r\nb=-9223372036854775808\r\n");
  EXPECT_EQ(ProfileReadInt64(file_, "n", "b", 0), INT64_MIN);
}

TEST_F(ProfileNumberTest, DoubleAcceptsPointOrComma) {
  Put("[d]\r\na=45123.5625\r\nb=45123,5625\r\nc=-1.5e3\r\nd=+.25\r\ne=7\r\n");
  EXPECT_DOUBLE_EQ(ProfileReadDouble(file_, "d", "a", 0), 45123.5625);
  EXPECT_DOUBLE_EQ(ProfileReadDouble(file_, "d", "b", 0), 45123.5625);
  EXPECT_DOUBLE_EQ(ProfileReadDouble(file_, "d", "c", 0), -1500);
  EXPECT_DOUBLE_EQ(ProfileReadDouble(file_, "d", "d", 0), 0.25);
  EXPECT_DOUBLE_EQ(ProfileReadDouble(file_, "d", "e", 0), 7);
}

TEST_F(ProfileNumberTest, BadDoubleGivesDefault) {
  Put("[d]\r\na=\r\nb=inf\r\nc=nan\r\nd=-infinity\r\ne=1e400\r\nf=1.5x\r\ng=1,2.3\r\n"
      "h=0x1p3\r\ni=1.5 \"\r\nj=.\r\nk=1e\r\n");
  for (const char* key : {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "missing"})
    EXPECT_EQ(ProfileReadDouble(file_, "d", key, -3.5), -3.5) << key;
}

TEST_F(ProfileNumberTest, DoubleWrittenWithFifteenSignificantDigits) {
  ASSERT_TRUE(ProfileWriteDouble(file_, "d", "a", 45123.5625));
  ASSERT_TRUE(ProfileWriteDouble(file_, "d", "b", 1.0 / 3.0));
  ASSERT_TRUE(ProfileWriteDouble(file_, "d", "c", 0));
  ASSERT_TRUE(ProfileWriteDouble(file_, "d", "e", -2.5));
  EXPECT_EQ(Content(), "[d]\r\na=45123.5625\r\nb=0.333333333333333\r\nc=0\r\ne=-2.5\r\n");
  EXPECT_DOUBLE_EQ(ProfileReadDouble(file_, "d", "b", 0), 0.333333333333333);
  EXPECT_FALSE(ProfileWriteDouble(file_, "d", "f", NAN));
  EXPECT_FALSE(ProfileWriteDouble(file_, "d", "f", INFINITY));
  EXPECT_EQ(Get("d", "f"), "<def>");
}

TEST_F(ProfileNumberTest, DoubleWrittenWithTheLocaleSeparator) {
  std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  const char* found = nullptr;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"})
    if (std::setlocale(LC_NUMERIC, name) != nullptr) {
      found = name;
      break;
    }
  if (found == nullptr) GTEST_SKIP() << "no locale with a decimal comma installed";
  bool ok = ProfileWriteDouble(file_, "d", "a", 45123.5625);
  double back = ProfileReadDouble(file_, "d", "a", 0);
  std::setlocale(LC_NUMERIC, saved.c_str());
  ASSERT_TRUE(ok);
  EXPECT_EQ(Content(), "[d]\r\na=45123,5625\r\n");
  EXPECT_DOUBLE_EQ(back, 45123.5625);
}

// --- damaged and hostile files ---------------------------------------------

using ProfileRobustnessTest = ProfileTest;

TEST_F(ProfileRobustnessTest, BinaryBytesAndNulsDoNotDisturbTheRest) {
  std::string junk;
  for (int i = 0; i < 256; ++i) junk += static_cast<char>(i);
  std::string text = junk + "\r\n[a]\r\nk=before\0after\r\n"s + junk + "\r\n[b]\r\nj=2\r\n";
  Put(text);
  EXPECT_EQ(Get("a", "k"), "before\0after"s);
  EXPECT_EQ(Get("b", "j"), "2");
  ASSERT_TRUE(ProfileWriteString(file_, "b", "j", "3"));
  std::string want = text;
  want.replace(want.size() - 3, 1, "3");
  EXPECT_EQ(Content(), want);
}

TEST_F(ProfileRobustnessTest, MegabyteLineAndHugeValue) {
  std::string big(1 << 20, 'q');
  std::string value(100000, 'v');
  Put("[a]\r\n" + big + "\r\nhuge=" + value + "\r\nafter=1\r\n" + big + "=x\r\n");
  EXPECT_EQ(Get("a", "huge"), std::string(kProfileValueMax, 'v'));
  EXPECT_EQ(Get("a", "after"), "1");
  EXPECT_EQ(Get("a", big), "x");
  ASSERT_TRUE(ProfileWriteString(file_, "a", "after", "2"));
  EXPECT_EQ(Content(), "[a]\r\n" + big + "\r\nhuge=" + value + "\r\nafter=2\r\n" + big + "=x\r\n");
}

TEST_F(ProfileRobustnessTest, LargeFileIsHandledInOnePass) {
  // 700,000 short lines; anything worse than linear would not finish.
  std::string text = "[a]\n";
  for (int i = 0; i < 700000; ++i) text += "k" + std::to_string(i) + "=" + std::to_string(i) + "\n";
  text += "[end]\n";
  Put(text);
  EXPECT_EQ(Get("a", "k699999"), "699999");
  ASSERT_TRUE(ProfileWriteString(file_, "a", "new", "1"));
  EXPECT_EQ(Get("a", "new"), "1");
  EXPECT_EQ(ProfileKeys(file_, "a").size(), 700001u);
  std::string lines(10 << 20, '\r');
  Put(lines);
  EXPECT_EQ(Get("a", "k"), "<def>");
  EXPECT_TRUE(ProfileSections(file_).empty());
}

TEST_F(ProfileRobustnessTest, OversizedFileReadsAsDefaultsAndIsNeverRewritten) {
  std::string text = "[a]\r\nk=1\r\n" + std::string(kProfileFileMax, ';');
  Put(text);
  EXPECT_EQ(Get("a", "k"), "<def>");
  EXPECT_FALSE(ProfileWriteString(file_, "a", "k", "2"));
  EXPECT_FALSE(ProfileEraseSection(file_, "a"));
  EXPECT_TRUE(Content() == text);
  EXPECT_TRUE(Strays().empty());
}

TEST_F(ProfileRobustnessTest, DirectoryInsteadOfFile) {
  fs::create_directory(file_);
  EXPECT_EQ(Get("a", "k"), "<def>");
  EXPECT_FALSE(ProfileWriteString(file_, "a", "k", "v"));
  EXPECT_TRUE(fs::is_directory(file_));
}

// --- safe replacement ------------------------------------------------------

using ProfileReplaceTest = ProfileTest;

// Kills the child on every path out of the test.
struct ChildGuard {
  pid_t pid = -1;
  ~ChildGuard() {
    if (pid > 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }
};

TEST_F(ProfileReplaceTest, UnwritableDirectoryFailsAndKeepsTheOldFile) {
  const std::string sub = dir_ / "ro";
  fs::create_directory(sub);
  const std::string file = sub + "/p.ini";
  const std::string old = "[a]\r\nk=old\r\n";
  dir_.Write("ro/p.ini", old);
  ::chmod(sub.c_str(), 0555);
  ::chmod(file.c_str(), 0644);

  bool written = true;
  if (::geteuid() != 0) {
    written = ProfileWriteString(file, "a", "k", "new");
  } else {
    // Root writes anywhere: try it as an unprivileged user instead.
    ::chmod(dir_.path().c_str(), 0755);
    ChildGuard child;
    child.pid = ::fork();
    ASSERT_GE(child.pid, 0);
    if (child.pid == 0) {
      if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
      ::_exit(ProfileWriteString(file, "a", "k", "new") ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child.pid, &status, 0), child.pid);
    child.pid = -1;
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_NE(WEXITSTATUS(status), 3) << "could not drop privileges";
    written = WEXITSTATUS(status) == 1;
  }
  EXPECT_FALSE(written);
  EXPECT_EQ(TempDir::Read(file), old);
  EXPECT_EQ(std::distance(fs::directory_iterator(sub), fs::directory_iterator()), 1);
}

TEST_F(ProfileReplaceTest, KeepsPermissionBitsAndLeavesNoTemporaryFile) {
  Put("[a]\r\nk=1\r\n");
  ASSERT_EQ(::chmod(file_.c_str(), 0640), 0);
  ASSERT_TRUE(ProfileWriteString(file_, "a", "k", "2"));
  ASSERT_TRUE(ProfileWriteString(file_, "b", "k", "3"));
  struct stat st {};
  ASSERT_EQ(::stat(file_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_TRUE(Strays().empty());
}

TEST_F(ProfileReplaceTest, NewFileFollowsTheUmask) {
  mode_t saved = ::umask(027);
  bool ok = ProfileWriteString(file_, "a", "k", "1");
  ::umask(saved);
  ASSERT_TRUE(ok);
  struct stat st {};
  ASSERT_EQ(::stat(file_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(ProfileReplaceTest, WritesThroughASymlinkToItsTarget) {
  const std::string target = dir_.Write("real.ini", "[a]\r\nk=1\r\n");
  const std::string link = dir_ / "link.ini";
  fs::create_symlink(target, link);
  ASSERT_TRUE(ProfileWriteString(link, "a", "k", "2"));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(TempDir::Read(target), "[a]\r\nk=2\r\n");
}

TEST_F(ProfileReplaceTest, ConcurrentWritersLoseNoUpdate) {
  constexpr int kThreads = 4, kKeys = 25;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([this, t] {
      for (int i = 0; i < kKeys; ++i)
        ProfileWriteInt(file_, "s" + std::to_string(t % 2), "t" + std::to_string(t) + "_" + std::to_string(i),
                        t * 1000 + i);
    });
  for (auto& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t)
    for (int i = 0; i < kKeys; ++i)
      EXPECT_EQ(ProfileReadInt(file_, "s" + std::to_string(t % 2),
                               "t" + std::to_string(t) + "_" + std::to_string(i), -1),
                t * 1000 + i);
  EXPECT_TRUE(Strays().empty());
}

// Version i of the file the writer child produces: one key whose value names i
// and is long enough for a write to take a while.
std::string WriterValue(int i) {
  return std::to_string(i) + ":" + std::string(20000 + (i * 7919) % 180000, static_cast<char>('a' + i % 26));
}
std::string WriterFile(int i) { return "; kept\r\n[s]\r\nv=" + WriterValue(i) + "\r\n[t]\r\nx=1\r\n"; }

TEST_F(ProfileReplaceTest, KillDuringWriteLeavesAnOldOrNewFileWhole) {
  for (int round = 0; round < 30; ++round) {
    SCOPED_TRACE(round);
    Put(WriterFile(0));
    int pipe_fds[2];
    ASSERT_EQ(::pipe(pipe_fds), 0);
    ChildGuard child;
    child.pid = ::fork();
    ASSERT_GE(child.pid, 0);
    if (child.pid == 0) {
      ::close(pipe_fds[0]);
      for (int i = 1;; ++i) {
        if (!ProfileWriteString(file_, "s", "v", WriterValue(i))) ::_exit(2);
        char tick = 1;
        if (::write(pipe_fds[1], &tick, 1) != 1) ::_exit(3);
      }
    }
    ::close(pipe_fds[1]);
    // Kill after a varying number of completed writes: the child is then at
    // some point inside the next one.
    const int writes = 1 + round % 7;
    int seen = 0;
    while (seen < writes) {
      char tick;
      ssize_t n = ::read(pipe_fds[0], &tick, 1);
      if (n <= 0) break;
      ++seen;
    }
    ::kill(child.pid, SIGKILL);
    ::waitpid(child.pid, nullptr, 0);
    child.pid = -1;
    ::close(pipe_fds[0]);
    ASSERT_EQ(seen, writes) << "writer stopped early";

    const std::string got = Content();
    ASSERT_TRUE(got.rfind("; kept\r\n[s]\r\nv=", 0) == 0) << "damaged file of size " << got.size();
    const int version = std::stoi(got.substr(got.find("v=") + 2));
    EXPECT_GE(version, writes);
    EXPECT_TRUE(got == WriterFile(version)) << "file is not a complete version " << version;
    // Leftover temporaries of the killed writer do not get in the way.
    ASSERT_TRUE(ProfileWriteString(file_, "s", "v", "done"));
    EXPECT_EQ(Get("s", "v"), "done");
  }
}

}  // namespace
}  // namespace mv
