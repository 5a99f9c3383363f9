#include "text/product.h"

namespace tarnwick {

std::string VersionText(int version) {
    // A point after the first and after the second digit: 291 -> "2.9.1".
    const std::string digits = std::to_string(version);
    std::string text;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i == 1 || i == 2) text += '.';
        text += digits[i];
    }
    if (!text.empty() && text.back() == '0') text = text.substr(0, 3);
    return text;
}

std::string BuildWindowTitle(const std::string& name, int version) {
    return name + " " + VersionText(version);
}

const std::vector<std::string>& InputExtensions() {
    static const std::vector<std::string> list{"png"};
    return list;
}

const std::vector<std::string>& OutputExtensions() {
    static const std::vector<std::string> list{"bmp"};
    return list;
}

const std::string& WindowTitle() {
    static const std::string title = BuildWindowTitle(kProductName, kProgramVersion);
    return title;
}

}  // namespace tarnwick
