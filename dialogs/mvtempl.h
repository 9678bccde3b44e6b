#pragma once
// "Select Template": the descriptions of the templates in the template
// folder; "Apply" gives the chosen template's file.

#include <QDialog>
#include <string>
#include <vector>

#include "app/templatelist.h"

class QListWidget;
class QPushButton;

namespace mv {

class TMVTemplateForm : public QDialog {
  Q_OBJECT
 public:
  explicit TMVTemplateForm(QWidget* parent = nullptr);

  // Fills the list from templateDir; the first entry is selected.
  void Prepare(const std::string& templateDir);
  // Prepare, show modally; true with the chosen file on "Apply".
  bool Choose(const std::string& templateDir, std::string& path);
  // The chosen file ("" when none was chosen).
  const std::string& ChosenPath() const { return chosen_; }

  QListWidget* List() const { return list_; }
  QPushButton* ApplyButton() const { return apply_; }

 private:
  void Apply();

  QListWidget* list_;
  QPushButton* apply_;
  QPushButton* cancel_;
  std::vector<TemplateChoice> choices_;
  std::string chosen_;
};

}  // namespace mv
