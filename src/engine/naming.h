// Output file names built from the mask and its tokens.
#pragma once

#include <ctime>
#include <functional>
#include <string>

#include "engine/run_state.h"
#include "settings/settings.h"

namespace tarnwick {

// Source of the local wall-clock time; replaceable in tests.
using ClockFn = std::function<std::tm()>;
std::tm LocalNow();

// Replaces every occurrence of `token` (compared without regard to case) in
// `text` by the token's value. Unknown tokens leave the text unchanged.
std::string ReplaceToken(const std::string& text, const std::string& token, const RunState& run,
                         const ClockFn& clock = LocalNow);

// The token table in its processing order.
const char* const* NamingTokens(int& count);

std::string ExpandNameMask(const std::string& mask, const RunState& run,
                           const ClockFn& clock = LocalNow);
std::string BuildOutputPath(const Settings& s, const RunState& run,
                            const ClockFn& clock = LocalNow);

// Letter case of UTF-8 text by whole characters (Unicode case rules); bytes
// that are not valid UTF-8 pass through unchanged.
std::string Utf8Lower(const std::string& text);
std::string Utf8Upper(const std::string& text);
// First character upper case, all following characters lower case.
std::string Utf8Title(const std::string& text);

}  // namespace tarnwick
