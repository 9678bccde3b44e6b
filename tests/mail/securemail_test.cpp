#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "mail/base64.h"
#include "mail/mailer.h"
#include "mail/mailthread.h"
#include "mail/smtpclient.h"
#include "tests/support/childprocess.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr const char* kPassword = "s3cret-Pa55";
constexpr const char* kPasswordVariable = "MIRAVA_TEST_SMTP_PASSWORD";

// Certificates made for this run, the real server of smtp_server.py with its
// STARTTLS, login-only and implicit-TLS ports, and a mailer whose thread
// sends to it. Log lines of the mail thread are collected.
class SecureMailTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv(kPasswordVariable, kPassword, 1);  // before the mail thread reads it
    const fs::path source = fs::path(MIRAVA_SOURCE_DIR) / "tests/mail";
    test::ChildProcess certs({"/bin/sh", source / "make_test_certs.sh", certs_.path()}, dir_ / "certs.log");
    ASSERT_EQ(certs.Wait(60000), 0) << test::TempDir::Read(dir_ / "certs.log");
    server_ = std::make_unique<test::ChildProcess>(
        std::vector<std::string>{"/usr/bin/python3", source / "smtp_server.py", inbox_.path(), certs_ / "server.pem",
                                 certs_ / "server.key", "tester", kPassword},
        dir_ / "server.log");
    ASSERT_TRUE(test::WaitFor([&] { return fs::exists(inbox_ / "port"); }, 20000)) << test::TempDir::Read(dir_ / "server.log");
    passwordFile_ = dir_.Write("smtp.pw", std::string(kPassword) + "\n");
    ::chmod(passwordFile_.c_str(), 0600);
    mailer_.ProgramText = "Mirava 1.0";
    mailer_.LogLine = [this](const std::string& line) { log_.push_back(line); };
    thread_ = std::make_unique<TMVMailThread>(mailer_, sync_);
  }
  void TearDown() override { sync_.Shutdown(); }

  std::string Port(const char* name) const { return test::TempDir::Read(inbox_ / name); }
  size_t Received() const {
    size_t n = 0;
    while (fs::exists(inbox_ / (std::to_string(n) + ".eml"))) ++n;
    return n;
  }
  // Settings as MIRAVA0.MVJ has them, loaded as at start-up.
  void Configure(const std::string& keys) {
    const std::string file = dir_.Write("MIRAVA0.MVJ", "[smtp]\r\nuser=tester\r\nfromaddress=robot@example.org\r\n" + keys);
    ASSERT_EQ(mailer_.LoadSettings(file), 0);
  }
  // Sends one results mail with the attachment and waits until the thread
  // is done with it.
  void SendOne() {
    TMVMail job(&mailer_);
    job.AddRecipient("jo@x.org", kRecipientSomethingDone | kRecipientAttachLog);
    job.AddLine("COPY JOB 0000002A (Daily) JOB RESULTS :", kMailSomethingDone);
    job.Message.Attachments = {attachment_};
    job.Send();
    ASSERT_TRUE(sync_.RunUntil([&] { return mailer_.Count() == 0 && thread_->Suspended(); }, 60s));
  }

  test::TempDir dir_, inbox_, certs_;
  std::unique_ptr<test::ChildProcess> server_;
  std::string passwordFile_;
  std::string attachment_ = dir_.Write("ATT0000002A.LOG", std::string("\0\x01\xff\r\n.\nlog", 10) + std::string(70000, 'L'));
  std::vector<std::string> log_;
  TSmtpClient client_;
  TMVMailer mailer_{&client_};
  LoopSynchronizer sync_;
  std::unique_ptr<TMVMailThread> thread_;
};

TEST_F(SecureMailTest, MailGoesOutEncryptedAndLoggedIn) {
  const std::string ca = "cafile=" + certs_ / "ca.pem" + "\r\nlogin=tester\r\n";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"STARTTLS, AUTH PLAIN, password file",
       "host=localhost:" + Port("starttls_port") + "\r\nsecurity=starttls\r\n" + ca + "passwordfile=" + passwordFile_},
      {"STARTTLS, AUTH LOGIN, password variable",
       "host=localhost:" + Port("login_port") + "\r\nsecurity=StartTLS\r\n" + ca + "passwordenv=" + kPasswordVariable},
      {"TLS from the first byte", "host=localhost:" + Port("tls_port") + "\r\nsecurity=tls\r\n" + ca +
                                      "passwordfile=" + passwordFile_}};
  for (const auto& [what, keys] : cases) {
    SCOPED_TRACE(what);
    const size_t n = Received();
    Configure(keys);
    SendOne();
    ASSERT_EQ(Received(), n + 1) << (log_.empty() ? "" : log_.back());
    const std::string base = inbox_ / std::to_string(n);
    EXPECT_EQ(test::TempDir::Read(base + ".env"), "robot@example.org\njo@x.org");
    EXPECT_EQ(test::TempDir::Read(base + ".auth"), "tester");
    EXPECT_EQ(test::TempDir::Read(base + ".att/ATT0000002A.LOG"), test::TempDir::Read(attachment_));
  }
  EXPECT_TRUE(log_.empty()) << log_.front();
}

TEST_F(SecureMailTest, EveryFailureIsLoggedAndSendsNothing) {
  const std::string login = "login=tester\r\npasswordfile=" + passwordFile_ + "\r\n";
  const std::string ca = "cafile=" + certs_ / "ca.pem" + "\r\n";
  const std::string starttls = "host=localhost:" + Port("starttls_port") + "\r\nsecurity=starttls\r\n";
  const std::string wrong = dir_.Write("wrong.pw", "guess\n");
  ::chmod(wrong.c_str(), 0600);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {starttls + ca + "login=tester\r\npasswordfile=" + wrong,
       "Login Failed (535 5.7.8 Authentication credentials invalid)"},
      {starttls + login, "Certificate Not Trusted (unable to get local issuer certificate)"},
      {"host=127.0.0.1:" + Port("starttls_port") + "\r\nsecurity=starttls\r\n" + ca + login, "Certificate Name Mismatch"},
      {"host=localhost:" + Port("port") + "\r\nsecurity=starttls\r\n" + ca + login, "STARTTLS Not Offered"},
      {"host=localhost:" + Port("port") + "\r\n" + login, "Login Needs TLS"},
      {"host=localhost:" + Port("port") + "\r\nsecurity=ssl\r\n", "Unknown Security Mode"}};
  for (const auto& [keys, reason] : cases) {
    SCOPED_TRACE(keys);
    log_.clear();
    Configure(keys);
    SendOne();
    EXPECT_EQ(Received(), 0u);
    ASSERT_EQ(log_.size(), 1u);
    EXPECT_EQ(log_[0], "Mail to jo@x.org not sent: " + reason);
  }
}

TEST_F(SecureMailTest, ThePasswordNeverShowsInLogsOrErrors) {
  // A server that echoes what it was sent would put the login into its reply.
  const std::string wrongPassword = "wrong-but-secret";
  ::setenv("MIRAVA_TEST_WRONG_PASSWORD", wrongPassword.c_str(), 1);
  Configure("host=localhost:" + Port("login_port") + "\r\nsecurity=starttls\r\ncafile=" + certs_ / "ca.pem" +
            "\r\nlogin=tester\r\npasswordenv=MIRAVA_TEST_WRONG_PASSWORD\r\n");
  SendOne();
  ASSERT_EQ(log_.size(), 1u);
  for (const std::string& secret : {wrongPassword, TBase64Encoder::Encode(wrongPassword)}) {
    EXPECT_EQ(log_[0].find(secret), std::string::npos) << log_[0];
    EXPECT_EQ(client_.LastError().find(secret), std::string::npos);
  }
  // A password key in the settings file is never used, and the user is told.
  log_.clear();
  Configure("host=localhost:" + Port("port") + "\r\npassword=" + kPassword + "\r\n");
  ASSERT_EQ(log_.size(), 1u);
  EXPECT_EQ(log_[0].find(kPassword), std::string::npos);
  EXPECT_NE(log_[0].find("is ignored"), std::string::npos) << log_[0];
}

}  // namespace
}  // namespace mv
