// The update check: the HTTP fetch against a loopback server, the schedule
// with a clock set by the test, and the three outcomes of a check.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "settings/settings.h"
#include "support/loopback_server.h"
#include "text/catalog.h"
#include "update/http_fetch.h"
#include "update/update_check.h"

using namespace tarnwick;
using namespace tarnwick::update;
using tarnwick::test::LoopbackServer;

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string FetchFrom(const LoopbackServer& server,
                      const std::string& path = "/files/tarnwick.dat") {
    return FetchUpdateInfo(server.Site() + path, "Pictavo PNG to BMP 2.9");
}

// Answers in the user's place and records what the check showed.
class FakeHost : public UpdateCheckHost {
public:
    std::string fetched;  // what the fetch returns
    bool answerAskCheck = false;
    bool answerDownload = false;
    int64_t now = 0;
    int64_t nowAfterFetch = -1;  // the clock after a fetch (-1: unchanged)

    std::vector<std::string> shown;  // "fetch <url> <agent>", "question <title>", ...
    std::vector<std::string> opened;

    std::string Fetch(const std::string& url, const std::string& agent) override {
        shown.push_back("fetch " + url + " " + agent);
        if (nowAfterFetch >= 0) now = nowAfterFetch;
        return fetched;
    }
    bool Question(const std::string& title, const std::string& text) override {
        shown.push_back("question " + title + ": " + text);
        return title == "Check for Updates" ? answerAskCheck : answerDownload;
    }
    void Error(const std::string& text) override { shown.push_back("error " + text); }
    void Info(const std::string& title, const std::string& text) override {
        shown.push_back("info " + title + ": " + text);
    }
    void Open(const std::string& target) override { opened.push_back(target); }
    int64_t Now() override { return now; }
};

class UpdateCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadCatalog();
        unsetenv("TARNWICK_SITE");
    }
    void TearDown() override { unsetenv("TARNWICK_SITE"); }
};

const char* const kAskCheck = "question Check for Updates: Do you want to check for updates?";
const char* const kFetch = "fetch http://pictavo.example/files/tarnwick.dat Pictavo PNG to BMP 2.9";
const char* const kNewUpdate =
    "question New Update: A new version of Pictavo PNG to BMP is available! Are you ready to "
    "download it right now?";
const char* const kNoUpdate =
    "info No Update: There is no update of Pictavo PNG to BMP yet. You're using the most recent "
    "version.";
const char* const kConnectionProblem = "error Internet connection problems!";

}  // namespace

TEST(HttpFetchRules, SplitsTheUrl) {
    EXPECT_EQ(SplitUrl("http://pictavo.example/files/tarnwick.dat"),
              (UrlParts{"pictavo.example", 80, "/files/tarnwick.dat"}));
    EXPECT_EQ(SplitUrl("http://127.0.0.1:8080/files/x.dat?since=290"),
              (UrlParts{"127.0.0.1", 8080, "/files/x.dat"}));
    EXPECT_EQ(SplitUrl("http://pictavo.example"), (UrlParts{"pictavo.example", 80, "/"}));
    EXPECT_EQ(SplitUrl("http://pictavo.example:81"), (UrlParts{"pictavo.example", 81, "/"}));
    EXPECT_EQ(SplitUrl("http://[::1]:8080/a/b"), (UrlParts{"::1", 8080, "/a/b"}));
    // A port that is not a number cannot be connected to.
    EXPECT_EQ(SplitUrl("http://host:web/x").port, 0);
    EXPECT_EQ(SplitUrl("http://host:999999/x").port, 0);
}

TEST(HttpFetchRules, BodyIsTheTextBetweenTheFirstTwoBlankLines) {
    EXPECT_EQ(UpdateInfoFromResponse("HTTP/1.0 200 OK\r\nA: b\r\n\r\n291"), "291");
    EXPECT_EQ(UpdateInfoFromResponse("HTTP/1.0 200 OK\r\n\r\n291\r\nmore text\r\nand more"), "291");
    EXPECT_EQ(UpdateInfoFromResponse("HTTP/1.0 200 OK\r\n\r\n   300   "), "300");
    EXPECT_EQ(UpdateInfoFromResponse("HTTP/1.0 200 OK\r\n\r\n 2\r\n\r\n291"), "2");
    // Only blanks are trimmed: a leading line break stays.
    EXPECT_EQ(UpdateInfoFromResponse("HTTP/1.0 200 OK\r\n\r\n\r\n291"), "\r\n2");
    EXPECT_EQ(UpdateInfoFromResponse("HTTP/1.0 200 OK\r\n\r\n29"), "29");
    // Nothing after a zero byte counts; no blank line means no body.
    EXPECT_EQ(UpdateInfoFromResponse(std::string("HTTP/1.0 200 OK\r\n\r\n29\0"
                                                 "1",
                                                 23)),
              "29");
    EXPECT_EQ(UpdateInfoFromResponse("HTTP/1.0 200 OK\r\nA: b\r\n291"), "");
    EXPECT_EQ(UpdateInfoFromResponse("HTTP/1.0 200 OK\r\n\r\n    "), "");
}

TEST(HttpFetch, SendsTheExactRequestAndReadsTheBody) {
    LoopbackServer server =
        LoopbackServer::WithBody("291\r\nsee the home page for what is new\r\n");
    EXPECT_EQ(FetchFrom(server, "/files/tarnwick.dat?x=1"), "291");
    EXPECT_EQ(server.Request(),
              "GET /files/tarnwick.dat HTTP/1.0\r\n"
              "Host: 127.0.0.1\r\n"
              "Accept: */*\r\n"
              "User-Agent: Pictavo PNG to BMP 2.9\r\n"
              "Connection: close\r\n"
              "\r\n");
}

TEST(HttpFetch, ResultsOfDifferentBodies) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"290", "290"}, {"   300", "300"}, {"\r\n291", "\r\n2"}, {"new version soon", "new"},
        {"", ""},       {"2.9", "2.9"}};
    for (const auto& [body, expected] : cases) {
        LoopbackServer server = LoopbackServer::WithBody(body);
        EXPECT_EQ(FetchFrom(server), expected) << "body " << body;
    }
}

TEST(HttpFetch, ResponseIsCutAtTheBufferSize) {
    // A 3000-byte body: its start is read, the rest is never looked at.
    LoopbackServer big = LoopbackServer::WithBody("291" + std::string(2997, 'x'));
    EXPECT_EQ(FetchFrom(big), "291");

    // Headers padded so that the body starts two bytes before the end of the
    // buffer: only "29" is inside it.
    const std::string head = "HTTP/1.0 200 OK\r\nX-Pad: ";
    const std::string pad(kReceiveBufferSize - 2 - head.size() - 4, 'p');
    LoopbackServer late({head + pad + "\r\n\r\n291"});
    EXPECT_EQ(FetchFrom(late), "29");
}

TEST(HttpFetch, PiecesOfOneResponseAreKeptTogether) {
    // Headers first, the body a moment later: the second piece does not
    // overwrite the first.
    LoopbackServer server({"HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n", "2", "91\r\n"},
                          LoopbackServer::Mode::Answer, std::chrono::milliseconds(60));
    EXPECT_EQ(FetchFrom(server), "291");
}

TEST(HttpFetch, UnreachableServersGiveAnEmptyResultAtOnce) {
    const auto start = Clock::now();
    EXPECT_EQ(FetchUpdateInfo("http://127.0.0.1:" + std::to_string(LoopbackServer::RefusedPort()) +
                                  "/files/tarnwick.dat",
                              "agent"),
              "");
    EXPECT_EQ(FetchUpdateInfo("http://127.0.0.1:0/files/tarnwick.dat", "agent"), "");
    // A server that closes without a word is not waited for either.
    LoopbackServer closing({});
    EXPECT_EQ(FetchFrom(closing), "");
    EXPECT_EQ(closing.Connections(), 1);
    EXPECT_LT(SecondsSince(start), 5.0);
}

TEST(HttpFetch, ServerThatStopsHalfWayDoesNotHoldTheFetch) {
    // Headers and the start of the body, then nothing while the connection
    // stays open: the part received counts once the limit has passed.
    LoopbackServer stalling({"HTTP/1.0 200 OK\r\n\r\n2", "9"}, LoopbackServer::Mode::Stall,
                            std::chrono::milliseconds(100));
    FetchLimits limits;
    limits.firstData = 600;
    const auto start = Clock::now();
    EXPECT_EQ(FetchUpdateInfo(stalling.Site() + "/files/tarnwick.dat", "agent", limits), "29");
    const double seconds = SecondsSince(start);
    EXPECT_GE(seconds, 0.5);
    EXPECT_LT(seconds, 3.0);
}

TEST(HttpFetch, SilentServerGivesAnEmptyResultAfterTheTimeLimit) {
    LoopbackServer silent({}, LoopbackServer::Mode::Silent);
    const auto start = Clock::now();
    EXPECT_EQ(FetchFrom(silent), "");
    const double seconds = SecondsSince(start);
    EXPECT_GE(seconds, 9.9);
    EXPECT_LT(seconds, 12.0);
}

TEST_F(UpdateCheckTest, SiteComesFromTheEnvironmentWhenSet) {
    EXPECT_EQ(UpdateInfoUrl(), "http://pictavo.example/files/tarnwick.dat");
    EXPECT_EQ(HomePageUrl(), "http://pictavo.example/tarnwick/");
    setenv("TARNWICK_SITE", "http://127.0.0.1:8080/", 1);
    EXPECT_EQ(SiteAddress(), "http://127.0.0.1:8080");
    EXPECT_EQ(UpdateInfoUrl(), "http://127.0.0.1:8080/files/tarnwick.dat");
    EXPECT_EQ(HomePageUrl(), "http://127.0.0.1:8080/tarnwick/");
    setenv("TARNWICK_SITE", "", 1);
    EXPECT_EQ(SiteAddress(), "http://pictavo.example");
}

TEST_F(UpdateCheckTest, VersionNumbersDecideTheOutcome) {
    EXPECT_EQ(CompareVersion("291", 290), UpdateOutcome::NewVersion);
    EXPECT_EQ(CompareVersion("300", 290), UpdateOutcome::NewVersion);
    EXPECT_EQ(CompareVersion("290", 290), UpdateOutcome::NoUpdate);
    EXPECT_EQ(CompareVersion("100", 290), UpdateOutcome::NoUpdate);
    EXPECT_EQ(CompareVersion("-5", 290), UpdateOutcome::NoUpdate);
    EXPECT_EQ(CompareVersion("2.9", 290), UpdateOutcome::NoUpdate);  // reads as 2
    EXPECT_EQ(CompareVersion("new", 290), UpdateOutcome::ConnectionProblem);
    EXPECT_EQ(CompareVersion("\r\n2", 290), UpdateOutcome::ConnectionProblem);
    EXPECT_EQ(CompareVersion("", 290), UpdateOutcome::ConnectionProblem);
}

TEST_F(UpdateCheckTest, CheckShowsOneOfThreeOutcomes) {
    FakeHost newer;
    newer.fetched = "291";
    newer.answerDownload = true;
    EXPECT_EQ(CheckForUpdate(newer), UpdateOutcome::NewVersion);
    EXPECT_EQ(newer.shown, (std::vector<std::string>{kFetch, kNewUpdate}));
    EXPECT_EQ(newer.opened, (std::vector<std::string>{"http://pictavo.example/tarnwick/"}));

    FakeHost declined;
    declined.fetched = "291";
    CheckForUpdate(declined);
    EXPECT_TRUE(declined.opened.empty());

    FakeHost same;
    same.fetched = "290";
    EXPECT_EQ(CheckForUpdate(same), UpdateOutcome::NoUpdate);
    EXPECT_EQ(same.shown, (std::vector<std::string>{kFetch, kNoUpdate}));

    FakeHost offline;
    EXPECT_EQ(CheckForUpdate(offline), UpdateOutcome::ConnectionProblem);
    EXPECT_EQ(offline.shown, (std::vector<std::string>{kFetch, kConnectionProblem}));
    EXPECT_TRUE(offline.opened.empty());

    // The home page follows the site of the environment.
    setenv("TARNWICK_SITE", "http://127.0.0.1:9", 1);
    FakeHost local;
    local.fetched = "300";
    local.answerDownload = true;
    CheckForUpdate(local);
    EXPECT_EQ(local.shown.front(),
              "fetch http://127.0.0.1:9/files/tarnwick.dat Pictavo PNG to BMP 2.9");
    EXPECT_EQ(local.opened, (std::vector<std::string>{"http://127.0.0.1:9/tarnwick/"}));
}

TEST_F(UpdateCheckTest, ScheduleComparesStrictlyWithTheInterval) {
    const int64_t day = 86400;
    const int64_t last = 1'700'000'000;
    EXPECT_FALSE(ScheduledCheckDue(1, last, last + 7 * day));
    EXPECT_TRUE(ScheduledCheckDue(1, last, last + 7 * day + 1));
    EXPECT_FALSE(ScheduledCheckDue(0, last, last + day));
    EXPECT_TRUE(ScheduledCheckDue(0, last, last + day + 1));
    EXPECT_TRUE(ScheduledCheckDue(3, last, last + 90 * day + 1));
    EXPECT_FALSE(ScheduledCheckDue(4, last, last + 180 * day));
    // Values outside the table mean a month.
    for (int range : {2, 6, -1, 99}) {
        EXPECT_FALSE(ScheduledCheckDue(range, last, last + 30 * day)) << range;
        EXPECT_TRUE(ScheduledCheckDue(range, last, last + 30 * day + 1)) << range;
    }
    EXPECT_FALSE(ScheduledCheckDue(5, 0, last));
}

TEST_F(UpdateCheckTest, ScheduledCheckAsksWhenDueAndMovesTheDate) {
    const int64_t day = 86400;
    const int32_t last = 1'700'000'000;
    Settings s;
    s.updateRange = 1;
    s.updateDate = last;

    FakeHost notYet;
    notYet.now = last + 7 * day;
    EXPECT_FALSE(RunScheduledUpdateCheck(s, notYet));
    EXPECT_TRUE(notYet.shown.empty());
    EXPECT_EQ(s.updateDate, last);

    // Answering No moves the date to now: the question waits a full interval.
    FakeHost no;
    no.now = last + 7 * day + 1;
    EXPECT_TRUE(RunScheduledUpdateCheck(s, no));
    EXPECT_EQ(no.shown, (std::vector<std::string>{kAskCheck}));
    EXPECT_EQ(s.updateDate, last + 7 * day + 1);
    no.shown.clear();
    no.now += 7 * day;
    EXPECT_FALSE(RunScheduledUpdateCheck(s, no));
    EXPECT_TRUE(no.shown.empty());

    // Yes checks; the date is taken after the check has finished, also
    // when the check failed.
    FakeHost yes;
    yes.answerAskCheck = true;
    yes.now = s.updateDate + 7 * day + 1;
    yes.nowAfterFetch = yes.now + 12;
    EXPECT_TRUE(RunScheduledUpdateCheck(s, yes));
    EXPECT_EQ(yes.shown, (std::vector<std::string>{kAskCheck, kFetch, kConnectionProblem}));
    EXPECT_EQ(s.updateDate, yes.nowAfterFetch);
}

TEST_F(UpdateCheckTest, NeverIsNeverAskedButTheCommandStillChecks) {
    Settings s;
    s.updateRange = 5;
    s.updateDate = 0;
    FakeHost host;
    host.now = 1'700'000'000;
    host.fetched = "290";
    EXPECT_FALSE(RunScheduledUpdateCheck(s, host));
    EXPECT_TRUE(host.shown.empty());
    EXPECT_EQ(s.updateDate, 0);

    EXPECT_EQ(CheckForUpdate(host), UpdateOutcome::NoUpdate);
    EXPECT_EQ(host.shown, (std::vector<std::string>{kFetch, kNoUpdate}));
    EXPECT_EQ(s.updateDate, 0);
}

TEST_F(UpdateCheckTest, CheckAgainstALoopbackServer) {
    struct Case {
        std::string body;
        std::string outcome;
    };
    const std::vector<Case> cases{{"291", kNewUpdate},
                                  {"290", kNoUpdate},
                                  {"   300", kNewUpdate},
                                  {"\r\n291", kConnectionProblem},
                                  {"latest", kConnectionProblem}};
    for (const Case& c : cases) {
        LoopbackServer server = LoopbackServer::WithBody(c.body);
        setenv("TARNWICK_SITE", server.Site().c_str(), 1);
        struct RealFetch : FakeHost {
            std::string Fetch(const std::string& url, const std::string& agent) override {
                return FetchUpdateInfo(url, agent);
            }
        } host;
        CheckForUpdate(host);
        EXPECT_EQ(host.shown, (std::vector<std::string>{c.outcome})) << "body " << c.body;
        EXPECT_NE(server.Request().find("GET /files/tarnwick.dat HTTP/1.0\r\n"), std::string::npos);
    }
}
