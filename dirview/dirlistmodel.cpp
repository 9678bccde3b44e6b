#include "dirview/dirlistmodel.h"

static void InitDirviewResources() { Q_INIT_RESOURCE(dirview); }

namespace mv {

DirListModel::DirListModel(DirPane& pane, QObject* parent)
    : QAbstractTableModel(parent), pane_(pane), rows_(pane.Count()) {
  pane_.AddObserver(this);
}

DirListModel::~DirListModel() { pane_.RemoveObserver(this); }

QIcon DirListModel::StateIcon(int image) {
  static bool loaded = (InitDirviewResources(), true);
  (void)loaded;
  static std::array<QIcon, kStateImageCount> icons;
  if (image < 0 || image >= kStateImageCount) return {};
  if (icons[static_cast<size_t>(image)].isNull())
    icons[static_cast<size_t>(image)] = QIcon(QStringLiteral(":/dirview/images/state-%1.svg").arg(image));
  return icons[static_cast<size_t>(image)];
}

int DirListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int DirListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 3; }

QVariant DirListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rows_) return {};
  const TTDirEntry* e = pane_.EntryAt(index.row());
  if (!e) return {};
  switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
      switch (index.column()) {
        case 0: return QString::fromStdString(e->Name);
        case 1:
          // Folders and names not on disk have no size.
          if (e->IsDirectory() || pane_.StateImage(index.row()) == kImageAdded) return QString();
          return QString::fromStdString(e->SizeKBText());
        default: return QString::fromStdString(e->DateText());
      }
    case Qt::DecorationRole:
      if (index.column() == 0) return StateIcon(pane_.StateImage(index.row()));
      return {};
    case Qt::TextAlignmentRole:
      return index.column() == 1 ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                 : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    default: return {};
  }
}

QVariant DirListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal) return {};
  if (role == Qt::DisplayRole) {
    switch (section) {
      case 0: return QStringLiteral("Filename");
      case 1: return QStringLiteral("Size (KB)");
      case 2: return QStringLiteral("Date");
      default: return {};
    }
  }
  if (role == Qt::TextAlignmentRole)
    return section == 1 ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
  return {};
}

void DirListModel::PaneAboutToReset() { beginResetModel(); }

void DirListModel::PaneReset() {
  rows_ = pane_.Count();
  endResetModel();
}

}  // namespace mv
