// The test server's own namespace: a folder of variables of several types, cached Doubles for
// benchmarks, and an object with the method "Multiply" that multiplies its two arguments.
#pragma once

#include <iomanageruanode.h>
#include <methodmanager.h>
#include <nodemanageruanode.h>

#include <uamutex.h>

#include <functional>

class TestNodeManager : public NodeManagerUaNode, public IOManagerUaNode, public MethodManager
{
public:
    // The namespace URI; extraVariables cached Doubles "Variable<n>" (ns;i=1000+n).
    TestNodeManager(const char* namespaceUri, OpcUa_UInt32 extraVariables);
    ~TestNodeManager() override;

    UaStatus afterStartUp() override;
    UaStatus beforeShutDown() override { return OpcUa_Good; }
    IOManager* getIOManager(UaNode*, OpcUa_Int32) const override
    {
        return const_cast<TestNodeManager*>(this);
    }
    IOManagerUaNode* getIOManagerUaNode() override { return this; }

    // Multiply(a, b) = a * b for two numbers; BadArgumentsMissing, BadTooManyArguments,
    // BadTypeMismatch otherwise.
    UaStatus beginCall(MethodCallCallback* callback, const ServiceContext& serviceContext,
                       OpcUa_UInt32 callbackHandle, MethodHandle* methodHandle,
                       const UaVariantArray& inputArguments) override;

    // Runs at the start of every call (a test holds a call in the server with it); null: none.
    std::function<void()> beforeCall;

    // Node ids in the namespace.
    static constexpr OpcUa_UInt32 FolderId = 1;
    static constexpr OpcUa_UInt32 DoubleId = 2;  // 3.5
    static constexpr OpcUa_UInt32 Int32Id = 3;   // -7
    static constexpr OpcUa_UInt32 StringId = 4;  // "uaserver"
    static constexpr OpcUa_UInt32 ObjectId = 10; // "Calculator"
    static constexpr OpcUa_UInt32 MultiplyId = 11;
    static constexpr OpcUa_UInt32 FirstExtraId = 1000;

private:
    OpcUa_UInt32 m_extraVariables;
    UaMutexRefCounted* m_sharedMutex;
};
