#include "platform/profile.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
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
  std::string Get(const std::string& s, const std::string& k) const { return ProfileReadString(file_, s, k, "<def>"); }
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
  ~Child() { Kill(); }
  void Kill() { if (pid > 0 && ::kill(pid, SIGKILL) == 0) ::waitpid(std::exchange(pid, -1), nullptr, 0); }
};

TEST_F(ProfileTest, ReadRulesCaseTrimQuotesFirstMatchCommentsLineEndsAndFileOrder) {
  Put("[Job]\r\nRemoteSource=abc\r\n[Ärger]\r\nk=ä\r\n[Łódź]\r\nk=1\r\n"
      "  [ s ]  \r\n  key  =  value with  inner blanks \t\r\ndq=\"  padded  \"\r\nsq='x'\r\n"
      "twice=\"\"x\"\"\r\nmixed=\"x'\r\nlone=\"\r\nempty=\r\n"
      "[d]\r\nk=first\r\nK=second\r\na=1\r\n=nameless\r\n[D]\r\nk=other\r\nonly=later\r\n"
      "[c]\r\n  ; k=commented out\r\nnot a key\r\n");
  const std::vector<std::array<const char*, 3>> rows = {
      {"JOB", "REMOTESOURCE", "abc"}, {"job", "remote", "<def>"}, {"ärger", "K", "ä"},
      {" s ", " key ", "value with  inner blanks"}, {"s", "dq", "  padded  "}, {"s", "sq", "x"},
      {"s", "twice", "\"x\""}, {"s", "lone", "\""}, {"d", "k", "first"}, {"d", "only", "<def>"},
      {"c", "k", "<def>"}, {"c", "not a key", "<def>"}};
  for (const auto& [section, key, want] : rows) EXPECT_EQ(Get(section, key), want) << section << "/" << key;
  EXPECT_EQ(ProfileSections(file_), (Names{"Job", "Ärger", "Łódź", "s", "d", "c"}));
  EXPECT_EQ(ProfileKeys(file_, "D"), (Names{"k", "a"}));
  for (const char* text : {"[a]\rx=1\ry=2\r", "[a]\r\nx=1\ry=2"})
    EXPECT_EQ(ProfileKeys(Put(text), "a"), (Names{"x", "y"})) << ::testing::PrintToString(std::string(text));
}

// Every edit changes only its own lines; the rest stays byte for byte.
TEST_F(ProfileTest, EditsTouchOnlyTheirLines) {
  enum Op { W, D, E };
  struct Row { std::string before; Op op; const char *section, *key, *value; std::string after; };
  const std::vector<Row> rows = {
      {"[a]\r\nk=1\r\nK=2\r\n[A]\r\nk=3\r\n", W, "a", "k", "new", "[a]\r\nk=new\r\nK=2\r\n[A]\r\nk=3\r\n"},
      {"[a]\r\nx=1\r\n; b\r\n\r\n[b]\r\n", W, "A", "New", "3", "[a]\r\nx=1\r\nNew=3\r\n; b\r\n\r\n[b]\r\n"},
      {"[a]\r\n\r\n[b]", W, "b", "k", "2", "[a]\r\n\r\n[b]\r\nk=2\r\n"},
      {"", W, "a", "k", "one\rtwo\nthree", "[a]\r\nk=one\r\n"},
      {"; hand\nstray\n[a]   \t\n  ; k=c\nx = 1   \nnot a key\r\n[b]\ny=2\n", W, "b", "y", "3",
       "; hand\nstray\n[a]   \t\n  ; k=c\nx = 1   \nnot a key\r\n[b]\ny=3\r\n"},
      {"; top\r\n[a]\r\nx=1\r\n[B]\r\ny=2\r\n; in b\r\n\r\n[c]\r\nz=3\r\n[b]\r\nw=4\r\n", E, "b", "", "",
       "; top\r\n[a]\r\nx=1\r\n[c]\r\nz=3\r\n"},
      {"[a]\r\nk=1\r\nx=2\r\nK=3\r\n", D, "A", "k", "", "[a]\r\nx=2\r\n"},  // no old value resurfaces
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

TEST_F(ProfileTest, MissingFileReadsEmptyAndFirstWriteCreatesItWithDecimalNumbers) {
  EXPECT_EQ(ProfileReadInt(file_, "a", "k", 7), 7);
  EXPECT_FALSE(ProfileWriteString(dir_ / "no/such/dir.ini", "a", "k", "v"));
  ASSERT_TRUE(ProfileWriteInt(file_, "n", "i", INT64_MIN));
  ASSERT_TRUE(ProfileWriteDouble(file_, "n", "a", 45123.5625));
  ASSERT_TRUE(ProfileWriteDouble(file_, "n", "b", 1.0 / 3.0));
  EXPECT_FALSE(ProfileWriteDouble(file_, "n", "f", NAN) || ProfileWriteDouble(file_, "n", "f", INFINITY));
  EXPECT_EQ(Content(), "[n]\r\ni=-9223372036854775808\r\na=45123.5625\r\nb=0.333333333333333\r\n");
}

TEST_F(ProfileTest, WrittenValuesReadBackWholeUpTo2047AndBadNamesAreRefused) {
  for (const std::string v : {"trail\t", "\"quoted\"", " \"both\" ", "\""}) {
    ASSERT_TRUE(ProfileWriteString(file_, "a", "k", v));
    EXPECT_EQ(Get("a", "k"), v);
  }
  const std::string longv(3000, 'x');
  ASSERT_TRUE(ProfileWriteString(file_, "a", "k", longv));
  EXPECT_EQ(Get("a", "k"), std::string(kProfileValueMax, 'x'));
  for (const auto& [section, key] : std::vector<std::pair<const char*, const char*>>{
           {"", "k"}, {"a]b", "k"}, {"a\nb", "k"}, {"a", "k=j"}, {"a", ";k"}})
    EXPECT_FALSE(ProfileWriteString(file_, section, key, "v")) << section << "/" << key;
  EXPECT_EQ(Content(), "[a]\r\nk=" + longv + "\r\n");  // the file keeps it whole
}

TEST_F(ProfileTest, NumbersInEveryFormAndMalformedOnesGiveTheDefault) {
  Put("[n]\na=-17\nb=$1F\nc=0XFF\nd=\"12\"\ne=2147483648\nf=12abc\ng=$\nh=1.5\n"
      "[w]\na=-9223372036854775808\nb=9223372036854775808\nc=4294967296\n"
      "[d]\na=45123,5625\nb=+.25\nc=inf\nd=1.5x\n");
  const int32_t ints[] = {-17, 31, 255, 12, 99, 99, 99, 99};  // from "e": not a 32-bit integer
  const int64_t wide[] = {INT64_MIN, 1, int64_t{1} << 32};
  const double doubles[] = {45123.5625, 0.25, -3.5, -3.5};
  auto key = [](size_t i) { return std::string(1, static_cast<char>('a' + i)); };
  for (size_t i = 0; i < std::size(ints); ++i) EXPECT_EQ(ProfileReadInt(file_, "n", key(i), 99), ints[i]) << i;
  for (size_t i = 0; i < std::size(wide); ++i) EXPECT_EQ(ProfileReadInt64(file_, "w", key(i), 1), wide[i]) << i;
  for (size_t i = 0; i < std::size(doubles); ++i)
    EXPECT_EQ(ProfileReadDouble(file_, "d", key(i), -3.5), doubles[i]) << i;
}

TEST_F(ProfileTest, BinaryBytesManyLinesAndOversizedFiles) {
  std::string junk;
  for (int i = 0; i < 256; ++i) junk += static_cast<char>(i);
  std::string text = junk + "\r\n[a]\r\nk=before\0after\r\n"s + junk + "\r\n[b]\r\nj=2\r\n";
  Put(text);
  EXPECT_EQ(Get("a", "k"), "before\0after"s);
  ASSERT_TRUE(ProfileWriteString(file_, "b", "j", "3"));
  EXPECT_EQ(Content(), text.replace(text.size() - 3, 1, "3"));
  std::string many = "[a]\n";  // 700,000 lines: anything worse than linear would not finish
  for (int i = 0; i < 700000; ++i) many += "k" + std::to_string(i) + "=" + std::to_string(i) + "\n";
  Put(many + "[end]\n");
  ASSERT_TRUE(ProfileWriteString(file_, "a", "new", "1"));
  EXPECT_EQ(Get("a", "k699999"), "699999");
  EXPECT_EQ(ProfileKeys(file_, "a").size(), 700001u);
  text = "[a]\r\nk=1\r\n" + std::string(kProfileFileMax, ';');  // oversized: defaults, never rewritten
  Put(text);
  EXPECT_EQ(Get("a", "k"), "<def>");
  EXPECT_FALSE(ProfileWriteString(file_, "a", "k", "2"));
  EXPECT_TRUE(Content() == text);
  EXPECT_TRUE(Strays().empty());
}

TEST_F(ProfileTest, RewriteKeepsModeAndWritesThroughSymlink) {
  ASSERT_TRUE(ProfileWriteString(file_, "a", "k", "1"));
  fs::permissions(file_, fs::perms(0604));
  fs::create_symlink(file_, dir_ / "link.ini");
  ASSERT_TRUE(ProfileWriteString(dir_ / "link.ini", "a", "k", "2"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.ini"));
  EXPECT_EQ(Content(), "[a]\r\nk=2\r\n");
  EXPECT_EQ(fs::status(file_).permissions(), fs::perms(0604));
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
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    Child child;
    ASSERT_GE(child.pid, 0);
    if (child.pid == 0)  // ticks once per completed write
      for (int i = 1;; ++i)
        if (!ProfileWriteString(file_, "s", "v", WriterValue(i)) || ::write(fds[1], "t", 1) != 1) ::_exit(2);
    ::close(fds[1]);
    // Killed after a varying number of completed writes, i.e. inside the next one.
    const int writes = 1 + round % 7;
    int seen = 0;
    for (char tick; seen < writes && ::read(fds[0], &tick, 1) == 1;) ++seen;
    child.Kill();
    ::close(fds[0]);
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

TEST_F(ProfileTest, ByteOrderMarkIsSkippedOnReadAndKeptByEdits) {
  const std::string bom = "\xEF\xBB\xBF";
  Put(bom + "[job]\r\ndescription=Nightly\r\nold=1\r\n");
  EXPECT_EQ(Get("job", "description"), "Nightly");
  EXPECT_EQ(ProfileSections(file_), Names{"job"});
  EXPECT_EQ(ProfileSnapshot(file_).ReadString("job", "description", "<def>"), "Nightly");
  ASSERT_TRUE(ProfileWriteString(file_, "job", "description", "Daily"));
  ASSERT_TRUE(ProfileDeleteKey(file_, "job", "old"));
  EXPECT_EQ(Content(), bom + "[job]\r\ndescription=Daily\r\n");
}

TEST_F(ProfileTest, LongValuesAreCutBeforeACharacterTheLimitWouldSplit) {
  const std::string x2045(2045, 'x');
  struct Case { std::string value, read; };
  const Case cases[] = {
      {x2045 + "\xE2\x82\xAC" "tail", x2045},          // three bytes from 2045
      {x2045 + "\xC3\xA4" "tail", x2045 + "\xC3\xA4"},  // ends exactly at the limit
      {x2045 + "x\x80\x80\x80\x80", x2045 + "x\x80"},   // no UTF-8: cut at the limit
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(ProfileWriteString(file_, "a", "k", c.value));
    EXPECT_EQ(Get("a", "k"), c.read) << c.value.substr(2040);
  }
}

TEST_F(ProfileTest, TheNextWriteRemovesTemporaryFilesLeftByDeadWriters) {
  const pid_t dead = ::fork();
  if (dead == 0) ::_exit(0);
  ASSERT_GT(dead, 0);
  ::waitpid(dead, nullptr, 0);
  const std::string d = std::to_string(dead), me = std::to_string(::getpid()), live = std::to_string(::getppid());
  for (const std::string& name : {"a.ini.~tmp" + d + "-1", "a.ini.~tmp" + me + "-7", "a.ini.~tmp" + live + "-2",
                                  "a.ini.~tmp" + d + "-x", "b.ini.~tmp" + d + "-1", std::string("a.ini.~tmpnote")})
    dir_.Write(name, "half");
  ASSERT_TRUE(ProfileWriteString(file_, "a", "k", "v"));
  Names left = Strays();
  std::sort(left.begin(), left.end());
  Names kept{"a.ini.~tmp" + d + "-x", "a.ini.~tmp" + live + "-2", "a.ini.~tmpnote", "b.ini.~tmp" + d + "-1"};
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(left, kept);
  EXPECT_EQ(Get("a", "k"), "v");
}

}  // namespace
}  // namespace mv
