#include "testnodemanager.h"

#include <uamethodgeneric.h>
#include <uaobjectbase.h>
#include <uaplainnodes.h>
#include <uavariablecache.h>

#include <uavariant.h>

#include <string>

namespace
{
// An object whose methods the node manager executes.
class CalculatorObject : public UaObjectPlain
{
public:
    CalculatorObject(const UaNodeId& nodeId, MethodManager* methodManager)
        : UaObjectPlain(nodeId, UaQualifiedName("Calculator", nodeId.namespaceIndex()),
                        UaLocalizedText("", "Calculator"), UaLocalizedText(), UaNodeId(58, 0), 0),
          m_methodManager(methodManager)
    {
    }
    MethodManager* getMethodManager(UaMethod*) const override { return m_methodManager; }

private:
    MethodManager* m_methodManager;
};

constexpr OpcUa_Byte kReadWrite = 3;
} // namespace

TestNodeManager::TestNodeManager(const char* namespaceUri, OpcUa_UInt32 extraVariables)
    : NodeManagerUaNode(namespaceUri, 10007), m_extraVariables(extraVariables),
      m_sharedMutex(new UaMutexRefCounted)
{
}

TestNodeManager::~TestNodeManager()
{
    stopSampling();
    m_sharedMutex->releaseReference();
}

UaStatus TestNodeManager::afterStartUp()
{
    const OpcUa_UInt16 ns = getNameSpaceIndex();
    auto* folder = new UaFolder("TestData", UaNodeId(FolderId, ns), "en");
    UaStatus status = addNodeAndReference(UaNodeId(85, 0), folder, UaNodeId(35, 0));
    auto addVariable = [&](const char* name, OpcUa_UInt32 id, const UaVariant& value)
    {
        if (status.isGood())
            status = addNodeAndReference(
                folder, new UaDataVariableCache(name, UaNodeId(id, ns), value, kReadWrite, "en"),
                UaNodeId(47, 0));
    };
    UaVariant value;
    value.setDouble(3.5);
    addVariable("Double", DoubleId, value);
    value.setInt32(-7);
    addVariable("Int32", Int32Id, value);
    value.setString("uaserver");
    addVariable("String", StringId, value);
    for (OpcUa_UInt32 i = 0; i < m_extraVariables && status.isGood(); ++i)
    {
        value.setDouble(static_cast<OpcUa_Double>(i));
        addVariable(("Variable" + std::to_string(i)).c_str(), FirstExtraId + i, value);
    }
    auto* object = new CalculatorObject(UaNodeId(ObjectId, ns), this);
    if (status.isGood())
        status = addNodeAndReference(folder, object, UaNodeId(35, 0));
    if (status.isGood())
        status = addNodeAndReference(object, new UaMethodGeneric("Multiply", UaNodeId(MultiplyId, ns), "en"),
                                     UaNodeId(47, 0));
    return status;
}

UaStatus TestNodeManager::beginCall(MethodCallCallback* callback, const ServiceContext& /*serviceContext*/,
                                    OpcUa_UInt32 callbackHandle, MethodHandle* /*methodHandle*/,
                                    const UaVariantArray& inputArguments)
{
    if (beforeCall)
        beforeCall();
    UaStatusCodeArray inputResults;
    UaDiagnosticInfos diagnostics;
    UaVariantArray outputs;
    UaStatus status;
    if (inputArguments.length() < 2)
        status = OpcUa_BadArgumentsMissing;
    else if (inputArguments.length() > 2)
        status = OpcUa_BadTooManyArguments;
    else
    {
        OpcUa_Double a = 0, b = 0;
        inputResults.create(2);
        inputResults[0] = UaVariant(inputArguments[0]).toDouble(a);
        inputResults[1] = UaVariant(inputArguments[1]).toDouble(b);
        if (OpcUa_IsBad(inputResults[0]) || OpcUa_IsBad(inputResults[1]))
            status = OpcUa_BadInvalidArgument;
        else
        {
            inputResults.clear();
            outputs.create(1);
            UaVariant product;
            product.setDouble(a * b);
            product.copyTo(&outputs[0]);
        }
    }
    callback->callFinished(callbackHandle, inputResults, diagnostics, outputs, status);
    return OpcUa_Good;
}
