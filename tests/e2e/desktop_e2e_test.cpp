// End-to-end on a Linux desktop: conversions side by side, the program beside
// its open window, names that would upset a terminal, and the manual page's
// examples run as a user would type them.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace fs = std::filesystem;
using tarnwick::test::Quote;
using tarnwick::test::ReadFile;
using tarnwick::test::Suite;
using tarnwick::test::TempDir;
using tarnwick::test::TerminalProcess;
using tarnwick::test::WriteFile;

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool HasControlByte(const std::string& line) {
    for (unsigned char c : line)
        if (c < 0x20 || c == 0x7f) return true;
    return false;
}

// A user's environment of its own: home, settings and runtime folder.
struct UserEnvironment {
    TempDir home;
    std::string Prefix() const {
        return "env HOME=" + Quote(home.path()) + " XDG_CONFIG_HOME=" + Quote(home / "config") +
               " XDG_RUNTIME_DIR=" + Quote(home / "run") + " ";
    }
    UserEnvironment() {
        fs::create_directories(home / "config");
        fs::create_directories(home / "run");
        fs::permissions(home / "run", fs::perms::owner_all, fs::perm_options::replace);
    }
};

struct Outcome {
    int code = -1;
    std::string out, err;
    double seconds = 0;
};

Outcome RunTarnwick(const UserEnvironment& user, const std::string& args,
                    const std::string& cwd = "") {
    TempDir errors;
    std::string cmd =
        user.Prefix() + Quote(TARNWICK_EXE) + " " + args + " </dev/null 2>" + Quote(errors / "err");
    if (!cwd.empty()) cmd = "cd " + Quote(cwd) + " && " + cmd;
    Outcome o;
    const auto start = std::chrono::steady_clock::now();
    o.code = tarnwick::test::RunCommand(cmd, &o.out);
    o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    o.err = ReadFile(errors / "err");
    return o;
}

TEST(SideBySide, FourConversionsAtOnceAndOneBesideALongRun) {
    UserEnvironment user;
    TempDir dir;
    const char* names[] = {"basn0g08", "basn2c08", "basn3p08", "basn6a08", "basn4a08"};
    for (const char* n : names)
        WriteFile(dir / (std::string(n) + ".png"), ReadFile(Suite(std::string(n) + ".png")));
    fs::create_directories(dir / "out");

    // A conversion that has not ended: it waits for a key at the end, still
    // holding its share of the lock.
    TerminalProcess longRun({TARNWICK_EXE, "-p", "-i", "basn4a08.png", "-o", "out"},
                            {"HOME=" + user.home.path(), "XDG_RUNTIME_DIR=" + (user.home / "run")},
                            dir.path());
    ASSERT_TRUE(longRun.WaitFor("Press any key to exit.", 20000)) << longRun.Output();

    // Four more started at once, as xargs -P4 starts them.
    std::string out;
    const std::string cmd = "cd " + Quote(dir.path()) +
                            " && printf '%s\\n' basn0g08.png basn2c08.png " +
                            "basn3p08.png basn6a08.png | " + user.Prefix() + "xargs -P4 -I{} " +
                            Quote(TARNWICK_EXE) + " -q -i {} -o out 2>&1; echo rc=$?";
    tarnwick::test::RunCommand(cmd, &out);
    EXPECT_EQ(out, "rc=0\n");
    for (const char* n : {"basn0g08", "basn2c08", "basn3p08", "basn6a08"})
        EXPECT_GT(fs::file_size(dir / ("out/" + std::string(n) + ".bmp")), 54u) << n;

    longRun.Type("x");
    EXPECT_EQ(longRun.Wait(10000), 0) << longRun.Output();
    EXPECT_GT(fs::file_size(dir / "out/basn4a08.bmp"), 54u);
}

TEST(UnsafeNames, ANewlineAndAnEscapeGiveOneCleanLine) {
    UserEnvironment user;
    TempDir dir;
    const std::string name = "bad\nname\x1b]0;owned\x07\x1b[2J.png";
    WriteFile(dir / name, "not a picture");
    const std::string missing = "gone\ntarnwick: other.png: forged.png";

    for (const std::string& input : {dir / name, dir / missing}) {
        const Outcome o = RunTarnwick(user, "-d -i " + Quote(input) + " -o " + Quote(dir.path()));
        EXPECT_EQ(o.code, 1);
        const std::vector<std::string> errors = Lines(o.err);
        ASSERT_EQ(errors.size(), 1u) << o.err;
        EXPECT_FALSE(HasControlByte(errors[0])) << errors[0];
        EXPECT_EQ(errors[0].rfind("tarnwick: " + dir.path(), 0), 0u) << errors[0];
        // The debug report shows the names escaped as well.
        for (const std::string& line : Lines(o.out)) EXPECT_FALSE(HasControlByte(line)) << line;
    }
    const Outcome broken =
        RunTarnwick(user, "-q -i " + Quote(dir / name) + " -o " + Quote(dir.path()));
    EXPECT_EQ(broken.err.substr(0, broken.err.find(": not")),
              "tarnwick: " + dir.path() + "bad\\nname\\x1b]0;owned\\x07\\x1b[2J.png");
    // Blanks and letters of other scripts are shown as they are.
    const Outcome plain = RunTarnwick(user, "-q -i " + Quote(dir / "Ärger über.png"));
    EXPECT_EQ(plain.err, "tarnwick: " + dir / "Ärger über.png" + ": No such file or directory\n");
}

// The window, started as the desktop starts it, with a conversion, help,
// version and a second "Open With" beside it.
TEST(BesideTheWindow, HelpAnswersConversionsAreRefusedAndFilesAreHandedOver) {
    UserEnvironment user;
    TempDir dir;
    WriteFile(dir / "x.png", ReadFile(Suite("basn2c08.png")));
    const std::string socket = user.home / "run/Pictavo_PNG_to_BMP_2.9.sock";

    const pid_t window = fork();
    if (window == 0) {
        setenv("HOME", user.home.path().c_str(), 1);
        setenv("XDG_CONFIG_HOME", (user.home / "config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (user.home / "run").c_str(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("TARNWICK_SITE", "http://127.0.0.1:9", 1);  // no update check reaches anyone
        execl(TARNWICK_EXE, TARNWICK_EXE, static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(window, 0);
    for (int i = 0; i < 300 && !fs::exists(socket); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(fs::exists(socket)) << "the window never listened";
    EXPECT_EQ(fs::status(socket).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);

    const Outcome help = RunTarnwick(user, "-h");
    EXPECT_EQ(help.code, 0);
    EXPECT_EQ(Lines(help.out).size(), 36u);
    const Outcome version = RunTarnwick(user, "--version");
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out, "2.9\n");

    const Outcome refused =
        RunTarnwick(user, "-i " + Quote(dir / "x.png") + " -o " + Quote(dir.path()));
    EXPECT_EQ(refused.code, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(Lines(refused.err).size(), 1u) << refused.err;
    EXPECT_NE(refused.err.find("window is open"), std::string::npos) << refused.err;
    EXPECT_FALSE(fs::exists(dir / "x.bmp"));

    const Outcome secondWindow = RunTarnwick(user, "");
    EXPECT_EQ(secondWindow.code, 1);
    EXPECT_EQ(Lines(secondWindow.err).size(), 1u) << secondWindow.err;

    // "Open With": a relative name from the second start's own folder.
    const Outcome handedOver = RunTarnwick(user, "x.png", dir.path());
    EXPECT_EQ(handedOver.code, 0) << handedOver.err;
    EXPECT_EQ(handedOver.err, "");
    EXPECT_LT(handedOver.seconds, 1.0);

    // The window took the file: its folder became the output folder, which
    // the configuration written at the end lists first.
    kill(window, SIGTERM);
    int status = 0;
    waitpid(window, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const std::string config = ReadFile(user.home / "config/Pictavo/tarnwick/config.ini");
    EXPECT_NE(config.find(dir.path()), std::string::npos) << config;
    EXPECT_FALSE(fs::exists(socket));
    // The settings folder and its parent are the user's alone.
    EXPECT_EQ(fs::status(user.home / "config/Pictavo").permissions() & fs::perms::all,
              fs::perms::owner_all);
    EXPECT_EQ(fs::status(user.home / "config/Pictavo/tarnwick").permissions() & fs::perms::all,
              fs::perms::owner_all);

    // With the window gone, the same conversion runs.
    EXPECT_EQ(RunTarnwick(user, "-q -i " + Quote(dir / "x.png")).code, 0);
    EXPECT_TRUE(fs::exists(dir / "x.bmp"));
}

// The examples of the manual page, copied as a user copies them, work from a
// folder of the user's.
TEST(ManualPage, ExamplesRunFromAnyFolder) {
    const std::string page = ReadFile(TARNWICK_MANPAGE);
    std::vector<std::string> examples;
    for (size_t at = page.find("\n.EX\n"); at != std::string::npos; at = page.find("\n.EX\n", at)) {
        const size_t end = page.find("\n.EE\n", at);
        ASSERT_NE(end, std::string::npos);
        std::string text = page.substr(at + 5, end - at - 5);
        // The roff escapes the examples use.
        const std::pair<std::string, std::string> escapes[] = {
            {"\\-", "-"}, {"\\(dq", "\""}, {"\\(aq", "'"}, {"\\e", "\\"}};
        for (const auto& [from, to] : escapes)
            for (size_t p = text.find(from); p != std::string::npos;
                 p = text.find(from, p + to.size()))
                text.replace(p, from.size(), to);
        examples.push_back(text);
        at = end;
    }
    ASSERT_GE(examples.size(), 5u);

    UserEnvironment user;
    TempDir dir;
    WriteFile(dir / "photo.png", ReadFile(Suite("basn2c08.png")));
    WriteFile(dir / "my holiday.png", ReadFile(Suite("basn6a08.png")));
    const std::string bin = fs::path(TARNWICK_EXE).parent_path().string();
    for (const std::string& example : examples) {
        WriteFile(dir / "example.sh", example + "\n");
        std::string out;
        const int code = tarnwick::test::RunCommand(
            "cd " + Quote(dir.path()) + " && " + user.Prefix() + "PATH=" + Quote(bin) +
                ":\"$PATH\" bash -e example.sh </dev/null 2>&1",
            &out);
        EXPECT_EQ(code, 0) << example << "\n" << out;
    }
    EXPECT_TRUE(fs::exists(dir / "photo.bmp"));
    EXPECT_TRUE(fs::exists(user.home / "converted/photo.bmp"));
    EXPECT_TRUE(fs::exists(dir / "holiday.bmp"));
    EXPECT_TRUE(fs::exists(dir / "out/photo.bmp"));
    EXPECT_TRUE(fs::exists(dir / "out/my holiday.bmp"));
}

}  // namespace
