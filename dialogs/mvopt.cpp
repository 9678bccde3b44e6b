#include "dialogs/mvopt.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/mvmain.h"

namespace mv {
namespace {

QLineEdit* Field(QFormLayout* form, const QString& caption, const char* objectName,
                 const QString& hint = {}) {
  auto* edit = new QLineEdit;
  edit->setObjectName(objectName);
  edit->setAccessibleName(QString(caption).remove('&'));
  if (!hint.isEmpty()) edit->setPlaceholderText(hint);
  auto* label = new QLabel(caption);
  label->setBuddy(edit);
  form->addRow(label, edit);
  return edit;
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

TMVOptions::TMVOptions(QWidget* parent) : QDialog(parent) {
  setObjectName("MVOptions");
  setWindowTitle("Global Options");
  pages_ = new QTabWidget;
  pages_->setObjectName("PCOptions");

  // Page "SMTP".
  auto* smtp = new QWidget;
  auto* form = new QFormLayout(smtp);
  host_ = Field(form, "&Host", "EDHost", "host or host:port");
  user_ = Field(form, "&User", "EDUser", "this machine's name");
  security_ = new QComboBox;
  security_->setObjectName("CBSecurity");
  security_->setAccessibleName("Security");
  for (const char* name : kMailSecurityNames) security_->addItem(name);
  auto* securityLabel = new QLabel("&Security");
  securityLabel->setBuddy(security_);
  form->addRow(securityLabel, security_);
  login_ = Field(form, "&Login", "EDLogin", "no login");
  passwordFile_ = Field(form, "&Password file", "EDPasswordFile", "readable by its owner only");
  passwordEnv_ = Field(form, "Password &variable", "EDPasswordEnv", "environment variable");
  caFile_ = Field(form, "&CA file", "EDCaFile", "the system's certificates");
  pages_->addTab(smtp, "SMTP");

  // Page "Misc".
  auto* misc = new QWidget;
  auto* unitBox = new QGroupBox("Speed unit");
  unitBox->setObjectName("RGSpeedUnit");
  auto* unitLayout = new QVBoxLayout(unitBox);
  for (int i = 0; i < kSpeedUnitCount; ++i) {
    units_[i] = new QRadioButton(kSpeedUnitCaptions[i]);
    units_[i]->setObjectName(QString("RBSpeedUnit%1").arg(i));
    units_[i]->setAccessibleName(kSpeedUnitCaptions[i]);
    unitLayout->addWidget(units_[i]);
  }
  auto* flowBox = new QGroupBox("Flow control");
  flowBox->setObjectName("GBFlowControl");
  auto* flowLayout = new QVBoxLayout(flowBox);
  resumePath_ = new QCheckBox("Resume Source &Path");
  resumePath_->setObjectName("CBResumePath");
  resumePath_->setAccessibleName("Resume Source Path");
  resumeFile_ = new QCheckBox("Resume Source &File");
  resumeFile_->setObjectName("CBResumeFile");
  resumeFile_->setAccessibleName("Resume Source File");
  flowLayout->addWidget(resumePath_);
  flowLayout->addWidget(resumeFile_);
  flowLayout->addStretch();
  auto* miscLayout = new QHBoxLayout(misc);
  miscLayout->addWidget(unitBox);
  miscLayout->addWidget(flowBox);
  pages_->addTab(misc, "Misc");

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("BTNOK");
  buttons->button(QDialogButtonBox::Ok)->setAccessibleName("OK");
  buttons->button(QDialogButtonBox::Cancel)->setObjectName("BTNCancel");
  buttons->button(QDialogButtonBox::Cancel)->setAccessibleName("Cancel");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pages_);
  layout->addWidget(buttons);
  resize(440, 330);
}

void TMVOptions::Show(const ProgramOptions& values) {
  shown_ = values;
  host_->setText(Q(values.Host));
  user_->setText(Q(values.User));
  // A mode the program does not know is shown as it stands, so OK does not change it unseen.
  while (security_->count() > 3) security_->removeItem(3);
  int index = security_->findText(Q(values.Security));
  if (index < 0) {
    security_->addItem(Q(values.Security));
    index = security_->count() - 1;
  }
  security_->setCurrentIndex(index);
  login_->setText(Q(values.Login));
  passwordFile_->setText(Q(values.PasswordFile));
  passwordEnv_->setText(Q(values.PasswordEnv));
  caFile_->setText(Q(values.CaFile));
  for (int i = 0; i < kSpeedUnitCount; ++i) {
    // Radio buttons are exclusive: unchecking needs the group off for a moment.
    units_[i]->setAutoExclusive(false);
    units_[i]->setChecked(i == values.SpeedUnit);
    units_[i]->setAutoExclusive(true);
  }
  resumePath_->setChecked(values.ResumeSourcePath);
  resumeFile_->setChecked(values.ResumeSourceFile);
}

ProgramOptions TMVOptions::Values() const {
  ProgramOptions v = shown_;  // a speed unit outside the choices stays unless one is picked
  v.Host = host_->text().toStdString();
  v.User = user_->text().toStdString();
  v.Security = security_->currentText().toStdString();
  v.Login = login_->text().toStdString();
  v.PasswordFile = passwordFile_->text().toStdString();
  v.PasswordEnv = passwordEnv_->text().toStdString();
  v.CaFile = caFile_->text().toStdString();
  for (int i = 0; i < kSpeedUnitCount; ++i)
    if (units_[i]->isChecked()) v.SpeedUnit = i;
  v.ResumeSourcePath = resumePath_->isChecked();
  v.ResumeSourceFile = resumeFile_->isChecked();
  return v;
}

bool TMVOptions::Execute(ProgramOptions& values) {
  Show(values);
  pages_->setCurrentIndex(0);
  host_->setFocus();
  if (exec() != QDialog::Accepted) return false;
  values = Values();
  return true;
}

bool EditProgramOptions(MiravaCore& core, TMVOptions& dialog) {
  ProgramOptions values = ReadProgramOptions(core);
  if (!dialog.Execute(values)) return false;
  if (!ApplyProgramOptions(core, values))
    core.AddLogLine("Settings could not be saved: " + core.Dirs().SettingsFile);
  return true;
}

}  // namespace mv
