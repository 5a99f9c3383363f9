// Link targets and the desktop opener.
#include "ui/links.h"

#include <QDesktopServices>
#include <QUrl>

#include "engine/run_state.h"
#include "platform/platform.h"
#include "text/product.h"
#include "text/text_util.h"
#include "ui/qt_text.h"
#include "update/update_check.h"

namespace tarnwick {

namespace {

// The first `count` characters (code points) of a UTF-8 text.
std::string FirstCharacters(const std::string& text, size_t count) {
    size_t i = 0;
    for (size_t taken = 0; i < text.size() && taken < count; ++taken) {
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
    }
    return text.substr(0, i);
}

std::string CleanExtension(const std::string& field) {
    return KeepAlphanumeric(FirstCharacters(text::Lower(field), 12));
}

}  // namespace

void QtDesktopOpener::Open(const std::string& target) {
    const QUrl url = !target.empty() && target.front() == '/' ? QUrl::fromLocalFile(Q(target))
                                                              : QUrl(Q(target), QUrl::TolerantMode);
    QDesktopServices::openUrl(url);
}

namespace {
DesktopOpener* g_defaultOpener = nullptr;
}  // namespace

DesktopOpener& DefaultDesktopOpener() {
    static QtDesktopOpener desktop;
    return g_defaultOpener ? *g_defaultOpener : desktop;
}

void SetDefaultDesktopOpener(DesktopOpener* opener) { g_defaultOpener = opener; }

std::string ManualPath() { return platform::DataPath(platform::ProgramFolder(), kManualFile); }

std::string SupportMailAddress() { return std::string("mailto:") + kSupportEmail; }

std::string FeedbackAddress() {
    return SupportMailAddress() + "?subject=" + WindowTitle() + " Feedback";
}

std::string ConverterSearchAddress(const std::string& fromExtension,
                                   const std::string& toExtension) {
    return update::SiteAddress() + "/find/" + fromExtension + "-" + toExtension + "/";
}

std::string KeepAlphanumeric(const std::string& text) {
    std::string kept;
    for (char c : text)
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) kept += c;
    return kept;
}

bool ReadConverterFields(const std::string& fromField, const std::string& toField, RunState& run) {
    run.fromExtension = CleanExtension(fromField);
    run.toExtension = CleanExtension(toField);
    return !run.fromExtension.empty() && !run.toExtension.empty();
}

}  // namespace tarnwick
