#include "dialogs/joboptstate.h"

#include <algorithm>

#include "app/dirpane.h"
#include "app/jobeditor.h"
#include "mail/smtpclient.h"
#include "platform/barlist.h"
#include "platform/textcase.h"

namespace mv {

namespace {

constexpr uint32_t kDialogFlagBits = OPT_RESUME_FOLDER | OPT_RESUME_FILE | OPT_LOG_ONLY_DELETE |
                                     OPT_PURGE_AFTER_DELETE | OPT_NO_NEW_DIRS | OPT_NO_NEW_FILES |
                                     OPT_EMPTY_DIRS | OPT_MIRROR | OPT_LOG_ONLY_COPY |
                                     OPT_COPY_TRUSTEES | OPT_CLEAR_ARCHIVE;

int32_t Bound(int32_t value, NumberRange r) { return std::clamp(value, r.Min, r.Max); }

}  // namespace

std::vector<std::string> SplitNameList(const std::string& list) {
  // An empty field lists no names; within a list empty pieces stay, as typed.
  std::vector<std::string> items;
  if (list.empty()) return items;
  for (std::string_view item : SplitBarList(list)) items.emplace_back(item);
  return items;
}

std::string RecipientAddressProblem(const std::string& address) {
  if (address.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
    return "The mail address must not contain a line break.";
  if (!TSmtpClient::AcceptableEntry(address))
    return "The mail address may contain \"<\" and \">\" only once each, around the address: "
           "Name <user@example.org>.";
  if (TSmtpClient::ExtractAddress(address).find_first_not_of(' ') == std::string::npos)
    return "The mail address names no address.";
  return {};
}

JobOptionsView JobOptionsViewOf(JobEditor& editor, uint32_t optionsEnabled) {
  JobOptionsView v;
  v.JobType = &editor.ViewJobType;
  v.ConflictChoice = &editor.ViewConflictChoice;
  v.Direction = &editor.ViewDirection;
  v.Flags = &editor.ViewFlags;
  v.Filter = &editor.ViewFilter;
  v.Mail = editor.ViewMail.get();
  v.SourceConnected = !editor.Left().DefinitionName().empty();
  v.OptionsEnabled = optionsEnabled;
  return v;
}

JobOptionsState::JobOptionsState(const JobOptionsView& view) : view_(view) {
  const int32_t type = *view.JobType;
  JobType = type >= JOB_COPY && type <= JOB_DELETE ? type : JOB_COPY;
  Conflict = std::clamp(*view.ConflictChoice, 0, 2);
  const int32_t direction = static_cast<int32_t>(*view.Direction >> 8) - 1;
  Direction = direction >= 0 && direction <= 2 ? direction : 0;
  Flags = *view.Flags & kDialogFlagBits;

  const TTDirFilter& f = *view.Filter;
  ReportMaxLevel = f.ReportDirLevel;
  ReportMinLevel = f.ReportDirLevelMin;
  ReportPathEnabled = f.ReportPathLengthEnabled;
  ReportPathLength = f.ReportPathLength;
  FileAgeMinDays = f.FileAgeMinDays;
  IncludeDirLevel = f.IncludeDirLevel;
  ProcessSubdirs = f.ProcessSubdirs != 0;
  MaxSubdirLevel = f.MaxSubdirLevel;
  AttributesRequired = f.RequiredAttributes & kFilterAttrBits;
  AttributesAllowed = f.AllowedAttributes & kFilterAttrBits;
  Names = SplitNameList(f.IncludeFileNames);

  if (view.Mail)
    for (const TMVRecipient& r : view.Mail->Message.ToAddress)
      Recipients.push_back({r.Address, r.Flags, false});
}

int JobOptionsState::HelpContextOf(JobOptionsPage page) {
  return page == JobOptionsPage::Copy ? 42 : 40;
}

JobOptionsControls JobOptionsState::Recompute() {
  JobOptionsControls c;
  c.Caption = JobTypeName(JobType) + " JOB Options";
  c.NameAdd = !NameEntry.empty();
  c.NameRemove = !Names.empty() && SelectedName >= 0 && SelectedName < static_cast<int32_t>(Names.size());
  c.ResumeFolder = (view_.OptionsEnabled & OPT_RESUME_FOLDER) != 0;
  c.ResumeFile = (view_.OptionsEnabled & OPT_RESUME_FILE) != 0;
  c.Mirror = Direction == 0;
  if (!c.Mirror) SetFlag(OPT_MIRROR, false);
  c.DirectionGroup = !Flag(OPT_MIRROR);
  c.MaxSubdirLevel = ProcessSubdirs;
  c.IncludeDirLevel = !view_.Filter->IncludeDirNames.empty();
  c.MailBoxes = std::any_of(Recipients.begin(), Recipients.end(), [](const Recipient& r) { return r.Selected; });
  const bool filters = !view_.SourceConnected;
  c.PageVisible = {true, JobType == JOB_COPY, JobType == JOB_ANALYZE, filters, filters, true};
  for (int i = 0; i < 4; ++i) {
    c.NameLabelUnderlined[i] = static_cast<int>(pressed_) == i;
    c.NameListFilled[i] = !ListOf(static_cast<NameList>(i))->empty();
  }
  ReportMaxLevel = Bound(ReportMaxLevel, kReportMaxLevelRange);
  ReportMinLevel = Bound(ReportMinLevel, kReportMinLevelRange);
  ReportPathLength = Bound(ReportPathLength, kReportPathLengthRange);
  FileAgeMinDays = Bound(FileAgeMinDays, kFileAgeRange);
  IncludeDirLevel = Bound(IncludeDirLevel, kIncludeDirLevelRange);
  MaxSubdirLevel = Bound(MaxSubdirLevel, kMaxSubdirLevelRange);
  AttributesRequired &= kFilterAttrBits;
  AttributesAllowed &= kFilterAttrBits;
  return c;
}

void JobOptionsState::Apply() {
  Recompute();
  *view_.JobType = JobType;
  *view_.ConflictChoice = Conflict;
  *view_.Flags = Flags & kDialogFlagBits;
  *view_.Direction = static_cast<uint32_t>(Direction + 1) << 8;
  TTDirFilter& f = *view_.Filter;
  f.MaxSubdirLevel = MaxSubdirLevel;
  f.ProcessSubdirs = ProcessSubdirs ? 1 : 0;
  f.ReportDirLevelMin = ReportMinLevel;
  f.ReportDirLevel = ReportMaxLevel;
  f.ReportPathLength = ReportPathLength;
  f.ReportPathLengthEnabled = ReportPathEnabled;
  f.RequiredAttributes = AttributesRequired;
  f.AllowedAttributes = AttributesAllowed;
  f.FileAgeMinDays = FileAgeMinDays;
  f.IncludeDirLevel = IncludeDirLevel;
  if (view_.Mail) {
    view_.Mail->Message.ToAddress.clear();
    for (const Recipient& r : Recipients) view_.Mail->Message.ToAddress.push_back({r.Address, r.Flags});
  }
}

// --- Name lists ------------------------------------------------------------------

std::string* JobOptionsState::ListOf(NameList which) const {
  TTDirFilter& f = *view_.Filter;
  switch (which) {
    case NameList::FilesInclude: return &f.IncludeFileNames;
    case NameList::FilesExclude: return &f.ExcludeFileNames;
    case NameList::DirsInclude: return &f.IncludeDirNames;
    case NameList::DirsExclude: return &f.ExcludeDirNames;
    default: return nullptr;
  }
}

void JobOptionsState::PressNameList(NameList which) {
  pressed_ = which;
  const std::string* list = ListOf(which);
  Names = list ? SplitNameList(*list) : std::vector<std::string>{};
  SelectedName = -1;
}

void JobOptionsState::WriteNames() {
  if (std::string* list = ListOf(pressed_)) *list = JoinBarList(Names);
}

void JobOptionsState::AddName() {
  if (NameEntry.empty()) return;
  Names.push_back(NameEntry);
  NameEntry.clear();
  WriteNames();
}

void JobOptionsState::RemoveName() {
  if (SelectedName < 0 || SelectedName >= static_cast<int32_t>(Names.size())) return;
  NameEntry = Names[SelectedName];
  Names.erase(Names.begin() + SelectedName);
  SelectedName = -1;
  WriteNames();
}

void JobOptionsState::ClearAllFilters() {
  NameEntry.clear();
  Names.clear();
  SelectedName = -1;
  for (int i = 0; i < 4; ++i) ListOf(static_cast<NameList>(i))->clear();
}

// --- Recipients ------------------------------------------------------------------

std::string JobOptionsState::AddRecipient() {
  if (RecipientEntry.empty()) return {};
  std::string problem = RecipientAddressProblem(RecipientEntry);
  if (problem.empty()) {
    const std::string upper = UpperCase(RecipientEntry);
    for (const Recipient& r : Recipients)
      if (UpperCase(r.Address) == upper) problem = "The mail address is listed already.";
  }
  if (!problem.empty()) return problem;
  Recipients.push_back({RecipientEntry, 0, false});
  RecipientEntry.clear();
  return {};
}

void JobOptionsState::RemoveRecipients() {
  std::erase_if(Recipients, [](const Recipient& r) { return r.Selected; });
}

void JobOptionsState::ClickRecipient(int32_t row) {
  if (row < 0 || row >= static_cast<int32_t>(Recipients.size())) return;
  for (Recipient& r : Recipients) r.Selected = false;
  Recipients[row].Selected = true;
  ShowFlagsOf(row);
}

void JobOptionsState::ShowFlagsOf(int32_t row) {
  if (row >= 0 && row < static_cast<int32_t>(Recipients.size()))
    MailBoxes = Recipients[row].Flags & kMailBoxBits;
}

void JobOptionsState::SetMailBox(uint32_t bit, bool on) {
  MailBoxes = (on ? MailBoxes | bit : MailBoxes & ~bit) & kMailBoxBits;
  for (Recipient& r : Recipients)
    if (r.Selected) r.Flags = (r.Flags & ~kMailBoxBits) | MailBoxes;
}

}  // namespace mv
