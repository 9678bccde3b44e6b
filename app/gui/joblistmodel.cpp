#include "app/gui/joblistmodel.h"

#include <unordered_map>

#include "app/joblistpage.h"
#include "app/jobstatustext.h"
#include "app/mvmain.h"
#include "icons/icons.h"
#include "jobs/jobtext.h"

namespace mv {

JobListModel::JobListModel(MiravaCore& core, QObject* parent)
    : QAbstractTableModel(parent), core_(core) {
  const JobList& jobs = core_.Jobs();
  for (int32_t i = 0; i < jobs.Count(); ++i) rows_.push_back(jobs.JobAt(i));
  core_.AddObserver(this);
}

JobListModel::~JobListModel() { core_.RemoveObserver(this); }

int JobListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int JobListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 2; }

TTFileThreadControl* JobListModel::JobAtRow(int row) const {
  return (row >= 0 && row < static_cast<int>(rows_.size())) ? rows_[static_cast<size_t>(row)]
                                                           : nullptr;
}

QIcon JobListModel::StatusIcon(int code) const {
  auto it = icons_.find(code);
  if (it == icons_.end()) it = icons_.emplace(code, JobStatusIcon(code)).first;
  return it->second;
}

QVariant JobListModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
    return {};
  const TTFileThreadControl* job = JobAtRow(index.row());
  if (!job) return {};
  switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
      return QString::fromStdString(index.column() == kJobColumn ? job->Description
                                                                 : JobTimeColumnText(*job));
    case Qt::DecorationRole:
      if (index.column() == kJobColumn) return StatusIcon(StatusCode(*job));
      return {};
    case JobRole:
      return QVariant::fromValue(static_cast<void*>(const_cast<TTFileThreadControl*>(job)));
    case StatusCodeRole:
      return StatusCode(*job);
    default:
      return {};
  }
}

QVariant JobListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || (role != Qt::DisplayRole && role != Qt::AccessibleTextRole))
    return {};
  if (section == kJobColumn) return QStringLiteral("Job");
  if (section == kTimeColumn) return QStringLiteral("Time");
  return {};
}

void JobListModel::sort(int column, Qt::SortOrder) {
  if (column != kJobColumn && column != kTimeColumn) return;
  JoblistPageState(core_).SortBy(column);
}

void JobListModel::JobAdded(int index) {
  if (index < 0 || index > static_cast<int>(rows_.size())) return;
  beginInsertRows({}, index, index);
  rows_.insert(rows_.begin() + index, core_.Jobs().JobAt(index));
  endInsertRows();
}

void JobListModel::JobRemoved(int index) {
  if (index < 0 || index >= static_cast<int>(rows_.size())) return;
  beginRemoveRows({}, index, index);
  rows_.erase(rows_.begin() + index);
  endRemoveRows();
}

void JobListModel::JobChanged(int index) {
  if (index < 0 || index >= static_cast<int>(rows_.size())) return;
  emit dataChanged(this->index(index, 0), this->index(index, 1));
}

void JobListModel::ListSorted() {
  const JobList& jobs = core_.Jobs();
  if (jobs.Count() != static_cast<int32_t>(rows_.size())) {
    // Not a pure re-order: start over.
    beginResetModel();
    rows_.clear();
    for (int32_t i = 0; i < jobs.Count(); ++i) rows_.push_back(jobs.JobAt(i));
    endResetModel();
    return;
  }
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  std::unordered_map<const TTFileThreadControl*, int> newRow;
  newRow.reserve(static_cast<size_t>(jobs.Count()));
  for (int32_t i = 0; i < jobs.Count(); ++i) newRow.emplace(jobs.JobAt(i), i);
  const QModelIndexList before = persistentIndexList();
  QModelIndexList after;
  after.reserve(before.size());
  for (const QModelIndex& p : before) {
    const auto it = newRow.find(JobAtRow(p.row()));
    after.push_back(it == newRow.end() ? QModelIndex() : index(it->second, p.column()));
  }
  changePersistentIndexList(before, after);
  rows_.clear();
  for (int32_t i = 0; i < jobs.Count(); ++i) rows_.push_back(jobs.JobAt(i));
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

}  // namespace mv
