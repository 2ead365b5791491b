// Audit events raised first on several threads at once: each type is made once and its fields
// take contiguous indexes.
#include "servertestbed.h"
#include "test_waits.h"

#include <auditeventdata.h>
#include <eventregistry.h>

#include <uatracecapture.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <set>
#include <thread>

using namespace servertest;
using uaserver::testing::Gate;

TEST(AuditEventTypesConcurrency, FirstEventsOnEightThreadsMakeEachTypeOnce)
{
    StartedServer server;
    UaTraceCapture trace(1);
    Gate gate;
    std::vector<std::thread> threads;
    std::atomic<int> unreadable{0};
    for (int t = 0; t < 8; ++t)
        threads.emplace_back(
            [&gate, &unreadable, t]
            {
                gate.pass();
                // A field reads back at once: the type's map is whole once its event exists.
                const OpcUa_UInt32 secureChannelId = EventRegistry::findEventField(
                    EventRegistry::fieldKey(UaQualifiedName("SecureChannelId", 0)));
                std::unique_ptr<AuditEventTypeData> event;
                if (t % 2)
                {
                    auto session = std::make_unique<AuditCreateSessionEventTypeData>();
                    session->setSecureChannelId("1");
                    event = std::move(session);
                }
                else
                {
                    auto channel = std::make_unique<AuditOpenSecureChannelEventTypeData>();
                    channel->setSecureChannelId("1");
                    event = std::move(channel);
                }
                const OpcUa_UInt32 index =
                    secureChannelId ? secureChannelId
                                    : EventRegistry::findEventField(
                                          EventRegistry::fieldKey(UaQualifiedName("SecureChannelId", 0)));
                if (event->fieldValue(index, nullptr).toString() != UaString("1"))
                    ++unreadable;
            });
    gate.open();
    for (std::thread& thread : threads)
        thread.join();

    EXPECT_EQ(unreadable.load(), 0);
    for (const std::string& line : trace.texts())
        ADD_FAILURE() << "error traced: " << line;
    // Each type once, in the registry and below its supertype in namespace 0.
    const std::pair<OpcUa_UInt32, std::vector<OpcUa_UInt32>> tree[] = {
        {2052, {2058, 2069}}, {2058, {2059}}, {2059, {2060}}, {2069, {2071}}};
    for (const auto& [superType, subtypes] : tree)
    {
        std::vector<UaNodeId> registered = EventRegistry::subtypesOf(UaNodeId(superType, 0));
        std::vector<UaNodeId> expected;
        for (OpcUa_UInt32 id : subtypes)
            expected.emplace_back(id, 0);
        std::sort(registered.begin(), registered.end());
        EXPECT_EQ(registered, expected) << superType;

        UaReferenceDescriptionArray references;
        BrowseRequest browse(UaNodeId(superType, 0), OpcUa_BrowseDirection_Forward, 45);
        ASSERT_TRUE(browse.run(server.root(), references).isGood());
        std::vector<UaNodeId> inNamespace;
        for (OpcUa_UInt32 i = 0; i < references.length(); ++i)
            inNamespace.emplace_back(references[i].NodeId.NodeId);
        std::sort(inNamespace.begin(), inNamespace.end());
        EXPECT_EQ(inNamespace, expected) << superType;
    }
    // The fields of the six types take the indexes after BaseEventType's, without gaps.
    std::set<OpcUa_UInt32> indexes;
    for (const char* name :
         {"ActionTimeStamp", "ClientAuditEntryId", "ClientUserId", "ServerId", "Status", "SecureChannelId",
          "ClientCertificate", "ClientCertificateThumbprint", "RequestedLifetime", "RequestType",
          "SecurityMode", "SecurityPolicyUri", "SessionId", "RevisedSessionTimeout"})
        indexes.insert(EventRegistry::findEventField(EventRegistry::fieldKey(UaQualifiedName(name, 0))));
    EXPECT_EQ(indexes.size(), 14u);
    EXPECT_EQ(*indexes.begin(), 10u);
    EXPECT_EQ(*indexes.rbegin(), 23u);
}
