// The progress window of a conversion run: it starts the worker, shows the
// file being converted and the result, and lets the user stop the run.
#pragma once

#include <QDialog>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "engine/pipeline.h"

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QEventLoop;
class QTimer;

namespace tarnwick {

class RunStarter;
class UserDialogs;

// The window itself: a close request (close box or Escape) goes to the run,
// which decides whether to ask, stop or close.
class ProgressDialog : public QDialog {
public:
    explicit ProgressDialog(int fileCount);
    QLabel* PathLabel() const { return label_; }
    QProgressBar* Bar() const { return bar_; }
    QPushButton* OkButton() const { return ok_; }
    // The list of files that failed, below the window's own texts; the window
    // grows to hold it. Nothing of it exists while no file failed.
    void ShowFailures(const std::string& heading, const std::string& list);
    QPlainTextEdit* Failures() const { return failures_; }
    std::function<void()> onCloseRequest;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    QLabel* label_;
    QProgressBar* bar_;
    QPushButton* ok_;
    QPlainTextEdit* failures_ = nullptr;
};

// The files of a run that failed, with their reasons; filled by the worker.
class FailedFiles {
public:
    void Add(const std::string& path, const std::string& reason);
    std::vector<std::pair<std::string, std::string>> List() const;

private:
    mutable std::mutex m_;
    std::vector<std::pair<std::string, std::string>> list_;
};

class ProgressRun {
public:
    // `mainWindow` is disabled for the run; `setStatus` writes the status bar.
    ProgressRun(QWidget* mainWindow, UserDialogs& dialogs, RunStarter& starter,
                std::function<void(const std::string&)> setStatus);
    ~ProgressRun();
    ProgressRun(const ProgressRun&) = delete;
    ProgressRun& operator=(const ProgressRun&) = delete;

    // Replaces the body of the worker thread (tests).
    void SetWorker(std::function<void(const RunContext&)> worker);

    // Opens the window, starts the worker, waits for the run and the user's
    // OK, and closes the window again.
    void Run();

    // Asks the worker to stop after the current file and closes the window as
    // soon as it has ended, without a question (the program is asked to end).
    void StopAndClose();

    ProgressDialog* Dialog() const { return dialog_; }
    bool WorkerEnded() const { return finished_; }
    bool StopRequested() const { return stopRequested_; }
    int CharWidth() const { return charWidth_; }
    int MaxPathChars() const { return maxPathChars_; }
    // The files that failed so far, with their reasons.
    std::vector<std::pair<std::string, std::string>> Failed() const { return failed_->List(); }

private:
    void Poll();
    void Finish();
    void CloseRequest();

    QWidget* main_;
    UserDialogs& dialogs_;
    RunStarter& starter_;
    std::function<void(const std::string&)> setStatus_;
    std::shared_ptr<FailedFiles> failed_ = std::make_shared<FailedFiles>();

    ProgressDialog* dialog_ = nullptr;
    QEventLoop* loop_ = nullptr;
    bool started_ = false;
    bool finished_ = false;
    bool asking_ = false;
    bool stopRequested_ = false;
    bool closeWhenDone_ = false;
    std::chrono::steady_clock::time_point barMoved_{};
    int fileCount_ = 0;
    int shownIndex_ = 0;
    int lastIndex_ = 0;
    int charWidth_ = 7;
    int maxPathChars_ = 40;
};

}  // namespace tarnwick
