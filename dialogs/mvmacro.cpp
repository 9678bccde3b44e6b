#include "dialogs/mvmacro.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include "app/prompt.h"
#include "dialogs/mvhelp.h"

namespace mv {

namespace {

QPushButton* Button(const QString& caption, const char* objectName) {
  auto* b = new QPushButton(caption);
  b->setObjectName(objectName);
  b->setAccessibleName(QString(caption).remove('&'));
  b->setAutoDefault(false);
  return b;
}

}  // namespace

TMVMacroForm::TMVMacroForm(Prompt& prompt, QWidget* parent) : QDialog(parent), prompt_(prompt) {
  setObjectName("MVMacroForm");
  setWindowTitle("Select");
  setProperty("helpContext", kHelpSourceChooser);
  list_ = new QListWidget;
  list_->setObjectName("LBMacros");
  list_->setAccessibleName("Source definitions");
  apply_ = Button("&Apply", "BTNApply");
  apply_->setDefault(true);
  auto* cancel = Button("Cancel", "BTNCancel");
  delete_ = Button("&Delete", "BTNDelete");
  new_ = Button("&New", "BTNNew");
  connect(list_, &QListWidget::itemSelectionChanged, this, &TMVMacroForm::UpdateButtons);
  connect(list_, &QListWidget::itemDoubleClicked, this, [this] { apply_->click(); });
  connect(apply_, &QPushButton::clicked, this, [this] {
    if (!Selected().empty()) accept();
  });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(new_, &QPushButton::clicked, this, &TMVMacroForm::NewEntry);
  connect(new QShortcut(QKeySequence::HelpContents, this), &QShortcut::activated, this,
          [] { ShowHelpContext(kHelpSourceChooser); });

  auto* buttons = new QVBoxLayout;
  for (QPushButton* b : {apply_, cancel, delete_, new_}) buttons->addWidget(b);
  buttons->addStretch();
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addLayout(buttons);
  resize(380, 260);
}

void TMVMacroForm::Prepare(const std::vector<std::string>& names) {
  list_->clear();
  for (const std::string& n : names) list_->addItem(QString::fromStdString(n));
  list_->setCurrentRow(-1);
  list_->clearSelection();
  added_.clear();
  setProperty("tag", 0);
  UpdateButtons();
}

bool TMVMacroForm::Choose(const std::vector<std::string>& names, std::string& chosen, bool& created) {
  Prepare(names);
  if (exec() != QDialog::Accepted || Selected().empty()) return false;
  chosen = Selected();
  // Only the entry "New" made here may be stored as new: another one
  // chosen after "New" is an existing definition and keeps its contents.
  created = IsNewEntry(chosen);
  return true;
}

std::string TMVMacroForm::Selected() const {
  const auto items = list_->selectedItems();
  return items.isEmpty() ? std::string() : items.front()->text().toStdString();
}

void TMVMacroForm::NewEntry() {
  std::string name;
  if (!prompt_.Input("New entry", "Enter Name", name)) return;
  std::vector<std::string> names;
  for (int i = 0; i < list_->count(); ++i) names.push_back(list_->item(i)->text().toStdString());
  const std::string error = NewSourceNameError(name, names);
  if (!error.empty()) {
    prompt_.Error(kPromptTitle, error);
    return;
  }
  list_->addItem(QString::fromStdString(name));
  list_->setCurrentRow(list_->count() - 1);
  added_.insert(name);
  setProperty("tag", 1);
  UpdateButtons();
}

void TMVMacroForm::UpdateButtons() {
  apply_->setEnabled(!list_->selectedItems().isEmpty());
  delete_->setEnabled(false);
}

}  // namespace mv
