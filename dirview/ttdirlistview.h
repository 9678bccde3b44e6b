#pragma once
// The list control of one pane: shows a DirPane in report style with grid
// lines and multiple selection, keeps the name label above it up to date,
// turns light green while something is selected, opens folders by double
// click and offers the pop-up menu. Listings are read off the main thread;
// the window goes on while a slow or remote folder is read.

#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QTableView>
#include <memory>

#include "app/dirpane.h"
#include "dirview/dirlistmodel.h"

namespace mv {

class Prompt;

// Light green while at least one entry is selected.
inline const QColor kSelectedBackground(0xD0, 0xFF, 0xD0);
inline constexpr int kDirViewHelpContext = 101;

class TTDirListView : public QTableView, public DirPaneObserver {
  Q_OBJECT
 public:
  // number 0: left (source) view, 1: right (target) view.
  TTDirListView(int32_t number, Prompt& prompt, QLabel* nameLabel, QWidget* parent = nullptr);
  ~TTDirListView() override;

  DirPane& Pane() { return pane_; }
  DirListModel& Model() { return *model_; }
  int32_t Number() const { return pane_.Number(); }

  // The pop-up menu as it would open now (for the keyboard, tests and pictures).
  QMenu* PopupMenu();
  void RefreshLabel();

  void PaneReset() override;
  void PaneSelectionChanged() override;
  void PaneBusyChanged(bool busy) override;

 signals:
  // The folder shown or the selection changed (the page recomputes its controls).
  void Changed();

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  // Enter opens the current folder, as a double click does.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void FromView();
  void ToView();
  void UpdateBackground();
  // "Filename" takes the width the other columns leave, never less than its own.
  void FitNameColumn();

  DirPane pane_;
  Prompt& prompt_;
  QPointer<QLabel> label_;
  DirListModel* model_;
  QMenu* menu_;
  QAction* createFolder_;
  QAction* delete_;
  QAction* rename_;
  int nameWidth_ = 0;
  bool syncing_ = false;
};

}  // namespace mv
