#include "dialogs/mvhelp.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

namespace mv {
namespace {

std::function<bool(const QUrl&)>& Opener() {
  static std::function<bool(const QUrl&)> opener;
  return opener;
}

QString PageIn(const QString& dir, int context) {
  const QString path = QDir(dir).filePath(QStringLiteral("context-%1.html").arg(context));
  return QFileInfo(path).isFile() ? QDir::cleanPath(path) : QString();
}

}  // namespace

QStringList HelpSearchDirs() {
  const QString appDir = QCoreApplication::applicationDirPath();
  QStringList dirs{appDir + "/help", appDir + "/../share/mirava/help"};
#ifdef MIRAVA_HELP_BUILD_DIR
  dirs << QStringLiteral(MIRAVA_HELP_BUILD_DIR);
#endif
  return dirs;
}

QString HelpPagePath(int context, const QStringList& dirs) {
  for (const QString& dir : dirs) {
    const QString page = PageIn(dir, context);
    if (!page.isEmpty()) return page;
  }
  if (context == kHelpContents) return {};
  for (const QString& dir : dirs) {
    const QString page = PageIn(dir, kHelpContents);
    if (!page.isEmpty()) return page;
  }
  return {};
}

bool ShowHelpContext(int context) {
  const QString page = HelpPagePath(context);
  if (page.isEmpty()) return false;
  const QUrl url = QUrl::fromLocalFile(page);
  return Opener() ? Opener()(url) : QDesktopServices::openUrl(url);
}

void SetHelpOpenerForTesting(std::function<bool(const QUrl&)> opener) {
  Opener() = std::move(opener);
}

}  // namespace mv
