#include "platform/profile.h"

#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/tempdir.h"

namespace mv {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using namespace std::string_literals;
using Names = std::vector<std::string>;

class ProfileTest : public ::testing::Test {
 protected:
  std::string Put(const std::string& content) { return dir_.Write("a.ini", content); }
  std::string Content() const { return TempDir::Read(file_); }
  std::string Get(const std::string& section, const std::string& key) const {
    return ProfileReadString(file_, section, key, "<def>");
  }
  // Temporary leftovers next to the profile.
  Names Strays() const {
    Names out;
    for (const auto& e : fs::directory_iterator(dir_.path()))
      if (e.path().filename() != "a.ini") out.push_back(e.path().filename().string());
    return out;
  }

  TempDir dir_;
  std::string file_ = dir_ / "a.ini";
};

// A forked child, killed and reaped on every path out of the test.
struct Child {
  pid_t pid = ::fork();
  ~Child() { Reap(SIGKILL); }
  // Sends sig (0: none) and reaps; the exit code, or -1 when it did not exit by itself.
  int Reap(int sig) {
    int status = 0;
    if (pid <= 0) return -1;
    if (sig != 0) ::kill(pid, sig);
    ::waitpid(std::exchange(pid, -1), &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

TEST_F(ProfileTest, ReadRulesCaseTrimQuotesFirstMatchCommentsLineEndsAndFileOrder) {
  Put("[Job]\r\nRemoteSource=abc\r\n[Ärger]\r\nk=ä\r\n[Łódź]\r\nk=1\r\n"
      "  [ s ]  \r\n  key  =  value with  inner blanks \t\r\ndq=\"  padded  \"\r\nsq='x'\r\n"
      "twice=\"\"x\"\"\r\nmixed=\"x'\r\nlone=\"\r\nempty=\r\n"
      "[d]\r\nk=first\r\nK=second\r\na=1\r\n=nameless\r\n[D]\r\nk=other\r\nonly=later\r\n"
      "[c]\r\n  ; k=commented out\r\nnot a key\r\n");
  const std::vector<std::array<const char*, 3>> rows = {
      {"JOB", "REMOTESOURCE", "abc"}, {"job", "remote", "<def>"}, {"ärger", "K", "ä"}, {"łÓDŹ", "k", "1"},
      {" s ", " key ", "value with  inner blanks"}, {"s", "dq", "  padded  "}, {"s", "sq", "x"},
      {"s", "twice", "\"x\""}, {"s", "mixed", "\"x'"}, {"s", "lone", "\""}, {"s", "empty", ""},
      {"d", "k", "first"}, {"d", "only", "<def>"}, {"c", "k", "<def>"}, {"c", "; k", "<def>"},
      {"c", "not a key", "<def>"}};
  for (const auto& [section, key, want] : rows) EXPECT_EQ(Get(section, key), want) << section << "/" << key;
  EXPECT_EQ(ProfileSections(file_), (Names{"Job", "Ärger", "Łódź", "s", "d", "c"}));
  EXPECT_EQ(ProfileKeys(file_, "D"), (Names{"k", "a"}));
  EXPECT_EQ(ProfileKeys(file_, "c"), Names{});
  for (const char* text : {"[a]\r\nx=1\r\ny=2\r\n", "[a]\nx=1\ny=2\n", "[a]\rx=1\ry=2\r", "[a]\r\nx=1\ry=2"}) {
    SCOPED_TRACE(::testing::PrintToString(std::string(text)));
    Put(text);
    EXPECT_EQ(ProfileKeys(file_, "a"), (Names{"x", "y"}));
    EXPECT_EQ(Get("a", "y"), "2");
  }
}

// Every edit changes only its own lines; the rest stays byte for byte.
TEST_F(ProfileTest, EditsTouchOnlyTheirLines) {
  enum Op { W, D, E };
  const std::string two = "[a]\r\nx=1\r\n; b\r\n\r\n[b]\r\ny=2\r\n";
  struct Row { std::string before; Op op; const char *section, *key, *value; std::string after; };
  const std::vector<Row> rows = {
      {"[a]\r\nk=1\r\nK=2\r\n[A]\r\nk=3\r\n", W, "a", "k", "new", "[a]\r\nk=new\r\nK=2\r\n[A]\r\nk=3\r\n"},
      {"[S]\r\n  FooBar = old \r\nz=1\r\n", W, "s", "foobar", "new", "[S]\r\nFooBar=new\r\nz=1\r\n"},
      {two, W, "A", "New", "3", "[a]\r\nx=1\r\nNew=3\r\n; b\r\n\r\n[b]\r\ny=2\r\n"},
      {two, W, "b", "z", "4", two + "z=4\r\n"},
      {"[a]\r\n\r\n[b]", W, "a", "k", "1", "[a]\r\nk=1\r\n\r\n[b]"},
      {"[a]\r\n\r\n[b]", W, "b", "k", "2", "[a]\r\n\r\n[b]\r\nk=2\r\n"},
      {"[a]\r\nx=1\r\n", W, "New", "k", "v", "[a]\r\nx=1\r\n[New]\r\nk=v\r\n"},
      {"[a]\nx=1", W, "b", "k", "v", "[a]\nx=1\r\n[b]\r\nk=v\r\n"},
      {"[a]\nx=1\r\n[b]\r\nk=v\r\n", W, "a", "y", "2", "[a]\nx=1\r\ny=2\r\n[b]\r\nk=v\r\n"},
      {"", W, "a", "k", "one\rtwo\nthree", "[a]\r\nk=one\r\n"},
      {"; hand\nstray\n[a]   \t\n  ; k=c\nx = 1   \nnot a key\r\n[b]\ny=2\n", W, "b", "y", "3",
       "; hand\nstray\n[a]   \t\n  ; k=c\nx = 1   \nnot a key\r\n[b]\ny=3\r\n"},
      {"; top\r\n[a]\r\nx=1\r\n[B]\r\ny=2\r\n; in b\r\n\r\n[c]\r\nz=3\r\n[b]\r\nw=4\r\n", E, "b", "", "",
       "; top\r\n[a]\r\nx=1\r\n[c]\r\nz=3\r\n"},
      {"[a]\r\nx=1\r\n", E, "missing", "", "", "[a]\r\nx=1\r\n"},
      {"[a]\r\nk=1\r\n[b]\r\nj=2\r\n", D, "A", "K", "", "[a]\r\n[b]\r\nj=2\r\n"},
      {"[a]\r\nk=1\r\nx=2\r\nk=3\r\n", D, "a", "k", "", "[a]\r\nx=2\r\n"},  // no old value resurfaces
      {"[a]\r\n", D, "a", "k", "", "[a]\r\n"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(::testing::PrintToString(r.before) + " " + r.section + "/" + r.key);
    Put(r.before);
    ASSERT_TRUE(r.op == W ? ProfileWriteString(file_, r.section, r.key, r.value)
                : r.op == D ? ProfileDeleteKey(file_, r.section, r.key)
                            : ProfileEraseSection(file_, r.section));
    EXPECT_EQ(Content(), r.after);
  }
}

TEST_F(ProfileTest, MissingFileReadsEmptyAndFirstWriteCreatesIt) {
  EXPECT_EQ(ProfileReadInt(file_, "a", "k", 7), 7);
  EXPECT_TRUE(ProfileSections(file_).empty());
  EXPECT_TRUE(ProfileDeleteKey(file_, "a", "k"));
  EXPECT_TRUE(ProfileEraseSection(file_, "a"));
  EXPECT_FALSE(fs::exists(file_));  // nothing to delete creates nothing
  ASSERT_TRUE(ProfileWriteString(file_, "job", "description", "Nightly"));
  EXPECT_EQ(Content(), "[job]\r\ndescription=Nightly\r\n");
  EXPECT_FALSE(ProfileWriteString(dir_ / "no/such/dir.ini", "a", "k", "v"));
}

TEST_F(ProfileTest, WrittenValuesReadBackWholeUpTo2047AndBadNamesAreRefused) {
  for (const std::string v : {"  lead", "trail\t", "\"quoted\"", "'single'", " \"both\" ", "\"", "a\"b"}) {
    ASSERT_TRUE(ProfileWriteString(file_, "a", "k", v));
    EXPECT_EQ(Get("a", "k"), v);
  }
  std::string longv(3000, 'x');
  longv[2046] = 'L';
  ASSERT_TRUE(ProfileWriteString(file_, "a", "k", longv));
  EXPECT_EQ(Get("a", "k"), longv.substr(0, kProfileValueMax));
  EXPECT_EQ(Content(), "[a]\r\nk=" + longv + "\r\n");  // the file keeps it whole
  for (const auto& [section, key] : std::vector<std::pair<const char*, const char*>>{
           {"", "k"}, {"a]b", "k"}, {"a\nb", "k"}, {"a", ""}, {"a", "k=j"}, {"a", ";k"}, {"a", "[k"},
           {"a", "k\r"}})
    EXPECT_FALSE(ProfileWriteString(file_, section, key, "v")) << section << "/" << key;
  EXPECT_EQ(Content(), "[a]\r\nk=" + longv + "\r\n");
}

TEST_F(ProfileTest, NumbersInEveryFormAndMalformedOnesGiveTheDefault) {
  Put("[n]\r\na=42\r\nb=-17\r\nc=+5\r\nd=$1F\r\ne=0x1f\r\nf=0XFF\r\ng=$FFFFFFFF\r\nh=2147483647\r\n"
      "i=-2147483648\r\nj=\"12\"\r\nk=007\r\nl=-$10\r\n"
      "[bad]\r\na=\r\nb=abc\r\nc=12abc\r\nd=1 2\r\ne=$\r\nf=0x\r\ng=$G1\r\nh=1.5\r\ni=2147483648\r\n"
      "j=-2147483649\r\nk=$100000000\r\nl=--1\r\nm=x10\r\nn=inf\r\no=nan\r\np=-infinity\r\nq=1e400\r\n"
      "r=1.5x\r\ns=1,2.3\r\nt=0x1p3\r\nu=1.5 \"\r\nv=.\r\nw=1e\r\n"
      "[w]\r\na=9223372036854775807\r\nb=-9223372036854775808\r\nc=9223372036854775808\r\n"
      "d=$7FFFFFFFFFFFFFFF\r\ne=0x100000000\r\nf=12x\r\ng=4294967296\r\n"
      "[d]\r\na=45123.5625\r\nb=45123,5625\r\nc=-1.5e3\r\nd=+.25\r\ne=7\r\n");
  const int32_t ints[] = {42, -17, 5, 31, 31, 255, -1, INT32_MAX, INT32_MIN, 12, 7, -16};
  const int64_t wide[] = {INT64_MAX, INT64_MIN, 1, INT64_MAX, int64_t{1} << 32, 1, int64_t{1} << 32};
  const double doubles[] = {45123.5625, 45123.5625, -1500, 0.25, 7};
  auto key = [](size_t i) { return std::string(1, static_cast<char>('a' + i)); };
  for (size_t i = 0; i < std::size(ints); ++i) EXPECT_EQ(ProfileReadInt(file_, "n", key(i), 99), ints[i]) << i;
  for (size_t i = 0; i < std::size(wide); ++i) EXPECT_EQ(ProfileReadInt64(file_, "w", key(i), 1), wide[i]) << i;
  for (size_t i = 0; i < std::size(doubles); ++i)
    EXPECT_EQ(ProfileReadDouble(file_, "d", key(i), 0), doubles[i]) << i;
  for (size_t i = 0; i < 24; ++i) {  // "x" is missing
    EXPECT_EQ(ProfileReadInt(file_, "bad", key(i), 99), 99) << key(i);
    if (i < 7 || i > 9) {  // "h" to "j" are numbers, only not 32-bit integers
      EXPECT_EQ(ProfileReadDouble(file_, "bad", key(i), -3.5), -3.5) << key(i);
    }
  }
  EXPECT_EQ(ProfileReadInt(file_, "w", "g", 1), 1);  // too wide for 32 bits
}

TEST_F(ProfileTest, NumbersWrittenInDecimalAndFifteenDigits) {
  ASSERT_TRUE(ProfileWriteInt(file_, "n", "i", INT64_MIN));
  ASSERT_TRUE(ProfileWriteDouble(file_, "n", "a", 45123.5625));
  ASSERT_TRUE(ProfileWriteDouble(file_, "n", "b", 1.0 / 3.0));
  ASSERT_TRUE(ProfileWriteDouble(file_, "n", "c", -2.5));
  EXPECT_FALSE(ProfileWriteDouble(file_, "n", "f", NAN));
  EXPECT_FALSE(ProfileWriteDouble(file_, "n", "f", INFINITY));
  EXPECT_EQ(Content(), "[n]\r\ni=-9223372036854775808\r\na=45123.5625\r\nb=0.333333333333333\r\nc=-2.5\r\n");
  EXPECT_EQ(ProfileReadInt64(file_, "n", "i", 0), INT64_MIN);
}

TEST_F(ProfileTest, DoubleWrittenWithTheLocaleSeparator) {
  std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8"))
    GTEST_SKIP() << "no locale with a decimal comma installed";
  bool ok = ProfileWriteDouble(file_, "d", "a", 45123.5625);
  double back = ProfileReadDouble(file_, "d", "a", 0);
  std::setlocale(LC_NUMERIC, saved.c_str());
  ASSERT_TRUE(ok);
  EXPECT_EQ(Content(), "[d]\r\na=45123,5625\r\n");
  EXPECT_DOUBLE_EQ(back, 45123.5625);
}

TEST_F(ProfileTest, BinaryBytesMegabyteLinesAndManyLinesDoNotDisturbTheRest) {
  std::string junk;
  for (int i = 0; i < 256; ++i) junk += static_cast<char>(i);
  std::string text = junk + "\r\n[a]\r\nk=before\0after\r\n"s + junk + "\r\n[b]\r\nj=2\r\n";
  Put(text);
  EXPECT_EQ(Get("a", "k"), "before\0after"s);
  ASSERT_TRUE(ProfileWriteString(file_, "b", "j", "3"));
  EXPECT_EQ(Content(), text.replace(text.size() - 3, 1, "3"));
  std::string big(1 << 20, 'q'), value(100000, 'v');
  Put("[a]\r\n" + big + "\r\nhuge=" + value + "\r\nafter=1\r\n" + big + "=x\r\n");
  EXPECT_EQ(Get("a", "huge"), std::string(kProfileValueMax, 'v'));
  EXPECT_EQ(Get("a", big), "x");
  ASSERT_TRUE(ProfileWriteString(file_, "a", "after", "2"));
  EXPECT_EQ(Content(), "[a]\r\n" + big + "\r\nhuge=" + value + "\r\nafter=2\r\n" + big + "=x\r\n");
  std::string many = "[a]\n";  // 700,000 lines: anything worse than linear would not finish
  for (int i = 0; i < 700000; ++i) many += "k" + std::to_string(i) + "=" + std::to_string(i) + "\n";
  Put(many + "[end]\n");
  ASSERT_TRUE(ProfileWriteString(file_, "a", "new", "1"));
  EXPECT_EQ(Get("a", "k699999"), "699999");
  EXPECT_EQ(ProfileKeys(file_, "a").size(), 700001u);
  Put(std::string(10 << 20, '\r'));
  EXPECT_TRUE(ProfileSections(file_).empty());
}

TEST_F(ProfileTest, OversizedFileOrDirectoryReadsAsDefaultsAndIsNeverRewritten) {
  std::string text = "[a]\r\nk=1\r\n" + std::string(kProfileFileMax, ';');
  Put(text);
  EXPECT_EQ(Get("a", "k"), "<def>");
  EXPECT_FALSE(ProfileWriteString(file_, "a", "k", "2"));
  EXPECT_FALSE(ProfileEraseSection(file_, "a"));
  EXPECT_TRUE(Content() == text);
  EXPECT_TRUE(Strays().empty());
  const std::string sub = dir_ / "d.ini";
  fs::create_directory(sub);
  EXPECT_EQ(ProfileReadString(sub, "a", "k", "<def>"), "<def>");
  EXPECT_FALSE(ProfileWriteString(sub, "a", "k", "v"));
  EXPECT_TRUE(fs::is_directory(sub));
}

TEST_F(ProfileTest, UnwritableDirectoryFailsAndKeepsTheOldFile) {
  const std::string sub = dir_ / "ro", file = sub + "/p.ini", old = "[a]\r\nk=old\r\n";
  dir_.Write("ro/p.ini", old);
  ::chmod(sub.c_str(), 0555);
  ::chmod(dir_.path().c_str(), 0755);
  Child child;  // root writes anywhere: the write runs as an unprivileged user
  ASSERT_GE(child.pid, 0);
  if (child.pid == 0) {
    if (::geteuid() == 0 && (::setgroups(0, nullptr) || ::setgid(65534) || ::setuid(65534))) ::_exit(3);
    ::_exit(ProfileWriteString(file, "a", "k", "new") ? 1 : 0);
  }
  EXPECT_EQ(child.Reap(0), 0) << "3: could not drop privileges; 1: written";
  EXPECT_EQ(TempDir::Read(file), old);
  EXPECT_EQ(std::distance(fs::directory_iterator(sub), fs::directory_iterator()), 1);
}

TEST_F(ProfileTest, KeepsModeFollowsUmaskWritesThroughSymlinkLeavesNoTemporary) {
  mode_t saved = ::umask(027);
  bool ok = ProfileWriteString(file_, "a", "k", "1");
  ::umask(saved);
  ASSERT_TRUE(ok);
  struct stat st {};
  ASSERT_EQ(::stat(file_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  ASSERT_EQ(::chmod(file_.c_str(), 0604), 0);
  fs::create_symlink(file_, dir_ / "link.ini");
  ASSERT_TRUE(ProfileWriteString(dir_ / "link.ini", "a", "k", "2"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.ini"));
  EXPECT_EQ(Content(), "[a]\r\nk=2\r\n");
  ASSERT_EQ(::stat(file_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0604u);
  EXPECT_EQ(Strays(), Names{"link.ini"});
}

TEST_F(ProfileTest, ConcurrentWritersLoseNoUpdate) {
  auto key = [](int t, int i) { return "t" + std::to_string(t) + "_" + std::to_string(i); };
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 25; ++i) ProfileWriteInt(file_, "s" + std::to_string(t % 2), key(t, i), t * 1000 + i);
    });
  for (auto& th : threads) th.join();
  for (int t = 0; t < 4; ++t)
    for (int i = 0; i < 25; ++i)
      EXPECT_EQ(ProfileReadInt(file_, "s" + std::to_string(t % 2), key(t, i), -1), t * 1000 + i);
  EXPECT_TRUE(Strays().empty());
}

// Version i of the writer child's file: long enough for a write to take a while.
std::string WriterValue(int i) {
  return std::to_string(i) + ":" + std::string(20000 + (i * 7919) % 180000, static_cast<char>('a' + i % 26));
}
std::string WriterFile(int i) { return "; kept\r\n[s]\r\nv=" + WriterValue(i) + "\r\n[t]\r\nx=1\r\n"; }

TEST_F(ProfileTest, KillDuringWriteLeavesAnOldOrNewFileWhole) {
  for (int round = 0; round < 30; ++round) {
    SCOPED_TRACE(round);
    Put(WriterFile(0));
    int pipe_fds[2];
    ASSERT_EQ(::pipe(pipe_fds), 0);
    Child child;
    ASSERT_GE(child.pid, 0);
    if (child.pid == 0) {
      ::close(pipe_fds[0]);
      for (int i = 1;; ++i) {
        char tick = 1;
        if (!ProfileWriteString(file_, "s", "v", WriterValue(i))) ::_exit(2);
        if (::write(pipe_fds[1], &tick, 1) != 1) ::_exit(3);
      }
    }
    ::close(pipe_fds[1]);
    // Killed after a varying number of completed writes, i.e. inside the next one.
    const int writes = 1 + round % 7;
    int seen = 0;
    for (char tick; seen < writes && ::read(pipe_fds[0], &tick, 1) == 1;) ++seen;
    child.Reap(SIGKILL);
    ::close(pipe_fds[0]);
    ASSERT_EQ(seen, writes) << "writer stopped early";

    const std::string got = Content();
    ASSERT_TRUE(got.rfind("; kept\r\n[s]\r\nv=", 0) == 0) << "damaged file of size " << got.size();
    const int version = std::stoi(got.substr(got.find("v=") + 2));
    EXPECT_GE(version, writes);
    EXPECT_TRUE(got == WriterFile(version)) << "file is not a complete version " << version;
    ASSERT_TRUE(ProfileWriteString(file_, "s", "v", "done"));  // leftovers of the killed writer do not block
    EXPECT_EQ(Get("s", "v"), "done");
  }
}

}  // namespace
}  // namespace mv
