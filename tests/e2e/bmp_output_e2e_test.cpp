// End-to-end tests of the written BMP files and of saving them: other
// programs must read every kind of BMP the program writes, and saves that
// cannot be done must fail cleanly.
#include <FreeImage.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace fs = std::filesystem;
using tarnwick::test::ReadFile;
using tarnwick::test::RunCommand;
using tarnwick::test::Suite;
using tarnwick::test::TempDir;
using tarnwick::test::WriteFile;

namespace {

using tarnwick::test::Quote;

// Runs the program with a private runtime folder and no terminal; the exit
// code of the shell (128 + signal when the program was killed).
int Tarnwick(const std::vector<std::string>& args, std::string* output = nullptr) {
    static TempDir runtime;
    std::string cmd = "env XDG_RUNTIME_DIR=" + Quote(runtime.path()) +
                      " HOME=" + Quote(runtime.path()) + " " + Quote(TARNWICK_EXE);
    for (const auto& a : args) cmd += " " + Quote(a);
    cmd += " </dev/null 2>/dev/null";
    return RunCommand(cmd, output);
}

uint32_t Le32(const std::string& b, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

size_t FileCount(const std::string& folder) {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator{}));
}

// Decodes every file with PIL, writing "<file>.pil" with the RGB bytes.
const char* kPilScript = R"(import sys
from PIL import Image
for name in sys.argv[1:]:
    with Image.open(name) as im:
        im.load()
        rgb = im.convert('RGB')
        with open(name + '.pil', 'wb') as out:
            out.write(rgb.tobytes())
)";

}  // namespace

TEST(BmpOutput, EveryDepthCompressionAndColourTableIsReadAlikeByOtherPrograms) {
    // The Debian package serves the system's interpreter, which another
    // python3 earlier on the PATH may hide.
    std::string python;
    for (const char* candidate : {"python3", "/usr/bin/python3"})
        if (RunCommand(std::string(candidate) + " -c 'import PIL' >/dev/null 2>&1") == 0) {
            python = candidate;
            break;
        }
    if (python.empty()) GTEST_SKIP() << "python3-PIL is missing (Debian package python3-pil)";
    if (RunCommand("command -v convert >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "ImageMagick's convert is missing (Debian package imagemagick)";

    TempDir dir;
    const std::string input = Suite("basn2c08.png");  // 32 x 32, 24-bit colour ramps
    struct Case {
        int bpp;
        std::string compression, table, file;
    };
    std::vector<Case> cases;
    for (int bpp : {1, 4, 8, 16, 24, 32})
        for (const char* compression : {"NONE", "RLE"})
            for (const char* table : {"AUTO", "EXACT"}) {
                const std::string name = std::to_string(bpp) + compression + table;
                fs::create_directory(dir / name);
                Case c{bpp, compression, table, dir / (name + "/basn2c08.bmp")};
                ASSERT_EQ(
                    Tarnwick(
                        {"-q", "-i", input, "-o", dir / name, "--bmp-bpp=" + std::to_string(bpp),
                         "--bmp-compression=" + c.compression, "--bmp-color-table=" + c.table}),
                    0)
                    << name;
                cases.push_back(c);
            }

    std::string files;
    for (const Case& c : cases) files += " " + Quote(c.file);
    WriteFile(dir / "decode.py", kPilScript);
    ASSERT_EQ(RunCommand(python + " " + Quote(dir / "decode.py") + files + " 2>&1"), 0);

    std::string uncompressed;  // the pixels of the NONE case of the same depth and table
    for (const Case& c : cases) {
        const std::string what = std::to_string(c.bpp) + " " + c.compression + " " + c.table;
        const std::string bytes = ReadFile(c.file);
        ASSERT_GE(bytes.size(), 54u) << what;
        EXPECT_EQ(Le32(bytes, 2), bytes.size()) << what << ": file size field";
        const uint32_t offset = Le32(bytes, 10);
        ASSERT_LE(offset, bytes.size()) << what;
        EXPECT_EQ(static_cast<unsigned char>(bytes[28]), c.bpp) << what;
        const uint32_t compression = Le32(bytes, 30);
        if (compression == 1 || compression == 2)
            EXPECT_EQ(Le32(bytes, 34), bytes.size() - offset) << what << ": image size field";
        if (c.bpp == 8 && c.compression == "RLE") EXPECT_EQ(compression, 1u) << what;

        if (RunCommand("convert " + Quote(c.file) + " -alpha off -depth 8 rgb:" +
                       Quote(c.file + ".im") + " >/dev/null 2>&1") != 0) {
            ADD_FAILURE() << what << ": ImageMagick refuses the file";
            continue;
        }
        const std::string im = ReadFile(c.file + ".im");
        const std::string pil = ReadFile(c.file + ".pil");
        ASSERT_EQ(im.size(), 32u * 32u * 3u) << what;
        ASSERT_EQ(pil.size(), im.size()) << what;
        // The two readers widen 5- and 6-bit samples to 8 bits with different
        // rounding; a wrong layout would differ by far more.
        const int tolerance = c.bpp == 16 ? 1 : 0;
        int worst = 0;
        for (size_t i = 0; i < im.size(); ++i)
            worst = std::max(worst, std::abs(static_cast<unsigned char>(im[i]) -
                                             static_cast<unsigned char>(pil[i])));
        EXPECT_LE(worst, tolerance) << what << ": ImageMagick and PIL read different pixels";
        if (c.compression == "NONE") uncompressed = pil;
        else EXPECT_TRUE(pil == uncompressed) << what << ": compression changed the pixels";
    }
}

TEST(BmpOutput, NamesUpToTheLongestLegalOneConvert) {
    TempDir dir;
    fs::create_directory(dir / "out");
    const std::string stem(246, 's');  // "<stem>.bmp" is 250 bytes
    fs::copy_file(Suite("basn2c08.png"), dir / (stem + ".png"));
    EXPECT_EQ(Tarnwick({"-q", "-i", dir / (stem + ".png"), "-o", dir / "out"}), 0);
    EXPECT_TRUE(fs::exists(dir / ("out/" + stem + ".bmp")));
    EXPECT_EQ(FileCount(dir / "out"), 1u);
}

TEST(BmpOutput, FailingSavesOnLongPathsEndCleanly) {
    TempDir dir;
    // An output folder about 480 bytes deep.
    std::string folder = dir.path();
    while (folder.size() < 480) folder += std::string(60, 'd') + "/";
    fs::create_directories(folder);
    fs::copy_file(Suite("basn2c08.png"), dir / "x.png");

    // A name longer than the file system allows, for a picture that is
    // changed on the way (a quantised 8-bit one).
    const std::string mask = "--filename-mask=%filename%" + std::string(270, 'm') + ".%ext%";
    int code = Tarnwick({"-q", "-i", dir / "x.png", "-o", folder, mask, "--bmp-bpp=8"});
    EXPECT_TRUE(code == 0 || code == 1) << "ended with " << code;
    EXPECT_EQ(FileCount(folder), 0u);

    // A folder where the output file should be is left alone.
    fs::create_directories(folder + "x.bmp");
    code = Tarnwick({"-q", "-i", dir / "x.png", "-o", folder});
    EXPECT_TRUE(code == 0 || code == 1) << "ended with " << code;
    EXPECT_TRUE(fs::is_directory(folder + "x.bmp"));
    EXPECT_EQ(FileCount(folder), 1u);
}

TEST(WindowMode, WithoutAnyHomeFolderEndsWithOneLine) {
    // Needs root to become a user without a password entry and without HOME.
    const uid_t nobody = 54321;
    if (geteuid() != 0 || getpwuid(nobody) != nullptr ||
        RunCommand("command -v setpriv >/dev/null") != 0)
        GTEST_SKIP() << "needs root, setpriv and a free user id";
    TempDir runtime;
    chmod(runtime.path().c_str(), 0777);
    std::string output;
    const int code = RunCommand(
        "cd / && env -i QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=" + Quote(runtime.path()) +
            " setpriv --reuid=54321 --regid=54321 --clear-groups " + Quote(TARNWICK_EXE) +
            " </dev/null 2>/dev/null",
        &output);
    EXPECT_EQ(code, 1);
    EXPECT_EQ(output, "Error: Cannot find the settings folder: no home folder\n");
    EXPECT_FALSE(fs::exists("/Pictavo"));
}

TEST(CliProfile, FifoDeviceAndHugeProfilesAreInvalidAtOnce) {
    TempDir dir;
    fs::copy_file(Suite("basn2c08.png"), dir / "x.png");
    ASSERT_EQ(mkfifo((dir / "fifo.ini").c_str(), 0600), 0);
    WriteFile(dir / "huge.ini", "[CLI]\r\n");
    fs::resize_file(dir / "huge.ini", 16u * 1024 * 1024 + 1);
    for (const std::string& profile :
         {dir / "fifo.ini", std::string("/dev/zero"), dir / "huge.ini"}) {
        std::string output;
        // A FIFO without a writer would block a plain read for ever.
        const int code = RunCommand("env XDG_RUNTIME_DIR=" + Quote(dir.path()) + " timeout 20 " +
                                        Quote(TARNWICK_EXE) + " -i " + Quote(dir / "x.png") +
                                        " --profile=" + Quote(profile) + " </dev/null 2>/dev/null",
                                    &output);
        EXPECT_EQ(code, 1) << profile;
        EXPECT_NE(output.find("Error: Invalid profile file\n"), std::string::npos)
            << profile << ": " << output;
    }
    EXPECT_FALSE(fs::exists(dir / "x.bmp"));
}
