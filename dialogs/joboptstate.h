#pragma once
// What "<type> JOB Options" shows, which of its controls are usable, and what
// its OK writes into the directory view's job values, without widgets.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "filter/dirfilter.h"
#include "jobs/jobtypes.h"
#include "mail/mvmail.h"

namespace mv {

class JobEditor;

// The view's job values the dialog edits (not owned).
struct JobOptionsView {
  int32_t* JobType = nullptr;
  int32_t* ConflictChoice = nullptr;  // 0, 1, 2 stand for conflict codes 3, 2, 1
  uint32_t* Direction = nullptr;      // options bits under 0x300
  uint32_t* Flags = nullptr;          // options bits under 0x3F00F8
  TTDirFilter* Filter = nullptr;
  TMVMail* Mail = nullptr;
  bool SourceConnected = false;       // the left pane uses a source definition
  uint32_t OptionsEnabled = 0xFFFFFFFF;
};

// The editor's values, as Job > Options edits them.
JobOptionsView JobOptionsViewOf(JobEditor& editor, uint32_t optionsEnabled);

enum class JobOptionsPage { General, Copy, Analyze, FilterName, FilterOther, Mail };
inline constexpr int kJobOptionsPageCount = 6;
inline constexpr const char* kJobOptionsPageCaptions[] = {
    "General", "Copy", "Analyze", "Filter (Name)", "Filter (other)", "Mail"};

// The four name lists, in the order of their buttons.
enum class NameList { None = -1, FilesInclude = 0, FilesExclude = 1, DirsInclude = 2, DirsExclude = 3 };
inline constexpr const char* kNameListCaptions[] = {"Files Include", "Exclude", "Dirs Include",
                                                    "Exclude"};

inline constexpr const char* kJobTypeCaptions[] = {"Copy", "Analyze", "NetWare Purge", "Delete"};
inline constexpr const char* kConflictCaptions[] = {"overwrite if source is newer", "skip",
                                                    "overwrite"};
inline constexpr const char* kDirectionCaptions[] = {"==>", "<==", "<===>"};

struct OptionBox {
  uint32_t Bit;
  const char* Caption;
};
inline constexpr OptionBox kFlowControlBoxes[] = {{OPT_RESUME_FOLDER, "Resume last source folder"},
                                                  {OPT_RESUME_FILE, "Resume last source file"}};
inline constexpr OptionBox kSpecialBoxes[] = {{OPT_LOG_ONLY_DELETE, "Do not DELETE (log only)"},
                                              {OPT_PURGE_AFTER_DELETE, "Purge after Delete"}};
inline constexpr OptionBox kActionBoxes[] = {
    {OPT_NO_NEW_DIRS, "Don't create subdirectories"}, {OPT_NO_NEW_FILES, "Don't create new files"},
    {OPT_EMPTY_DIRS, "Create empty directories"},     {OPT_MIRROR, "MIRROR"},
    {OPT_LOG_ONLY_COPY, "Do not COPY (log only)"},    {OPT_COPY_TRUSTEES, "Copy Trustees"},
    {OPT_CLEAR_ARCHIVE, "Clear Archive Bit"}};
// The attribute boxes of both "File Attributes" groups, bits 0x01 .. 0x20.
inline constexpr const char* kAttributeCaptions[] = {"Read Only", "Hidden",    "System File",
                                                     "Volume ID", "Directory", "Archive"};
// "Mail Notification": the boxes that belong to a recipient's flag word
// ("reserved" is shown but never usable).
inline constexpr OptionBox kMailBoxes[] = {{kRecipientNothingToDo, "Nothing to do"},
                                           {kRecipientSomethingDone, "Something done"},
                                           {kRecipientAllFailed, "All operations failed"},
                                           {kRecipientAttachLog, "attach detail log"}};
inline constexpr uint32_t kMailBoxBits =
    kRecipientNothingToDo | kRecipientSomethingDone | kRecipientAllFailed | kRecipientAttachLog;

// Bounds of the number fields.
struct NumberRange {
  int32_t Min, Max;
};
inline constexpr NumberRange kReportMaxLevelRange{1, 255};
inline constexpr NumberRange kReportMinLevelRange{1, 255};
inline constexpr NumberRange kReportPathLengthRange{-1, 300};
inline constexpr NumberRange kFileAgeRange{-1, 3650};
inline constexpr NumberRange kIncludeDirLevelRange{1, 16384};
inline constexpr NumberRange kMaxSubdirLevelRange{0, 255};

// Which controls are usable and visible, recomputed after every change.
struct JobOptionsControls {
  std::string Caption;
  bool NameAdd = false, NameRemove = false;
  bool ResumeFolder = false, ResumeFile = false;
  bool Mirror = false, DirectionGroup = false;
  bool MaxSubdirLevel = false, IncludeDirLevel = false;
  bool MailBoxes = false;
  std::array<bool, kJobOptionsPageCount> PageVisible{};
  std::array<bool, 4> NameLabelUnderlined{};
  std::array<bool, 4> NameListFilled{};  // the button shows the "has entries" image
};

class JobOptionsState {
 public:
  // Opening: every control from the view values; no name list pressed, the
  // list shows the "Files Include" masks.
  explicit JobOptionsState(const JobOptionsView& view);

  // Enforces the rules between the controls (MIRROR only with "==>", numbers
  // within their ranges) and says what is usable.
  JobOptionsControls Recompute();

  // OK: the controls into the view values (name lists are already there).
  void Apply();

  // Help context of a page: 42 for "Copy", 40 for the others.
  static int HelpContextOf(JobOptionsPage page);

  // "General" and "Copy".
  int32_t JobType = JOB_COPY;   // 0..3
  int32_t Conflict = 0;         // 0..2
  int32_t Direction = 0;        // 0 "==>", 1 "<==", 2 "<===>"
  uint32_t Flags = 0;           // the checked option boxes
  bool Flag(uint32_t bit) const { return (Flags & bit) != 0; }
  void SetFlag(uint32_t bit, bool on) { Flags = on ? (Flags | bit) : (Flags & ~bit); }

  // "Analyze".
  int32_t ReportMaxLevel = 1;
  int32_t ReportMinLevel = 1;
  bool ReportPathEnabled = false;
  int32_t ReportPathLength = -1;

  // "Filter (Name)": the list box shows the pressed button's list.
  void PressNameList(NameList which);
  NameList Pressed() const { return pressed_; }
  std::vector<std::string> Names;
  int32_t SelectedName = -1;
  std::string NameEntry;
  void AddName();
  void RemoveName();
  void ClearAllFilters();
  int32_t FileAgeMinDays = -1;
  int32_t IncludeDirLevel = 8;
  bool ProcessSubdirs = true;
  int32_t MaxSubdirLevel = 255;

  // "Filter (other)".
  int32_t AttributesRequired = 0;
  int32_t AttributesAllowed = 0x3F;

  // "Mail".
  struct Recipient {
    std::string Address;
    uint32_t Flags = 0;
    bool Selected = false;
  };
  std::vector<Recipient> Recipients;
  std::string RecipientEntry;
  // Appends the entry's address with flag word 0 and clears the entry. An
  // address the mail client would refuse, or one already listed, stays in
  // the entry and the reason is returned; "" when added or the entry is empty.
  std::string AddRecipient();
  // Deletes every selected recipient.
  void RemoveRecipients();
  // A click on a recipient: it becomes the only selected one and the boxes
  // show its flags.
  void ClickRecipient(int32_t row);
  // The boxes show the flags of that recipient (the selection stays).
  void ShowFlagsOf(int32_t row);
  // A click on a notification box: the four boxes into the flag word of every
  // selected recipient.
  void SetMailBox(uint32_t bit, bool on);
  uint32_t MailBoxes = 0;  // what the four boxes show

 private:
  void WriteNames();
  std::string* ListOf(NameList which) const;

  JobOptionsView view_;
  NameList pressed_ = NameList::None;
};

// The names of a "|"-separated list (JoinBarList joins them again); empty
// pieces are kept, an empty list has none.
std::vector<std::string> SplitNameList(const std::string& list);

// Why an address cannot be a recipient ("" when it can): the mail client
// refuses line breaks, and "<" or ">" except one pair around the address.
std::string RecipientAddressProblem(const std::string& address);

}  // namespace mv
