// The splash window at start and as Help > "Info".

#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "dialogs/mvsplash.h"
#include "tests/dialogs/modal.h"

using namespace mv;

class SplashTest : public QObject {
  Q_OBJECT
 private slots:
  void infoBoxWaitsForOkAndSurvivesTheTick() {
    TSplashForm splash;
    splash.ShowSplash();
    test::WhenShown<TSplashForm>([](TSplashForm& s) {
      QVERIFY(s.ShownModally());
      QVERIFY(s.OkButton()->isEnabled());
      s.HideSplash();  // an AppTimer tick while "Info" is open
      QVERIFY(s.isVisible());
      QTest::mouseClick(s.OkButton(), Qt::LeftButton);
    });
    splash.ShowInfo();
    QVERIFY(!splash.isVisible());
    QVERIFY(!splash.ShownModally());
    QVERIFY(!splash.OkButton()->isEnabled());
  }

};

QTEST_MAIN(SplashTest)
#include "mvsplash_test.moc"
