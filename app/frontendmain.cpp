// Entry of the Qt program: the main window or the headless core loop, started
// by the program the user runs (it takes the same arguments).

#include <utility>
#include <variant>

#include "app/front/headless.h"
#include "app/gui/windowapp.h"
#include "app/programentry.h"

int main(int argc, char** argv) {
  auto start = mv::StartProgram(argc, argv);
  if (const int* exitCode = std::get_if<int>(&start)) return *exitCode;
  mv::FrontEndStart& frontEnd = std::get<mv::FrontEndStart>(start);
  if (frontEnd.Headless) return mv::RunHeadless(argc, argv, std::move(frontEnd.Options));
  return mv::RunWindow(argc, argv, std::move(frontEnd.Options));
}
