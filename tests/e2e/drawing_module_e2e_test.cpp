// A copy of the program without its drawing module beside it: a frame or a
// watermark cannot be drawn, and the file fails with that reason instead of
// being written without them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace fs = std::filesystem;
using tarnwick::test::Quote;
using tarnwick::test::ReadFile;
using tarnwick::test::Suite;
using tarnwick::test::TempDir;

namespace {

struct Outcome {
    int code = -1;
    std::string out, err;
};

Outcome RunAlone(const TempDir& dir, const std::vector<std::string>& args) {
    std::string cmd = "env XDG_RUNTIME_DIR=" + Quote(dir.path()) + " HOME=" + Quote(dir.path()) +
                      " " + Quote(dir / "bin/tarnwick");
    for (const auto& a : args) cmd += " " + Quote(a);
    cmd += " </dev/null 2>" + Quote(dir / "stderr.txt");
    Outcome o;
    o.code = tarnwick::test::RunCommand(cmd, &o.out);
    o.err = ReadFile(dir / "stderr.txt");
    return o;
}

}  // namespace

TEST(CliDrawingModule, MissingModuleFailsFramesAndWatermarksWithTheReason) {
    TempDir dir;
    fs::create_directories(dir / "bin");
    fs::create_directories(dir / "out");
    fs::copy_file(TARNWICK_EXE, dir / "bin/tarnwick");
    const std::string png = Suite("basn2c08.png");

    Outcome frame = RunAlone(dir, {"-i", png, "-o", dir / "out", "--fr-solid-left=4"});
    EXPECT_EQ(frame.code, 1) << frame.out;
    EXPECT_FALSE(fs::exists(dir / "out/basn2c08.bmp"));
    EXPECT_NE(frame.err.find("tarnwick: " + png +
                             ": the frame cannot be drawn: drawing module "
                             "libtarnwick_canvas.so not found"),
              std::string::npos)
        << frame.err;

    // A text watermark is not a font problem here: the file fails with the module's reason.
    Outcome text = RunAlone(dir, {"-i", png, "-o", dir / "out", "--wm-text=Hi", "--wm-font=Arial"});
    EXPECT_EQ(text.code, 1) << text.out;
    EXPECT_EQ(text.out.find("Invalid watermark font"), std::string::npos) << text.out;
    EXPECT_FALSE(fs::exists(dir / "out/basn2c08.bmp"));
    EXPECT_NE(text.err.find("libtarnwick_canvas.so not found"), std::string::npos) << text.err;

    // A plain conversion needs no drawing module.
    Outcome plain = RunAlone(dir, {"-q", "-i", png, "-o", dir / "out"});
    EXPECT_EQ(plain.code, 0) << plain.out << plain.err;
    EXPECT_TRUE(fs::exists(dir / "out/basn2c08.bmp"));
}

// The window module shows the program one function, its table of entry
// points (the drawing module likewise), and a window module of another build
// (its stamp differs) is refused with the reason instead of being run.
TEST(WindowModule, OnlyTheTableIsExportedAndAStaleModuleIsRefused) {
    const std::string bin = fs::path(TARNWICK_EXE).parent_path();
    for (const auto& [module, most] :
         {std::pair<std::string, int>{"libtarnwick_ui.so", 10}, {"libtarnwick_canvas.so", 5}}) {
        std::string symbols;
        ASSERT_EQ(tarnwick::test::RunCommand("nm -D --defined-only " + Quote(bin + "/" + module) +
                                                 " | grep -c ' [TDBRW] '",
                                             &symbols),
                  0);
        EXPECT_LE(std::stoi(symbols), most) << module;
    }

    TempDir dir;
    fs::create_directories(dir / "bin");
    fs::copy_file(TARNWICK_EXE, dir / "bin/tarnwick");
    std::string ui = ReadFile(bin + "/libtarnwick_ui.so");
    const size_t stamp = ui.find("tarnwick-window-abi:");
    ASSERT_NE(stamp, std::string::npos);
    const size_t digit = ui.find(':', stamp + 20) + 1;  // after the version
    ui[digit] = ui[digit] == '0' ? '1' : '0';
    tarnwick::test::WriteFile(dir / "bin/libtarnwick_ui.so", ui);

    const Outcome o = RunAlone(dir, {"-T", dir / "shots"});
    EXPECT_EQ(o.code, 1);
    EXPECT_NE(o.err.find("built for another build of the program"), std::string::npos) << o.err;
    EXPECT_FALSE(fs::exists(dir / "shots"));
}
