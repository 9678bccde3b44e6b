// Every help context the program uses has a shipped page that explains it.

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

#include "dialogs/mvhelp.h"

using namespace mv;

namespace {

const int kContexts[] = {1, 2, 101, 201, 301, 302, 40, 42, 51};

}  // namespace

class HelpTest : public QObject {
  Q_OBJECT
 private slots:
  // The pages the program ships: every context has one, each a real page
  // whose links lead to pages that exist.
  void shippedPagesAreCompleteAndLinked() {
    const QString dir = QStringLiteral(MIRAVA_HELP_BUILD_DIR);
    for (int context : kContexts) {
      const QString page = HelpPagePath(context, {dir});
      QVERIFY2(page.endsWith(QString("context-%1.html").arg(context)), qPrintable(page));
      QFile f(page);
      QVERIFY(f.open(QIODevice::ReadOnly));
      const QString html = QString::fromUtf8(f.readAll());
      QVERIFY2(html.contains("<h1>"), qPrintable(page));
      QVERIFY2(html.size() > 1000, qPrintable(page));  // explains, not a placeholder
      const QRegularExpression link("(?:href|src)=\"([^\"#:]+)\"");
      for (auto m = link.globalMatch(html); m.hasNext();) {
        const QString target = m.next().captured(1);
        QVERIFY2(QFile::exists(QDir(dir).filePath(target)), qPrintable(page + " -> " + target));
      }
    }
  }

};

QTEST_MAIN(HelpTest)
#include "mvhelp_test.moc"
