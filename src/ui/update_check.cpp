// The window side of the update check.
#include "ui/update_check.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QWidget>
#include <thread>

#include "platform/platform.h"
#include "ui/links.h"
#include "ui/user_dialogs.h"
#include "update/http_fetch.h"

namespace tarnwick {

namespace {

// Keeps the window open while a fetch runs: a close request (the close box,
// a termination signal) would end the program before the check has told its
// result. The request is noted and delivered after the check.
class HoldClose : public QObject {
public:
    explicit HoldClose(bool* held) : held_(held) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::Close) return false;
        event->ignore();
        *held_ = true;
        return true;
    }

private:
    bool* held_;
};

}  // namespace

WindowUpdateHost::WindowUpdateHost(QWidget* window, UserDialogs& dialogs, DesktopOpener& opener,
                                   FetchFunction fetch)
    : window_(window), dialogs_(dialogs), opener_(opener), fetch_(std::move(fetch)) {
    if (!fetch_)
        fetch_ = [](const std::string& url, const std::string& agent) {
            return update::FetchUpdateInfo(url, agent);
        };
}

WindowUpdateHost::~WindowUpdateHost() {
    if (!closeHeld_ || !window_) return;
    QPointer<QWidget> window(window_);
    QMetaObject::invokeMethod(
        window_,
        [window] {
            if (window) window->close();
        },
        Qt::QueuedConnection);
}

std::string WindowUpdateHost::Fetch(const std::string& url, const std::string& userAgent) {
    // The fetch may take seconds: it runs on a thread of its own while the
    // window, disabled, keeps repainting; close requests are held.
    QPointer<QWidget> window(window_);
    const bool wasEnabled = window && window->isEnabled();
    HoldClose holdClose(&closeHeld_);
    if (window) {
        window->setEnabled(false);
        window->installEventFilter(&holdClose);
    }
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));

    std::string result;
    QEventLoop loop;
    std::thread worker([&] {
        result = fetch_(url, userAgent);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    // Input to the disabled window is dropped as usual; the close box is not
    // held back as input would be (a deferred close request could wait
    // for the next input event), so the filter above notes it.
    loop.exec();
    worker.join();

    QApplication::restoreOverrideCursor();
    if (window) {
        window->removeEventFilter(&holdClose);
        window->setEnabled(wasEnabled);
    }
    return result;
}

bool WindowUpdateHost::Question(const std::string& title, const std::string& text) {
    return dialogs_.Question(title, text, false);
}

void WindowUpdateHost::Error(const std::string& text) { dialogs_.Error(text); }

void WindowUpdateHost::Info(const std::string& title, const std::string& text) {
    dialogs_.Info(title, text);
}

void WindowUpdateHost::Open(const std::string& target) { opener_.Open(target); }

int64_t WindowUpdateHost::Now() { return platform::NowLocalDateValue(); }

}  // namespace tarnwick
