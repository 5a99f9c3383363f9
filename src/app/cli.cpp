// Command-line entry: first-parameter actions, the option scan and the banner.
#include "app/cli.h"

#include "app/window_module.h"

#include <optional>
#include <random>

#include "engine/format_registry.h"
#include "engine/run_state.h"
#include "platform/instance.h"
#include "platform/paths.h"
#include "platform/platform.h"
#include "settings/config.h"
#include "settings/options.h"
#include "settings/settings.h"
#include "text/catalog.h"
#include "text/product.h"
#include "text/shown.h"
#include "text/text_util.h"

namespace tarnwick {

namespace {

// A parameter as the program sees it: double-quote characters removed, blanks
// at both ends trimmed (the shell has already split the command line).
std::string CleanParameter(const std::string& arg) {
    std::string out;
    out.reserve(arg.size());
    for (char c : arg)
        if (c != '"') out += c;
    return text::TrimBlanks(out);
}

bool RejectedShortValue(const std::string& v) { return v.empty() || v[0] == '-'; }
bool RejectedLongValue(const std::string& v) {
    return v.empty() || (v.size() >= 2 && v[0] == '-' && v[1] == '-');
}

void WriteLines(const std::vector<std::string>& lines) {
    for (const auto& line : lines) platform::WriteLine(line);
}

}  // namespace

std::string OptionKey(const std::string& param) {
    if (param.empty() || param[0] != '-') return {};
    if (param.rfind("--", 0) == 0) return text::Upper(param.substr(0, param.find('=')));
    return text::Upper(param);
}

std::string OptionValue(const std::string& param) {
    if (param.rfind("--", 0) == 0) {
        auto eq = param.find('=', 2);
        if (eq != std::string::npos) return param.substr(eq + 1);
    }
    return param;
}

std::vector<std::string> HelpLines(const std::string& programName,
                                   const std::vector<std::string>& inputExtensions) {
    static std::mt19937 rng{std::random_device{}()};
    auto example = [&]() -> std::string {
        if (inputExtensions.empty()) return {};
        std::uniform_int_distribution<size_t> pick(0, inputExtensions.size() - 1);
        return inputExtensions[pick(rng)];
    };
    auto fill = [&](const char* tmpl) { return FormatMessage(tmpl, programName, example()); };
    return {
        " ",
        fill("Usage: %s1% -i <filename> [options]"),
        " ",
        fill("  %s1% -i example.%s2%"),
        fill("  %s1% -i /tmp/example.%s2%"),
        fill("  %s1% -i /tmp/example.%s2% -o ~/converted"),
        fill("  %s1% -i /tmp/example.%s2% -o ~/converted --jpg-quality=95"),
        " ",
        "Options:",
        " ",
        "  -h, -?, --help            Display this help and exit",
        "  -i FILE, --input=FILE     Set input file",
        "  -o PATH, --output=PATH    Set output folder",
        "  -c STR, --conversion=STR  Set output extension, STR = (jpg | bmp | ...)",
        " ",
        "Advanced options:",
        " ",
        "  --width=NUM               Set output image width",
        "  --height=NUM              Set output image height",
        "  --filename-mask=STR       Define output filename format",
        "  --flip-horizontal         Flip output image horizontally",
        "  --flip-vertical           Flip output image vertically",
        "  --brightness=NUM          Set output image brightness, NUM = -100..100",
        "  --contrast=NUM            Set output image contrast, NUM = -100..100",
        "  --gamma=NUM               Set output image gamma, NUM = 0.01..9.99",
        "  --invert                  Invert output image",
        "  --greyscale               Greyscale output image",
        "  --profile=FILE            Set configuration file with required settings",
        "    ...                     Refer documentation for all available options",
        " ",
        "Other options:",
        " ",
        "  -q, --quiet               Don't print status messages to stdout",
        "  -d, --debug               Print debug information to stdout",
        "  -p, --pause               Pause at exit",
        "  -v, --version             Display version information and exit",
    };
}

namespace {

// The records a command line works on: both registries, an empty run state
// and the command-line defaults. The catalog is read by its first lookup
// (most runs look nothing up).
void PrepareCommandLineRecords() {
    FormatRegistry& registry = GlobalRegistry();
    BuildInputRegistry(registry);
    BuildOutputRegistry(registry);
    ResetRunState();
    ApplyDefaults(GlobalSettings(), true);
}

CliResult Failed(const std::string& line, const std::string& path, const std::string& reason) {
    platform::WriteLine(line);
    platform::WriteErrorLine(text::FailureLine(path, reason));
    return CliResult{false, 1};
}

// The uninstall prompt and the screenshot mode show windows of their own: they
// take the lock as the window does.
std::optional<CliResult> RefusedBesideAnotherCopy() {
    const std::string title = WindowTitle();
    if (platform::AcquireInstanceLock(title, platform::LockMode::Exclusive) !=
        platform::LockOutcome::Held)
        return std::nullopt;
    platform::WriteErrorLine(
        text::FailureLine(platform::InstanceLockPath(title), "another copy of the program runs"));
    return CliResult{false, 1};
}

// The actions a first parameter asks for instead of a conversion: the
// uninstall prompt, the screenshot mode, the version and the help.
std::optional<CliResult> FirstParameterAction(const std::vector<std::string>& params) {
    const std::string first = OptionKey(params[0]);
    if (first == "-U") {
        if (auto refused = RefusedBesideAnotherCopy()) return refused;
        std::string why;
        const TwWindowApi* module = LoadWindowApi(&why);
        if (!module)
            return Failed("Error: The uninstall prompt needs the window module and a display", "-U",
                          why);
        return CliResult{false, module->uninstallPrompt()};
    }
    if (first == "-T") {
        std::string folder = params.size() > 1 ? OptionValue(params[1]) : std::string();
        if (auto refused = RefusedBesideAnotherCopy()) return refused;
        std::string why;
        const TwWindowApi* module = LoadWindowApi(&why);
        if (!module)
            return Failed("Error: The screenshot mode needs the window module and a display", "-T",
                          why);
        return CliResult{false, module->screenshotMode(folder.c_str())};
    }
    if (first == "-V" || first == "--VERSION") {
        platform::SetConsoleTitle(WindowTitle());
        platform::WriteLine(VersionText(kProgramVersion));
        return CliResult{};
    }
    if (first == "-H" || first == "-?" || first == "--HELP") {
        platform::SetConsoleTitle(WindowTitle());
        WriteLines(HelpLines(platform::ProgramName(), InputExtensions()));
        return CliResult{};
    }
    return std::nullopt;
}

struct ScanResult {
    std::string errorText;  // without "Error: "; empty when every option was taken
    std::string errorPath;  // the parameter or profile concerned
    std::string errorReason;
    bool quiet = false;
    bool pauseAtExit = false;
};

// The value of a run-state option: the next parameter for the short form,
// the text after "=" for the long form.
std::string RunOptionValue(const std::vector<std::string>& params, size_t& i,
                           const std::string& key) {
    if (key.size() != 2) return OptionValue(params[i]);
    return i + 1 < params.size() ? params[++i] : std::string();
}

// The option scan: each option acts at once, in command-line order; the
// first refused value ends it.
ScanResult ScanOptions(const std::vector<std::string>& params, Settings& settings, RunState& run) {
    ScanResult scan;
    const auto refuse = [&scan](const std::string& text, const std::string& path,
                                const std::string& reason) {
        scan.errorText = text;
        scan.errorPath = path;
        scan.errorReason = reason;
        return scan;
    };
    const char* kNoValue = "Incorrect number of parameters";
    for (size_t i = 0; i < params.size(); ++i) {
        const std::string key = OptionKey(params[i]);
        if (key.empty()) continue;
        std::string* target = nullptr;
        if (key == "-I" || key == "--INPUT") target = &run.inputFile;
        else if (key == "-O" || key == "--OUTPUT") target = &run.outputFolder;
        else if (key == "-C" || key == "--CONVERSION") target = &run.conversion;
        if (target) {
            std::string value = RunOptionValue(params, i, key);
            if (RejectedShortValue(value)) return refuse(kNoValue, params[i], "needs a value");
            *target = value;
            if (target == &run.inputFile) run.inputGiven = true;
        } else if (key == "-D" || key == "--DEBUG") {
            run.runMode = RunMode::Debug;
        } else if (key == "-Q" || key == "--QUIET") {
            scan.quiet = true;
        } else if (key == "-P" || key == "--PAUSE") {
            scan.pauseAtExit = true;
        } else if (key == "--PROFILE") {
            std::string value = OptionValue(params[i]);
            if (RejectedLongValue(value)) return refuse(kNoValue, params[i], "needs a value");
            if (!LoadProfile(settings, value)) {
                const std::string problem = platform::InputFileProblem(value);
                return refuse("Invalid profile file", value,
                              "profile: " + (problem.empty() ? "cannot be read" : problem));
            }
        } else if (OptionKind kind; FindOption(key, &kind)) {  // unknown options are ignored
            std::string value = kind == OptionKind::Flag ? std::string() : OptionValue(params[i]);
            if (kind != OptionKind::Flag && RejectedLongValue(value))
                return refuse(kNoValue, params[i], "needs a value after \"=\"");
            // A number beyond 32 bits is an invalid value of its option.
            if (bool outOfRange = false;
                ApplyOption(settings, key, value, false, &outOfRange), outOfRange)
                return refuse("Invalid " + text::Lower(key.substr(2)) + " value", params[i],
                              "the number is beyond the 32-bit range");
        }
    }
    return scan;
}

void PrintBanner() {
    platform::WriteLine(WindowTitle());
    platform::WriteLine(kNoticeLine);
    platform::WriteLine(kWebSite);
    platform::WriteLine(" ");
}

}  // namespace

CliResult CommandLineEntry(const std::vector<std::string>& rawParams) {
    if (rawParams.empty()) return CliResult{true, 0};
    std::vector<std::string> params;
    params.reserve(rawParams.size());
    for (const auto& p : rawParams) params.push_back(CleanParameter(p));

    PrepareCommandLineRecords();
    if (auto action = FirstParameterAction(params)) return *action;

    RunState& run = GlobalRunState();
    const ScanResult scan = ScanOptions(params, GlobalSettings(), run);
    if (!scan.errorText.empty()) {
        platform::SetConsoleTitle(WindowTitle());
        platform::WriteLine("Error: " + scan.errorText);
        platform::WriteErrorLine(text::FailureLine(scan.errorPath, scan.errorReason));
        if (scan.pauseAtExit) platform::WaitForKey();
        return CliResult{false, 1};
    }
    if (!run.inputGiven) return CliResult{true, 0};

    // Conversions share the lock: they run side by side, never beside a window.
    if (platform::AcquireInstanceLock(WindowTitle(), platform::LockMode::Shared) ==
        platform::LockOutcome::Held) {
        platform::WriteErrorLine(text::FailureLine(
            run.inputFile, "not converted: the program's window is open (close it first)"));
        return CliResult{false, 1};
    }

    platform::SetConsoleTitle(WindowTitle());
    if (!scan.quiet) PrintBanner();
    const int exitCode = RunCliConversion(scan.quiet);
    if (scan.pauseAtExit) {
        platform::WriteLine("Press any key to exit.");
        platform::WaitForKey();
    }
    return CliResult{false, exitCode};
}

std::optional<int> ClaimWindow(const std::vector<std::string>& params) {
    const std::string title = WindowTitle();
    if (platform::AcquireInstanceLock(title, platform::LockMode::Exclusive) !=
        platform::LockOutcome::Held)
        return std::nullopt;
    const std::string lockPath = platform::InstanceLockPath(title);
    if (!platform::InstanceHeldExclusively(title)) {
        platform::WriteErrorLine(text::FailureLine(
            lockPath, "the window cannot open while command-line conversions run"));
        return 1;
    }
    // "Open With" while the window runs: the file goes to that window.
    const bool oneFile = params.size() == 1 && !params[0].empty() && params[0][0] != '-';
    if (!oneFile) {
        platform::WriteErrorLine(
            text::FailureLine(lockPath, "the program's window is already open"));
        return 1;
    }
    const std::string& file = params[0];
    bool accepted = false;
    const std::string ext = text::Lower(platform::ExtensionPart(file, "/"));
    for (const auto& e : InputExtensions()) accepted = accepted || e == ext;
    if (!accepted) {
        platform::WriteErrorLine(
            text::FailureLine(file, "not handed to the open window: not a picture it reads"));
        return 1;
    }
    if (const std::string problem = platform::InputFileProblem(file); !problem.empty()) {
        platform::WriteErrorLine(text::FailureLine(file, problem));
        return 1;
    }
    const std::string absolute = file[0] == '/' ? file : platform::CurrentFolder() + file;
    std::string reason;
    if (!platform::HandOffToWindow(title, absolute, 5000, &reason)) {
        platform::WriteErrorLine(
            text::FailureLine(file, "not handed to the open window: " + reason));
        return 1;
    }
    return 0;
}

}  // namespace tarnwick
