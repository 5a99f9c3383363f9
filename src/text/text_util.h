// Small text helpers of the settings code: ASCII case, trimming and a
// locale-independent decimal reader.
#pragma once

#include <cctype>
#include <charconv>
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
    if (i >= t.size() || !(std::isdigit(static_cast<unsigned char>(t[i])) || t[i] == '.')) return T(0);
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
