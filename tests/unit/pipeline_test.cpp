#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "engine/encoding.h"
#include "engine/format_registry.h"
#include "engine/input_list.h"
#include "engine/pipeline.h"
#include "platform/platform.h"
#include "support/test_support.h"

namespace tarnwick {
namespace {

using test::ReadFile;
using test::Suite;
using test::TempDir;
using test::WriteFile;

namespace fs = std::filesystem;

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

class PipelineTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadImageLibrary();
        BuildOutputRegistry(GlobalRegistry());
        BuildInputRegistry(GlobalRegistry());
        Settings& s = GlobalSettings();
        s = Settings{};
        ApplyDefaults(s, true);
        ResetRunState();
        RunState& run = GlobalRunState();
        run.runMode = RunMode::Normal;
        run.conversion = "bmp";
        run.outputFolder = out.path();
        Prepare();
        sinks.debugLine = [this](const std::string& line) { lines.push_back(line); };
    }
    void TearDown() override {
        ClearInputFileList();
        progress.keepRunning = 1;
    }
    void Prepare() {
        PrepareOutputEncoding(GlobalRegistry(), GlobalSettings(), GlobalRunState(), "bmp");
    }
    int Convert(const std::string& path) {
        GlobalRunState().inputPath = path;
        return ConvertFile(GlobalSettings(), GlobalRunState(), GlobalRegistry()).converted ? 1 : 0;
    }
    int RunWorker() {
        WorkerProgress& p = progress;
        p.currentIndex = 0;
        p.currentFile.clear();
        p.convertedCount = 0;
        // As a starter does: the request from the program's records, the
        // naming counters handed back when the run has ended.
        request.settings = GlobalSettings();
        request.base = GlobalRunState();
        counters = NamingCounters{GlobalRunState().fileNumber, GlobalRunState().randomNumber};
        std::thread worker([this] { RunConversionWorker(Context(), sinks); });
        worker.join();
        GlobalRunState().fileNumber = counters.fileNumber;
        GlobalRunState().randomNumber = counters.randomNumber;
        return p.convertedCount;
    }
    RunContext Context() {
        return RunContext{request,      counters, GlobalRegistry(), GlobalInputList(), progress,
                          progressLock, pause};
    }
    RunRequest request;
    NamingCounters counters;
    WorkerProgress progress;
    std::mutex progressLock;

    TempDir out;
    std::vector<std::string> lines;
    WorkerSinks sinks;
    PauseGate pause;
};

// The source as FreeImage reads it, put onto white the way FreeImage_Composite
// does it: alpha 0 gives the background, alpha 255 the colour, anything between
// (alpha * colour + (255 - alpha) * 255) >> 8.
Bitmap ExpectedOnWhite(const std::string& png) {
    Bitmap src(FreeImage_Load(FIF_PNG, png.c_str(), 0));
    Bitmap rgba(FreeImage_ConvertTo32Bits(src.get()));
    const bool transparent = FreeImage_IsTransparent(src.get());
    for (unsigned y = 0; y < FreeImage_GetHeight(rgba.get()); ++y) {
        BYTE* p = FreeImage_GetScanLine(rgba.get(), static_cast<int>(y));
        for (unsigned x = 0; x < FreeImage_GetWidth(rgba.get()); ++x, p += 4) {
            const int a = transparent ? p[FI_RGBA_ALPHA] : 255;
            for (int c : {FI_RGBA_RED, FI_RGBA_GREEN, FI_RGBA_BLUE}) {
                if (a == 0) p[c] = 255;
                else if (a != 255) p[c] = static_cast<BYTE>((a * p[c] + (255 - a) * 255) >> 8);
            }
        }
    }
    return rgba;
}

// Largest difference of any colour channel between the image and the BMP file.
int MaxDifference(FIBITMAP* expected, const std::string& bmp) {
    Bitmap file(FreeImage_Load(FIF_BMP, bmp.c_str(), 0));
    if (!file) return 1000;
    Bitmap got(FreeImage_ConvertTo32Bits(file.get()));
    if (FreeImage_GetWidth(got.get()) != FreeImage_GetWidth(expected) ||
        FreeImage_GetHeight(got.get()) != FreeImage_GetHeight(expected))
        return 1000;
    int worst = 0;
    for (unsigned y = 0; y < FreeImage_GetHeight(expected); ++y) {
        const BYTE* e = FreeImage_GetScanLine(expected, static_cast<int>(y));
        const BYTE* g = FreeImage_GetScanLine(got.get(), static_cast<int>(y));
        for (unsigned x = 0; x < FreeImage_GetWidth(expected); ++x)
            for (int c : {FI_RGBA_RED, FI_RGBA_GREEN, FI_RGBA_BLUE})
                worst = std::max(worst, std::abs(e[4 * x + c] - g[4 * x + c]));
    }
    return worst;
}

unsigned FileBpp(const std::string& bmp) {
    Bitmap file(FreeImage_Load(FIF_BMP, bmp.c_str(), FIF_LOAD_NOPIXELS));
    return file ? FreeImage_GetBPP(file.get()) : 0;
}

TEST_F(PipelineTest, EverySuiteFileConvertsOntoWhite) {
    int checked = 0;
    for (const auto& e : fs::directory_iterator(Suite(""))) {
        const std::string name = e.path().filename();
        if (e.path().extension() != ".png") continue;
        SCOPED_TRACE(name);
        ASSERT_EQ(Convert(e.path()), 1);
        const std::string bmp = out / (e.path().stem().string() + ".bmp");
        ASSERT_EQ(GlobalRunState().outputPath, bmp);
        if (name.find("16") != std::string::npos) continue;  // deep files: own test
        Bitmap expected = ExpectedOnWhite(e.path());
        // Transparent palette files come out quantized (Auto keeps 8 bits);
        // every other file keeps its colours exactly.
        const bool quantized = GlobalRunState().sourceBpp == 8 &&
                               FreeImage_GetBPP(expected.get()) == 32 && FileBpp(bmp) == 8 &&
                               name.find("ft") != std::string::npos;
        const int diff = MaxDifference(expected.get(), bmp);
        if (quantized) EXPECT_LE(diff, 8);
        else EXPECT_EQ(diff, 0);
        ++checked;
    }
    EXPECT_GT(checked, 40);
}

TEST_F(PipelineTest, AutoDepthFollowsTheDecodedFile) {
    struct Case {
        const char* file;
        int sourceBpp;
        unsigned outputBpp;
    } cases[] = {
        {"basn0g01.png", 1, 1},   {"basn3p04.png", 4, 4},   {"basn3p08.png", 8, 8},
        {"basn2c08.png", 24, 24}, {"basn6a08.png", 32, 32},  // flattened, still 32
        {"basn2c16.png", 48, 32}, {"basn6a16.png", 64, 32}, {"basn0g16.png", 8, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        ASSERT_EQ(Convert(Suite(c.file)), 1);
        EXPECT_EQ(GlobalRunState().sourceBpp, c.sourceBpp);
        EXPECT_EQ(FileBpp(GlobalRunState().outputPath), c.outputBpp);
        EXPECT_EQ(GlobalRunState().outputBpp, static_cast<int>(c.outputBpp));
    }
    // A fixed depth applies to every file.
    GlobalSettings().bmpBpp = 24;
    Prepare();
    ASSERT_EQ(Convert(Suite("basn6a08.png")), 1);
    EXPECT_EQ(FileBpp(GlobalRunState().outputPath), 24u);
    EXPECT_EQ(
        MaxDifference(ExpectedOnWhite(Suite("basn6a08.png")).get(), GlobalRunState().outputPath),
        0);
}

TEST_F(PipelineTest, SixteenBitFiles) {
    // Greyscale: the high byte of every sample, as 8-bit grey.
    ASSERT_EQ(Convert(Suite("basn0g16.png")), 1);
    Bitmap src(FreeImage_Load(FIF_PNG, Suite("basn0g16.png").c_str(), 0));
    Bitmap file(FreeImage_Load(FIF_BMP, GlobalRunState().outputPath.c_str(), 0));
    Bitmap got(FreeImage_ConvertTo32Bits(file.get()));
    ASSERT_EQ(FreeImage_GetImageType(src.get()), FIT_UINT16);
    for (unsigned y = 0; y < FreeImage_GetHeight(src.get()); ++y) {
        const auto* s = reinterpret_cast<const uint16_t*>(FreeImage_GetScanLine(src.get(), y));
        for (unsigned x = 0; x < FreeImage_GetWidth(src.get()); ++x) {
            RGBQUAD c{};
            FreeImage_GetPixelColor(got.get(), x, y, &c);
            ASSERT_EQ(c.rgbGreen, s[x] >> 8) << x << "," << y;
        }
    }
    // Colour: the high byte of every sample; transparency flattened onto white
    // like that of any other file (worked out here from the raw samples).
    for (const char* name : {"basn2c16.png", "basn6a16.png", "basn4a16.png"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(Convert(Suite(name)), 1);
        Bitmap deep(FreeImage_Load(FIF_PNG, Suite(name).c_str(), 0));
        Bitmap file(FreeImage_Load(FIF_BMP, GlobalRunState().outputPath.c_str(), 0));
        Bitmap got(FreeImage_ConvertTo32Bits(file.get()));
        const FREE_IMAGE_TYPE type = FreeImage_GetImageType(deep.get());
        if (type != FIT_RGB16 && type != FIT_RGBA16) continue;  // decoded some other way
        for (unsigned y = 0; y < FreeImage_GetHeight(deep.get()); ++y) {
            const BYTE* row = FreeImage_GetScanLine(deep.get(), static_cast<int>(y));
            for (unsigned x = 0; x < FreeImage_GetWidth(deep.get()); ++x) {
                int r, g, b, a = 255;
                if (type == FIT_RGBA16) {
                    const auto* p = reinterpret_cast<const FIRGBA16*>(row) + x;
                    r = p->red >> 8, g = p->green >> 8, b = p->blue >> 8, a = p->alpha >> 8;
                } else {
                    const auto* p = reinterpret_cast<const FIRGB16*>(row) + x;
                    r = p->red >> 8, g = p->green >> 8, b = p->blue >> 8;
                }
                auto onWhite = [&](int c) {
                    if (a == 0) return 255;
                    if (a == 255) return c;
                    return (a * c + (255 - a) * 255) / 256;
                };
                RGBQUAD c{};
                FreeImage_GetPixelColor(got.get(), x, y, &c);
                ASSERT_EQ(c.rgbRed, onWhite(r)) << x << "," << y;
                ASSERT_EQ(c.rgbGreen, onWhite(g)) << x << "," << y;
                ASSERT_EQ(c.rgbBlue, onWhite(b)) << x << "," << y;
            }
        }
    }
}

TEST_F(PipelineTest, ExactPaletteBmpThroughThePipeline) {
    GlobalSettings().bmpBpp = 8;
    GlobalSettings().bmpColorTable = 1;
    Prepare();
    ASSERT_EQ(Convert(Suite("basn3p08.png")), 1);
    Bitmap src(FreeImage_Load(FIF_PNG, Suite("basn3p08.png").c_str(), 0));
    int highest = 0;
    for (unsigned y = 0; y < FreeImage_GetHeight(src.get()); ++y)
        for (unsigned x = 0; x < FreeImage_GetWidth(src.get()); ++x) {
            BYTE i = 0;
            FreeImage_GetPixelIndex(src.get(), x, y, &i);
            highest = std::max<int>(highest, i);
        }
    const std::string b = ReadFile(GlobalRunState().outputPath);
    auto le32 = [&](size_t at) {
        uint32_t v = 0;
        for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
        return v;
    };
    const uint32_t n = static_cast<uint32_t>(highest) + 1;
    EXPECT_EQ(le32(46), n);
    EXPECT_EQ(le32(10), 54 + 4 * n);
    EXPECT_EQ(le32(2), b.size());
    EXPECT_EQ(
        MaxDifference(ExpectedOnWhite(Suite("basn3p08.png")).get(), GlobalRunState().outputPath),
        0);

    // The colour table setting at 0 gives the library's full table.
    GlobalSettings().bmpColorTable = 0;
    ASSERT_EQ(Convert(Suite("basn3p08.png")), 1);
    EXPECT_EQ(ReadFile(GlobalRunState().outputPath).size(), 14u + 40 + 1024 + 32 * 32);
}

// A PNG whose header claims `width` x `height` pixels, followed by an empty
// IDAT and IEND; every chunk has a valid CRC.
std::string ClaimedSizePng(uint32_t width, uint32_t height) {
    const std::string idat("\x78\x9c\x03\x00\x00\x00\x00\x01", 8);
    return test::kPngSignature + test::PngHeaderChunk(width, height, 8, 2) +
           test::PngChunk("IDAT", idat) + test::PngChunk("IEND", "");
}

TEST_F(PipelineTest, FilesThatCannotBeDecodedWriteNothing) {
    TempDir in;
    WriteFile(in / "huge.png", ClaimedSizePng(100000, 100000));
    WriteFile(in / "text.png", "not a picture at all");
    WriteFile(in / "empty.png", "");
    for (const char* name : {"huge.png", "text.png", "empty.png", "missing.png"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Convert(in / name), 0);
        EXPECT_EQ(GlobalRunState().sourceBpp, 0);
        EXPECT_EQ(GlobalRunState().outputPath, "");  // nothing tried yet
    }
    EXPECT_TRUE(FilesIn(out.path()).empty());

    // After a saved file, a failed decode keeps the previous path.
    ASSERT_EQ(Convert(Suite("basn2c08.png")), 1);
    EXPECT_EQ(Convert(in / "text.png"), 0);
    EXPECT_EQ(GlobalRunState().outputPath, out / "basn2c08.bmp");
}

TEST_F(PipelineTest, FailedSavesLeaveNoPartialOrBrokenFiles) {
    // An encoder that cannot take the image (GIF at 24 bits, possible only
    // from a hand-edited configuration) fails after it has begun to write:
    // the existing output stays as it was and no partial file is left.
    RunState& run = GlobalRunState();
    WriteFile(out / "basn2c08.gif", "old");
    GlobalSettings().gifBpp = 24;
    run.conversion = "gif";
    PrepareOutputEncoding(GlobalRegistry(), GlobalSettings(), run, "gif");
    EXPECT_EQ(Convert(Suite("basn2c08.png")), 0);
    EXPECT_EQ(run.outputPath, out / "basn2c08.gif");
    EXPECT_TRUE(ReadFile(out / "basn2c08.gif") == "old");
    EXPECT_EQ(FilesIn(out.path()), std::vector<std::string>{"basn2c08.gif"});
    fs::remove(out / "basn2c08.gif");
    run.conversion = "bmp";

    // A depth the table does not know: no image, nothing written.
    WriteFile(out / "basn2c08.bmp", "old");
    GlobalSettings().bmpBpp = 7;
    Prepare();
    EXPECT_EQ(Convert(Suite("basn2c08.png")), 0);
    EXPECT_TRUE(ReadFile(out / "basn2c08.bmp") == "old");
    EXPECT_EQ(FilesIn(out.path()), std::vector<std::string>{"basn2c08.bmp"});

    // A good save replaces the old file and leaves nothing else.
    GlobalSettings().bmpBpp = 0;
    Prepare();
    EXPECT_EQ(Convert(Suite("basn2c08.png")), 1);
    EXPECT_EQ(ReadFile(out / "basn2c08.bmp").substr(0, 2), "BM");
    EXPECT_EQ(FilesIn(out.path()), std::vector<std::string>{"basn2c08.bmp"});

    // A folder that does not exist: the path is built and tried, nothing made.
    GlobalSettings().filenameMask = "sub/%filename%.%ext%";
    EXPECT_EQ(Convert(Suite("basn2c08.png")), 0);
    EXPECT_EQ(GlobalRunState().outputPath, out / "sub/basn2c08.bmp");
    EXPECT_EQ(FilesIn(out.path()), std::vector<std::string>{"basn2c08.bmp"});
}

TEST_F(PipelineTest, WorkerCountsSavedFilesAndReportsInDebugMode) {
    TempDir in;
    WriteFile(in / "a_broken.png", "broken");
    fs::copy_file(Suite("basn2c08.png"), in / "b_good.png");
    RunState& run = GlobalRunState();
    run.inputGiven = true;
    run.runMode = RunMode::Debug;
    GlobalSettings().filenameMask = "IMG_%n%.%ext%";
    GlobalInputList()[in / "a_broken.png"] = InputEntry{};
    GlobalInputList()[in / "b_good.png"] = InputEntry{};

    EXPECT_EQ(RunWorker(), 1);
    EXPECT_EQ(progress.currentIndex, 2);
    EXPECT_EQ(progress.currentFile, in / "b_good.png");
    const std::vector<std::string> expected{"Processing: " + in / "a_broken.png",
                                            "Saving As: ",
                                            "Not OK",
                                            "Processing: " + in / "b_good.png",
                                            "Saving As: " + out / "img_00001.bmp",
                                            "OK"};
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(run.fileNumber, 2);  // the broken file used no number
    EXPECT_GE(run.randomNumber, 1);
    EXPECT_LE(run.randomNumber, 99999);

    // The count goes on across runs; without debug mode nothing is written.
    lines.clear();
    run.runMode = RunMode::Normal;
    EXPECT_EQ(RunWorker(), 1);
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(FilesIn(out.path()), (std::vector<std::string>{"img_00001.bmp", "img_00002.bmp"}));
    EXPECT_EQ(run.fileNumber, 3);

    // Window mode never writes debug lines.
    run.inputGiven = false;
    run.runMode = RunMode::Debug;
    EXPECT_EQ(RunWorker(), 1);
    EXPECT_TRUE(lines.empty());
}

TEST_F(PipelineTest, StopAndPauseAreHonouredBetweenFiles) {
    GlobalInputList()[Suite("basn2c08.png")] = InputEntry{};
    progress.keepRunning = 0;
    EXPECT_EQ(RunWorker(), 0);
    EXPECT_EQ(progress.currentIndex, 0);
    EXPECT_TRUE(FilesIn(out.path()).empty());

    // Paused before the first file, then asked to stop: nothing is converted.
    progress.keepRunning = 1;
    progress.currentIndex = 0;
    pause.Pause();
    std::thread worker([this] { RunConversionWorker(Context(), sinks); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    {
        std::lock_guard<std::mutex> lock(progressLock);
        EXPECT_EQ(progress.currentIndex, 0);
        progress.keepRunning = 0;
    }
    pause.Resume();
    worker.join();
    EXPECT_EQ(progress.convertedCount, 0);
    EXPECT_TRUE(FilesIn(out.path()).empty());

    // Paused and resumed: the run completes.
    progress.keepRunning = 1;
    pause.Pause();
    pause.Resume();
    EXPECT_EQ(RunWorker(), 1);
}

TEST_F(PipelineTest, FileTimestampRule) {
    TempDir in;
    const std::string input = in / "stamp.png";
    fs::copy_file(Suite("basn2c08.png"), input);
    const int64_t original = 1234567890;
    ASSERT_TRUE(platform::SetFileModifiedLocal(input, original));
    GlobalInputList()[input] = InputEntry{};
    Settings& s = GlobalSettings();

    s.fileTimestamp = 1;
    ASSERT_EQ(RunWorker(), 1);
    EXPECT_EQ(platform::FileModifiedLocal(out / "stamp.bmp"), original);

    s.fileTimestamp = 2;
    s.customTimestamp = 1000000000;
    ASSERT_EQ(RunWorker(), 1);
    EXPECT_EQ(platform::FileModifiedLocal(out / "stamp.bmp"), 1000000000);

    s.fileTimestamp = 0;  // as the save made it: now
    ASSERT_EQ(RunWorker(), 1);
    const int64_t now = platform::NowLocalDateValue();
    EXPECT_LE(std::llabs(*platform::FileModifiedLocal(out / "stamp.bmp") - now), 60);
}

// In the hour that repeats when daylight saving time ends, one local clock
// reading stands for two instants; "Original" must still copy the input's.
TEST_F(PipelineTest, OriginalTimestampInTheRepeatedHour) {
    if (!fs::exists("/usr/share/zoneinfo/America/New_York")) GTEST_SKIP() << "no time zone data";
    const char* oldTz = std::getenv("TZ");
    const std::string savedTz = oldTz ? oldTz : "";
    setenv("TZ", "America/New_York", 1);
    tzset();

    TempDir in;
    const std::string input = in / "repeat.png";
    fs::copy_file(Suite("basn2c08.png"), input);
    // 2020-11-01 01:30 EST, the second 01:30 of that night.
    struct timespec times[2] = {{0, UTIME_OMIT}, {1604212200, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, input.c_str(), times, 0), 0);
    GlobalInputList()[input] = InputEntry{};
    GlobalSettings().fileTimestamp = 1;
    const int converted = RunWorker();

    struct stat st {};
    const int statResult = stat((out / "repeat.bmp").c_str(), &st);
    if (oldTz) setenv("TZ", savedTz.c_str(), 1);
    else unsetenv("TZ");
    tzset();

    ASSERT_EQ(converted, 1);
    ASSERT_EQ(statResult, 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1604212200);
}

TEST_F(PipelineTest, ResetRunStateKeepsOnlyTheRunMode) {
    RunState& run = GlobalRunState();
    run.runMode = RunMode::Debug;
    run.inputGiven = true;
    run.inputPath = "/x.png";
    run.outputBpp = 24;
    run.autoBpp = 1;
    run.fileNumber = 17;
    GlobalInputList()["/x.png"] = InputEntry{};
    ResetRunState();
    EXPECT_EQ(run.runMode, RunMode::Debug);
    EXPECT_FALSE(run.inputGiven);
    EXPECT_EQ(run.inputPath, "");
    EXPECT_EQ(run.outputFolder, "");
    EXPECT_EQ(run.outputBpp, 0);
    EXPECT_EQ(run.autoBpp, 0);
    EXPECT_EQ(run.fileNumber, 1);
    EXPECT_GE(run.randomNumber, 1);
    EXPECT_LE(run.randomNumber, 99999);
    EXPECT_TRUE(GlobalInputList().empty());
    ASSERT_FALSE(run.programFolder.empty());
    EXPECT_EQ(run.programFolder.back(), '/');
    EXPECT_EQ(GlobalRegistry().acceptedInputExtensions, std::vector<std::string>{"png"});
}

}  // namespace
}  // namespace tarnwick
