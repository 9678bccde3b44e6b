#pragma once
// Lists of names joined by "|": masks of a filter, follow-up jobs of a
// schedule. The split keeps every item exactly as written, empty ones too;
// what a gap or a leading blank means is the caller's rule, stated there.

#include <string>
#include <string_view>
#include <vector>

namespace mv {

inline constexpr char kBarListSeparator = '|';

// "a||b" gives "a", "", "b"; "" gives one empty item.
std::vector<std::string_view> SplitBarList(std::string_view list);
std::string JoinBarList(const std::vector<std::string>& items);

}  // namespace mv
