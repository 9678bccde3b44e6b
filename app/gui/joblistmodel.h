#pragma once
// The job list as a Qt table model over the core's JobList: columns "Job"
// and "Time", the state image of each job in column 0. Rows follow the
// core's changes; the model keeps only the row order it has announced (job
// pointers), never copies of the jobs.
//
// Usage (window): auto* model = new JobListModel(core, parent); view->setModel(model);
// header clicks: model->sort(section) (the order is the core's: names A..Z,
// times later first; the Qt sort order is ignored). Keep the view's current
// row in step with core.Jobs().Selected() (SelectionChanged) and call
// core.Jobs().Select(row) when the user picks a row. JobRole gives the job
// pointer, StatusCodeRole its state code.

#include <QAbstractTableModel>
#include <QIcon>
#include <map>
#include <vector>

#include "app/coreobserver.h"

namespace mv {

class MiravaCore;
class TTFileThreadControl;

inline constexpr int kJobColumn = 0;
inline constexpr int kTimeColumn = 1;

class JobListModel : public QAbstractTableModel, public CoreObserver {
  Q_OBJECT
 public:
  enum Roles { JobRole = Qt::UserRole + 1, StatusCodeRole };

  explicit JobListModel(MiravaCore& core, QObject* parent = nullptr);
  ~JobListModel() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  // Through the core's sort, so the run queue's order and the view agree.
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

  // The job shown in row, or null.
  TTFileThreadControl* JobAtRow(int row) const;

  void JobAdded(int index) override;
  void JobRemoved(int index) override;
  void JobChanged(int index) override;
  void ListSorted() override;

 private:
  QIcon StatusIcon(int code) const;

  MiravaCore& core_;
  // The order announced to the views; it changes only between the begin and
  // end signals of a change.
  std::vector<TTFileThreadControl*> rows_;
  mutable std::map<int, QIcon> icons_;
};

}  // namespace mv
