#pragma once
// What the "Select Jobs" list offers: the jobs a chaining list can still take.

#include <string>
#include <vector>

#include "app/joblist.h"

namespace mv {

// In job-list order, the names of every job other than the one selected in the
// job list that are not yet in the chaining list (exact, case-sensitive
// names; empty names are left out). Nothing while no job is selected.
std::vector<std::string> JobSelectionNames(const JobList& jobs,
                                           const std::vector<std::string>& alreadyListed);

}  // namespace mv
