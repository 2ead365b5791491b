#ifndef UASERVER_UANODE_H
#define UASERVER_UANODE_H

#include "chainentry.h"

#include <uadatavalue.h>
#include <ualocalizedtext.h>
#include <uaqualifiedname.h>
#include <uastatus.h>
#include <uastructurearrays.h>

#include <atomic>

class BrowseContext;
class ServiceContext;
class Session;
class UaReferenceLists;

// An application object hung on a node; the node neither owns nor deletes it.
class UserDataBase
{
public:
    virtual ~UserDataBase() = default;
};

// Process-wide counts of live nodes: every node counts in uaNode and in its node class's counter.
struct UaNodeCounters
{
    static std::atomic<OpcUa_Int32> uaNode;
    static std::atomic<OpcUa_Int32> uaObject;
    static std::atomic<OpcUa_Int32> uaObjectType;
    static std::atomic<OpcUa_Int32> uaVariable;
    static std::atomic<OpcUa_Int32> uaVariableType;
    static std::atomic<OpcUa_Int32> uaReferenceType;
    static std::atomic<OpcUa_Int32> uaDataType;
    static std::atomic<OpcUa_Int32> uaMethod;
    static std::atomic<OpcUa_Int32> uaView;
};

// Counts one live object in a process-wide counter for as long as it lives.
class InstanceCount
{
public:
    explicit InstanceCount(std::atomic<OpcUa_Int32>& counter) : m_counter(counter) { ++m_counter; }
    ~InstanceCount() { --m_counter; }
    InstanceCount(const InstanceCount&) = delete;
    InstanceCount& operator=(const InstanceCount&) = delete;

private:
    std::atomic<OpcUa_Int32>& m_counter;
};

// The base of every node of the address space: the attribute interface common to the eight node
// classes. It holds no attribute data itself.
class UaNode : public ChainEntry
{
public:
    UaNode() = default;

    // Null when the node has no reference lists.
    virtual UaReferenceLists* getUaReferenceLists() { return nullptr; }
    virtual UaStatus browse(const ServiceContext& context, BrowseContext& browseContext,
                            UaReferenceDescriptionArray& references) = 0;
    virtual UaNodeId typeDefinitionId() const { return UaNodeId(); }
    virtual OpcUa_NodeClass nodeClass() const = 0;
    virtual UaNodeId nodeId() const = 0;
    virtual UaQualifiedName browseName() const = 0;
    virtual UaLocalizedText displayName(Session* session) const = 0;
    virtual bool isDescriptionSupported() const = 0;
    virtual UaLocalizedText description(Session* session) const = 0;
    virtual bool isWriteMaskSupported() const = 0;
    virtual OpcUa_UInt32 writeMask() const = 0;
    virtual bool isUserWriteMaskSupported() const = 0;
    virtual OpcUa_UInt32 userWriteMask(Session* session) const = 0;
    virtual UaNodeId modellingRuleId() const { return UaNodeId(); }
    // Nothing is writable here: BadUserAccessDenied for every attribute.
    virtual UaStatus setAttributeValue(Session* session, OpcUa_Int32 attributeId,
                                       const UaDataValue& dataValue, bool checkAccessLevel);
    // Fills dataValue with the attribute's value or a bad status, the server timestamp always set;
    // here the common attributes 1 to 7.
    virtual void getAttributeValue(Session* session, OpcUa_Int32 attributeId, UaDataValue& dataValue);
    virtual void setUserData(UserDataBase* /*userData*/) {}
    virtual UserDataBase* getUserData() const { return nullptr; }

    // The pieces of every attribute read. The start of every read: an empty value stamped with the current
    // server time.
    static void beginAttributeRead(UaDataValue& dataValue);
    static void setAttributeResult(UaDataValue& dataValue, const UaVariant& value);
    static void setAttributeFailure(UaDataValue& dataValue, OpcUa_StatusCode status);
    // A read of an attribute the node does not have: BadAttributeIdInvalid, stamped.
    static void refuseAttribute(UaDataValue& dataValue);

private:
    InstanceCount m_nodeCount{UaNodeCounters::uaNode};
};

#endif
