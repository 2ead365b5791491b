#include "testnodemanager.h"

#include "method_arguments.h"

#include <eventdata.h>
#include <uamethodgeneric.h>
#include <uaobjectbase.h>
#include <uaplainnodes.h>
#include <uavariableplain.h>
#include <uavariablecache.h>

#include <uadatavalue.h>
#include <uaextensionobject.h>
#include <uavariant.h>

#include <string>

namespace
{
// An object whose methods the node manager executes.
class MethodObject : public UaObjectPlain
{
public:
    MethodObject(const char* name, const UaNodeId& nodeId, OpcUa_Byte eventNotifier,
                 MethodManager* methodManager)
        : UaObjectPlain(nodeId, UaQualifiedName(name, nodeId.namespaceIndex()), UaLocalizedText("", name),
                        UaLocalizedText(), UaNodeId(58, 0), eventNotifier),
          m_methodManager(methodManager)
    {
    }
    MethodManager* getMethodManager(UaMethod*) const override { return m_methodManager; }

private:
    MethodManager* m_methodManager;
};

constexpr OpcUa_Byte kReadWrite = 3;
constexpr OpcUa_UInt32 kHasProperty = 46;
constexpr OpcUa_UInt32 kBaseDataType = 24;
constexpr OpcUa_UInt32 kUInt16 = 5;
constexpr OpcUa_UInt32 kDouble = 11;
constexpr OpcUa_Byte kSubscribeToEvents = 1;
const UaNodeId kServerObject(2253, 0);

// Good with the number of arguments right; the status of a wrong number otherwise.
UaStatus checkCount(const UaVariantArray& inputs, OpcUa_UInt32 expected)
{
    if (inputs.length() < expected)
        return OpcUa_BadArgumentsMissing;
    if (inputs.length() > expected)
        return OpcUa_BadTooManyArguments;
    return OpcUa_Good;
}

// Leaves the input results only when one is bad, as a Call answers them.
UaStatus inputResultsStatus(UaStatusCodeArray& inputResults)
{
    for (OpcUa_UInt32 i = 0; i < inputResults.length(); ++i)
        if (OpcUa_IsBad(inputResults[i]))
            return OpcUa_BadInvalidArgument;
    inputResults.clear();
    return OpcUa_Good;
}

void setCached(UaVariableCache* variable, const UaVariant& value, const UaDateTime& sourceTime)
{
    UaDataValue dataValue;
    dataValue.setValue(value, false, false);
    dataValue.setSourceTimestamp(sourceTime);
    dataValue.setServerTimestamp(sourceTime);
    variable->setValue(nullptr, dataValue, false);
}
} // namespace

TestNodeManager::TestNodeManager(const char* namespaceUri, OpcUa_UInt32 extraVariables,
                                 OpcUa_UInt32 changeIntervalMs)
    : NodeManagerWithEvents(namespaceUri, true, 10007), m_extraVariables(extraVariables),
      m_changeIntervalMs(changeIntervalMs)
{
}

TestNodeManager::~TestNodeManager()
{
    beforeShutDown();
}

UaStatus TestNodeManager::afterStartUp()
{
    const OpcUa_UInt16 ns = getNameSpaceIndex();
    auto* folder = new UaFolder("TestData", UaNodeId(FolderId, ns), "en");
    UaStatus status = addNodeAndReference(UaNodeId(85, 0), folder, UaNodeId(35, 0));
    auto addVariable = [&](const char* name, OpcUa_UInt32 id, const UaVariant& value) -> UaVariableCache*
    {
        if (status.isBad())
            return nullptr;
        auto* variable = new UaDataVariableCache(name, UaNodeId(id, ns), value, kReadWrite, "en");
        status = addNodeAndReference(folder, variable, UaNodeId(47, 0));
        return status.isGood() ? variable : nullptr;
    };
    UaVariant value;
    value.setDouble(3.5);
    addVariable("Double", DoubleId, value);
    value.setInt32(-7);
    addVariable("Int32", Int32Id, value);
    value.setString("uaserver");
    addVariable("String", StringId, value);
    value.setUInt32(0);
    m_counter = addVariable("Counter", CounterId, value);
    value.setDouble(50.0);
    if (UaVariableCache* level = addVariable("Level", LevelId, value))
        status = addRange(level, 0.0, 200.0);
    for (OpcUa_UInt32 i = 0; i < m_extraVariables && status.isGood(); ++i)
    {
        value.setDouble(static_cast<OpcUa_Double>(i));
        UaVariableCache* variable =
            addVariable(("Variable" + std::to_string(i)).c_str(), FirstExtraId + i, value);
        if (variable != nullptr && m_changeIntervalMs > 0)
            m_changing.push_back(variable);
    }
    if (status.isGood())
        status = addObjects(folder);
    if (status.isBad())
    {
        m_counter = nullptr;
        m_changing.clear();
        return status;
    }
    // The changes hold the variables, so that a node deleted by a client stays valid for them.
    m_counter->addReference();
    for (UaVariableCache* variable : m_changing)
        variable->addReference();
    m_changer.add(std::chrono::milliseconds(CounterIntervalMs), [this] { countUp(); });
    m_changer.add(std::chrono::milliseconds(m_changeIntervalMs), [this] { changeExtraVariables(); });
    m_changer.start();
    return status;
}

UaStatus TestNodeManager::addRange(UaVariableCache* variable, OpcUa_Double low, OpcUa_Double high)
{
    UaExtensionObject range;
    auto* body = static_cast<OpcUa_Range*>(range.createBody(&OpcUa_Range_EncodeableType));
    if (body == nullptr)
        return OpcUa_BadOutOfMemory;
    body->Low = low;
    body->High = high;
    UaVariant value;
    value.setExtensionObject(range, true);
    UaDataValue dataValue;
    dataValue.setValue(value, true, true);
    // The standard property's name, in namespace 0, is what a client and the server look for.
    constexpr OpcUa_UInt32 propertyType = 68;
    constexpr OpcUa_UInt32 rangeType = 884;
    return addNodeAndReference(
        variable->getUaReferenceLists(),
        new UaVariablePlain(UaNodeId(LevelRangeId, getNameSpaceIndex()), UaQualifiedName("EURange", 0),
                            UaLocalizedText("en", "EURange"), UaLocalizedText(), UaNodeId(propertyType, 0),
                            dataValue, UaNodeId(rangeType, 0), -1, 1, 1, 0.0, false),
        UaNodeId(46, 0));
}

UaStatus TestNodeManager::addObjects(UaReferenceLists* folder)
{
    const OpcUa_UInt16 ns = getNameSpaceIndex();
    auto* calculator = new MethodObject("Calculator", UaNodeId(ObjectId, ns), 0, this);
    UaStatus status = addNodeAndReference(folder, calculator, UaNodeId(35, 0));
    auto* multiply = new UaMethodGeneric("Multiply", UaNodeId(MultiplyId, ns), "en");
    if (status.isGood())
        status = addNodeAndReference(calculator, multiply, UaNodeId(47, 0));
    if (status.isGood())
        status = addNodeAndReference(multiply,
                                     uaserver::testing::inputArgumentsProperty(
                                         UaNodeId(MultiplyArgumentsId, ns), {{kDouble, -1}, {kDouble, -1}}),
                                     UaNodeId(kHasProperty, 0));
    if (status.isGood())
        status = addNodeAndReference(multiply,
                                     uaserver::testing::argumentsProperty(
                                         UaNodeId(MultiplyOutputArgumentsId, ns),
                                         UaPropertyMethodArgument::Direction::Output, {{kDouble, -1}}),
                                     UaNodeId(kHasProperty, 0));
    auto* events = new MethodObject("EventSource", UaNodeId(EventObjectId, ns), kSubscribeToEvents, this);
    if (status.isGood())
        status = addNodeAndReference(folder, events, UaNodeId(35, 0));
    auto* fire = new UaMethodGeneric("FireEvent", UaNodeId(FireEventId, ns), "en");
    if (status.isGood())
        status = addNodeAndReference(events, fire, UaNodeId(47, 0));
    // The message may be a String or a LocalizedText.
    if (status.isGood())
        status =
            addNodeAndReference(fire,
                                uaserver::testing::inputArgumentsProperty(
                                    UaNodeId(FireEventArgumentsId, ns), {{kBaseDataType, -1}, {kUInt16, -1}}),
                                UaNodeId(kHasProperty, 0));
    // Items on the Server object see its events too.
    if (status.isGood())
        addNotifier(kServerObject, events->nodeId());
    return status;
}

UaStatus TestNodeManager::beforeShutDown()
{
    m_changer.stop();
    if (m_counter != nullptr)
        m_counter->releaseReference();
    m_counter = nullptr;
    for (UaVariableCache* variable : m_changing)
        variable->releaseReference();
    m_changing.clear();
    return OpcUa_Good;
}

void TestNodeManager::countUp()
{
    UaVariant value;
    value.setUInt32(++m_count);
    setCached(m_counter, value, UaDateTime::now());
}

void TestNodeManager::changeExtraVariables()
{
    ++m_changes;
    // One source time for the whole change, as one device update would give.
    const UaDateTime now = UaDateTime::now();
    UaVariant value;
    for (size_t i = 0; i < m_changing.size(); ++i)
    {
        value.setDouble(static_cast<OpcUa_Double>(i + m_changes));
        setCached(m_changing[i], value, now);
    }
}

UaStatus TestNodeManager::beginCall(MethodCallCallback* callback, const ServiceContext& /*serviceContext*/,
                                    OpcUa_UInt32 callbackHandle, MethodHandle* methodHandle,
                                    const UaVariantArray& inputArguments)
{
    if (beforeCall)
        beforeCall();
    UaStatusCodeArray inputResults;
    UaDiagnosticInfos diagnostics;
    UaVariantArray outputs;
    const UaNodeId method = methodHandle->pMethod()->nodeId();
    UaStatus status = method.identifierNumeric() == FireEventId
                          ? fireEvent(methodHandle->pObject(), inputArguments, inputResults)
                          : multiply(inputArguments, inputResults, outputs);
    callback->callFinished(callbackHandle, inputResults, diagnostics, outputs, status);
    return OpcUa_Good;
}

UaStatus TestNodeManager::multiply(const UaVariantArray& inputs, UaStatusCodeArray& inputResults,
                                   UaVariantArray& outputs)
{
    UaStatus status = checkCount(inputs, 2);
    if (status.isBad())
        return status;
    OpcUa_Double a = 0, b = 0;
    inputResults.create(2);
    inputResults[0] = UaVariant(inputs[0]).toDouble(a);
    inputResults[1] = UaVariant(inputs[1]).toDouble(b);
    status = inputResultsStatus(inputResults);
    if (status.isGood())
    {
        outputs.create(1);
        UaVariant product;
        product.setDouble(a * b);
        product.copyTo(&outputs[0]);
    }
    return status;
}

UaStatus TestNodeManager::fireEvent(UaNode* source, const UaVariantArray& inputs,
                                    UaStatusCodeArray& inputResults)
{
    UaStatus status = checkCount(inputs, 2);
    if (status.isBad())
        return status;
    const UaVariant message(inputs[0]);
    UaLocalizedText text;
    OpcUa_UInt16 severity = 0;
    inputResults.create(2);
    if (message.type() == OpcUaType_String)
        text = UaLocalizedText("en", message.toString());
    else
        inputResults[0] = message.toLocalizedText(text);
    inputResults[1] = UaVariant(inputs[1]).toUInt16(severity);
    if (OpcUa_IsGood(inputResults[1]) && (severity < 1 || severity > 1000))
        inputResults[1] = OpcUa_BadOutOfRange;
    status = inputResultsStatus(inputResults);
    if (status.isBad())
        return status;
    BaseEventTypeData event;
    event.setSource(source);
    event.setMessage(text);
    event.setSeverity(severity);
    const UaDateTime now = UaDateTime::now();
    event.setTimesAndEventId(now, now, UaByteString());
    NodeManagerWithEvents::fireEvent(event);
    return OpcUa_Good;
}
