// Event filters as clients set them: the checks of each operator with the element and operand
// results and the error lines, and the evaluation of where clauses against fired events.
#include "eventtestkit.h"

#include <eventfilter.h>
#include <eventmanagerbase.h>

#include <eventregistry.h>
#include <servicecontext.h>

#include <uatracecapture.h>

#include <gtest/gtest.h>

#include <memory>

using namespace eventtestkit;

namespace
{
constexpr OpcUa_StatusCode Good = OpcUa_Good;
constexpr OpcUa_StatusCode FilterInvalid = OpcUa_BadEventFilterInvalid;
const UaNodeId g_server(2253, 0);
const UaNodeId g_baseEventType(2041, 0);

struct FilterResult
{
    FilterResult() { OpcUa_EventFilterResult_Initialize(&result); }
    ~FilterResult() { OpcUa_EventFilterResult_Clear(&result); }
    OpcUa_StatusCode element(OpcUa_Int32 i) const
    {
        return result.WhereClauseResult.ElementResults[i].StatusCode;
    }
    OpcUa_StatusCode operand(OpcUa_Int32 e, OpcUa_Int32 o) const
    {
        const OpcUa_ContentFilterElementResult& element = result.WhereClauseResult.ElementResults[e];
        return o < element.NoOfOperandStatusCodes ? element.OperandStatusCodes[o] : Good;
    }
    OpcUa_EventFilterResult result;
};

struct CheckCase
{
    const char* name;
    std::vector<Element> elements;
    OpcUa_StatusCode result;
    // The element at fault (the root unless said) and its operand at fault (-1: none).
    OpcUa_StatusCode elementStatus;
    int operand;
    OpcUa_StatusCode operandStatus;
    const char* errorLine;
    int element = 0;
};

TEST(EventFilterTest, EachOperatorIsCheckedWhenTheFilterIsSet)
{
    const UaVariant one(1);
    UaVariant text;
    text.setString("Valve%");
    UaVariant badPattern;
    badPattern.setString("[a");
    UaVariant type;
    type.setNodeId(g_baseEventType);
    const Operand severity = field("Severity");
    const Operand value = literal(one);
    const CheckCase cases[] = {
        {"Equals with one operand",
         {{Op::Equals, {severity}}},
         FilterInvalid,
         OpcUa_BadFilterOperandCountMismatch,
         -1,
         Good,
         "    Error: [0] Equals expects 2 operands instead of 1 - OpcUa_BadEventFilterInvalid"},
        {"GreaterThan with an element operand",
         {{Op::GreaterThan, {element(1), value}}, {Op::IsNull, {value}}},
         FilterInvalid,
         OpcUa_BadFilterElementInvalid,
         0,
         OpcUa_BadFilterOperandInvalid,
         "    Error: [0] GreaterThan expects Literal or SimpleAttributeOperand - "
         "OpcUa_BadEventFilterInvalid"},
        {"LessThanOrEqual with an operand left out",
         {{Op::LessThanOrEqual, {severity, attributeOperand()}}},
         FilterInvalid,
         OpcUa_BadFilterElementInvalid,
         1,
         OpcUa_BadFilterOperandInvalid,
         "    Error: [0] LessThanOrEqual expects Literal or SimpleAttributeOperand - "
         "OpcUa_BadEventFilterInvalid"},
        {"IsNull with two operands",
         {{Op::IsNull, {value, value}}},
         FilterInvalid,
         OpcUa_BadFilterOperandCountMismatch,
         -1,
         Good,
         "    Error: [0] IsNull expects 1 operands instead of 2 - OpcUa_BadEventFilterInvalid"},
        {"Not with two operands",
         {{Op::Not, {value, value}}},
         FilterInvalid,
         OpcUa_BadFilterOperandCountMismatch,
         -1,
         Good,
         "    Error: [0] Not expects 1 operands instead of 2 - OpcUa_BadEventFilterInvalid"},
        {"Like whose pattern is a field",
         {{Op::Like, {field("Message"), field("SourceName")}}},
         FilterInvalid,
         OpcUa_BadFilterElementInvalid,
         1,
         OpcUa_BadFilterOperandInvalid,
         "    Error: [0] The second operand for LIKE is not a Literal - OpcUa_BadEventFilterInvalid"},
        {"Like with a broken pattern",
         {{Op::Like, {field("Message"), literal(badPattern)}}},
         FilterInvalid,
         OpcUa_BadFilterElementInvalid,
         1,
         OpcUa_BadFilterOperandInvalid,
         "    Error: [0] The Literal string pattern for LIKE is invalid - OpcUa_BadEventFilterInvalid"},
        {"Like with a number as pattern",
         {{Op::Like, {field("Message"), value}}},
         FilterInvalid,
         OpcUa_BadFilterElementInvalid,
         1,
         OpcUa_BadFilterOperandInvalid,
         "    Error: [0] The Literal string pattern for LIKE is invalid - OpcUa_BadEventFilterInvalid"},
        {"Between with an element operand",
         {{Op::Between, {severity, element(1), value}}, {Op::IsNull, {value}}},
         FilterInvalid,
         OpcUa_BadFilterElementInvalid,
         1,
         OpcUa_BadFilterOperandInvalid,
         "    Error: [0] Between does not expect ElementOperand - OpcUa_BadEventFilterInvalid"},
        {"InList with one operand",
         {{Op::InList, {severity}}},
         FilterInvalid,
         OpcUa_BadFilterOperandCountMismatch,
         -1,
         Good,
         "    Error: [0] InList expects more then one operand instead of 1 - OpcUa_BadEventFilterInvalid"},
        {"And with three operands",
         {{Op::And, {value, value, value}}},
         FilterInvalid,
         OpcUa_BadFilterOperandCountMismatch,
         -1,
         Good,
         "    Error: [0] And expects 2 operands instead of 3 - OpcUa_BadEventFilterInvalid"},
        {"Cast with one operand",
         {{Op::Cast, {severity}}},
         FilterInvalid,
         OpcUa_BadFilterOperandCountMismatch,
         -1,
         Good,
         "    Error: [0] Cast expects 2 operands instead of 1 - OpcUa_BadEventFilterInvalid"},
        {"InView",
         {{Op::InView, {value}}},
         OpcUa_BadNotImplemented,
         OpcUa_BadFilterOperatorUnsupported,
         -1,
         Good,
         "    Error: [0] InView - OpcUa_BadNotImplemented"},
        {"RelatedTo",
         {{Op::RelatedTo, {value, value, value, value, value, value}}},
         OpcUa_BadNotImplemented,
         OpcUa_BadFilterOperatorUnsupported,
         -1,
         Good,
         "    Error: [0] RelatedTo - OpcUa_BadNotImplemented"},
        {"OfType with a field",
         {{Op::OfType, {field("EventType")}}},
         FilterInvalid,
         OpcUa_BadFilterElementInvalid,
         0,
         OpcUa_BadFilterOperandInvalid,
         "    Error: [0] OfType expects LiteralOperand - OpcUa_BadEventFilterInvalid"},
        {"OfType with a string",
         {{Op::OfType, {literal(text)}}},
         FilterInvalid,
         OpcUa_BadFilterElementInvalid,
         0,
         OpcUa_BadFilterOperandInvalid,
         "    Error: [0] OfType expects NodeId as Literal value - OpcUa_BadEventFilterInvalid"},
        {"OfType with two operands",
         {{Op::OfType, {literal(type), literal(type)}}},
         FilterInvalid,
         OpcUa_BadFilterOperandCountMismatch,
         -1,
         Good,
         "    Error: [0] OfType expects 1 operands instead of 2 - OpcUa_BadEventFilterInvalid"},
        {"BitwiseAnd with one operand",
         {{Op::BitwiseAnd, {severity}}},
         FilterInvalid,
         OpcUa_BadFilterOperandCountMismatch,
         -1,
         Good,
         "    Error: [0] BitwiseAnd expects 2 operands instead of 1 - OpcUa_BadEventFilterInvalid"},
        {"BitwiseOr with three operands",
         {{Op::BitwiseOr, {severity, value, value}}},
         FilterInvalid,
         OpcUa_BadFilterOperandCountMismatch,
         -1,
         Good,
         "    Error: [0] BitwiseOr expects 2 operands instead of 3 - OpcUa_BadEventFilterInvalid"},
        {"an operator above 17",
         {{18, {value}}},
         FilterInvalid,
         OpcUa_BadFilterOperatorInvalid,
         -1,
         Good,
         "    Error: [0] Unknown operator - OpcUa_BadEventFilterInvalid"},
        {"a fault in a deeper element",
         {{Op::Not, {element(1)}}, {Op::Equals, {severity}}},
         FilterInvalid,
         OpcUa_BadFilterOperandCountMismatch,
         -1,
         Good,
         "    Error: [1] Equals expects 2 operands instead of 1 - OpcUa_BadEventFilterInvalid",
         1},
        {"a field of no registered path",
         {{Op::Equals, {field("NoSuchField"), value}}},
         FilterInvalid,
         OpcUa_BadFilterElementInvalid,
         0,
         OpcUa_BadNotFound,
         "Error: EventManagerBase::getFieldIndex - Requested path ns=0|NoSuchField not found"},
        {"a field by an attribute other than Value",
         {{Op::Equals, {field("Message", 4), value}}},
         FilterInvalid,
         OpcUa_BadFilterElementInvalid,
         0,
         OpcUa_BadAttributeIdInvalid,
         "Error: EventManagerBase::getFieldIndex - Requested attribute 4 not supported"},
        {"Equals of a field and a literal", {{Op::Equals, {severity, value}}}, Good, Good, -1, Good, nullptr},
        {"InList with element operands",
         {{Op::InList, {element(1), value, value}}, {Op::IsNull, {value}}},
         Good,
         Good,
         -1,
         Good,
         nullptr},
        {"OfType with a NodeId", {{Op::OfType, {literal(type)}}}, Good, Good, -1, Good, nullptr},
        {"Like with a pattern",
         {{Op::Like, {field("Message"), literal(text)}}},
         Good,
         Good,
         -1,
         Good,
         nullptr},
        {"BitwiseAnd with two operands",
         {{Op::BitwiseAnd, {severity, value}}},
         Good,
         Good,
         -1,
         Good,
         nullptr},
    };
    for (const CheckCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        UaTraceCapture trace(7);
        WireFilter wire({"Severity"}, c.elements);
        FilterResult result;
        EventFilter filter(g_server, nullptr, nullptr);
        EXPECT_EQ(filter.updateFilter(wire.get(), result.result).statusCode(), c.result);
        ASSERT_EQ(result.result.WhereClauseResult.NoOfElementResults,
                  static_cast<OpcUa_Int32>(c.elements.size()));
        EXPECT_EQ(result.element(c.element), c.elementStatus);
        for (int o = 0; o < static_cast<int>(c.elements[c.element].operands.size()); ++o)
            EXPECT_EQ(result.operand(c.element, o), o == c.operand ? c.operandStatus : Good)
                << "operand " << o;
        std::size_t errors = 0;
        for (const std::string& line : trace.texts())
            errors += line.find("Error: ") != std::string::npos ? 1 : 0;
        EXPECT_EQ(errors, c.errorLine ? 1u : 0u);
        if (c.errorLine)
        {
            EXPECT_EQ(trace.count(1, c.errorLine), 1u);
        }
        EXPECT_EQ(filter.whereClause().root() != nullptr, c.result == Good);
    }
}

// An event manager with one item on a notifier: the events that reach it.
class EvaluationTest : public ::testing::Test
{
protected:
    OpcUa_UInt32 start(const std::vector<Element>& where, const UaNodeId& notifier = g_server,
                       const std::vector<std::string>& select = {"Severity", "Message"})
    {
        WireFilter wire(select, where);
        EventMonitoringContext monitoring;
        monitoring.notifierId = notifier;
        monitoring.pEventFilter = wire.get();
        OpcUa_Handle context = nullptr;
        EXPECT_TRUE(manager.beginEventTransaction(&answers, ServiceContext(), 1, context).isGood());
        EXPECT_TRUE(manager.beginStartMonitoring(context, 1, &item, monitoring).isGood());
        manager.finishEventTransaction(context);
        EXPECT_EQ(answers.answers.back().status, Good);
        return answers.answers.back().hEventItem;
    }
    // The severities of the events that reached the item.
    std::vector<int> delivered()
    {
        std::vector<int> severities;
        for (const std::vector<UaVariant>& fields : item.events())
        {
            OpcUa_Int32 severity = -1;
            fields[0].toInt32(severity);
            severities.push_back(severity);
        }
        return severities;
    }
    std::vector<int> fire(std::vector<TestEvent*> events)
    {
        for (TestEvent* event : events)
            manager.fireEvent(*event);
        return delivered();
    }

    EventManagerBase manager;
    RecordingAnswers answers;
    RecordingItem item;
};

TEST_F(EvaluationTest, EqualsLetsThroughExactlyTheEventsOfThatSeverity)
{
    UaVariant severity;
    severity.setUInt16(500);
    UaTraceCapture trace(7);
    start({{Op::Equals, {field("Severity"), literal(severity)}}});
    // The filter's trace shows the clause in the element's text form.
    EXPECT_EQ(trace.count(7, "    [0] Equals Path=ns=0|Severity Type=NS0|Numeric|2041 Attribute=13 | 500"),
              1u);
    TestEvent low(g_baseEventType, g_server, 499);
    TestEvent match(g_baseEventType, g_server, 500);
    TestEvent high(g_baseEventType, g_server, 501);
    EXPECT_EQ(fire({&low, &match, &high, &match}), (std::vector<int>{500, 500}));
}

TEST_F(EvaluationTest, OfTypeTakesTheRegisteredSubtypes)
{
    const UaNodeId machineEvent("MachineEvent", 2);
    const UaNodeId spindleEvent("SpindleEvent", 2);
    const UaNodeId otherEvent("OtherEvent", 2);
    ASSERT_TRUE(EventManagerBase::registerEventType(g_baseEventType, machineEvent));
    ASSERT_TRUE(EventManagerBase::registerEventType(machineEvent, spindleEvent));
    ASSERT_TRUE(EventManagerBase::registerEventType(g_baseEventType, otherEvent));
    UaVariant type;
    type.setNodeId(machineEvent);
    start({{Op::OfType, {literal(type)}}});
    TestEvent base(g_baseEventType, g_server, 1);
    TestEvent machine(machineEvent, g_server, 2);
    TestEvent spindle(spindleEvent, g_server, 3);
    TestEvent other(otherEvent, g_server, 4);
    EXPECT_EQ(fire({&base, &machine, &spindle, &other}), (std::vector<int>{2, 3}));
}

TEST_F(EvaluationTest, AnItemSeesTheSourcesBelowItsNotifier)
{
    const UaNodeId cell("Cell", 2);
    const UaNodeId spindle("Spindle", 2);
    const UaNodeId axis("Axis", 2);
    const UaNodeId elsewhere("Elsewhere", 2);
    manager.addNotifier(g_server, cell);
    manager.addNotifier(cell, spindle);
    manager.addNotifierSource(spindle, axis);
    manager.addNotifier(g_server, elsewhere);
    start({}, cell);
    TestEvent fromCell(g_baseEventType, cell, 1);
    TestEvent fromSpindle(g_baseEventType, spindle, 2);
    TestEvent fromAxis(g_baseEventType, axis, 3);
    TestEvent fromElsewhere(g_baseEventType, elsewhere, 4);
    TestEvent fromServer(g_baseEventType, g_server, 5);
    EXPECT_EQ(fire({&fromCell, &fromSpindle, &fromAxis, &fromElsewhere, &fromServer}),
              (std::vector<int>{1, 2, 3}));
    // Removing the spindle removes what was below it.
    manager.removeNotifier(spindle);
    EXPECT_FALSE(manager.isNotifier(spindle));
    EXPECT_EQ(fire({&fromAxis, &fromCell}), (std::vector<int>{1, 2, 3, 1}));
}

TEST_F(EvaluationTest, AnItemOnTheServerObjectSeesEverySource)
{
    start({});
    TestEvent unknownSource(g_baseEventType, UaNodeId("Unknown", 2), 7);
    EXPECT_EQ(fire({&unknownSource}), (std::vector<int>{7}));
}

struct EvaluationCase
{
    const char* name;
    std::vector<Element> elements;
    // The severities of 100, 500 and 900 that pass.
    std::vector<int> passing;
};

TEST_F(EvaluationTest, WhereClauses)
{
    // A field the events do not have: its value is unknown.
    EventManagerBase::registerEventField(EventRegistry::fieldKey(UaQualifiedName("NotOnTheseEvents", 0)));
    const Operand severity = field("Severity");
    const Operand missing = field("NotOnTheseEvents");
    auto number = [](int v) { return literal(UaVariant(static_cast<OpcUa_UInt16>(v))); };
    auto text = [](const char* s)
    {
        UaVariant v;
        v.setString(s);
        return literal(v);
    };
    UaVariant stringType;
    stringType.setNodeId(UaNodeId(OpcUaType_String, 0));
    UaVariant yes;
    yes.setBool(OpcUa_True);
    const EvaluationCase cases[] = {
        {"no where clause", {}, {100, 500, 900}},
        {"GreaterThan", {{Op::GreaterThan, {severity, number(500)}}}, {900}},
        {"LessThanOrEqual", {{Op::LessThanOrEqual, {severity, number(500)}}}, {100, 500}},
        {"Between", {{Op::Between, {severity, number(200), number(900)}}}, {500, 900}},
        {"InList", {{Op::InList, {severity, number(100), number(900)}}}, {100, 900}},
        {"IsNull of a field the events lack", {{Op::IsNull, {missing}}}, {100, 500, 900}},
        {"Like on the message", {{Op::Like, {field("Message"), text("Valve%")}}}, {500}},
        {"Not", {{Op::Not, {element(1)}}, {Op::Equals, {severity, number(500)}}}, {100, 900}},
        {"And",
         {{Op::And, {element(1), element(2)}},
          {Op::GreaterThan, {severity, number(100)}},
          {Op::LessThan, {severity, number(900)}}},
         {500}},
        {"Or",
         {{Op::Or, {element(1), element(2)}},
          {Op::Equals, {severity, number(100)}},
          {Op::Equals, {severity, number(900)}}},
         {100, 900}},
        {"unknown or true is true",
         {{Op::Or, {element(1), element(2)}},
          {Op::Equals, {missing, number(1)}},
          {Op::Equals, {severity, number(500)}}},
         {500}},
        {"unknown and false is false, not of it true",
         {{Op::Not, {element(1)}},
          {Op::And, {element(2), element(3)}},
          {Op::Equals, {missing, number(1)}},
          {Op::Equals, {severity, number(500)}}},
         {100, 900}},
        {"not of unknown stays unknown", {{Op::Not, {element(1)}}, {Op::Equals, {missing, number(1)}}}, {}},
        {"a literal as a condition",
         {{Op::And, {literal(yes), element(1)}}, {Op::LessThan, {severity, number(500)}}},
         {100}},
        {"an element's result as a value",
         {{Op::InList, {element(1), literal(yes)}}, {Op::Equals, {severity, number(900)}}},
         {900}},
        {"a Cast's value",
         {{Op::InList, {element(1), text("500")}}, {Op::Cast, {severity, literal(stringType)}}},
         {500}},
        {"Cast as a condition", {{Op::Cast, {severity, literal(stringType)}}}, {}},
        {"BitwiseAnd lets nothing through", {{Op::BitwiseAnd, {severity, number(500)}}}, {}},
        {"BitwiseOr lets nothing through", {{Op::BitwiseOr, {severity, number(500)}}}, {}},
    };
    TestEvent low(g_baseEventType, g_server, 100, "Pump started");
    TestEvent middle(g_baseEventType, g_server, 500, "Valve open");
    TestEvent high(g_baseEventType, g_server, 900, "Pump stopped");
    for (const EvaluationCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        RecordingItem caseItem;
        WireFilter wire({"Severity"}, c.elements);
        EventMonitoringContext monitoring;
        monitoring.notifierId = g_server;
        monitoring.pEventFilter = wire.get();
        OpcUa_Handle context = nullptr;
        manager.beginEventTransaction(&answers, ServiceContext(), 1, context);
        manager.beginStartMonitoring(context, 1, &caseItem, monitoring);
        const Answer started = answers.answers.back();
        ASSERT_EQ(started.status, Good);
        for (TestEvent* event : {&low, &middle, &high})
            manager.fireEvent(*event);
        manager.beginStopMonitoring(context, 2, started.hEventItem);
        manager.finishEventTransaction(context);
        std::vector<int> passed;
        for (const std::vector<UaVariant>& fields : caseItem.events())
        {
            OpcUa_Int32 value = -1;
            fields[0].toInt32(value);
            passed.push_back(value);
        }
        EXPECT_EQ(passed, c.passing);
    }
}

TEST_F(EvaluationTest, ASelectClauseOfAnUnknownPathIsDeliveredEmpty)
{
    start({}, g_server, {"Severity", "NoSuchField", "Message"});
    const Answer& started = answers.answers.back();
    ASSERT_TRUE(started.hasFilterResult);
    EXPECT_EQ(started.selectResults, (std::vector<OpcUa_StatusCode>{Good, OpcUa_BadNotFound, Good}));
    TestEvent event(g_baseEventType, g_server, 300, "Door open");
    manager.fireEvent(event);
    const auto events = item.events();
    ASSERT_EQ(events.size(), 1u);
    ASSERT_EQ(events[0].size(), 3u);
    EXPECT_TRUE(events[0][0] == UaVariant(static_cast<OpcUa_UInt16>(300)));
    EXPECT_TRUE(events[0][1].isEmpty());
    UaLocalizedText message;
    events[0][2].toLocalizedText(message);
    EXPECT_STREQ(message.text().toUtf8(), "Door open");
}

} // namespace
