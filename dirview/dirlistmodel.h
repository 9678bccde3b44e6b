#pragma once
// The rows of one pane for a Qt view: name, size in KB and date, with the
// entry's state image.

#include <QAbstractTableModel>
#include <QIcon>
#include <array>

#include "app/dirpane.h"

namespace mv {

class DirListModel : public QAbstractTableModel, public DirPaneObserver {
  Q_OBJECT
 public:
  explicit DirListModel(DirPane& pane, QObject* parent = nullptr);
  ~DirListModel() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // The state image of that number (see kImage*).
  static QIcon StateIcon(int image);

  void PaneAboutToReset() override;
  void PaneReset() override;

 private:
  DirPane& pane_;
  int rows_ = 0;  // what the view was told
};

}  // namespace mv
