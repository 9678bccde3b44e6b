// "Select", the source definition chooser: names for "New", and what "Apply" reports.

#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include "app/prompt.h"
#include "dialogs/mvmacro.h"
#include "tests/dialogs/modal.h"

using namespace mv;
using mv::test::WhenShown;

namespace {

void Click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(4, w->height() / 2)); }

void ClickRow(QListWidget* list, int row) {
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
}

}  // namespace

class MacroFormTest : public QObject {
  Q_OBJECT
 private slots:
  void newNamesAreCheckedBeforeTheyJoinTheList() {
    const std::vector<std::string> names{"Daily"};
    const struct {
      std::string name, error;
    } cases[] = {{"Daily Backup 2", ""},
                 {"Backup_1", "Invalid characters"},
                 {"Daily", "Duplicate entry"},
                 {"daily", ""},
                 {std::string(255, 'a'), ""},
                 {std::string(256, 'a'), "Invalid characters"}};
    for (const auto& c : cases) QCOMPARE(NewSourceNameError(c.name, names), c.error);

    ScriptedPrompt prompt;
    prompt.ExpectInput("Enter Name", "Backup_1").ExpectError("Invalid characters");
    prompt.ExpectInput("Enter Name", "Daily Backup 2");
    TMVMacroForm form(prompt);
    form.Prepare(names);
    form.show();
    QVERIFY(!form.ApplyButton()->isEnabled());
    auto* newButton = form.findChild<QPushButton*>("BTNNew");
    Click(newButton);
    QCOMPARE(form.List()->count(), 1);
    Click(newButton);
    QTRY_COMPARE(form.List()->count(), 2);
    QCOMPARE(form.Selected(), std::string("Daily Backup 2"));
    QVERIFY(form.ApplyButton()->isEnabled());
    QVERIFY(prompt.Complete());
  }

  // Choosing an existing entry after "New" must not store over it.
  void onlyTheEntryMadeByNewCountsAsNew() {
    ScriptedPrompt prompt;
    prompt.ExpectInput("Enter Name", "Fresh").ExpectInput("Enter Name", "Fresh");
    TMVMacroForm form(prompt);
    for (const bool pickNew : {false, true}) {
      WhenShown<TMVMacroForm>([pickNew](TMVMacroForm& f) {
        Click(f.findChild<QPushButton*>("BTNNew"));
        QTRY_COMPARE(f.List()->count(), 2);
        ClickRow(f.List(), pickNew ? 1 : 0);
        QTRY_VERIFY(f.ApplyButton()->isEnabled());
        Click(f.ApplyButton());
      });
      std::string chosen;
      bool created = false;
      QVERIFY(form.Choose({"Daily"}, chosen, created));
      QCOMPARE(chosen, std::string(pickNew ? "Fresh" : "Daily"));
      QCOMPARE(created, pickNew);
    }
    QVERIFY(prompt.Complete());
  }
};

QTEST_MAIN(MacroFormTest)
#include "mvmacro_test.moc"
