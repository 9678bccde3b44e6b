// "<type> JOB Options": clicks reach the dialog state and OK stores it; the
// help button, refused recipients, the dialog opened from its page.

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QtTest>

#include "app/dirpane.h"
#include "app/mvmain.h"
#include "app/prompt.h"
#include "dialogs/mvhelp.h"
#include "dialogs/mvjopt.h"
#include "dirview/dirviewpage.h"
#include "tests/dialogs/modal.h"
#include "tests/support/tempdir.h"

using namespace mv;
using mv::test::WhenShown;

namespace {

struct View {
  int32_t type = JOB_COPY, conflict = 0;
  uint32_t direction = OPT_DIR_TO_TARGET, flags = 0;
  TTDirFilter filter{"", "", "", "", 16384};
  TMVMail mail{nullptr};
  uint32_t enabled = 0xFFFFFFFF;
  JobOptionsView Of() { return {&type, &conflict, &direction, &flags, &filter, &mail, false, enabled}; }
};

template <typename W>
W* Find(QWidget& d, const QString& name) {
  W* w = d.findChild<W*>(name);
  if (!w) qWarning("no control %s", qPrintable(name));
  return w;
}

void Click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(4, w->height() / 2)); }

void ShowPage(TMVJobOptions& d, JobOptionsPage page) { d.Pages()->setCurrentIndex(static_cast<int>(page)); }

// The address the help viewer was asked to open while act ran.
QString HelpOpenedBy(const std::function<void()>& act) {
  QUrl opened;
  SetHelpOpenerForTesting([&](const QUrl& url) { return opened = url, true; });
  act();
  SetHelpOpenerForTesting({});
  return opened.toString();
}

}  // namespace

class JobOptionsDialogTest : public QObject {
  Q_OBJECT
 private slots:
  void analyzeShowsItsPageAndHidesCopy() {
    View v;
    ScriptedPrompt prompt;
    TMVJobOptions d(prompt);
    d.Open(v.Of());
    d.show();
    QCOMPARE(d.windowTitle(), QString("COPY JOB Options"));
    QCOMPARE(d.HelpContext(), 40);
    const QString help = HelpOpenedBy([&] { Click(Find<QPushButton>(d, "BTNHelp")); });
    QVERIFY2(help.contains("context-40"), qPrintable(help));
    Click(Find<QRadioButton>(d, "RBJobType1"));
    QTRY_COMPARE(d.windowTitle(), QString("ANALYZE JOB Options"));
    QVERIFY(!d.Pages()->isTabVisible(1));
    QVERIFY(d.Pages()->isTabVisible(2));
  }

  void refusedRecipientIsExplainedAndFlagsReachTheMailRecord() {
    View v;
    ScriptedPrompt prompt;
    prompt.ExpectError(RecipientAddressProblem("<a@example.org> <b@example.org>"));
    TMVJobOptions d(prompt);
    WhenShown<TMVJobOptions>([](TMVJobOptions& dialog) {
      ShowPage(dialog, JobOptionsPage::Mail);
      auto* entry = Find<QLineEdit>(dialog, "EDRecipient");
      auto* list = Find<QListWidget>(dialog, "LBRecipients");
      QTest::keyClicks(entry, "<a@example.org> <b@example.org>");
      Click(Find<QPushButton>(dialog, "BTNAddRecipient"));
      QCOMPARE(list->count(), 0);
      QCOMPARE(entry->text(), QString("<a@example.org> <b@example.org>"));
      entry->clear();
      QTest::keyClicks(entry, "ops@example.org");
      Click(Find<QPushButton>(dialog, "BTNAddRecipient"));
      QTRY_COMPARE(list->count(), 1);
      auto* done = Find<QCheckBox>(dialog, "CBMail1");
      QVERIFY(!done->isEnabled());
      QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
      QTRY_VERIFY(done->isEnabled());
      QVERIFY(!Find<QCheckBox>(dialog, "CBMailReserved")->isEnabled());
      Click(done);
      QTRY_VERIFY(done->isChecked());
      Click(Find<QPushButton>(dialog, "BTNOK"));
    });
    QVERIFY(d.Execute(v.Of()));
    QVERIFY(prompt.Complete());
    QCOMPARE(v.mail.Message.ToAddress.size(), size_t(1));
    QCOMPARE(v.mail.Message.ToAddress[0].Flags, kRecipientSomethingDone);
  }

  // Job > Options on the Directory View page.
  void directoryViewPageOpensTheDialog() {
    test::TempDir dir;
    dir.Write("src/a.txt", "a");
    MiravaCore core;
    core.Startup({.Base = dir / "base"});
    {
      ScriptedPrompt prompt;
      DirViewPage page(core, prompt);
      page.Editor().Left().SetDirectory(dir / "src");
      WhenShown<TMVJobOptions>([](TMVJobOptions& d) {
        Click(Find<QRadioButton>(d, "RBJobType1"));
        QTRY_COMPARE(d.windowTitle(), QString("ANALYZE JOB Options"));
        Click(Find<QPushButton>(d, "BTNOK"));
      });
      page.JobOptions();
      QCOMPARE(page.Editor().ViewJobType, JOB_ANALYZE);
      QCOMPARE(page.Controls().JobTypeCaption, std::string("ANALYZE"));
      QVERIFY(prompt.Complete());
    }
    core.Shutdown();
  }
};

QTEST_MAIN(JobOptionsDialogTest)
#include "mvjopt_test.moc"
