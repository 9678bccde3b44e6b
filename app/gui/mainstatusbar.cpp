#include "app/gui/mainstatusbar.h"

#include <QLabel>
#include <QProgressBar>

namespace mv {

MainStatusBar::MainStatusBar(QWidget* parent) : QStatusBar(parent) {
  setObjectName("StatusBar");
  setSizeGripEnabled(true);
  mail_ = new QLabel("Mailing queue: 0", this);
  mail_->setObjectName("LBMailQueue");
  threads_ = new QLabel("Threads:", this);
  threads_->setObjectName("LBThreads");
  gauge_ = new QProgressBar(this);
  gauge_->setObjectName("PBThreads");
  gauge_->setAccessibleName("Threads:");
  gauge_->setRange(0, 8);
  gauge_->setValue(0);
  gauge_->setFormat("%v");
  gauge_->setFixedWidth(120);
  locks_ = new QLabel("Folder locks: 0", this);
  locks_->setObjectName("LBFolderLocks");
  control_ = new QLabel(this);
  control_->setObjectName("LBControl");
  for (QLabel* l : {mail_, threads_, locks_}) l->setAccessibleName(l->text());
  control_->setAccessibleName("CONTROL detected");
  addWidget(mail_);
  addWidget(threads_);
  addWidget(gauge_);
  addWidget(locks_);
  addWidget(control_, 1);
}

void MainStatusBar::Show(const StatusValues& v) {
  mail_->setText("Mailing queue: " + QString::number(v.MailCount));
  mail_->setAccessibleName(mail_->text());
  if (red_ != v.QueueDisabled) {
    red_ = v.QueueDisabled;
    threads_->setStyleSheet(red_ ? "color: red" : "");
    threads_->setAccessibleDescription(red_ ? "queue disabled" : "");
  }
  gauge_->setMaximum(v.MaxThreads);
  gauge_->setValue(v.RunningThreads);
  locks_->setText("Folder locks: " + QString::number(v.FolderLocks));
  locks_->setAccessibleName(locks_->text());
  control_->setText(v.Controlled ? "CONTROL detected" : "");
}

}  // namespace mv
