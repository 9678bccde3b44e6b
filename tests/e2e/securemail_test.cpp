// The real program mails the results of a run over STARTTLS with a login,
// and logs why a mail that cannot be sent safely was not sent.

#include <sys/stat.h>

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

class SecureResultsMail : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path source = fs::path(MIRAVA_SOURCE_DIR) / "tests/mail";
    ChildProcess certs({"/bin/sh", source / "make_test_certs.sh", certDir.path()}, dir / "certs.log");
    ASSERT_EQ(certs.Wait(60000), 0) << TempDir::Read(dir / "certs.log");
    server = std::make_unique<ChildProcess>(
        std::vector<std::string>{"/usr/bin/python3", source / "smtp_server.py", inbox.path(), certDir / "server.pem",
                                 certDir / "server.key", "robot", "e2e-Secret"},
        dir / "server.log");
    ASSERT_TRUE(WaitFor([&] { return fs::exists(inbox / "port"); }, 20000)) << TempDir::Read(dir / "server.log");
    password = dir.Write("smtp.pw", "e2e-Secret\n");
    ::chmod(password.c_str(), 0600);
    dir.Write("src/a.txt", "alpha");
    job = dir.Write("base/MVJ/MAILED.MVJ",
                    "[job]\r\ndescription=mailed\r\njobtype=0\r\noptions=259\r\n"
                    "[smtp]\r\ntoaddresscount=1\r\ntoaddress0=ops@example.org\r\ntoaddressflags0=$2100000\r\n"
                    "[actions]\r\ncount=1\r\nsourcepath=" + dir.path() + "src/\r\ntargetpath=" + dir.path() +
                        "dst/\r\nsource0=*.*\r\ntarget0=*.*\r\n");
  }
  int RunJob(const std::string& caKey) {
    dir.Write("base/MIRAVA0.MVJ", "[smtp]\r\nhost=localhost:" + TempDir::Read(inbox / "starttls_port") +
                                      "\r\nsecurity=starttls\r\n" + caKey + "login=robot\r\npasswordfile=" +
                                      password + "\r\nfromaddress=robot@example.org\r\n");
    ChildProcess program({MIRAVA_BINARY, "--run-job", job, "--base", dir / "base"}, dir / "out.txt");
    return program.Wait(60000).value_or(-1);
  }

  TempDir dir, inbox, certDir;
  std::unique_ptr<ChildProcess> server;
  std::string job, password;
};

TEST_F(SecureResultsMail, ArrivesOverStartTlsWithTheLogin) {
  ASSERT_EQ(RunJob("cafile=" + certDir / "ca.pem" + "\r\n"), 0) << TempDir::Read(dir / "out.txt");
  ASSERT_TRUE(WaitFor([&] { return fs::exists(inbox / "0.eml"); }, 20000));
  EXPECT_EQ(TempDir::Read(inbox / "0.auth"), "robot");
  EXPECT_NE(TempDir::Read(inbox / "0.eml").find("JOB RESULTS :"), std::string::npos);
  EXPECT_EQ(TempDir::Read(dir / "base/LOGS/MIRAVA.LOG").find("e2e-Secret"), std::string::npos);
}

TEST_F(SecureResultsMail, AnUntrustedServerGetsNothingAndTheLogSaysWhy) {
  ASSERT_EQ(RunJob(""), 0) << TempDir::Read(dir / "out.txt");
  const std::string log = TempDir::Read(dir / "base/LOGS/MIRAVA.LOG");
  EXPECT_NE(log.find("Mail to ops@example.org not sent: Certificate Not Trusted"), std::string::npos) << log;
  EXPECT_FALSE(fs::exists(inbox / "0.eml"));
}

}  // namespace
}  // namespace mv
