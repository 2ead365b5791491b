// The host's SSDP messages and what it answers.
#include "ssdp.h"

#include <arpa/inet.h>

#include <gtest/gtest.h>

namespace
{
upnphost::DeviceInfo device()
{
    upnphost::DeviceInfo info;
    info.deviceType = "urn:schemas-upnp-org:device:Basic:1";
    info.udn = "uuid:5c1e0e6a-aaaa-4bbb-8ccc-0123456789ab";
    info.services = {{"urn:x:service:S:1", "urn:x:serviceId:S1", "S.xml", "/c", "/e"},
                     {"urn:x:service:S:1", "urn:x:serviceId:S2", "S.xml", "/c2", "/e2"}};
    return info;
}

TEST(Ssdp, ADeviceIsAnnouncedAsRootDeviceUdnTypeAndServiceTypes)
{
    const auto targets = upnphost::ssdpTargets(device());
    const std::string udn = "uuid:5c1e0e6a-aaaa-4bbb-8ccc-0123456789ab";
    ASSERT_EQ(targets.size(), 4u); // the two services share one type
    EXPECT_EQ(targets[0].nt, "upnp:rootdevice");
    EXPECT_EQ(targets[0].usn, udn + "::upnp:rootdevice");
    EXPECT_EQ(targets[1].nt, udn);
    EXPECT_EQ(targets[1].usn, udn);
    EXPECT_EQ(targets[2].usn, udn + "::urn:schemas-upnp-org:device:Basic:1");
    EXPECT_EQ(targets[3].usn, udn + "::urn:x:service:S:1");

    EXPECT_EQ(upnphost::notifyMessage(targets[0], "http://192.0.2.7:5120/upnp/x.xml", true),
              "NOTIFY * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nCACHE-CONTROL: max-age=1800\r\n"
              "LOCATION: http://192.0.2.7:5120/upnp/x.xml\r\nSERVER: Linux UPnP/1.0 upnphostd/1.0\r\n"
              "NT: upnp:rootdevice\r\nNTS: ssdp:alive\r\nUSN: " +
                  udn + "::upnp:rootdevice\r\n\r\n");
    EXPECT_EQ(upnphost::notifyMessage(targets[1], "http://192.0.2.7:5120/upnp/x.xml", false),
              "NOTIFY * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nNT: " + udn +
                  "\r\nNTS: ssdp:byebye\r\nUSN: " + udn + "\r\n\r\n");
}

TEST(Ssdp, SearchesAreReadStrictly)
{
    struct Case
    {
        const char* datagram;
        bool valid;
        const char* st;
        int mx;
    };
    const Case cases[] = {
        {"M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nMAN: \"ssdp:discover\"\r\nMX: 2\r\n"
         "ST: upnp:rootdevice\r\n\r\n",
         true, "upnp:rootdevice", 2},
        {"M-SEARCH * HTTP/1.1\r\nman:\"ssdp:discover\"\r\nmx:120\r\nst:ssdp:all\r\n\r\n", true, "ssdp:all",
         5},
        {"M-SEARCH * HTTP/1.1\r\nMAN: \"ssdp:discover\"\r\nMX: 0\r\nST: uuid:x\r\n\r\n", true, "uuid:x", 0},
        {"M-SEARCH * HTTP/1.1\r\nMAN: \"ssdp:discover\"\r\nST: upnp:rootdevice\r\n\r\n", false, "", 0},
        {"M-SEARCH * HTTP/1.1\r\nMAN: \"ssdp:discover\"\r\nMX: -1\r\nST: upnp:rootdevice\r\n\r\n", false, "",
         0},
        {"M-SEARCH * HTTP/1.1\r\nMAN: \"ssdp:discover\"\r\nMX: 2x\r\nST: upnp:rootdevice\r\n\r\n", false, "",
         0},
        {"M-SEARCH * HTTP/1.1\r\nMAN: \"ssdp:update\"\r\nMX: 2\r\nST: upnp:rootdevice\r\n\r\n", false, "", 0},
        {"M-SEARCH * HTTP/1.1\r\nMAN: \"ssdp:discover\"\r\nMX: 2\r\n\r\n", false, "", 0},
        {"NOTIFY * HTTP/1.1\r\nNT: upnp:rootdevice\r\nNTS: ssdp:alive\r\n\r\n", false, "", 0},
        {"", false, "", 0},
    };
    for (const Case& c : cases)
    {
        const auto search = upnphost::readSearch(c.datagram);
        ASSERT_EQ(search.has_value(), c.valid) << c.datagram;
        if (search)
        {
            EXPECT_EQ(search->st, c.st);
            EXPECT_EQ(search->mx, c.mx);
        }
    }
}

TEST(Ssdp, SearchTargetsPickTheirAnswers)
{
    const auto targets = upnphost::ssdpTargets(device());
    EXPECT_EQ(upnphost::matchSearch("ssdp:all", targets).size(), 4u);
    EXPECT_EQ(upnphost::matchSearch("upnp:rootdevice", targets).size(), 1u);
    EXPECT_EQ(upnphost::matchSearch("urn:x:service:S:1", targets).size(), 1u);
    EXPECT_EQ(upnphost::matchSearch("uuid:5c1e0e6a-aaaa-4bbb-8ccc-0123456789ab", targets).size(), 1u);
    EXPECT_TRUE(upnphost::matchSearch("urn:x:service:Other:1", targets).empty());

    EXPECT_EQ(
        upnphost::searchResponse(targets[0], "http://192.0.2.7:5120/upnp/x.xml", upnphost::httpDate(0)),
        "HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=1800\r\nDATE: Thu, 01 Jan 1970 00:00:00 GMT\r\nEXT:\r\n"
        "LOCATION: http://192.0.2.7:5120/upnp/x.xml\r\nSERVER: Linux UPnP/1.0 upnphostd/1.0\r\n"
        "ST: upnp:rootdevice\r\nUSN: uuid:5c1e0e6a-aaaa-4bbb-8ccc-0123456789ab::upnp:rootdevice\r\n\r\n");
}

TEST(Ssdp, OnlyTheLocalSubnetAndTheDeviceItselfAreAnswered)
{
    auto address = [](const char* text)
    {
        in_addr value{};
        inet_pton(AF_INET, text, &value);
        return value.s_addr;
    };
    struct Case
    {
        const char* source;
        const char* device;
        const char* mask;
        bool local;
    };
    const Case cases[] = {
        {"192.0.2.8", "192.0.2.7", "255.255.255.0", true},
        {"192.0.2.7", "192.0.2.7", "255.255.255.255", true},
        {"192.0.3.8", "192.0.2.7", "255.255.255.0", false},
        {"127.0.0.1", "192.0.2.7", "255.255.255.0", true},
        {"127.8.9.10", "10.1.0.5", "255.255.0.0", true},
        {"128.0.0.1", "192.0.2.7", "255.255.255.0", false},
        {"10.1.200.3", "10.1.0.5", "255.255.0.0", true},
        {"10.2.0.5", "10.1.0.5", "255.255.0.0", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(upnphost::searchIsLocal(address(c.source), address(c.device), address(c.mask)), c.local)
            << c.source;
}
} // namespace
