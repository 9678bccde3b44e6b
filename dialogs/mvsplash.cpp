#include "dialogs/mvsplash.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/mvmain.h"
#include "icons/icons.h"

namespace mv {

TSplashForm::TSplashForm(QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::Dialog) {
  setObjectName("SplashForm");
  setAccessibleName(kProgramTitle);
  setStyleSheet("#SplashForm { background: white; border: 1px solid #1d4a87; }");

  auto* logo = new QLabel;
  logo->setPixmap(MiravaIcon("mirava").pixmap(64, 64));
  logo->setAccessibleName(kProgramTitle);
  version_ = new QLabel(kProgramVersionText);
  version_->setObjectName("LBVersion");
  QFont big = version_->font();
  big.setPointSizeF(big.pointSizeF() * 1.6);
  big.setBold(true);
  version_->setFont(big);
  auto* blurb = new QLabel("Copies, mirrors, analyses and cleans\ndirectory trees as scheduled jobs.");
  blurb->setObjectName("LBBlurb");

  ok_ = new QPushButton("OK");
  ok_->setObjectName("BTNOK");
  ok_->setAccessibleName("OK");
  ok_->setDefault(true);
  ok_->setEnabled(false);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

  auto* text = new QVBoxLayout;
  text->addWidget(version_);
  text->addWidget(blurb);
  text->addStretch();
  auto* top = new QHBoxLayout;
  top->addWidget(logo, 0, Qt::AlignTop);
  top->addSpacing(12);
  top->addLayout(text, 1);
  auto* bottom = new QHBoxLayout;
  bottom->addStretch();
  bottom->addWidget(ok_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(20, 20, 20, 14);
  layout->addLayout(top);
  layout->addLayout(bottom);
}

void TSplashForm::ShowSplash() {
  modal_ = false;
  ok_->setEnabled(false);
  setModal(false);
  show();
  raise();
}

void TSplashForm::ShowInfo() {
  if (isVisible()) hide();
  modal_ = true;
  ok_->setEnabled(true);
  ok_->setFocus();
  exec();
  modal_ = false;
  ok_->setEnabled(false);
}

void TSplashForm::HideSplash() {
  if (isVisible() && !modal_) hide();
}

}  // namespace mv
