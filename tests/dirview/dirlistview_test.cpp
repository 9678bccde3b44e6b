// The list view of a pane, offscreen: the model under the model tester,
// double click, the pop-up's Delete, and a window that goes on while a
// remote instance keeps a listing waiting.

#include <QAbstractItemModelTester>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "app/prompt.h"
#include "dirview/ttdirlistview.h"
#include "tests/support/tempdir.h"

using mv::test::TempDir;

namespace {

// A list view with its label and prompt, its model under the model tester.
struct ViewUnderTest {
  explicit ViewUnderTest(int number) : view(number, prompt, &label) {}
  mv::ScriptedPrompt prompt;
  QLabel label;
  mv::TTDirListView view;
  QAbstractItemModelTester tester{&view.Model(), QAbstractItemModelTester::FailureReportingMode::QtTest};
};

}  // namespace

class DirListViewTest : public QObject {
  Q_OBJECT
 private slots:
  void ModelColumnsAndRows() {
    TempDir dir;
    dir.Write("x/a.txt", std::string(1500, 'a'));
    dir.Write("x/sub/f", "1");
    ViewUnderTest t(0);
    auto& [prompt, label, view, tester] = t;
    QVERIFY(view.isHidden());
    view.Pane().SetDirectory(dir / "x");
    QVERIFY(!view.isHidden());
    QAbstractItemModel& m = view.Model();
    QCOMPARE(m.rowCount(), 3);
    QCOMPARE(m.index(2, 0).data().toString(), QString("a.txt"));
    QCOMPARE(m.index(2, 1).data().toString(), QString("2"));
    QVERIFY(!m.index(2, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
    QCOMPARE(label.text(), QString::fromStdString("() " + dir / "x/" + " [0]"));

    // An empty path hides the view.
    view.Pane().SetDirectory("");
    QVERIFY(view.isHidden());
    QCOMPARE(m.rowCount(), 0);
  }

  void DoubleClickAndPopupDelete() {
    TempDir dir;
    dir.Write("x/sub/f.txt", "1");
    dir.Write("x/b.txt", "1");
    ViewUnderTest t(1);
    auto& [prompt, label, view, tester] = t;
    view.resize(400, 300);
    view.Pane().SetDirectory(dir / "x");
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const QRect sub = view.visualRect(view.Model().index(1, 0));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, sub.center());
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, sub.center());
    QTRY_COMPARE(view.Pane().GetPath(), dir / "x/sub/");
    QCOMPARE(label.text(), QString::fromStdString("() " + dir / "x/sub/" + " [0]"));
    const QRect up = view.visualRect(view.Model().index(0, 0));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, up.center());
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, up.center());
    QTRY_COMPARE(view.Pane().GetPath(), dir / "x/");
    // The pop-up menu's "Delete" on the selection.
    view.selectRow(view.Pane().IndexOfExactName("b.txt"));
    QMenu* menu = view.PopupMenu();
    prompt.ExpectYesNo("Delete 1 entries?", true);
    menu->actions()[2]->trigger();
    QVERIFY(prompt.Complete());
    QVERIFY(!std::filesystem::exists(dir / "x/b.txt"));
    QCOMPARE(view.Model().rowCount(), 2);
  }

  // A remote instance that accepts and then says nothing: the read runs off
  // the main thread, timers keep firing, and when the peer goes the pane
  // shows the failure.
  void WindowGoesOnWhileARemoteListingWaits() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QVERIFY(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0);
    QVERIFY(listen(fd, 4) == 0);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    const uint16_t port = ntohs(a.sin_port);

    TempDir dir;
    ViewUnderTest t(1);
    auto& [prompt, label, view, tester] = t;
    view.Pane().SetRemotePort(port);
    view.Pane().SetRemoteServerName("127.0.0.1");
    int ticks = 0;
    bool disabledWhileReading = false;
    int peer = -1;
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&] {
      ++ticks;
      if (view.Pane().Busy()) disabledWhileReading = !view.isEnabled();
      // The greeting is waiting: the event loop runs. Now the peer goes away.
      if (ticks == 3) {
        peer = accept(fd, nullptr, nullptr);
        if (peer >= 0) close(peer);
        close(fd);
      }
    });
    timer.start(10);
    view.Pane().SetDirectory(dir.path());
    timer.stop();
    QVERIFY(ticks >= 3);
    QVERIFY(disabledWhileReading);
    QVERIFY(view.isEnabled());
    QCOMPARE(view.Pane().LastResult(), mv::kDirListNotConnected);
    QCOMPARE(view.Model().rowCount(), 0);
    QCOMPARE(label.palette().color(QPalette::WindowText), QColor(Qt::red));
    QVERIFY(label.text().endsWith("(127.0.0.1)"));
  }
};

QTEST_MAIN(DirListViewTest)
#include "dirlistview_test.moc"
