#include "platform/barlist.h"

namespace mv {

std::vector<std::string_view> SplitBarList(std::string_view list) {
  std::vector<std::string_view> items;
  for (;;) {
    const std::size_t bar = list.find(kBarListSeparator);
    items.push_back(list.substr(0, bar));
    if (bar == std::string_view::npos) return items;
    list.remove_prefix(bar + 1);
  }
}

std::string JoinBarList(const std::vector<std::string>& items) {
  std::string list;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) list += kBarListSeparator;
    list += items[i];
  }
  return list;
}

}  // namespace mv
