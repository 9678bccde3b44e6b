#pragma once
// TCP for both network clients of the program (mail and remote listings):
// name lookup over IPv4 and IPv6, non-blocking connects and listeners, and
// one bounded wait on a descriptor that a cancel flag ends early.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "platform/uniquefd.h"

namespace mv {

using TcpClock = std::chrono::steady_clock;
// No deadline: the wait lasts until the descriptor is ready or canceled.
inline constexpr TcpClock::time_point kNoDeadline = TcpClock::time_point::max();

enum class FdWait { Ready, TimedOut, Canceled, Failed };

// Waits for events on fd until deadline. Errors and hang-ups count as ready:
// the call that follows reports them. With a cancel flag the wait is cut
// into short slices so that setting the flag from another thread is seen soon.
FdWait WaitForFd(int fd, short events, TcpClock::time_point deadline,
                 const std::atomic<bool>* cancel = nullptr);

enum class TcpConnect { Connected, LookupFailed, LookupTimedOut, NullAddress, TimedOut, Canceled, Failed };

// Resolves host (a name, or a numeric IPv4 or IPv6 address) and connects to
// the first of its addresses that answers before the deadline. On success fd
// holds a non-blocking socket with TCP_NODELAY set.
TcpConnect ConnectTcp(const std::string& host, uint16_t port, TcpClock::time_point deadline,
                      const std::atomic<bool>* cancel, UniqueFd& fd);

// A non-blocking listening socket on address (a name or numeric address of
// this machine) and port (0: any free port); invalid when none can be bound.
UniqueFd ListenTcp(const std::string& address, uint16_t port);

// Small requests and commands go out at once instead of waiting to fill a segment.
void SetTcpNoDelay(int fd);

// Port a socket is bound to (0 when not bound); numeric address of its peer
// ("" when not connected).
uint16_t LocalPortOf(int fd);
std::string PeerAddressOf(int fd);

}  // namespace mv
