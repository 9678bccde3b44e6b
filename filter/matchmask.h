#pragma once
// Name and path tests shared by every user of the directory filter. Both fold
// case (ASCII and Latin letters of UTF-8) on both sides before comparing.

#include <string_view>

namespace mv {

// Separator of the "|"-joined name lists.
inline constexpr char kListSeparator = '|';

// Wildcard test of mask against the name part of path (after its last "/").
// "*" and "?" are the only special characters; "?" stands for one character,
// not one byte. A name without a dot does not match "*.*", and a mask whose
// trailing "*" directly follows another "*" matches nothing but itself.
// Runs in O(mask + name).
bool MatchMask(std::string_view mask, std::string_view path);

// True at the first non-empty item of list that MatchMask accepts; an empty
// list matches nothing.
bool MatchAnyMask(std::string_view list, std::string_view path);

// True when text is not empty and occurs anywhere in s.
bool ContainsText(std::string_view text, std::string_view s);

// True at the first non-empty item of list contained in s; an empty list
// never holds.
bool ContainsAnyText(std::string_view list, std::string_view s);

}  // namespace mv
