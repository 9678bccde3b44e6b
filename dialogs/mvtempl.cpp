#include "dialogs/mvtempl.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace mv {

TMVTemplateForm::TMVTemplateForm(QWidget* parent) : QDialog(parent) {
  setObjectName("TMVTemplateForm");
  setWindowTitle("Select Template");
  list_ = new QListWidget(this);
  list_->setAccessibleName("Templates");
  apply_ = new QPushButton("Apply", this);
  cancel_ = new QPushButton("Cancel", this);
  apply_->setDefault(true);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(apply_);
  buttons->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_);
  layout->addLayout(buttons);
  resize(360, 280);
  connect(apply_, &QPushButton::clicked, this, &TMVTemplateForm::Apply);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  connect(list_, &QListWidget::itemDoubleClicked, this, &TMVTemplateForm::Apply);
}

void TMVTemplateForm::Prepare(const std::string& templateDir) {
  list_->clear();
  chosen_.clear();
  choices_ = ListTemplates(templateDir);
  for (const TemplateChoice& c : choices_) list_->addItem(QString::fromStdString(c.Description));
  if (!choices_.empty()) list_->setCurrentRow(0);
  apply_->setEnabled(!choices_.empty());
}

bool TMVTemplateForm::Choose(const std::string& templateDir, std::string& path) {
  Prepare(templateDir);
  if (exec() != QDialog::Accepted || chosen_.empty()) return false;
  path = chosen_;
  return true;
}

void TMVTemplateForm::Apply() {
  const int row = list_->currentRow();
  if (row < 0 || row >= static_cast<int>(choices_.size())) return;
  chosen_ = choices_[static_cast<size_t>(row)].Path;
  accept();
}

}  // namespace mv
