#include "app/gui/logtab.h"

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>

namespace mv {

LogTab::LogTab(QWidget* parent) : QWidget(parent) {
  view_ = new QTableView(this);
  view_->setObjectName("LVLog");
  view_->setAccessibleName("Log");
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setSelectionMode(QAbstractItemView::SingleSelection);
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_->setWordWrap(false);
  view_->setShowGrid(false);
  view_->verticalHeader()->hide();
  view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 4);
  view_->horizontalHeader()->setStretchLastSection(true);
  view_->horizontalHeader()->setHighlightSections(false);
  view_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

  status_ = new QLabel("<no message>", this);
  status_->setObjectName("LBLogStatus");
  status_->setTextFormat(Qt::PlainText);
  status_->setAccessibleName(status_->text());

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(view_, 1);
  layout->addWidget(status_);
}

void LogTab::SetModel(QAbstractItemModel* model) {
  view_->setModel(model);
  SetColumnWidths();
}

void LogTab::SetColumnWidths() {
  if (!view_->model() || view_->model()->columnCount() < 4) return;
  const QFontMetrics fm = view_->fontMetrics();
  view_->setColumnWidth(0, fm.horizontalAdvance("AAAAAAAA") + 8);
  view_->setColumnWidth(1, fm.horizontalAdvance("00.00.0000 00:00:00") + 16);
  view_->setColumnWidth(2, fm.horizontalAdvance("Error") + 16);
}

void LogTab::SetStatusText(const QString& text) {
  status_->setText(text);
  status_->setAccessibleName(text);
}

void LogTab::SelectLast() {
  QAbstractItemModel* m = view_->model();
  if (!m || m->rowCount() == 0) return;
  const QModelIndex last = m->index(m->rowCount() - 1, 0);
  view_->setCurrentIndex(last);
  view_->scrollTo(last);
}

}  // namespace mv
