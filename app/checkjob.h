#pragma once
// `mirava --check-job FILE`: tells what a hand-written job file means, without
// writing anything.

#include <ostream>
#include <string>

namespace mv {

struct DataDirs;

// Loads the file as the program loads a job file and describes it on out.
// Returns the exit code: 0 for a job the program would run, 1 otherwise; then
// errors, when given, gets the problem with the line of the file it lies on,
// after warnings about the lines no load reads.
int CheckJobFile(const std::string& file, const DataDirs& dirs, std::ostream& out,
                 std::ostream* errors = nullptr);

// The schedule of a loaded job in words, one "name: value" line each.
class TTSchedule;
std::string ScheduleInWords(const TTSchedule& schedule);

}  // namespace mv
