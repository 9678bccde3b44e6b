#pragma once
// The Log page as a Qt table model over a LogPage: columns "Job", "Time",
// "Error" and "Text"; a row is inserted for every added line and the first
// row removed when the page's budget drops it.
//
// Usage (window): LogPage page; core.AddObserver(&page) before core.Startup();
// auto* model = new LogModel(page, parent); view->setModel(model);
// connect(model, &LogModel::LastRowToSelect, ...) selects the last row as the
// page asks after a budget removal; connect(model, &LogModel::LinesChanged,
// ...) refreshes the status label (page.StatusText(...)).

#include <QAbstractTableModel>

#include "app/logpage.h"

namespace mv {

class LogModel : public QAbstractTableModel, public LogPageListener {
  Q_OBJECT
 public:
  // The page must outlive the model; the model is its only listener.
  explicit LogModel(LogPage& page, QObject* parent = nullptr);
  ~LogModel() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

  void LineAboutToBeAdded(int row) override;
  void LineAdded(int row) override;
  void FirstLineAboutToBeRemoved() override;
  void FirstLineRemoved() override;

 signals:
  // After every added line (the status label changes).
  void LinesChanged();
  // The budget removed the first line: the view selects this row (the last).
  void LastRowToSelect(int row);

 private:
  LogPage& page_;
};

}  // namespace mv
