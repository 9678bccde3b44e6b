// Renderings of "<type> JOB Options", one per page, and of the source
// definition chooser.

#include <QListWidget>
#include <QTabWidget>

#include "app/prompt.h"
#include "dialogs/mvjopt.h"
#include "dialogs/mvmacro.h"
#include "tools/shots/shots.h"

MV_SHOTS(jobopt) {
  mv::HeadlessPrompt prompt({});
  int32_t type = mv::JOB_COPY, conflict = 0;
  uint32_t direction = mv::OPT_DIR_TO_TARGET, flags = mv::OPT_MIRROR | mv::OPT_EMPTY_DIRS;
  mv::TTDirFilter filter("*.txt|*.csv", "*.tmp", "", "CACHE", 16384);
  mv::TMVMail mail(nullptr);
  mail.AddRecipient("Backup Team <backup@example.org>", mv::kRecipientSomethingDone | mv::kRecipientAttachLog);
  mail.AddRecipient("ops@example.org", mv::kRecipientAllFailed);
  const mv::JobOptionsView view{&type, &conflict, &direction, &flags, &filter, &mail, false, 0xFFCFFFFF};

  const char* names[] = {"jobopt-general", "jobopt-copy", "jobopt-analyze",
                         "jobopt-filtername", "jobopt-filterother", "jobopt-mail"};
  for (int page = 0; page < mv::kJobOptionsPageCount; ++page) {
    // The "Analyze" page shows only for analysis jobs.
    type = page == static_cast<int>(mv::JobOptionsPage::Analyze) ? mv::JOB_ANALYZE : mv::JOB_COPY;
    mv::TMVJobOptions dialog(prompt);
    dialog.Open(view);
    if (page == static_cast<int>(mv::JobOptionsPage::FilterName)) {
      dialog.State().PressNameList(mv::NameList::FilesInclude);
      dialog.State().SelectedName = 1;
    }
    if (page == static_cast<int>(mv::JobOptionsPage::Mail)) dialog.State().ClickRecipient(0);
    dialog.Refresh();
    dialog.Pages()->setCurrentIndex(page);
    dialog.resize(640, 400);
    shots.Save(names[page], dialog);
  }

  mv::TMVMacroForm chooser(prompt);
  chooser.Prepare({"Daily Backup", "Daily Backup 2", "Projects", "Photos 2026"});
  chooser.List()->setCurrentRow(1);
  shots.Save("source-chooser", chooser);
}
