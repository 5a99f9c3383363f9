// The main window's help and link commands: user manual, feedback, home
// page, About box, converter search and the update check.
#pragma once

#include <QPointer>

#include "ui/update_check.h"

class QWidget;

namespace tarnwick {

class AboutBox;
class ConverterSearch;
class DesktopOpener;
class UserDialogs;

class HelpCommands {
public:
    // `window` is the main window: the dialogs are centred over it and it is
    // disabled while one of them is open or an update fetch runs.
    HelpCommands(QWidget* window, UserDialogs& dialogs);
    ~HelpCommands();

    // Where links go (DefaultDesktopOpener unless a test puts its own).
    void SetOpener(DesktopOpener& opener) { opener_ = &opener; }
    // The fetch of the update check (update::FetchUpdateInfo unless replaced).
    void SetUpdateFetch(WindowUpdateHost::FetchFunction fetch) { fetch_ = std::move(fetch); }

    void UserManual();
    void SendFeedback();
    void VisitHomePage();
    void ShowAboutBox();
    void ShowConverterSearch();
    // The menu and toolbar command: checks now; updateDate stays.
    void CheckForUpdate();
    // The start-up check on the schedule of the settings.
    void RunScheduledUpdateCheck();

    // The open dialogs, or nullptr.
    AboutBox* OpenAboutBox() const;
    ConverterSearch* OpenConverterSearch() const;

private:
    QWidget* window_;
    UserDialogs& dialogs_;
    DesktopOpener* opener_;
    WindowUpdateHost::FetchFunction fetch_;
    QPointer<AboutBox> about_;
    QPointer<ConverterSearch> search_;
};

}  // namespace tarnwick
