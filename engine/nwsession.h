#pragma once
// The NetWare client of a run with its code page 850 table, for as long as
// this lives: the table loaded at start-up when there is one, else one of its
// own that it frees again.

#include "engine/copythread.h"
#include "netware/nwclient.h"
#include "netware/nwops.h"

namespace mv {

class NetWareSession {
 public:
  explicit NetWareSession(const CopyThreadContext& c) {
    access_.Client = c.NetWare;
    access_.Available = c.NetWareAvailable && c.NetWare != nullptr;
    access_.CodePageTable = c.NetWareCodePage;
    if (access_.Available && access_.CodePageTable == 0 &&
        c.NetWare->LoadConversionTable(850, access_.CodePageTable) == 0)
      loaded_ = true;
  }
  ~NetWareSession() {
    if (loaded_) access_.Client->FreeConversionTable(access_.CodePageTable);
  }
  NetWareSession(const NetWareSession&) = delete;
  NetWareSession& operator=(const NetWareSession&) = delete;
  const NetWareAccess& Access() const { return access_; }

 private:
  NetWareAccess access_;
  bool loaded_ = false;
};

}  // namespace mv
