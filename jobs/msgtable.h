#pragma once
// The fixed texts of the result codes, by the table the message's tag selects.

#include <cstdint>

namespace mv {

// Text of a general-table code at an information level (2 or 32), or null
// when the code has no information text.
const char* GeneralInfoText(int32_t code);
// Text of a general-table code at a warning or error level (8 or 16), or
// null when the code has no error text.
const char* GeneralErrorText(int32_t code);
// Text of a NetWare code (errors and warnings only), or null.
const char* NetWareErrorText(int32_t code);

}  // namespace mv
