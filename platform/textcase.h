#pragma once
// Case folding for masks, paths and names: ASCII and the Latin letters of
// UTF-8 (Latin-1 and Latin Extended-A), so that "ä" matches "Ä". Other
// characters and invalid UTF-8 bytes are kept as they are.

#include <string>
#include <string_view>

namespace mv {

std::string UpperCase(std::string_view s);
bool SameTextIgnoringCase(std::string_view a, std::string_view b);

}  // namespace mv
