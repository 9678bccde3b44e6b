#include "app/coreobserver.h"

#include <algorithm>

namespace mv {

CoreObserver::~CoreObserver() = default;

void ObserverList::Add(CoreObserver* observer) {
  if (observer && !Contains(observer)) observers_.push_back(observer);
}

void ObserverList::Remove(CoreObserver* observer) { std::erase(observers_, observer); }

bool ObserverList::Contains(const CoreObserver* observer) const {
  return std::find(observers_.begin(), observers_.end(), observer) != observers_.end();
}

}  // namespace mv
