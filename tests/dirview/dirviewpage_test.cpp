// The Directory View page, offscreen, on a real program core: typed paths,
// the description, SUBMIT, the banner, the remote pane's question, and the
// editor saved on leaving.

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <filesystem>

#include "app/dirpane.h"
#include "app/mvmain.h"
#include "app/prompt.h"
#include "dirview/dirviewpage.h"
#include "dirview/ttdirlistview.h"
#include "platform/profile.h"
#include "tests/support/tempdir.h"

using mv::test::TempDir;

namespace {

QToolButton* Button(QWidget& page, int pane, const QString& name) {
  QList<QToolButton*> all;
  for (QToolButton* b : page.findChildren<QToolButton*>())
    if (b->accessibleName() == name) all.push_back(b);
  return all.size() > pane ? all[pane] : nullptr;
}

}  // namespace

class DirViewPageTest : public QObject {
  Q_OBJECT
 private slots:
  void DefineSubmitEditAndKeepTheState() {
    TempDir dir;
    dir.Write("src/a.txt", "1");
    std::filesystem::create_directories(dir / "dst");
    mv::MiravaCore core;
    mv::StartOptions o;
    o.Base = dir / "base";
    core.Startup(std::move(o));
    mv::ScriptedPrompt prompt;
    {
      mv::DirViewPage page(core, prompt);
      int schedules = 0;
      page.SetScheduleEditor([&](mv::TTSchedule& s) {
        ++schedules;
        s.Queued = true;
        s.Hours = 2;
        return true;
      });
      page.resize(920, 560);
      page.show();
      QVERIFY(QTest::qWaitForWindowExposed(&page));
      QCOMPARE(page.Banner()->text(), QString("New job"));
      QVERIFY(!page.SubmitButton()->isEnabled());

      prompt.ExpectInput("Enter Directory Name (@)", dir / "src");
      QTest::mouseClick(Button(page, 0, "Enter Directory Name"), Qt::LeftButton);
      QTRY_COMPARE(page.LeftView().Pane().GetPath(), dir / "src/");
      QVERIFY(!page.SubmitButton()->isEnabled());  // a COPY job needs its target
      prompt.ExpectInput("Enter Directory Name (@)", dir / "dst");
      QTest::mouseClick(Button(page, 1, "Enter Directory Name"), Qt::LeftButton);
      QTRY_VERIFY(page.SubmitButton()->isEnabled());

      auto* description = page.findChild<QLineEdit*>("EDDescription");
      description->clear();
      QTest::keyClicks(description, "Page job");
      QCOMPARE(page.Editor().Description(), std::string("Page job"));
      QTest::keyClick(description, Qt::Key_Return);  // Enter in the name submits
      QCOMPARE(schedules, 1);
      QTRY_COMPARE(core.Jobs().Count(), 1);
      QVERIFY(!page.SubmitButton()->isEnabled());  // the same name is taken now
      QTest::keyClick(description, Qt::Key_Return);  // now it does nothing
      QCOMPARE(schedules, 1);

      prompt.ExpectYesNo("EDIT job in directory view?", true);
      page.EditJob(0);
      QCOMPARE(page.Banner()->text(), QString("Editing existing job"));
      QCOMPARE(page.Banner()->palette().color(QPalette::Window), QColor(Qt::yellow));
      QVERIFY(page.SubmitButton()->isEnabled());
      QCOMPARE(page.findChild<QLabel*>("LBJobType")->text(), QString("COPY"));

      // A pane bound to a remote instance asks for the path in a box.
      page.RightView().Pane().SetRemotePort(1);
      page.RightView().Pane().SetRemoteServerName("127.0.0.1");
      prompt.ExpectInput("Select Directory", "", true);
      QTest::mouseClick(Button(page, 1, "Browse Directory"), Qt::LeftButton);
      QVERIFY(prompt.Complete());
    }
    // Leaving saved the editor (the editor test restores it).
    QCOMPARE(mv::ProfileReadString(dir / "base/MIRAVA.MVJ", "job", "description", ""), std::string("Page job"));
    core.Shutdown();
  }
};

QTEST_MAIN(DirViewPageTest)
#include "dirviewpage_test.moc"
