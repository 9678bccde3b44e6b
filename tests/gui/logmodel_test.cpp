// The Log page model: a row per added line, the first row removed by the
// budget, the last row offered for selection then.

#include <QAbstractItemModelTester>
#include <QtTest>

#include "app/gui/logmodel.h"

using namespace mv;

class LogModelTest : public QObject {
  Q_OBJECT
 private slots:
  void rowsFollowThePageWithinItsBudget() {
    LogPage page(300);
    LogModel model(page);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy select(&model, &LogModel::LastRowToSelect);
    page.AddLogLine("@0000002A;05.12.2026 18:30:00;2;first");
    page.AddLogLine("@0000002A;05.12.2026 18:30:01;;second");
    page.AddLogLine("plain");
    QCOMPARE(model.rowCount(), 3);
    const auto cell = [&model](int row, int col) { return model.index(row, col).data().toString(); };
    QCOMPARE((QStringList{cell(0, 0), cell(1, 0), cell(0, 2), cell(2, 1), cell(2, 3)}),
             (QStringList{"0000002A", "", "2", "(time)", "plain"}));
    QCOMPARE(removed.count(), 0);

    // Each line past the budget takes exactly one line away.
    for (int i = 0; i < 10; ++i) page.AddLogLine(QByteArray(90, 'x').toStdString());
    QCOMPARE(inserted.count(), 13);
    QCOMPARE(removed.count(), 8);  // from the line that first passed 300 characters on
    QCOMPARE(model.rowCount(), 5);
    QCOMPARE(page.Chars(), 5 * 97);
    QCOMPARE(select.count(), removed.count());
    QCOMPARE(select.last().at(0).toInt(), model.rowCount() - 1);
    QCOMPARE(model.index(model.rowCount() - 1, 3).data().toString().size(), 90);
  }
};

QTEST_MAIN(LogModelTest)
#include "logmodel_test.moc"
