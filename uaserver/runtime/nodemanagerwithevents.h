#ifndef UASERVER_RUNTIME_NODEMANAGERWITHEVENTS_H
#define UASERVER_RUNTIME_NODEMANAGERWITHEVENTS_H

#include "eventmanagerbase.h"

#include <iomanageruanode.h>
#include <nodemanageruanode.h>

#include <uabytestring.h>
#include <uadatetime.h>

#include <atomic>

// What the event manager stamps when a service reports an event about an object: the value
// concerned, the user who caused it, and the event's times and id.
class EventStampTarget
{
public:
    virtual ~EventStampTarget() = default;
    virtual void setStampValue(const UaVariant& value) = 0;
    virtual void setClientUserId(const UaString& userName) = 0;
    virtual UaStatus setStampTimes(const UaDateTime& time, const UaDateTime& receiveTime,
                                   const UaByteString& eventId) = 0;
};

// The event manager of a node manager with events.
class NodeEventManager : public EventManagerBase
{
public:
    // Stamps the target with the value, the user name of the context's session (empty without a
    // session) and the current time with an empty event id; answers what the last step answered.
    virtual UaStatus stampEvent(const ServiceContext& serviceContext, EventStampTarget* pTarget,
                                const UaByteString& unused, const UaVariant& value);
};

// A node manager that keeps its nodes as UaNodes, serves every attribute of every node through its
// one built-in I/O manager and offers its one built-in event manager for its notifiers while events
// are switched on. A derived class builds its nodes in afterStartUp and tears them down in
// beforeShutDown. Lock order: the node lock, then the event manager's lock.
class NodeManagerWithEvents : public NodeManagerUaNode, public NodeEventManager, public IOManagerUaNode
{
public:
    NodeManagerWithEvents(const UaString& sNamespaceUri, bool eventsEnabled, OpcUa_UInt32 hashTableSize);
    ~NodeManagerWithEvents() override;

    // Events on: getEventManagers offers the event manager for its notifiers. Set once after
    // start-up, before clients can create monitored items.
    void setEventsEnabled(bool eventsEnabled) { m_eventsEnabled = eventsEnabled; }
    bool eventsEnabled() const { return m_eventsEnabled; }

    // Sampling runs before afterStartUp builds the nodes; with events on, the event manager is
    // announced to the server manager's callbacks once the nodes are built.
    UaStatus startUp(ServerManager* pServerManager) override;
    UaNodeHandle* getHistoryHandle(Session* session, OpcUa_UInt32 kind, const OpcUa_NodeId* pNodeId,
                                   UaStatus& result) override;
    // Events off: Good and no event manager. On: the event manager for one of its notifiers,
    // BadNodeIdUnknown for any other node. The filter is not looked at.
    UaStatus getEventManagers(Session* session, const OpcUa_NodeId* pNodeId,
                              const OpcUa_EventFilter* pEventFilter,
                              UaPointerArray<EventManager>& eventManagers) override;
    EventManager* getEventManager() override { return static_cast<NodeEventManager*>(this); }
    IOManager* getIOManager(UaNode* pNode, OpcUa_Int32 attributeId) const override;
    IOManagerUaNode* getIOManagerUaNode() override { return this; }

protected:
    bool m_eventsEnabled;
    // The manager that node handles of getHistoryHandle carry; none unless a derived class sets it.
    IOManager* m_pHandleIOManager = nullptr;
};

// The node manager of the server's own namespace: index 1, named by the server URI, events off
// until the server manager switches them on.
class NodeManagerNS1 : public NodeManagerWithEvents
{
public:
    explicit NodeManagerNS1(const UaString& serverUri);
    ~NodeManagerNS1() override;

    // Starts without registering: the root enters this node manager under index 1 itself.
    UaStatus startUp(ServerManager* pServerManager) override;

    // Builds ObjectStatistics below the Server object's VendorServerInfo: one variable per counted
    // class of the library, showing its live instance count. Without VendorServerInfo the namespace
    // stays empty.
    UaStatus afterStartUp() override;
    UaStatus beforeShutDown() override;
    // Adds a variable named className below ObjectStatistics that shows the counter on every read;
    // BadNodeIdUnknown without ObjectStatistics. Other parts of the server show their counts here.
    UaStatus addStatisticsVariable(const UaString& className, std::atomic<OpcUa_Int32>* pCounter);
    // The statistics variables answer their counter; any other variable BadInternalError.
    UaStatus readValues(const UaVariableArray& variables, UaDataValueArray& values) override;
};

#endif
