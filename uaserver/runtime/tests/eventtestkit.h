// Event filters as a client sends them, events with condition fields, and recording callbacks:
// the shared tools of the event manager tests.
#pragma once

#include <eventdata.h>
#include <eventmanager.h>
#include <eventmanagerbase.h>
#include <servicecontext.h>

#include <gtest/gtest.h>

#include <uaqualifiedname.h>
#include <uavariant.h>

#include <opcua_memory.h>

#include <cstring>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace eventtestkit
{

namespace Op
{
enum : OpcUa_UInt32
{
    Equals = 0,
    IsNull,
    GreaterThan,
    LessThan,
    GreaterThanOrEqual,
    LessThanOrEqual,
    Like,
    Not,
    Between,
    InList,
    And,
    Or,
    Cast,
    InView,
    OfType,
    RelatedTo,
    BitwiseAnd,
    BitwiseOr
};
} // namespace Op

// One wire operand: a literal, a field by browse path, a reference to another element, or an
// AttributeOperand (which the server does not take).
struct Operand
{
    enum Kind
    {
        Literal,
        Field,
        Element,
        Attribute,
        Undecoded // a body the decoder left in its binary encoding
    } kind;
    UaVariant value;
    std::string path;
    OpcUa_UInt32 attributeId = 13;
    OpcUa_UInt32 index = 0;
};

inline Operand literal(const UaVariant& value)
{
    return {Operand::Literal, value, "", 13, 0};
}
inline Operand field(const std::string& path, OpcUa_UInt32 attributeId = 13)
{
    return {Operand::Field, UaVariant(), path, attributeId, 0};
}
inline Operand element(OpcUa_UInt32 index)
{
    return {Operand::Element, UaVariant(), "", 13, index};
}
inline Operand attributeOperand()
{
    return {Operand::Attribute, UaVariant(), "", 13, 0};
}
inline Operand undecodedOperand()
{
    return {Operand::Undecoded, UaVariant(), "", 13, 0};
}

struct Element
{
    OpcUa_UInt32 filterOperator;
    std::vector<Operand> operands;
};

template <typename T> T* allocate(std::size_t count)
{
    if (count == 0)
        return nullptr;
    auto* array = static_cast<T*>(OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(sizeof(T) * count)));
    std::memset(array, 0, sizeof(T) * count);
    return array;
}

inline void fillAttribute(OpcUa_SimpleAttributeOperand& wire, const std::string& path,
                          OpcUa_UInt32 attributeId)
{
    OpcUa_SimpleAttributeOperand_Initialize(&wire);
    UaNodeId(2041, 0).copyTo(&wire.TypeDefinitionId);
    std::vector<std::string> names;
    std::stringstream parts(path);
    for (std::string name; std::getline(parts, name, '/');)
        names.push_back(name);
    wire.NoOfBrowsePath = static_cast<OpcUa_Int32>(names.size());
    wire.BrowsePath = allocate<OpcUa_QualifiedName>(names.size());
    for (std::size_t i = 0; i < names.size(); ++i)
        UaQualifiedName(names[i].c_str(), 0).copyTo(&wire.BrowsePath[i]);
    wire.AttributeId = attributeId;
}

inline void fillOperand(OpcUa_ExtensionObject& wire, const Operand& operand)
{
    OpcUa_ExtensionObject_Initialize(&wire);
    void* body = nullptr;
    switch (operand.kind)
    {
    case Operand::Literal:
        OpcUa_EncodeableObject_CreateExtension(&OpcUa_LiteralOperand_EncodeableType, &wire, &body);
        operand.value.copyTo(&static_cast<OpcUa_LiteralOperand*>(body)->Value);
        break;
    case Operand::Field:
        OpcUa_EncodeableObject_CreateExtension(&OpcUa_SimpleAttributeOperand_EncodeableType, &wire, &body);
        OpcUa_SimpleAttributeOperand_Clear(static_cast<OpcUa_SimpleAttributeOperand*>(body));
        fillAttribute(*static_cast<OpcUa_SimpleAttributeOperand*>(body), operand.path, operand.attributeId);
        break;
    case Operand::Element:
        OpcUa_EncodeableObject_CreateExtension(&OpcUa_ElementOperand_EncodeableType, &wire, &body);
        static_cast<OpcUa_ElementOperand*>(body)->Index = operand.index;
        break;
    case Operand::Attribute:
        OpcUa_EncodeableObject_CreateExtension(&OpcUa_AttributeOperand_EncodeableType, &wire, &body);
        break;
    case Operand::Undecoded:
        wire.TypeId.NodeId.Identifier.Numeric = OpcUaId_LiteralOperand_Encoding_DefaultBinary;
        wire.Encoding = OpcUa_ExtensionObjectEncoding_Binary;
        wire.Body.Binary.Data = allocate<OpcUa_Byte>(4);
        wire.Body.Binary.Length = 4;
        break;
    }
}

// An OpcUa_EventFilter that owns its memory as a decoded request would.
class WireFilter
{
public:
    WireFilter(const std::vector<std::string>& select, const std::vector<Element>& where)
    {
        OpcUa_EventFilter_Initialize(&m_filter);
        m_filter.NoOfSelectClauses = static_cast<OpcUa_Int32>(select.size());
        m_filter.SelectClauses = allocate<OpcUa_SimpleAttributeOperand>(select.size());
        for (std::size_t i = 0; i < select.size(); ++i)
            fillAttribute(m_filter.SelectClauses[i], select[i], select[i] == "NodeId" ? 1 : 13);
        m_filter.WhereClause.NoOfElements = static_cast<OpcUa_Int32>(where.size());
        m_filter.WhereClause.Elements = allocate<OpcUa_ContentFilterElement>(where.size());
        for (std::size_t e = 0; e < where.size(); ++e)
        {
            OpcUa_ContentFilterElement& wire = m_filter.WhereClause.Elements[e];
            wire.FilterOperator = static_cast<OpcUa_FilterOperator>(where[e].filterOperator);
            wire.NoOfFilterOperands = static_cast<OpcUa_Int32>(where[e].operands.size());
            wire.FilterOperands = allocate<OpcUa_ExtensionObject>(where[e].operands.size());
            for (std::size_t o = 0; o < where[e].operands.size(); ++o)
                fillOperand(wire.FilterOperands[o], where[e].operands[o]);
        }
    }
    ~WireFilter() { OpcUa_EventFilter_Clear(&m_filter); }
    WireFilter(const WireFilter&) = delete;
    WireFilter& operator=(const WireFilter&) = delete;

    const OpcUa_EventFilter* get() const { return &m_filter; }

private:
    OpcUa_EventFilter m_filter;
};

// An event of a given type and source, with the condition fields a test sets.
class TestEvent : public BaseEventTypeData
{
public:
    TestEvent(const UaNodeId& type, const UaNodeId& source, OpcUa_UInt16 severity, const char* message = "")
    {
        m_eventType = type;
        setSourceNode(source);
        setSourceName("Source");
        setSeverity(severity);
        setMessage(UaLocalizedText("en", message));
        UaByteString id;
        createEventId(UaByteString(), id);
        setEventId(id);
    }
    UaNodeId getConditionNodeId() const override { return condition; }
    UaNodeId getBranchNodeId() const override { return branch; }
    bool getRetain() const override { return retain; }

    UaNodeId condition;
    UaNodeId branch;
    bool retain = false;
};

// The events one item received, each as its field values.
class RecordingItem : public EventItemCallback
{
public:
    void newEvent(UaVariantArray& eventFields) override
    {
        std::vector<UaVariant> fields;
        for (OpcUa_UInt32 i = 0; i < eventFields.length(); ++i)
            fields.emplace_back(eventFields[i]);
        eventFields.clear();
        std::lock_guard<std::mutex> guard(m_lock);
        m_events.push_back(fields);
    }
    std::vector<std::vector<UaVariant>> events() const
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_events;
    }

private:
    mutable std::mutex m_lock;
    std::vector<std::vector<UaVariant>> m_events;
};

// What the event manager answered for each begin call, with the filter result copied.
struct Answer
{
    std::string kind;
    OpcUa_UInt32 callbackHandle = 0;
    OpcUa_UInt32 hEventItem = 0;
    OpcUa_Double revisedSamplingInterval = 0.0;
    OpcUa_StatusCode status = OpcUa_Good;
    bool hasFilterResult = false;
    std::vector<OpcUa_StatusCode> selectResults;
    std::vector<OpcUa_StatusCode> elementResults;
};

class RecordingAnswers : public EventManagerCallback
{
public:
    UaStatus finishStartMonitoring(OpcUa_UInt32, OpcUa_UInt32 callbackHandle, OpcUa_UInt32 hEventItem,
                                   OpcUa_Double revisedSamplingInterval, const UaStatus& status,
                                   const OpcUa_EventFilterResult* pFilterResult) override
    {
        record("start", callbackHandle, hEventItem, revisedSamplingInterval, status, pFilterResult);
        return OpcUa_Good;
    }
    UaStatus finishModifyMonitoring(OpcUa_UInt32, OpcUa_UInt32 callbackHandle,
                                    OpcUa_Double revisedSamplingInterval, const UaStatus& status,
                                    const OpcUa_EventFilterResult* pFilterResult) override
    {
        record("modify", callbackHandle, 0, revisedSamplingInterval, status, pFilterResult);
        return OpcUa_Good;
    }
    UaStatus finishStopMonitoring(OpcUa_UInt32, OpcUa_UInt32 callbackHandle, const UaStatus& status) override
    {
        record("stop", callbackHandle, 0, 0.0, status, nullptr);
        return OpcUa_Good;
    }

    std::vector<Answer> answers;

private:
    void record(const char* kind, OpcUa_UInt32 callbackHandle, OpcUa_UInt32 hEventItem, OpcUa_Double interval,
                const UaStatus& status, const OpcUa_EventFilterResult* result)
    {
        Answer answer{kind, callbackHandle, hEventItem, interval, status.statusCode(), result != nullptr, {},
                      {}};
        if (result)
        {
            for (OpcUa_Int32 i = 0; i < result->NoOfSelectClauseResults; ++i)
                answer.selectResults.push_back(result->SelectClauseResults[i]);
            for (OpcUa_Int32 i = 0; i < result->WhereClauseResult.NoOfElementResults; ++i)
                answer.elementResults.push_back(result->WhereClauseResult.ElementResults[i].StatusCode);
        }
        answers.push_back(answer);
    }
};

// An event item on one notifier of an event manager, selecting fields by name, with its answer
// and the events it received.
struct NotifierItem
{
    NotifierItem(EventManagerBase& eventManager, const UaNodeId& notifier,
                 const std::vector<std::string>& select)
        : filter(select, {})
    {
        OpcUa_Handle context = nullptr;
        EXPECT_TRUE(eventManager.beginEventTransaction(&answers, ServiceContext(), 1, context).isGood());
        EventMonitoringContext monitoring;
        monitoring.notifierId = notifier;
        monitoring.pEventFilter = filter.get();
        EXPECT_TRUE(eventManager.beginStartMonitoring(context, 1, &item, monitoring).isGood());
        eventManager.finishEventTransaction(context);
    }

    WireFilter filter;
    RecordingAnswers answers;
    RecordingItem item;
};

} // namespace eventtestkit
