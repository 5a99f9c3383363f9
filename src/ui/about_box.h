// The About box: banner, product and notice lines, the web and e-mail links
// and an OK button. Enter, Escape, OK and the close box all close it.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace tarnwick {

class DesktopOpener;

class AboutBox : public QDialog {
public:
    // A window of its own (not a child of the main window, so the main window
    // can be disabled while the box is open); show it with ShowOwnedDialog.
    explicit AboutBox(DesktopOpener& opener);

    QLabel* Banner() const { return banner_; }
    QLabel* ProductLine() const { return product_; }
    QLabel* NoticeLine() const { return notice_; }
    QLabel* WebLink() const { return web_; }
    QLabel* MailLink() const { return mail_; }
    QPushButton* OkButton() const { return ok_; }

private:
    QLabel* banner_ = nullptr;
    QLabel* product_ = nullptr;
    QLabel* notice_ = nullptr;
    QLabel* web_ = nullptr;
    QLabel* mail_ = nullptr;
    QPushButton* ok_ = nullptr;
};

// Shows a dialog over its owner, which stays disabled until the dialog
// finishes; then the owner is enabled and activated again and the dialog is
// deleted.
void ShowOwnedDialog(QDialog* dialog, QWidget* owner);

}  // namespace tarnwick
