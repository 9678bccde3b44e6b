// The images load from the program's resources and draw something at list and
// high-DPI sizes (a broken SVG would render as an empty picture).

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QtTest>

#include "icons/icons.h"

class IconsTest : public QObject {
  Q_OBJECT
 private slots:
  void everyImageDrawsAtEverySize_data() {
    QTest::addColumn<QString>("name");
    for (const char* n : {"status-4", "status-6", "status-7", "status-8", "status-9", "start",
                          "pause", "stop", "mirava"})
      QTest::newRow(n) << QString(n);
  }
  void everyImageDrawsAtEverySize() {
    QFETCH(QString, name);
    QSvgRenderer svg(":/icons/" + name + ".svg");
    QVERIFY2(svg.isValid(), qPrintable(name));
    for (int size : {16, 32, 64}) {
      QImage image(size, size, QImage::Format_ARGB32);
      image.fill(Qt::transparent);
      QPainter painter(&image);
      svg.render(&painter);
      painter.end();
      int opaque = 0;
      for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) opaque += qAlpha(image.pixel(x, y)) > 128;
      // Each image covers a good part of its square, so it stays recognisable at 16 px.
      QVERIFY2(opaque > size * size / 5, qPrintable(QString("%1 at %2").arg(name).arg(size)));
    }
    const QPixmap hiDpi = mv::MiravaIcon(name.toLatin1().constData()).pixmap(QSize(16, 16), 2.0);
    QCOMPARE(hiDpi.size(), QSize(32, 32));
  }

  void jobStatesLookDifferent() {
    QList<QImage> seen;
    for (int code : {4, 6, 7, 8, 9}) {
      const QImage image = mv::JobStatusIcon(code).pixmap(16, 16).toImage();
      for (const QImage& other : seen) QVERIFY2(image != other, qPrintable(QString::number(code)));
      seen.append(image);
    }
  }
};

QTEST_MAIN(IconsTest)
#include "icons_test.moc"
