#include "eventfilter.h"

#include "eventmanagerbase.h"

#include <eventdata.h>
#include <eventregistry.h>
#include <standardnodeids.h>

#include <ualikepattern.h>
#include <uatrace.h>

#include <opcua_memory.h>

#include <cstring>
#include <string>

namespace
{
namespace Operator
{
constexpr OpcUa_UInt32 Equals = 0;
constexpr OpcUa_UInt32 IsNull = 1;
constexpr OpcUa_UInt32 GreaterThan = 2;
constexpr OpcUa_UInt32 LessThan = 3;
constexpr OpcUa_UInt32 GreaterThanOrEqual = 4;
constexpr OpcUa_UInt32 LessThanOrEqual = 5;
constexpr OpcUa_UInt32 Like = 6;
constexpr OpcUa_UInt32 Not = 7;
constexpr OpcUa_UInt32 Between = 8;
constexpr OpcUa_UInt32 InList = 9;
constexpr OpcUa_UInt32 And = 10;
constexpr OpcUa_UInt32 Or = 11;
constexpr OpcUa_UInt32 Cast = 12;
constexpr OpcUa_UInt32 InView = 13;
constexpr OpcUa_UInt32 OfType = 14;
constexpr OpcUa_UInt32 RelatedTo = 15;
constexpr OpcUa_UInt32 BitwiseAnd = 16;
constexpr OpcUa_UInt32 BitwiseOr = 17;
} // namespace Operator

// The number of operands each operator takes; InList takes at least its count.
constexpr OpcUa_UInt32 g_operandCounts[] = {2, 1, 2, 2, 2, 2, 2, 1, 3, 2, 2, 2, 2, 1, 1, 6, 2, 2};
// The built-in types a Cast can name: Boolean (1) to DiagnosticInfo (25).
constexpr OpcUa_UInt32 g_lastBuiltInType = 25;

bool isLiteral(const FilterOperand* operand)
{
    return operand && operand->getType() == FilterOperand::Literal;
}

bool isValueOperand(const FilterOperand* operand)
{
    return operand && (operand->getType() == FilterOperand::Literal ||
                       operand->getType() == FilterOperand::SimpleAttribute);
}

bool isLikePattern(const UaVariant& value)
{
    if (value.type() != OpcUaType_String || value.isArray())
        return false;
    const std::string pattern = value.toString().toUtf8();
    return UaLikePattern(pattern.data(), pattern.size()).isValid();
}

void setOperandStatus(OpcUa_ContentFilterElementResult& result, OpcUa_UInt32 i, OpcUa_StatusCode status)
{
    if (i < static_cast<OpcUa_UInt32>(result.NoOfOperandStatusCodes))
        result.OperandStatusCodes[i] = status;
}

void traceElementError(OpcUa_Int32 index, const std::string& what, const char* statusName)
{
    UaTrace::traceLevel1("    Error: [%d] %s - %s", static_cast<int>(index), what.c_str(), statusName);
}
} // namespace

// The truth of a where-clause element for one event, in three values: an operand whose value can
// not be had is unknown, and And, Or and Not combine unknowns as the standard's logic does.
class EventFilter::Evaluation
{
public:
    enum class Truth
    {
        False,
        True,
        Unknown
    };

    Evaluation(EventData& eventData, Session* pSession) : m_event(eventData), m_pSession(pSession) {}

    Truth truth(const ContentFilterElement& element)
    {
        switch (element.filterOperator())
        {
        case Operator::Equals:
        case Operator::GreaterThan:
        case Operator::LessThan:
        case Operator::GreaterThanOrEqual:
        case Operator::LessThanOrEqual:
            return compare(element);
        case Operator::IsNull:
            return value(element.operand(0)).isEmpty() ? Truth::True : Truth::False;
        case Operator::Like:
            return like(element);
        case Operator::Not:
            return negate(condition(element.operand(0)));
        case Operator::Between:
            return between(element);
        case Operator::InList:
            return inList(element);
        case Operator::And:
            return both(condition(element.operand(0)), condition(element.operand(1)));
        case Operator::Or:
            return either(condition(element.operand(0)), condition(element.operand(1)));
        case Operator::OfType:
            return ofType(element);
        default:
            // Cast as a condition, the bitwise operators and what validation refused.
            return Truth::False;
        }
    }

private:
    static Truth of(bool b) { return b ? Truth::True : Truth::False; }
    static Truth negate(Truth t) { return t == Truth::Unknown ? t : of(t == Truth::False); }
    static Truth both(Truth a, Truth b)
    {
        if (a == Truth::False || b == Truth::False)
            return Truth::False;
        return a == Truth::Unknown || b == Truth::Unknown ? Truth::Unknown : Truth::True;
    }
    static Truth either(Truth a, Truth b)
    {
        if (a == Truth::True || b == Truth::True)
            return Truth::True;
        return a == Truth::Unknown || b == Truth::Unknown ? Truth::Unknown : Truth::False;
    }

    UaVariant field(OpcUa_UInt32 fieldIndex) { return m_event.fieldValue(fieldIndex, m_pSession); }

    // Empty when the operand has no value for this event.
    UaVariant value(const FilterOperand* operand)
    {
        if (!operand)
            return UaVariant();
        switch (operand->getType())
        {
        case FilterOperand::Literal:
            return static_cast<const LiteralOperand*>(operand)->value();
        case FilterOperand::SimpleAttribute:
            return field(static_cast<const SimpleAttributeOperand*>(operand)->fieldIndex());
        default:
            break;
        }
        const ContentFilterElement* element = static_cast<const ElementOperand*>(operand)->element();
        if (!element)
            return UaVariant();
        if (element->filterOperator() == Operator::Cast)
            return cast(*element);
        // Any other element stands for its Boolean result.
        const Truth t = truth(*element);
        UaVariant result;
        if (t != Truth::Unknown)
            result.setBool(t == Truth::True);
        return result;
    }

    Truth condition(const FilterOperand* operand)
    {
        if (operand && operand->getType() == FilterOperand::Element)
        {
            const ContentFilterElement* element = static_cast<const ElementOperand*>(operand)->element();
            return element ? truth(*element) : Truth::Unknown;
        }
        const UaVariant v = value(operand);
        if (v.isEmpty())
            return Truth::Unknown;
        OpcUa_Boolean b = OpcUa_False;
        return OpcUa_IsGood(v.toBool(b)) ? of(b != OpcUa_False) : Truth::False;
    }

    UaVariant cast(const ContentFilterElement& element)
    {
        UaVariant source = value(element.operand(0));
        const UaVariant target = value(element.operand(1));
        UaNodeId type;
        if (OpcUa_IsBad(target.toNodeId(type)))
        {
            UaExpandedNodeId expanded;
            if (OpcUa_IsBad(target.toExpandedNodeId(expanded)))
                return UaVariant();
            type = expanded.nodeId();
        }
        if (source.isEmpty() || type.namespaceIndex() != 0 ||
            type.identifierType() != OpcUa_IdentifierType_Numeric || type.identifierNumeric() == 0 ||
            type.identifierNumeric() > g_lastBuiltInType)
            return UaVariant();
        if (OpcUa_IsBad(source.changeType(static_cast<OpcUa_BuiltInType>(type.identifierNumeric()), false)))
            return UaVariant();
        return source;
    }

    Truth compare(const ContentFilterElement& element)
    {
        const UaVariant a = value(element.operand(0));
        const UaVariant b = value(element.operand(1));
        if (a.isEmpty() || b.isEmpty())
            return Truth::Unknown;
        switch (element.filterOperator())
        {
        case Operator::Equals:
            return of(a == b);
        case Operator::GreaterThan:
            return of(a > b);
        case Operator::LessThan:
            return of(a < b);
        case Operator::GreaterThanOrEqual:
            return of(a >= b);
        default:
            return of(a <= b);
        }
    }

    Truth like(const ContentFilterElement& element)
    {
        const UaVariant text = value(element.operand(0));
        const UaVariant pattern = value(element.operand(1));
        if (text.isEmpty() || pattern.isEmpty())
            return Truth::Unknown;
        const std::string patternText = pattern.toString().toUtf8();
        const std::string subject = text.toString().toUtf8();
        const UaLikePattern compiled(patternText.data(), patternText.size());
        return of(compiled.isValid() && compiled.matches(subject.data(), subject.size()));
    }

    Truth between(const ContentFilterElement& element)
    {
        const UaVariant a = value(element.operand(0));
        const UaVariant low = value(element.operand(1));
        const UaVariant high = value(element.operand(2));
        if (a.isEmpty() || low.isEmpty() || high.isEmpty())
            return Truth::Unknown;
        return of(low <= a && a <= high);
    }

    Truth inList(const ContentFilterElement& element)
    {
        const UaVariant a = value(element.operand(0));
        if (a.isEmpty())
            return Truth::Unknown;
        for (OpcUa_UInt32 i = 1; i < element.operandCount(); ++i)
            if (a == value(element.operand(i)))
                return Truth::True;
        return Truth::False;
    }

    Truth ofType(const ContentFilterElement& element)
    {
        UaNodeId wanted;
        UaNodeId eventType;
        if (OpcUa_IsBad(value(element.operand(0)).toNodeId(wanted)) ||
            OpcUa_IsBad(field(BaseEventField::EventType).toNodeId(eventType)))
            return Truth::False;
        return of(eventType == wanted || EventRegistry::isSubtypeOf(eventType, wanted));
    }

    EventData& m_event;
    Session* m_pSession;
};

EventFilter::EventFilter(const UaNodeId& notifierId, EventManagerBase* pEventManager, Session* pSession)
    : m_notifierId(notifierId), m_pEventManager(pEventManager), m_pSession(pSession),
      m_acceptAll(notifierId == UaNodeId(StandardNodeId::Server, 0) ||
                  (pEventManager && pEventManager->isAllEventsNotifier(notifierId)))
{
    UaTrace::traceLevel5("Ctor EventFilter notifier = %s", notifierId.toString().toUtf8());
}

EventFilter::~EventFilter()
{
    UaTrace::traceLevel5("Dtor EventFilter");
}

UaStatus EventFilter::updateFilter(const OpcUa_EventFilter* pFilter, OpcUa_EventFilterResult& filterResult)
{
    UaTrace::traceLevel6("--> EventFilter::updateFilter");
    m_selectFields.clear();
    m_whereClause.clear();
    OpcUa_StatusCode status = OpcUa_Good;
    if (pFilter && pFilter->NoOfSelectClauses > 0)
    {
        const OpcUa_Int32 count = pFilter->NoOfSelectClauses;
        filterResult.SelectClauseResults = static_cast<OpcUa_StatusCode*>(
            OpcUa_Memory_Alloc(static_cast<OpcUa_UInt32>(sizeof(OpcUa_StatusCode) * count)));
        filterResult.NoOfSelectClauseResults = filterResult.SelectClauseResults ? count : 0;
        UaTrace::traceLevel7("  Selected Event Fields: (count=%d)", static_cast<int>(count));
        for (OpcUa_Int32 i = 0; i < count; ++i)
        {
            UaStatus resolved;
            const OpcUa_UInt32 index =
                EventManagerBase::getFieldIndex(SimpleAttributeOperand(pFilter->SelectClauses[i]), resolved);
            m_selectFields.push_back(resolved.isGood() ? index : 0);
            if (filterResult.SelectClauseResults)
                filterResult.SelectClauseResults[i] = resolved.statusCode();
        }
    }
    if (!pFilter || pFilter->WhereClause.NoOfElements <= 0)
        UaTrace::traceLevel7("  WhereClause with empty content filter");
    else
    {
        UaTrace::traceLevel7("  WhereClause with content filter: (count=%d)",
                             static_cast<int>(pFilter->WhereClause.NoOfElements));
        bool invalid = false;
        const OpcUa_StatusCode built =
            m_whereClause.build(pFilter->WhereClause, filterResult.WhereClauseResult, invalid);
        status = built;
        // Only a tree that was built whole is checked; every element is, so the client sees each fault.
        for (OpcUa_UInt32 i = 0; OpcUa_IsGood(built) && i < m_whereClause.elementCount(); ++i)
        {
            ContentFilterElement* element = m_whereClause.element(i);
            if (!element)
            {
                UaTrace::traceLevel7("    [%u] NULL content filter", i);
                continue;
            }
            const OpcUa_StatusCode checked =
                checkElement(*element, filterResult.WhereClauseResult.ElementResults[i]);
            UaTrace::traceLevel7("    [%u] %s", i, element->toString().toUtf8());
            // A refused operator outranks other faults: the client learns that it is not offered.
            if (OpcUa_IsBad(checked) && status != OpcUa_BadNotImplemented)
                status = checked;
        }
        if (OpcUa_IsBad(status))
            m_whereClause.clear();
    }
    UaTrace::traceLevel6("<-- EventFilter::updateFilter [ret=0x%lx]", static_cast<unsigned long>(status));
    return status;
}

OpcUa_StatusCode EventFilter::checkElement(ContentFilterElement& element,
                                           OpcUa_ContentFilterElementResult& result)
{
    const OpcUa_UInt32 op = element.filterOperator();
    const OpcUa_Int32 index = element.index();
    const char* name = ContentFilterElement::operatorName(op);
    if (!name)
    {
        traceElementError(index, "Unknown operator", "OpcUa_BadEventFilterInvalid");
        result.StatusCode = OpcUa_BadFilterOperatorInvalid;
        return OpcUa_BadEventFilterInvalid;
    }
    const OpcUa_UInt32 count = element.operandCount();
    const OpcUa_UInt32 wanted = g_operandCounts[op];
    if (op == Operator::InList ? count < wanted : count != wanted)
    {
        const std::string what =
            op == Operator::InList
                ? "InList expects more then one operand instead of " + std::to_string(count)
                : std::string(name) + " expects " + std::to_string(wanted) + " operands instead of " +
                      std::to_string(count);
        traceElementError(index, what, "OpcUa_BadEventFilterInvalid");
        result.StatusCode = OpcUa_BadFilterOperandCountMismatch;
        return OpcUa_BadEventFilterInvalid;
    }
    auto refuse = [&](OpcUa_UInt32 operand, const std::string& what)
    {
        traceElementError(index, what, "OpcUa_BadEventFilterInvalid");
        setOperandStatus(result, operand, OpcUa_BadFilterOperandInvalid);
        result.StatusCode = OpcUa_BadFilterElementInvalid;
        return static_cast<OpcUa_StatusCode>(OpcUa_BadEventFilterInvalid);
    };
    switch (op)
    {
    case Operator::Equals:
    case Operator::GreaterThan:
    case Operator::LessThan:
    case Operator::GreaterThanOrEqual:
    case Operator::LessThanOrEqual:
        for (OpcUa_UInt32 i = 0; i < count; ++i)
            if (!isValueOperand(element.operand(i)))
                return refuse(i, std::string(name) + " expects Literal or SimpleAttributeOperand");
        break;
    case Operator::Like:
        if (!isLiteral(element.operand(1)))
            return refuse(1, "The second operand for LIKE is not a Literal");
        if (!isLikePattern(static_cast<LiteralOperand*>(element.operand(1))->value()))
            return refuse(1, "The Literal string pattern for LIKE is invalid");
        break;
    case Operator::Between:
        for (OpcUa_UInt32 i = 0; i < count; ++i)
            if (element.operand(i) && element.operand(i)->getType() == FilterOperand::Element)
                return refuse(i, "Between does not expect ElementOperand");
        break;
    case Operator::InView:
    case Operator::RelatedTo:
        traceElementError(index, name, "OpcUa_BadNotImplemented");
        result.StatusCode = OpcUa_BadFilterOperatorUnsupported;
        return OpcUa_BadNotImplemented;
    case Operator::OfType:
    {
        if (!isLiteral(element.operand(0)))
            return refuse(0, "OfType expects LiteralOperand");
        UaNodeId type;
        if (OpcUa_IsBad(static_cast<LiteralOperand*>(element.operand(0))->value().toNodeId(type)) ||
            type.isNull())
            return refuse(0, "OfType expects NodeId as Literal value");
        // The event's type is the operand OfType compares against.
        auto* eventType = new SimpleAttributeOperand;
        eventType->setBrowsePathElement(0, UaQualifiedName("EventType", 0), 1);
        eventType->setFieldIndex(BaseEventField::EventType);
        element.appendOperand(eventType);
        break;
    }
    default:
        break;
    }
    // Each field operand names an event field, or the element is refused with the reason.
    OpcUa_StatusCode status = OpcUa_Good;
    for (OpcUa_UInt32 i = 0; i < count; ++i)
    {
        FilterOperand* operand = element.operand(i);
        if (!operand || operand->getType() != FilterOperand::SimpleAttribute)
            continue;
        auto* attribute = static_cast<SimpleAttributeOperand*>(operand);
        UaStatus resolved;
        attribute->setFieldIndex(EventManagerBase::getFieldIndex(*attribute, resolved));
        if (resolved.isBad())
        {
            setOperandStatus(result, i, resolved.statusCode());
            result.StatusCode = OpcUa_BadFilterElementInvalid;
            status = OpcUa_BadEventFilterInvalid;
        }
    }
    return status;
}

bool EventFilter::evaluate(EventData& eventData) const
{
    Evaluation evaluation(eventData, m_pSession);
    if (!m_acceptAll)
    {
        UaNodeId sourceNode;
        eventData.fieldValue(BaseEventField::SourceNode, m_pSession).toNodeId(sourceNode);
        if (!m_pEventManager || !m_pEventManager->isNotifierSource(m_notifierId, sourceNode, eventData))
            return false;
    }
    const ContentFilterElement* root = m_whereClause.root();
    return !root || evaluation.truth(*root) == Evaluation::Truth::True;
}
