#pragma once
// The role lock: an instance holds "MVSERVER.MVF" (normal) or "MVCLIENT.MVF"
// (controller) in the control folder, locked, for its whole life, so a second
// instance of the same role notices the first.

#include <string>

#include "platform/uniquefd.h"

namespace mv {

inline constexpr const char* kServerLockName = "MVSERVER.MVF";
inline constexpr const char* kClientLockName = "MVCLIENT.MVF";

class RoleLock {
 public:
  RoleLock() = default;
  ~RoleLock() { Release(); }
  RoleLock(const RoleLock&) = delete;
  RoleLock& operator=(const RoleLock&) = delete;

  // Creates controlDir + name and locks it exclusively. False while another
  // instance holds it; this instance then deletes nothing on Release.
  bool Acquire(const std::string& controlDir, const std::string& name);
  // Deletes the file and closes the handle, when held.
  void Release();

  bool Held() const { return fd_.Valid(); }
  const std::string& Name() const { return name_; }

 private:
  UniqueFd fd_;
  std::string name_;
  std::string path_;
};

// True when some instance holds the lock file controlDir + name.
bool RoleLockHeld(const std::string& controlDir, const std::string& name);

}  // namespace mv
