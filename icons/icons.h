#pragma once
// The program's own images: job state images, job buttons and the program icon.

#include <QIcon>
#include <QString>

namespace mv {

// Resource path of a job state image: status codes 4, 6, 7, 8 and 9; empty for any other code.
QString JobStatusIconPath(int statusCode);
QIcon JobStatusIcon(int statusCode);

// "start", "pause", "stop" or "mirava".
QIcon MiravaIcon(const char* name);

}  // namespace mv
