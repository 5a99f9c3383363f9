// The progress line of a long conversion: on a terminal's standard error
// only, moving, gone before the next line, and never touching standard output.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "support/test_support.h"

using tarnwick::test::Quote;
using tarnwick::test::ReadFile;
using tarnwick::test::TempDir;
using tarnwick::test::TerminalProcess;

namespace {

const std::string kErase = "\r\x1b[K";

// A 6000 x 6000 picture that takes over a second to convert, in its own
// folder with an output folder beside it.
class ProgressLine : public ::testing::Test {
protected:
    void SetUp() override {
        tarnwick::test::WriteSlowPng(png, 6000, 6000);
        std::filesystem::create_directories(out);
    }

    std::vector<std::string> Args(const std::vector<std::string>& options) const {
        std::vector<std::string> args = {TARNWICK_EXE};
        args.insert(args.end(), options.begin(), options.end());
        args.insert(args.end(), {"-i", png, "-o", out});
        return args;
    }

    // Runs the program with standard error (and stdin) on a terminal; standard
    // output goes to `stdoutFile`, or to the terminal too when it is empty.
    // What the terminal received.
    std::string OnTerminal(const std::vector<std::string>& options,
                           const std::string& stdoutFile = "") const {
        std::vector<std::string> argv = Args(options);
        if (!stdoutFile.empty()) {
            argv.insert(argv.begin(),
                        {"/bin/sh", "-c", "exec \"$0\" \"$@\" >" + Quote(stdoutFile)});
        }
        TerminalProcess run(argv, {"XDG_RUNTIME_DIR=" + runtime.path(), "HOME=" + runtime.path()});
        EXPECT_EQ(run.Wait(120000), 0);
        return run.Output();
    }

    // Runs the program without a terminal: standard output and error to files.
    std::string WithoutTerminal(const std::vector<std::string>& options,
                                std::string* errors) const {
        std::string cmd =
            "env XDG_RUNTIME_DIR=" + Quote(runtime.path()) + " HOME=" + Quote(runtime.path());
        for (const std::string& a : Args(options)) cmd += " " + Quote(a);
        cmd += " </dev/null >" + Quote(dir / "stdout") + " 2>" + Quote(dir / "stderr");
        EXPECT_EQ(tarnwick::test::RunCommand(cmd), 0);
        *errors = ReadFile(dir / "stderr");
        return ReadFile(dir / "stdout");
    }

    TempDir dir;
    TempDir runtime;
    const std::string png = dir / "large.png";
    const std::string out = dir / "out";
};

// The percentages drawn, in order.
std::vector<int> Percentages(const std::string& terminal) {
    std::vector<int> seen;
    const std::regex drawing("\r[^\r\n]*large\\.png +([0-9]+)% +[0-9]+:[0-9]{2}\x1b\\[K");
    for (auto it = std::sregex_iterator(terminal.begin(), terminal.end(), drawing);
         it != std::sregex_iterator(); ++it)
        seen.push_back(std::stoi((*it)[1].str()));
    return seen;
}

TEST_F(ProgressLine, MovesOnATerminalAndIsGoneBeforeTheNextLine) {
    // Standard error on a terminal, standard output in a file.
    const std::string terminal = OnTerminal({}, dir / "stdout-terminal");
    const std::vector<int> shown = Percentages(terminal);
    ASSERT_FALSE(shown.empty()) << terminal;
    EXPECT_GE(std::set<int>(shown.begin(), shown.end()).size(), 3u) << terminal;
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end())) << terminal;
    EXPECT_GE(shown.back(), 90) << terminal;
    // Nothing but drawings of the line, and the line erased at the end.
    ASSERT_GE(terminal.size(), kErase.size());
    EXPECT_EQ(terminal.substr(terminal.size() - kErase.size()), kErase);
    EXPECT_EQ(terminal.find('\n'), std::string::npos) << terminal;

    // Standard output is the same bytes as without a terminal, where
    // standard error stays empty.
    std::string errors;
    const std::string plain = WithoutTerminal({}, &errors);
    EXPECT_EQ(ReadFile(dir / "stdout-terminal"), plain);
    EXPECT_NE(plain.find("Files converted: 1 of 1\n"), std::string::npos) << plain;
    EXPECT_EQ(errors, "");

    // Both on one terminal: the line is gone before the result lines.
    const std::string both = OnTerminal({});
    const size_t complete = both.find("Conversion complete\r\n");
    ASSERT_NE(complete, std::string::npos) << both;
    ASSERT_GE(complete, kErase.size());
    EXPECT_EQ(both.substr(complete - kErase.size(), kErase.size()), kErase) << both;
    EXPECT_GE(Percentages(both).size(), 3u) << both;
    EXPECT_EQ(both.find("\x1b[K", complete), std::string::npos) << both;
}

TEST_F(ProgressLine, NeverWithQuietOrBesideTheDebugReport) {
    // Quiet: the terminal gets nothing at all from standard error.
    EXPECT_EQ(OnTerminal({"-q"}, dir / "stdout-quiet"), "");
    EXPECT_EQ(ReadFile(dir / "stdout-quiet"), "");
    // Debug: the report's lines on standard output, no progress anywhere.
    const std::string debug = OnTerminal({"-d"});
    EXPECT_NE(debug.find("Saving As: "), std::string::npos) << debug;
    EXPECT_TRUE(Percentages(debug).empty()) << debug;
    EXPECT_EQ(debug.find("\x1b[K"), std::string::npos) << debug;
}

}  // namespace
