// The help and link commands of the main window.
#include "ui/help_commands.h"

#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include "settings/settings.h"
#include "ui/about_box.h"
#include "ui/converter_search.h"
#include "ui/links.h"
#include "update/update_check.h"

namespace tarnwick {

HelpCommands::HelpCommands(QWidget* window, UserDialogs& dialogs)
    : window_(window), dialogs_(dialogs), opener_(&DefaultDesktopOpener()) {}

HelpCommands::~HelpCommands() {
    delete about_.data();
    delete search_.data();
}

void HelpCommands::UserManual() { opener_->Open(ManualPath()); }

void HelpCommands::SendFeedback() { opener_->Open(FeedbackAddress()); }

void HelpCommands::VisitHomePage() { opener_->Open(update::HomePageUrl()); }

void HelpCommands::ShowAboutBox() {
    if (about_) {
        about_->activateWindow();
        return;
    }
    about_ = new AboutBox(*opener_);
    ShowOwnedDialog(about_, window_);
    about_->OkButton()->setFocus();
}

void HelpCommands::ShowConverterSearch() {
    if (search_) {
        search_->activateWindow();
        return;
    }
    search_ = new ConverterSearch(dialogs_, *opener_);
    ShowOwnedDialog(search_, window_);
    search_->FromField()->setFocus();
}

void HelpCommands::CheckForUpdate() {
    WindowUpdateHost host(window_, dialogs_, *opener_, fetch_);
    update::CheckForUpdate(host);
}

void HelpCommands::RunScheduledUpdateCheck() {
    WindowUpdateHost host(window_, dialogs_, *opener_, fetch_);
    update::RunScheduledUpdateCheck(GlobalSettings(), host);
}

AboutBox* HelpCommands::OpenAboutBox() const { return about_.data(); }
ConverterSearch* HelpCommands::OpenConverterSearch() const { return search_.data(); }

}  // namespace tarnwick
