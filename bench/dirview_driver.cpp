// Times a directory pane on one folder: open (read, sort, model and view
// update) and Reload keeping a selection of N names, through the real list
// view offscreen. Usage: dirview_driver FOLDER SELECT_COUNT
// Prints "open SECONDS", "reload SECONDS", "rows N", "selected N".

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <QLabel>

#include "app/prompt.h"
#include "dirview/ttdirlistview.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: dirview_driver FOLDER SELECT_COUNT\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  mv::HeadlessPrompt prompt({});
  QLabel label;
  mv::TTDirListView view(0, prompt, &label);
  view.resize(600, 400);
  view.show();
  using clock = std::chrono::steady_clock;
  // The engine's listing alone, for comparison.
  auto t0 = clock::now();
  {
    mv::TTDirList list;
    list.Read(argv[1]);
  }
  const double read = std::chrono::duration<double>(clock::now() - t0).count();
  t0 = clock::now();
  view.Pane().SetDirectory(argv[1]);
  QApplication::processEvents();
  const double open = std::chrono::duration<double>(clock::now() - t0).count();

  // Every other row up to the count, so the selection is made of many ranges.
  const int want = std::atoi(argv[2]);
  std::vector<int32_t> rows;
  for (int32_t r = 1; r < view.Pane().Count() && static_cast<int>(rows.size()) < want; r += 2) rows.push_back(r);
  view.Pane().SetSelection(rows, true);
  QApplication::processEvents();
  t0 = clock::now();
  view.Pane().Reload();
  QApplication::processEvents();
  const double reload = std::chrono::duration<double>(clock::now() - t0).count();
  std::printf("read %.3f\nopen %.3f\nreload %.3f\nrows %d\nselected %d\n", read, open, reload, view.Pane().Count(),
              view.Pane().SelectedCount());
  return view.Pane().SelectedCount() == static_cast<int>(rows.size()) ? 0 : 1;
}
