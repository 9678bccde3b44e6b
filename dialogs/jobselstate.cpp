#include "dialogs/jobselstate.h"

#include <algorithm>

namespace mv {

std::vector<std::string> JobSelectionNames(const JobList& jobs,
                                           const std::vector<std::string>& alreadyListed) {
  std::vector<std::string> names;
  const TTFileThreadControl* selected = jobs.JobAt(jobs.Selected());
  if (selected == nullptr) return names;
  for (int32_t i = 0; i < jobs.Count(); ++i) {
    const TTFileThreadControl* job = jobs.JobAt(i);
    if (job == selected || job->Description.empty()) continue;
    if (std::find(alreadyListed.begin(), alreadyListed.end(), job->Description) !=
        alreadyListed.end())
      continue;
    names.push_back(job->Description);
  }
  return names;
}

}  // namespace mv
