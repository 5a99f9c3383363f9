// Message boxes, questions and the file and folder pickers of the window mode.
// The main window and the progress window talk to the user only through
// UserDialogs, so a test can answer in the user's place.
#pragma once

#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace tarnwick {

// A modal message box owned by the program's active window (else unowned).
// Title group "Msg" key "Warning", exclamation icon.
void ShowWarning(const std::string& text);
// Title "Msg"/"Error", stop icon.
void ShowError(const std::string& text);
// Information icon with the given title.
void ShowInfo(const std::string& title, const std::string& text);
// Yes/No question; true only when Yes was pressed. With warningIcon the
// exclamation icon is shown (questions that confirm a stop), else the question icon.
bool AskYesNo(const std::string& title, const std::string& text, bool warningIcon);

class UserDialogs {
public:
    virtual ~UserDialogs() = default;
    virtual void Warning(const std::string& text) = 0;
    virtual void Error(const std::string& text) = 0;
    virtual void Info(const std::string& title, const std::string& text) = 0;
    virtual bool Question(const std::string& title, const std::string& text, bool warningIcon) = 0;
    // Open-file dialog for one file; the file need not exist, its folder must.
    virtual std::optional<std::string> ChooseInputFile(
        QWidget* parent, const std::string& title, const std::string& initialFile,
        const std::vector<std::string>& nameFilters) = 0;
    // Folder dialog; the chosen folder without trailing '/'.
    virtual std::optional<std::string> ChooseFolder(QWidget* parent, const std::string& title,
                                                    const std::string& startFolder) = 0;
};

// The real dialogs.
class QtUserDialogs : public UserDialogs {
public:
    void Warning(const std::string& text) override;
    void Error(const std::string& text) override;
    void Info(const std::string& title, const std::string& text) override;
    bool Question(const std::string& title, const std::string& text, bool warningIcon) override;
    std::optional<std::string> ChooseInputFile(
        QWidget* parent, const std::string& title, const std::string& initialFile,
        const std::vector<std::string>& nameFilters) override;
    std::optional<std::string> ChooseFolder(QWidget* parent, const std::string& title,
                                            const std::string& startFolder) override;
};

// "Do you want to break the conversion?" with the warning title; true for Yes.
bool AskBreakConversion(UserDialogs& dialogs);

}  // namespace tarnwick
