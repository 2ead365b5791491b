// The server stops while clients open and close sessions on it: in one process, over loopback,
// eight client threads go on until the server has shut down. Every request is answered or its
// connection closed (none waits for its time-out), and nothing is touched after it went (the
// sanitizers watch the stack's threads inside the handlers while sessions and managers go).
#include "freeport.h"
#include "inprocess_server.h"
#include "stackclient.h"
#include "testnodemanager.h"

#include <test_waits.h>
#include <uaplatformlayer.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace uaservertest;

TEST(UaServerStop, ClientsOpeningAndClosingSessionsWhileTheServerStops)
{
    ASSERT_EQ(0, UaPlatformLayer::init());
    TestServerOptions options;
    options.port = freePort();
    options.policies.push_back({kPolicyNone, 0x1});
    // One call is held inside the server until the stop has begun.
    std::atomic<bool> holding{false}, held{false};
    UaServer* running = nullptr;
    TestServerConfig config(options,
                            [&]
                            {
                                auto* nodeManager = new TestNodeManager("urn:uaserver:stoptest", 0);
                                nodeManager->beforeCall = [&]
                                {
                                    if (!holding.exchange(false))
                                        return;
                                    held = true;
                                    while (running->isStarted())
                                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                                    // Time for a stop that does not wait for the stack's threads to take away
                                    // what this call still uses.
                                    std::this_thread::sleep_for(std::chrono::milliseconds(200));
                                };
                                return nodeManager;
                            });
    InProcessServer inProcess;
    ASSERT_TRUE(inProcess.start(config));
    running = inProcess.server();

    std::atomic<int> sessions{0}, timeouts{0};
    std::atomic<bool> stopped{false}, done{false};
    std::vector<std::thread> clients;
    for (int t = 0; t < 8; ++t)
        clients.emplace_back(
            [&]
            {
                while (!done)
                {
                    StackClient client;
                    if (OpcUa_IsBad(client.connect(config.url())))
                    {
                        if (stopped)
                            break;
                        continue;
                    }
                    double product = 0;
                    const OpcUa_StatusCode results[] = {client.createSession(), client.activateSession(),
                                                        client.multiply(2, 5, product),
                                                        client.closeSession()};
                    bool allGood = true;
                    for (OpcUa_StatusCode result : results)
                    {
                        timeouts += result == OpcUa_BadTimeout ? 1 : 0;
                        allGood = allGood && result == OpcUa_Good;
                    }
                    if (allGood)
                        ++sessions;
                    client.disconnect();
                }
            });

    EXPECT_TRUE(uaserver::testing::eventually([&] { return sessions >= 40; }));
    holding = true;
    EXPECT_TRUE(uaserver::testing::eventually([&] { return held.load(); }));
    inProcess.stopServer();
    stopped = true;
    inProcess.stopCore();
    done = true;
    for (std::thread& client : clients)
        client.join();
    EXPECT_EQ(0, timeouts.load());
    EXPECT_GE(sessions.load(), 40);
    UaPlatformLayer::cleanup();
}
