// The converter-search dialog: From and To fields and a Search button that
// sends the two cleaned extensions to the maker's web site. Enter searches,
// Escape closes.
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace tarnwick {

class DesktopOpener;
class UserDialogs;

class ConverterSearch : public QDialog {
public:
    // A window of its own; show it with ShowOwnedDialog.
    ConverterSearch(UserDialogs& dialogs, DesktopOpener& opener);

    QLineEdit* FromField() const { return from_; }
    QLineEdit* ToField() const { return to_; }
    QPushButton* SearchButton() const { return search_; }

    // Opens the search for the two fields and closes the dialog; with a field
    // empty after cleaning, warns and stays open.
    void Search();

private:
    UserDialogs& dialogs_;
    DesktopOpener& opener_;
    QLineEdit* from_ = nullptr;
    QLineEdit* to_ = nullptr;
    QPushButton* search_ = nullptr;
};

}  // namespace tarnwick
