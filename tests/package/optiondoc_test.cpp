// The manual page and the bash completion written at build time: every option
// of the table is in both, as the command line reads it.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "settings/options.h"
#include "support/test_support.h"

using namespace tarnwick;
using tarnwick::test::RunCommand;
using tarnwick::test::TempDir;
using tarnwick::test::TerminalProcess;
using tarnwick::test::WriteFile;

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The page as text, on lines long enough that no option name is broken.
std::string RenderedPage(std::string* warnings) {
    const std::string groff = "groff -man -ww -Tascii -rLL=250n -rHY=0 -P-c -P-b -P-u ";
    std::string text;
    RunCommand(groff + "'" TARNWICK_MANPAGE "' 2>/dev/null", &text);
    RunCommand(groff + "-z '" TARNWICK_MANPAGE "' 2>&1", warnings);
    return text;
}

// What the completion offers for the line typed so far (the cursor at its end).
std::vector<std::string> Complete(const std::string& line, bool equalsBreaksWords = true) {
    TempDir dir;
    WriteFile(dir / "line", line);
    const std::string script =
        "source '" TARNWICK_COMPLETION
        "'\n"
        "COMP_WORDBREAKS=" +
        std::string(equalsBreaksWords ? "$'\"\\'><=;|&(: \\t\\n'" : "$'\"\\'><;|&(: \\t\\n'") +
        "\n"
        "COMP_LINE=$(cat '" +
        dir / "line" +
        "'); COMP_POINT=${#COMP_LINE}\n"
        "read -ra COMP_WORDS <<<\"$COMP_LINE\"\n"
        "[[ $COMP_LINE == *' ' ]] && COMP_WORDS+=('')\n"
        "COMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n"
        "_tarnwick 2>/dev/null\n"
        "printf '%s\\n' \"${COMPREPLY[@]}\"\n";
    WriteFile(dir / "run.sh", script);
    std::string out;
    RunCommand("bash '" + dir / "run.sh" + "'", &out);
    std::vector<std::string> words = Lines(out);
    words.erase(std::remove(words.begin(), words.end(), std::string()), words.end());
    std::sort(words.begin(), words.end());
    return words;
}

bool Has(const std::vector<std::string>& words, const std::string& w) {
    return std::find(words.begin(), words.end(), w) != words.end();
}

TEST(ManualPage, ListsEveryOptionOfTheTableAndRendersWithoutWarnings) {
    std::string warnings;
    const std::string page = RenderedPage(&warnings);
    EXPECT_EQ(warnings, "");
    ASSERT_NE(page.find("SYNOPSIS"), std::string::npos);
    for (const std::string& name : OptionNames()) {
        OptionKind kind;
        ASSERT_TRUE(FindOption(name, &kind));
        const std::string shown = Lower(name) + (kind == OptionKind::Flag ? "" : "=");
        EXPECT_NE(page.find("       " + shown), std::string::npos) << shown;
    }
    for (const char* other : {"--profile=FILE", "--quiet", "--debug", "--pause", "--version",
                              "--input=FILE", "--output=PATH", "--conversion=STR", "--help"})
        EXPECT_NE(page.find(other), std::string::npos) << other;
    EXPECT_NE(page.find("One of: box, bilinear, bspline, bicubic, catmullrom, lanczos."),
              std::string::npos);
    EXPECT_NE(page.find("--wm-font-effect"), std::string::npos);
    EXPECT_NE(page.find("none, underline, strikethrought"), std::string::npos);
    for (const char* section : {"FILES", "ENVIRONMENT", "EXIT STATUS", "EXAMPLES",
                                "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR", "TARNWICK_SITE"})
        EXPECT_NE(page.find(section), std::string::npos) << section;
}

TEST(BashCompletion, OffersEveryOptionWithItsEqualsSign) {
    const std::vector<std::string> offered = Complete("tarnwick --");
    for (const std::string& name : OptionNames()) {
        OptionKind kind;
        ASSERT_TRUE(FindOption(name, &kind));
        const std::string word = Lower(name) + (kind == OptionKind::Flag ? "" : "=");
        EXPECT_TRUE(Has(offered, word)) << word;
    }
    EXPECT_TRUE(Has(offered, "--profile="));
    EXPECT_TRUE(Has(offered, "--quiet"));
    EXPECT_EQ(Complete("tarnwick --flip-h"), std::vector<std::string>{"--flip-horizontal"});
}

TEST(BashCompletion, OffersKeywordsAfterTheEqualsSign) {
    const std::vector<std::string> algorithms{"bicubic", "bilinear",   "box",
                                              "bspline", "catmullrom", "lanczos"};
    EXPECT_EQ(Complete("tarnwick --resize-algorithm="), algorithms);
    // Where "=" does not break words, the reply holds the whole parameter.
    EXPECT_EQ(Complete("tarnwick --resize-algorithm=b", false),
              (std::vector<std::string>{"--resize-algorithm=bicubic", "--resize-algorithm=bilinear",
                                        "--resize-algorithm=box", "--resize-algorithm=bspline"}));
    EXPECT_EQ(Complete("tarnwick --WIDTH-UNIT=P"), (std::vector<std::string>{"percent", "pixels"}));
    EXPECT_EQ(Complete("tarnwick --bmp-compression="), (std::vector<std::string>{"none", "rle"}));
    EXPECT_EQ(Complete("tarnwick -c "), std::vector<std::string>{"bmp"});
    // Every keyword offered is one the option reads.
    for (const std::string& name : OptionNames()) {
        OptionKind kind;
        FindOption(name, &kind);
        if (kind != OptionKind::Keyword) continue;
        EXPECT_FALSE(Complete("tarnwick " + Lower(name) + "=").empty()) << name;
    }
}

TEST(BashCompletion, OffersFilesAndFoldersWhereTheyBelong) {
    TempDir dir;
    WriteFile(dir / "photo.png", "x");
    RunCommand("mkdir '" + dir / "sub" + "'");
    const std::vector<std::string> both{dir / "photo.png", dir / "sub"};
    EXPECT_EQ(Complete("tarnwick -i " + dir.path()), both);
    EXPECT_EQ(Complete("tarnwick --profile=" + dir.path()), both);
    EXPECT_EQ(Complete("tarnwick --wm-image=" + dir.path()), both);
    EXPECT_EQ(Complete("tarnwick -o " + dir.path()), std::vector<std::string>{dir / "sub"});
    EXPECT_EQ(Complete("tarnwick --output=" + dir.path()), std::vector<std::string>{dir / "sub"});
    // No file names after an option that takes a number.
    EXPECT_TRUE(Complete("tarnwick --width=" + dir.path()).empty());
}

// The page as man shows it on a terminal of the given width.
std::string ManPage(int width) {
    std::string text;
    RunCommand("MANWIDTH=" + std::to_string(width) + " MANPAGER=cat PAGER=cat man -l '" +
                   std::string(TARNWICK_MANPAGE) + "' 2>&1",
               &text);
    return text;
}

TEST(ManualPage, ReadsRightWhereverItIsShown) {
    std::string warnings;
    RunCommand("groff -man -ww -z '" TARNWICK_MANPAGE "' 2>&1", &warnings);
    EXPECT_EQ(warnings, "");
    for (int width : {60, 80, 120}) {
        const std::string page = ManPage(width);
        ASSERT_NE(page.find("SYNOPSIS"), std::string::npos) << page;
        // No word, option name, keyword or address is broken across lines.
        for (const std::string& line : Lines(page)) {
            const bool hyphenated =
                (!line.empty() && line.back() == '-') ||
                (line.size() >= 3 && line.compare(line.size() - 3, 3, "\xe2\x80\x90") == 0);
            EXPECT_FALSE(hyphenated) << width << ": " << line;
        }
        EXPECT_NE(page.find("--wm-text=\"My holiday\""), std::string::npos) << width;
    }
    const std::string page = ManPage(80);
    for (const char* section : {"\nBUGS\n", "\nAUTHOR\n", "\nEXAMPLES\n"})
        EXPECT_NE(page.find(section), std::string::npos) << section;
    // The folders are those of the install prefix: the program folder and the
    // data folder with the manual and the themes.
    EXPECT_NE(page.find(TARNWICK_MANPAGE_PROGRAM_DIR "/"), std::string::npos);
    EXPECT_NE(page.find(TARNWICK_MANPAGE_DATA_DIR "/tarnwick.html"), std::string::npos);
    EXPECT_NE(page.find(TARNWICK_MANPAGE_DATA_DIR "/gfx/"), std::string::npos);
    if (std::string(TARNWICK_MANPAGE_PROGRAM_DIR) != "/usr/lib/tarnwick") {
        EXPECT_EQ(page.find("/usr/lib/tarnwick"), std::string::npos);
    }
    if (std::string(TARNWICK_MANPAGE_DATA_DIR) != "/usr/share/tarnwick") {
        EXPECT_EQ(page.find("/usr/share/tarnwick"), std::string::npos);
    }
}

// Completion as bash itself does it: an interactive bash on a terminal, the
// keys typed and Tab pressed. The command prints what it was given, so a
// wrongly quoted completion shows as the wrong argument.
TEST(BashCompletion, CompletesNamesWithBlanksAsBashQuotesThem) {
    TempDir dir;
    WriteFile(dir / "my pic.png", "x");
    WriteFile(dir / "pprof.ini", "x");
    RunCommand("mkdir '" + dir / "sub dir" + "'");
    WriteFile(dir / "sub dir/inner.png", "x");
    TerminalProcess bash({"bash", "--norc", "--noprofile", "-i"},
                         {"TERM=dumb", "INPUTRC=/dev/null", "HOME=" + dir.path(), "PS1=$ "},
                         dir.path());
    bash.Type("source '" TARNWICK_COMPLETION "'; tarnwick() { printf '<%s>\\n' \"$@\"; }\n");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"tarnwick -i my\\ p\t", "<-i>\r\n<my pic.png>"},
        {"tarnwick -i sub\\ dir/\t", "<-i>\r\n<sub dir/inner.png>"},
        {"tarnwick --input=my\\ p\t", "<--input=my pic.png>"},
        {"tarnwick \"my p\t", "<my pic.png>"},
        {"tarnwick -o su\t", "<-o>\r\n<sub dir/>"},
        {"tarnwick --wm-image='sub dir/in\t", "<--wm-image=sub dir/inner.png>"},
    };
    for (const auto& [typed, shown] : cases) {
        bash.Type(typed + "\n");
        EXPECT_TRUE(bash.WaitFor(shown, 5000)) << typed << "\n" << bash.Output();
    }
    bash.Type("exit\n");
    EXPECT_EQ(bash.Wait(5000), 0);
}

}  // namespace
