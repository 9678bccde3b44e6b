#include "tests/support/remoteserver.h"

#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/support/tempdir.h"

namespace mv::test {

uint16_t FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  const bool ok = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
                  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0;
  if (fd >= 0) ::close(fd);
  return ok ? ntohs(a.sin_port) : 0;
}

RemoteServerInstance::RemoteServerInstance(const std::string& binary, const std::string& base,
                                           std::string output,
                                           const std::vector<std::pair<std::string, std::string>>& env)
    : port_(FreeLoopbackPort()), output_(std::move(output)) {
  // The child takes the environment as it is at the spawn.
  std::vector<std::pair<std::string, std::string>> all = env;
  all.emplace_back("MIRAVA_REMOTE_PORT", std::to_string(port_));
  for (const auto& [name, value] : all) ::setenv(name.c_str(), value.c_str(), 1);
  process_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{binary, "--headless", "--base", base, "--remote-server"}, output_);
  for (const auto& [name, value] : all) ::unsetenv(name.c_str());
}

std::string RemoteServerInstance::Output() const { return TempDir::Read(output_); }

bool RemoteServerInstance::Ready(int timeoutMs) const {
  return process_->started() &&
         WaitFor([&] { return Output().find("NetWare interface") != std::string::npos; }, timeoutMs);
}

}  // namespace mv::test
