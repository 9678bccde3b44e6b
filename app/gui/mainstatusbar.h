#pragma once
// The status bar of the main window: mails waiting, running job threads with
// their gauge, folder locks, and "CONTROL detected" while a controller runs.

#include <QStatusBar>

#include "app/mvmain.h"

class QLabel;
class QProgressBar;

namespace mv {

class MainStatusBar : public QStatusBar {
  Q_OBJECT
 public:
  explicit MainStatusBar(QWidget* parent = nullptr);

  // The DisplayTimer tick; the controller text follows the run-queue pass.
  void Show(const StatusValues& values);

  QLabel* MailLabel() const { return mail_; }
  QLabel* ThreadsLabel() const { return threads_; }
  QProgressBar* ThreadsGauge() const { return gauge_; }
  QLabel* LocksLabel() const { return locks_; }
  QLabel* ControlLabel() const { return control_; }
  bool ThreadsLabelRed() const { return red_; }

 private:
  QLabel* mail_;
  QLabel* threads_;
  QProgressBar* gauge_;
  QLabel* locks_;
  QLabel* control_;
  bool red_ = false;
};

}  // namespace mv
