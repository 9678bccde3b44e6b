#include "app/templatelist.h"

#include "platform/finddata.h"
#include "platform/findfile.h"
#include "platform/paths.h"
#include "platform/profile.h"

namespace mv {

namespace {

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  const size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

}  // namespace

std::vector<TemplateChoice> ListTemplates(const std::string& templateDir) {
  std::vector<TemplateChoice> choices;
  const std::string dir = IncludeTrailingDelim(templateDir);
  if (dir.empty()) return choices;
  FindHandle h;
  FindData fd;
  for (uint32_t rc = FindFirst(dir + "*.MVT", kAttrAny & ~kAttrDirectory, fd, h); rc == 0;
       rc = FindNext(h, fd)) {
    if (fd.Attr & kAttrDirectory) continue;
    const std::string path = dir + fd.Name;
    std::string description = Trim(ProfileReadString(path, "template", "description", ""));
    if (!description.empty()) choices.push_back({std::move(description), path});
  }
  return choices;
}

}  // namespace mv
