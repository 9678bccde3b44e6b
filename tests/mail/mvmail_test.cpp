#include "mail/mvmail.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "platform/profile.h"
#include "tests/support/tempdir.h"

namespace mv {
static std::vector<std::unique_ptr<TMVMail>> enqueued;  // stands in for the mail queue
static TMVMailer* enqueuedTo = nullptr;
void EnqueueMail(TMVMailer& mailer, const TMVMail& mail) {
  enqueuedTo = &mailer;
  enqueued.push_back(TMVMail::CreateCopy(mail));
}

namespace {

std::vector<std::string> Addresses(const TMVMail& m) {
  std::vector<std::string> out;
  for (const auto& r : m.Message.ToAddress) out.push_back(r.Address + "=" + std::to_string(r.Flags));
  return out;
}

class MailTest : public ::testing::Test {
 protected:
  void SetUp() override { enqueued.clear(); }
  test::TempDir dir;
};

TEST_F(MailTest, SendQueuesACopyAndClearsOnlyTheBody) {
  int marker = 0;
  auto* mailer = reinterpret_cast<TMVMailer*>(&marker);  // only its address is used
  TMVMail src(mailer), orphan(nullptr);
  src.Created = 1.5, src.FromAddress = "src@x", src.Subject = "Nightly", src.Message.Attachments = {"/var/log/job.log"};
  src.TakeClientSettings("h", "u");
  src.AddRecipient("r@x", kRecipientSomethingDone | kRecipientAttachLog);
  src.AddLine("general", kMailGeneral), src.AddLine("failed", kMailFailures);
  src.Send();
  ASSERT_EQ(enqueued.size(), 1u);
  const TMVMail& copy = *enqueued[0];
  EXPECT_EQ(enqueuedTo, mailer);
  EXPECT_EQ(std::tie(copy.Created, copy.Host, copy.User, copy.FromAddress, copy.Subject, copy.Flags),
            std::make_tuple(1.5, "h", "u", "", "Nightly", kMailGeneral | kMailFailures));
  EXPECT_EQ(copy.Message.Body.size(), 2u);
  // Subject, recipients and attachments stay for the next send.
  EXPECT_EQ(std::tie(src.Subject, src.Flags, src.Message.Attachments),
            std::make_tuple("Nightly", 0u, copy.Message.Attachments));
  EXPECT_EQ(Addresses(src), Addresses(copy));
  EXPECT_TRUE(src.Message.Body.empty());
  orphan.AddLine("x", kMailFinished), orphan.Send();  // no mailer: nothing queued, body still cleared
  EXPECT_EQ(enqueued.size(), 1u);
  EXPECT_TRUE(orphan.Message.Body.empty());
}

TEST_F(MailTest, SaveReplacesTheSectionButKeepsTheUsersSender) {
  const std::string file = dir.Write("job.mvj", "[job]\r\nname=x\r\n[smtp]\r\nhost=old\r\nuser=old\r\nfromaddress="
                                     "me@example.org\r\ntoaddresscount=9\r\ntoaddress8=gone@x\r\nextra=1\r\n");
  TMVMail m(nullptr), back(nullptr);
  m.Host = "smtp.example.org", m.FromAddress = "never-written@x";
  m.AddRecipient("a@example.org", kRecipientSomethingDone), m.AddRecipient("b@example.org", 0);
  m.AddRecipient("c@example.org", 0xFFFFFFFF);
  ASSERT_EQ(m.Save(file), 0);
  EXPECT_EQ(test::TempDir::Read(file),
            "[job]\r\nname=x\r\n[smtp]\r\nfromaddress=me@example.org\r\nhost=smtp.example.org\r\ntoaddresscount=3\r\n"
            "toaddress0=a@example.org\r\ntoaddressflags0=$2000000\r\ntoaddress1=b@example.org\r\ntoaddressflags1=$0\r\n"
            "toaddress2=c@example.org\r\ntoaddressflags2=$FFFFFFFF\r\n");
  back.Host = back.User = "stale";
  ASSERT_EQ(back.Load(dir / "missing.mvj"), 0);
  EXPECT_EQ(std::tie(back.Host, back.User, back.FromAddress), std::make_tuple("", "", kDefaultFromAddress));
  back.User = "stale";
  ASSERT_EQ(back.Load(file), 0);
  EXPECT_EQ(std::tie(back.Host, back.User, back.FromAddress),
            std::make_tuple("smtp.example.org", "", "me@example.org"));
  EXPECT_EQ(Addresses(back), Addresses(m));
}

TEST_F(MailTest, LoadAddsRecipientsAndLoadOverReplacesThemOnlyWithAPositiveCount) {
  TMVMail m(nullptr);
  m.AddRecipient("present@X", 7);
  ASSERT_EQ(m.Load(dir.Write("job.mvj", "[smtp]\ntoaddresscount=5\ntoaddress0=A@Example.org\ntoaddressflags0=$2000000\n"
                                        "toaddress1=\ntoaddress2=a@example.ORG\ntoaddressflags2=1\n"
                                        "toaddress3=b@example.org\ntoaddressflags3=33554432\ntoaddress4=present@x\n")),
            0);
  // "$2000000" and "33554432" are the same flag word.
  EXPECT_EQ(Addresses(m),
            (std::vector<std::string>{"present@X=7", "A@Example.org=33554432", "b@example.org=33554432"}));
  ASSERT_EQ(m.Load(dir.Write("empty.mvj", "[smtp]\ntoaddresscount=0\ntoaddress0=x@y\n")), 0);
  EXPECT_EQ(m.Message.ToAddress.size(), 3u);  // a count of 0 leaves them as they were
  m.Host = "default-host", m.FromAddress = "default@x";
  ASSERT_EQ(m.LoadOver(dir.Write("t0.mvt", "[smtp]\nuser=template-user\ntoaddress0=ignored@x\n")), 0);
  EXPECT_EQ(std::tie(m.Host, m.User, m.FromAddress), std::make_tuple("default-host", "template-user", "default@x"));
  EXPECT_EQ(m.Message.ToAddress.size(), 3u);
  ASSERT_EQ(m.LoadOver(dir.Write("t1.mvt", "[smtp]\ntoaddresscount=2\ntoaddress0=x@y\ntoaddress1=X@Y\n"
                                           "toaddressflags0=$1000000\n")), 0);
  EXPECT_EQ(Addresses(m), std::vector<std::string>{"x@y=16777216"});
}

TEST_F(MailTest, BadFilesLoadSafelyAndInBoundedTime) {
  const std::string file = dir.Write("big.mvj", "[smtp]\ntoaddresscount=2000000000\n"
                                     "toaddress0=a@x\ntoaddress1999999999=far@x\ntoaddress7=b@x\n"
                                     "toaddress07=leading-zero@x\ntoaddress999=last@x\ntoaddress1000=over@x\n"
                                     "toaddressflags7=$1FFFFFFFF\ntoaddressflags0=-1\n");
  TMVMail m(nullptr), n(nullptr);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(m.Load(file), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  // A flag word wider than 32 bits gives 0.
  EXPECT_EQ(Addresses(m), (std::vector<std::string>{"a@x=4294967295", "b@x=0", "last@x=0"}));
  ASSERT_EQ(n.Load(dir.Write("neg.mvj", "[smtp]\ntoaddresscount=-5\ntoaddress0=a@x\n")), 0);
  EXPECT_TRUE(n.Message.ToAddress.empty());
  dir.Write("adir/x", ""), n.Host = "kept";
  EXPECT_EQ(n.Load(dir / "adir"), -1);
  EXPECT_EQ(n.LoadOver(dir / "adir"), -1);
  EXPECT_EQ(n.Host, "kept");
}

TEST_F(MailTest, LineBreaksInValuesCannotBreakTheFile) {
  TMVMail m(nullptr), back(nullptr);
  m.Host = "host\r\n[evil]";
  m.AddRecipient("a@x\r\ntoaddresscount=99\r\n[evil]\r\nk=v", 0);
  m.AddRecipient("b@x\nuser=injected", kRecipientSomethingDone);
  const std::string file = dir / "job.mvj";
  ASSERT_EQ(m.Save(file), 0);
  EXPECT_EQ(ProfileSections(file), std::vector<std::string>{"smtp"});
  EXPECT_EQ(ProfileKeys(file, "smtp"), (std::vector<std::string>{"host", "toaddresscount", "toaddress0",
                                                                 "toaddressflags0", "toaddress1", "toaddressflags1"}));
  ASSERT_EQ(back.Load(file), 0);
  EXPECT_EQ(std::tie(back.Host, back.User), std::make_tuple("host", ""));
  EXPECT_EQ(Addresses(back), (std::vector<std::string>{"a@x=0", "b@x=33554432"}));
}

TEST_F(MailTest, SecurityAndLoginSettingsRoundTripAndNoPasswordIsKept) {
  const std::string file = dir.Write("MIRAVA0.MVJ", "[smtp]\r\nhost=mail.example.org:587\r\nsecurity=starttls\r\n"
                                     "cafile=/etc/ca.pem\r\nlogin=robot\r\npasswordfile=/home/u/.smtp.pw\r\n"
                                     "passwordenv=SMTP_PW\r\npassword=hunter2\r\n");
  TMVMail m(nullptr);
  ASSERT_EQ(m.Load(file), 0);
  EXPECT_EQ(std::tie(m.Security, m.CaFile, m.Login, m.PasswordFile, m.PasswordEnv),
            std::make_tuple("starttls", "/etc/ca.pem", "robot", "/home/u/.smtp.pw", "SMTP_PW"));
  ASSERT_EQ(m.Save(file), 0);
  const std::string saved = test::TempDir::Read(file);
  EXPECT_EQ(saved, "[smtp]\r\nhost=mail.example.org:587\r\nsecurity=starttls\r\ncafile=/etc/ca.pem\r\n"
                   "login=robot\r\npasswordfile=/home/u/.smtp.pw\r\npasswordenv=SMTP_PW\r\ntoaddresscount=0\r\n");
  // A template's empty keys keep the defaults; a plain file clears them.
  ASSERT_EQ(m.LoadOver(dir.Write("t.mvt", "[smtp]\r\nhost=other\r\n")), 0);
  EXPECT_EQ(std::tie(m.Security, m.Login), std::make_tuple("starttls", "robot"));
  ASSERT_EQ(m.Load(dir.Write("plain.mvj", "[smtp]\r\nhost=other\r\n")), 0);
  EXPECT_EQ(std::tie(m.Security, m.CaFile, m.Login, m.PasswordFile, m.PasswordEnv),
            std::make_tuple("", "", "", "", ""));
  const std::vector<std::pair<std::string, TMailSecurity>> modes = {
      {"", msNone}, {"NONE", msNone}, {"STARTTLS", msStartTls}, {"Tls", msTls}, {"ssl", msInvalid}, {"tls ", msInvalid}};
  for (const auto& [text, mode] : modes) EXPECT_EQ(MailSecurityOf(text), mode) << text;
}

}  // namespace
}  // namespace mv
