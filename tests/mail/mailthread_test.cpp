#include "mail/mailthread.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "mail/mailer.h"
#include "mail/smtpclient.h"
#include "platform/clock.h"
#include "tests/support/childprocess.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr DateTime kT0 = 45000.25;  // 15.03.2023 06:00

// The real SMTP server of tests/mail/smtp_server.py, stopped by its pid when
// the fixture goes, and a mailer with its thread configured for it.
class MailThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetClockForTesting([] { return kT0; });
    const std::string script = fs::path(MIRAVA_SOURCE_DIR) / "tests/mail/smtp_server.py";
    server_ = std::make_unique<test::ChildProcess>(std::vector<std::string>{"/usr/bin/python3", script, inbox_.path()},
                                                   dir_ / "server.log");
    ASSERT_TRUE(test::WaitFor([&] { return fs::exists(inbox_ / "port"); }, 20000)) << test::TempDir::Read(dir_ / "server.log");
    settings_ = dir_.Write("MIRAVA0.MVJ", "[smtp]\r\nhost=127.0.0.1:" + test::TempDir::Read(inbox_ / "port") +
                                              "\r\nuser=tester\r\nfromaddress=robot@example.org\r\ntoaddresscount=2\r\n"
                                              "toaddress0=events@x.org\r\ntoaddressflags0=$2\r\n"
                                              "toaddress1=other@x.org\r\ntoaddressflags1=$2000000\r\n");
    mailer_.ProgramText = "Mirava 1.0";
    ASSERT_EQ(mailer_.LoadSettings(settings_), 0);
  }
  void TearDown() override {
    sync_.Shutdown();  // a thread still fetching must not wait for us
    SetClockForTesting({});
  }

  size_t Received() const {
    size_t n = 0;
    while (fs::exists(inbox_ / (std::to_string(n) + ".eml"))) ++n;
    return n;
  }
  std::string Message(size_t n, const char* part) const { return test::TempDir::Read(inbox_ / (std::to_string(n) + part)); }
  void StopThread() {
    thread_->Terminate();
    ASSERT_TRUE(sync_.RunUntil([&] { return thread_->Finished(); }, 30s));
  }

  test::TempDir dir_, inbox_;
  std::unique_ptr<test::ChildProcess> server_;
  std::string settings_;
  TSmtpClient client_;
  TMVMailer mailer_{&client_};
  LoopSynchronizer sync_;
  std::unique_ptr<TMVMailThread> thread_ = std::make_unique<TMVMailThread>(mailer_, sync_);
};

TEST_F(MailThreadTest, EachMatchingRecipientGetsItsOwnMail) {
  const std::string log = dir_.Write("ATT0000002A.LOG", std::string("\0\x01\xff\r\n.\nlog", 10) + std::string(5000, 'L'));
  TMVMail job(&mailer_);
  job.AddRecipient("Jo Doe <jo@x.org>", kRecipientSomethingDone | kRecipientAttachLog);
  job.AddRecipient("idle@x.org", kRecipientNothingToDo);
  job.AddRecipient("zero@x.org", 0);
  job.AddRecipient("plain@x.org", kRecipientSomethingDone | kRecipientAllFailed);
  job.AddLine("COPY JOB 0000002A (Daily) JOB RESULTS :", kMailGeneral);
  job.AddLine(".starts with a dot", kMailSomethingDone);
  job.Subject = "COPY JOB 0000002A (Daily) FINISHED";
  job.Message.Attachments = {log};
  job.Send();
  mailer_.SendText("Program initialized", kMailProgramEvent);
  ASSERT_TRUE(sync_.RunUntil([&] { return Received() == 3; }, 30s));
  StopThread();
  ASSERT_EQ(Received(), 3u);

  EXPECT_EQ(Message(0, ".env"), "robot@example.org\njo@x.org");
  EXPECT_EQ(Message(1, ".env"), "robot@example.org\nplain@x.org");
  EXPECT_EQ(Message(2, ".env"), "robot@example.org\nevents@x.org");
  const std::string first = Message(0, ".eml");
  for (const char* text : {"From: Mirava 1.0<robot@example.org>\r\nTo: Jo Doe <jo@x.org>\r\n"
                           "Subject: COPY JOB 0000002A (Daily) FINISHED\r\nMime-Version: 1.0\r\n"
                           "Content-Type: multipart/mixed; boundary=\"====================54535",
                           "Mirava 1.0 - notification\r\nCOPY JOB 0000002A (Daily) JOB RESULTS :\r\n"
                           ".starts with a dot\r\nMessage created 15.03. 06:00\r\nMessage sent    15.03. 06:00\r\n"
                           "===============================\r\nMirava 1.0 - notification\r\n",
                           "filename=\"ATT0000002A.LOG\""})
    EXPECT_NE(first.find(text), std::string::npos) << text << "\nin\n" << first;
  EXPECT_EQ(Message(0, ".att/ATT0000002A.LOG"), test::TempDir::Read(log));
  EXPECT_NE(Message(1, ".eml").find("Content-Type: text/plain; charset=us-ascii"), std::string::npos);
  EXPECT_FALSE(fs::exists(inbox_ / "1.att"));
  EXPECT_NE(Message(2, ".eml").find("Subject: Mirava 1.0\r\n"), std::string::npos);
  EXPECT_NE(Message(2, ".eml").find("\r\nProgram initialized\r\n"), std::string::npos);
}

TEST_F(MailThreadTest, AtShutdownOnlyALoneLastMailIsSentAndWithoutHostNone) {
  for (const char* text : {"one", "two", "three"}) mailer_.SendText(text, kMailProgramEvent);
  StopThread();
  EXPECT_EQ(mailer_.Count(), 3u);
  EXPECT_EQ(Received(), 0u);

  const std::string host = client_.Host;
  client_.Host.clear();  // the queue is still drained
  thread_ = std::make_unique<TMVMailThread>(mailer_, sync_);
  mailer_.SendText("four", kMailProgramEvent);
  ASSERT_TRUE(sync_.RunUntil([&] { return mailer_.Count() == 0 && thread_->Suspended(); }, 30s));
  EXPECT_EQ(Received(), 0u);

  client_.Host = host;
  mailer_.SendText("Program shutdown", kMailProgramEvent);
  StopThread();
  ASSERT_EQ(Received(), 1u);
  EXPECT_NE(Message(0, ".eml").find("\r\nProgram shutdown\r\n"), std::string::npos);
}

}  // namespace
}  // namespace mv
