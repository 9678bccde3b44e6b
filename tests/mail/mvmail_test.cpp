#include "mail/mvmail.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/profile.h"
#include "tests/support/tempdir.h"

namespace mv {

// Stands in for the mail queue: records what Send hands over.
namespace {
std::vector<std::unique_ptr<TMVMail>> enqueued;
TMVMailer* enqueuedTo = nullptr;
}  // namespace

void EnqueueMail(TMVMailer& mailer, const TMVMail& mail) {
  enqueuedTo = &mailer;
  enqueued.push_back(TMVMail::CreateCopy(mail));
}

namespace {

constexpr DateTime kT0 = 45000.25;

class MailTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetClockForTesting([] { return kT0; });
    enqueued.clear();
    enqueuedTo = nullptr;
  }
  void TearDown() override { SetClockForTesting({}); }

  std::vector<std::string> Addresses(const TMVMail& m) {
    std::vector<std::string> out;
    for (const auto& r : m.Message.ToAddress) out.push_back(r.Address);
    return out;
  }

  test::TempDir dir;
};

TEST_F(MailTest, CreateAndAddLine) {
  TMVMail m(nullptr);
  EXPECT_EQ(m.Created, kT0);
  EXPECT_EQ(m.Flags, 0u);
  EXPECT_TRUE(m.Message.Body.empty());
  m.AddLine("general", kMailGeneral);
  m.AddLine("done", kMailSomethingDone);
  m.AddLine("no class", 0);
  ASSERT_EQ(m.Message.Body.size(), 3u);
  EXPECT_EQ(m.Message.Body[1].Text, "done");
  EXPECT_EQ(m.Message.Body[1].Class, kMailSomethingDone);
  EXPECT_EQ(m.Flags, kMailGeneral | kMailSomethingDone);
}

TEST_F(MailTest, CreateCopyTakesEverythingButTheSender) {
  TMVMail src(nullptr);
  src.Created = 40000.5;
  src.Host = "smtp.example.org";
  src.User = "backup-host";
  src.FromAddress = "me@example.org";
  src.Subject = "Nightly";
  src.AddRecipient("a@example.org", kRecipientSomethingDone | kRecipientAttachLog);
  src.AddLine("line", kMailFailures);
  src.Message.Attachments.push_back("/var/log/job.log");

  std::unique_ptr<TMVMail> copy = TMVMail::CreateCopy(src);
  EXPECT_EQ(copy->Created, 40000.5);
  EXPECT_EQ(copy->Host, src.Host);
  EXPECT_EQ(copy->User, src.User);
  EXPECT_EQ(copy->FromAddress, "");
  EXPECT_EQ(copy->Subject, "Nightly");
  EXPECT_EQ(copy->Flags, kMailFailures);
  ASSERT_EQ(copy->Message.ToAddress.size(), 1u);
  EXPECT_EQ(copy->Message.ToAddress[0].Flags, kRecipientSomethingDone | kRecipientAttachLog);
  ASSERT_EQ(copy->Message.Body.size(), 1u);
  EXPECT_EQ(copy->Message.Body[0].Class, kMailFailures);
  EXPECT_EQ(copy->Message.Attachments, src.Message.Attachments);

  // The copy is independent of its source.
  copy->AddLine("more", 1);
  copy->Message.ToAddress[0].Address = "changed";
  EXPECT_EQ(src.Message.Body.size(), 1u);
  EXPECT_EQ(src.Message.ToAddress[0].Address, "a@example.org");
}

TEST_F(MailTest, AssignKeepsBodySubjectFlagsAndSender) {
  TMVMail src(nullptr);
  src.Created = 1.5;
  src.Host = "h";
  src.User = "u";
  src.FromAddress = "src@x";
  src.Subject = "src subject";
  src.AddRecipient("r@x", kRecipientNothingToDo);
  src.Message.Attachments = {"att"};
  src.AddLine("src line", kMailGeneral);

  TMVMail dst(nullptr);
  dst.FromAddress = "dst@x";
  dst.Subject = "dst subject";
  dst.AddRecipient("old@x", 1);
  dst.AddLine("dst line", kMailFinished);
  dst.Assign(src);
  EXPECT_EQ(dst.Created, 1.5);
  EXPECT_EQ(dst.Host, "h");
  EXPECT_EQ(dst.User, "u");
  EXPECT_EQ(Addresses(dst), std::vector<std::string>{"r@x"});
  EXPECT_EQ(dst.Message.Attachments, std::vector<std::string>{"att"});
  EXPECT_EQ(dst.FromAddress, "dst@x");
  EXPECT_EQ(dst.Subject, "dst subject");
  EXPECT_EQ(dst.Flags, kMailFinished);
  ASSERT_EQ(dst.Message.Body.size(), 1u);
  EXPECT_EQ(dst.Message.Body[0].Text, "dst line");
}

TEST_F(MailTest, SendHandsACopyToTheMailerAndClearsTheBody) {
  int marker = 0;
  auto* mailer = reinterpret_cast<TMVMailer*>(&marker);  // only its address is used
  TMVMail m(mailer);
  m.Subject = "s";
  m.AddRecipient("r@x", kRecipientSomethingDone);
  m.Message.Attachments = {"a"};
  m.AddLine("l1", kMailSomethingDone);
  m.Send();
  ASSERT_EQ(enqueued.size(), 1u);
  EXPECT_EQ(enqueuedTo, mailer);
  EXPECT_EQ(enqueued[0]->Flags, kMailSomethingDone);
  EXPECT_EQ(enqueued[0]->Message.Body.size(), 1u);
  EXPECT_TRUE(m.Message.Body.empty());
  EXPECT_EQ(m.Flags, 0u);
  EXPECT_EQ(m.Subject, "s");
  EXPECT_EQ(m.Message.ToAddress.size(), 1u);
  EXPECT_EQ(m.Message.Attachments.size(), 1u);

  TMVMail orphan(nullptr);
  orphan.AddLine("x", 2);
  orphan.Send();
  EXPECT_EQ(enqueued.size(), 1u);
  EXPECT_TRUE(orphan.Message.Body.empty());
  EXPECT_EQ(orphan.Flags, 0u);
}

TEST_F(MailTest, SaveWritesEveryKeyAndLoadReadsThemBack) {
  std::string file = dir.Write("job.mvj", "[job]\r\nname=x\r\n");
  TMVMail m(nullptr);
  m.Host = "smtp.example.org";
  m.AddRecipient("a@example.org", kRecipientSomethingDone);
  m.AddRecipient("b@example.org", 0);
  m.AddRecipient("c@example.org", 0xFFFFFFFF);
  ASSERT_EQ(m.Save(file), 0);
  EXPECT_EQ(test::TempDir::Read(file),
            "[job]\r\nname=x\r\n[smtp]\r\nhost=smtp.example.org\r\ntoaddresscount=3\r\n"
            "toaddress0=a@example.org\r\ntoaddressflags0=$2000000\r\n"
            "toaddress1=b@example.org\r\ntoaddressflags1=$0\r\n"
            "toaddress2=c@example.org\r\ntoaddressflags2=$FFFFFFFF\r\n");

  TMVMail back(nullptr);
  back.User = "stale";
  ASSERT_EQ(back.Load(file), 0);
  EXPECT_EQ(back.Host, "smtp.example.org");
  EXPECT_EQ(back.User, "");
  EXPECT_EQ(back.FromAddress, kDefaultFromAddress);
  ASSERT_EQ(back.Message.ToAddress.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(back.Message.ToAddress[i].Address, m.Message.ToAddress[i].Address);
    EXPECT_EQ(back.Message.ToAddress[i].Flags, m.Message.ToAddress[i].Flags);
  }
}

TEST_F(MailTest, SaveReplacesTheWholeSectionButKeepsTheUsersSender) {
  std::string file = dir.Write("MIRAVA0.MVJ",
                               "[smtp]\r\nhost=old\r\nuser=old\r\nfromaddress=me@example.org\r\n"
                               "toaddresscount=9\r\ntoaddress8=gone@x\r\nextra=1\r\n[other]\r\nk=v\r\n");
  TMVMail m(nullptr);
  m.User = "greeting";
  m.FromAddress = "never-written@x";
  ASSERT_EQ(m.Save(file), 0);
  EXPECT_EQ(ProfileKeys(file, "smtp"), (std::vector<std::string>{"fromaddress", "user", "toaddresscount"}));
  EXPECT_EQ(ProfileReadString(file, "smtp", "fromaddress", ""), "me@example.org");
  EXPECT_EQ(ProfileReadString(file, "smtp", "toaddresscount", ""), "0");
  EXPECT_EQ(ProfileReadString(file, "other", "k", ""), "v");

  TMVMail none(nullptr);
  std::string fresh = dir / "fresh.mvj";
  ASSERT_EQ(none.Save(fresh), 0);
  EXPECT_EQ(test::TempDir::Read(fresh), "[smtp]\r\ntoaddresscount=0\r\n");
}

TEST_F(MailTest, LoadAddsRecipientsSkippingEmptyAndDuplicates) {
  std::string file = dir.Write("job.mvj",
                               "[smtp]\ntoaddresscount=5\n"
                               "toaddress0=A@Example.org\ntoaddressflags0=$2000000\n"
                               "toaddress1=\n"
                               "toaddress2=a@example.ORG\ntoaddressflags2=1\n"
                               "toaddress3=b@example.org\ntoaddressflags3=33554432\n"
                               "toaddress4=present@x\n");
  TMVMail m(nullptr);
  m.AddRecipient("present@X", 7);
  ASSERT_EQ(m.Load(file), 0);
  EXPECT_EQ(Addresses(m), (std::vector<std::string>{"present@X", "A@Example.org", "b@example.org"}));
  EXPECT_EQ(m.Message.ToAddress[0].Flags, 7u);
  // "$2000000" and "33554432" are the same flag word.
  EXPECT_EQ(m.Message.ToAddress[1].Flags, 0x2000000u);
  EXPECT_EQ(m.Message.ToAddress[2].Flags, 0x2000000u);

  // A count of 0 leaves the recipients as they were.
  std::string empty = dir.Write("empty.mvj", "[smtp]\ntoaddresscount=0\ntoaddress0=x@y\n");
  ASSERT_EQ(m.Load(empty), 0);
  EXPECT_EQ(m.Message.ToAddress.size(), 3u);
}

TEST_F(MailTest, LoadDefaultsAndFailures) {
  TMVMail m(nullptr);
  m.Host = "before";
  ASSERT_EQ(m.Load(dir / "missing.mvj"), 0);
  EXPECT_EQ(m.Host, "");
  EXPECT_EQ(m.FromAddress, kDefaultFromAddress);
  EXPECT_TRUE(m.Message.ToAddress.empty());

  dir.Write("adir/x", "");
  m.Host = "kept";
  EXPECT_EQ(m.Load(dir / "adir"), -1);
  EXPECT_EQ(m.LoadOver(dir / "adir"), -1);
  EXPECT_EQ(m.Host, "kept");
}

TEST_F(MailTest, AbsurdCountsLoadInBoundedTime) {
  std::string file = dir.Write("big.mvj",
                               "[smtp]\ntoaddresscount=2000000000\n"
                               "toaddress0=a@x\ntoaddress1999999999=far@x\ntoaddress7=b@x\n"
                               "toaddress07=leading-zero@x\ntoaddress999=last@x\ntoaddress1000=over@x\n"
                               "toaddressflags7=$1FFFFFFFF\ntoaddressflags0=-1\n");
  TMVMail m(nullptr);
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(m.Load(file), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(Addresses(m), (std::vector<std::string>{"a@x", "b@x", "last@x"}));
  EXPECT_EQ(m.Message.ToAddress[0].Flags, 0xFFFFFFFFu);
  EXPECT_EQ(m.Message.ToAddress[1].Flags, 0u);  // wider than 32 bits

  std::string negative = dir.Write("neg.mvj", "[smtp]\ntoaddresscount=-5\ntoaddress0=a@x\n");
  TMVMail n(nullptr);
  ASSERT_EQ(n.Load(negative), 0);
  EXPECT_TRUE(n.Message.ToAddress.empty());
  n.AddRecipient("keep@x", 0);
  ASSERT_EQ(n.LoadOver(negative), 0);
  EXPECT_EQ(Addresses(n), std::vector<std::string>{"keep@x"});
}

TEST_F(MailTest, LoadOverKeepsDefaultsAndReplacesOnlyWithAPositiveCount) {
  TMVMail m(nullptr);
  m.Host = "default-host";
  m.User = "default-user";
  m.FromAddress = "default@x";
  m.AddRecipient("default-recipient@x", kRecipientAllFailed);

  std::string noCount = dir.Write("t0.mvt", "[smtp]\nuser=template-user\ntoaddress0=ignored@x\n");
  ASSERT_EQ(m.LoadOver(noCount), 0);
  EXPECT_EQ(m.Host, "default-host");
  EXPECT_EQ(m.User, "template-user");
  EXPECT_EQ(m.FromAddress, "default@x");
  EXPECT_EQ(Addresses(m), std::vector<std::string>{"default-recipient@x"});

  std::string withCount = dir.Write("t1.mvt",
                                    "[smtp]\ntoaddresscount=2\ntoaddress0=x@y\ntoaddress1=X@Y\n"
                                    "toaddressflags0=$1000000\n");
  ASSERT_EQ(m.LoadOver(withCount), 0);
  EXPECT_EQ(Addresses(m), std::vector<std::string>{"x@y"});
  EXPECT_EQ(m.Message.ToAddress[0].Flags, kRecipientNothingToDo);
}

TEST_F(MailTest, LineBreaksInValuesCannotBreakTheFile) {
  TMVMail m(nullptr);
  m.Host = "host\r\n[evil]";
  m.AddRecipient("a@x\r\ntoaddresscount=99\r\n[evil]\r\nk=v", 0);
  m.AddRecipient("b@x\nuser=injected", kRecipientSomethingDone);
  EXPECT_EQ(m.Message.ToAddress[0].Address, "a@x\r\ntoaddresscount=99\r\n[evil]\r\nk=v");  // held as given
  std::string file = dir / "job.mvj";
  ASSERT_EQ(m.Save(file), 0);
  EXPECT_EQ(ProfileSections(file), std::vector<std::string>{"smtp"});
  EXPECT_EQ(ProfileKeys(file, "smtp"),
            (std::vector<std::string>{"host", "toaddresscount", "toaddress0", "toaddressflags0", "toaddress1",
                                      "toaddressflags1"}));
  TMVMail back(nullptr);
  ASSERT_EQ(back.Load(file), 0);
  EXPECT_EQ(back.Host, "host");
  EXPECT_EQ(back.User, "");
  EXPECT_EQ(Addresses(back), (std::vector<std::string>{"a@x", "b@x"}));
}

TEST_F(MailTest, TakeClientSettings) {
  TMVMail m(nullptr);
  m.TakeClientSettings("mail.local", "workstation");
  EXPECT_EQ(m.Host, "mail.local");
  EXPECT_EQ(m.User, "workstation");
}

}  // namespace
}  // namespace mv
