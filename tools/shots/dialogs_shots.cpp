// Renderings of the dialogs and the program's images.

#include <QGridLayout>
#include <QLabel>
#include <QWidget>

#include "icons/icons.h"
#include "tools/shots/shots.h"

namespace {

// Every image at 16, 24, 32 and 64 pixels, as lists and buttons show them.
void IconSheet(mv::shots::ShotSink& shots) {
  QWidget sheet;
  sheet.setStyleSheet("background: white");
  auto* grid = new QGridLayout(&sheet);
  const char* names[] = {"status-4", "status-6", "status-7", "status-8", "status-9",
                         "start",    "pause",    "stop",     "mirava"};
  const int sizes[] = {16, 24, 32, 64};
  int row = 0;
  for (const char* name : names) {
    grid->addWidget(new QLabel(name), row, 0);
    const QIcon icon = mv::MiravaIcon(name);
    for (int c = 0; c < 4; ++c) {
      auto* label = new QLabel;
      label->setPixmap(icon.pixmap(sizes[c], sizes[c]));
      grid->addWidget(label, row, c + 1);
    }
    ++row;
  }
  shots.Save("icons", sheet);
}

}  // namespace

MV_SHOTS(dialogs) {
  IconSheet(shots);
}
