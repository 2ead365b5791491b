// The content of namespace 1: ObjectStatistics below the Server object's VendorServerInfo, whose
// variables show the live instance counts of the library's classes.
#include "nodemanagerwithevents.h"

#include "session.h"

#include <counteruserdata.h>
#include <referencetypes.h>
#include <serverobjectnodes.h>
#include <servermanager.h>
#include <standardeventtypes.h>

#include <uatrace.h>

namespace
{
constexpr OpcUa_UInt32 kVendorServerInfo = 2295;
constexpr const char* kStatisticsName = "ObjectStatistics";

// A statistics variable: no value of its own, the counter's value on every read.
class StatisticsVariable : public UaValuelessVariable
{
public:
    StatisticsVariable(const UaString& name, const UaNodeId& nodeId, std::atomic<OpcUa_Int32>* pCounter)
        : UaValuelessVariable(name, nodeId, UaNodeId(OpcUaType_Int32, 0), -1, 1, "en"), m_counter(pCounter),
          m_pUserData(&m_counter)
    {
    }
    void setUserData(UserDataBase* userData) override { m_pUserData.store(userData); }
    UserDataBase* getUserData() const override { return m_pUserData.load(); }

private:
    CounterUserData m_counter;
    std::atomic<UserDataBase*> m_pUserData;
};

struct StatisticsRow
{
    const char* className;
    std::atomic<OpcUa_Int32>* counter;
};
} // namespace

UaStatus NodeManagerNS1::afterStartUp()
{
    UaNode* vendorServerInfo =
        m_pServerManager && m_pServerManager->getNodeManagerRoot()
            ? m_pServerManager->getNodeManagerRoot()->getNode(UaNodeId(kVendorServerInfo, 0))
            : nullptr;
    if (!vendorServerInfo)
        return OpcUa_Good;
    const OpcUa_UInt16 ns = m_nsIndex.load();
    auto* statistics =
        new UaFolderTypeObject(UaNodeId(kStatisticsName, ns), kStatisticsName, ns, this, nullptr);
    UaReferenceLists* parent = vendorServerInfo->getUaReferenceLists();
    const UaStatus added =
        parent ? addNodeAndReference(parent, statistics, UaNodeId(ReferenceTypeId::HasComponent, 0))
               : UaStatus(OpcUa_BadNodeIdUnknown);
    vendorServerInfo->releaseReference();
    if (added.isBad())
    {
        statistics->releaseReference();
        return OpcUa_Good;
    }

    const StatisticsRow rows[] = {
        {"Session", Session::instanceCounter()},     {"UaNode", &UaNodeCounters::uaNode},
        {"UaObject", &UaNodeCounters::uaObject},     {"UaObjectType", &UaNodeCounters::uaObjectType},
        {"UaVariable", &UaNodeCounters::uaVariable}, {"UaVariableType", &UaNodeCounters::uaVariableType},
        {"UaDataType", &UaNodeCounters::uaDataType}, {"UaView", &UaNodeCounters::uaView},
        {"UaMethod", &UaNodeCounters::uaMethod},     {"UaReferenceType", &UaNodeCounters::uaReferenceType},
    };
    for (const StatisticsRow& row : rows)
        addStatisticsVariable(row.className, row.counter);
    return OpcUa_Good;
}

UaStatus NodeManagerNS1::addStatisticsVariable(const UaString& className, std::atomic<OpcUa_Int32>* pCounter)
{
    const OpcUa_UInt16 ns = m_nsIndex.load();
    UaNode* statistics = getNode(UaNodeId(kStatisticsName, ns));
    UaReferenceLists* parent = statistics ? statistics->getUaReferenceLists() : nullptr;
    UaStatus status = OpcUa_BadNodeIdUnknown;
    if (parent)
    {
        const UaString nodeIdText = UaString("%1_%2").arg(kStatisticsName).arg(className);
        auto* variable = new StatisticsVariable(className, UaNodeId(nodeIdText, ns), pCounter);
        status = addNodeAndReference(parent, variable, UaNodeId(ReferenceTypeId::HasComponent, 0));
        if (status.isBad())
            variable->releaseReference();
    }
    if (statistics)
        statistics->releaseReference();
    return status;
}

UaStatus NodeManagerNS1::beforeShutDown()
{
    return OpcUa_Good;
}

UaStatus NodeManagerNS1::readValues(const UaVariableArray& variables, UaDataValueArray& values)
{
    return answerEach(variables, values,
                      [](UaVariable* variable, UaVariant& value) -> OpcUa_StatusCode
                      {
                          const auto* counter =
                              variable ? dynamic_cast<const CounterUserData*>(variable->getUserData())
                                       : nullptr;
                          if (!counter)
                              return OpcUa_BadInternalError;
                          OpcUa_Variant raw;
                          OpcUa_Variant_Initialize(&raw);
                          const OpcUa_StatusCode status = counter->getValue(raw);
                          value = UaVariant(raw);
                          OpcUa_Variant_Clear(&raw);
                          return status;
                      });
}
