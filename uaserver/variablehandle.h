#ifndef UASERVER_VARIABLEHANDLE_H
#define UASERVER_VARIABLEHANDLE_H

#include "referencecounter.h"
#include "uanode.h"

#include <opcua.h>

#include <atomic>

class HistoryManager;
class IOManager;

// What a node manager hands the service layer for one attribute of one node: the I/O manager that
// serves it and the attribute id. Reference counted: a new handle starts with the count 1, held by
// whoever asked for it, and the last release deletes it.
class VariableHandle
{
public:
    VariableHandle(IOManager* pIOManager, OpcUa_Int32 attributeId)
        : m_pIOManager(pIOManager), m_attributeId(attributeId)
    {
    }
    virtual ~VariableHandle() = default;
    VariableHandle(const VariableHandle&) = delete;
    VariableHandle& operator=(const VariableHandle&) = delete;

    // The count after the change; at 0 the handle is gone.
    virtual OpcUa_Int32 addReference() { return m_referenceCount.fetch_add(1) + 1; }
    virtual OpcUa_Int32 releaseReference()
    {
        const OpcUa_Int32 count = m_referenceCount.fetch_sub(1) - 1;
        if (count == 0)
            delete this;
        return count;
    }

    // Null when no I/O manager serves the attribute.
    IOManager* ioManager() const { return m_pIOManager.load(); }
    void setIOManager(IOManager* pIOManager) { m_pIOManager.store(pIOManager); }
    OpcUa_Int32 attributeId() const { return m_attributeId; }
    // The node the handle is for; null for handles that name no UaNode.
    virtual UaNode* pUaNode() const { return nullptr; }

private:
    std::atomic<IOManager*> m_pIOManager;
    OpcUa_Int32 m_attributeId;
    std::atomic<OpcUa_Int32> m_referenceCount{1};
};

// A handle for an attribute of a UaNode, holding one reference to the node.
class UaNodeVariableHandle : public VariableHandle
{
public:
    UaNodeVariableHandle(IOManager* pIOManager, OpcUa_Int32 attributeId, UaNode* pNode)
        : VariableHandle(pIOManager, attributeId), m_node(pNode)
    {
    }

    UaNode* pUaNode() const override { return m_node.get(); }
    void setNode(UaNode* pNode) { m_node = pNode; }

private:
    ReferenceHolder<UaNode> m_node;
};

// The handle a cached variable keeps for its own Value: it lives inside the variable and shares the
// variable's count, so a holder keeps the variable alive and the handle never outlives it.
class UaVariableOwnHandle : public VariableHandle
{
public:
    UaVariableOwnHandle(UaNode& variable, OpcUa_Int32 attributeId);

    OpcUa_Int32 addReference() override;
    OpcUa_Int32 releaseReference() override;
    UaNode* pUaNode() const override { return &m_variable; }

private:
    UaNode& m_variable;
};

// A handle of one node for the services that reach a node rather than an attribute (the history
// services), holding one reference to the node.
class UaNodeHandle : public ReferenceCounter
{
public:
    explicit UaNodeHandle(UaNode* pNode, HistoryManager* pHistoryManager = nullptr)
        : m_node(pNode), m_pHistoryManager(pHistoryManager)
    {
    }
    UaNode* pUaNode() const { return m_node.get(); }
    // The manager of the node's history; null when none keeps it.
    HistoryManager* historyManager() const { return m_pHistoryManager; }
    void setHistoryManager(HistoryManager* pHistoryManager) { m_pHistoryManager = pHistoryManager; }

private:
    ReferenceHolder<UaNode> m_node;
    HistoryManager* m_pHistoryManager;
};

#endif
