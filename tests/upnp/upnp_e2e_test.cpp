// The device as a peer sees it: the host daemon serving Netherald, registered by regsvr,
// with the device manager and the simulated device-profile driver behind it. Outside a
// private network namespace the device stays on 127.0.0.1 without multicast; inside one
// (UPNP_TEST_ADDRESS set, see in_private_network.sh) SSDP is on as well.
#include "raw_client.h"
#include "test_support.h"

#include <device_manager_process.h>
#include <windows.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <regex>
#include <string_view>

namespace
{
using httptest::bodyOf;
using httptest::statusOf;

constexpr const char* kServiceType = "urn:corvanta-com:service:Netherald:1";

std::string namespaceAddress()
{
    const char* address = std::getenv("UPNP_TEST_ADDRESS");
    return address ? address : "";
}

std::string soapBody(const std::string& action, const std::string& arguments)
{
    return std::string(
               "<?xml version=\"1.0\"?>\n<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
               "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body><u:") +
           action + " xmlns:u=\"" + kServiceType + "\">" + arguments + "</u:" + action +
           "></s:Body></s:Envelope>";
}

std::string readArguments(unsigned indexOffset, int length)
{
    return "<netId></netId><nPort>0</nPort><indexGroup>0</indexGroup><indexOffset>" +
           std::to_string(indexOffset) + "</indexOffset><cbRdLen>" + std::to_string(length) + "</cbRdLen>";
}

std::string element(const std::string& text, const std::string& name)
{
    std::smatch match;
    if (!std::regex_search(text, match, std::regex("<" + name + ">([^<]*)</" + name + ">")))
        return "<none>";
    return match[1];
}

// The path a control point asks for to follow a link of the description: the link resolved
// against the description's URL as RFC 3986 has it ("\" is no separator there, and a bare
// name lies in the description's folder), with what a path may not hold percent-encoded.
std::string linkPath(const std::string& descriptionPath, const std::string& link)
{
    std::string path = link;
    if (link.rfind("http://", 0) == 0)
        path = link.substr(std::min(link.find('/', 7), link.size()));
    else if (link.empty() || link.front() != '/')
        path = descriptionPath.substr(0, descriptionPath.rfind('/') + 1) + link;
    std::string encoded;
    for (const char c : path)
    {
        if (std::isalnum(static_cast<unsigned char>(c)) ||
            std::string_view("/-._~!$&'()*+,;=:@%").find(c) != std::string_view::npos)
            encoded += c;
        else
        {
            char escape[4];
            std::snprintf(escape, sizeof escape, "%%%02X", static_cast<unsigned char>(c));
            encoded += escape;
        }
    }
    return encoded.empty() ? "/" : encoded;
}

// A UDP socket in the SSDP group on the test address, to hear notices and answers.
class SsdpSocket
{
public:
    // Bound to port 1900 (to hear the group) or to any port (to search from).
    SsdpSocket(const std::string& address, bool groupPort)
    {
        m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const int on = 1;
        setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(groupPort ? 1900 : 0);
        inet_pton(AF_INET, groupPort ? "0.0.0.0" : address.c_str(), &local.sin_addr);
        m_ok = bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
        in_addr interfaceAddress{};
        inet_pton(AF_INET, address.c_str(), &interfaceAddress);
        ip_mreq membership{};
        inet_pton(AF_INET, "239.255.255.250", &membership.imr_multiaddr);
        membership.imr_interface = interfaceAddress;
        if (groupPort)
            m_ok =
                m_ok && setsockopt(m_fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) == 0;
        m_ok = m_ok &&
               setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_IF, &interfaceAddress, sizeof interfaceAddress) == 0;
    }
    ~SsdpSocket() { close(m_fd); }
    bool ok() const { return m_ok; }

    bool sendToGroup(const std::string& datagram)
    {
        sockaddr_in group{};
        group.sin_family = AF_INET;
        group.sin_port = htons(1900);
        inet_pton(AF_INET, "239.255.255.250", &group.sin_addr);
        return sendto(m_fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&group),
                      sizeof group) == static_cast<ssize_t>(datagram.size());
    }

    // Datagrams until `found` accepts one; false when none did within a generous time.
    bool waitFor(const std::function<bool(const std::string&)>& found)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline)
        {
            pollfd descriptor{m_fd, POLLIN, 0};
            if (poll(&descriptor, 1, 1000) <= 0)
                continue;
            char buffer[4096];
            const ssize_t n = recv(m_fd, buffer, sizeof buffer, 0);
            if (n > 0 && found(std::string(buffer, static_cast<size_t>(n))))
                return true;
        }
        return false;
    }

private:
    int m_fd = -1;
    bool m_ok = false;
};

class UPnPDevice : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_address = namespaceAddress().empty() ? "127.0.0.1" : namespaceAddress();
        m_manager.writeFile("GktSim.txt", R"(
object 0x2000 RECORD "Test Values"
  0 UINT16 ro 2 "Number of Entries"
  1 UINT16 rw 0x3412 "Pair"
  2 UINT32 rw 7 "Value"
)");
        m_manager.writeFile(".adapters", adapters());
        ASSERT_TRUE(m_manager.start()) << m_manager.log();
        ostest::setRegistryString(HKEY_LOCAL_MACHINE, u"Platform", u"HostAddress", os::toUtf16(m_address));
        ostest::setRegistryDword(HKEY_LOCAL_MACHINE, u"Platform", u"SsdpEnable", multicast() ? 1 : 0);
        ostest::setRegistryString(HKEY_LOCAL_MACHINE, u"Ident", u"Name", u"panel-7");
        ostest::setRegistryString(HKEY_LOCAL_MACHINE, u"Ident", u"DeviceType", u"IPC-4120");
        ostest::setRegistryDword(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Corvanta\\UPnP", u"EnableLogFile", 1);
        if (multicast())
        {
            m_listener = std::make_unique<SsdpSocket>(m_address, true);
            ASSERT_TRUE(m_listener->ok());
        }

        ASSERT_NO_FATAL_FAILURE(startDevice());
    }

    // The host, then Netherald registered with it, as ./run starts them; m_udn is the UDN
    // the device names in its web folder.
    void startDevice()
    {
        // In the namespace the port is the device's own 5120, which the notices name.
        m_host = std::make_unique<ostest::ChildProcess>(
            std::vector<std::string>{"--http-port", multicast() ? "5120" : "0"},
            os::programDirectory() + "/upnphostd");
        const std::string serving = m_host->readLine(60000);
        std::smatch match;
        ASSERT_TRUE(
            std::regex_match(serving, match, std::regex("upnphostd: serving http://([0-9.]+):([0-9]+)")))
            << serving;
        ASSERT_EQ(match[1], m_address);
        m_port = static_cast<uint16_t>(std::stoi(match[2]));

        ostest::ChildProcess regsvr({"Netherald.dll"}, os::programDirectory() + "/regsvr");
        EXPECT_EQ(regsvr.readLine(60000), "DllRegisterServer in Netherald.dll succeeded.");
        const int status = regsvr.wait(60000);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

        const std::string script = bodyOf(get("/UpnpWebsite/upnp.js"));
        ASSERT_TRUE(std::regex_match(script, match,
                                     std::regex("var deviceid=\"([0-9a-f-]{36})\";\r\nvar winxp=false;")))
            << script;
        m_udn = match[1];
    }

    // The lines of the device root's ".adapters": the host's adapters as the device sees them.
    virtual std::string adapters() const
    {
        return "eth0 00-11-22-33-44-55 " + m_address + " 255.255.255.0 up\n";
    }

    void TearDown() override
    {
        stopHost();
        EXPECT_EQ(m_manager.stop(), 0);
    }

    // SIGTERM; the host's exit status.
    int stopHost()
    {
        if (!m_host)
            return -1;
        m_host->signal(SIGTERM);
        const int status = m_host->wait(60000);
        m_host.reset();
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    bool multicast() const { return !namespaceAddress().empty(); }

    std::string get(const std::string& target) { return httptest::get(m_port, target, m_address); }

    std::string controlUrl() const
    {
        return "/upnpisapi?uuid:" + m_udn + "+urn:corvanta-com:serviceId:Netherald1";
    }

    // A control request with these header lines, each ended by CR LF.
    std::string postWith(const std::string& headers, const std::string& body)
    {
        return httptest::exchange(m_port,
                                  "POST " + controlUrl() + " HTTP/1.1\r\nHost: " + m_address + "\r\n" +
                                      headers + "Content-Length: " + std::to_string(body.size()) +
                                      "\r\n\r\n" + body,
                                  m_address);
    }

    // A control request as a control point sends it (and the README shows it).
    std::string post(const std::string& body, const std::string& action = "Read",
                     const std::string& serviceType = kServiceType)
    {
        return postWith("Content-Type: text/xml; charset=\"utf-8\"\r\nSOAPACTION: \"" + serviceType + "#" +
                            action + "\"\r\n",
                        body);
    }

    devmgr::testing::DeviceManagerProcess m_manager;
    std::string m_address;
    uint16_t m_port = 0;
    std::string m_udn;
    std::unique_ptr<SsdpSocket> m_listener;
    std::unique_ptr<ostest::ChildProcess> m_host;
};

TEST_F(UPnPDevice, ServesItsDescriptionServiceDescriptionAndWebFolder)
{
    const std::string answer = get("/upnp/" + m_udn + ".xml");
    ASSERT_EQ(statusOf(answer), 200) << answer;
    EXPECT_NE(answer.find("Content-Type: text/xml; charset=\"utf-8\""), std::string::npos);
    const std::string description = bodyOf(answer);
    EXPECT_EQ(element(description, "UDN"), "uuid:" + m_udn);
    EXPECT_EQ(element(description, "controlURL"), controlUrl());
    EXPECT_EQ(element(description, "friendlyName"), "panel-7");
    EXPECT_EQ(description.find("DummyUDN"), std::string::npos);

    // A control point follows the icon and presentation links.
    std::vector<std::string> links;
    const std::regex linkElement("<(url|presentationURL)>([^<]*)</");
    for (auto it = std::sregex_iterator(description.begin(), description.end(), linkElement);
         it != std::sregex_iterator(); ++it)
        links.push_back((*it)[2]);
    ASSERT_EQ(links.size(), 3u) << description;
    for (const std::string& link : links)
    {
        const std::string target = linkPath("/upnp/" + m_udn + ".xml", link);
        const std::string answer = get(target);
        ASSERT_EQ(statusOf(answer), 200) << link << " as " << target;
        const bool icon = link.size() > 4 && link.substr(link.size() - 4) == ".gif";
        EXPECT_NE(answer.find(icon ? "Content-Type: image/gif" : "Content-Type: text/html"),
                  std::string::npos)
            << link;
    }

    const std::string scpd = get("/upnp/NetheraldService.xml");
    ASSERT_EQ(statusOf(scpd), 200);
    EXPECT_NE(bodyOf(scpd).find("<name>ReadWriteEx</name>"), std::string::npos);

    // The icons as the description names them, "\" and "%5C" read as "/".
    for (const char* icon :
         {"/UpnpWebsite/icon16.gif", "/%5CUpnpWebsite%5Cicon16.gif", "/upnpwebsite/ICON32.GIF"})
    {
        const std::string gif = get(icon);
        EXPECT_EQ(statusOf(gif), 200) << icon;
        EXPECT_EQ(bodyOf(gif).substr(0, 6), "GIF89a") << icon;
    }
    EXPECT_EQ(statusOf(get("/UpnpWebsite/")), 200);
    for (const char* missing :
         {"/upnp/DummyUDN.xml", "/UpnpWebsite/none.htm", "/UpnpWebsite/%2E%2E/UPnPLog.txt", "/registry.reg"})
        EXPECT_EQ(statusOf(get(missing)), 404) << missing;
    // A NUL cuts the name where the file is opened, not where its type is taken.
    EXPECT_EQ(statusOf(get("/UpnpWebsite/upnp.js%00.htm")), 400);
}

TEST_F(UPnPDevice, ActionsOverSoap)
{
    std::string answer = post(soapBody("Read", readArguments(0x20000100, 2)));
    ASSERT_EQ(statusOf(answer), 200) << answer;
    EXPECT_EQ(element(bodyOf(answer), "ppData"), "EjQA");

    answer = post(soapBody("Write", "<netId></netId><nPort>0</nPort><indexGroup>0</indexGroup>"
                                    "<indexOffset>536871424</indexOffset><pData>QgAAAA==</pData>"),
                  "Write");
    ASSERT_EQ(statusOf(answer), 200) << answer;
    answer = post(soapBody("Read", readArguments(0x20000200, 4)));
    EXPECT_EQ(element(bodyOf(answer), "ppData"), "QgAAAAA=");

    answer = post(soapBody("Read", readArguments(0x30000000, 4)));
    EXPECT_EQ(statusOf(answer), 500);
    EXPECT_EQ(element(bodyOf(answer), "errorCode"), "711");
    EXPECT_EQ(element(bodyOf(answer), "errorDescription"), "Invalid index");

    const std::string query =
        "<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>"
        "<u:QueryStateVariable xmlns:u=\"urn:schemas-upnp-org:control-1-0\"><varName>String</varName>"
        "</u:QueryStateVariable></s:Body></s:Envelope>";
    answer = post(query, "QueryStateVariable", "urn:schemas-upnp-org:control-1-0");
    EXPECT_EQ(element(bodyOf(answer), "return"), "Invalid index");
}

TEST_F(UPnPDevice, ControlRequestsAnyWebPageMaySendRunNoAction)
{
    // A page in the user's browser may post with these types and no SOAPACTION without asking.
    const std::string write = soapBody("Write", "<netId></netId><nPort>0</nPort><indexGroup>0</indexGroup>"
                                                "<indexOffset>536871168</indexOffset><pData>QgA=</pData>");
    const std::string action = std::string("SOAPACTION: \"") + kServiceType + "#Write\"\r\n";
    struct Case
    {
        const char* what;
        std::string headers;
        int status;
        std::string errorCode;
    };
    const Case cases[] = {
        {"text/plain from another site", "Content-Type: text/plain\r\nOrigin: http://evil.example\r\n", 415,
         "<none>"},
        {"a form", "Content-Type: application/x-www-form-urlencoded\r\n" + action, 415, "<none>"},
        {"no content type", action, 415, "<none>"},
        {"text/xml without SOAPACTION", "Content-Type: text/xml\r\nOrigin: http://evil.example\r\n", 500,
         "401"},
        {"an empty SOAPACTION", "Content-Type: text/xml\r\nSOAPACTION: \"\"\r\n", 500, "401"},
    };
    for (const Case& c : cases)
    {
        const std::string answer = postWith(c.headers, write);
        EXPECT_EQ(statusOf(answer), c.status) << c.what << "\n" << answer;
        EXPECT_EQ(element(bodyOf(answer), "errorCode"), c.errorCode) << c.what;
    }
    // Nothing was written; the request of a control point is still answered.
    const std::string answer = post(soapBody("Read", readArguments(0x20000100, 2)));
    ASSERT_EQ(statusOf(answer), 200) << answer;
    EXPECT_EQ(element(bodyOf(answer), "ppData"), "EjQA");
}

TEST_F(UPnPDevice, BadRequestsAreRefusedAndTheDeviceServesOn)
{
    struct Case
    {
        const char* what;
        std::string body;
        std::string action;
        int status;
        std::string errorCode;
    };
    const Case cases[] = {
        {"unknown action", soapBody("Reboot", ""), "Reboot", 500, "401"},
        {"missing argument", soapBody("Read", "<netId></netId><nPort>0</nPort>"), "Read", 500, "402"},
        {"no number",
         soapBody("Read",
                  "<netId></netId><nPort>x</nPort><indexGroup>0</indexGroup><indexOffset>1</indexOffset>"
                  "<cbRdLen>2</cbRdLen>"),
         "Read", 500, "402"},
        {"not XML", "<s:Envelope", "Read", 400, "<none>"},
        {"over 64 KiB", soapBody("Read", readArguments(1, 2) + "<pad>" + std::string(70000, 'x') + "</pad>"),
         "Read", 413, "<none>"},
    };
    for (const Case& c : cases)
    {
        const std::string answer = post(c.body, c.action);
        EXPECT_EQ(statusOf(answer), c.status) << c.what << "\n" << answer;
        EXPECT_EQ(element(bodyOf(answer), "errorCode"), c.errorCode) << c.what;
    }
    const std::string answer = post(soapBody("Read", readArguments(0x20000100, 2)));
    EXPECT_EQ(element(bodyOf(answer), "ppData"), "EjQA");
    EXPECT_EQ(statusOf(httptest::exchange(m_port,
                                          "POST /upnpisapi?uuid:nobody+x HTTP/1.1\r\nHost: " + m_address +
                                              "\r\nContent-Length: 0\r\n\r\n",
                                          m_address)),
              404);
}

TEST_F(UPnPDevice, KeepsItsUdnAcrossARestart)
{
    const std::string udn = m_udn;
    ASSERT_EQ(stopHost(), 0);
    ASSERT_NO_FATAL_FAILURE(startDevice());
    EXPECT_EQ(m_udn, udn);
    const std::string answer = get("/upnp/" + udn + ".xml");
    ASSERT_EQ(statusOf(answer), 200) << answer;
    EXPECT_EQ(element(bodyOf(answer), "UDN"), "uuid:" + udn);
}

// A host with loopback alone: the device lists no adapter.
class UPnPDeviceWithoutAdapters : public UPnPDevice
{
protected:
    std::string adapters() const override { return "# name  address  IPv4 address  mask\n"; }
};

TEST_F(UPnPDeviceWithoutAdapters, ServesWithAMacIdThatStaysAcrossARestart)
{
    // The set-up found the device's script; a control point's request is answered.
    const std::string answer = post(soapBody("Read", readArguments(0x20000100, 2)));
    ASSERT_EQ(statusOf(answer), 200) << answer;
    EXPECT_EQ(element(bodyOf(answer), "ppData"), "EjQA");

    // A locally administered address, not one of any adapter.
    const auto macId = []
    {
        return os::toUtf8(os::registryString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Corvanta\\UPnP", u"MacID")
                              .value_or(u"<missing>"));
    };
    const std::string first = macId();
    EXPECT_TRUE(std::regex_match(first, std::regex("02(-[0-9A-F]{2}){5}"))) << first;
    ASSERT_EQ(stopHost(), 0);
    ASSERT_NO_FATAL_FAILURE(startDevice());
    EXPECT_EQ(macId(), first);
}

TEST_F(UPnPDevice, HalfSentRequestsKeepTheDescriptionReachable)
{
    const auto probe = httptest::getAmongIdleConnections(m_port, "/upnp/" + m_udn + ".xml", 64,
                                                         std::chrono::seconds(30), m_address);
    ASSERT_EQ(statusOf(probe.answer), 200) << probe.answer;
    EXPECT_EQ(element(bodyOf(probe.answer), "UDN"), "uuid:" + m_udn);
}

TEST_F(UPnPDevice, MulticastNoticesAndSearchAnswers)
{
    if (!multicast())
        GTEST_SKIP() << "multicast only inside a private network namespace (in_private_network.sh)";
    const std::string usn = "uuid:" + m_udn + "::upnp:rootdevice";
    // The host's notice at registration, then the device's own five seconds later.
    EXPECT_TRUE(m_listener->waitFor(
        [&](const std::string& datagram)
        { return datagram.find("NTS: ssdp:alive\r\nUSN: " + usn + "\r\n") != std::string::npos; }));
    const std::string deviceNotice =
        "NOTIFY * HTTP/1.1\r\nHost:239.255.255.250:1900\r\nCache-Control:max-age=1800\r\n"
        "Location:http://" +
        m_address + ":5120/upnp/" + m_udn +
        ".xml\r\nNT:upnp:rootdevice\r\nNTS:ssdp:alive\r\n"
        "Server:Microsoft-WinCE/5.0 UPnP/1.0 UPnP-Device-Host/1.0\r\nUSN:" +
        usn + "\r\n\r\n";
    EXPECT_TRUE(m_listener->waitFor([&](const std::string& datagram) { return datagram == deviceNotice; }));

    // A search from the subnet, and one from the device itself over loopback, are answered.
    for (const char* from : {m_address.c_str(), "127.0.0.1"})
    {
        SCOPED_TRACE(from);
        SsdpSocket searcher(from, false);
        ASSERT_TRUE(searcher.ok());
        ASSERT_TRUE(searcher.sendToGroup(
            "M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nMAN: \"ssdp:discover\"\r\n"
            "MX: 1\r\nST: upnp:rootdevice\r\n\r\n"));
        std::string location;
        EXPECT_TRUE(searcher.waitFor(
            [&](const std::string& datagram)
            {
                std::smatch match;
                if (datagram.rfind("HTTP/1.1 200 OK\r\n", 0) != 0 ||
                    datagram.find("USN: " + usn + "\r\n") == std::string::npos ||
                    !std::regex_search(datagram, match,
                                       std::regex("LOCATION: http://([0-9.]+):5120(/[^\r]*)\r\n")))
                    return false;
                location = match[2];
                return match[1] == m_address;
            }));
        EXPECT_EQ(location, "/upnp/" + m_udn + ".xml");
        EXPECT_EQ(element(bodyOf(get(location)), "UDN"), "uuid:" + m_udn);
    }

    // Stopping releases the device: the host's byebye and the device's own.
    EXPECT_EQ(stopHost(), 0);
    std::string deviceByebye = deviceNotice;
    deviceByebye.replace(deviceByebye.find("ssdp:alive"), 10, "ssdp:byebye");
    bool hostSaidByebye = false;
    bool deviceSaidByebye = false;
    EXPECT_TRUE(m_listener->waitFor(
        [&](const std::string& datagram)
        {
            hostSaidByebye = hostSaidByebye ||
                             datagram.find("NTS: ssdp:byebye\r\nUSN: " + usn + "\r\n") != std::string::npos;
            deviceSaidByebye = deviceSaidByebye || datagram == deviceByebye;
            return hostSaidByebye && deviceSaidByebye;
        }));
}
} // namespace
