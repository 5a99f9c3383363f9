#include "text/product.h"

namespace tarnwick {

std::string VersionText(int version) {
    std::string text = std::to_string(version);
    if (text.size() > 1) text.insert(1, ".");
    if (text.size() > 3) text.insert(3, ".");
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
