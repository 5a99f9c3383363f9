// Command-line entry: first-parameter actions, the option scan and the banner.
#include "app/cli.h"

#include <random>

#include "text/product.h"
#include "engine/format_registry.h"
#include "engine/run_state.h"
#include "platform/platform.h"
#include "settings/config.h"
#include "settings/options.h"
#include "settings/settings.h"
#include "text/text_util.h"
#include "text/catalog.h"

namespace tarnwick {

namespace {

std::string TrimBlanks(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && s[b] == ' ') ++b;
    while (e > b && s[e - 1] == ' ') --e;
    return s.substr(b, e - b);
}

// A parameter as the program sees it: double-quote characters removed, blanks
// at both ends trimmed (the shell has already split the command line).
std::string CleanParameter(const std::string& arg) {
    std::string out;
    out.reserve(arg.size());
    for (char c : arg)
        if (c != '"') out += c;
    return TrimBlanks(out);
}

bool RejectedShortValue(const std::string& v) { return v.empty() || v[0] == '-'; }
bool RejectedLongValue(const std::string& v) {
    return v.empty() || (v.size() >= 2 && v[0] == '-' && v[1] == '-');
}

void WriteLines(const std::vector<std::string>& lines) {
    for (const auto& line : lines) platform::WriteLine(line);
}

}  // namespace

WindowModule LoadWindowModule() {
    WindowModule m;
    void* handle = platform::LoadModule("libtarnwick_ui.so");
    if (!handle) return m;
    m.uninstallPrompt =
        reinterpret_cast<int (*)()>(platform::ModuleSymbol(handle, "tarnwick_uninstall_prompt"));
    m.screenshotMode = reinterpret_cast<int (*)(const char*)>(
        platform::ModuleSymbol(handle, "tarnwick_screenshot_mode"));
    return m;
}

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

CliResult CommandLineEntry(const std::vector<std::string>& rawParams) {
    CliResult result;
    if (rawParams.empty()) {
        result.windowMode = true;
        return result;
    }
    std::vector<std::string> params;
    params.reserve(rawParams.size());
    for (const auto& p : rawParams) params.push_back(CleanParameter(p));

    FormatRegistry& registry = GlobalRegistry();
    BuildInputRegistry(registry);
    BuildOutputRegistry(registry);
    ResetRunState();
    Settings& settings = GlobalSettings();
    ApplyDefaults(settings, true);
    LoadCatalog();
    RunState& run = GlobalRunState();

    const std::string first = OptionKey(params[0]);
    if (first == "-U") {
        WindowModule module = LoadWindowModule();
        if (!module.uninstallPrompt) {
            platform::WriteLine("Error: The uninstall prompt needs the window module and a display");
            result.exitCode = 1;
            return result;
        }
        result.exitCode = module.uninstallPrompt();
        return result;
    }
    if (first == "-T") {
        std::string folder = params.size() > 1 ? OptionValue(params[1]) : std::string();
        WindowModule module = LoadWindowModule();
        if (!module.screenshotMode) {
            platform::WriteLine("Error: The screenshot mode needs the window module and a display");
            result.exitCode = 1;
            return result;
        }
        result.exitCode = module.screenshotMode(folder.c_str());
        return result;
    }
    if (first == "-V" || first == "--VERSION") {
        platform::SetConsoleTitle(WindowTitle());
        platform::WriteLine(VersionText(kProgramVersion));
        return result;
    }
    if (first == "-H" || first == "-?" || first == "--HELP") {
        platform::SetConsoleTitle(WindowTitle());
        WriteLines(HelpLines(platform::ProgramName(), InputExtensions()));
        return result;
    }

    // The option scan: each option acts at once, in command-line order.
    std::string errorText;
    bool quietMode = false;
    bool pauseAtExit = false;
    for (size_t i = 0; i < params.size() && errorText.empty(); ++i) {
        const std::string key = OptionKey(params[i]);
        if (key.empty()) continue;
        std::string* target = nullptr;
        if (key == "-I" || key == "--INPUT") target = &run.inputFile;
        else if (key == "-O" || key == "--OUTPUT") target = &run.outputFolder;
        else if (key == "-C" || key == "--CONVERSION") target = &run.conversion;
        if (target) {
            std::string value;
            if (key.size() == 2) {  // short form: the value is the next parameter
                if (i + 1 < params.size()) value = params[++i];
            } else {
                value = OptionValue(params[i]);
            }
            if (RejectedShortValue(value)) {
                errorText = "Incorrect number of parameters";
                break;
            }
            *target = value;
            if (target == &run.inputFile) run.inputGiven = true;
            continue;
        }
        if (key == "-D" || key == "--DEBUG") {
            run.runMode = "DEBUG";
            continue;
        }
        if (key == "-Q" || key == "--QUIET") {
            quietMode = true;
            continue;
        }
        if (key == "-P" || key == "--PAUSE") {
            pauseAtExit = true;
            continue;
        }
        if (key == "--PROFILE") {
            std::string value = OptionValue(params[i]);
            if (RejectedLongValue(value)) {
                errorText = "Incorrect number of parameters";
                break;
            }
            if (!LoadProfile(settings, value)) errorText = "Invalid profile file";
            continue;
        }
        OptionKind kind;
        if (!FindOption(key, &kind)) continue;  // unknown options are ignored
        if (kind == OptionKind::Flag) {
            ApplyOption(settings, key, std::string());
            continue;
        }
        std::string value = OptionValue(params[i]);
        if (RejectedLongValue(value)) {
            errorText = "Incorrect number of parameters";
            break;
        }
        ApplyOption(settings, key, value);
    }

    if (!errorText.empty()) {
        platform::SetConsoleTitle(WindowTitle());
        platform::WriteLine("Error: " + errorText);
        if (pauseAtExit) platform::WaitForKey();
        result.exitCode = 1;
        return result;
    }
    if (!run.inputGiven) {
        result.windowMode = true;
        return result;
    }

    platform::SetConsoleTitle(WindowTitle());
    if (!quietMode) {
        platform::WriteLine(WindowTitle());
        platform::WriteLine(kNoticeLine);
        platform::WriteLine(kWebSite);
        platform::WriteLine(" ");
    }
    result.exitCode = RunCliConversion(quietMode);
    if (pauseAtExit) {
        platform::WriteLine("Press any key to exit.");
        platform::WaitForKey();
    }
    return result;
}

}  // namespace tarnwick
