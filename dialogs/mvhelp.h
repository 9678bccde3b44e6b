#pragma once
// Help > "On Topic" and the help contexts: one HTML page per context
// (help/context-<n>.html), opened in the desktop's browser.

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

namespace mv {

// The help contexts of the windows and dialogs.
inline constexpr int kHelpMainWindow = 1;
inline constexpr int kHelpContents = 2;  // Help > "On Topic"
inline constexpr int kHelpDirectoryView = 101;
inline constexpr int kHelpJoblist = 201;
inline constexpr int kHelpOpenJob = 301;
inline constexpr int kHelpLoadToJoblist = 302;
inline constexpr int kHelpJobOptions = 40;
inline constexpr int kHelpJobOptionsCopy = 42;
inline constexpr int kHelpSourceChooser = 51;

// Where the pages are looked for, in this order: the folder "help" beside the
// program, the installed share folder (<prefix>/share/mirava/help beside
// <prefix>/bin), and the build tree's copy.
QStringList HelpSearchDirs();

// The page of a context in the first folder that has it; a context without
// a page of its own shows the contents page. Empty when no folder has either.
QString HelpPagePath(int context, const QStringList& dirs = HelpSearchDirs());

// Opens the context's page in the desktop's browser. False when there is no
// page or no browser took it.
bool ShowHelpContext(int context);

// Replaces the browser for the whole process (a test seam); an empty
// function restores the desktop's.
void SetHelpOpenerForTesting(std::function<bool(const QUrl&)> opener);

}  // namespace mv
