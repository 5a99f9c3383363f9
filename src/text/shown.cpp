#include "text/shown.h"

namespace tarnwick::text {

namespace {

void AppendEscaped(std::string& out, unsigned char byte) {
    static const char digits[] = "0123456789abcdef";
    out += "\\x";
    out += digits[byte >> 4];
    out += digits[byte & 0xf];
}

// Length of the valid UTF-8 sequence at `at`, 0 when there is none.
size_t Utf8Length(const std::string& s, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(at);
    size_t length;
    unsigned minimum;
    unsigned value;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2, minimum = 0x80, value = lead & 0x1fu;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3, minimum = 0x800, value = lead & 0x0fu;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4, minimum = 0x10000, value = lead & 0x07u;
    } else {
        return 0;
    }
    if (at + length > s.size()) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xc0) != 0x80) return 0;
        value = (value << 6) | (byte(at + i) & 0x3fu);
    }
    if (value < minimum || value > 0x10ffff || (value >= 0xd800 && value <= 0xdfff)) return 0;
    return length;
}

}  // namespace

std::string Shown(const std::string& name) {
    std::string out;
    out.reserve(name.size());
    for (size_t i = 0; i < name.size();) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c < 0x80) {
            if (c == '\n') out += "\\n";
            else if (c == '\r') out += "\\r";
            else if (c == '\t') out += "\\t";
            else if (c < 0x20 || c == 0x7f) AppendEscaped(out, c);
            else out += static_cast<char>(c);
            ++i;
            continue;
        }
        const size_t length = Utf8Length(name, i);
        if (length == 0) {
            AppendEscaped(out, c);
            ++i;
        } else if (length == 2 && c == 0xc2 && static_cast<unsigned char>(name[i + 1]) < 0xa0) {
            // U+0080..U+009F: the control characters of Latin-1 (CSI among them).
            AppendEscaped(out, c);
            AppendEscaped(out, static_cast<unsigned char>(name[i + 1]));
            i += 2;
        } else {
            out.append(name, i, length);
            i += length;
        }
    }
    return out;
}

std::string FailureLine(const std::string& path, const std::string& reason) {
    return "tarnwick: " + Shown(path) + ": " + Shown(reason);
}

}  // namespace tarnwick::text
