#include "icons/icons.h"

namespace mv {

QString JobStatusIconPath(int statusCode) {
  switch (statusCode) {
    case 4:
    case 6:
    case 7:
    case 8:
    case 9:
      return QStringLiteral(":/icons/status-%1.svg").arg(statusCode);
    default:
      return {};
  }
}

QIcon JobStatusIcon(int statusCode) {
  const QString path = JobStatusIconPath(statusCode);
  return path.isEmpty() ? QIcon() : QIcon(path);
}

QIcon MiravaIcon(const char* name) {
  return QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name)));
}

}  // namespace mv
