#include "dirview/dirviewpage.h"

#include "app/mvmain.h"

namespace mv {

DirViewPage::DirViewPage(MiravaCore& core, Prompt& prompt, QWidget* parent)
    : QWidget(parent), core_(core), prompt_(prompt) {}

DirViewPage::~DirViewPage() = default;

void DirViewPage::JobNew() {}
void DirViewPage::JobOpen() {}
void DirViewPage::JobLoadToJoblist() {}
void DirViewPage::JobSaveAs() {}
void DirViewPage::JobOptions() {}
void DirViewPage::JobApplyTemplate() {}
void DirViewPage::MacroSourceEdit() {}
void DirViewPage::MacroConnect() {}
void DirViewPage::MacroDisconnect() {}
void DirViewPage::EditJob(int) {}
void DirViewPage::EditCopyOfJob(int) {}
void DirViewPage::UpdateControls() {}

}  // namespace mv
