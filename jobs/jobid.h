#pragma once
// Job identity: the counter file MVCTRL.MVF in the control directory.

#include <cstdint>
#include <string>

namespace mv {

// Name of the counter file inside the control directory.
inline constexpr const char* kJobIdCounterFile = "MVCTRL.MVF";

// Draws the next job ID: reads [general] jobid (default "0"), adds one, writes
// the low 32 bits back as signed decimal and returns the 64-bit value.
// Returns -1 and leaves the file as it was when the counter cannot be read,
// parsed or written. Safe against other threads and processes drawing at the
// same time: no two callers get the same ID.
int64_t NewJobId(const std::string& controlDir);

}  // namespace mv
