// Control requests: reading SOAP, binding arguments to a service's table, and the faults.
#include "control.h"
#include "recording_service.h"
#include "scpd.h"
#include "soap.h"

#include <http/server.h>

#include <gtest/gtest.h>

#include <optional>
#include <regex>

namespace
{
using upnphost::ControlAnswer;
using upnphost::LoadedService;

constexpr const char* kType = "urn:test:service:Echo:1";

std::string envelope(const std::string& action, const std::string& arguments, const std::string& type = kType)
{
    return "<?xml version=\"1.0\"?>\n<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
           "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body><u:" +
           action + " xmlns:u=\"" + type + "\">" + arguments + "</u:" + action + "></s:Body></s:Envelope>";
}

// The errorCode and errorDescription of a fault, "" when the answer is none.
std::pair<std::string, std::string> faultOf(const ControlAnswer& answer)
{
    std::smatch code;
    std::smatch text;
    static const std::regex codePattern("<errorCode>([^<]*)</errorCode>");
    static const std::regex textPattern("<errorDescription>([^<]*)</errorDescription>");
    if (answer.status != 500 || !std::regex_search(answer.body, code, codePattern) ||
        !std::regex_search(answer.body, text, textPattern))
        return {};
    return {code[1], text[1]};
}

class Control : public ::testing::Test
{
protected:
    Control()
    {
        m_service.info.serviceType = kType;
        m_recording = new upnphosttest::RecordingService;
        *m_service.object.out() = m_recording;
    }

    // Without a SOAPACTION given, the one naming the body's action, as a control point sends it.
    ControlAnswer run(const std::string& body, std::optional<std::string> soapAction = {},
                      const std::string& contentType = "text/xml; charset=\"utf-8\"")
    {
        static const std::regex action("<u:([A-Za-z]+) xmlns:u=\"([^\"]*)\"");
        std::smatch match;
        if (!soapAction)
            soapAction = std::regex_search(body, match, action)
                             ? "\"" + match[2].str() + "#" + match[1].str() + "\""
                             : std::string();
        return upnphost::runControl(m_service, {contentType, *soapAction}, body);
    }

    LoadedService m_service;
    upnphosttest::RecordingService* m_recording = nullptr;
};

TEST_F(Control, AnActionGetsItsArgumentsAndAnswersItsResults)
{
    const ControlAnswer answer =
        run(envelope("Echo",
                     "<count>4294967295</count><text>a&amp;b &lt;c&gt; &#x20AC;</text><number>-21</number>"),
            std::string("\"") + kType + "#Echo\"");
    ASSERT_EQ(answer.status, 200) << answer.body;
    EXPECT_EQ(m_recording->lastText, u"a&b <c> \u20AC");
    EXPECT_EQ(m_recording->lastNumber, -21);
    EXPECT_EQ(m_recording->lastCount, 4294967295u);
    EXPECT_EQ(answer.body, "<?xml version=\"1.0\"?>\n"
                           "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
                           "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">\n<s:Body>\n"
                           "<u:EchoResponse xmlns:u=\"urn:test:service:Echo:1\">\n"
                           "<textBack>a&amp;b &lt;c&gt; \xE2\x82\xAC</textBack>\n<twice>-42</twice>\n"
                           "</u:EchoResponse>\n</s:Body>\n</s:Envelope>\n");
}

TEST_F(Control, WrongActionsAndArgumentsAreRefusedBeforeTheService)
{
    struct Case
    {
        const char* what;
        std::string body;
        std::optional<std::string> soapAction;
        int code;
    };
    const std::string good = "<text>x</text><number>1</number><count>2</count>";
    const Case cases[] = {
        {"unknown action", envelope("Shout", good), std::nullopt, upnphost::kInvalidAction},
        {"other service type", envelope("Echo", good, "urn:test:service:Other:1"), std::nullopt,
         upnphost::kInvalidAction},
        {"SOAPACTION names another action", envelope("Echo", good), std::string(kType) + "#Fail",
         upnphost::kInvalidAction},
        {"missing argument", envelope("Echo", "<text>x</text><number>1</number>"), std::nullopt,
         upnphost::kInvalidArgs},
        {"unknown argument", envelope("Echo", good + "<extra>1</extra>"), std::nullopt,
         upnphost::kInvalidArgs},
        {"argument twice", envelope("Echo", good + "<text>y</text>"), std::nullopt, upnphost::kInvalidArgs},
        {"out argument given", envelope("Echo", good + "<twice>2</twice>"), std::nullopt,
         upnphost::kInvalidArgs},
        {"i4 beyond 32 bits", envelope("Echo", "<text>x</text><number>2147483648</number><count>2</count>"),
         std::nullopt, upnphost::kInvalidArgs},
        {"negative ui4", envelope("Echo", "<text>x</text><number>1</number><count>-1</count>"), std::nullopt,
         upnphost::kInvalidArgs},
        {"no number", envelope("Echo", "<text>x</text><number>12x</number><count>2</count>"), std::nullopt,
         upnphost::kInvalidArgs},
        {"empty number", envelope("Echo", "<text>x</text><number></number><count>2</count>"), std::nullopt,
         upnphost::kInvalidArgs},
    };
    for (const Case& c : cases)
        EXPECT_EQ(faultOf(run(c.body, c.soapAction)).first, std::to_string(c.code)) << c.what;
    EXPECT_EQ(m_recording->calls, 0);
}

TEST_F(Control, RequestsWithoutTheHeadersOfUPnPControlRunNoAction)
{
    struct Case
    {
        const char* what;
        std::string contentType;
        std::optional<std::string> soapAction; // none: the header naming the action
        int status;
        std::string code;
    };
    const Case cases[] = {
        {"text/plain without SOAPACTION", "text/plain", "", 415, ""},
        {"text/plain", "text/plain", std::nullopt, 415, ""},
        {"a form", "application/x-www-form-urlencoded", std::nullopt, 415, ""},
        {"no content type", "", std::nullopt, 415, ""},
        {"a longer type", "text/xmlish", std::nullopt, 415, ""},
        {"no SOAPACTION", "text/xml", "", 500, "401"},
        {"SOAPACTION of quotes alone", "text/xml", "\"\"", 500, "401"},
        {"SOAPACTION without the service type", "text/xml", "\"#Echo\"", 500, "401"},
    };
    const std::string echo = envelope("Echo", "<text>x</text><number>1</number><count>2</count>");
    for (const Case& c : cases)
    {
        const ControlAnswer answer = run(echo, c.soapAction, c.contentType);
        EXPECT_EQ(answer.status, c.status) << c.what;
        EXPECT_EQ(faultOf(answer).first, c.code) << c.what;
    }
    EXPECT_EQ(m_recording->calls, 0);
    // The type ignores case and takes parameters.
    for (const char* type : {"text/xml", "TEXT/XML ; charset=\"utf-8\"", "text/xml;charset=utf-8"})
        EXPECT_EQ(run(echo, std::nullopt, type).status, 200) << type;
}

TEST_F(Control, BodiesThatAreNoControlRequestGet400)
{
    const std::string action = "<u:Echo xmlns:u=\"urn:test:service:Echo:1\"/>";
    const char* bodies[] = {
        "",
        "not xml",
        "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>",
        "<Envelope><Body><u:Echo xmlns:u=\"urn:test:service:Echo:1\"/></Body></Envelope>",
        "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"></s:Envelope>",
        "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>"
        "<u:Echo xmlns:u=\"urn:test:service:Echo:1\"/><u:Echo xmlns:u=\"urn:test:service:Echo:1\"/>"
        "</s:Body></s:Envelope>",
        "<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY a \"aaaa\">]>"
        "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>"
        "<u:Echo xmlns:u=\"urn:test:service:Echo:1\"><text>&a;</text></u:Echo></s:Body></s:Envelope>",
    };
    for (const char* body : bodies)
        EXPECT_EQ(run(body).status, 400) << body;
    EXPECT_EQ(run(envelope("Echo", "<text>x</text><number>1</number><count>2</count>")).status, 200)
        << action;
}

TEST_F(Control, FailuresBecomeUPnPErrorsWithTheServiceText)
{
    struct Case
    {
        uint32_t result;
        std::string code;
        std::string text;
    };
    const Case cases[] = {
        {0x800405C7, "711", "Failed &lt;on&gt; purpose"},
        {0x800405BC, "700", "Failed &lt;on&gt; purpose"},
        {0x80040300 + 600, "600", "Failed &lt;on&gt; purpose"},
        {0x80040300 + 899, "899", "Failed &lt;on&gt; purpose"},
        {0x80040300 + 900, "501", "Failed &lt;on&gt; purpose"},
        {0x80040300 + 599, "501", "Failed &lt;on&gt; purpose"},
        {0x8007000E, "501", "Failed &lt;on&gt; purpose"},
        {0x80004005, "501", "UPnPError"}, // no text from the service
    };
    for (const Case& c : cases)
    {
        const ControlAnswer answer =
            run(envelope("Fail", "<result>" + std::to_string(c.result) + "</result>"));
        EXPECT_EQ(faultOf(answer), std::make_pair(c.code, c.text)) << std::hex << c.result;
        EXPECT_NE(answer.body.find("<faultstring>UPnPError</faultstring>"), std::string::npos);
    }
}

TEST_F(Control, PropertiesAreQueriedAsStateVariables)
{
    const std::string control = "urn:schemas-upnp-org:control-1-0";
    ControlAnswer answer = run(envelope("QueryStateVariable", "<varName>Note</varName>", control));
    ASSERT_EQ(answer.status, 200);
    EXPECT_NE(answer.body.find("<return>a &amp; b</return>"), std::string::npos) << answer.body;
    answer = run(envelope("QueryStateVariable", "<varName>Level</varName>", control));
    EXPECT_NE(answer.body.find("<return>-7</return>"), std::string::npos) << answer.body;
    EXPECT_EQ(faultOf(run(envelope("QueryStateVariable", "<varName>Nothing</varName>", control))).first,
              "404");
    EXPECT_EQ(faultOf(run(envelope("QueryStateVariable", "<name>Level</name>", control))).first, "402");
}

TEST(Scpd, ArgumentsGetStateVariablesAndTheFirstResultIsTheReturnValue)
{
    using T = UPnPDataType;
    const UPnPServiceTable table{
        {{"Get", {{"key", T::string, false}, {"value", T::string, true}, {"size", T::ui4, true}}},
         {"Count", {{"key", T::i4, false}}}},
        {{"Level", T::i4}}};
    const std::string text = upnphost::scpdText(table);
    EXPECT_EQ(
        text,
        "<?xml version=\"1.0\"?>\n<scpd xmlns=\"urn:schemas-upnp-org:service-1-0\">\n"
        "\t<specVersion>\n\t\t<major>1</major>\n\t\t<minor>0</minor>\n\t</specVersion>\n"
        "\t<actionList>\n"
        "\t\t<action>\n\t\t\t<name>Get</name>\n\t\t\t<argumentList>\n"
        "\t\t\t\t<argument>\n\t\t\t\t\t<name>key</name>\n\t\t\t\t\t<direction>in</direction>\n"
        "\t\t\t\t\t<relatedStateVariable>A_ARG_TYPE_key</relatedStateVariable>\n\t\t\t\t</argument>\n"
        "\t\t\t\t<argument>\n\t\t\t\t\t<name>value</name>\n\t\t\t\t\t<direction>out</direction>\n"
        "\t\t\t\t\t<retval/>\n"
        "\t\t\t\t\t<relatedStateVariable>A_ARG_TYPE_value</relatedStateVariable>\n\t\t\t\t</argument>\n"
        "\t\t\t\t<argument>\n\t\t\t\t\t<name>size</name>\n\t\t\t\t\t<direction>out</direction>\n"
        "\t\t\t\t\t<relatedStateVariable>A_ARG_TYPE_size</relatedStateVariable>\n\t\t\t\t</argument>\n"
        "\t\t\t</argumentList>\n\t\t</action>\n"
        "\t\t<action>\n\t\t\t<name>Count</name>\n\t\t\t<argumentList>\n"
        "\t\t\t\t<argument>\n\t\t\t\t\t<name>key</name>\n\t\t\t\t\t<direction>in</direction>\n"
        "\t\t\t\t\t<relatedStateVariable>A_ARG_TYPE_key_i4</relatedStateVariable>\n\t\t\t\t</argument>\n"
        "\t\t\t</argumentList>\n\t\t</action>\n"
        "\t</actionList>\n\t<serviceStateTable>\n"
        "\t\t<stateVariable sendEvents=\"no\">\n\t\t\t<name>Level</name>\n\t\t\t<dataType>i4</dataType>\n"
        "\t\t</stateVariable>\n"
        "\t\t<stateVariable sendEvents=\"no\">\n\t\t\t<name>A_ARG_TYPE_key</name>\n"
        "\t\t\t<dataType>string</dataType>\n\t\t</stateVariable>\n"
        "\t\t<stateVariable sendEvents=\"no\">\n\t\t\t<name>A_ARG_TYPE_key_i4</name>\n"
        "\t\t\t<dataType>i4</dataType>\n\t\t</stateVariable>\n"
        "\t\t<stateVariable sendEvents=\"no\">\n\t\t\t<name>A_ARG_TYPE_size</name>\n"
        "\t\t\t<dataType>ui4</dataType>\n\t\t</stateVariable>\n"
        "\t\t<stateVariable sendEvents=\"no\">\n\t\t\t<name>A_ARG_TYPE_value</name>\n"
        "\t\t\t<dataType>string</dataType>\n\t\t</stateVariable>\n"
        "\t</serviceStateTable>\n</scpd>\n");
}

TEST(ControlPaths, UrlsResolveAgainstTheDescriptionAndDecode)
{
    struct Case
    {
        std::string base;
        std::string url;
        std::string path;
    };
    const Case cases[] = {
        {"/upnp/abc.xml", "NetheraldService.xml", "/upnp/NetheraldService.xml"},
        {"/upnp/abc.xml", "/upnpisapi?uuid:abc+urn:x", "/upnpisapi?uuid:abc+urn:x"},
        {"/upnp/abc.xml", "http://192.0.2.7:5120/ctl/x", "/ctl/x"},
        {"/upnp/abc.xml", "http://192.0.2.7:5120", "/"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(upnphost::resolvePath(c.base, c.url), c.path) << c.url;
    // Control paths compare decoded, with "+" kept.
    EXPECT_EQ(http::percentDecode("/upnpisapi?uuid%3Aabc+urn%3ax%2"), "/upnpisapi?uuid:abc+urn:x%2");
    EXPECT_EQ(http::percentDecode("%zz%4"), "%zz%4");
}
} // namespace
