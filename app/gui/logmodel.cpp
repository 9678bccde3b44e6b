#include "app/gui/logmodel.h"

namespace mv {

namespace {
constexpr const char* kHeaders[] = {"Job", "Time", "Error", "Text"};
}

LogModel::LogModel(LogPage& page, QObject* parent) : QAbstractTableModel(parent), page_(page) {
  page_.SetListener(this);
}

LogModel::~LogModel() { page_.SetListener(nullptr); }

int LogModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : page_.Count();
}

int LogModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 4; }

QVariant LogModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole) return {};
  if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
    return {};
  const LogLine* line = page_.At(index.row());
  if (!line) return {};
  const std::string* cells[] = {&line->Job, &line->Time, &line->Error, &line->Text};
  return QString::fromStdString(*cells[index.column()]);
}

QVariant LogModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section > 3 ||
      (role != Qt::DisplayRole && role != Qt::AccessibleTextRole))
    return {};
  return QString::fromLatin1(kHeaders[section]);
}

void LogModel::LineAboutToBeAdded(int row) { beginInsertRows({}, row, row); }

void LogModel::LineAdded(int) {
  endInsertRows();
  emit LinesChanged();
}

void LogModel::FirstLineAboutToBeRemoved() { beginRemoveRows({}, 0, 0); }

void LogModel::FirstLineRemoved() {
  endRemoveRows();
  emit LinesChanged();
  emit LastRowToSelect(page_.Count() - 1);
}

}  // namespace mv
