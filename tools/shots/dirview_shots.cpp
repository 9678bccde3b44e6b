// The Directory View page in each mode of its banner, and the template chooser.

#include <QDir>
#include <filesystem>
#include <fstream>

#include "app/dirpane.h"
#include "app/mvmain.h"
#include "app/prompt.h"
#include "dialogs/mvtempl.h"
#include "dirview/dirviewpage.h"
#include "dirview/ttdirlistview.h"
#include "tools/shots/shots.h"

namespace {

void WriteFile(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

MV_SHOTS(dirview) {
  const std::string root = QDir(shots.ScratchDir()).filePath("dirview").toStdString() + "/";
  for (const char* f : {"Documents/report.txt", "Documents/Budget 2026.ods", "Documents/notes.md",
                        "Documents/Photos/beach.jpg", "Documents/Archive/old.zip", "Documents/.profile"})
    WriteFile(root + f, std::string(3000, 'x'));
  WriteFile(root + "Backup/report.txt", "old");
  std::filesystem::create_directories(root + "Backup/Photos");
  WriteFile(root + "base/MVT/daily.MVT", "[template]\r\ndescription=Daily copy of documents\r\n");
  WriteFile(root + "base/MVT/weekly.MVT", "[template]\r\ndescription=Weekly mirror\r\n");
  WriteFile(root + "base/MVT/blank.MVT", "[template]\r\ndescription=  \r\n");

  mv::MiravaCore core;
  mv::StartOptions options;
  options.Base = root + "base";
  core.Startup(std::move(options));
  mv::ScriptedPrompt prompt;
  {
    mv::DirViewPage page(core, prompt);
    page.SetScheduleEditor([](mv::TTSchedule& s) { return s.Queued = true; });
    page.resize(920, 520);
    mv::JobEditor& editor = page.Editor();
    editor.Left().SetDirectory(root + "Documents");
    editor.Right().SetDirectory(root + "Backup");
    editor.Left().SetSelected(editor.Left().IndexOfExactName("report.txt"), true);
    editor.Left().SetSelected(editor.Left().IndexOfExactName("Photos"), true);
    editor.Left().AddMissingEntry("vanished.doc");
    editor.Left().SetSelected(editor.Left().IndexOfExactName("vanished.doc"), true);
    editor.SetDescription("Documents to backup");
    page.UpdateControls();
    shots.Save("dirview-new-job", page);

    editor.Submit();
    prompt.ExpectYesNo("EDIT job in directory view?", true);
    page.EditJob(0);
    shots.Save("dirview-editing-job", page);

    editor.SetSourceEditMode(true);
    editor.Left().SetDefinitionName("Office");
    page.UpdateControls();
    shots.Save("dirview-source-definition", page);
    editor.SetSourceEditMode(false);
    editor.Left().SetDefinitionName("");

    // A folder that cannot be read, and the pop-up menu.
    editor.Right().SetDirectory(root + "missing");
    page.UpdateControls();
    shots.Save("dirview-unreadable", page);
    shots.Save("dirview-popup", *page.LeftView().PopupMenu());
  }
  mv::TMVTemplateForm form;
  form.Prepare(root + "base/MVT");
  shots.Save("template-chooser", form);
  core.Shutdown();
}
