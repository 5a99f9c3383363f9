// The schedule and the version check.
#include "update/update_check.h"

#include <cstdlib>

#include "settings/options.h"
#include "text/catalog.h"
#include "text/product.h"

namespace tarnwick::update {

std::string SiteAddress() {
    std::string site = kWebSite;
    if (const char* value = std::getenv("TARNWICK_SITE"); value && *value) site = value;
    while (!site.empty() && site.back() == '/') site.pop_back();
    return site;
}

std::string UpdateInfoUrl() { return SiteAddress() + "/files/tarnwick.dat"; }
std::string HomePageUrl() { return SiteAddress() + "/tarnwick/"; }

int UpdateIntervalDays(int updateRange) {
    switch (updateRange) {
        case 0: return 1;
        case 1: return 7;
        case 2: return 30;
        case 3: return 90;
        case 4: return 180;
        case kUpdateRangeNever: return 0;
        default: return 30;
    }
}

bool ScheduledCheckDue(int updateRange, int64_t updateDate, int64_t now) {
    if (updateRange == kUpdateRangeNever) return false;
    return now > updateDate + static_cast<int64_t>(UpdateIntervalDays(updateRange)) * 86400;
}

UpdateOutcome CompareVersion(const std::string& fetched, int programVersion) {
    const int32_t number = ReadWholeNumber(fetched);
    if (number == 0) return UpdateOutcome::ConnectionProblem;
    if (number > programVersion) return UpdateOutcome::NewVersion;
    return UpdateOutcome::NoUpdate;
}

UpdateOutcome CheckForUpdate(UpdateCheckHost& host) {
    const UpdateOutcome outcome =
        CompareVersion(host.Fetch(UpdateInfoUrl(), WindowTitle()), kProgramVersion);
    switch (outcome) {
        case UpdateOutcome::ConnectionProblem:
            host.Error(CatalogText("Msg", "Internet connection problems"));
            break;
        case UpdateOutcome::NewVersion:
            if (host.Question(CatalogText("Msg", "New Update"),
                              CatalogText("Msg", "New Update Text")))
                host.Open(HomePageUrl());
            break;
        case UpdateOutcome::NoUpdate:
            host.Info(CatalogText("Msg", "No Update"), CatalogText("Msg", "No Update Text"));
            break;
    }
    return outcome;
}

bool RunScheduledUpdateCheck(Settings& settings, UpdateCheckHost& host) {
    if (!ScheduledCheckDue(settings.updateRange, settings.updateDate, host.Now())) return false;
    if (host.Question(CatalogText("Msg", "Check for Updates"),
                      CatalogText("Msg", "Ask check for updates")))
        CheckForUpdate(host);
    // Answered: the next question comes after a full interval from now.
    settings.updateDate = static_cast<int32_t>(host.Now());
    return true;
}

}  // namespace tarnwick::update
