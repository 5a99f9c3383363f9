#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/format_registry.h"
#include "engine/input_list.h"
#include "engine/run_state.h"
#include "support/test_support.h"

using namespace tarnwick;

namespace {

class InputListTest : public ::testing::Test {
protected:
    void SetUp() override {
        FormatRegistry& reg = GlobalRegistry();
        BuildOutputRegistry(reg);
        BuildInputRegistry(reg);
        BuildAcceptedInputExtensions(reg, InputExtensions());
        ClearInputFileList();
        savedInputGiven_ = GlobalRunState().inputGiven;
        GlobalRunState().inputGiven = true;
        SetShowAddedInputFileHook([this](const std::string& p) { shown_.push_back(p); });
    }
    void TearDown() override {
        SetShowAddedInputFileHook(nullptr);
        GlobalRunState().inputGiven = savedInputGiven_;
        ClearInputFileList();
    }
    std::string Make(const std::string& name, const std::string& bytes = "data") {
        const std::string path = dir_ / name;
        test::WriteFile(path, bytes);
        return path;
    }

    test::TempDir dir_;
    std::vector<std::string> shown_;
    bool savedInputGiven_ = false;
};

}  // namespace

TEST_F(InputListTest, AcceptsOnlyTheProductExtensionInAnyCase) {
    const std::string upper = Make("PHOTO.PNG");
    EXPECT_EQ(AddInputFile(upper), 1);
    ASSERT_EQ(GlobalInputList().size(), 1u);
    const auto& [key, entry] = *GlobalInputList().begin();
    EXPECT_EQ(key, upper);
    EXPECT_EQ(entry.inUse, 1);
    EXPECT_EQ(entry.relativeSubfolder, "");

    EXPECT_EQ(AddInputFile(Make("photo.png.bak")), 0);
    EXPECT_EQ(AddInputFile(Make("photo")), 0);
    EXPECT_EQ(AddInputFile(Make("photo.")), 0);
    EXPECT_EQ(AddInputFile(Make("photo.jpg")), 0);
    EXPECT_EQ(AddInputFile(dir_ / "folder.png/photo"), 0);  // point in a folder name only
    // Refusals leave the list as it was.
    ASSERT_EQ(GlobalInputList().size(), 1u);
    EXPECT_EQ(GlobalInputList().begin()->first, upper);
}

TEST_F(InputListTest, EmptyFileRefusedMissingFileTaken) {
    EXPECT_EQ(AddInputFile(Make("empty.png", "")), 0);
    EXPECT_TRUE(GlobalInputList().empty());
    const std::string missing = dir_ / "missing.png";
    EXPECT_EQ(AddInputFile(missing), 1);
    ASSERT_EQ(GlobalInputList().size(), 1u);
    EXPECT_EQ(GlobalInputList().begin()->first, missing);
}

TEST_F(InputListTest, SecondFileReplacesFirst) {
    const std::string a = Make("a.png");
    const std::string b = Make("b.png");
    EXPECT_EQ(AddInputFile(b), 1);
    EXPECT_EQ(AddInputFile(a), 1);
    ASSERT_EQ(GlobalInputList().size(), 1u);
    EXPECT_EQ(GlobalInputList().begin()->first, a);
    ClearInputFileList();
    EXPECT_TRUE(GlobalInputList().empty());
}

TEST_F(InputListTest, WindowHookOnlyWithoutCommandLineInput) {
    const std::string a = Make("a.png");
    EXPECT_EQ(AddInputFile(a), 1);
    EXPECT_TRUE(shown_.empty());

    GlobalRunState().inputGiven = false;
    EXPECT_EQ(AddInputFile(a), 1);
    EXPECT_EQ(shown_, std::vector<std::string>{a});
    EXPECT_EQ(AddInputFile(Make("a.gif")), 0);  // a refusal shows nothing
    EXPECT_EQ(shown_.size(), 1u);

    SetShowAddedInputFileHook(nullptr);  // no hook installed: still taken
    EXPECT_EQ(AddInputFile(a), 1);
}
