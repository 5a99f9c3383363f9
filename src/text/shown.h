// Names as they are shown on a terminal or in a log: control characters and
// bytes that are not UTF-8 are escaped, so a name can neither start a line of
// its own nor send the terminal a command.
#pragma once

#include <string>

namespace tarnwick::text {

// `name` with "\n", "\r", "\t" and "\xNN" (other control characters of
// ASCII and Latin-1, and every byte that is not part of valid UTF-8) in place
// of the characters themselves. Blanks and letters of any script stay.
std::string Shown(const std::string& name);

// The line of a failure or refusal on standard error:
// "tarnwick: <path>: <reason>", both parts shown safely.
std::string FailureLine(const std::string& path, const std::string& reason);

}  // namespace tarnwick::text
