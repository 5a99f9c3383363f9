// Small text helpers shared by every layer: ASCII case, trimming, a
// case-insensitive replace, a locale-independent decimal reader and a clamp.
#pragma once

#include <cctype>
#include <charconv>
#include <cstdint>
#include <limits>
#include <string>

namespace tarnwick::text {

inline std::string Upper(std::string t) {
    for (char& c : t)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return t;
}

inline std::string Lower(std::string t) {
    for (char& c : t)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return t;
}

inline bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && Upper(a) == Upper(b);
}

// Removes blanks and tabs at both ends.
inline std::string Trim(const std::string& t) {
    size_t b = t.find_first_not_of(" \t");
    if (b == std::string::npos) return std::string();
    size_t e = t.find_last_not_of(" \t");
    return t.substr(b, e - b + 1);
}

// Removes blanks (not tabs) at both ends.
inline std::string TrimBlanks(const std::string& t) {
    size_t b = 0, e = t.size();
    while (b < e && t[b] == ' ') ++b;
    while (e > b && t[e - 1] == ' ') --e;
    return t.substr(b, e - b);
}

// Replaces every occurrence of `needle` (ASCII letters matched without regard
// to case) by `value`; inserted text is not searched again.
inline std::string ReplaceAllNoCase(const std::string& text, const std::string& needle,
                                    const std::string& value) {
    if (needle.empty()) return text;
    const std::string haystack = Lower(text);
    const std::string key = Lower(needle);
    std::string out;
    size_t from = 0;
    for (size_t pos = haystack.find(key); pos != std::string::npos;
         pos = haystack.find(key, from)) {
        out.append(text, from, pos - from);
        out += value;
        from = pos + key.size();
    }
    out.append(text, from, std::string::npos);
    return out;
}

// A whole number: blanks and tabs (when `skipBlanks`), a sign, then decimal
// digits, or with `basePrefixes` "$" and hexadecimal or "%" and binary digits.
// Reading stops at the first other character; no digits gives 0. A decimal
// number beyond the 32-bit range, or digits of another base beyond 32 bits,
// is no number either: it gives 0 and sets `outOfRange`. Hexadecimal and
// binary digits fill the 32 bits as they are ("$FFFFFFFF" is -1).
inline int32_t ReadWholeNumber(const std::string& t, bool basePrefixes = true,
                               bool skipBlanks = true, bool* outOfRange = nullptr) {
    if (outOfRange) *outOfRange = false;
    size_t i = 0;
    if (skipBlanks)
        while (i < t.size() && (t[i] == ' ' || t[i] == '\t')) ++i;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        negative = t[i] == '-';
        ++i;
    }
    uint32_t base = 10;
    if (basePrefixes && i < t.size() && (t[i] == '$' || t[i] == '%')) {
        base = t[i] == '$' ? 16 : 2;
        ++i;
    }
    // Decimal: up to 2^31 (the magnitude of the smallest value); other bases
    // up to 2^32 - 1.
    const uint64_t largest =
        base == 10 ? (negative ? 0x80000000ull : 0x7FFFFFFFull) : 0xFFFFFFFFull;
    uint64_t value = 0;
    for (; i < t.size(); ++i) {
        const char c = t[i];
        uint32_t d = 99;
        if (c >= '0' && c <= '9') d = static_cast<uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'f') d = static_cast<uint32_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F') d = static_cast<uint32_t>(c - 'A' + 10);
        if (d >= base) break;
        value = value * base + d;
        if (value > largest) {
            if (outOfRange) *outOfRange = true;
            return 0;
        }
    }
    uint32_t bits = static_cast<uint32_t>(value);
    if (negative) bits = 0u - bits;
    return static_cast<int32_t>(bits);
}

// A value limited to 0..255 (opacities, colour channels).
inline int ClampToByte(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// A decimal number with "." as separator, read up to the first character that
// does not belong to it; "+Infinity", "-Infinity" and "NaN" in any case give
// those values; text without a number gives 0. Independent of the C locale.
template <typename T>
T ParseDecimal(const std::string& input) {
    const std::string t = Trim(input);
    const std::string upper = Upper(t);
    if (upper == "+INFINITY") return std::numeric_limits<T>::infinity();
    if (upper == "-INFINITY") return -std::numeric_limits<T>::infinity();
    if (upper == "NAN") return std::numeric_limits<T>::quiet_NaN();

    size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        negative = t[i] == '-';
        ++i;
    }
    // Only a digit or a point may start the number: no other spellings of
    // infinity and no hexadecimal forms.
    if (i >= t.size() || !(std::isdigit(static_cast<unsigned char>(t[i])) || t[i] == '.'))
        return T(0);
    T value = T(0);
    const char* first = t.data() + i;
    const char* last = t.data() + t.size();
    auto result = std::from_chars(first, last, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // Beyond the range gives infinity, below the smallest number 0.
        const std::string rest(first, last);
        size_t e = rest.find_first_of("eE");
        bool tiny = e != std::string::npos && e + 1 < rest.size() && rest[e + 1] == '-';
        value = tiny ? T(0) : std::numeric_limits<T>::infinity();
    } else if (result.ec != std::errc()) {
        value = T(0);
    }
    return negative ? -value : value;
}

}  // namespace tarnwick::text
