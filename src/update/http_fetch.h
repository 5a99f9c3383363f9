// A minimal HTTP/1.0 client: one request for a small text resource, of whose
// body only the first three characters are kept.
#pragma once

#include <string>

namespace tarnwick::update {

// Time limits of a fetch, in milliseconds.
struct FetchLimits {
    int poll = 20;          // between looks for the first data
    int firstData = 10000;  // from sending to the first data; the rest of the
                            // answer must follow within the same time again
    int connect = 10000;    // per address of the host
};
// Nothing beyond the first bytes of a response is ever read.
inline constexpr size_t kReceiveBufferSize = 2048;

struct UrlParts {
    std::string host;
    int port = 80;
    std::string path = "/";
    bool operator==(const UrlParts&) const = default;
};

// Host after "://" up to ":" or "/" (an IPv6 address in brackets keeps its
// colons, without the brackets); the port after a ':' behind the host (80
// when absent, 0 when it is not a number); the path from the first '/' behind
// the host up to a '?' ("/" when there is none).
UrlParts SplitUrl(const std::string& url);

// The exact request bytes: GET line, Host, Accept, User-Agent, Connection.
std::string BuildRequest(const UrlParts& url, const std::string& userAgent);

// The result of a response: read up to the first zero byte, take the body
// between the first "\r\n\r\n" and the next one (or the end), remove blanks
// (spaces only) at both ends and keep the first three characters. Empty when
// the response has no blank line.
std::string UpdateInfoFromResponse(const std::string& response);

// Fetches `url` with the given User-Agent and returns UpdateInfoFromResponse
// of the first kReceiveBufferSize bytes of the answer; the empty text on any
// failure. Blocks the calling thread: the connection time plus at most
// limits.firstData for the first data and as long again for the rest.
std::string FetchUpdateInfo(const std::string& url, const std::string& userAgent,
                            const FetchLimits& limits = {});

}  // namespace tarnwick::update
