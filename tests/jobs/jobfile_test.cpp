#include "jobs/jobfile.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <tuple>

#include "jobs/jobrecord.h"
#include "platform/clock.h"
#include "platform/profile.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

using test::TempDir;

class JobFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetClockForTesting([] { return 46000.5; });
  }
  void TearDown() override { SetClockForTesting({}); }

  std::unique_ptr<TTFileThreadControl> NewJob(const std::string& description = "from file...") {
    return std::make_unique<TTFileThreadControl>(description, nullptr, dir.path(), dir.path(),
                                                 nullptr);
  }
  std::unique_ptr<TTFileThreadControl> Loaded(const std::string& file, int* result = nullptr) {
    auto job = NewJob();
    const int r = job->Load(file);
    if (result) *result = r;
    return job;
  }

  TempDir dir;
};

TEST_F(JobFileTest, SavedJobLoadsAsTheSameJob) {
  auto job = NewJob("Nightly backup");
  job->RemoteTarget = "127.0.0.1";
  job->AddAction(std::make_unique<TTFileAction>("/src/", "a.txt", "/dst/", "a.txt", 0x100003, 0));
  job->AddAction(std::make_unique<TTFileAction>("/src/", "sub", "/dst/", "", 0x100003, 0));
  job->Terminated = true, job->ResumePath = "/src/sub/", job->ResumeFilePos = 3'221'225'472LL;
  job->ResumeFile.Name = "big.iso", job->ResumeFile.Size = 5'000'000'000LL, job->ResumeFile.Time = 0x5A6B3C21;
  job->ResumeFile.WriteTime = {1'700'000'000, 0};
  job->tStarted = 45999.25, job->tFinished = 45999.375, job->ErrorCode = 0x0410;
  job->cTotal = 10, job->cSkipped = 2, job->cError = 1, job->cSuccess = 7, job->cDeleted = 3;
  job->Schedule->Queued = true;
  const std::string file = dir / "J.MVQ";
  EXPECT_EQ(job->Save(file, true), 0);
  EXPECT_EQ(job->Modified, 46000.5);

  int result = -2;
  auto back = Loaded(file, &result);
  EXPECT_EQ(result, 0);
  ASSERT_EQ(back->Actions.size(), 2u);
  const TTFileAction& a = *back->Actions[1];
  EXPECT_EQ(std::tie(back->Description, back->RemoteTarget, back->JobID, back->Schedule->Queued, a.Source, a.Target,
                     a.SourcePath, back->Terminated, back->ResumePath, back->ResumeFile.Name),
            std::make_tuple("Nightly backup", "127.0.0.1", job->JobID, true, "sub", "", "/src/", true, "/src/sub/",
                            "big.iso"));
  EXPECT_EQ(std::make_tuple(back->FirstOptions(), back->ResumeFile.Size, back->ResumeFile.Time,
                            int64_t(back->ResumeFile.WriteTime.tv_sec), back->ResumeFilePos, back->ErrorCode),
            std::make_tuple(0x100003u, int64_t(5'000'000'000), 0x5A6B3C21u, int64_t(1'700'000'000),
                            int64_t(3'221'225'472), 0x0410));
  EXPECT_EQ(std::tie(back->tStarted, back->tFinished, back->Modified, back->cTotal, back->cDeleted),
            std::make_tuple(45999.25, 45999.375, 46000.5, 10, 3));
  EXPECT_EQ(ProfileReadString(file, "job", "options", ""), "1048579");
}

TEST_F(JobFileTest, JobFileSavedByTheUserCarriesNoId) {
  auto job = NewJob("x");
  job->AddAction(std::make_unique<TTFileAction>("/s/", "*.*", "/t/", "*.*", 1, 0));
  job->Schedule->Queued = true;
  job->Save(dir / "A.MVJ", false);
  EXPECT_EQ(ProfileReadString(dir / "A.MVJ", "schedule", "jobID", "none"), "none");
  auto back = Loaded(dir / "A.MVJ");
  EXPECT_NE(back->JobID, job->JobID) << "a job file opened later draws a new ID";
  EXPECT_FALSE(back->Schedule->Queued);
}

TEST_F(JobFileTest, CountZeroGivesOneActionOnTheCurrentFolder) {
  const std::string file = dir.Write("Z.MVJ", "[job]\r\ndescription=z\r\n[actions]\r\ncount=0\r\n");
  int result = -2;
  auto job = Loaded(file, &result);
  EXPECT_EQ(result, 0);
  ASSERT_EQ(job->Actions.size(), 1u);
  const TTFileAction& a = *job->Actions[0];
  EXPECT_EQ(std::tie(a.Source, a.Target, a.TargetPath), std::make_tuple("*.*", "*.*", a.SourcePath));
  EXPECT_EQ(a.SourcePath.back(), '/');
}

TEST_F(JobFileTest, ResumeKeysAreIgnoredUnlessTerminated) {
  const std::string file = dir.Write(
      "R.MVJ", "[job]\ndescription=r\n[flow]\nterminated=0\nresumepath=/x/\nresumefile=f\n"
               "resumefilepos=77\n");
  auto job = Loaded(file);
  EXPECT_EQ(std::tie(job->Terminated, job->ResumePath, job->ResumeFilePos), std::make_tuple(false, "", int64_t(0)));
}

TEST_F(JobFileTest, SourceDefinitionKeepsSourceAndFilterOutOfTheJobFile) {
  auto job = NewJob("with definition");
  job->MacroSource = "Projects";
  job->AddAction(std::make_unique<TTFileAction>("/home/p/", "docs", "/backup/", "docs", 3, 0));
  job->Filter->IncludeFileNames = "*.odt";
  SaveSourceDefinition(*job, true);
  job->Save(dir / "D.MVJ", false);

  const std::string d = dir / "D.MVJ", sources = dir / "SOURCES.MVS";
  EXPECT_TRUE(ProfileKeys(d, "filter").empty());
  EXPECT_EQ((std::vector<std::string>{ProfileReadString(d, "macro", "source", ""),
                                      ProfileReadString(d, "actions", "sourcepath", "none"),
                                      ProfileReadString(d, "actions", "source0", "none"),
                                      ProfileReadString(d, "actions", "target0", ""),
                                      ProfileReadString(sources, "Projects", "actions_sourcepath", ""),
                                      ProfileReadString(sources, "Projects", "lasttracked", "")}),
            (std::vector<std::string>{"Projects", "none", "none", "docs", "/home/p/", "0"}));
  auto back = Loaded(d);
  ASSERT_EQ(back->Actions.size(), 1u);
  EXPECT_EQ(std::tie(back->Actions[0]->SourcePath, back->Actions[0]->Source, back->Filter->IncludeFileNames),
            std::make_tuple("/home/p/", "docs", "*.odt"));
}

TEST_F(JobFileTest, TrackingRecordsChangesAndAResetNeverSkips) {
  auto job = NewJob("t");
  job->MacroSource = "S";
  job->AddAction(std::make_unique<TTFileAction>("/a/", "*.*", "/b/", "*.*", 3, 0));
  job->SourceSignature = 0x1234ABCD5678EF00LL;
  SaveTracking(*job);
  const std::string sources = dir / "SOURCES.MVS";
  EXPECT_EQ(ProfileReadString(sources, "S", "sourceCRC", ""), "$1234ABCD5678EF00");
  EXPECT_EQ(ProfileReadDouble(sources, "S", "lastchange", 0), 46000.5);

  // Unchanged since the last complete run: the age is known.
  job->Schedule->LastRunComplete = 46000.6;
  SetClockForTesting([] { return 46000.5 + 90.0 / 86400; });
  LoadTracking(*job);
  EXPECT_EQ(job->SecondsSinceTracked, 90);

  // A reset of the definition must force the next run to look at the source.
  ProfileWriteDouble(sources, "S", "lasttracked", 0);
  LoadTracking(*job);
  EXPECT_LT(job->SecondsSinceTracked, 0);
}

TEST_F(JobFileTest, HostileFilesLoadWithDefaultsOrFail) {
  struct Case {
    const char* name;
    std::string content;
    bool valid;
  };
  const std::vector<Case> cases = {
      {"garbage", std::string("\x00\x01\xff[[[=\n", 8) + std::string(100000, 'x'), false},
      {"truncated", "[job]\ndescription=half\n[actions]\ncount=1\nsourcep", true},
      {"huge count", "[job]\ndescription=h\n[actions]\ncount=2000000000\n", false},
      {"negative count", "[job]\ndescription=n\n[actions]\ncount=-5\n", false},
      {"id beyond 64 bits", "[job]\ndescription=i\n[schedule]\njobID=99999999999999999999999\n", true},
      {"bad numbers", "[job]\ndescription=b\nmodified=1e300x\noptions=abc\n[result_last]\ntStarted=abc\n",
       true},
  };
  for (const Case& c : cases) {
    int result = -2;
    auto job = Loaded(dir.Write(std::string(c.name) + ".MVJ", c.content), &result);
    EXPECT_EQ(result == 0 && !job->Actions.empty(), c.valid) << c.name;
    EXPECT_LE(job->Actions.size(), static_cast<size_t>(kMaxJobActions)) << c.name;
  }
  EXPECT_FALSE(Loaded(dir / "id beyond 64 bits.MVJ")->Schedule->Queued);
  EXPECT_EQ(Loaded(dir / "bad numbers.MVJ")->tStarted, 0);
}

// Counts the files that arrive under their name in a folder (renames onto it).
class ArrivalCounter {
 public:
  explicit ArrivalCounter(const std::string& dir) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (fd_ >= 0) inotify_add_watch(fd_, dir.c_str(), IN_MOVED_TO);
  }
  ~ArrivalCounter() {
    if (fd_ >= 0) close(fd_);
  }
  bool Ok() const { return fd_ >= 0; }
  int Count(const std::string& name) {
    int n = 0;
    alignas(inotify_event) char buf[8192];
    for (ssize_t len; (len = read(fd_, buf, sizeof buf)) > 0;)
      for (char* p = buf; p < buf + len;) {
        const auto* e = reinterpret_cast<const inotify_event*>(p);
        if (e->len > 0 && name == e->name) ++n;
        p += sizeof(inotify_event) + e->len;
      }
    return n;
  }

 private:
  int fd_;
};

TEST_F(JobFileTest, ASaveIsOneWriteOfTheWholeFile) {
  auto job = NewJob("Nightly");
  job->AddAction(std::make_unique<TTFileAction>("/src/", "*.*", "/dst/", "*.*", 0x101, 0));
  job->Mail->AddRecipient("ops@example.org", 0xFFFFFFFF);
  job->Filter->IncludeFileNames = "*.txt";
  job->Schedule->Hours = 6;
  job->Schedule->Queued = true;
  const std::string file = dir / "NIGHTLY.MVQ";
  job->Save(file, true);
  const std::string first = TempDir::Read(file);
  ArrivalCounter arrivals(dir.path());
  ASSERT_TRUE(arrivals.Ok());
  job->cSuccess = 3;
  job->Schedule->Hours = 7;
  job->Save(file, true);
  EXPECT_EQ(arrivals.Count("NIGHTLY.MVQ"), 1) << "one replacement of the file per save";
  auto back = Loaded(file);
  EXPECT_EQ(std::make_tuple(back->Schedule->Hours, back->cSuccess, back->Filter->IncludeFileNames,
                            back->Mail->Message.ToAddress.size()),
            std::make_tuple(uint16_t(7), 3, "*.txt", size_t(1)));
  EXPECT_NE(first, TempDir::Read(file));
}

}  // namespace
}  // namespace mv
