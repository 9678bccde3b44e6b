#pragma once
// "Select Jobs": picks one job of the job list for a chaining list of the
// schedule dialog.

#include <QDialog>
#include <string>
#include <vector>

class QListView;
class QPushButton;
class QStringListModel;

namespace mv {

class JobList;

class Tmvjobselform : public QDialog {
  Q_OBJECT
 public:
  explicit Tmvjobselform(QWidget* parent = nullptr);

  // The jobs to choose from (not owned; null: the list stays empty).
  void SetJobList(const JobList* jobs) { jobs_ = jobs; }

  // Lists the other jobs that alreadyListed does not hold yet and runs the
  // dialog. The chosen name, or empty on Cancel or without a choice.
  std::string Execute(const std::vector<std::string>& alreadyListed);

  // The names offered by the last Execute (also while it runs).
  std::vector<std::string> Offered() const;
  const std::string& Chosen() const { return chosen_; }

 private:
  void Fill(const std::vector<std::string>& alreadyListed);
  void Choose();
  void UpdateButtons();

  const JobList* jobs_ = nullptr;
  std::string chosen_;
  QStringListModel* model_;
  QListView* list_;
  QPushButton* ok_;
};

}  // namespace mv
