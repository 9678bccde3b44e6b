#pragma once
// Renders the program's pages and dialogs to PNG files (tools/screenshots DIR).
// Each window part adds one file tools/shots/<name>_shots.cpp:
//
//   #include "tools/shots/shots.h"
//   MV_SHOTS(dialogs) {
//     mv::TSplashForm splash;
//     shots.Save("splash", splash);   // writes DIR/splash.png
//   }

#include <QString>
#include <QWidget>

namespace mv::shots {

class ShotSink {
 public:
  virtual ~ShotSink() = default;
  // Lays out and shows the widget offscreen (not modally), lets pending events
  // run, and saves its picture as DIR/<name>.png.
  virtual void Save(const QString& name, QWidget& widget) = 0;
  // An empty folder that lives until every rendering is done, for sample data
  // (a base folder with jobs, trees for the directory views).
  virtual QString ScratchDir() const = 0;
};

using ShotFunction = void (*)(ShotSink& shots);

// Adds a group of renderings; groups run in the order of their names.
class Registrar {
 public:
  Registrar(const char* group, ShotFunction fn);
};

}  // namespace mv::shots

#define MV_SHOTS(group)                                                     \
  static void mv_shots_##group(::mv::shots::ShotSink& shots);               \
  static const ::mv::shots::Registrar mv_shots_registrar_##group(#group,    \
                                                                 &mv_shots_##group); \
  static void mv_shots_##group([[maybe_unused]] ::mv::shots::ShotSink& shots)
