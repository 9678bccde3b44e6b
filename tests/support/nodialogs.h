#pragma once
// Editor dialogs that are never answered: every one is cancelled.

#include <string>

#include "app/jobeditor.h"

namespace mv::test {

class NoDialogs : public EditorDialogs {
 public:
  bool EditSchedule(TTSchedule&) override { return false; }
  bool OpenJobFile(const std::string&, int, std::string&) override { return false; }
  bool SaveJobFile(const std::string&, std::string&) override { return false; }
  bool ChooseTemplate(const std::string&, std::string&) override { return false; }
  bool JobOptions(JobEditor&) override { return false; }
  bool BrowseFolder(const std::string&, std::string&) override { return false; }
};

}  // namespace mv::test
