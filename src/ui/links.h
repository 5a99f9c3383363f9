// The window mode's outward links: the user manual, the feedback e-mail, the
// home page and the converter search on the maker's web site, and the opener
// that hands them to the desktop.
#pragma once

#include <string>

namespace tarnwick {

struct RunState;

// Opens a document, web address or "mailto:" address with the program the
// desktop has for it. The result is not reported.
class DesktopOpener {
public:
    virtual ~DesktopOpener() = default;
    virtual void Open(const std::string& target) = 0;
};

// The desktop's opener (xdg-open underneath): an absolute path opens as a
// local file, anything else as an address.
class QtDesktopOpener : public DesktopOpener {
public:
    void Open(const std::string& target) override;
};
// The opener used where no other is given: the desktop's, unless replaced
// (the window tests put a recording one in its place so that no test ever
// starts a browser). nullptr brings the desktop's back.
DesktopOpener& DefaultDesktopOpener();
void SetDefaultDesktopOpener(DesktopOpener* opener);

// The user manual beside the program, by its absolute path.
std::string ManualPath();
// "mailto:" + support address + "?subject=" + window title + " Feedback".
std::string FeedbackAddress();
// "mailto:" + support address.
std::string SupportMailAddress();
// The site + "/find/" + from + "-" + to + "/".
std::string ConverterSearchAddress(const std::string& fromExtension,
                                   const std::string& toExtension);

// Keeps the ASCII letters and digits of a text, in their order.
std::string KeepAlphanumeric(const std::string& text);
// Cleans the From and To fields (lower case, the first 12 characters, then
// letters and digits only) into run.fromExtension and run.toExtension; true
// when neither is empty.
bool ReadConverterFields(const std::string& fromField, const std::string& toField, RunState& run);

}  // namespace tarnwick
