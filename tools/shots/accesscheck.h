#pragma once
// What a screen reader would be told wrong about a window: a control it can
// reach with the keyboard that has no name, or a name other than its caption
// (buttons) or the text of the label that points at it.

#include <QStringList>
#include <QWidget>

namespace mv::shots {

QStringList AccessProblems(QWidget& window);

}  // namespace mv::shots
