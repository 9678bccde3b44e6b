#pragma once
// What the program does with its arguments before a front end starts: help,
// version, job checks and single job runs need no window library, and the
// program that handles them never loads one.

#include <string>
#include <variant>

#include "app/mvmain.h"

namespace mv {

// The program that runs the window and the headless core loop, beside the
// one the user starts.
inline constexpr const char* kFrontEndProgram = "mirava-qt";

// True when the environment names a display Qt can open (X11, Wayland, or a
// platform chosen through QT_QPA_PLATFORM).
bool DisplayAvailable();

struct FrontEndStart {
  bool Headless = false;
  StartOptions Options;
};

// The exit code when the arguments are handled (or wrong), else the front
// end they ask for.
std::variant<int, FrontEndStart> StartProgram(int argc, char** argv);

}  // namespace mv
