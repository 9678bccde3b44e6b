#pragma once
// The templates the template chooser offers: every *.MVT file of a folder
// whose section "template" has a description.

#include <string>
#include <vector>

namespace mv {

struct TemplateChoice {
  std::string Description;  // trimmed
  std::string Path;
};

// In the folder's listing order (names upper-cased); files without a
// description, or with only blanks, are left out. Folders are never listed.
std::vector<TemplateChoice> ListTemplates(const std::string& templateDir);

}  // namespace mv
