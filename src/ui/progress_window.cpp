// The progress window and the wait loop of a conversion run.
#include "ui/qt_text.h"
#include "ui/progress_window.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <mutex>

#include "engine/input_list.h"
#include "engine/pipeline.h"
#include "engine/run_state.h"
#include "text/catalog.h"
#include "ui/user_dialogs.h"
#include "ui/window_logic.h"

namespace tarnwick {

namespace {


std::string ProgressText(int index, int count) {
    return FormatMessage(CatalogText("Msg", "Progress"), std::to_string(index), std::to_string(count));
}

constexpr int kPollMilliseconds = 15;
constexpr int kPathWidth = 280;

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
    bar_->setRange(0, fileCount + 1);
    bar_->setValue(0);
    bar_->setTextVisible(false);
    ok_ = new QPushButton(Q(CatalogText("Dialog", "OK")), this);
    ok_->setGeometry(110, 75, 80, 25);
    ok_->setDefault(true);
    ok_->setEnabled(false);
}

void ProgressDialog::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (onCloseRequest) onCloseRequest();
}

void ProgressDialog::reject() {
    if (onCloseRequest) onCloseRequest();
}

ProgressRun::ProgressRun(QWidget* mainWindow, UserDialogs& dialogs,
                         std::function<void(const std::string&)> setStatus)
    : main_(mainWindow),
      dialogs_(dialogs),
      setStatus_(std::move(setStatus)),
      worker_([] { RunConversionWorker(0); }) {}

ProgressRun::~ProgressRun() {
    if (thread_.joinable()) thread_.join();
}

void ProgressRun::Run() {
    fileCount_ = static_cast<int>(GlobalInputList().size());

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

    const int measured = QFontMetrics(dialog.font()).horizontalAdvance(QStringLiteral("abc123:\\-")) / 9;
    charWidth_ = measured > 0 ? measured : 7;
    maxPathChars_ = kPathWidth / charWidth_;

    WorkerProgress& progress = GlobalProgress();
    {
        std::lock_guard<std::mutex> lock(ProgressLock());
        progress.currentIndex = 0;
        progress.currentFile.clear();
        progress.convertedCount = 0;
        progress.keepRunning = 1;
    }
    workerDone_ = false;
    thread_ = std::thread([this] {
        worker_();
        workerDone_ = true;
    });
    threadKnown_ = true;

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
    if (asking_ || !threadKnown_) return;
    if (!workerDone_) {
        int index;
        std::string path;
        {
            std::lock_guard<std::mutex> lock(ProgressLock());
            index = GlobalProgress().currentIndex;
            path = GlobalProgress().currentFile;
        }
        lastIndex_ = index;
        if (index > shownIndex_) {
            shownIndex_ = index;
            dialog_->setWindowTitle(Q(CatalogText("Dialog", "Convert Progress") + " " +
                                      ProgressText(index, fileCount_)));
            if (static_cast<long long>(CharacterCount(path)) * charWidth_ > kPathWidth)
                path = ShortenPath(path, maxPathChars_);
            dialog_->PathLabel()->setText(Q(path));
            dialog_->Bar()->setValue(index);
        }
        return;
    }
    Finish();
    if (closeWhenDone_ && loop_) loop_->quit();
}

void ProgressRun::Finish() {
    if (thread_.joinable()) thread_.join();
    threadKnown_ = false;
    finished_ = true;
    int converted;
    {
        std::lock_guard<std::mutex> lock(ProgressLock());
        converted = GlobalProgress().convertedCount;
        // The final count of files started: a run that ends between two looks
        // still shows how far it got.
        lastIndex_ = GlobalProgress().currentIndex;
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
        dialog_->PathLabel()->setText(Q(FormatMessage(CatalogText("Msg", "Files converted"),
                                                      std::to_string(converted),
                                                      std::to_string(fileCount_))));
        dialog_->Bar()->setValue(fileCount_ + 1);
    }
    dialog_->OkButton()->setEnabled(true);
    dialog_->OkButton()->setFocus();
}

void ProgressRun::CloseRequest() {
    if (asking_) return;
    if (threadKnown_ && !workerDone_) {
        // Hold the worker at its next file boundary while the question is open.
        PauseWorker();
        asking_ = true;
        const bool stop = AskBreakConversion(dialogs_);
        asking_ = false;
        ResumeWorker();
        stopRequested_ = stop;
        if (stop) {
            std::lock_guard<std::mutex> lock(ProgressLock());
            GlobalProgress().keepRunning = 0;
        }
        return;
    }
    if (!finished_) Finish();
    if (loop_) loop_->quit();
}

void ProgressRun::StopAndClose() {
    {
        std::lock_guard<std::mutex> lock(ProgressLock());
        GlobalProgress().keepRunning = 0;
    }
    stopRequested_ = true;
    closeWhenDone_ = true;
    if (finished_ && loop_) loop_->quit();
}

}  // namespace tarnwick
