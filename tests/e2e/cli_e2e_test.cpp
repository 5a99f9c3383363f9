// End-to-end tests: run the built program as a user would and look at what it
// prints, its exit code and the files it leaves.
#include <FreeImage.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace fs = std::filesystem;
using tarnwick::test::ReadFile;
using tarnwick::test::Suite;
using tarnwick::test::TempDir;
using tarnwick::test::WriteFile;

namespace {

using tarnwick::test::Quote;

struct RunResult {
    int code = -1;
    std::vector<std::string> lines;
    std::string text;
    std::vector<std::string> errorLines;  // standard error
};

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Runs the program with its own runtime folder (so runs never meet each
// other's single-instance lock) and no terminal on stdin.
RunResult Tarnwick(const std::vector<std::string>& args, const std::string& cwd = "") {
    static TempDir runtime;
    TempDir errors;
    std::string cmd =
        "env XDG_RUNTIME_DIR=" + Quote(runtime.path()) + " HOME=" + Quote(runtime.path()) + " ";
    if (!cwd.empty()) cmd = "cd " + Quote(cwd) + " && " + cmd;
    cmd += Quote(TARNWICK_EXE);
    for (const auto& a : args) cmd += " " + Quote(a);
    cmd += " </dev/null 2>" + Quote(errors / "stderr");
    RunResult r;
    r.code = tarnwick::test::RunCommand(cmd, &r.text);
    r.lines = SplitLines(r.text);
    r.errorLines = SplitLines(ReadFile(errors / "stderr"));
    return r;
}

const std::vector<std::string> kBanner = {"Pictavo PNG to BMP 2.9",
                                          "Copyright (c) 2026 Pictavo. All rights reserved.",
                                          "http://pictavo.example", " "};

std::vector<std::string> NormalRunLines() {
    return {"Preparing...",  "Importing...",        "Import complete, new files added: 1",
            "Converting...", "Conversion complete", "Files converted: 1 of 1"};
}

struct Pixels {
    unsigned w = 0, h = 0, bpp = 0;
    std::vector<RGBQUAD> px;  // top-down
};

// Reads any image and returns its pixels as 8-bit RGBA, top row first.
Pixels Load(const std::string& path, FREE_IMAGE_FORMAT fif) {
    Pixels p;
    FIBITMAP* dib = FreeImage_Load(fif, path.c_str(), 0);
    if (!dib) return p;
    p.bpp = FreeImage_GetBPP(dib);
    p.w = FreeImage_GetWidth(dib);
    p.h = FreeImage_GetHeight(dib);
    FIBITMAP* rgba = FreeImage_ConvertTo32Bits(dib);
    FreeImage_Unload(dib);
    if (!rgba) return p;  // sixteen-bit grey: size only
    for (unsigned y = 0; y < p.h; ++y) {
        const BYTE* row = FreeImage_GetScanLine(rgba, static_cast<int>(p.h - 1 - y));
        for (unsigned x = 0; x < p.w; ++x) {
            RGBQUAD q;
            q.rgbBlue = row[x * 4 + FI_RGBA_BLUE];
            q.rgbGreen = row[x * 4 + FI_RGBA_GREEN];
            q.rgbRed = row[x * 4 + FI_RGBA_RED];
            q.rgbReserved = row[x * 4 + FI_RGBA_ALPHA];
            p.px.push_back(q);
        }
    }
    FreeImage_Unload(rgba);
    return p;
}

// The largest difference of a channel after blending the source onto white
// the way the image library composites: clear pixels give the background,
// opaque ones the colour, the rest (a*c + (255-a)*255) / 256.
int MaxDifferenceOnWhite(const Pixels& src, const Pixels& out) {
    int worst = 0;
    for (size_t i = 0; i < src.px.size(); ++i) {
        const RGBQUAD& s = src.px[i];
        const RGBQUAD& o = out.px[i];
        const int a = s.rgbReserved;
        auto blend = [&](int c) {
            if (a == 0) return 255;
            if (a == 255) return c;
            return (a * c + (255 - a) * 255) / 256;
        };
        worst = std::max({worst, std::abs(blend(s.rgbRed) - o.rgbRed),
                          std::abs(blend(s.rgbGreen) - o.rgbGreen),
                          std::abs(blend(s.rgbBlue) - o.rgbBlue)});
    }
    return worst;
}

}  // namespace

TEST(CliInfo, HelpPrintsThirtySixLinesAndVersionPrintsTwoNine) {
    RunResult help = Tarnwick({"-h"});
    EXPECT_EQ(help.code, 0);
    ASSERT_EQ(help.lines.size(), 36u) << help.text;
    EXPECT_EQ(help.lines[0], " ");
    EXPECT_EQ(help.lines[1], "Usage: tarnwick -i <filename> [options]");
    EXPECT_EQ(help.lines[6], "  tarnwick -i /tmp/example.png -o ~/converted --jpg-quality=95");
    EXPECT_EQ(help.lines[35], "  -v, --version             Display version information and exit");
    EXPECT_EQ(Tarnwick({"--HELP"}).lines.size(), 36u);
    EXPECT_EQ(Tarnwick({"-?"}).lines.size(), 36u);

    RunResult version = Tarnwick({"-v"});
    EXPECT_EQ(version.code, 0);
    ASSERT_EQ(version.lines.size(), 1u);
    EXPECT_EQ(version.lines[0], "2.9");
    EXPECT_EQ(Tarnwick({"--version"}).lines, version.lines);
}

TEST(CliConversion, NormalRunPrintsBannerAndSixLinesAndWritesTheFlattenedPicture) {
    TempDir dir;
    const std::string input = Suite("basn6a08.png");  // 8-bit RGBA with varying alpha
    RunResult r = Tarnwick({"-i", input, "-o", dir.path()});
    EXPECT_EQ(r.code, 0) << r.text;
    std::vector<std::string> expected = kBanner;
    for (const auto& l : NormalRunLines()) expected.push_back(l);
    EXPECT_EQ(r.lines, expected);

    Pixels src = Load(input, FIF_PNG);
    Pixels out = Load(dir / "basn6a08.bmp", FIF_BMP);
    ASSERT_EQ(out.w, src.w);
    ASSERT_EQ(out.h, src.h);
    EXPECT_EQ(out.bpp, 32u);  // automatic depth keeps the decoded depth
    EXPECT_EQ(MaxDifferenceOnWhite(src, out), 0);
    // Nothing else is left in the folder (no temporary files).
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator{}), 1);
}

TEST(CliConversion, QuietRunPrintsNothingAndDebugRunReportsDefaults) {
    TempDir dir;
    RunResult quiet = Tarnwick({"-q", "-i", Suite("basn2c08.png"), "-o", dir.path()});
    EXPECT_EQ(quiet.code, 0);
    EXPECT_TRUE(quiet.text.empty()) << quiet.text;
    EXPECT_TRUE(fs::exists(dir / "basn2c08.bmp"));

    const std::string input = Suite("basn2c08.png");
    RunResult debug = Tarnwick({"-d", "-i", input, "-o", dir.path()});
    EXPECT_EQ(debug.code, 0);
    const std::vector<std::string> expected = {
        "Preparing...",
        "Input: " + input,
        "Output: " + dir.path(),
        "Conversion: bmp",
        "BMP BPP: 0",
        "BMP Compression: NONE",
        "BMP Color Table: AUTO",
        "Flip Horizontal: 0",
        "Flip Vertical: 0",
        "Greyscale: 0",
        "Frame: NONE",
        "Watermark: NONE",
        "Filename Mask: %filename%.%ext%",
        "File Timestamp: CURRENT",
        "Keep Subfolders: 1",
        "Importing...",
        "Import complete, new files added: 1",
        "Converting...",
        "Processing: " + input,
        "Saving As: " + dir.path() + "basn2c08.bmp",
        "OK",
        "Conversion complete",
        "Files converted: 1 of 1",
    };
    ASSERT_GE(debug.lines.size(), 4u);
    std::vector<std::string> body(debug.lines.begin() + 4, debug.lines.end());
    EXPECT_EQ(body, expected);
}

TEST(CliConversion, OptionScanErrors) {
    TempDir dir;
    const std::string png = Suite("basn2c08.png");
    struct Case {
        std::vector<std::string> args;
        std::string line;
    };
    const std::vector<Case> cases = {
        {{"-i"}, "Error: Incorrect number of parameters"},
        {{"--input", png}, "Error: Incorrect number of parameters"},
        {{"-i", "-q"}, "Error: Incorrect number of parameters"},
        {{"-i", png, "--brightness"}, "Error: Incorrect number of parameters"},
        {{"-i", png, "--profile=" + dir.path() + "missing.ini"}, "Error: Invalid profile file"},
    };
    for (const auto& c : cases) {
        RunResult r = Tarnwick(c.args);
        EXPECT_EQ(r.code, 1) << c.line;
        ASSERT_EQ(r.lines.size(), 1u) << r.text;
        EXPECT_EQ(r.lines[0], c.line);
        ASSERT_EQ(r.errorLines.size(), 1u) << c.line;
        EXPECT_EQ(r.errorLines[0].rfind("tarnwick: ", 0), 0u) << r.errorLines[0];
    }
    // The profile's line names the profile and the system's reason.
    RunResult profile = Tarnwick({"-i", png, "--profile=" + dir.path() + "missing.ini"});
    ASSERT_EQ(profile.errorLines.size(), 1u);
    EXPECT_EQ(profile.errorLines[0],
              "tarnwick: " + dir.path() + "missing.ini: profile: No such file or directory");
}

TEST(CliConversion, ChecksStopWithTheirErrorLine) {
    TempDir dir;
    const std::string png = Suite("basn2c08.png");
    WriteFile(dir / "empty.png", "");
    fs::create_directories(dir / "folder.png");
    struct Case {
        std::vector<std::string> args;
        std::string line;
    };
    const std::vector<Case> cases = {
        {{"-i", dir / "photo"}, "Error: Invalid input file"},
        {{"-i", dir / "missing.png"}, "Error: Invalid input file"},
        {{"-i", dir / "empty.png"}, "Error: Invalid input file"},
        {{"-i", dir / "folder.png"}, "Error: Invalid input file"},
        {{"-i", png, "-o", "../out"}, "Error: Incorrect output folder"},
        {{"-i", png, "-o", dir / "does-not-exist"}, "Error: Invalid output folder"},
        {{"-i", png, "-o", dir.path(), "-c", "BMP"}, "Error: Invalid conversion type"},
        {{"-i", png, "-o", dir.path(), "-c", "jpg"}, "Error: Invalid conversion type"},
        {{"-i", png, "-o", dir.path(), "--bmp-bpp=7"}, "Error: Invalid bmp-bpp value"},
        {{"-i", png, "-o", dir.path(), "--width=800"}, "Error: Invalid height value"},
        {{"-i", png, "-o", dir.path(), "--height=80", "--width=0"}, "Error: Invalid width value"},
        {{"-i", png, "-o", dir.path(), "--brightness=101"}, "Error: Invalid brightness value"},
        {{"-i", png, "-o", dir.path(), "--contrast=-101"}, "Error: Invalid contrast value"},
        {{"-i", png, "-o", dir.path(), "--gamma=10"}, "Error: Invalid gamma value"},
        {{"-i", png, "-o", dir.path(), "--gamma=abc"}, "Error: Invalid gamma value"},
        {{"-i", png, "-o", dir.path(), "--wm-image=" + dir.path() + "none.png"},
         "Error: Invalid watermark image"},
    };
    for (const auto& c : cases) {
        RunResult r = Tarnwick(c.args);
        EXPECT_EQ(r.code, 1) << c.line;
        ASSERT_FALSE(r.lines.empty()) << c.line;
        EXPECT_EQ(r.lines.back(), c.line) << r.text;
        // Standard error says which path and why, in one line.
        ASSERT_EQ(r.errorLines.size(), 1u) << c.line;
        EXPECT_EQ(r.errorLines[0].rfind("tarnwick: ", 0), 0u) << r.errorLines[0];
    }
    const auto reasonOf = [](const std::vector<std::string>& args) {
        const RunResult r = Tarnwick(args);
        return r.errorLines.empty() ? std::string() : r.errorLines[0];
    };
    EXPECT_EQ(reasonOf({"-i", dir / "missing.png"}),
              "tarnwick: " + dir / "missing.png" + ": No such file or directory");
    EXPECT_EQ(reasonOf({"-i", dir / "empty.png"}), "tarnwick: " + dir / "empty.png" + ": is empty");
    EXPECT_EQ(reasonOf({"-i", png, "-o", dir / "does-not-exist"}),
              "tarnwick: " + dir / "does-not-exist/" + ": No such file or directory");
    EXPECT_EQ(reasonOf({"-i", png, "-o", dir.path(), "--gamma=10"}),
              "tarnwick: " + png + ": invalid gamma value 10.00");
    // Gamma at both ends of its range passes.
    EXPECT_EQ(Tarnwick({"-q", "-i", png, "-o", dir.path(), "--gamma=0.01"}).code, 0);
    EXPECT_EQ(Tarnwick({"-q", "-i", png, "-o", dir.path(), "--gamma=9.99"}).code, 0);
}

TEST(CliConversion, RefusedInputsStopWithoutOutput) {
    TempDir dir;
    WriteFile(dir / "photo.jpg", ReadFile(Suite("basn2c08.png")));
    WriteFile(dir / "list.txt", "x.png\n");
    for (const char* name : {"photo.jpg", "list.txt"}) {
        RunResult r = Tarnwick({"-i", dir / name, "-o", dir.path()});
        EXPECT_EQ(r.code, 1);
        ASSERT_GE(r.lines.size(), 3u);
        std::vector<std::string> tail(r.lines.end() - 3, r.lines.end());
        EXPECT_EQ(tail, (std::vector<std::string>{
                            "Import complete, new files added: 0", "Conversion stopped",
                            "No input file(s) found. Please, add valid file(s) and try again!"}));
    }
    // A file that is not a PNG (or a truncated one) is not converted, and an
    // existing output of the same name is left untouched.
    const std::string old = "previous output";
    WriteFile(dir / "broken.bmp", old);
    WriteFile(dir / "broken.png", "this is not a picture at all");
    std::string truncated = ReadFile(Suite("basn2c08.png"));
    truncated.resize(truncated.size() / 2);
    WriteFile(dir / "half.png", truncated);
    for (const char* name : {"broken.png", "half.png"}) {
        RunResult r = Tarnwick({"-q", "-i", dir / name, "-o", dir.path()});
        EXPECT_EQ(r.code, 1) << name;
        EXPECT_EQ(r.lines, std::vector<std::string>{"Conversion stopped"});
        ASSERT_EQ(r.errorLines.size(), 1u) << name;
        EXPECT_EQ(r.errorLines[0].rfind("tarnwick: " + dir / name + ": ", 0), 0u);
    }
    EXPECT_EQ(ReadFile(dir / "broken.bmp"), old);
    EXPECT_FALSE(fs::exists(dir / "half.bmp"));
}

TEST(CliConversion, OutputFolderDefaultsAndRelativeFolders) {
    TempDir dir;
    WriteFile(dir / "in.png", ReadFile(Suite("basn2c08.png")));
    // No output option: next to the input.
    EXPECT_EQ(Tarnwick({"-q", "-i", dir / "in.png"}).code, 0);
    EXPECT_TRUE(fs::exists(dir / "in.bmp"));
    fs::remove(dir / "in.bmp");

    // Relative names are taken from the working folder, never the program's.
    const std::string progFolder = fs::path(TARNWICK_EXE).parent_path().string();
    std::vector<std::string> programFiles;
    for (const auto& e : fs::directory_iterator(progFolder))
        programFiles.push_back(e.path().filename().string());
    std::sort(programFiles.begin(), programFiles.end());

    EXPECT_EQ(Tarnwick({"-q", "-i", "in.png"}, dir.path()).code, 0);
    EXPECT_TRUE(fs::exists(dir / "in.bmp"));
    fs::create_directories(dir / "out");
    for (const char* out : {"out", "./out", "out/"}) {
        fs::remove(dir / "out/in.bmp");
        RunResult r = Tarnwick({"-q", "-i", "in.png", "-o", out}, dir.path());
        EXPECT_EQ(r.code, 0) << out << ": " << r.text;
        EXPECT_TRUE(fs::exists(dir / "out/in.bmp")) << out;
    }
    RunResult missing = Tarnwick({"-q", "-i", "in.png", "-o", "nowhere"}, dir.path());
    EXPECT_EQ(missing.lines, std::vector<std::string>{"Error: Invalid output folder"});
    ASSERT_EQ(missing.errorLines.size(), 1u);
    EXPECT_EQ(missing.errorLines[0],
              "tarnwick: " + dir / "nowhere/" + ": No such file or directory");

    std::vector<std::string> after;
    for (const auto& e : fs::directory_iterator(progFolder))
        after.push_back(e.path().filename().string());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(after, programFiles);
}

TEST(CliConversion, LaterOptionsAndProfilesOverrideEarlierOnes) {
    TempDir dir;
    // Mark the top-left pixel so a flip can be seen.
    const std::string png = Suite("basn2c08.png");
    WriteFile(dir / "profile.ini",
              "[CLI]\r\n--flip-horizontal = 0\r\n--FILENAME-MASK = \"p_%filename%.%ext%\"\r\n");
    RunResult r = Tarnwick({"-q", "-i", dir / "nope.png", "-i", png, "-o", dir.path(),
                            "--filename-mask=x.%ext%", "--profile=" + (dir / "profile.ini")});
    EXPECT_EQ(r.code, 0) << r.text;
    ASSERT_TRUE(fs::exists(dir / "p_basn2c08.bmp"));
    Pixels src = Load(png, FIF_PNG);
    Pixels out = Load(dir / "p_basn2c08.bmp", FIF_BMP);
    ASSERT_EQ(out.w, src.w);
    for (unsigned x = 0; x < src.w; ++x) {
        const RGBQUAD& a = src.px[x];
        const RGBQUAD& b = out.px[src.w - 1 - x];
        EXPECT_EQ(a.rgbRed, b.rgbRed);
        EXPECT_EQ(a.rgbGreen, b.rgbGreen);
        EXPECT_EQ(a.rgbBlue, b.rgbBlue);
    }
    // An option after the profile wins over it.
    r = Tarnwick({"-q", "-i", png, "-o", dir.path(), "--profile=" + (dir / "profile.ini"),
                  "--filename-mask=after.%ext%"});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(fs::exists(dir / "after.bmp"));
}

TEST(CliConversion, SixteenBitBmpIsFiveSixFive) {
    TempDir dir;
    RunResult r = Tarnwick({"-q", "-i", Suite("basn2c08.png"), "-o", dir.path(), "--bmp-bpp=16"});
    EXPECT_EQ(r.code, 0) << r.text;
    const std::string bmp = ReadFile(dir / "basn2c08.bmp");
    ASSERT_GT(bmp.size(), 66u);
    auto u32 = [&](size_t at) {
        return static_cast<uint32_t>(static_cast<uint8_t>(bmp[at])) |
               static_cast<uint32_t>(static_cast<uint8_t>(bmp[at + 1])) << 8 |
               static_cast<uint32_t>(static_cast<uint8_t>(bmp[at + 2])) << 16 |
               static_cast<uint32_t>(static_cast<uint8_t>(bmp[at + 3])) << 24;
    };
    EXPECT_EQ(bmp[28], 16);       // bits per pixel
    EXPECT_EQ(u32(30), 3u);       // BI_BITFIELDS
    EXPECT_EQ(u32(54), 0xF800u);  // red mask
    EXPECT_EQ(u32(58), 0x07E0u);  // green mask
    EXPECT_EQ(u32(62), 0x001Fu);  // blue mask
}

TEST(CliConversion, EveryValidSuitePictureConverts) {
    TempDir dir;
    int checked = 0;
    for (const auto& entry : fs::directory_iterator(std::string(TARNWICK_TESTDATA) + "/pngsuite")) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".png") continue;
        const bool corrupt = name[0] == 'x';  // the suite's deliberately broken files
        RunResult r = Tarnwick({"-q", "-i", entry.path().string(), "-o", dir.path()});
        const std::string out = dir / (entry.path().stem().string() + ".bmp");
        if (corrupt) {
            EXPECT_EQ(r.code, 1) << name;
            EXPECT_FALSE(fs::exists(out)) << name;
            continue;
        }
        EXPECT_EQ(r.code, 0) << name << ": " << r.text;
        ASSERT_TRUE(fs::exists(out)) << name;
        Pixels src = Load(entry.path().string(), FIF_PNG);
        Pixels got = Load(out, FIF_BMP);
        ASSERT_EQ(got.w, src.w) << name;
        ASSERT_EQ(got.h, src.h) << name;
        // Every picture must match, sixteen-bit ones by the high byte of each
        // sample (the oracle cannot read sixteen-bit grey; those are left out).
        if (!src.px.empty()) {
            // A transparent palette picture is flattened to true colour and then
            // quantised back to its 8 bits, which may move a colour slightly.
            const int allowed = (got.bpp == 24 || got.bpp == 32) ? 0 : 8;
            EXPECT_LE(MaxDifferenceOnWhite(src, got), allowed) << name << " at " << got.bpp;
        }
        ++checked;
    }
    EXPECT_GT(checked, 40);
}

TEST(CliInstance, VersionAlwaysAnswersAndConversionsOnlyShareTheLock) {
    TempDir runtime, dir;
    const std::string lock = runtime.path() + "Pictavo_PNG_to_BMP_2.9.lock";
    const auto run = [&](const std::string& flockOption, const std::string& args) {
        std::string out;
        const std::string cmd = "env XDG_RUNTIME_DIR=" + Quote(runtime.path()) + " flock " +
                                flockOption + " " + Quote(lock) + " " + Quote(TARNWICK_EXE) + " " +
                                args + " </dev/null 2>&1; echo rc=$?";
        tarnwick::test::RunCommand(cmd, &out);
        return out;
    };
    const std::string convert =
        "-q -i " + Quote(Suite("basn2c08.png")) + " -o " + Quote(dir.path());
    // Held exclusively, as a window holds it: the version answers, a
    // conversion is refused with its reason.
    EXPECT_EQ(run("-x", "-v"), "2.9\nrc=0\n");
    EXPECT_EQ(run("-x", convert), "tarnwick: " + Suite("basn2c08.png") +
                                      ": not converted: the program's window is open (close it "
                                      "first)\nrc=1\n");
    EXPECT_FALSE(fs::exists(dir / "basn2c08.bmp"));
    // Held shared, as another conversion holds it: this one runs beside it.
    EXPECT_EQ(run("-s", convert), "rc=0\n");
    EXPECT_TRUE(fs::exists(dir / "basn2c08.bmp"));
}

// What a run loads: the version, a plain conversion and a flipped one (its
// rows are mirrored and written in the other order) neither Qt nor the image
// library; a resize, which needs the whole picture, loads the image library
// (so the trace is seen to work) and still no Qt.
TEST(CliFootprint, OnlyWhatTheRunNeedsIsLoaded) {
    TempDir dir;
    static TempDir runtime;
    const auto loaded = [&](const std::string& args) {
        std::string out;
        const std::string cmd = "env LD_DEBUG=files XDG_RUNTIME_DIR=" + Quote(runtime.path()) +
                                " " + Quote(TARNWICK_EXE) + " " + args + " </dev/null 2>&1";
        EXPECT_EQ(tarnwick::test::RunCommand(cmd, &out), 0) << args;
        EXPECT_NE(out.find("libpng16"), std::string::npos) << "no trace: " << out;
        return out;
    };
    const std::string convert =
        "-q -i " + Quote(Suite("basn2c08.png")) + " -o " + Quote(dir.path());
    for (const std::string& args :
         {std::string("-v"), convert, convert + " --flip-vertical --flip-horizontal"}) {
        const std::string out = loaded(args);
        EXPECT_EQ(out.find("libQt6"), std::string::npos) << args;
        EXPECT_EQ(out.find("libfreeimage"), std::string::npos) << args;
    }
    const std::string resized = loaded(convert + " --width=16 --height=16");
    EXPECT_EQ(resized.find("libQt6"), std::string::npos);
    EXPECT_NE(resized.find("libfreeimage"), std::string::npos);
}

TEST(CliDrawing, FrameAndTextWatermarkReachTheOutputFile) {
    TempDir dir;
    const std::string png = Suite("basn2c08.png");  // 32 x 32, opaque
    RunResult r = Tarnwick({"-q", "-i", png, "-o", dir.path(), "--fr-solid-left=4",
                            "--fr-solid-left-color=FF0000", "--fr-solid-top=0", "--bmp-bpp=24"});
    EXPECT_EQ(r.code, 0) << r.text;
    Pixels framed = Load(dir / "basn2c08.bmp", FIF_BMP);
    ASSERT_EQ(framed.w, 32u);
    for (unsigned y = 0; y < 32; ++y) {
        const RGBQUAD& p = framed.px[y * 32 + 1];
        EXPECT_EQ(p.rgbRed, 255);
        EXPECT_EQ(p.rgbGreen, 0);
        EXPECT_EQ(p.rgbBlue, 0);
    }

    // A text watermark in a stand-in face changes the bottom-right corner only.
    fs::create_directories(dir / "wm");
    r = Tarnwick({"-q", "-i", png, "-o", dir / "wm", "--wm-text=Hi", "--wm-font=Arial",
                  "--wm-font-color=FF00FF", "--wm-back-opacity=0", "--wm-text-x-offset=0",
                  "--wm-text-y-offset=0"});
    EXPECT_EQ(r.code, 0) << r.text;
    Pixels src = Load(png, FIF_PNG);
    Pixels marked = Load(dir / "wm/basn2c08.bmp", FIF_BMP);
    ASSERT_EQ(marked.w, src.w);
    int changedTopLeft = 0, changedBottomRight = 0;
    for (unsigned y = 0; y < 32; ++y)
        for (unsigned x = 0; x < 32; ++x) {
            const RGBQUAD& a = src.px[y * 32 + x];
            const RGBQUAD& b = marked.px[y * 32 + x];
            const bool changed =
                a.rgbRed != b.rgbRed || a.rgbGreen != b.rgbGreen || a.rgbBlue != b.rgbBlue;
            if (changed && x < 8 && y < 8) ++changedTopLeft;
            if (changed && x >= 16 && y >= 16) ++changedBottomRight;
        }
    EXPECT_EQ(changedTopLeft, 0);
    EXPECT_GT(changedBottomRight, 5);
}

TEST(CliDrawing, WatermarkChecksAndTheirReport) {
    TempDir dir;
    const std::string png = Suite("basn2c08.png");
    RunResult bad = Tarnwick({"-d", "-i", png, "-o", dir.path(), "--wm-text=x",
                              "--wm-font=No Such Face Qwx", "--wm-font-effect=strikethrought"});
    EXPECT_EQ(bad.code, 1);
    ASSERT_GE(bad.lines.size(), 2u);
    EXPECT_EQ(bad.lines.back(), "Error: Invalid watermark font");
    const std::vector<std::string> tail(bad.lines.end() - 20, bad.lines.end() - 1);
    EXPECT_EQ(tail.front(), "Watermark: TEXT");
    EXPECT_EQ(tail[2], "Watermark font: No Such Face Qwx");
    EXPECT_EQ(tail[7], "Watermark font effect: STRIKETHROUGHT");
    EXPECT_EQ(tail.back(), "Watermark size/mode: FIXED");
    EXPECT_FALSE(fs::exists(dir / "basn2c08.bmp"));

    WriteFile(dir / "empty.png", "");
    RunResult empty = Tarnwick({"-i", png, "-o", dir.path(), "--wm-image=" + (dir / "empty.png")});
    EXPECT_EQ(empty.code, 1);
    EXPECT_EQ(empty.lines.back(), "Error: Invalid watermark image");

    // An image watermark named after a text one wins, and its report follows.
    RunResult image = Tarnwick({"-d", "-i", png, "-o", dir.path(), "--wm-text=x",
                                "--wm-image=" + Suite("basn6a08.png"), "--fr-solid-right=2"});
    EXPECT_EQ(image.code, 0) << image.text;
    auto has = [&](const std::string& line) {
        return std::find(image.lines.begin(), image.lines.end(), line) != image.lines.end();
    };
    EXPECT_TRUE(has("Frame: SOLID"));
    EXPECT_TRUE(has("Frame right: 2"));
    EXPECT_TRUE(has("Frame opacity: 255"));
    EXPECT_TRUE(has("Watermark: IMAGE"));
    EXPECT_TRUE(has("Watermark image: " + Suite("basn6a08.png")));
    EXPECT_TRUE(has("Watermark offset (x/y): 10/10"));
    EXPECT_TRUE(has("OK"));
}
