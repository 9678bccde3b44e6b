// "Global Options" on a running program: what it shows, what OK and Cancel do.

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QtTest>

#include "app/mvmain.h"
#include "dialogs/mvopt.h"
#include "mail/mailer.h"
#include "platform/profile.h"
#include "tests/dialogs/modal.h"
#include "tests/support/tempdir.h"

using namespace mv;
using mv::test::WhenShown;

namespace {

template <typename W>
W* Find(QWidget& window, const char* name) {
  W* w = window.findChild<W*>(name);
  if (w == nullptr) qWarning("no control %s", name);
  return w;
}

void Type(QWidget& window, const char* name, const QString& text) {
  auto* edit = Find<QLineEdit>(window, name);
  edit->setFocus();
  edit->selectAll();
  QTest::keyClicks(edit, text);
}

}  // namespace

class OptionsTest : public QObject {
  Q_OBJECT
 private slots:
  void init() {
    tmp = std::make_unique<test::TempDir>();
    lines.clear();
    core = std::make_unique<MiravaCore>();
    core->Startup({.Base = *tmp / "base", .LogPage = [this](const std::string& l) { lines << QString::fromStdString(l); }});
    lines.clear();
  }
  void cleanup() {
    core->Shutdown();
    core.reset();
    tmp.reset();
  }

  void okWithBothResumeBoxesUncheckedLogsTheMask() {
    TMVOptions dialog;
    WhenShown<TMVOptions>([](TMVOptions& d) {
      Type(d, "EDHost", "mail.example.org:2525");
      Type(d, "EDUser", "backup");
      Find<QTabWidget>(d, "PCOptions")->setCurrentIndex(1);
      // First start: both switches on.
      for (const char* box : {"CBResumePath", "CBResumeFile"}) {
        auto* b = Find<QCheckBox>(d, box);
        QTRY_VERIFY(b->isVisible());
        QVERIFY(b->isChecked());
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(4, b->height() / 2));
        QTRY_VERIFY(!b->isChecked());
      }
      auto* unit = Find<QRadioButton>(d, "RBSpeedUnit4");
      QTest::mouseClick(unit, Qt::LeftButton, {}, QPoint(4, unit->height() / 2));
      QTRY_VERIFY(unit->isChecked());
      QTest::keyClick(&d, Qt::Key_Return);
    });
    lines.clear();
    QVERIFY(EditProgramOptions(*core, dialog));
    QCOMPARE(lines, (QStringList{"backup", "FFCFFFFF"}));
    QCOMPARE(core->Settings().OptionsEnabled, 0xFFCFFFFFu);
    QCOMPARE(int(core->Settings().dspSpeedUnit), 4);
    const std::string file = core->Dirs().SettingsFile;
    QCOMPARE(ProfileReadString(file, "smtp", "host", ""), std::string("mail.example.org:2525"));
    QCOMPARE(ProfileReadString(file, "misc", "dspSpeedUnit", ""), std::string("4"));
  }

 private:
  std::unique_ptr<test::TempDir> tmp;
  std::unique_ptr<MiravaCore> core;
  QStringList lines;
};

QTEST_MAIN(OptionsTest)
#include "mvopt_test.moc"
