// A tiny HTTP server on 127.0.0.1 for the tests of the update check. It runs
// on its own thread, answers every connection with prepared pieces (or keeps
// it open without a word) and stops by itself after its lifetime.
#pragma once

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarnwick::test {

class LoopbackServer {
public:
    // Answer: send the pieces and close. Silent: send nothing and keep the
    // connection open. Stall: send the pieces and keep the connection open.
    enum class Mode { Answer, Silent, Stall };

    // Answers with `pieces`, sent one after the other `pause` apart.
    explicit LoopbackServer(std::vector<std::string> pieces, Mode mode = Mode::Answer,
                            std::chrono::milliseconds pause = std::chrono::milliseconds(0),
                            std::chrono::seconds lifetime = std::chrono::seconds(20))
        : pieces_(std::move(pieces)), mode_(mode), pause_(pause) {
        listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        socklen_t length = sizeof address;
        if (listener_ < 0 ||
            bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(listener_, 4) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        port_ = ntohs(address.sin_port);
        const auto end = std::chrono::steady_clock::now() + lifetime;
        thread_ = std::thread([this, end] { Serve(end); });
    }
    // A whole response in one piece: headers, blank line, body.
    static LoopbackServer WithBody(const std::string& body) {
        return LoopbackServer({Response(body)});
    }
    static std::string Response(const std::string& body) {
        return "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + body;
    }

    ~LoopbackServer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (listener_ >= 0) close(listener_);
    }
    LoopbackServer(LoopbackServer&& other) = delete;

    int Port() const { return port_; }
    std::string Site() const { return "http://127.0.0.1:" + std::to_string(port_); }
    // The bytes of the last request up to and including its blank line.
    std::string Request() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return request_;
    }
    int Connections() const { return connections_; }

    // A port on which nothing listens: connecting is refused at once.
    static int RefusedPort() {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        close(fd);
        return ntohs(address.sin_port);
    }

private:
    using Clock = std::chrono::steady_clock;

    bool Running(Clock::time_point end) const { return !stop_ && Clock::now() < end; }

    // Waits up to 50 ms for `fd`; false when nothing came.
    static bool Ready(int fd) {
        pollfd p{fd, POLLIN, 0};
        return poll(&p, 1, 50) > 0;
    }

    void Serve(Clock::time_point end) {
        while (Running(end)) {
            if (!Ready(listener_)) continue;
            const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) continue;
            ++connections_;
            std::string request;
            while (Running(end) && request.find("\r\n\r\n") == std::string::npos) {
                if (!Ready(client)) continue;
                char buffer[512];
                const ssize_t n = recv(client, buffer, sizeof buffer, 0);
                if (n <= 0) break;
                request.append(buffer, static_cast<size_t>(n));
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                request_ = request;
            }
            if (mode_ != Mode::Silent) {
                for (size_t i = 0; i < pieces_.size() && Running(end); ++i) {
                    if (i > 0) std::this_thread::sleep_for(pause_);
                    send(client, pieces_[i].data(), pieces_[i].size(), MSG_NOSIGNAL);
                }
            }
            if (mode_ != Mode::Answer) {
                while (Running(end)) std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            close(client);
        }
    }

    std::vector<std::string> pieces_;
    Mode mode_;
    std::chrono::milliseconds pause_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    std::string request_;
    std::thread thread_;
};

}  // namespace tarnwick::test
