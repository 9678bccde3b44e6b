#include "dirview/ttdirlistview.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QEventLoop>
#include <QApplication>
#include <QHeaderView>
#include <QItemSelection>
#include <QResizeEvent>
#include <algorithm>
#include <thread>

#include "app/prompt.h"

namespace mv {

namespace {

// Runs a listing read on a thread of its own and keeps the event loop going
// until it is done, so a slow folder or a remote instance never freezes the
// window. The pane ignores new reads while one runs.
void ReadOffMainThread(const std::function<void()>& work) {
  QEventLoop loop;
  std::thread reader([&] {
    work();
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  reader.join();
}

QColor LabelColor(PaneLabelColour c) {
  switch (c) {
    case PaneLabelColour::Blue: return Qt::blue;
    case PaneLabelColour::Green: return QColor(0, 0x80, 0);
    case PaneLabelColour::Red: return Qt::red;
    default: return Qt::black;
  }
}

}  // namespace

TTDirListView::TTDirListView(int32_t number, Prompt& prompt, QLabel* nameLabel, QWidget* parent)
    : QTableView(parent), pane_(number), prompt_(prompt), label_(nameLabel) {
  pane_.SetReadRunner(ReadOffMainThread);
  model_ = new DirListModel(pane_, this);
  setModel(model_);
  pane_.AddObserver(this);
  setObjectName(number == 0 ? "LVLeft" : "LVRight");
  setAccessibleName(number == 0 ? "Source directory" : "Target directory");
  setProperty("helpContext", kDirViewHelpContext);
  setEditTriggers(NoEditTriggers);
  setSelectionBehavior(SelectRows);
  setSelectionMode(ExtendedSelection);
  setShowGrid(true);
  setWordWrap(false);
  setSortingEnabled(false);
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  horizontalHeader()->setHighlightSections(false);
  const QFontMetrics fm = fontMetrics();
  nameWidth_ = fm.horizontalAdvance("Dokumente und Einstellungen") + 24;
  setColumnWidth(0, nameWidth_);
  setColumnWidth(1, fm.horizontalAdvance("Size (KB)") + fm.horizontalAdvance("XX"));
  setColumnWidth(2, fm.horizontalAdvance("00.00.0000 00:00:00XX"));
  setIconSize(QSize(16, 16));
  setHorizontalScrollMode(ScrollPerPixel);
  connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int section) {
    if (section != 0) FitNameColumn();
  });
  setAutoFillBackground(true);

  menu_ = new QMenu(this);
  createFolder_ = menu_->addAction("Create folder", this, [this] {
    pane_.CreateFolder(prompt_);
    emit Changed();
  });
  menu_->addSeparator();
  delete_ = menu_->addAction("Delete", this, [this] {
    pane_.DeleteSelected(prompt_);
    emit Changed();
  });
  rename_ = menu_->addAction("Rename", this, [this] {
    pane_.RenameCurrent(prompt_);
    emit Changed();
  });

  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { FromView(); });
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            if (!syncing_) pane_.SetCurrent(current.isValid() ? current.row() : -1, false);
          });
  connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
    if (index.isValid() && pane_.Open(index.row())) emit Changed();
  });
  setVisible(false);
  RefreshLabel();
}

TTDirListView::~TTDirListView() {
  pane_.RemoveObserver(this);
  delete model_;
  model_ = nullptr;
}

QMenu* TTDirListView::PopupMenu() {
  createFolder_->setEnabled(pane_.CanCreateFolder());
  delete_->setEnabled(pane_.CanDelete());
  rename_->setEnabled(pane_.CanRename());
  return menu_;
}

void TTDirListView::contextMenuEvent(QContextMenuEvent* event) {
  PopupMenu()->popup(event->globalPos());
}

void TTDirListView::keyPressEvent(QKeyEvent* event) {
  const QModelIndex current = currentIndex();
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && current.isValid() &&
      pane_.IsDirAt(current.row())) {
    if (pane_.Open(current.row())) emit Changed();
    return;
  }
  QTableView::keyPressEvent(event);
}

void TTDirListView::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  FitNameColumn();
}

void TTDirListView::FitNameColumn() {
  const int rest = viewport()->width() - columnWidth(1) - columnWidth(2);
  setColumnWidth(0, std::max(nameWidth_, rest));
}

void TTDirListView::RefreshLabel() {
  if (!label_) return;
  label_->setText(QString::fromStdString(pane_.LabelText()));
  QPalette p = label_->palette();
  p.setColor(QPalette::WindowText, LabelColor(pane_.LabelColour()));
  label_->setPalette(p);
}

void TTDirListView::PaneReset() {
  setVisible(pane_.HasDirectory());
  ToView();
  RefreshLabel();
  emit Changed();
}

void TTDirListView::PaneSelectionChanged() {
  ToView();
  emit Changed();
}

void TTDirListView::PaneBusyChanged(bool busy) { setEnabled(!busy); }

// The user's selection goes to the pane.
void TTDirListView::FromView() {
  if (!syncing_) {
    std::vector<int32_t> rows;
    for (const QItemSelectionRange& r : selectionModel()->selection())
      for (int row = r.top(); row <= r.bottom(); ++row) rows.push_back(row);
    pane_.SetSelection(rows, false);
    emit Changed();
  }
  UpdateBackground();
}

// The pane's selection and current row go to the view, in ranges.
void TTDirListView::ToView() {
  if (!model_) return;
  syncing_ = true;
  QItemSelection selection;
  const std::vector<int32_t> rows = pane_.SelectedRows();
  const int last = model_->columnCount() - 1;
  for (size_t i = 0; i < rows.size();) {
    size_t j = i;
    while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1) ++j;
    selection.select(model_->index(rows[i], 0), model_->index(rows[j], last));
    i = j + 1;
  }
  selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
  const int current = pane_.Current();
  if (current >= 0) {
    selectionModel()->setCurrentIndex(model_->index(current, 0), QItemSelectionModel::NoUpdate);
    scrollTo(model_->index(current, 0));
  } else {
    selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
  }
  syncing_ = false;
  UpdateBackground();
}

void TTDirListView::UpdateBackground() {
  QPalette p = palette();
  p.setColor(QPalette::Base, pane_.SelectedCount() > 0 ? kSelectedBackground
                                                       : QApplication::palette().color(QPalette::Base));
  setPalette(p);
}

}  // namespace mv
