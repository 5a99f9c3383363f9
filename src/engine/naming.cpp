#include "engine/naming.h"
#include "platform/paths.h"
#include "platform/platform.h"
#include "text/text_util.h"

#include <cstdio>

namespace tarnwick {

namespace {

const char* const kTokens[] = {
    "%filename%", "%filename[u]%", "%filename[l]%", "%filename[t]%", "%ext%", "%ext[u]%",
    "%ext[t]%",   "%yyyy%",        "%mm%",          "%dd%",          "%hh%",  "%ii%",
    "%ss%",       "%bpp%",         "%width%",       "%height%",      "%rnd%", "%n%",
};
constexpr int kTokenCount = sizeof kTokens / sizeof kTokens[0];

const char* const kDefaultMask = "%filename%.%ext%";

// Decodes one UTF-8 character at text[i]; returns its length, 0 when invalid.
size_t DecodeUtf8(const std::string& text, size_t i, char32_t& cp) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char c = byte(i);
    size_t len;
    if (c < 0x80) {
        cp = c;
        return 1;
    } else if ((c & 0xE0) == 0xC0) {
        len = 2;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + len > text.size()) return 0;
    for (size_t k = 1; k < len; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    static const char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

void EncodeUtf8(char32_t cp, std::string& out) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

char32_t MapCase(char32_t cp, bool upper) {
    if (cp < 0x80) {
        if (upper && cp >= 'a' && cp <= 'z') return cp - 32;
        if (!upper && cp >= 'A' && cp <= 'Z') return cp + 32;
        return cp;
    }
    return platform::MapUnicodeCase(cp, upper);
}

// mode: 0 lower, 1 upper, 2 title.
std::string ChangeCase(const std::string& text, int mode) {
    std::string out;
    out.reserve(text.size());
    bool first = true;
    for (size_t i = 0; i < text.size();) {
        char32_t cp;
        size_t len = DecodeUtf8(text, i, cp);
        if (len == 0) {
            out += text[i++];
            first = false;
            continue;
        }
        bool upper = mode == 1 || (mode == 2 && first);
        EncodeUtf8(MapCase(cp, upper), out);
        first = false;
        i += len;
    }
    return out;
}

std::string Padded(long long value, int width) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*lld", width, value);
    return buf;
}

// The value a token stands for; `known` is false for a text that is no token.
std::string TokenValue(const std::string& token, const RunState& run, const ClockFn& clock,
                       bool& known) {
    known = true;
    if (token == "%filename%") return platform::BaseNamePart(run.inputPath);
    if (token == "%filename[u]%") return Utf8Upper(platform::BaseNamePart(run.inputPath));
    if (token == "%filename[l]%") return Utf8Lower(platform::BaseNamePart(run.inputPath));
    if (token == "%filename[t]%") return Utf8Title(platform::BaseNamePart(run.inputPath));
    if (token == "%ext%") return run.conversion;
    if (token == "%ext[u]%") return Utf8Upper(run.conversion);
    if (token == "%ext[t]%") return Utf8Title(run.conversion);
    if (token == "%yyyy%") return Padded(clock().tm_year + 1900LL, 4);
    if (token == "%mm%") return Padded(clock().tm_mon + 1, 2);
    if (token == "%dd%") return Padded(clock().tm_mday, 2);
    if (token == "%hh%") return Padded(clock().tm_hour, 2);
    if (token == "%ii%") return Padded(clock().tm_min, 2);
    if (token == "%ss%") return Padded(clock().tm_sec, 2);
    if (token == "%bpp%") return std::to_string(run.outputBpp);
    if (token == "%width%") return std::to_string(run.outputWidth);
    if (token == "%height%") return std::to_string(run.outputHeight);
    if (token == "%rnd%") return Padded(run.randomNumber, 5);
    if (token == "%n%") return Padded(run.fileNumber, 5).substr(0, 5);
    known = false;
    return {};
}

}  // namespace

std::tm LocalNow() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return tm;
}

std::string Utf8Lower(const std::string& text) { return ChangeCase(text, 0); }
std::string Utf8Upper(const std::string& text) { return ChangeCase(text, 1); }
std::string Utf8Title(const std::string& text) { return ChangeCase(text, 2); }

const char* const* NamingTokens(int& count) {
    count = kTokenCount;
    return kTokens;
}

std::string ReplaceToken(const std::string& text, const std::string& token, const RunState& run,
                         const ClockFn& clock) {
    if (token.empty()) return text;
    const std::string key = text::Lower(token);
    const std::string haystack = text::Lower(text);
    size_t pos = haystack.find(key);
    if (pos == std::string::npos) return text;
    bool known;
    const std::string value = TokenValue(key, run, clock, known);
    if (!known) return text;
    std::string out;
    size_t from = 0;
    while (pos != std::string::npos) {
        out.append(text, from, pos - from);
        out += value;
        from = pos + key.size();
        pos = haystack.find(key, from);
    }
    out.append(text, from, std::string::npos);
    return out;
}

std::string ExpandNameMask(const std::string& mask, const RunState& run, const ClockFn& clock) {
    std::string text = Utf8Lower(mask);
    if (text.empty()) text = kDefaultMask;
    // Either separator in the mask makes a path below the output folder.
    for (char& c : text)
        if (c == '\\') c = '/';
    for (const char* token : kTokens) {
        if (text.find(token) != std::string::npos) text = ReplaceToken(text, token, run, clock);
    }
    return text;
}

std::string BuildOutputPath(const Settings& s, const RunState& run, const ClockFn& clock) {
    std::string name = ExpandNameMask(s.filenameMask, run, clock);
    std::string folder = run.outputFolder;
    if (s.keepSubfolders != 0) folder += run.relativeSubfolder;
    return folder + name;
}

}  // namespace tarnwick
