#pragma once
// The splash window: product name and version while the program starts, and
// the "Info" box of the Help menu.

#include <QDialog>

class QLabel;
class QPushButton;

namespace mv {

class TSplashForm : public QDialog {
  Q_OBJECT
 public:
  explicit TSplashForm(QWidget* parent = nullptr);

  // At program start: shown without waiting, OK disabled.
  void ShowSplash();
  // Help > "Info": shown modally until OK (or Esc).
  void ShowInfo();
  // The first AppTimer tick: hides the start-up splash, never the "Info" box.
  void HideSplash();
  bool ShownModally() const { return modal_; }

  QLabel* VersionLabel() const { return version_; }
  QPushButton* OkButton() const { return ok_; }

 private:
  QLabel* version_;
  QPushButton* ok_;
  bool modal_ = false;
};

}  // namespace mv
