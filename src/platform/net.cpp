// TCP connections on POSIX sockets.
#include "platform/net.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>

namespace tarnwick::platform {

namespace {

using Clock = std::chrono::steady_clock;

// poll() for `events`, restarted after signals, until the deadline.
int PollUntil(int fd, short events, Clock::time_point deadline, short* revents) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = poll(&p, 1, MillisecondsLeft(deadline));
        if (n < 0 && errno == EINTR) continue;
        if (revents) *revents = p.revents;
        return n;
    }
}

bool SetBlocking(int fd, bool blocking) {
    const int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0) return false;
    const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return fcntl(fd, F_SETFL, wanted) == 0;
}

// Connects one socket to one address, waiting at most timeoutMs.
int ConnectOne(const addrinfo& a, int timeoutMs) {
    const int fd = socket(a.ai_family, a.ai_socktype | SOCK_CLOEXEC, a.ai_protocol);
    if (fd < 0) return -1;
    if (!SetBlocking(fd, false)) {
        close(fd);
        return -1;
    }
    if (connect(fd, a.ai_addr, a.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) {
            close(fd);
            return -1;
        }
        short revents = 0;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        if (PollUntil(fd, POLLOUT, deadline, &revents) <= 0) {
            close(fd);
            return -1;
        }
        int error = 0;
        socklen_t length = sizeof error;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
            close(fd);
            return -1;
        }
    }
    if (!SetBlocking(fd, true)) {
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

Connection ConnectTcp(const std::string& host, int port, int timeoutMs) {
    if (host.empty() || port < 1 || port > 65535) return kNoConnection;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || !found)
        return kNoConnection;
    int fd = -1;
    for (const addrinfo* a = found; a && fd < 0; a = a->ai_next) fd = ConnectOne(*a, timeoutMs);
    freeaddrinfo(found);
    return fd >= 0 ? fd : kNoConnection;
}

bool SendAll(Connection c, const std::string& bytes, int timeoutMs) {
    if (c == kNoConnection) return false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t sent = 0;
    while (sent < bytes.size()) {
        short revents = 0;
        if (PollUntil(c, POLLOUT, deadline, &revents) <= 0) return false;
        const ssize_t n =
            send(c, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

bool WaitReadable(Connection c, int timeoutMs) {
    if (c == kNoConnection) return true;
    short revents = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const int n = PollUntil(c, POLLIN, deadline, &revents);
    return n != 0;  // ready, closed, failed, or poll itself failed: receiving will not block
}

long Receive(Connection c, char* buffer, size_t size) {
    if (c == kNoConnection) return -1;
    for (;;) {
        const ssize_t n = recv(c, buffer, size, 0);
        if (n < 0 && errno == EINTR) continue;
        return n < 0 ? -1 : static_cast<long>(n);
    }
}

void CloseConnection(Connection c) {
    if (c != kNoConnection) close(c);
}

int MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace tarnwick::platform
