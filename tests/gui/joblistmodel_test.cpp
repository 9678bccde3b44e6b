// The job list model over a running core: rows follow the list, the cells
// and images match the jobs, and sorting goes through the core.

#include <QAbstractItemModelTester>
#include <QIcon>
#include <QtTest>

#include "app/gui/joblistmodel.h"
#include "app/mvmain.h"
#include "platform/datetext.h"
#include "tests/support/tempdir.h"

using namespace mv;

class JobListModelTest : public QObject {
  Q_OBJECT

  TTFileThreadControl* Add(MiravaCore& core, const std::string& name, DateTime next = 0) {
    auto job = std::make_unique<TTFileThreadControl>(name, nullptr, core.Dirs().QueueDir,
                                                     core.Dirs().ControlDir, nullptr);
    job->Schedule->NextRun = next;
    job->Schedule->Hours = next > 0 ? 1 : 0;
    TTFileThreadControl* raw = job.get();
    core.Jobs().AddJob(std::move(job));
    return raw;
  }
  QStringList Column(const JobListModel& m, int column) {
    QStringList cells;
    for (int r = 0; r < m.rowCount(); ++r) cells << m.index(r, column).data().toString();
    return cells;
  }

  std::unique_ptr<test::TempDir> tmp_;
  std::unique_ptr<MiravaCore> core_;

 private slots:
  void init() {
    SetDateTimeFormatsForTesting("dd.mm.yyyy", "hh:nn:ss");
    tmp_ = std::make_unique<test::TempDir>();
    core_ = std::make_unique<MiravaCore>();
    StartOptions o;
    o.Base = tmp_->path();
    o.LogPage = [](const std::string&) {};
    core_->Startup(std::move(o));
  }
  void cleanup() {
    core_.reset();
    tmp_.reset();
    SetDateTimeFormatsForTesting("", "");
  }

  void rowsCellsAndImagesFollowTheList() {
    MiravaCore& core = *core_;
    Add(core, "existing");
    JobListModel model(core);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    TTFileThreadControl* timed = Add(core, "timed", EncodeDateTime({2026, 12, 5, 18, 30, 0, 0}));
    QCOMPARE(Column(model, 0), (QStringList{"existing", "timed"}));
    QCOMPARE(Column(model, 1), (QStringList{"no schedule", "18:30 05.12."}));
    QCOMPARE(model.index(1, 0).data(JobListModel::StatusCodeRole).toInt(), 8);
    QVERIFY(!model.index(1, 0).data(Qt::DecorationRole).value<QIcon>().isNull());

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    timed->Schedule->SetHold(true);
    core.Jobs().NotifyChanged(timed);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(model.index(1, 0).data(JobListModel::StatusCodeRole).toInt(), 9);

    (void)core.Jobs().RemoveAt(0);
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.JobAtRow(0), timed);
  }

};

QTEST_MAIN(JobListModelTest)
#include "joblistmodel_test.moc"
