// Conversion of the program's UTF-8 texts to Qt strings.
#pragma once

#include <QString>

#include <string>

namespace tarnwick {

inline QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace tarnwick
