// The "Job Schedule" dialog driven as a user drives it: clicks, scripted
// answers to its questions, the job chooser; what OK stores.

#include <QCheckBox>
#include <QComboBox>
#include <QListView>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include "app/joblist.h"
#include "app/prompt.h"
#include "dialogs/mvjobsel.h"
#include "dialogs/mvscdlg.h"
#include "platform/clock.h"
#include "tests/dialogs/modal.h"
#include "tests/support/tempdir.h"

using namespace mv;
using mv::test::WhenShown;

namespace {

constexpr DateTime kNow = 46000.75;  // 18:00

TTSchedule DueNow() {
  TTSchedule r;
  r.NextRun = kNow;
  return r;
}

// A control of this window (not of a dialog it owns).
template <typename W>
W* Find(QWidget& window, const char* name) {
  for (W* w : window.findChildren<W*>(name))
    if (w->window() == &window) return w;
  qWarning("no control %s", name);
  return nullptr;
}

void Click(QWidget& parent, const char* name) {
  QPushButton* b = Find<QPushButton>(parent, name);
  QVERIFY(b != nullptr);
  QVERIFY2(b->isEnabled(), name);
  QTest::mouseClick(b, Qt::LeftButton);
}

}  // namespace

// Each case edits one due-now record; a question the case does not expect fails it.
class ScheduleFormTest : public QObject {
  Q_OBJECT
  std::unique_ptr<ScriptedPrompt> prompt;
  std::unique_ptr<TMVScheduleForm> form;
  TTSchedule record;

  // Opens the form on record, script driving it; true when left with OK.
  bool Edit(std::function<void(TMVScheduleForm&)> script) {
    WhenShown<TMVScheduleForm>(std::move(script));
    return form->EditSchedule(record);
  }

 private slots:
  void init() {
    SetClockForTesting([] { return kNow; });
    prompt = std::make_unique<ScriptedPrompt>();
    form = std::make_unique<TMVScheduleForm>(*prompt);
    record = DueNow();
  }
  void cleanup() {
    form.reset();
    SetClockForTesting({});
    QVERIFY2(prompt->Complete(), prompt->Failures().empty() ? "an expected question was not asked"
                                                            : prompt->Failures()[0].c_str());
  }

  void resetAsksFirst() {
    prompt->ExpectYesNo("RESET all entries to default?", false)
        .ExpectYesNo("RESET all entries to default?", true);
    record.NextRun = 45000.5;
    record.Hours = 2;
    record.Flags = SCHED_HOLD;
    record.Weekdays = 0x02;
    record.RunAfterSuccessEnabled = true;
    record.RunAfterSuccess = "A|B";
    QVERIFY(Edit([](TMVScheduleForm& f) {
      Click(f, "BTNReset");
      QCOMPARE(Find<QSpinBox>(f, "UDHours")->value(), 2);
      Click(f, "BTNReset");
      QTRY_COMPARE(Find<QSpinBox>(f, "UDHours")->value(), 0);
      Click(f, "BTNOK");
    }));
    QCOMPARE(record.Hours, 0);
    QCOMPARE(record.Flags, 0);
    QCOMPARE(record.Weekdays, 0x7F);
    QCOMPARE(record.RunAfterSuccess, std::string());
    QVERIFY(!record.RunAfterSuccessEnabled);
    QCOMPARE(record.NextRun, kNow);
  }

  void chainsFilledThroughSelectJobs() {
    mv::test::TempDir tmp;
    JobList jobs;
    for (const char* name : {"Backup A", "Nightly", "Backup B"})
      jobs.AddJob(std::make_unique<TTFileThreadControl>(name, nullptr, tmp.path(), tmp.path(),
                                                        nullptr));
    jobs.Select(1);  // the job whose schedule is edited
    form->SetJobList(&jobs);
    QVERIFY(Edit([](TMVScheduleForm& f) {
      for (int round = 0; round < 2; ++round) {
        WhenShown<Tmvjobselform>([round](Tmvjobselform& sel) {
          if (round == 0)
            QCOMPARE(sel.Offered(), (std::vector<std::string>{"Backup A", "Backup B"}));
          else
            QCOMPARE(sel.Offered(), (std::vector<std::string>{"Backup B"}));
          QTest::keyClick(sel.findChild<QListView*>("LBJobs"), Qt::Key_Return);
          QTRY_VERIFY(!sel.isVisible());
        });
        Click(f, "BTNAddSuccess");
      }
      QCOMPARE(Find<QComboBox>(f, "LBChainSuccess")->count(), 2);
      QCOMPARE(Find<QComboBox>(f, "LBChainSuccess")->currentIndex(), 0);
      // Nothing left to offer: Cancel adds nothing.
      WhenShown<Tmvjobselform>([](Tmvjobselform& sel) {
        QVERIFY(sel.Offered().empty());
        QVERIFY(!sel.findChild<QPushButton*>("BTNOK")->isEnabled());
        QTest::keyClick(&sel, Qt::Key_Escape);
      });
      Click(f, "BTNAddSuccess");
      QCOMPARE(Find<QComboBox>(f, "LBChainSuccess")->count(), 2);
      QTest::mouseClick(Find<QCheckBox>(f, "CBChainSuccess"), Qt::LeftButton, {}, QPoint(4, 8));
      Click(f, "BTNOK");
    }));
    QCOMPARE(record.RunAfterSuccess, std::string("Backup A|Backup B"));
    QVERIFY(record.RunAfterSuccessEnabled);
  }
};

QTEST_MAIN(ScheduleFormTest)
#include "mvscdlg_test.moc"
