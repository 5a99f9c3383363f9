// Shared pieces of the window-mode tests: a QApplication for the whole test
// program, dialogs answered by the test, and a fresh main window.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ui/main_window.h"
#include "ui/user_dialogs.h"

namespace tarnwick::test {

// Answers every dialog from prepared values and records what was shown.
class FakeDialogs : public UserDialogs {
public:
    std::vector<std::string> warnings;
    std::vector<std::string> errors;
    std::vector<std::pair<std::string, std::string>> questions;
    bool answer = false;

    std::optional<std::string> nextFile;
    std::optional<std::string> nextFolder;
    std::string fileTitle, fileInitial, folderTitle, folderStart;
    std::vector<std::string> fileFilters;

    void Warning(const std::string& text) override { warnings.push_back(text); }
    void Error(const std::string& text) override { errors.push_back(text); }
    void Info(const std::string&, const std::string&) override {}
    bool Question(const std::string& title, const std::string& text, bool) override {
        questions.emplace_back(title, text);
        return answer;
    }
    std::optional<std::string> ChooseInputFile(
        QWidget*, const std::string& title, const std::string& initialFile,
        const std::vector<std::string>& nameFilters) override {
        fileTitle = title;
        fileInitial = initialFile;
        fileFilters = nameFilters;
        return nextFile;
    }
    std::optional<std::string> ChooseFolder(QWidget*, const std::string& title,
                                            const std::string& startFolder) override {
        folderTitle = title;
        folderStart = startFolder;
        return nextFolder;
    }
};

// Window-mode defaults for a 1920 x 1080 desktop, an empty run state and the
// catalog loaded.
void ResetProgramState();

// A main window created at (100, 100), 510 x 260, and prepared.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Hook for settings that must be in place before the window is created.
    virtual void BeforeCreate() {}

    FakeDialogs dialogs;
    std::unique_ptr<MainWindow> window;
};

}  // namespace tarnwick::test
