#pragma once
// "Global Options" (File > Options): mail server and login, speed unit and
// the resume switches. What OK changes lives in optionsstate.h.

#include <QDialog>
#include <array>

#include "dialogs/optionsstate.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;
class QTabWidget;

namespace mv {

class MiravaCore;

class TMVOptions : public QDialog {
  Q_OBJECT
 public:
  explicit TMVOptions(QWidget* parent = nullptr);

  // Shows values modally; on OK the controls are written back into values.
  bool Execute(ProgramOptions& values);

  void Show(const ProgramOptions& values);
  ProgramOptions Values() const;

 private:
  ProgramOptions shown_;
  QTabWidget* pages_;
  QLineEdit* host_;
  QLineEdit* user_;
  QComboBox* security_;
  QLineEdit* login_;
  QLineEdit* passwordFile_;
  QLineEdit* passwordEnv_;
  QLineEdit* caFile_;
  std::array<QRadioButton*, kSpeedUnitCount> units_{};
  QCheckBox* resumePath_;
  QCheckBox* resumeFile_;
};

// File > Options on a running program: shows the dialog and, on OK, applies
// and saves the options. True on OK (the caller then updates its controls).
bool EditProgramOptions(MiravaCore& core, TMVOptions& dialog);

}  // namespace mv
