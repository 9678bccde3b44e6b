// The window's questions as Qt boxes: texts with CR line breaks, the buttons
// that answer, and input boxes that keep the value on Cancel.

#include <QAbstractButton>
#include <QInputDialog>
#include <QMessageBox>
#include <QTest>

#include "app/gui/qtprompt.h"
#include "tests/dialogs/modal.h"

using mv::test::WhenShown;

class QtPromptTest : public QObject {
  Q_OBJECT
 private slots:
  void BoxesShowTheTextAndAnswerWithTheButtonPressed() {
    mv::QtPrompt prompt;
    struct Case {
      QMessageBox::StandardButton press;
      bool answer;
    };
    for (const Case c : {Case{QMessageBox::Yes, true}, Case{QMessageBox::No, false}}) {
      QString text;
      WhenShown<QMessageBox>([&](QMessageBox& box) {
        text = box.text();
        box.button(c.press)->click();
      });
      QCOMPARE(prompt.YesNo("Mirava", "JobID (0000002A) or\rJobname (x)\ralready in use"), c.answer);
      QCOMPARE(text, QString("JobID (0000002A) or\nJobname (x)\nalready in use"));
    }
    WhenShown<QMessageBox>([](QMessageBox& box) { box.button(QMessageBox::Cancel)->click(); });
    QCOMPARE(prompt.YesNoCancel("", "RESUBMIT job?"), mv::PromptAnswer::Cancel);
  }

  void InputReturnsTheTypedTextAndCancelKeepsTheValue() {
    mv::QtPrompt prompt;
    std::string value = "/srv";
    QString label;
    WhenShown<QInputDialog>([&](QInputDialog& d) {
      label = d.labelText();
      QCOMPARE(d.textValue(), QString("/srv"));
      d.setTextValue("/srv/nas");
      d.accept();
    });
    QVERIFY(prompt.Input("Change Directory", "Enter Directory Name (@)", value));
    QCOMPARE(value, std::string("/srv/nas"));
    QCOMPARE(label, QString("Enter Directory Name (@)"));
    WhenShown<QInputDialog>([](QInputDialog& d) {
      d.setTextValue("other");
      d.reject();
    });
    QVERIFY(!prompt.Input("Change Directory", "Enter Directory Name (@)", value));
    QCOMPARE(value, std::string("/srv/nas"));
  }
};

QTEST_MAIN(QtPromptTest)
#include "qtprompt_test.moc"
