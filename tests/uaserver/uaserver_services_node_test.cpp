// The attribute, view and method services of the test server as an outside client sees them: it
// reads, writes, translates and browses all of namespace 0, under None and under Basic256
// SignAndEncrypt, and calls methods with arguments of the declared types and of others.
#include "uaserver_wire.h"

#include "uatcp_node_runner.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

using namespace uaserver::wire;

namespace
{
// The namespace-0 node ids in a line of the script's JSON after "name":[.
std::set<OpcUa_UInt32> numbersOf(const std::string& json, const std::string& name)
{
    std::set<OpcUa_UInt32> numbers;
    const size_t start = json.find("\"" + name + "\":[");
    if (start == std::string::npos)
        return numbers;
    std::stringstream list(
        json.substr(start + name.size() + 4, json.find(']', start) - start - name.size() - 4));
    for (std::string item; std::getline(list, item, ',');)
        numbers.insert(static_cast<OpcUa_UInt32>(std::stoul(item)));
    return numbers;
}

std::string variablesJson()
{
    std::string json = "[";
    for (const TestVariable& variable : testVariables())
        json += std::string(json.size() > 1 ? "," : "") + "{\"nodeId\":\"" + variable.nodeId +
                "\",\"dataType\":\"" + variable.dataType + "\",\"value\":" + variable.jsonValue + "}";
    return json + "]";
}

// Runs the outside client's script over a policy; its JSON line, with no failed check.
std::string runServicesScript(const std::string& url, const std::vector<std::string>& security)
{
    std::vector<std::string> args = {url};
    args.insert(args.end(), security.begin(), security.end());
    args.insert(args.begin() + 2, variablesJson());
    const uatcp::test::ProcessResult run = uatcp::test::runNodeScript({}, "services.js", args, {}, 300);
    EXPECT_EQ(run.exitCode, 0) << run.output;
    const size_t line = run.output.rfind("{\"failures\":");
    if (line == std::string::npos)
        return "";
    const std::string json = run.output.substr(line);
    EXPECT_NE(json.find("\"failures\":[]"), std::string::npos) << json;
    return json;
}
} // namespace

TEST(ServicesOnTheWire, AnOutsideClientReadsWritesTranslatesAndBrowsesAllOfNamespaceZero)
{
    TestServerProcess server({});
    ASSERT_FALSE(server.url().empty());
    const std::string json = runServicesScript(server.url(), {"none"});
    const std::set<OpcUa_UInt32> reached = numbersOf(json, "reached");
    // Every continuation point followed, three references at a time, reaches what the walk in
    // process reaches, node for node.
    EXPECT_EQ(reached, namespaceZeroWalk());
    EXPECT_GT(uatcp::test::jsonField(json, "continuations"), 0);
    EXPECT_EQ(nodesNotInTheStandard(reached), std::vector<OpcUa_UInt32>{});
}

TEST(ServicesOnTheWire, TheSameUnderBasic256SignAndEncrypt)
{
    SecuredClientFiles files;
    ASSERT_TRUE(files.ready());
    TestServerProcess server(files.serverOptions(), files.serverEnvironment());
    ASSERT_FALSE(server.url().empty());
    const std::string json =
        runServicesScript(server.url(), {"basic256", files.clientCertificateFile(), files.clientKeyFile()});
    EXPECT_EQ(numbersOf(json, "reached"), namespaceZeroWalk());
}

TEST(ServicesOnTheWire, CallsAreCheckedAgainstTheArgumentsTheMethodDeclares)
{
    const std::string multiply = R"("objectId":"ns=2;i=10","methodId":"ns=2;i=11")";
    const std::string fireEvent = R"("objectId":"ns=2;i=20","methodId":"ns=2;i=21")";
    struct Row
    {
        const char* name;
        const std::string& method;
        const char* inputArguments;
        const char* expected; // status, input argument results, "= outputs"
    };
    const Row rows[] = {
        {"Multiply(Double, Double)", multiply,
         R"([{"dataType":"Double","value":2},{"dataType":"Double","value":3}])", "Good = 6"},
        {"Multiply(String, Double)", multiply,
         R"([{"dataType":"String","value":"2"},{"dataType":"Double","value":3}])",
         "BadInvalidArgument BadTypeMismatch,Good"},
        {"Multiply(Double[], Double)", multiply,
         R"([{"dataType":"Double","value":[2],"array":true},{"dataType":"Double","value":3}])",
         "BadInvalidArgument BadTypeMismatch,Good"},
        {"Multiply(Double)", multiply, R"([{"dataType":"Double","value":2}])", "BadArgumentsMissing"},
        {"Multiply(Double, Double, Double)", multiply,
         R"([{"dataType":"Double","value":2},{"dataType":"Double","value":3},{"dataType":"Double","value":4}])",
         "BadTooManyArguments"},
        {"FireEvent(String, UInt16)", fireEvent,
         R"([{"dataType":"String","value":"m"},{"dataType":"UInt16","value":500}])", "Good"},
        {"FireEvent(String, Byte)", fireEvent,
         R"([{"dataType":"String","value":"m"},{"dataType":"Byte","value":5}])",
         "BadInvalidArgument Good,BadTypeMismatch"},
        {"FireEvent(String, String)", fireEvent,
         R"([{"dataType":"String","value":"m"},{"dataType":"String","value":"500"}])",
         "BadInvalidArgument Good,BadTypeMismatch"},
    };
    std::string calls = "[";
    for (const Row& row : rows)
        calls += std::string(calls.size() > 1 ? "," : "") + "{" + row.method +
                 ",\"inputArguments\":" + row.inputArguments + "}";
    calls += "]";

    TestServerProcess server({});
    ASSERT_FALSE(server.url().empty());
    const uatcp::test::ProcessResult run =
        uatcp::test::runNodeScript({}, "method_calls.js", {server.url(), calls}, {}, 300);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(uatcp::test::jsonText(run.output, "error"), "") << run.output;
    // The standard names in namespace 0, which is where clients look for them.
    EXPECT_EQ(uatcp::test::jsonText(run.output, "properties"), "0:InputArguments,0:OutputArguments");
    EXPECT_EQ(uatcp::test::jsonText(run.output, "inputTypes"), "ns=0;i=11,ns=0;i=11");
    for (std::size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(uatcp::test::jsonText(run.output, "call" + std::to_string(i)), rows[i].expected)
            << rows[i].name;
}
