// The test server's own namespace: a folder of variables of several types, a level with a range
// for percent deadbands, a counter that counts up every 100 ms, cached Doubles for benchmarks that may change
// at a set interval, an object with the method "Multiply" that multiplies its two arguments, and an object
// with events whose method "FireEvent" fires one.
#pragma once

#include "periodicactions.h"

#include <methodmanager.h>
#include <nodemanagerwithevents.h>

#include <uamutex.h>

#include <functional>
#include <vector>

class UaReferenceLists;
class UaVariableCache;

class TestNodeManager : public NodeManagerWithEvents, public MethodManager
{
public:
    // The namespace URI; extraVariables cached Doubles "Variable<n>" (ns;i=1000+n) with the value n,
    // each changed by 1 every changeIntervalMs (0: never).
    TestNodeManager(const char* namespaceUri, OpcUa_UInt32 extraVariables, OpcUa_UInt32 changeIntervalMs = 0);
    ~TestNodeManager() override;

    UaStatus afterStartUp() override;
    UaStatus beforeShutDown() override;

    // Multiply(a, b) = a * b for two Doubles; FireEvent(message, severity) fires a BaseEventType
    // event of the events object with that message (a String or LocalizedText) and severity (a
    // UInt16 from 1 to 1000). Both declare their arguments, which the server checks before the call
    // gets here; a severity out of range: BadInvalidArgument with the input results.
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
    static constexpr OpcUa_UInt32 CounterId = 5; // UInt32 from 0, one up every 100 ms
    static constexpr OpcUa_UInt32 LevelId = 6;   // Double 50 with the EURange 0 to 200 (id 7)
    static constexpr OpcUa_UInt32 LevelRangeId = 7;
    static constexpr OpcUa_UInt32 ObjectId = 10; // "Calculator"
    static constexpr OpcUa_UInt32 MultiplyId = 11;
    static constexpr OpcUa_UInt32 MultiplyArgumentsId = 12;
    static constexpr OpcUa_UInt32 MultiplyOutputArgumentsId = 13;
    static constexpr OpcUa_UInt32 EventObjectId = 20; // "EventSource", an event notifier
    static constexpr OpcUa_UInt32 FireEventId = 21;
    static constexpr OpcUa_UInt32 FireEventArgumentsId = 22;
    static constexpr OpcUa_UInt32 FirstExtraId = 1000;
    static constexpr OpcUa_UInt32 CounterIntervalMs = 100;

private:
    UaStatus addObjects(UaReferenceLists* folder);
    // The variable's EURange property.
    UaStatus addRange(UaVariableCache* variable, OpcUa_Double low, OpcUa_Double high);
    UaStatus multiply(const UaVariantArray& inputs, UaStatusCodeArray& inputResults, UaVariantArray& outputs);
    UaStatus fireEvent(UaNode* source, const UaVariantArray& inputs, UaStatusCodeArray& inputResults);
    void countUp();
    void changeExtraVariables();

    OpcUa_UInt32 m_extraVariables;
    OpcUa_UInt32 m_changeIntervalMs;
    // With a reference each while the changes run.
    UaVariableCache* m_counter = nullptr;
    std::vector<UaVariableCache*> m_changing;
    OpcUa_UInt32 m_count = 0;
    OpcUa_UInt32 m_changes = 0;
    uaservertest::PeriodicActions m_changer;
};
