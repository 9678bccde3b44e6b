#pragma once
// The program's clock. Tests replace it to move time without sleeping.

#include <functional>

#include "platform/datetime.h"

namespace mv {

// Current local time.
DateTime Now();

// Replaces the clock for the whole process (a test seam); an empty function
// restores the system clock.
void SetClockForTesting(std::function<DateTime()> clock);

}  // namespace mv
