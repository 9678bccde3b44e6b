#include "app/gui/joblisttab.h"

#include <QAbstractItemModel>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <functional>

#include "app/gui/valuelabel.h"
#include "icons/icons.h"

namespace mv {
namespace {

const char* const kParameterCaptions[] = {
    "Source Directory:", "Target Directory:",    "Action:",
    "Options:",          "Include Files:",       "Exclude Files:",
    "Include Directories:", "Exclude Directories:", "Source Macro:",
    "Notify:"};
const char* const kStatusCaptions[] = {
    "Source:",     "Target:",          "Total:",   "Success:", "Skipped:",
    "Errors:",     "Deleted:",         "Start Time:", "End Time:", "Last Error Code:",
    "Status:",     "Speed:",           "KB done:", "Average rate", "Last Complete Run:"};
const char* const kButtonCaptions[] = {"DELETE Job", "EDIT Job", "Reschedule Job",
                                       "Edit a copy of this Job", "Run NOW", "Start", "Pause",
                                       "Stop"};
const char* const kButtonNames[] = {"BTNDelete", "BTNEdit", "BTNReschedule", "BTNEditCopy",
                                    "BTNRunNow", "SBStart", "SBPause", "SBTerminate"};
static_assert(std::size(kParameterCaptions) == JoblistTab::ParameterCount);
static_assert(std::size(kStatusCaptions) == JoblistTab::StatusFieldCount);
static_assert(std::size(kButtonCaptions) == JoblistTab::ButtonCount);

// Lays the column widths out again whenever the list's visible width changes.
class ViewportWatcher : public QObject {
 public:
  ViewportWatcher(QObject* parent, std::function<void()> onResize)
      : QObject(parent), onResize_(std::move(onResize)) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Resize) onResize_();
    return false;
  }

 private:
  std::function<void()> onResize_;
};

}  // namespace

const char* JoblistTab::ParameterCaption(Parameter row) { return kParameterCaptions[row]; }
const char* JoblistTab::StatusCaption(StatusField field) { return kStatusCaptions[field]; }
const char* JoblistTab::ButtonCaption(Button button) { return kButtonCaptions[button]; }

JoblistTab::JoblistTab(QWidget* parent) : QWidget(parent) {
  auto* row = new QHBoxLayout;
  for (int b = DeleteJob; b <= RunNow; ++b) {
    auto* button = new QPushButton(kButtonCaptions[b], this);
    button->setObjectName(kButtonNames[b]);
    button->setAccessibleName(kButtonCaptions[b]);
    button->setEnabled(false);
    connect(button, &QPushButton::clicked, this, [this, b] { emit ButtonClicked(b); });
    buttons_[b] = button;
    row->addWidget(button);
  }
  row->addStretch();

  view_ = new QTableView(this);
  view_->setObjectName("LVJobs");
  view_->setAccessibleName("Joblist");
  view_->setProperty("helpContext", 201);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setSelectionMode(QAbstractItemView::SingleSelection);
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_->setShowGrid(true);
  view_->setWordWrap(false);
  view_->setTabKeyNavigation(false);
  view_->verticalHeader()->hide();
  view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view_->verticalHeader()->setDefaultSectionSize(qMax(20, view_->fontMetrics().height() + 6));
  view_->setIconSize(QSize(16, 16));
  view_->horizontalHeader()->setSectionsClickable(true);
  view_->horizontalHeader()->setHighlightSections(false);
  view_->horizontalHeader()->setStretchLastSection(false);
  // The selection stays visible while the list has no focus.
  QPalette p = view_->palette();
  p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Active, QPalette::Highlight));
  p.setColor(QPalette::Inactive, QPalette::HighlightedText,
             p.color(QPalette::Active, QPalette::HighlightedText));
  view_->setPalette(p);
  view_->viewport()->installEventFilter(new ViewportWatcher(this, [this] { SetColumnWidths(); }));
  connect(view_->horizontalHeader(), &QHeaderView::sectionClicked, this,
          [this](int column) { emit SortRequested(column); });

  auto* panels = new QVBoxLayout;
  panels->addWidget(BuildParameters());
  panels->addWidget(BuildStatus());
  panels->addStretch();

  auto* middle = new QHBoxLayout;
  middle->addWidget(view_, 5);
  middle->addLayout(panels, 6);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addLayout(middle, 1);
  ShowPanels(false);
}

QWidget* JoblistTab::BuildParameters() {
  parametersBox_ = new QGroupBox("Job Parameters", this);
  parametersBox_->setObjectName("GBJobParameters");
  parametersBox_->setAccessibleName("Job Parameters");
  auto* grid = new QGridLayout(parametersBox_);
  grid->setVerticalSpacing(2);
  for (int r = 0; r < ParameterCount; ++r) {
    auto* caption = new QLabel(kParameterCaptions[r], parametersBox_);
    auto* value = new ValueLabel(kParameterCaptions[r], parametersBox_);
    value->setObjectName(QString("LBParam%1").arg(r));
    caption->setBuddy(value);
    value->SetOnShow([this](const QString& c, const QString& v) { emit ParameterShown(c, v); });
    parameters_[r] = value;
    grid->addWidget(caption, r, 0);
    grid->addWidget(value, r, 1);
  }
  grid->setColumnStretch(1, 1);
  auto* hint = new QLabel("Click a parameter value to see the entire string", parametersBox_);
  hint->setObjectName("LBParamHint");
  hint->setAccessibleName(hint->text());
  QFont small = hint->font();
  small.setItalic(true);
  hint->setFont(small);
  grid->addWidget(hint, ParameterCount, 0, 1, 2);
  return parametersBox_;
}

QWidget* JoblistTab::BuildStatus() {
  statusBox_ = new QGroupBox("Job Status", this);
  statusBox_->setObjectName("GBJobStatus");
  statusBox_->setAccessibleName("Job Status");
  auto* grid = new QGridLayout(statusBox_);
  grid->setVerticalSpacing(2);
  auto value = [&](StatusField f) {
    QLabel* l = f == Source || f == Target
                    ? new ElidedLabel(kStatusCaptions[f], Qt::ElideMiddle, statusBox_)
                    : new QLabel(statusBox_);
    l->setObjectName(QString("LBStatus%1").arg(f));
    l->setTextFormat(Qt::PlainText);
    l->setAccessibleName(kStatusCaptions[f]);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    status_[f] = l;
    return l;
  };
  auto put = [&](StatusField f, int r, int c, int span = 1) {
    auto* caption = new QLabel(kStatusCaptions[f], statusBox_);
    QLabel* v = value(f);
    caption->setBuddy(v);
    grid->addWidget(caption, r, c);
    grid->addWidget(v, r, c + 1, 1, span);
  };
  put(Source, 0, 0, 5);
  put(Target, 1, 0, 5);
  put(Total, 2, 0);
  put(Success, 2, 2);
  put(Skipped, 2, 4);
  put(Errors, 3, 0);
  put(Deleted, 3, 2);
  put(LastErrorCode, 3, 4);
  put(StartTime, 4, 0, 2);
  put(EndTime, 5, 0, 2);
  put(Status, 6, 0, 5);
  put(Speed, 7, 0);
  grid->addWidget(value(AverageRate), 7, 2, 1, 2);
  put(KBDone, 7, 4);
  put(LastCompleteRun, 8, 0, 5);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(3, 1);
  grid->setColumnStretch(5, 1);

  progress_ = new QProgressBar(statusBox_);
  progress_->setObjectName("PBProgress");
  progress_->setAccessibleName("Progress");
  progress_->setRange(0, 100);
  progress_->setValue(0);
  grid->addWidget(progress_, 9, 0, 1, 6);

  auto* row = new QHBoxLayout;
  const char* icons[] = {"start", "pause", "stop"};
  for (int b = Start; b <= Terminate; ++b) {
    auto* button = new QPushButton(MiravaIcon(icons[b - Start]), kButtonCaptions[b], statusBox_);
    button->setObjectName(kButtonNames[b]);
    button->setAccessibleName(kButtonCaptions[b]);
    button->setToolTip(kButtonCaptions[b]);
    button->setEnabled(false);
    connect(button, &QPushButton::clicked, this, [this, b] { emit ButtonClicked(b); });
    buttons_[b] = button;
    row->addWidget(button);
  }
  row->addStretch();
  grid->addLayout(row, 10, 0, 1, 6);
  return statusBox_;
}

void JoblistTab::SetModel(QAbstractItemModel* model) {
  view_->setModel(model);
  if (!model) return;
  view_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  SetColumnWidths();
  connect(view_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (!selecting_) emit RowSelected(current.isValid() ? current.row() : -1);
          });
  connect(view_, &QTableView::clicked, this, [this](const QModelIndex& index) {
    if (!selecting_ && index.isValid()) emit RowSelected(index.row());
  });
}

void JoblistTab::SetColumnWidths() {
  if (!view_->model() || view_->model()->columnCount() < 2) return;
  const int time = view_->fontMetrics().horizontalAdvance("00.00.00 00:00:00");
  view_->setColumnWidth(1, time);
  view_->setColumnWidth(0, qMax(40, view_->viewport()->width() - time - 4));
}

void JoblistTab::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  SetColumnWidths();
}

void JoblistTab::SelectRow(int row) {
  if (!view_->model() || !view_->selectionModel()) return;
  selecting_ = true;
  if (row < 0 || row >= view_->model()->rowCount()) {
    view_->selectionModel()->clear();
  } else {
    const QModelIndex index = view_->model()->index(row, 0);
    view_->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view_->scrollTo(index);
  }
  selecting_ = false;
}

void JoblistTab::ShowPanels(bool visible) {
  parametersBox_->setVisible(visible);
  statusBox_->setVisible(visible);
}

void JoblistTab::SetParameter(Parameter row, const QString& value) { parameters_[row]->SetValue(value); }

void JoblistTab::SetStatus(StatusField field, const QString& value) {
  QLabel* l = status_[field];
  if (auto* elided = qobject_cast<ElidedLabel*>(l)) return elided->SetValue(value);
  if (l->text() == value) return;
  l->setText(value);
  l->setAccessibleDescription(value);
}

void JoblistTab::SetProgress(int percent) {
  if (progress_->value() != percent) progress_->setValue(percent);
}

void JoblistTab::EnableButton(Button button, bool enabled) { buttons_[button]->setEnabled(enabled); }

}  // namespace mv
