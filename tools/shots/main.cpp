// mirava_screenshots [--check-access] DIR [GROUP...]: renders every registered
// page and dialog (or only the named groups) offscreen into DIR/<name>.png.
// With --check-access it also lists every control a screen reader would
// announce without its caption or label, and fails if there is one.

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "tools/shots/accesscheck.h"
#include "tools/shots/shots.h"

namespace mv::shots {
namespace {

struct Group {
  std::string name;
  ShotFunction fn;
};

std::vector<Group>& Groups() {
  static std::vector<Group> groups;
  return groups;
}

class DirSink : public ShotSink {
 public:
  DirSink(QString dir, QString scratch, bool checkAccess)
      : dir_(std::move(dir)), scratch_(std::move(scratch)), checkAccess_(checkAccess) {}

  void Save(const QString& name, QWidget& widget) override {
    if (!widget.isVisible()) widget.show();
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    const QString path = QDir(dir_).filePath(name + ".png");
    const QPixmap picture = widget.grab();
    if (picture.isNull() || !picture.save(path, "PNG")) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
      ++failures;
      return;
    }
    std::printf("%s\n", qPrintable(path));
    ++written;
    if (!checkAccess_) return;
    for (const QString& problem : AccessProblems(widget)) {
      std::fprintf(stderr, "%s: %s\n", qPrintable(name), qPrintable(problem));
      ++failures;
    }
  }

  QString ScratchDir() const override { return scratch_; }

  int written = 0;
  int failures = 0;

 private:
  QString dir_;
  QString scratch_;
  bool checkAccess_;
};

}  // namespace

Registrar::Registrar(const char* group, ShotFunction fn) { Groups().push_back({group, fn}); }

}  // namespace mv::shots

int main(int argc, char** argv) {
  using namespace mv::shots;
  const bool checkAccess = argc > 1 && std::string(argv[1]) == "--check-access";
  if (checkAccess) --argc, ++argv;
  if (argc < 2) {
    std::fprintf(stderr, "usage: mirava_screenshots [--check-access] DIR [GROUP...]\n");
    return 2;
  }
  // Pictures must not depend on a desktop being there.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationName("Mirava");
  QApplication::setStyle(QStyleFactory::create("Fusion"));

  const QString dir = QString::fromLocal8Bit(argv[1]);
  if (!QDir().mkpath(dir)) {
    std::fprintf(stderr, "cannot create %s\n", argv[1]);
    return 2;
  }
  std::vector<std::string> wanted(argv + 2, argv + argc);
  auto groups = Groups();
  std::sort(groups.begin(), groups.end(),
            [](const Group& a, const Group& b) { return a.name < b.name; });

  QTemporaryDir scratch;
  DirSink sink(dir, scratch.path(), checkAccess);
  for (const Group& g : groups) {
    if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), g.name) == wanted.end()) continue;
    try {
      g.fn(sink);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s: %s\n", g.name.c_str(), e.what());
      ++sink.failures;
    }
  }
  if (sink.written == 0) std::fprintf(stderr, "no pictures rendered\n");
  return sink.failures > 0 || sink.written == 0 ? 1 : 0;
}
