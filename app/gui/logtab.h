#pragma once
// The "Log" page: every line of the Log page in four columns ("Job",
// "Time", "Error", "Text") and the status label under them.

#include <QWidget>

class QAbstractItemModel;
class QLabel;
class QTableView;

namespace mv {

class LogTab : public QWidget {
  Q_OBJECT
 public:
  explicit LogTab(QWidget* parent = nullptr);

  // The lines (not owned); column widths follow the texts of the columns.
  void SetModel(QAbstractItemModel* model);
  void SetStatusText(const QString& text);
  // After a line was added and one removed: the last line is selected and shown.
  void SelectLast();

  QTableView* View() const { return view_; }
  QLabel* StatusLabel() const { return status_; }

 private:
  void SetColumnWidths();

  QTableView* view_;
  QLabel* status_;
};

}  // namespace mv
