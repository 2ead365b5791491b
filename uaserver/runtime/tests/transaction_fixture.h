// The transaction manager on the fake endpoint: a running server manager with the root double, two
// fake I/O managers, two history managers and a method manager, a session on one channel.
//
// Node numbers (namespace 2) say who serves a node: 100-199 I/O manager A and history manager A,
// 200-299 I/O manager B and history manager B, 300-399 a handle without I/O or history manager;
// any other number is unknown.
#pragma once

#include "pending_requests.h"
#include "pendingiorequests.h"
#include "transaction_fakes.h"
#include "uatransactionmanager.h"

#include <test_waits.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace runtimetest
{

constexpr OpcUa_UInt16 kNs = 2;

class TransactionManagerFixture : public ::testing::Test
{
protected:
    struct Lookup
    {
        OpcUa_UInt32 serviceType;
        OpcUa_UInt32 node;
        OpcUa_Int32 attributeId;
        VariableHandle* handle; // as handed out; not held
    };

    TransactionManagerFixture() : session(newActivatedSession(41, kChannel))
    {
        server.root.variableHandles = [this](Session*, OpcUa_UInt32 serviceType, const OpcUa_NodeId& nodeId,
                                             OpcUa_Int32 attributeId) -> VariableHandle*
        {
            const OpcUa_UInt32 node = nodeId.NamespaceIndex == kNs ? numberOf(nodeId) : 0;
            VariableHandle* handle = nullptr;
            if (node >= 100 && node < 200)
                handle = new VariableHandle(&ioA, attributeId);
            else if (node >= 200 && node < 300)
                handle = new VariableHandle(&ioB, attributeId);
            else if (node >= 300 && node < 400)
                handle = new VariableHandle(nullptr, attributeId);
            else if (node >= 500 && node < 600) // nodes without history
                handle = new VariableHandle(&ioA, attributeId);
            std::lock_guard lock(m_mutex);
            m_lookups.push_back({serviceType, node, attributeId, handle});
            return handle;
        };
        server.root.historyHandles = [this](Session*, OpcUa_UInt32, const OpcUa_NodeId& nodeId,
                                            UaStatus& result) -> UaNodeHandle*
        {
            const OpcUa_UInt32 node = nodeId.NamespaceIndex == kNs ? numberOf(nodeId) : 0;
            if (node >= 100 && node < 200)
                return new UaNodeHandle(nullptr, &historyA);
            if (node >= 200 && node < 300)
                return new UaNodeHandle(nullptr, &historyB);
            if (node >= 300 && node < 400)
                return new UaNodeHandle(nullptr, nullptr);
            if (node >= 400 && node < 500)
                result = OpcUa_BadNodeIdInvalid; // a lookup that says why it failed
            return nullptr;
        };
    }
    ~TransactionManagerFixture() override
    {
        // Answers still on their way reach the manager before it goes.
        ioA.threads.join();
        ioB.threads.join();
        manager.reset();
        session->releaseReference();
    }

    // A started manager with pool sizes (2, 4).
    void startManager(ConditionRefreshHandler* creator = nullptr)
    {
        server.config.ioLimitsSet = true;
        server.config.ioLimits[0] = 2;
        server.config.ioLimits[1] = 4;
        manager = std::make_unique<UaTransactionManager>(&server, creator);
        ASSERT_TRUE(manager->startUp().isGood());
    }

    std::vector<Lookup> lookups()
    {
        std::lock_guard lock(m_mutex);
        return m_lookups;
    }

    PendingReadRequest* read(OpcUa_ReadRequest* request, OpcUa_Handle& context)
    {
        return newPending<PendingReadRequest>(endpoint, kChannel, session, request,
                                              OpcUa_ReadRequest_EncodeableType,
                                              OpcUa_ReadResponse_EncodeableType, context);
    }
    PendingWriteRequest* write(OpcUa_WriteRequest* request, OpcUa_Handle& context)
    {
        return newPending<PendingWriteRequest>(endpoint, kChannel, session, request,
                                               OpcUa_WriteRequest_EncodeableType,
                                               OpcUa_WriteResponse_EncodeableType, context);
    }

    // Runs begin with the session's send lock held in this thread, so that a worker cannot send
    // meanwhile while an inline send (the lock is recursive) can; whether context was answered when
    // begin returned. begin must succeed.
    bool answeredInsideBegin(const std::function<UaStatus()>& begin, OpcUa_Handle context)
    {
        session->lockSendResponse();
        EXPECT_TRUE(begin().isGood());
        const bool answered = endpoint.isAnswered(context);
        session->unlockSendResponse();
        return answered;
    }

    // What a service entry does with a request the manager refused: answers it with a fault and
    // ends the service.
    void answerRefused(PendingServiceRequest* request, OpcUa_StatusCode status)
    {
        OpcUa_Handle context = request->m_hContext;
        OpcUa_Endpoint_EndSendResponse(request->m_hEndpoint, &context, status, nullptr, nullptr);
        OpcUa_EncodeableObject_Delete(request->m_pRequestType, &request->m_pRequest);
        delete request;
        session->finishedServiceProcessing();
    }

    static inline const FakeChannel kChannel{5};

    EventLog log;
    TestServerManager server;
    FakeEndpoint endpoint;
    UaSession* session;
    FakeIOManager ioA{"A", log};
    FakeIOManager ioB{"B", log};
    FakeHistoryManager historyA{"A", log};
    FakeHistoryManager historyB{"B", log};
    std::unique_ptr<UaTransactionManager> manager;

private:
    std::mutex m_mutex;
    std::vector<Lookup> m_lookups;
};

} // namespace runtimetest
