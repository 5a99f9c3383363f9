// The command-line interface: parameters, first-parameter actions, option
// scan, banner and the conversion run.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

struct CliResult {
    bool windowMode = false;  // no action asked for: the window mode follows
    int exitCode = 0;
};

// Runs the command line. `params` are the arguments after the program name.
CliResult CommandLineEntry(const std::vector<std::string>& params);

// Before the window opens: nothing when it may (this process now holds the
// lock exclusively), else the exit code. While another window runs, a single
// picture named as the only parameter is handed to it (exit code 0); any
// other start is refused with a line on standard error.
std::optional<int> ClaimWindow(const std::vector<std::string>& params);

// The key and value of one parameter as the option scan sees them.
std::string OptionKey(const std::string& param);
std::string OptionValue(const std::string& param);

// The 36 lines of the help text.
std::vector<std::string> HelpLines(const std::string& programName,
                                   const std::vector<std::string>& inputExtensions);

// Checks, reports and converts the input named on the command line. Returns
// the exit code: 0 when a file was converted, 1 otherwise.
int RunCliConversion(bool quiet);

}  // namespace tarnwick
