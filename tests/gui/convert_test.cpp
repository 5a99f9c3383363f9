// The Convert command: every refusal, a real conversion behind the progress
// window, and a stop request answered Yes and No.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "engine/input_list.h"
#include "engine/run_state.h"
#include "gui_support.h"
#include "platform/platform.h"
#include "settings/settings.h"
#include "support/test_support.h"
#include "ui/progress_window.h"

namespace tarnwick::test {
namespace {

std::string S(const QString& s) { return s.toStdString(); }

class ConvertTest : public WindowTest {
protected:
    void SetInput(const std::string& path) {
        window->InputField()->setText(QString::fromStdString(path));
    }
    void SetOutputFolder(const std::string& folder) {
        QComboBox* list = window->OutputFolderList();
        list->clear();
        list->addItem(QString::fromStdString(folder));
        list->setCurrentIndex(0);
    }
    // Runs Convert; `step` is called every few milliseconds while a run is open
    // and returns true when the test is done with the progress window.
    void ConvertWhile(const std::function<bool(ProgressRun&)>& step) {
        QTimer timer;
        int ticks = 0;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            ProgressRun* run = window->CurrentRun();
            if (!run || !run->Dialog()) return;
            if (++ticks > 6000) {  // a safety net so a broken run cannot hang the tests
                ADD_FAILURE() << "the progress window never finished";
                run->StopAndClose();
                return;
            }
            if (step(*run)) run->Dialog()->OkButton()->click();
        });
        timer.start(5);
        window->RunCommand(kCmdConvert);
        timer.stop();
    }

    TempDir out;
};

TEST_F(ConvertTest, RefusalsInOrderWithStatusText) {
    const std::string stopped = "Conversion stopped";
    const auto expectRefusal = [&](const std::string& warning, const std::string& status) {
        dialogs.warnings.clear();
        window->RunCommand(kCmdConvert);
        ASSERT_EQ(dialogs.warnings.size(), 1u);
        EXPECT_EQ(dialogs.warnings[0], warning);
        EXPECT_EQ(window->StatusText(), status);
        EXPECT_EQ(window->CurrentRun(), nullptr);
    };

    // No input, an empty file, a type that is not accepted.
    expectRefusal("No input file(s) found. Please, add valid file(s) and try again!", stopped);
    WriteFile(out / "empty.png", "");
    SetInput(out / "empty.png");
    expectRefusal("No input file(s) found. Please, add valid file(s) and try again!", stopped);
    SetInput(Suite("basn2c08.png") + ".bak");
    expectRefusal("No input file(s) found. Please, add valid file(s) and try again!", stopped);

    SetInput("  " + Suite("basn2c08.png") + " ");
    expectRefusal(
        "The output folder's field is empty. Please, select existed output folder and try again!",
        stopped);
    SetOutputFolder(out / "missing");
    expectRefusal("The following output folder is invalid or doesn't exist:\r\n" +
                      out / "missing/" + "\r\n\r\nPlease, correct the output path and try again!",
                  stopped);

    SetOutputFolder(out.path());
    Settings& s = GlobalSettings();
    s.doImageResize = 1;
    s.keepAspectRatio = 1;
    s.imageWidth = 0;
    s.imageHeight = 100;
    expectRefusal("Invalid resize width value!", stopped);
    s.imageWidth = 100;
    s.imageHeight = 0;
    expectRefusal("Invalid resize height value!", stopped);
    s.doImageResize = 0;

    // Watermark image problems keep the status "Preparing...".
    s.doWatermark = 2;
    s.watermarkImage.clear();
    expectRefusal("Selected watermark image is invalid/empty!", "Preparing...");
    s.watermarkImage = out / "mark.png";
    expectRefusal("Unable to load selected file as a watermark image: " + out / "mark.png",
                  "Preparing...");
    WriteFile(out / "mark.png", "");
    expectRefusal("Unable to load selected file as a watermark image: " + out / "mark.png",
                  "Preparing...");

    // Nothing was converted and no folder was remembered.
    EXPECT_EQ(platform::FileSize(out / "basn2c08.bmp"), -1);
    EXPECT_EQ(s.recentOutFolders, "");
}

TEST_F(ConvertTest, ConvertsOneFileBehindTheProgressWindow) {
    SetInput(Suite("basn2c08.png"));
    SetOutputFolder(out.path().substr(0, out.path().size() - 1));  // without trailing '/'

    bool mainDisabled = false;
    std::string caption, label;
    int bar = -1, barMax = -1;
    QSize size;
    bool failureList = true;
    ConvertWhile([&](ProgressRun& run) {
        if (!run.Dialog()->OkButton()->isEnabled()) return false;
        size = run.Dialog()->size();
        failureList = run.Dialog()->Failures() != nullptr;
        mainDisabled = !window->isEnabled();
        caption = S(run.Dialog()->windowTitle());
        label = S(run.Dialog()->PathLabel()->text());
        bar = run.Dialog()->Bar()->value();
        barMax = run.Dialog()->Bar()->maximum();
        return true;
    });

    EXPECT_TRUE(mainDisabled);
    EXPECT_TRUE(window->isEnabled());
    EXPECT_EQ(caption, "Conversion complete (1/1)");
    EXPECT_EQ(label, "Files converted: 1 of 1");
    // Nothing failed: the window as it always is, without a list of failures.
    EXPECT_EQ(size, QSize(300, 110));
    EXPECT_FALSE(failureList);
    // The bar counts files in thousandths: full at the end.
    EXPECT_EQ(barMax, 2000);
    EXPECT_EQ(bar, 2000);
    EXPECT_EQ(window->StatusText(), "Conversion complete");
    EXPECT_GT(platform::FileSize(out / "basn2c08.bmp"), 0);

    // The folder used goes to the top of the recent folders, with its '/'.
    EXPECT_EQ(RecentOutFolder(GlobalSettings(), 0), out.path());
    EXPECT_EQ(S(window->OutputFolderList()->currentText()), out.path());
}

TEST_F(ConvertTest, FileThatCannotBeDecodedCountsAsNotConverted) {
    WriteFile(out / "broken.png", "this is no PNG");
    SetInput(out / "broken.png");
    SetOutputFolder(out.path());
    std::string label, failures;
    QSize size;
    ConvertWhile([&](ProgressRun& run) {
        if (!run.Dialog()->OkButton()->isEnabled()) return false;
        label = S(run.Dialog()->PathLabel()->text());
        size = run.Dialog()->size();
        if (run.Dialog()->Failures()) failures = S(run.Dialog()->Failures()->toPlainText());
        return true;
    });
    EXPECT_EQ(label, "Files converted: 0 of 1");
    EXPECT_TRUE(dialogs.warnings.empty());
    // Which file failed and why, below the window's own texts.
    EXPECT_EQ(failures.rfind(out / "broken.png: ", 0), 0u) << failures;
    EXPECT_GT(failures.size(), (out / "broken.png: ").size());
    EXPECT_EQ(size.width(), 300);
    EXPECT_GT(size.height(), 110);
    EXPECT_EQ(window->StatusText(), "Conversion complete");
}

TEST_F(ConvertTest, BarMovesWithinOneLargeFile) {
    WriteSlowPng(out / "large.png", 6000, 6000);
    SetInput(out / "large.png");
    SetOutputFolder(out.path());
    std::vector<int> running;
    std::string caption, label;
    bool textsChanged = false;
    ConvertWhile([&](ProgressRun& run) {
        ProgressDialog* dialog = run.Dialog();
        if (dialog->OkButton()->isEnabled()) return true;
        if (S(dialog->windowTitle()) != "Converting (1/1)") return false;
        // While the file converts, only the bar moves.
        if (caption.empty()) {
            caption = S(dialog->windowTitle());
            label = S(dialog->PathLabel()->text());
        }
        textsChanged |=
            S(dialog->windowTitle()) != caption || S(dialog->PathLabel()->text()) != label;
        if (running.empty() || running.back() != dialog->Bar()->value())
            running.push_back(dialog->Bar()->value());
        return false;
    });
    ASSERT_FALSE(running.empty());
    EXPECT_FALSE(textsChanged);
    EXPECT_EQ(label, out / "large.png");
    EXPECT_TRUE(std::is_sorted(running.begin(), running.end()));
    EXPECT_GE(running.front(), 1000);
    EXPECT_LE(running.back(), 2000);
    // Several steps within the one file, not only its start and end.
    EXPECT_GE(running.size(), 3u);
    EXPECT_GT(running.back(), running.front());
    EXPECT_EQ(window->StatusText(), "Conversion complete");
    EXPECT_GT(platform::FileSize(out / "large.bmp"), 0);
}

// A worker that starts its one file and waits until the test lets it finish.
class HeldWorker {
public:
    void Body(const RunContext& ctx) {
        {
            std::lock_guard<std::mutex> lock(ctx.progressLock);
            ctx.progress.currentIndex = 1;
            ctx.progress.currentFile = "/pictures/held.png";
        }
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait(lock, [this] { return released_; });
        keepRunningSeen_ = ctx.progress.keepRunning;
        std::lock_guard<std::mutex> progressLock(ctx.progressLock);
        ctx.progress.convertedCount = 1;
    }
    void Release() {
        {
            std::lock_guard<std::mutex> lock(m_);
            released_ = true;
        }
        cv_.notify_all();
    }
    int keepRunningSeen() const { return keepRunningSeen_; }

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool released_ = false;
    int keepRunningSeen_ = -1;
};

class StopTest : public ConvertTest, public ::testing::WithParamInterface<bool> {};

TEST_P(StopTest, CloseBoxAsksAndOnlyYesStops) {
    const bool yes = GetParam();
    dialogs.answer = yes;
    SetInput(Suite("basn2c08.png"));
    SetOutputFolder(out.path());
    HeldWorker worker;
    window->SetRunHook(
        [&](ProgressRun& run) { run.SetWorker([&](const RunContext& ctx) { worker.Body(ctx); }); });

    enum { WaitForFile, Finishing } phase = WaitForFile;
    std::string runningCaption, finalCaption, finalLabel;
    int runningBar = -1;
    ConvertWhile([&](ProgressRun& run) {
        ProgressDialog* dialog = run.Dialog();
        if (phase == WaitForFile) {
            if (S(dialog->windowTitle()) != "Converting (1/1)") return false;
            runningCaption = S(dialog->windowTitle());
            runningBar = dialog->Bar()->value();
            EXPECT_EQ(S(dialog->PathLabel()->text()), "/pictures/held.png");
            dialog->close();  // the close box while the worker runs
            EXPECT_TRUE(dialog->isVisible());
            worker.Release();
            phase = Finishing;
            return false;
        }
        if (!dialog->OkButton()->isEnabled()) return false;
        finalCaption = S(dialog->windowTitle());
        finalLabel = S(dialog->PathLabel()->text());
        return true;
    });

    EXPECT_EQ(runningCaption, "Converting (1/1)");
    EXPECT_EQ(runningBar, 1000);  // half: the first of one file has started
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].first, "Warning");
    EXPECT_EQ(dialogs.questions[0].second, "Do you want to break the conversion?");
    if (yes) {
        EXPECT_EQ(worker.keepRunningSeen(), 0);
        EXPECT_EQ(finalCaption, "Conversion stopped (1/1)");
        EXPECT_EQ(finalLabel, "Conversion stopped");
        EXPECT_EQ(window->StatusText(), "Conversion stopped");
    } else {
        EXPECT_EQ(worker.keepRunningSeen(), 1);
        EXPECT_EQ(finalCaption, "Conversion complete (1/1)");
        EXPECT_EQ(finalLabel, "Files converted: 1 of 1");
        EXPECT_EQ(window->StatusText(), "Conversion complete");
    }
    EXPECT_TRUE(window->isEnabled());
}

TEST_F(ConvertTest, CloseRequestFromOutsideStopsTheRunAndClosesTheWindow) {
    SetInput(Suite("basn2c08.png"));
    SetOutputFolder(out.path());
    window->show();
    HeldWorker worker;
    window->SetRunHook(
        [&](ProgressRun& run) { run.SetWorker([&](const RunContext& ctx) { worker.Body(ctx); }); });
    bool asked = false;
    ConvertWhile([&](ProgressRun& run) {
        if (asked || S(run.Dialog()->windowTitle()) != "Converting (1/1)") return false;
        window->RequestQuit();  // as on SIGTERM: no question, stop after the file
        asked = true;
        worker.Release();
        return false;
    });
    EXPECT_TRUE(dialogs.questions.empty());
    EXPECT_EQ(worker.keepRunningSeen(), 0);
    EXPECT_EQ(window->StatusText(), "Conversion stopped");
    EXPECT_FALSE(window->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Answers, StopTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Yes" : "No"; });

}  // namespace
}  // namespace tarnwick::test
