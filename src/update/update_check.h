// The version check: the maker's web addresses, the schedule and the check
// with its three outcomes. The program around it (the window mode) supplies
// the fetch, the clock, the message boxes and the desktop opener.
#pragma once

#include <cstdint>
#include <string>

#include "settings/settings.h"

namespace tarnwick::update {

// The maker's web site (scheme, host and optional port, no trailing '/'):
// the environment variable TARNWICK_SITE when set, else the built-in address.
std::string SiteAddress();
// The update information file and the program's home page on the site.
std::string UpdateInfoUrl();
std::string HomePageUrl();

// updateRange "Never": no scheduled check.
inline constexpr int kUpdateRangeNever = 5;
// Days between scheduled checks for an updateRange value: 1, 7, 30, 90, 180;
// 30 for any value outside the table (and 0 for "Never").
int UpdateIntervalDays(int updateRange);
// True when a scheduled check is due: the range is not "Never" and `now` is
// strictly later than updateDate plus the interval.
bool ScheduledCheckDue(int updateRange, int64_t updateDate, int64_t now);

enum class UpdateOutcome { ConnectionProblem, NewVersion, NoUpdate };
// The fetched text read as a whole number: 0 is a connection problem, a
// number above `programVersion` a new version, anything else no update.
UpdateOutcome CompareVersion(const std::string& fetched, int programVersion);

// What the check asks of the program around it.
class UpdateCheckHost {
public:
    virtual ~UpdateCheckHost() = default;
    // FetchUpdateInfo or an equivalent; empty on failure.
    virtual std::string Fetch(const std::string& url, const std::string& userAgent) = 0;
    // A Yes/No question with the question icon; true for Yes.
    virtual bool Question(const std::string& title, const std::string& text) = 0;
    // An error box (stop icon).
    virtual void Error(const std::string& text) = 0;
    // An information box.
    virtual void Info(const std::string& title, const std::string& text) = 0;
    // Opens a web address in the browser.
    virtual void Open(const std::string& target) = 0;
    // The current local date value.
    virtual int64_t Now() = 0;
};

// Fetches the update information and tells the user the result; on a newer
// version offers to open the home page. Leaves updateDate alone.
UpdateOutcome CheckForUpdate(UpdateCheckHost& host);

// The start-up check: when due, asks whether to check, checks on Yes, and
// whatever the answer moves updateDate to the time after the answer. True
// when the question was asked.
bool RunScheduledUpdateCheck(Settings& settings, UpdateCheckHost& host);

}  // namespace tarnwick::update
