#ifndef UASERVER_SAMPLINGITEM_H
#define UASERVER_SAMPLINGITEM_H

#include "iomanagercallback.h"
#include "referencecounter.h"
#include "uanode.h"

#include <uanumericrange.h>

#include <opcua.h>

class UaVariable;

// How an item of the I/O sampling engine is sampled.
namespace SamplingItemKind
{
// The Value of a cached variable: told by the variable, ticked by the sampling engine.
constexpr OpcUa_UInt32 Cache = 0;
// The Value of a variable read through readValues, in the batch of its rate group.
constexpr OpcUa_UInt32 Read = 1;
// Any other attribute, or a start a hook refused: reported once at start.
constexpr OpcUa_UInt32 Static = 2;
} // namespace SamplingItemKind

// One monitored attribute as the I/O sampling engine keeps it under its handle.
class SamplingItem
{
public:
    SamplingItem() = default;
    virtual ~SamplingItem() = default;
    SamplingItem(const SamplingItem&) = delete;
    SamplingItem& operator=(const SamplingItem&) = delete;

    virtual OpcUa_UInt32 kind() const = 0;
    // Null without one.
    virtual const UaNumericRange* indexRange() const { return nullptr; }
};

// The Value of a variable that is read in its rate group's batch. The group's arrays hold the
// variable too; the item's fields change under the group's item lock.
class SamplingItemRead : public SamplingItem
{
public:
    // Holds a reference to the variable.
    SamplingItemRead(UaVariable* pVariable, IOVariableCallback* pCallback);
    ~SamplingItemRead() override;

    OpcUa_UInt32 kind() const override { return SamplingItemKind::Read; }
    UaVariable* variable() const { return m_pVariable; }
    IOVariableCallback* callback() const { return m_pCallback; }

    // The group's rate, in milliseconds.
    OpcUa_Double revisedSamplingInterval = 0.0;
    // -1 until the item joins a group.
    OpcUa_Int32 groupIndex = -1;
    OpcUa_UInt32 position = 0;

private:
    UaVariable* m_pVariable;
    IOVariableCallback* m_pCallback;
};

class SamplingItemReadIndexRange : public SamplingItemRead
{
public:
    SamplingItemReadIndexRange(UaVariable* pVariable, IOVariableCallback* pCallback,
                               const UaNumericRange& range)
        : SamplingItemRead(pVariable, pCallback), m_range(range)
    {
    }
    const UaNumericRange* indexRange() const override { return &m_range; }

private:
    UaNumericRange m_range;
};

// An attribute reported once when its monitoring started; it only keeps its handle taken.
class SamplingItemStatic : public SamplingItem
{
public:
    SamplingItemStatic(OpcUa_UInt32 callbackHandle, UaNode* pNode)
        : m_callbackHandle(callbackHandle), m_node(pNode)
    {
    }
    OpcUa_UInt32 kind() const override { return SamplingItemKind::Static; }
    OpcUa_UInt32 callbackHandle() const { return m_callbackHandle; }
    UaNode* node() const { return m_node.get(); }

private:
    OpcUa_UInt32 m_callbackHandle;
    ReferenceHolder<UaNode> m_node;
};

#endif
