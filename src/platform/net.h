// TCP connections for the small HTTP client of the update check.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace tarnwick::platform {

// An open TCP connection; kNoConnection when there is none.
using Connection = int;
inline constexpr Connection kNoConnection = -1;

// Resolves `host` (a name, an IPv4 address or an IPv6 address without
// brackets) and connects to `port`, trying each address in turn and waiting
// at most `timeoutMs` for each. kNoConnection when the host is unknown, the
// port is outside 1..65535 or no address accepts.
Connection ConnectTcp(const std::string& host, int port, int timeoutMs);

// Sends all bytes, waiting at most `timeoutMs` in total; false when the
// connection failed or the time ran out. A peer that has gone away never
// raises a signal.
bool SendAll(Connection c, const std::string& bytes, int timeoutMs);

// Waits at most `timeoutMs` (0: does not wait) until a receive would not
// block: data is waiting, or the peer closed the connection or it failed.
bool WaitReadable(Connection c, int timeoutMs);

// Receives up to `size` bytes into `buffer`: the number received, 0 when the
// peer closed the connection, -1 on failure. Blocks when nothing is waiting.
long Receive(Connection c, char* buffer, size_t size);

void CloseConnection(Connection c);

// Whole milliseconds from now until `deadline`; 0 when it has passed.
int MillisecondsLeft(std::chrono::steady_clock::time_point deadline);

}  // namespace tarnwick::platform
