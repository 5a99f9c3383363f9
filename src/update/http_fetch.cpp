// The HTTP/1.0 fetch of the update information file.
#include "update/http_fetch.h"

#include <chrono>
#include <memory>
#include <new>
#include <thread>

#include "platform/net.h"

namespace tarnwick::update {

namespace {

using Clock = std::chrono::steady_clock;

// A port of one to five digits; 0 for anything else.
int ReadPort(const std::string& text) {
    if (text.empty() || text.size() > 5) return 0;
    int port = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        port = port * 10 + (c - '0');
    }
    return port;
}

}  // namespace

UrlParts SplitUrl(const std::string& url) {
    UrlParts parts;
    const size_t scheme = url.find("://");
    const std::string rest = scheme == std::string::npos ? url : url.substr(scheme + 3);

    size_t afterHost = 0;
    if (!rest.empty() && rest[0] == '[') {
        const size_t close = rest.find(']');
        const size_t end = close == std::string::npos ? rest.size() : close;
        parts.host = rest.substr(1, end - 1);
        afterHost = close == std::string::npos ? rest.size() : close + 1;
    } else {
        afterHost = rest.find_first_of(":/?");
        if (afterHost == std::string::npos) afterHost = rest.size();
        parts.host = rest.substr(0, afterHost);
    }

    const size_t slash = rest.find('/', afterHost);
    if (afterHost < rest.size() && rest[afterHost] == ':') {
        const size_t portEnd = rest.find_first_of("/?", afterHost + 1);
        parts.port = ReadPort(rest.substr(
            afterHost + 1, (portEnd == std::string::npos ? rest.size() : portEnd) - afterHost - 1));
    }
    if (slash != std::string::npos) {
        const size_t query = rest.find('?', slash);
        parts.path =
            rest.substr(slash, query == std::string::npos ? std::string::npos : query - slash);
    }
    return parts;
}

std::string BuildRequest(const UrlParts& url, const std::string& userAgent) {
    return "GET " + url.path + " HTTP/1.0\r\n" + "Host: " + url.host + "\r\n" + "Accept: */*\r\n" +
           "User-Agent: " + userAgent + "\r\n" + "Connection: close\r\n\r\n";
}

std::string UpdateInfoFromResponse(const std::string& response) {
    const std::string text = response.substr(0, response.find('\0'));
    static const std::string kBlankLine = "\r\n\r\n";
    const size_t first = text.find(kBlankLine);
    if (first == std::string::npos) return {};
    const size_t start = first + kBlankLine.size();
    const size_t next = text.find(kBlankLine, start);
    std::string body =
        text.substr(start, next == std::string::npos ? std::string::npos : next - start);
    const size_t b = body.find_first_not_of(' ');
    if (b == std::string::npos) return {};
    const size_t e = body.find_last_not_of(' ');
    body = body.substr(b, e - b + 1);
    return body.substr(0, 3);
}

std::string FetchUpdateInfo(const std::string& url, const std::string& userAgent,
                            const FetchLimits& limits) {
    const UrlParts parts = SplitUrl(url);
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kReceiveBufferSize]());
    if (!buffer) return {};

    const platform::Connection connection =
        platform::ConnectTcp(parts.host, parts.port, limits.connect);
    if (connection == platform::kNoConnection) return {};
    if (!platform::SendAll(connection, BuildRequest(parts, userAgent), limits.firstData)) {
        platform::CloseConnection(connection);
        return {};
    }

    // Wait for the first data, looking every limits.poll milliseconds.
    const auto sent = Clock::now();
    bool readable = platform::WaitReadable(connection, 0);
    while (!readable && Clock::now() - sent <= std::chrono::milliseconds(limits.firstData)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(limits.poll));
        readable = platform::WaitReadable(connection, 0);
    }

    // Collect the pieces of the answer one after the other until the server
    // closes, a receive fails or the buffer is full. The rest of a response
    // must follow within the same time again, so a server that stops sending
    // cannot hold the fetch for ever.
    size_t used = 0;
    if (readable) {
        const auto restDeadline = Clock::now() + std::chrono::milliseconds(limits.firstData);
        while (used < kReceiveBufferSize) {
            const long n =
                platform::Receive(connection, buffer.get() + used, kReceiveBufferSize - used);
            if (n <= 0) break;
            used += static_cast<size_t>(n);
            if (used == kReceiveBufferSize) break;
            if (!platform::WaitReadable(connection, platform::MillisecondsLeft(restDeadline)))
                break;
        }
    }
    platform::CloseConnection(connection);
    return UpdateInfoFromResponse(std::string(buffer.get(), used));
}

}  // namespace tarnwick::update
