#pragma once
// A headless instance of the real program serving its remote listings on a
// free loopback port, for tests that read folders through another instance.
// The instance is killed and reaped when the object goes.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/childprocess.h"

namespace mv::test {

// A loopback port nobody listens on right now (the kernel's choice).
uint16_t FreeLoopbackPort();

class RemoteServerInstance {
 public:
  // base: the instance's data folder; output: its standard output and error.
  // env: more variables for the instance only ("MIRAVA_REMOTE_LIMITS", ...).
  RemoteServerInstance(const std::string& binary, const std::string& base, std::string output,
                       const std::vector<std::pair<std::string, std::string>>& env = {});

  // True once the instance has started (its start-up log line is out).
  bool Ready(int timeoutMs = 30000) const;
  uint16_t Port() const { return port_; }
  ChildProcess& Process() { return *process_; }
  std::string Output() const;

 private:
  uint16_t port_;
  std::string output_;
  std::unique_ptr<ChildProcess> process_;
};

}  // namespace mv::test
