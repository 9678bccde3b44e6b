// A job whose filters and recipients were set in the job options, run by the
// real program's run queue: it copies what the filter selects and mails the
// recipient whose interests match, through a real SMTP server on loopback.

#include <gtest/gtest.h>

#include <filesystem>

#include "app/dirpane.h"
#include "app/jobeditor.h"
#include "app/mvmain.h"
#include "app/prompt.h"
#include "dialogs/joboptstate.h"
#include "tests/support/childprocess.h"
#include "tests/support/nodialogs.h"
#include "tests/support/tempdir.h"

namespace mv {
namespace {

namespace fs = std::filesystem;
using test::ChildProcess;
using test::NoDialogs;
using test::TempDir;
using test::WaitFor;

// Job > Options as a user fills it in, then Job > Save As.
void DefineJob(const TempDir& dir) {
  MiravaCore core;
  core.Startup({.Base = dir / "base"});
  ScriptedPrompt prompt;
  NoDialogs dialogs;
  DirPane left(0), right(1);
  JobEditor editor(core, prompt, dialogs, left, right);
  left.SetDirectory(dir / "src");
  right.SetDirectory(dir / "dst");
  editor.SetDescription("filtered");

  JobOptionsState options(JobOptionsViewOf(editor, core.Settings().OptionsEnabled));
  const auto add = [&](NameList list, const char* text) {
    options.PressNameList(list);
    options.NameEntry = text;
    options.AddName();
  };
  add(NameList::FilesInclude, "*.txt");
  add(NameList::FilesInclude, "*.csv");
  add(NameList::DirsExclude, "CACHEDIR");
  for (const auto& [address, bit] : {std::pair{"done@example.org", kRecipientSomethingDone},
                                     std::pair{"idle@example.org", kRecipientNothingToDo}}) {
    options.RecipientEntry = address;
    ASSERT_EQ(options.AddRecipient(), "");
    options.ClickRecipient(static_cast<int32_t>(options.Recipients.size()) - 1);
    options.SetMailBox(bit, true);
  }
  options.Apply();
  editor.SaveViewAs(core.Dirs().JobDir + "FILTERED.MVJ");
  EXPECT_TRUE(prompt.Complete());
  core.Shutdown();
}

TEST(JobOptionsEndToEnd, RunCopiesWhatTheFilterSelectsAndMailsTheMatchingRecipient) {
  TempDir dir, inbox;
  for (const char* f : {"src/a.txt", "src/b.tmp", "src/data.csv", "src/sub/c.txt", "src/sub/d.log",
                        "src/cachedir/e.txt"})
    dir.Write(f, f);
  fs::create_directories(dir / "dst");
  DefineJob(dir);

  const std::string script = (fs::path(MIRAVA_SOURCE_DIR) / "tests/mail/smtp_server.py").string();
  ChildProcess server({"/usr/bin/python3", script, inbox.path()}, dir / "server.log");
  ASSERT_TRUE(WaitFor([&] { return fs::exists(inbox / "port"); }, 20000)) << TempDir::Read(dir / "server.log");
  dir.Write("base/MIRAVA0.MVJ", "[smtp]\r\nhost=127.0.0.1:" + TempDir::Read(inbox / "port") +
                                    "\r\nuser=tester\r\nfromaddress=robot@example.org\r\n");

  setenv("MIRAVA_JOB_TIMER_MS", "200", 1);
  ChildProcess program({MIRAVA_BINARY, "--headless", "--base", dir / "base", "RUNJOB=filtered", "CLOSE"},
                       dir / "out.txt");
  unsetenv("MIRAVA_JOB_TIMER_MS");
  ASSERT_EQ(program.Wait(60000), 0) << TempDir::Read(dir / "out.txt");

  std::vector<std::string> copied;
  for (const auto& e : fs::recursive_directory_iterator(dir / "dst"))
    if (e.is_regular_file()) copied.push_back(fs::relative(e.path(), dir / "dst").string());
  std::sort(copied.begin(), copied.end());
  EXPECT_EQ(copied, (std::vector<std::string>{"a.txt", "data.csv", "sub/c.txt"}));

  ASSERT_TRUE(WaitFor([&] { return fs::exists(inbox / "0.eml"); }, 20000));
  const std::string envelope = TempDir::Read(inbox / "0.env");
  EXPECT_NE(envelope.find("done@example.org"), std::string::npos) << envelope;
  EXPECT_EQ(envelope.find("idle@example.org"), std::string::npos) << envelope;
  EXPECT_FALSE(fs::exists(inbox / "1.eml")) << "nothing to do did not happen";
  EXPECT_NE(TempDir::Read(inbox / "0.eml").find("(filtered)  FINISHED"), std::string::npos);
}

}  // namespace
}  // namespace mv
