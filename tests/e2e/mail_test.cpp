// The real program mails the results of a run to the recipients who care,
// through a real SMTP server on loopback.

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/childprocess.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

namespace fs = std::filesystem;
using test::ChildProcess;
using test::TempDir;
using test::WaitFor;

class ResultsMail : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string script = (fs::path(MIRAVA_SOURCE_DIR) / "tests/mail/smtp_server.py").string();
    server = std::make_unique<ChildProcess>(std::vector<std::string>{"/usr/bin/python3", script, inbox.path()},
                                            dir / "server.log");
    ASSERT_TRUE(WaitFor([&] { return fs::exists(inbox / "port"); }, 20000)) << TempDir::Read(dir / "server.log");
    dir.Write("base/MIRAVA0.MVJ", "[smtp]\r\nhost=127.0.0.1:" + TempDir::Read(inbox / "port") +
                                      "\r\nuser=tester\r\nfromaddress=robot@example.org\r\n");
    dir.Write("src/a.txt", "alpha");
    job = dir.Write("base/MVJ/MAILED.MVJ",
                    "[job]\r\ndescription=mailed\r\njobtype=0\r\noptions=259\r\n"
                    "[smtp]\r\ntoaddresscount=2\r\ntoaddress0=ops@example.org\r\ntoaddressflags0=$2100000\r\n"
                    "toaddress1=nobody@example.org\r\ntoaddressflags1=0\r\n"
                    "[actions]\r\ncount=1\r\nsourcepath=" + dir.path() + "src/\r\ntargetpath=" + dir.path() +
                        "dst/\r\nsource0=*.*\r\ntarget0=*.*\r\n");
  }

  // One mail arrived, for the flagged recipient only, with the results and the
  // job's attachment log byte for byte.
  void ExpectResultsMail() {
    ASSERT_TRUE(WaitFor([&] { return fs::exists(inbox / "0.eml"); }, 20000));
    EXPECT_FALSE(fs::exists(inbox / "1.eml")) << "the recipient with flag word 0 gets none";
    const std::string envelope = TempDir::Read(inbox / "0.env");
    EXPECT_NE(envelope.find("ops@example.org"), std::string::npos) << envelope;
    EXPECT_EQ(envelope.find("nobody@example.org"), std::string::npos);
    const std::string mail = TempDir::Read(inbox / "0.eml");
    EXPECT_NE(mail.find("JOB RESULTS :"), std::string::npos) << mail;
    EXPECT_NE(mail.find("successful  : 1"), std::string::npos);
    EXPECT_NE(mail.find("(mailed)  FINISHED"), std::string::npos) << "subject: caption + \" FINISHED\"";
    int attachments = 0;
    for (const auto& e : fs::directory_iterator(inbox / "0.att")) {
      ++attachments;
      const std::string name = e.path().filename().string();
      ASSERT_EQ(name.rfind("ATT", 0), 0u) << name;
      EXPECT_EQ(TempDir::Read(e.path().string()),
                TempDir::Read(dir / ("base/LOGS/" + name.substr(3, 8) + "/" + name)));
    }
    EXPECT_EQ(attachments, 1);
  }

  TempDir dir, inbox;
  std::unique_ptr<ChildProcess> server;
  std::string job;
};

TEST_F(ResultsMail, ScheduledRunMailsTheFlaggedRecipient) {
  setenv("MIRAVA_JOB_TIMER_MS", "200", 1);
  ChildProcess program({MIRAVA_BINARY, "--headless", "--base", dir / "base", "RUNJOB=mailed", "CLOSE"},
                       dir / "out.txt");
  unsetenv("MIRAVA_JOB_TIMER_MS");
  ASSERT_EQ(program.Wait(60000), 0) << TempDir::Read(dir / "out.txt");
  ExpectResultsMail();
}

TEST_F(ResultsMail, RunJobFromTheCommandLineMailsToo) {
  ChildProcess program({MIRAVA_BINARY, "--run-job", job, "--base", dir / "base"}, dir / "out.txt");
  ASSERT_EQ(program.Wait(60000), 0) << TempDir::Read(dir / "out.txt");
  EXPECT_NE(TempDir::Read(dir / "out.txt").find("Total files : 1"), std::string::npos);
  ExpectResultsMail();
}

}  // namespace
}  // namespace mv
