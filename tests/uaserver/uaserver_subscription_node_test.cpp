// Subscriptions of uaserver_testserver as the outside client (node-opcua-client) sees them over
// loopback: data changes, writes and deadbands, event filters and the subscription counts; and the
// values a client acts on (full queues, a percent deadband, refused filters, ServerStatus, the type
// definitions, status codes of history and writes).
#include "test_certificates.h"
#include "testserver_process.h"
#include "values_clients_act_on.h"
#include "uatcp_node_runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

using namespace uaservertest;
using uatcp::test::jsonField;
using uatcp::test::jsonText;
using uatcp::test::ProcessResult;
using uatcp::test::runNodeScript;

namespace
{
// One case of the script, with more arguments, against a server of its own with options; its JSON
// line.
std::string runCase(const std::string& which, const std::vector<std::string>& options = {},
                    const std::vector<std::string>& arguments = {})
{
    TestServerProcess server(options);
    EXPECT_FALSE(server.url().empty());
    std::vector<std::string> args = {server.url(), which};
    args.insert(args.end(), arguments.begin(), arguments.end());
    const ProcessResult r = runNodeScript({}, "subscriptions.js", args, {}, 300);
    EXPECT_EQ(0, r.exitCode) << r.output;
    EXPECT_EQ(std::string::npos, r.output.find("\"error\"")) << r.output;
    EXPECT_EQ(1, jsonField(r.output, "closed")) << r.output;
    EXPECT_EQ(0, server.stop());
    return r.output;
}

std::vector<long> numbers(const std::string& list)
{
    std::vector<long> result;
    std::stringstream in(list);
    for (std::string item; std::getline(in, item, ',');)
        result.push_back(std::stol(item));
    return result;
}

struct Expected
{
    const char* field;
    const char* text;
};

void expectTexts(const std::string& json, std::initializer_list<Expected> rows)
{
    for (const Expected& row : rows)
        EXPECT_EQ(jsonText(json, row.field), row.text) << row.field << " in " << json;
}
} // namespace

TEST(SubscriptionsOverTheWire, ValuesArriveInOrderWritesArriveAndAnAbsoluteDeadbandHoldsBackSmallSteps)
{
    const std::string json = runCase("data");
    expectTexts(json, {
                          {"itemStatus", "Good,Good,Good,Good"},
                          {"writeStatus", "Good"},
                          // The initial value, then the written one.
                          {"written", "-7,42"},
                          // 3.5 written 10, 12, 20: every value without a filter; under the
                          // deadband 5 the 12 stays back, as it is within 5 of the 10 last sent.
                          {"plain", "3.5,10,12,20"},
                          {"deadband", "3.5,10,20"},
                      });
    // The counter counts up every 100 ms: a sample may miss a step on a busy machine, but values
    // never repeat or go back.
    const std::vector<long> counter = numbers(jsonText(json, "counter"));
    EXPECT_GE(counter.size(), 15u) << json;
    EXPECT_EQ(std::adjacent_find(counter.begin(), counter.end(), std::greater_equal<long>()), counter.end())
        << json;
}

TEST(SubscriptionsOverTheWire, AnEventItemFilteringSeverityGetsOnlyTheSevereEventWithItsFields)
{
    const std::string json = runCase("events");
    expectTexts(json, {
                          {"itemStatus", "Good,Good,Good"},
                          {"callStatus", "Good,Good"},
                          // Severity >= 500 on the event source and on the Server object above it.
                          {"filteredMessages", "high event"},
                          {"filteredSeverities", "700"},
                          {"serverMessages", "high event"},
                          {"serverSeverities", "700"},
                          // Without a filter both, in the order fired.
                          {"allMessages", "low event,high event"},
                          {"allSeverities", "100,700"},
                          {"eventType", "ns=0;i=2041"},
                          {"sourceNode", "ns=2;i=20"},
                          {"sourceName", "EventSource"},
                      });
    EXPECT_EQ(16, jsonField(json, "eventIdLength")) << json;
    EXPECT_EQ(1, jsonField(json, "timeDuringCalls")) << json;
    EXPECT_EQ(1, jsonField(json, "receiveTimeDuringCalls")) << json;
}

TEST(SubscriptionsOverTheWire, KeepAlivesModifyTriggeringModesDeleteRepublishAndTransfer)
{
    // The user's password goes encrypted for the server's certificate.
    sectest::TempFolder folder;
    const sectest::Identity server = sectest::makeIdentity("uaserver test server", 2048);
    sectest::writeFile(folder.path() + "/server.der", server.certificate);
    sectest::writeFile(folder.path() + "/server.key", server.privateKeyPem());
    // Keep-alives every 10 intervals rather than after the application's minimum of 5 s.
    const std::string json =
        runCase("services",
                {"--user", "tester:secret", "--min-keep-alive-interval", "0", "--certificate",
                 folder.path() + "/server.der", "--key", folder.path() + "/server.key"},
                {"tester", "secret"});
    EXPECT_EQ(1, jsonField(json, "keptAlive")) << json;
    EXPECT_EQ(200, jsonField(json, "modifiedInterval")) << json;
    EXPECT_EQ(1, jsonField(json, "reportsAgain")) << json;
    EXPECT_EQ(1, jsonField(json, "deleted")) << json;
    expectTexts(json, {
                          {"linkResults", "Good"},
                          // A Sampling item reports only with its triggering item.
                          {"triggered", "-7"},
                          // Disabled, then Reporting again.
                          {"modeResults", "Good,Good"},
                          // Number 1 was acknowledged long ago.
                          {"republish", "BadMessageNotAvailable"},
                          // An anonymous session may not take it over; one of the same user may.
                          {"transferResults",
                           "BadUserAccessDenied,BadSubscriptionIdInvalid;Good,BadSubscriptionIdInvalid"},
                      });
}

TEST(SubscriptionsOverTheWire, AfterAClientDisconnectsASecondOneReadsNoCurrentSubscription)
{
    const std::string json = runCase("counts");
    EXPECT_EQ(1, jsonField(json, "currentWithOne")) << json;
    EXPECT_EQ(0, jsonField(json, "currentAfter")) << json;
    // The cumulated count keeps the one that left.
    EXPECT_EQ(1, jsonField(json, "cumulatedWithOne")) << json;
    EXPECT_EQ(1, jsonField(json, "cumulatedAfter")) << json;
}

TEST(SubscriptionsOverTheWire, QueuesEndOnTheCurrentValueFiltersApplyOrAreRefusedAndTheServerTellsTheTruth)
{
    TestServerProcess server({});
    ASSERT_FALSE(server.url().empty());
    const ProcessResult r = runNodeScript(
        {}, "values_clients_act_on.js",
        {server.url(),
         R"({"written": "ns=2;i=3", "dataType": "Int32", "ranged": "ns=2;i=6", "unranged": "ns=2;i=2"})"},
        {}, 300);
    EXPECT_EQ(0, r.exitCode) << r.output;
    const std::string& json = r.output;
    EXPECT_EQ(std::string::npos, json.find("\"error\"")) << json;
    EXPECT_EQ(1, jsonField(json, "closed")) << json;
    EXPECT_EQ(0, server.stop());
    expectValuesClientsActOn(json);
    expectTexts(json, {
                          // 10 % of the range 0 to 200: 60 and 80 stay within 20 of what was sent.
                          {"percentStatus", "Good"},
                          {"percentPlain", "50,60,75,80"},
                          {"percentHeld", "50,75"},
                      });
}
