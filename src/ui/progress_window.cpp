// The progress window and the wait loop of a conversion run.
#include "ui/progress_window.h"
#include "ui/qt_text.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <chrono>
#include <mutex>

#include "engine/file_progress.h"
#include "engine/run_starter.h"
#include "platform/platform.h"
#include "text/catalog.h"
#include "text/shown.h"
#include "ui/user_dialogs.h"
#include "ui/window_logic.h"

namespace tarnwick {

namespace {

std::string ProgressText(int index, int count) {
    return FormatMessage(CatalogText("Msg", "Progress"), std::to_string(index),
                         std::to_string(count));
}

constexpr int kPollMilliseconds = 15;
constexpr int kPathWidth = 280;
// The bar counts files in thousandths: a file moves it by the share of its
// work done, at most ten times a second.
constexpr int kBarPerFile = FileProgress::kWhole;
constexpr auto kBarMovesEvery = std::chrono::milliseconds(100);

}  // namespace

ProgressDialog::ProgressDialog(int fileCount)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("progressWindow"));
    setWindowTitle(Q(CatalogText("Dialog", "Convert Progress")));
    setFixedSize(300, 110);
    label_ = new QLabel(this);
    label_->setGeometry(10, 13, kPathWidth, 20);
    bar_ = new QProgressBar(this);
    bar_->setGeometry(10, 40, kPathWidth, 20);
    bar_->setRange(0, (fileCount + 1) * kBarPerFile);
    bar_->setValue(0);
    bar_->setTextVisible(false);
    ok_ = new QPushButton(Q(CatalogText("Dialog", "OK")), this);
    ok_->setGeometry(110, 75, 80, 25);
    ok_->setDefault(true);
    ok_->setEnabled(false);
}

void ProgressDialog::ShowFailures(const std::string& heading, const std::string& list) {
    if (!failures_) {
        auto* title = new QLabel(Q(heading), this);
        title->setGeometry(10, 110, kPathWidth, 20);
        title->show();
        failures_ = new QPlainTextEdit(this);
        failures_->setObjectName(QStringLiteral("failedFiles"));
        failures_->setReadOnly(true);
        failures_->setLineWrapMode(QPlainTextEdit::NoWrap);
        failures_->setGeometry(10, 130, kPathWidth, 100);
        failures_->show();
        setFixedSize(300, 240);
    }
    failures_->setPlainText(Q(list));
}

void FailedFiles::Add(const std::string& path, const std::string& reason) {
    std::lock_guard<std::mutex> lock(m_);
    list_.emplace_back(path, reason);
}

std::vector<std::pair<std::string, std::string>> FailedFiles::List() const {
    std::lock_guard<std::mutex> lock(m_);
    return list_;
}

void ProgressDialog::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (onCloseRequest) onCloseRequest();
}

void ProgressDialog::reject() {
    if (onCloseRequest) onCloseRequest();
}

ProgressRun::ProgressRun(QWidget* mainWindow, UserDialogs& dialogs, RunStarter& starter,
                         std::function<void(const std::string&)> setStatus)
    : main_(mainWindow), dialogs_(dialogs), starter_(starter), setStatus_(std::move(setStatus)) {}

ProgressRun::~ProgressRun() { starter_.Wait(); }

void ProgressRun::SetWorker(std::function<void(const RunContext&)> worker) {
    starter_.SetWorkerBody(std::move(worker));
}

void ProgressRun::Run() {
    fileCount_ = static_cast<int>(starter_.Context().files.size());

    ProgressDialog dialog(fileCount_);
    dialog_ = &dialog;
    // The window is owned by the main window but not its child: a disabled
    // main window would disable its children too.
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.winId();
    if (main_ && main_->windowHandle() && dialog.windowHandle())
        dialog.windowHandle()->setTransientParent(main_->windowHandle());
    if (main_) {
        const QRect frame = main_->frameGeometry();
        dialog.move(frame.center() - QPoint(dialog.width() / 2, dialog.height() / 2));
    }
    dialog.onCloseRequest = [this] { CloseRequest(); };
    QObject::connect(dialog.OkButton(), &QPushButton::clicked, [this] {
        if (finished_ && loop_) loop_->quit();
    });

    dialog.show();
    if (main_) main_->setEnabled(false);
    dialog.activateWindow();
    dialog.setFocus();

    const int measured =
        QFontMetrics(dialog.font()).horizontalAdvance(QStringLiteral("abc123:\\-")) / 9;
    charWidth_ = measured > 0 ? measured : 7;
    maxPathChars_ = kPathWidth / charWidth_;

    // Each failed file is kept for the window and written to standard error.
    WorkerSinks sinks;
    sinks.failure = [failed = failed_](const std::string& input, const std::string& reason) {
        platform::WriteErrorLine(text::FailureLine(input, reason));
        failed->Add(input, reason);
    };
    sinks.watchFile = true;
    // A run whose thread cannot start ends at once; its reason is shown
    // against the first of its files.
    if (std::string why; !starter_.Start(sinks, &why)) {
        const InputFileList& files = starter_.Context().files;
        sinks.failure(files.empty() ? std::string() : files.begin()->first, why);
    }
    started_ = true;

    QEventLoop loop;
    loop_ = &loop;
    QTimer timer;
    timer.setInterval(kPollMilliseconds);
    QObject::connect(&timer, &QTimer::timeout, [this] { Poll(); });
    timer.start();
    loop.exec();
    timer.stop();
    loop_ = nullptr;

    if (!finished_) Finish();
    if (main_) main_->setEnabled(true);
    dialog.onCloseRequest = nullptr;
    dialog.hide();
    dialog_ = nullptr;
    if (main_) {
        main_->activateWindow();
        main_->setFocus();
    }
}

void ProgressRun::Poll() {
    if (asking_ || !started_) return;
    if (!starter_.Finished()) {
        RunStarter::Position at = starter_.Where();
        const int index = at.index;
        lastIndex_ = index;
        QProgressBar* bar = dialog_->Bar();
        const auto now = std::chrono::steady_clock::now();
        if (index > shownIndex_) {
            shownIndex_ = index;
            dialog_->setWindowTitle(Q(CatalogText("Dialog", "Convert Progress") + " " +
                                      ProgressText(index, fileCount_)));
            std::string& path = at.file;
            if (static_cast<long long>(CharacterCount(path)) * charWidth_ > kPathWidth)
                path = ShortenPath(path, maxPathChars_);
            dialog_->PathLabel()->setText(Q(path));
            bar->setValue(index * kBarPerFile + at.perMille);
            barMoved_ = now;
        } else if (index > 0 && now - barMoved_ >= kBarMovesEvery &&
                   index * kBarPerFile + at.perMille > bar->value()) {
            // Within a file only the bar moves; the caption and label stay.
            bar->setValue(index * kBarPerFile + at.perMille);
            barMoved_ = now;
        }
        return;
    }
    Finish();
    if (closeWhenDone_ && loop_) loop_->quit();
}

void ProgressRun::Finish() {
    const int converted = starter_.Wait();
    started_ = false;
    finished_ = true;
    {
        // The final count of files started: a run that ends between two looks
        // still shows how far it got.
        const RunContext& run = starter_.Context();
        std::lock_guard<std::mutex> lock(run.progressLock);
        lastIndex_ = run.progress.currentIndex;
    }
    const std::string progressText = ProgressText(lastIndex_, fileCount_);
    if (stopRequested_) {
        const std::string stopped = CatalogText("Msg", "Conversion is not complete");
        setStatus_(stopped);
        dialog_->setWindowTitle(Q(stopped + " " + progressText));
        dialog_->PathLabel()->setText(Q(stopped));
    } else {
        const std::string complete = CatalogText("Msg", "Conversion complete");
        setStatus_(complete);
        dialog_->setWindowTitle(Q(complete + " " + progressText));
        dialog_->PathLabel()->setText(
            Q(FormatMessage(CatalogText("Msg", "Files converted"), std::to_string(converted),
                            std::to_string(fileCount_))));
        dialog_->Bar()->setValue((fileCount_ + 1) * kBarPerFile);
    }
    if (const auto failed = failed_->List(); !failed.empty())
        dialog_->ShowFailures(FailedFilesHeading(failed.size()), FailedFilesText(failed));
    dialog_->OkButton()->setEnabled(true);
    dialog_->OkButton()->setFocus();
}

void ProgressRun::CloseRequest() {
    if (asking_) return;
    if (started_ && !starter_.Finished()) {
        // Hold the worker at its next file boundary while the question is open.
        starter_.Pause();
        asking_ = true;
        const bool stop = AskBreakConversion(dialogs_);
        asking_ = false;
        starter_.Resume();
        stopRequested_ = stop;
        if (stop) starter_.RequestStop();
        return;
    }
    if (!finished_) Finish();
    if (loop_) loop_->quit();
}

void ProgressRun::StopAndClose() {
    starter_.RequestStop();
    stopRequested_ = true;
    closeWhenDone_ = true;
    if (finished_ && loop_) loop_->quit();
}

}  // namespace tarnwick
