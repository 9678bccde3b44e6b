#include "dialogs/mvjobsel.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QStringListModel>
#include <QVBoxLayout>

#include "app/joblist.h"
#include "dialogs/jobselstate.h"

namespace mv {

Tmvjobselform::Tmvjobselform(QWidget* parent) : QDialog(parent) {
  setObjectName("mvjobselform");
  setWindowTitle("Select Jobs");
  model_ = new QStringListModel(this);
  list_ = new QListView;
  list_->setObjectName("LBJobs");
  list_->setModel(model_);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  auto* label = new QLabel("&Jobs:");
  label->setBuddy(list_);
  list_->setAccessibleName("Jobs:");

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  ok_->setObjectName("BTNOK");
  ok_->setAccessibleName("OK");
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("BTNCancel");
  buttons->button(QDialogButtonBox::Cancel)->setAccessibleName("Cancel");
  connect(buttons, &QDialogButtonBox::accepted, this, &Tmvjobselform::Choose);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(list_, &QListView::doubleClicked, this, &Tmvjobselform::Choose);
  connect(list_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          &Tmvjobselform::UpdateButtons);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(list_);
  layout->addWidget(buttons);
  resize(300, 320);
}

void Tmvjobselform::Fill(const std::vector<std::string>& alreadyListed) {
  chosen_.clear();
  QStringList names;
  if (jobs_ != nullptr)
    for (const std::string& name : JobSelectionNames(*jobs_, alreadyListed))
      names << QString::fromStdString(name);
  model_->setStringList(names);
  if (!names.isEmpty()) list_->setCurrentIndex(model_->index(0));
  UpdateButtons();
}

std::string Tmvjobselform::Execute(const std::vector<std::string>& alreadyListed) {
  Fill(alreadyListed);
  list_->setFocus();
  if (exec() != QDialog::Accepted) chosen_.clear();
  return chosen_;
}

std::vector<std::string> Tmvjobselform::Offered() const {
  std::vector<std::string> names;
  for (const QString& n : model_->stringList()) names.push_back(n.toStdString());
  return names;
}

void Tmvjobselform::Choose() {
  const QModelIndex current = list_->currentIndex();
  chosen_ = current.isValid() ? current.data().toString().toStdString() : std::string();
  accept();
}

void Tmvjobselform::UpdateButtons() { ok_->setEnabled(list_->currentIndex().isValid()); }

}  // namespace mv
