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
