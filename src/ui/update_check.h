// The update check in the window mode: the window's message boxes and opener
// for the check, and a fetch that keeps the window painted but disabled.
#pragma once

#include <functional>
#include <string>

#include "update/update_check.h"

class QWidget;

namespace tarnwick {

class DesktopOpener;
class UserDialogs;

class WindowUpdateHost : public update::UpdateCheckHost {
public:
    using FetchFunction = std::function<std::string(const std::string&, const std::string&)>;

    // `window` is disabled while the fetch runs; `fetch` runs on a thread of
    // its own (update::FetchUpdateInfo when empty).
    WindowUpdateHost(QWidget* window, UserDialogs& dialogs, DesktopOpener& opener,
                     FetchFunction fetch = {});
    // A close request held back during a fetch is delivered again once the
    // event loop runs.
    ~WindowUpdateHost() override;

    std::string Fetch(const std::string& url, const std::string& userAgent) override;
    bool Question(const std::string& title, const std::string& text) override;
    void Error(const std::string& text) override;
    void Info(const std::string& title, const std::string& text) override;
    void Open(const std::string& target) override;
    int64_t Now() override;

private:
    QWidget* window_;
    UserDialogs& dialogs_;
    DesktopOpener& opener_;
    FetchFunction fetch_;
    bool closeHeld_ = false;
};

}  // namespace tarnwick
