#include "mail/smtpclient.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>

#include "mail/base64.h"
#include "mail/mailer.h"
#include "mail/mailthread.h"
#include "mail/sockconn.h"
#include "platform/tcp.h"

namespace mv {
namespace {

using namespace std::chrono_literals;

// A scripted SMTP peer on a loopback port. Each command line gets the reply
// of the last rule it starts with ("250 ok" otherwise); a reply "" says
// nothing, "<close>" hangs up. Lines after DATA go unanswered until ".".
struct FakeServer {
  explicit FakeServer(std::string greeting, std::map<std::string, std::string> replies = {})
      : greeting(std::move(greeting)), rules(std::move(replies)) {
    rules.emplace("DATA", "354 go"), rules.emplace("QUIT", "221 bye");
    sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t len = sizeof a;
    ::bind(listener, reinterpret_cast<sockaddr*>(&a), len), ::listen(listener, 4);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    address = "127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    thread = std::thread([this] {
      for (int fd; Readable(listener) && (fd = ::accept(listener, nullptr, nullptr)) >= 0; ::close(fd)) Serve(fd);
    });
  }
  ~FakeServer() { stop = true; thread.join(); ::close(listener); }
  std::string Received() { std::lock_guard<std::mutex> lock(mutex); return received; }
  bool Readable(int fd) {  // waits for input until the server stops
    for (pollfd p{fd, POLLIN, 0}; !stop;) if (::poll(&p, 1, 20) > 0) return true;
    return false;
  }
  bool Say(int fd, const std::string& reply) {
    if (!reply.empty() && reply != "<close>") ::send(fd, (reply + "\r\n").data(), reply.size() + 2, MSG_NOSIGNAL);
    return reply != "<close>";
  }
  void Serve(int fd) {
    ++accepted;
    std::string pending, hello = greeting;
    char buf[4096];
    bool inData = false;  // lines after DATA wait for "."
    for (ssize_t n; Say(fd, hello) && Readable(fd) && (n = ::recv(fd, buf, sizeof buf, 0)) > 0; hello.clear()) {
      pending.append(buf, static_cast<size_t>(n));
      std::lock_guard<std::mutex> lock(mutex);
      received.append(buf, static_cast<size_t>(n));
      for (size_t lf; (lf = pending.find("\r\n")) != std::string::npos; pending.erase(0, lf + 2)) {
        const std::string line = pending.substr(0, lf);
        if (inData && line != ".") continue;
        std::string reply = "250 ok";
        for (const auto& [prefix, r] : rules)
          if (line.rfind(prefix, 0) == 0) reply = r;
        if (!Say(fd, reply) || line == "QUIT") return;
        inData = line == "DATA";
      }
    }
  }
  std::string greeting, address, received;
  std::map<std::string, std::string> rules;
  int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  std::atomic<bool> stop{false};
  std::atomic<int> accepted{0};
  std::mutex mutex;  // guards received
  std::thread thread;
};

TSmtpClient& Prepared(TSmtpClient& c, const std::string& host, std::vector<std::string> to) {
  c.Host = host, c.UserID = "tester", c.MailMessage.FromName = "Mirava", c.MailMessage.Subject = "Report";
  c.MailMessage.FromAddress = "robot@example.org", c.MailMessage.ToAddress = std::move(to);
  c.MailMessage.Body = {"line one", ".", ".hidden", "bare\nlf"};
  return c;
}

TEST(SockConn, ReachesAServerOverIPv6AndRefusesABadPort) {
  UniqueFd listener = ListenTcp("::1", 0);
  if (!listener.Valid()) GTEST_SKIP() << "no IPv6 loopback here";
  std::thread greeter([&] {
    if (WaitForFd(listener.Get(), POLLIN, TcpClock::now() + 10s) != FdWait::Ready) return;
    UniqueFd peer(::accept(listener.Get(), nullptr, nullptr));
    ::send(peer.Get(), "220 v6\r\n", 8, MSG_NOSIGNAL);
  });
  TSockConn conn;
  conn.Host = "[::1]:" + std::to_string(LocalPortOf(listener.Get()));
  ASSERT_TRUE(conn.Open()) << conn.LastError();
  std::string line;
  EXPECT_TRUE(conn.ReadLn(line)) << conn.LastError();
  EXPECT_EQ(line, "220 v6\r\n");
  greeter.join();
  for (const char* bad : {"[::1]:0", "[::1", "[::1]x", "host:99999"}) {
    TSockConn refused;
    refused.Host = bad;
    EXPECT_FALSE(refused.Open()) << bad;
    EXPECT_EQ(refused.LastError(), "Invalid Port") << bad;
  }
}

TEST(SmtpClient, RecipientEntries) {
  const std::vector<std::tuple<std::string, std::string, bool>> cases = {
      {"Jo Doe <jo@x.org>", "jo@x.org", true}, {"Jo: jo@x.org", " jo@x.org", true}, {"jo@x.org", "jo@x.org", true},
      {"a <b@x> c>", "b@x", false}, {"jo@x.org>\r\nDATA", "jo@x.org>\r\nDATA", false}, {"<a<b>", "a", false}};
  for (const auto& [entry, address, ok] : cases)
    EXPECT_EQ(std::make_pair(TSmtpClient::ExtractAddress(entry), TSmtpClient::AcceptableEntry(entry)),
              std::make_pair(address, ok)) << entry;
}

TEST(SmtpClient, HeaderTextCannotAddLinesAndDeclaresNonAscii) {
  std::string text;
  TSmtpClient c;
  Prepared(c, "", {"a@x"}).MailMessage.Subject = "Bericht f\xc3\xbcr J\xc3\xb6rg\r\nBcc: evil@x";
  c.MailMessage.Body = {"Gr\xc3\xbc\xc3\x9f" "e"};
  ASSERT_TRUE(c.BuildMessage(text));
  EXPECT_EQ(c.FinalHeader[2],
            "Subject: =?UTF-8?B?" + TBase64Encoder::Encode("Bericht f\xc3\xbcr J\xc3\xb6rg  Bcc: evil@x") + "?=");
  EXPECT_EQ(c.FinalHeader[4], "Content-Type: text/plain; charset=utf-8");
  EXPECT_EQ(c.FinalHeader[5], "Content-Transfer-Encoding: 8bit");
  c.MailMessage.ToAddress = {"J\xc3\xb6 <jo@x>"}, c.MailMessage.Subject = "a\r\nBcc: evil@x";
  ASSERT_TRUE(c.BuildMessage(text));
  EXPECT_EQ(c.FinalHeader[1], "To: =?UTF-8?B?" + TBase64Encoder::Encode("J\xc3\xb6") + "?= <jo@x>");
  EXPECT_EQ(c.FinalHeader[2], "Subject: a  Bcc: evil@x");
}

TEST(SmtpClient, WholeDialogueSkipsContinuedRepliesRefusedAndUnsafeRecipients) {
  // A continued line left unread would shift every later reply by one.
  FakeServer server("220-first\r\n 554 indented\r\n220 second",
                    {{"HELO", "250-hi\r\n250 there"}, {"RCPT TO:<no@", "550 unknown"}, {".", "250 queued"}});
  TSmtpClient c;
  Prepared(c, server.address, {"no@x", "Jo <jo@x>", "evil@x>\r\nRSET", "bad\n@x"}).MailMessage.ToCarbonCopy = {"c@x"};
  ASSERT_TRUE(c.Connect()) << c.LastError();
  ASSERT_TRUE(c.SendMail()) << c.LastError();
  EXPECT_TRUE(c.Disconnect()) << c.LastError();
  // Plain ASCII keeps the classic form; body lines are dot-stuffed and a bare LF cannot end the data.
  EXPECT_EQ(server.Received(),
            "HELO tester\r\nRSET\r\nMAIL FROM:<robot@example.org>\r\nRCPT TO:<no@x>\r\nRCPT TO:<jo@x>\r\n"
            "RCPT TO:<c@x>\r\nDATA\r\nFrom: Mirava<robot@example.org>\r\nTo: no@x,Jo <jo@x>\r\nCC: c@x\r\n"
            "Subject: Report\r\nMime-Version: 1.0\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n\r\n"
            "line one\r\n..\r\n..hidden\r\nbare\r\nlf\r\n.\r\nQUIT\r\n");
}

TEST(SmtpClient, FailuresEndTheSendWithTheirReason) {
  const std::vector<std::pair<std::map<std::string, std::string>, std::vector<std::string>>> cases = {
      {{{"MAIL FROM", "550 sender refused"}}, {"550 sender refused"}}, {{{"RSET", "500 what?\r\n"}}, {"500 what?"}},
      {{{".", "<close>"}}, {"Connection Closed", "Send Failed"}}, {{{"RCPT", "550 no"}}, {"No Recipient Accepted"}}};
  for (const auto& [rules, errors] : cases) {
    FakeServer server("220 hi", rules);
    TSmtpClient c;
    ASSERT_TRUE(Prepared(c, server.address, {"a@x"}).Connect());
    EXPECT_FALSE(c.SendMail());
    EXPECT_NE(std::find(errors.begin(), errors.end(), c.LastError()), errors.end()) << c.LastError();
  }
}

TEST(SmtpClient, SilentOrRamblingServersTimeOutOrAreCutOff) {
  FakeServer silent(""), endless(std::string(kMaxReplyLine + 10, '2'));
  TSmtpClient c;
  Prepared(c, silent.address, {"a@x"}).TimeOut = 200;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(c.Connect());
  EXPECT_EQ(c.LastError(), "Reply Timed out");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  Prepared(c, endless.address, {"a@x"});
  EXPECT_FALSE(c.Connect());
  EXPECT_EQ(c.LastError(), "Reply Too Long");
}

TEST(SmtpClient, SecureModesNeverFallBackToPlainText) {
  struct Case {
    TMailSecurity security;
    std::string greeting;
    std::map<std::string, std::string> rules;
    std::string sent, error;
  };
  const std::vector<Case> cases = {
      {msStartTls, "220 hi", {{"EHLO", "500 what?"}}, "EHLO tester\r\nHELO tester\r\n", "STARTTLS Not Offered"},
      {msStartTls, "220 hi", {{"EHLO", "250 STARTTLS"}, {"STARTTLS", "454 not now"}}, "EHLO tester\r\nSTARTTLS\r\n",
       "STARTTLS Refused (454 not now)"},
      // Plain text sent ahead of the handshake would pass for an encrypted reply.
      {msStartTls, "220 hi", {{"EHLO", "250 STARTTLS"}, {"STARTTLS", "220 go\r\n250 injected"}},
       "EHLO tester\r\nSTARTTLS\r\n", "Unexpected Data Before TLS"},
      {msStartTls, "554 go away", {}, "", "554 go away"}};
  for (const Case& t : cases) {
    FakeServer server(t.greeting, t.rules);
    TSmtpClient c;
    Prepared(c, server.address, {"a@x"}).Security = t.security;
    EXPECT_FALSE(c.Connect());
    EXPECT_EQ(c.LastError(), t.error);
    EXPECT_FALSE(c.Connected());
    EXPECT_FALSE(c.SendMail());
    EXPECT_TRUE(c.Disconnect());
    EXPECT_EQ(server.Received(), t.sent) << t.error;
  }
  // TLS from the first byte to a plain server: the handshake fails, no command goes out.
  FakeServer plain("220 hi");
  TSmtpClient c;
  Prepared(c, plain.address, {"a@x"}).Security = msTls;
  EXPECT_FALSE(c.Connect());
  EXPECT_EQ(c.LastError().rfind("TLS Handshake Failed", 0), 0u) << c.LastError();
  EXPECT_EQ(plain.Received().find("EHLO"), std::string::npos);
  // A server that never answers the handshake is given up on in time.
  FakeServer silent("");
  Prepared(c, silent.address, {"a@x"}).TimeOut = 200;
  EXPECT_FALSE(c.Connect());
  EXPECT_EQ(c.LastError(), "Handshake Timed out");
}

TEST(MailThread, ARefusedGreetingOrHeloStillTriesTheMail) {
  const std::vector<std::pair<std::string, std::map<std::string, std::string>>> cases = {
      {"554 busy", {}}, {"220 hi", {{"HELO", "550 who?"}}}};
  for (const auto& [greeting, rules] : cases) {
    FakeServer server(greeting, rules);
    TSmtpClient client;
    TMVMailer mailer(&client);
    client.Host = server.address;
    client.MailMessage.FromAddress = "robot@x";
    LoopSynchronizer sync;
    TMVMailThread thread(mailer, sync);
    mailer.DefaultMail->AddRecipient("a@x", kMailProgramEvent);
    mailer.SendText("Program initialized", kMailProgramEvent);
    ASSERT_TRUE(sync.RunUntil([&] { return server.Received().find("QUIT") != std::string::npos; }, 20s));
    EXPECT_NE(server.Received().find("MAIL FROM:<robot@x>\r\nRCPT TO:<a@x>\r\nDATA\r\n"), std::string::npos)
        << server.Received();
    thread.Terminate();
    ASSERT_TRUE(sync.RunUntil([&] { return thread.Finished(); }, 20s));
  }
}

// The main thread changes the settings while the mail thread is in the
// middle of a dialogue: that mail goes out whole with the set it started
// with, the next one with the new set.
TEST(MailThread, SettingsChangedOnTheMainThreadReachTheMailThreadWhole) {
  FakeServer server("220 hi");
  TSmtpClient client;
  TMVMailer mailer(&client);
  LoopSynchronizer sync;
  TMVMailThread thread(mailer, sync);
  TMVMail& settings = *mailer.DefaultMail;
  settings.Host = server.address;
  settings.AddRecipient("a@x", kMailProgramEvent);
  constexpr int kRounds = 10;
  for (int k = 0; k < kRounds; ++k) {
    settings.User = "u" + std::to_string(k), settings.FromAddress = "r" + std::to_string(k) + "@x";
    mailer.ConfigureClient();
    mailer.SendText("mail " + std::to_string(k), kMailProgramEvent);
    ASSERT_TRUE(sync.RunUntil([&] { return server.accepted == k + 1; }, 20s));
  }
  ASSERT_TRUE(sync.RunUntil([&] { return mailer.Count() == 0 && thread.Suspended(); }, 60s));
  std::string expected;
  for (int k = 0; k < kRounds; ++k)
    expected += "HELO u" + std::to_string(k) + "\r\nRSET\r\nMAIL FROM:<r" + std::to_string(k) + "@x>\r\n";
  std::string received = server.Received(), dialogue;
  for (size_t at = 0, end; (end = received.find("\r\n", at)) != std::string::npos; at = end + 2)
    if (received.compare(at, 4, "HELO") == 0 || received.compare(at, 4, "RSET") == 0 || received.compare(at, 4, "MAIL") == 0)
      dialogue += received.substr(at, end + 2 - at);
  EXPECT_EQ(dialogue, expected);
  EXPECT_EQ(mailer.Settings().UserID, "u" + std::to_string(kRounds - 1));
  thread.Terminate();
  ASSERT_TRUE(sync.RunUntil([&] { return thread.Finished(); }, 20s));
}

TEST(MailThread, DeadServerDoesNotHoldShutdown) {
  FakeServer dead("");
  TSmtpClient client;  // the default time-out of a minute applies
  client.Host = dead.address;
  TMVMailer mailer(&client);
  LoopSynchronizer sync;
  auto thread = std::make_unique<TMVMailThread>(mailer, sync);
  mailer.DefaultMail->AddRecipient("a@x", kMailProgramEvent);
  mailer.SendText("Program initialized", kMailProgramEvent);
  ASSERT_TRUE(sync.RunUntil([&] { return dead.accepted > 0; }, 20s));
  const auto start = std::chrono::steady_clock::now();
  thread->Terminate();
  sync.Shutdown();
  thread.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

}  // namespace
}  // namespace mv
