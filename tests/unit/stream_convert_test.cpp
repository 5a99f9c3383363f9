#include "engine/stream_convert.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/bitmap.h"
#include "engine/encoding.h"
#include "engine/format_registry.h"
#include "engine/pipeline.h"
#include "settings/fields.h"
#include "support/test_support.h"

namespace tarnwick {
namespace {

using test::ReadFile;
using test::Suite;
using test::TempDir;
using test::WriteFile;

namespace fs = std::filesystem;

std::vector<std::string> SuitePngs() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Suite("")))
        if (e.path().extension() == ".png") names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// The PNG with a pHYs chunk (in metres) put right after its IHDR chunk.
std::string WithResolution(const std::string& png, uint32_t x, uint32_t y) {
    const std::string chunk = test::PngChunk("pHYs", test::Be32(x) + test::Be32(y) + '\x01');
    const size_t afterIhdr = 8 + 8 + 13 + 4;
    return png.substr(0, afterIhdr) + chunk + png.substr(afterIhdr);
}

class StreamConvertTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadImageLibrary();
        BuildOutputRegistry(reg);
        BuildInputRegistry(reg);
    }

    // Default command-line settings with a BMP depth, and a run prepared for it.
    void Prepare(int bpp, int compression = 0, int colorTable = 0) {
        s = Settings{};
        ApplyDefaults(s, true);
        s.bmpBpp = bpp;
        s.bmpCompression = compression;
        s.bmpColorTable = colorTable;
        run = RunState{};
        run.conversion = "bmp";
        PrepareOutputEncoding(reg, s, run, "bmp");
    }

    // The file the whole-picture pipeline writes for `png`: rotation on with
    // a zero angle leaves the picture alone but keeps the conversion off the
    // row-by-row path (checked), so ConvertFile decodes the whole picture.
    std::string WholePicture(const std::string& png, const std::string& folder, RunState* used) {
        Settings whole = s;
        whole.doImageRotation = 1;
        whole.imageRotation = 0;
        EXPECT_FALSE(PlanStreamConversion(png, whole, run, reg).streamable);
        *used = run;
        used->inputPath = png;
        used->outputFolder = folder;
        if (!ConvertFile(whole, *used, reg).converted) return "(not converted)";
        return ReadFile(used->outputPath);
    }

    std::string Streamed(const std::string& png, const StreamPlan& plan, const std::string& out) {
        const StreamOutcome outcome = StreamPngToBmp(png, out, plan);
        EXPECT_TRUE(outcome.ok) << png << ": " << outcome.error;
        return ReadFile(out);
    }

    FormatRegistry reg;
    Settings s;
    RunState run;
};

// Every picture of the PNG suite, as it is and with a resolution chunk, at
// every BMP depth: where the row-by-row path takes the conversion, its file
// is byte for byte the whole-picture pipeline's, and it reports the depths
// and size the pipeline records.
TEST_F(StreamConvertTest, SuitePicturesMatchTheWholePicturePathAtEveryDepth) {
    TempDir dir;
    int compared = 0;
    for (const std::string& name : SuitePngs()) {
        const std::string original = ReadFile(Suite(name));
        const bool interlaced =
            original.size() > 28 && original[28] != 0;  // IHDR's interlace method
        for (int variant = 0; variant < 2; ++variant) {
            const std::string png = dir / ("v" + std::to_string(variant) + "-" + name);
            WriteFile(png, variant == 0 ? original : WithResolution(original, 3937, 1181));
            for (int bpp : {0, 1, 4, 8, 16, 24, 32}) {
                // RLE compression is for 8-bit files only; other depths ignore it.
                for (int compression : {0, 1}) {
                    if (compression == 1 && (variant == 1 || bpp == 0 || bpp == 16 || bpp == 32))
                        continue;
                    SCOPED_TRACE(name + " variant " + std::to_string(variant) + " bpp " +
                                 std::to_string(bpp) + " rle " + std::to_string(compression));
                    Prepare(bpp, compression);
                    const StreamPlan plan = PlanStreamConversion(png, s, run, reg);
                    if (interlaced) {
                        EXPECT_FALSE(plan.streamable);
                        continue;
                    }
                    // Colour depths made pixel by pixel always stream.
                    if (bpp >= 16) {
                        EXPECT_TRUE(plan.streamable) << plan.why;
                    }
                    if (!plan.streamable) continue;

                    const std::string streamed = Streamed(png, plan, dir / "streamed.bmp");
                    TempDir wholeDir;
                    RunState used;
                    const std::string whole = WholePicture(png, wholeDir.path(), &used);
                    EXPECT_TRUE(streamed == whole)
                        << "streamed " << streamed.size() << " bytes, whole " << whole.size();
                    EXPECT_EQ(plan.sourceBpp, used.sourceBpp);
                    EXPECT_EQ(plan.outputBpp, used.outputBpp);
                    EXPECT_EQ(static_cast<int32_t>(plan.width), used.outputWidth);
                    EXPECT_EQ(static_cast<int32_t>(plan.height), used.outputHeight);
                    EXPECT_EQ(plan.fileBytes, streamed.size());
                    ++compared;
                }
            }
        }
    }
    // 33 non-interlaced pictures, two variants, three colour depths at least.
    EXPECT_GE(compared, 33 * 2 * 3);
}

// The step table decides what streams: any setting, given any of a few
// values, either keeps the conversion off the row-by-row path or leaves the
// streamed file byte for byte what the whole-picture path writes with that
// setting. A step whose switch the table missed would be skipped by the
// row-by-row path and fail here.
TEST_F(StreamConvertTest, NoSettingThatStreamsIsIgnoredByTheRowPath) {
    TempDir dir;
    const std::string png = dir / "rgba.png";
    WriteFile(png, ReadFile(Suite("basn6a08.png")));
    int streamed = 0, kept = 0;
    for (const FieldInfo& field : SettingsFields()) {
        if (!field.ref.IsNumber()) continue;
        for (int64_t value : {1, 2, 50, -30}) {
            SCOPED_TRACE(std::string(field.name) + " = " + std::to_string(value));
            Prepare(24);
            field.ref.SetNumber(s, value);
            PrepareOutputEncoding(reg, s, run, "bmp");
            const StreamPlan plan = PlanStreamConversion(png, s, run, reg);
            if (!plan.streamable) {
                ++kept;
                continue;
            }
            ++streamed;
            const std::string rows = Streamed(png, plan, dir / "streamed.bmp");
            TempDir wholeDir;
            RunState used;
            EXPECT_TRUE(rows == WholePicture(png, wholeDir.path(), &used));
        }
    }
    EXPECT_GT(streamed, 100);
    EXPECT_GT(kept, 10);
}

// A picture taller than one block of rows, with a last block that is only
// partly filled, in colour and with partial transparency.
TEST_F(StreamConvertTest, LargePicturesMatchAcrossBlocksOfRows) {
    TempDir dir;
    for (int bpp : {24, 32}) {
        const unsigned w = 1501, h = 997;
        Bitmap image(FreeImage_Allocate(w, h, bpp));
        ASSERT_TRUE(image);
        for (unsigned y = 0; y < h; ++y) {
            BYTE* p = FreeImage_GetScanLine(image.get(), static_cast<int>(y));
            for (unsigned x = 0; x < w; ++x, p += bpp / 8) {
                p[FI_RGBA_RED] = static_cast<BYTE>(x * 7 + y);
                p[FI_RGBA_GREEN] = static_cast<BYTE>(x ^ y);
                p[FI_RGBA_BLUE] = static_cast<BYTE>(y * 3);
                if (bpp == 32) p[FI_RGBA_ALPHA] = static_cast<BYTE>((x + 2 * y) % 256);
            }
        }
        const std::string png = dir / ("large" + std::to_string(bpp) + ".png");
        ASSERT_TRUE(FreeImage_Save(FIF_PNG, image.get(), png.c_str(), PNG_Z_BEST_SPEED));
        for (int out : {0, 16, 24, 32}) {
            SCOPED_TRACE("source " + std::to_string(bpp) + " output " + std::to_string(out));
            Prepare(out);
            const StreamPlan plan = PlanStreamConversion(png, s, run, reg);
            ASSERT_TRUE(plan.streamable) << plan.why;
            const std::string streamed = Streamed(png, plan, dir / "streamed.bmp");
            TempDir wholeDir;
            RunState used;
            EXPECT_TRUE(streamed == WholePicture(png, wholeDir.path(), &used));
        }
    }
}

// The cases whose bytes need the whole picture stay on the whole-picture path.
TEST_F(StreamConvertTest, ConversionsThatNeedTheWholePictureAreNotStreamed) {
    const std::string palette = Suite("basn3p08.png");
    const std::string transparentPalette = Suite("ftbbn3p08.png");
    Prepare(8);
    EXPECT_TRUE(PlanStreamConversion(palette, s, run, reg).streamable);
    Prepare(8, 1);  // RLE8
    EXPECT_FALSE(PlanStreamConversion(palette, s, run, reg).streamable);
    Prepare(8, 0, 1);  // exact colour table
    EXPECT_FALSE(PlanStreamConversion(palette, s, run, reg).streamable);
    Prepare(8);  // quantizing a colour picture
    EXPECT_FALSE(PlanStreamConversion(Suite("basn2c08.png"), s, run, reg).streamable);
    Prepare(1);  // dithering
    EXPECT_FALSE(PlanStreamConversion(Suite("basn2c08.png"), s, run, reg).streamable);
    if (fs::exists(transparentPalette)) {
        Prepare(0);  // put onto white, then quantized back to 8 bits
        EXPECT_FALSE(PlanStreamConversion(transparentPalette, s, run, reg).streamable);
    }
    Prepare(24);
    for (auto step : {&Settings::doImageResize, &Settings::doImageRotation, &Settings::doFrame,
                      &Settings::doWatermark}) {
        Settings with = s;
        with.*step = 1;
        EXPECT_FALSE(PlanStreamConversion(palette, with, run, reg).streamable);
    }
    // The steps that work row by row stream.
    for (auto step : {&Settings::doImageFlipHorizontal, &Settings::doImageFlipVertical,
                      &Settings::doImageColorCorrection, &Settings::doImageGreyscale,
                      &Settings::doImageThreshold}) {
        Settings with = s;
        with.*step = 1;
        EXPECT_TRUE(PlanStreamConversion(palette, with, run, reg).streamable);
    }
    // Thresholding a palette picture makes a 1-bit one, which the 8-bit
    // depth step quantizes as a whole.
    Prepare(8);
    Settings threshold = s;
    threshold.doImageThreshold = 1;
    EXPECT_FALSE(PlanStreamConversion(palette, threshold, run, reg).streamable);
    EXPECT_FALSE(PlanStreamConversion(Suite("ibasn2c08.png"), s, run, reg).streamable);
    EXPECT_FALSE(PlanStreamConversion(Suite("does-not-exist.png"), s, run, reg).streamable);
}

// A small corpus of the picture kinds the PNG suite has few of: odd widths at
// 1 and 4 bits (whose mirrored rows show the library's handling of the last
// byte), colour palettes, partial transparency, 16-bit samples.
std::vector<std::string> MakeStepCorpus(const TempDir& dir) {
    std::vector<std::string> files;
    auto save = [&](FIBITMAP* dib, const std::string& name) {
        Bitmap image(dib);
        const std::string path = dir / name;
        EXPECT_TRUE(FreeImage_Save(FIF_PNG, image.get(), path.c_str(), PNG_Z_BEST_SPEED)) << name;
        files.push_back(path);
    };
    for (int bpp : {1, 4, 8, 24, 32}) {
        const unsigned w = bpp == 1 ? 45 : bpp == 4 ? 37 : 61, h = 7;
        FIBITMAP* dib = FreeImage_Allocate(w, h, bpp);
        if (bpp <= 8) {
            RGBQUAD* pal = FreeImage_GetPalette(dib);
            for (unsigned i = 0; i < (1u << bpp); ++i)
                pal[i] = RGBQUAD{static_cast<BYTE>(i * 37 + 11), static_cast<BYTE>(255 - i * 13),
                                 static_cast<BYTE>(i * 91), 0};
        }
        for (unsigned y = 0; y < h; ++y)
            for (unsigned x = 0; x < w; ++x) {
                if (bpp <= 8) {
                    BYTE index = static_cast<BYTE>((x * 7 + y * 3) % (1u << bpp));
                    FreeImage_SetPixelIndex(dib, x, y, &index);
                } else {
                    RGBQUAD c{static_cast<BYTE>(x * 4 + y), static_cast<BYTE>(x * y * 5),
                              static_cast<BYTE>(255 - x * 3),
                              static_cast<BYTE>((x * 40 + y) % 256)};
                    FreeImage_SetPixelColor(dib, x, y, &c);
                }
            }
        save(dib, "corpus" + std::to_string(bpp) + ".png");
    }
    // An 8-bit grey ramp picture and a 16-bit colour one.
    FIBITMAP* grey = FreeImage_Allocate(29, 4, 8);
    for (unsigned i = 0; i < 256; ++i)
        FreeImage_GetPalette(grey)[i] =
            RGBQUAD{static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0};
    for (unsigned y = 0; y < 4; ++y)
        for (unsigned x = 0; x < 29; ++x)
            FreeImage_GetScanLine(grey, y)[x] = static_cast<BYTE>(x * 9 + y);
    save(grey, "corpus-grey.png");
    FIBITMAP* deep = FreeImage_AllocateT(FIT_RGB16, 13, 3);
    for (unsigned y = 0; y < 3; ++y) {
        auto* p = reinterpret_cast<FIRGB16*>(FreeImage_GetScanLine(deep, y));
        for (unsigned x = 0; x < 13; ++x)
            p[x] = FIRGB16{static_cast<WORD>(x * 5000 + y), static_cast<WORD>(60000 - x * 4000),
                           static_cast<WORD>(y * 20000 + x * 77)};
    }
    save(deep, "corpus-rgb16.png");
    return files;
}

// Every picture of the PNG suite and of a small corpus, with each step that
// works row by row alone and in random (seeded) combinations, at every BMP
// depth: where the row-by-row path takes the conversion, its file is byte
// for byte the whole-picture pipeline's. Colour outputs of pictures that are
// not interlaced always stream.
TEST_F(StreamConvertTest, RowStepsMatchTheWholePicturePath) {
    TempDir dir;
    std::vector<std::string> pictures;
    for (const std::string& name : SuitePngs()) pictures.push_back(Suite(name));
    for (const std::string& path : MakeStepCorpus(dir)) pictures.push_back(path);

    std::mt19937 random(20240611);
    // One step's settings, with random values where it has them.
    auto turnOn = [&](Settings& with, int step) {
        switch (step) {
            case 0: with.doImageFlipVertical = 1; break;
            case 1: with.doImageFlipHorizontal = 1; break;
            case 2:
                with.doImageColorCorrection = 1;
                with.imageBrightness = static_cast<int>(random() % 201) - 100;
                with.imageContrast = static_cast<int>(random() % 201) - 100;
                with.imageGamma = 0.2 + static_cast<double>(random() % 40) / 10.0;
                with.imageInvert = static_cast<int>(random() % 2);
                break;
            case 3: with.doImageGreyscale = 1; break;
            case 4:
                with.doImageThreshold = 1;
                with.imageThreshold = static_cast<int>(random() % 256);
                break;
        }
    };
    int streamed = 0, kept = 0;
    for (const std::string& png : pictures) {
        const std::string bytes = ReadFile(png);
        const bool interlaced = bytes.size() > 28 && bytes[28] != 0;
        // Each step alone, then six random combinations.
        std::vector<std::vector<int>> combinations = {{0}, {1}, {2}, {3}, {4}};
        for (int i = 0; i < 6; ++i) {
            std::vector<int> some;
            for (int step = 0; step < 5; ++step)
                if (random() % 2) some.push_back(step);
            combinations.push_back(some);
        }
        for (const std::vector<int>& steps : combinations) {
            Settings with;
            std::string label;
            {
                Prepare(0);
                with = s;
                for (int step : steps) {
                    turnOn(with, step);
                    label += " " + std::to_string(step);
                }
            }
            for (int bpp : {0, 1, 4, 8, 16, 24, 32}) {
                SCOPED_TRACE(png + " steps" + label + " bpp " + std::to_string(bpp));
                Prepare(bpp);
                Settings keep = s;
                s = with;
                s.bmpBpp = keep.bmpBpp;
                PrepareOutputEncoding(reg, s, run, "bmp");
                const StreamPlan plan = PlanStreamConversion(png, s, run, reg);
                if (interlaced) {
                    EXPECT_FALSE(plan.streamable);
                    continue;
                }
                if (bpp >= 16) EXPECT_TRUE(plan.streamable) << plan.why;
                if (!plan.streamable) {
                    ++kept;
                    continue;
                }
                ++streamed;
                const std::string rows = Streamed(png, plan, dir / "streamed.bmp");
                TempDir wholeDir;
                RunState used;
                const std::string whole = WholePicture(png, wholeDir.path(), &used);
                EXPECT_TRUE(rows == whole)
                    << "streamed " << rows.size() << " bytes, whole " << whole.size();
                EXPECT_EQ(plan.outputBpp, used.outputBpp);
            }
        }
    }
    EXPECT_GT(streamed, 1800);
    EXPECT_GT(kept, 300);
}

// The row-by-row branch of a file's conversion records the depths, size and
// output name the whole-picture path records, and leaves the run as that
// path would on a decode failure.
TEST_F(StreamConvertTest, PlainFilesRecordWhatTheWholePicturePathRecords) {
    TempDir dir;
    const std::string png = dir / "alpha.png";
    WriteFile(png, ReadFile(Suite("basn6a08.png")));
    Prepare(0);
    s.filenameMask = "%filename%-%width%x%height%-%bpp%.%ext%";
    TempDir plainDir;
    run.inputPath = png;
    run.outputFolder = plainDir.path();
    run.outputPath = "previous";
    const PlainConversion plain = ConvertPlainFile(s, run, reg);
    ASSERT_EQ(plain.result, PlainResult::Converted) << plain.reason;
    EXPECT_EQ(run.outputPath, plainDir / "alpha-32x32-32.bmp");
    TempDir wholeDir;
    RunState whole;
    const std::string wholeBytes = WholePicture(png, wholeDir.path(), &whole);
    EXPECT_EQ(whole.outputPath, wholeDir / "alpha-32x32-32.bmp");
    EXPECT_TRUE(ReadFile(run.outputPath) == wholeBytes);
    EXPECT_EQ(run.sourceBpp, whole.sourceBpp);
    EXPECT_EQ(run.outputBpp, whole.outputBpp);
    EXPECT_EQ(run.outputWidth, whole.outputWidth);
    EXPECT_EQ(run.outputHeight, whole.outputHeight);

    // A conversion that needs the whole picture leaves the run alone.
    Settings turned = s;
    turned.doImageRotation = 1;
    turned.imageRotation = 90;
    run.outputPath = "previous";
    run.sourceBpp = 5;
    EXPECT_EQ(ConvertPlainFile(turned, run, reg).result, PlainResult::NotPlain);
    EXPECT_EQ(run.outputPath, "previous");
    EXPECT_EQ(run.sourceBpp, 5);

    // A PNG that breaks in its pixels: no decoded depth, the old name kept.
    std::string bytes = ReadFile(png);
    const size_t idat = bytes.find("IDAT");
    ASSERT_NE(idat, std::string::npos);
    bytes[idat + 20] ^= 0x5A;
    WriteFile(png, bytes);
    const PlainConversion broken = ConvertPlainFile(s, run, reg);
    EXPECT_EQ(broken.result, PlainResult::DecodeFailed);
    EXPECT_NE(broken.reason.find(png), std::string::npos) << broken.reason;
    EXPECT_EQ(run.sourceBpp, 0);
    EXPECT_EQ(run.outputPath, "previous");

    // A folder that is gone: the save fails with its reason.
    WriteFile(png, ReadFile(Suite("basn6a08.png")));
    run.outputFolder = plainDir / "gone/";
    const PlainConversion unsaved = ConvertPlainFile(s, run, reg);
    EXPECT_EQ(unsaved.result, PlainResult::SaveFailed);
    EXPECT_NE(unsaved.reason.find("cannot write"), std::string::npos) << unsaved.reason;
}

// A picture of w x h pixels as an RGB PNG.
std::string MakeRgbPng(const TempDir& dir, unsigned w, unsigned h) {
    Bitmap image(FreeImage_Allocate(w, h, 24));
    for (unsigned y = 0; y < h; ++y) {
        BYTE* p = FreeImage_GetScanLine(image.get(), static_cast<int>(y));
        for (unsigned x = 0; x < 3 * w; ++x) p[x] = static_cast<BYTE>(x * 31 + y * 17);
    }
    const std::string png = dir / "picture.png";
    FreeImage_Save(FIF_PNG, image.get(), png.c_str(), PNG_Z_BEST_SPEED);
    return png;
}

// A save that fails half-way, on a full disk or on a PNG that breaks in the
// middle of its pixels, leaves the old output as it was and no file beside it.
TEST_F(StreamConvertTest, AFailureHalfWayLeavesTheOldOutputUntouched) {
    TempDir dir;
    const std::string png = MakeRgbPng(dir, 600, 400);  // a BMP of about 720 KB
    TempDir outDir;
    const std::string target = outDir / "picture.bmp";
    const std::string old = "the previous output";
    WriteFile(target, old);
    Prepare(24);
    const StreamPlan plan = PlanStreamConversion(png, s, run, reg);
    ASSERT_TRUE(plan.streamable) << plan.why;

    // Full disk: a child process may write 256 KiB per file at most.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {
            256 * 1024, 256 * 1024
        };
        setrlimit(RLIMIT_FSIZE, &limit);
        const StreamOutcome outcome = StreamPngToBmp(png, target, plan);
        _exit(outcome.ok ? 0 : outcome.decodeFailed ? 2 : outcome.saveNotStarted ? 3 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);  // a save that failed half-way, not a failed read
    EXPECT_EQ(ReadFile(target), old);
    EXPECT_EQ(FilesIn(outDir.path()), std::vector<std::string>{"picture.bmp"});

    // A PNG whose pixel data is damaged in its second half.
    std::string bytes = ReadFile(png);
    const size_t idat = bytes.find("IDAT");
    ASSERT_NE(idat, std::string::npos);
    for (size_t i = bytes.size() * 3 / 4; i < bytes.size() * 3 / 4 + 64; ++i) bytes[i] ^= 0x5A;
    const std::string broken = dir / "broken.png";
    WriteFile(broken, bytes);
    const StreamPlan brokenPlan = PlanStreamConversion(broken, s, run, reg);
    ASSERT_TRUE(brokenPlan.streamable) << brokenPlan.why;
    const StreamOutcome outcome = StreamPngToBmp(broken, target, brokenPlan);
    EXPECT_FALSE(outcome.ok);
    EXPECT_TRUE(outcome.decodeFailed);
    EXPECT_NE(outcome.error.find(broken), std::string::npos) << outcome.error;
    EXPECT_EQ(ReadFile(target), old);
    EXPECT_EQ(FilesIn(outDir.path()), std::vector<std::string>{"picture.bmp"});

    // A folder where no file can be made: the save fails before it starts.
    const StreamOutcome noFolder = StreamPngToBmp(png, outDir / "gone/picture.bmp", plan);
    EXPECT_FALSE(noFolder.ok);
    EXPECT_FALSE(noFolder.decodeFailed);
    EXPECT_TRUE(noFolder.saveNotStarted);
    EXPECT_FALSE(outcome.saveNotStarted);

    // The same conversion with room to write replaces the old file.
    const StreamOutcome ok = StreamPngToBmp(png, target, plan);
    EXPECT_TRUE(ok.ok) << ok.error;
    EXPECT_EQ(ReadFile(target).size(), plan.fileBytes);
}

}  // namespace
}  // namespace tarnwick
