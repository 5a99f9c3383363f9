// The QApplication of the window-mode tests and the shared fixture.
#include "gui_support.h"

#include <QApplication>

#include "engine/format_registry.h"
#include "engine/run_state.h"
#include "settings/settings.h"
#include "support/test_support.h"
#include "text/catalog.h"
#include "ui/images.h"

namespace tarnwick::test {

namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        // Temporary HOME and configuration folder before Qt looks at them.
        IsolateUserFolders();
        static int argc = 1;
        static char name[] = "tarnwick_gui_tests";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
        LoadCatalog();
        LoadBuiltInImages();
    }
    void TearDown() override {
        delete app_;
        app_ = nullptr;
    }

private:
    QApplication* app_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

void ResetProgramState() {
    ApplyDefaults(GlobalSettings(), false, 1920, 1080);
    GlobalRunState().runMode = RunMode::Normal;
    GlobalRunState().inputGiven = false;
    BuildInputRegistry(GlobalRegistry());
    BuildOutputRegistry(GlobalRegistry());
    ResetRunState();
}

void WindowTest::SetUp() {
    ResetProgramState();
    BeforeCreate();
    window = std::make_unique<MainWindow>(dialogs);
    window->Create({100, 100, 510, 260});
    window->Prepare();
}

void WindowTest::TearDown() { window.reset(); }

}  // namespace tarnwick::test
